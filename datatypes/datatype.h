// datatype!: values naming a type, [1, type id]. The registry itself is in
// registry.h; this module gives the datatype! type its slots.
#pragma once
#include "runtime/cell.h"

namespace xeb::datatype {

void init();
Cell* push(int type_id);
Cell* make_in(const Cell* block, int type_id);
inline Cell make_cell(int type_id) { return Cell{T_DATATYPE, static_cast<uint32_t>(type_id), 0, 0}; }
inline int id_of(const Cell* dt) { return static_cast<int>(dt->w1); }  // the type id it names

}  // namespace xeb::datatype
