// issue!: a symbol written with a leading "#". Stored as a word [20, global
// context, symbol, -1]; never looked up as a variable.
#pragma once
#include <string_view>

#include "runtime/cell.h"

namespace xeb::issue {

void init();
Cell* make_at(Cell* cell, std::string_view name);
Cell* load(std::string_view name);
Cell* load_in(std::string_view name, const Cell* block);
Cell* push(const Cell* word);

}  // namespace xeb::issue
