// Console output. One output buffer serves every entry point and is empty
// between calls: each write flushes what it gathered before returning, and
// the console path flushes before handing an escape to the interpreter, which
// may print (the screen-buffer report) through the same writers.
#include "platform/console_out.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include "platform/ansi_escape.h"
#include "platform/fd_io.h"
#include "platform/terminal_console.h"
#include "platform/utf8.h"

namespace xeb::platform {

namespace {

constexpr size_t kConsoleChunk = 510;   // text units per console write (plus CR LF)
constexpr size_t kStreamBytes = 1024;
constexpr size_t kStreamFlushAt = 1020;  // room left for one more 4-byte sequence
constexpr uint32_t kEsc = 0x1B;
constexpr uint32_t kReplacement = 0xFFFD;

struct Output {
  bool configured = false;
  bool is_console = true;
  ConsoleOps console{};
  ByteSink sink{};
  EscapeEnv esc{};
  char16_t units[kConsoleChunk + 2];
  size_t n_units = 0;
  std::byte bytes[kStreamBytes];
  size_t n_bytes = 0;
  TerminalConsole terminal;
};
Output out;
OutputObserver observer = nullptr;

// SIGPIPE is ignored so that a child's closed pipe is only a failed write; a
// closed reader of our own output still ends the program, as it ends any
// filter, instead of leaving a printing loop running with nowhere to print.
void stdout_write(void*, std::span<const std::byte> b) {
  if (write_all(STDOUT_FILENO, b.data(), b.size()) || errno != EPIPE) return;
  std::signal(SIGPIPE, SIG_DFL);
  std::raise(SIGPIPE);
}

void ensure_configured() {
  if (!out.configured) init_console_output();
}

uint32_t unit_at(const std::byte* p, int unit) {
  if (unit == 1) return static_cast<uint8_t>(*p);
  if (unit == 2) {
    uint16_t u;
    std::memcpy(&u, p, 2);
    return u;
  }
  uint32_t u;
  std::memcpy(&u, p, 4);
  return u;
}

size_t encode_utf8(std::byte* o, uint32_t cp) {
  if (cp > 0x10FFFF) cp = kReplacement;  // no such character: show that something was there
  return static_cast<size_t>(put_utf8(reinterpret_cast<uint8_t*>(o), cp));
}

void flush_console() {
  if (out.n_units == 0) return;
  out.console.write(out.console.self, std::span<const char16_t>(out.units, out.n_units));
  out.n_units = 0;
}

void flush_stream() {
  if (out.n_bytes == 0) return;
  out.sink.write(out.sink.self, std::span<const std::byte>(out.bytes, out.n_bytes));
  out.n_bytes = 0;
}

void write_console(const std::byte* text, size_t bytes, int unit, bool line_end) {
  const size_t u = static_cast<size_t>(unit);
  size_t i = 0;
  while (i + u <= bytes) {
    const uint32_t c = unit_at(text + i, unit);
    if (c == kEsc) {
      flush_console();
      if (size_t k = interpret_escape(out.esc, text + i, bytes - i, unit)) {
        i += k;
        continue;
      }
    }
    out.units[out.n_units++] = static_cast<char16_t>(c);
    if (out.n_units == kConsoleChunk) flush_console();
    i += u;
  }
  // A Linux line ends in LF alone; the terminal back-end adds the CR a raw
  // terminal needs.
  if (line_end) out.units[out.n_units++] = u'\n';
  flush_console();
}

// UCS-4 on a console: one write per code point, no escape interpretation.
void write_console_ucs4(const std::byte* text, size_t bytes) {
  for (size_t i = 0; i + 4 <= bytes; i += 4) {
    uint32_t c = unit_at(text + i, 4);
    char16_t pair[2];
    size_t n = 1;
    if (c > 0x10FFFF) c = kReplacement;
    if (c < 0x10000) {
      pair[0] = static_cast<char16_t>(c);
    } else {
      pair[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      pair[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      n = 2;
    }
    out.console.write(out.console.self, std::span<const char16_t>(pair, n));
  }
}

void write_redirected(const std::byte* text, size_t bytes, int unit, bool line_end) {
  const size_t u = static_cast<size_t>(unit);
  for (size_t i = 0; i + u <= bytes; i += u) {
    out.n_bytes += encode_utf8(out.bytes + out.n_bytes, unit_at(text + i, unit));
    if (out.n_bytes > kStreamFlushAt) flush_stream();
  }
  if (line_end) out.bytes[out.n_bytes++] = std::byte{0x0A};
  flush_stream();
}

const std::byte* as_bytes(const void* p) { return static_cast<const std::byte*>(p); }

}  // namespace

void init_console_output() {
  if (isatty(STDOUT_FILENO)) {
    out.terminal = TerminalConsole{};
    out.terminal.fd = STDOUT_FILENO;
    use_console(terminal_ops(out.terminal));
  } else {
    use_stream(ByteSink{nullptr, stdout_write});
  }
}

void save_default_attribute() {
  ensure_configured();
  out.esc.default_attr = out.is_console ? out.console.attribute(out.console.self) : attr::PLAIN;
}

void use_console(const ConsoleOps& ops) {
  out.configured = true;
  out.is_console = true;
  out.console = ops;
  out.esc.ops = ops;
  out.esc.message = print_message;
  out.n_units = out.n_bytes = 0;
}

void use_stream(const ByteSink& sink) {
  out.configured = true;
  out.is_console = false;
  out.sink = sink;
  out.n_units = out.n_bytes = 0;
}

bool is_console() {
  ensure_configured();
  return out.is_console;
}

uint16_t default_attribute() { return out.esc.default_attr; }
void set_default_attribute(uint16_t a) {
  out.esc.default_attr = a;
  out.terminal.default_attr = a;
}

void write_text(const std::byte* text, size_t bytes, int unit, bool line_end) {
  ensure_configured();
  if (!out.is_console) return write_redirected(text, bytes, unit, line_end);
  if (unit != 4) return write_console(text, bytes, unit, line_end);
  write_console_ucs4(text, bytes);
  if (line_end) put_wide_char(u'\n');
}

void prin_latin1(std::span<const uint8_t> t) { write_text(as_bytes(t.data()), t.size_bytes(), 1, false); }
void print_latin1(std::span<const uint8_t> t) { write_text(as_bytes(t.data()), t.size_bytes(), 1, true); }
void prin_ucs2(std::span<const char16_t> t) { write_text(as_bytes(t.data()), t.size_bytes(), 2, false); }
void print_ucs2(std::span<const char16_t> t) { write_text(as_bytes(t.data()), t.size_bytes(), 2, true); }
void prin_ucs4(std::span<const char32_t> t) { write_text(as_bytes(t.data()), t.size_bytes(), 4, false); }
void print_ucs4(std::span<const char32_t> t) { write_text(as_bytes(t.data()), t.size_bytes(), 4, true); }

void set_output_observer(OutputObserver o) { observer = o; }

void print_wide_hooked(std::u16string_view text) {
  write_text(as_bytes(text.data()), text.size() * 2, 2, false);
  if (observer) observer(text.data(), text.size(), 0);
}

// Messages go straight out, never through the escape interpreter: the
// interpreter itself prints its report with them.
void print_message(std::string_view text) {
  ensure_configured();
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  if (out.is_console) {
    char16_t buf[128];
    for (size_t i = 0; i < text.size();) {
      size_t n = 0;
      while (n < std::size(buf) && i < text.size()) buf[n++] = p[i++];
      out.console.write(out.console.self, std::span<const char16_t>(buf, n));
    }
  } else {
    std::byte buf[256];
    for (size_t i = 0; i < text.size();) {
      size_t n = 0;
      while (n + 2 <= std::size(buf) && i < text.size()) n += encode_utf8(buf + n, p[i++]);
      out.sink.write(out.sink.self, std::span<const std::byte>(buf, n));
    }
  }
  if (observer) observer(text.data(), text.size(), 0);
}

char16_t put_wide_char(char16_t c) {
  ensure_configured();
  if (out.is_console) {
    out.console.write(out.console.self, std::span<const char16_t>(&c, 1));
  } else {
    std::byte buf[4];
    out.sink.write(out.sink.self, std::span<const std::byte>(buf, encode_utf8(buf, c)));
  }
  return c;
}

int terminal_column() {
  ensure_configured();
  return out.is_console && out.console.self == &out.terminal ? out.terminal.col : 0;
}

void set_terminal_column(int col) {
  if (out.console.self == &out.terminal) out.terminal.col = col;
}

}  // namespace xeb::platform
