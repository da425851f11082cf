// Generic dispatch helpers: calling another type's form, mold or comparison
// slot through the registry, and appending text to an output string.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/cell.h"

namespace xeb::actions {

constexpr int NO_LIMIT = 0x7FFFFFFF;

// form and mold of any value into the buffer; answer the remaining budget.
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
// The type's comparison slot; -2 when it has none or refuses.
int compare(Cell* value1, Cell* value2, int op);

// Appends UTF-8 text to a string buffer; answers the characters added.
int append_text(Cell* buffer, std::string_view utf8);
inline int emit(Cell* buffer, std::string_view utf8, int part) { return part - append_text(buffer, utf8); }
// Four spaces per level.
int append_indent(Cell* buffer, int levels, int part);
// A new empty string! pushed on the data stack.
Cell* push_string(int capacity);
// The text of a string! from its head, as UTF-8 (for tests and messages).
std::string to_utf8(const Cell* str);
// Number of characters from the head.
int32_t length_of(const Cell* str);
// Cuts the string back to n characters from its head.
void truncate(Cell* str, int32_t n);

// Convenience: the mold or form of a value as UTF-8 text.
std::string mold_text(Cell* value, int all = 0, int flat = 0, int only = 0);
std::string form_text(Cell* value);

}  // namespace xeb::actions
