// call over the process layer: the streams from string!, binary! and file!
// values, the captured output appended to its string! or binary!.
#include <cstdint>
#include <string>
#include <string_view>

#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "datatypes/string.h"
#include "io/call.h"
#include "io/files.h"
#include "platform/process.h"
#include "runtime/stack.h"

namespace xeb::io {

namespace process = platform::process;

namespace {

// Words the shell runs itself, with no program of that name on the PATH:
// a command starting with one goes through the shell.
bool shell_builtin(std::string_view w) {
  constexpr std::string_view kBuiltins[] = {"cd", "exit", "export", "set", "unset", "alias", "unalias", "read",
                                            "eval", "exec", "source", ".", "ulimit", "umask", "trap", "shift",
                                            "type", "command", "wait", "times", "readonly", "return", "break",
                                            "continue", "getopts", "hash", "jobs", "fg", "bg", "if", "for",
                                            "while", "until", "case", "{", "!"};
  for (std::string_view b : kBuiltins)
    if (w == b) return true;
  return false;
}

process::Stream input_of(const Cell* in) {
  process::Stream s;
  if (!in) return s;
  if (is_type(in, T_FILE)) {
    s.route = process::Route::file;
    s.path = host_path(in);
  } else if (is_type(in, T_BINARY)) {
    s.route = process::Route::pipe;
    s.data.assign(reinterpret_cast<const char*>(binary::xs_head(in)), static_cast<size_t>(binary::xs_length_q(in)));
  } else {
    s.route = process::Route::pipe;
    s.data = string::utf8_of(in);
  }
  return s;
}

process::Stream output_of(const Cell* out, bool console) {
  process::Stream s;
  if (!out) s.route = console ? process::Route::inherit : process::Route::null;
  else if (is_type(out, T_FILE)) {
    s.route = process::Route::file;
    s.path = host_path(out);
  } else {
    s.route = process::Route::pipe;
  }
  return s;
}

// Appends what was captured at the target's tail: bytes as they are to a
// binary!, text to a string! with each byte that is not UTF-8 as U+FFFD, so
// that output which is not text loses neither itself nor the exit status.
void deliver(Cell* target, const std::string& bytes) {
  if (!target || bytes.empty() || is_type(target, T_FILE)) return;
  if (bytes.size() > INT32_MAX) fire(Err::too_long);
  if (is_type(target, T_BINARY))
    binary::append_bytes(target, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
  else
    string::append_utf8_lossy(target, bytes);
}

}  // namespace

int32_t call(const Cell* cmd, CallFlags flags, const Cell* in, Cell* out, Cell* err) {
  std::string line = string::utf8_of(cmd);
  // The program and its arguments reach the system as C strings: a NUL
  // would cut the command short and run another one.
  if (line.find('\0') != std::string::npos) {
    Cell c = *cmd;
    fire(Err::cannot_open, &c);
  }
  process::Request r;
  r.in = input_of(in);
  if (!in) r.in.route = flags.console ? process::Route::inherit : process::Route::null;
  r.out = output_of(out, flags.console);
  r.err = output_of(err, flags.console);
  r.wait = flags.wait || flags.console || in || out || err;
  std::vector<std::string> words = process::split_command(line);
  bool shell = flags.shell || (!words.empty() && shell_builtin(words[0]));
  r.argv = shell ? std::vector<std::string>{"/bin/sh", "-c", line} : std::move(words);
  r.max_output = INT32_MAX;  // what a series holds
  process::Outcome o = process::run(r);
  if (o.too_long) fire(Err::too_long);
  if (o.failure == process::Failure::not_found) {
    Cell* name = string::push_new(16);
    string::append_utf8(name, r.argv.empty() ? std::string() : r.argv[0]);
    fire(Err::cannot_open, name);
  }
  if (o.failure != process::Failure::none) return -1;
  deliver(out, r.out.data);
  deliver(err, r.err.data);
  return o.status;
}

}  // namespace xeb::io
