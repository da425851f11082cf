// handle!: an opaque 32-bit value of the platform (a window, font, monitor,
// descriptor or rich-text object of the GUI back-end) and the class of thing
// it stands for. Values can be stored, compared, formed and molded, never
// computed with.
//
// Cell: w1 the class, w2 the value, w3 -1, or the index of an entry of the
// external-handle table that the value keeps alive (the collector marks it);
// such a value is the entry's generation-checked reference, so a copy that
// outlives the object no longer resolves.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::handle {

enum class Class : uint32_t { null = 0, fd, monitor, window, font, rich_text };

inline Class class_of(const Cell* h) { return static_cast<Class>(h->w1); }
inline uint32_t value_of(const Cell* h) { return h->w2; }
inline int32_t entry_of(const Cell* h) { return static_cast<int32_t>(h->w3); }
// Ties the handle to an external-handle entry that it keeps alive.
inline void set_entry(Cell* h, int32_t entry) { h->w3 = static_cast<uint32_t>(entry); }

Cell* make_at(Cell* c, uint32_t value, Class cls);
Cell* box(uint32_t value, Class cls);  // into the current call's result slot
Cell* push(uint32_t value, Class cls);
Cell* push_null();
// A handle to a platform object kept in the external-handle table under the
// kind; the entry lives while values hold it.
Cell* push_object(void* object, uint32_t kind, Class cls);
// The object of such a handle, or null when it was released (or the handle
// does not name one).
void* object_of(const Cell* h);

void init();

}  // namespace xeb::handle
