// Child processes over posix_spawn: argument vectors or a /bin/sh -c
// command line, each standard stream inherited, sent to /dev/null, read from
// or appended to a file, or served through a pipe. All pipes are served
// together with poll, so a child that fills one pipe while we write another
// never deadlocks. Waited children are reaped; the others are reaped by the
// next start.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xeb::platform::process {

enum class Route { inherit, null, file, pipe };

struct Stream {
  Route route = Route::null;
  std::string path;  // Route::file: read (input) or appended to (output)
  std::string data;  // Route::pipe: the input to send, or the output captured
};

struct Request {
  std::vector<std::string> argv;  // searched on PATH when argv[0] holds no '/'
  Stream in, out, err;
  bool wait = true;  // a pipe makes the start wait regardless
  int timeout_ms = -1;  // when waiting: a child still running then is killed
  size_t max_output = SIZE_MAX;  // a child writing more to a pipe is killed
};

enum class Failure { none, not_found, cannot_start, cannot_open };

struct Outcome {
  Failure failure = Failure::none;
  int status = -1;  // the exit code when waited (128 + signal when killed), else the pid
  bool timed_out = false;
  bool too_long = false;  // killed for passing max_output
};

Outcome run(Request& request);

// Words of a command line: split at blanks; single and double quotes group
// and are dropped; inside double quotes a backslash escapes a quote or itself.
std::vector<std::string> split_command(std::string_view line);

}  // namespace xeb::platform::process
