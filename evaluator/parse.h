// The parse dialect: matches an input series (block, text or bytes) against
// a block of grammar rules, extracting, collecting and changing parts of the
// input on the way. The rule engine is one iterative state machine over two
// work stacks (rule frames, and the outer inputs of `into`), so nesting costs
// stack cells, never machine stack. Parens in rules run in the interpreter
// and may call parse again.
#pragma once
#include <cstdint>

namespace xeb::parse {

// Cells in use on each work stack (three per rule frame). Every parse puts
// both back as it found them, however it ends: normally, stopped by its
// trace callback, by an error, or by a throw, break or return out of a paren.
int32_t rule_stack_cells();
int32_t input_stack_cells();

}  // namespace xeb::parse

namespace xeb::natives {

void parse(bool check, const int32_t* refs);  // the native's entry

}  // namespace xeb::natives
