// The layers below the library built in start-up's order, for tests of the
// evaluator and what sits on it: runtime init, the lexer's loaders, then the
// evaluator. Each step runs once per process.
#pragma once

#include "datatypes/init.h"
#include "evaluator/boot.h"
#include "lexer/load.h"

namespace xeb::test {

inline void init_evaluator() {
  datatypes::init();
  lexer::init_loaders();
  evaluator::init();
}

}  // namespace xeb::test
