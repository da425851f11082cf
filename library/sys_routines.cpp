// Runtime routines of the library: the routine builder that start-up binds
// to `routine`, process exit, directories, and the command line and script
// text the console reads at start.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/context.h"
#include "datatypes/date.h"
#include "datatypes/event.h"
#include "datatypes/float.h"
#include "datatypes/logic.h"
#include "datatypes/symbol.h"
#include "datatypes/function.h"
#include "datatypes/issue.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "io/files.h"
#include "library/boot.h"
#include "library/routines.h"
#include "platform/files.h"
#include "platform/services.h"
#include "runtime/exit.h"
#include "runtime/stack.h"

namespace xeb::routines {

namespace {

Cell* arg(int n) { return stack::base() + n; }
void result(const Cell* v) { *stack::base() = *v; }
void result_logic(bool yes) { *stack::base() = Cell{T_LOGIC, yes ? 1u : 0u, 0, 0}; }

// A new string (or file!) holding UTF-8 text, as the result.
void result_text(std::string_view utf8, TypeId type) {
  Cell* s = string::push_new(static_cast<int32_t>(utf8.size()) + 1);
  string::append_utf8(s, utf8);
  set_type(s, type);
  result(s);
}

// routine [spec [block!] code [integer!]]: the routine! for table entry
// `code`. Start-up writes the code after each declaration's spec.
void make_routine() {
  Cell* r = routine::push(arg(0), nullptr, get_int(arg(1)), 0, false);
  result(r);
}

// quit-return [status [integer!]]: ends the process at once.
void quit_return() { exit_process(get_int(arg(0))); }

void get_current_dir() {
  char buf[4096];
  std::string path = getcwd(buf, sizeof buf) ? buf : ".";
  if (path.empty() || path.back() != '/') path += '/';
  result_text(path, T_FILE);
}

// set-current-dir [path [file!]]
void set_current_dir() {
  std::string path = string::utf8_of(arg(0));
  if (!platform::set_current_dir(path)) fire(Err::cannot_open, arg(0));
  set_unset(stack::base());
}

// exists? [path [file!]]
void exists_q() { result_logic(platform::files::exists(io::host_path(arg(0)))); }

// create-dir [path [file!]]
void create_dir() {
  if (!platform::files::make_dir(io::host_path(arg(0)))) fire(Err::no_create, arg(0));
  set_unset(stack::base());
}

// The architecture word of a uname machine name.
std::string_view arch_name(std::string_view machine) {
  struct Arch { std::string_view machine, word; };
  constexpr Arch kArch[] = {{"x86_64", "x86-64"}, {"amd64", "x86-64"}, {"i386", "x86-32"}, {"i486", "x86-32"},
                            {"i586", "x86-32"},   {"i686", "x86-32"},  {"aarch64", "ARM64"}, {"arm64", "ARM64"},
                            {"ia64", "IA-64"}};
  for (const Arch& a : kArch)
    if (machine == a.machine) return a.word;
  return machine.rfind("arm", 0) == 0 ? "ARM" : "Unknown";
}

// _os-info: [name arch version build] for os-info: the system and its
// distribution, the machine's architecture, the kernel release's first three
// numbers and the number after its first hyphen (0 without one).
void os_info() {
  platform::OsInfo info = platform::os_info();
  std::string name = info.system.empty() ? "Linux" : info.system;
  if (!info.distribution.empty()) name += " " + info.distribution;
  uint8_t version[3] = {0, 0, 0};
  const char* p = info.release.c_str();
  for (int i = 0; i < 3 && *p >= '0' && *p <= '9'; i++) {
    version[i] = static_cast<uint8_t>(std::strtoul(p, const_cast<char**>(&p), 10) & 255);
    if (*p == '.') p++;
  }
  size_t dash = info.release.find('-');
  int32_t build = dash == std::string::npos ? 0 : static_cast<int32_t>(std::strtol(info.release.c_str() + dash + 1, nullptr, 10));
  Cell* b = block::push_only(5);
  Cell* s = string::push_new(static_cast<int32_t>(name.size()) + 1);
  string::append_utf8(s, name);
  block::xs_append(b, s);
  stack::pop(1);
  block::xs_append(b, word::load(arch_name(info.machine)));
  Cell v = tuple::make_cell(3, version);
  block::xs_append(b, &v);
  Cell n{T_INTEGER, 0, static_cast<uint32_t>(build), 0};
  block::xs_append(b, &n);
  result(b);
}

// _read-text [path [file!]]: the whole file decoded from UTF-8, for the
// console's script start.
void read_text() {
  std::string path = io::host_path(arg(0));
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (fd >= 0) close(fd);
    fire(Err::cannot_open, arg(0));
  }
  std::string text;
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  result_text(text, T_STRING);
}

// _command-args: the block of argument strings after the program's name.
void command_args() {
  Cell* b = block::push_only(static_cast<int32_t>(library::arguments().size()) + 1);
  for (char* a : library::arguments()) {
    Cell* s = string::push_new(8);
    io::append_host_name(s, a);
    block::xs_append(b, s);
    stack::pop(1);
  }
  result(b);
}

// _command-line: the arguments as one line, as a shell would have been given
// them (those holding blanks or quotes in double quotes); none without any.
void command_line() {
  if (library::arguments().empty()) {
    *stack::base() = Cell{T_NONE, 0, 0, 0};
    return;
  }
  std::string line;
  for (char* a : library::arguments()) {
    std::string_view s(a);
    if (!line.empty()) line += ' ';
    if (s.empty() || s.find_first_of(" \t\n\r\"") != std::string_view::npos) {
      line += '"';
      line += s;
      line += '"';
    } else {
      line += s;
    }
  }
  // An argument is a host name as often as not, and a host name need not be
  // UTF-8: its other bytes come as a listing gives them.
  Cell* text = string::push_new(static_cast<int32_t>(line.size()) + 1);
  io::append_host_name(text, line);
  result(text);
}

// _float-switch [which [word!] on [logic!]]: the runtime's float text
// switches behind system/options/float.
void float_switch() {
  bool on = logic::get(arg(1)) != 0;
  if (symbol::name(word_symbol(arg(0))) == "pretty") float_::pretty = on;
  else float_::full = on;
  set_unset(stack::base());
}

// _command-boot: the program's path as it was given.
void command_boot() {
  if (!library::program()) {
    *stack::base() = Cell{T_NONE, 0, 0, 0};
    return;
  }
  result_text(library::program(), T_STRING);
}

// _build-date: the date and time the program was built (UTC), or none.
void build_date() {
  const library::BuildDate* d = library::build_date();
  if (!d) {
    *stack::base() = Cell{T_NONE, 0, 0, 0};
    return;
  }
  *stack::base() = date::make_from_parts(d->year, d->month, d->day, d->hour, d->minute, d->second, 0);
}

// _error-catalog: the error catalogue object the runtime forms messages from.
void error_catalog() { *stack::base() = error::catalog_value(); }

// _build-git: the version-control record of the program's source as a
// block of set-words and values for construct (branch, tag, ahead, date,
// commit, message), or none.
void build_git() {
  const library::BuildGit* g = library::build_git();
  if (!g) {
    *stack::base() = Cell{T_NONE, 0, 0, 0};
    return;
  }
  Cell* blk = block::push_only(12);
  auto field = [&](std::string_view name, const Cell& value) {
    Cell w = *word::load(name);
    set_type(&w, T_SET_WORD);
    block::xs_append(blk, &w);
    block::xs_append(blk, &value);
  };
  auto text = [&](std::string_view name, const char* t) {
    if (!t) {
      field(name, Cell{T_NONE, 0, 0, 0});
      return;
    }
    std::string_view v(t);
    Cell* s = string::push_new(static_cast<int32_t>(v.size()) + 1);
    string::append_utf8(s, v);
    field(name, *s);
    stack::pop(1);
  };
  text("branch", g->branch);
  text("tag", g->tag);
  field("ahead", Cell{T_INTEGER, 0, static_cast<uint32_t>(g->ahead), 0});
  const library::BuildDate& d = g->date;
  field("date", date::make_from_parts(d.year, d.month, d.day, d.hour, d.minute, d.second, 0));
  Cell commit;
  issue::make_at(&commit, g->commit);
  field("commit", commit);
  text("message", g->message);
  result(blk);
}

// send-event-os: hands the event to the GUI back-end's post operation and
// answers whether it was taken; the terminal back-end takes none.
void send_event_os() {
  Cell* base = stack::base();
  event::gui.post(base, base + 1);
  result_logic(false);
}

// find-flag?: whether flags is the flag word or a block holding it.
void find_flag_q() {
  Cell* base = stack::base();
  result_logic(event::find_flag_q(base, base + 1));
}

constexpr Def kSystem[] = {
    {"routine", &make_routine},
    {"quit-return", &quit_return},
    {"get-current-dir", &get_current_dir},
    {"set-current-dir", &set_current_dir},
    {"exists?", &exists_q},
    {"create-dir", &create_dir},
    {"_read-text", &read_text},
    {"_os-info", &os_info},
    {"_command-args", &command_args},
    {"_command-line", &command_line},
    {"_float-switch", &float_switch},
    {"_command-boot", &command_boot},
    {"_build-date", &build_date},
    {"_build-git", &build_git},
    {"_error-catalog", &error_catalog},
    {"send-event-os", &send_event_os},
    {"find-flag?", &find_flag_q},
};

}  // namespace

std::span<const Def> system_routines() { return kSystem; }

}  // namespace xeb::routines
