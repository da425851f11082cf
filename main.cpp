// Entry point of the xeb console: everything runs on the interpreter thread
// that start-up makes, and every way out goes through the exit path.
#include "runtime/startup.h"

namespace {
// Runtime init, the library's top level and the console's launch join here.
int console(int argc, char** argv) { return 0; }
}  // namespace

int main(int argc, char** argv) { xeb::startup::run(argc, argv, console); }
