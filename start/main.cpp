// Entry point of the xeb console: everything runs on the interpreter thread
// that start-up makes, and every way out goes through the exit path.
#include "build_info.h"
#include "library/boot.h"
#include "runtime/startup.h"
#include "start/start.h"

namespace {

// The whole start-up, then the console's launch; the process exits with
// launch's status when it returns.
int console(int argc, char** argv) {
  xeb::library::set_command_line(argc, argv);
  xeb::library::set_build_info({XEB_BUILD_DATE}, XEB_BUILD_GIT);
  xeb::start::boot();
  return xeb::library::launch();
}

}  // namespace

int main(int argc, char** argv) { xeb::startup::run(argc, argv, console); }
