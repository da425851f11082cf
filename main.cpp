// Entry point of the xeb console: everything runs on the interpreter thread
// that start-up makes, and every way out goes through the exit path.
#include "datatypes/init.h"
#include "evaluator/boot.h"
#include "lexer/load.h"
#include "library/boot.h"
#include "runtime/startup.h"

namespace {

// Runtime init, the library's top level, then the console's launch; the
// process exits with launch's status when it returns.
int console(int argc, char** argv) {
  xeb::library::set_command_line(argc, argv);
  xeb::runtime::init();
  // Steps of runtime init that live with the evaluator and the lexer.
  xeb::evaluator::init();
  xeb::lexer::init_loaders();
  xeb::library::boot();
  return xeb::library::launch();
}

}  // namespace

int main(int argc, char** argv) { xeb::startup::run(argc, argv, console); }
