// The file! actions read, write, query, delete and rename, over the
// platform's file layer. Host paths are the file's text: the system's path
// notation is already the POSIX one.
#include <cstdint>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/date.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "io/files.h"

#include "datatypes/registry.h"
#include "platform/files.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xeb::io {

namespace files = platform::files;

// A host name need not be UTF-8. A listing gives each byte of an invalid
// sequence as a lone low surrogate, U+DC80 to U+DCFF (no UTF-8 name holds
// one), and the host path turns it back into that byte, so that a listed
// name reaches the same file again.
constexpr int32_t kByteEscape = 0xDC00;

std::string host_text(const Cell* s) {
  std::string text;
  for (int32_t i = 0, n = string::xs_length_q(s); i < n; i++) {
    int32_t c = string::char_at(s, i);
    if (c >= kByteEscape + 0x80 && c <= kByteEscape + 0xFF) {
      text.push_back(static_cast<char>(c - kByteEscape));
      continue;
    }
    uint8_t u[4];
    text.append(reinterpret_cast<char*>(u), static_cast<size_t>(unicode::encode_utf8(c, u)));
  }
  return text;
}

std::string host_path(const Cell* file) {
  Cell* local = string::push_new(string::xs_length_q(file) + 1);
  file::to_local_path(file, local, false);
  std::string path = host_text(local);
  stack::pop(1);
  return path;
}

void append_host_name(Cell* s, std::string_view name) {
  const auto* p = reinterpret_cast<const uint8_t*>(name.data());
  const auto* end = p + name.size();
  while (p < end) {
    int32_t c;
    const uint8_t* next = unicode::fast_decode_utf8_char(p, end, &c);
    if (c < 0) c = kByteEscape + *p, next = p + 1;
    string::append_char(s, c);
    p = next;
  }
}

bool dir_path_q(const Cell* file) {
  int32_t n = string::xs_length_q(file);
  if (n == 0) return false;
  auto at = [&](int32_t i) { return string::char_at(file, i); };
  auto slash = [&](int32_t i) { return i < 0 || at(i) == '/' || at(i) == '\\'; };
  if (slash(n - 1)) return true;
  if (at(n - 1) != '.') return false;
  if (slash(n - 2)) return true;
  return at(n - 2) == '.' && slash(n - 3);
}

std::string value_bytes(Cell* value, int32_t part) {
  if (is_type(value, T_STRING)) return string::utf8_of(value, part);
  if (is_type(value, T_BINARY)) {
    int32_t n = binary::xs_length_q(value);
    if (part >= 1 && part < n) n = part;
    return std::string(reinterpret_cast<const char*>(binary::xs_head(value)), static_cast<size_t>(n));
  }
  return actions::mold_text(value);
}

Cell* push_lines(const std::string& bytes) {
  Cell* b = block::push_only(8);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t lf = bytes.find('\n', start);
    size_t end = lf == std::string::npos ? bytes.size() : lf;
    size_t stop = end > start && bytes[end - 1] == '\r' && lf != std::string::npos ? end - 1 : end;
    string::load_in(reinterpret_cast<const uint8_t*>(bytes.data() + start), static_cast<int32_t>(stop - start), b,
                    string::ENC_UTF8);
    start = end + 1;
  }
  return b;
}

Cell query_date(const Cell* file) {
  std::optional<files::Status> st = files::status(host_path(file));
  if (!st || (dir_path_q(file) && st->kind != files::Kind::dir)) return fixed_none;
  // The instant shown in the local zone of that instant.
  int64_t secs = st->mtime_seconds;
  int64_t days = date::EPOCH_DAYS + (secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400));
  // Whole milliseconds, the precision a file date carries.
  double t = static_cast<double>(secs - (days - date::EPOCH_DAYS) * 86400) +
             static_cast<double>(st->mtime_nanos / 1000000) / 1e3;
  long off = files::zone_offset_at(secs);
  int zone = date::zone_bits(static_cast<int32_t>(off / 3600), static_cast<int32_t>((off % 3600) / 60), off < 0);
  days = date::normalize_time(days, t, zone);
  return date::make_cell(date::from_days(days, zone, true), t);
}

}  // namespace xeb::io

namespace xeb::file {

namespace {

// An integer refinement argument, or fallback when absent.
int64_t integer_refinement(Cell* v, const char* name, int64_t fallback) {
  if (!v) return fallback;
  if (!is_type(v, T_INTEGER)) {
    Cell w = *word::load(name), bad = *v;
    fire(Err::invalid_refine_arg, &w, &bad);
  }
  return get_int(v);
}

Cell* push_listing(Cell* dir) {
  std::optional<std::vector<platform::files::Entry>> entries = platform::files::list_dir(io::host_path(dir));
  if (!entries) fire(Err::cannot_open, dir);
  Cell* b = block::push_only(static_cast<int32_t>(entries->size()) + 1);
  for (const platform::files::Entry& e : *entries) {
    Cell* f = string::push_new(static_cast<int32_t>(e.name.size()) + 1);
    io::append_host_name(f, e.name);
    if (e.dir) string::append_char(f, '/');
    set_type(f, T_FILE);
    block::xs_append(b, f);
    stack::pop(1);
  }
  return b;
}

}  // namespace

Cell* read(Cell* source, Cell* part, Cell* seek, int binary, int lines, int info, Cell* as) {
  if (as) fire(Err::not_done);
  if (io::dir_path_q(source)) return push_listing(source);
  // A negative part limits nothing: the whole file is read.
  int64_t n = part ? integer_refinement(part, "part", -1) : -1;
  int64_t at = integer_refinement(seek, "seek", -1);
  // Read at most one byte past what a series holds, to tell a file too long.
  constexpr int64_t kMax = INT32_MAX;
  std::optional<std::string> bytes = platform::files::read(io::host_path(source), n < 0 ? kMax + 1 : n, at);
  if (!bytes) fire(Err::cannot_open, source);
  if (static_cast<int64_t>(bytes->size()) > kMax) fire(Err::too_long);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes->data());
  auto len = static_cast<int32_t>(bytes->size());
  if (binary) return binary::load(p, len);
  if (lines) return io::push_lines(*bytes);
  return string::load_new(p, len, string::ENC_UTF8);
}

Cell* write(Cell* destination, Cell* data, int binary, int lines, int info, int append, Cell* part, Cell* seek,
            Cell* allow, Cell* as) {
  if (allow || as) fire(Err::not_done);
  int64_t n = integer_refinement(part, "part", -1);
  if (part && n < 0) return &fixed_unset;
  // Any seek, even a negative one, keeps the file's contents: the bytes go
  // over the old ones from that offset (from the start when negative).
  int64_t at = integer_refinement(seek, "seek", -1);
  if (seek && at < 0) at = 0;
  std::string bytes;
  if (lines && is_type(data, T_BLOCK)) {
    for (int32_t i = 0, count = block::xs_length_q(data); i < count; i++) {
      // Held on the stack: molding allocates and may move the block.
      Cell* v = stack::push(block::xs_abs_at(data, block::head_of(data) + i));
      bytes += io::value_bytes(v, -1);
      bytes += '\n';
      stack::pop(1);
    }
  } else {
    bytes = io::value_bytes(data, static_cast<int32_t>(n));
    if (lines) bytes += '\n';
  }
  if (!platform::files::write(io::host_path(destination), bytes, append, at)) fire(Err::cannot_open, destination);
  return &fixed_unset;
}

Cell* query(Cell* f) {
  Cell d = io::query_date(f);
  return stack::push(&d);
}

Cell* del(Cell* f) { return logic::push(platform::files::remove(io::host_path(f), io::dir_path_q(f))); }

Cell* rename(Cell* from, Cell* to) {
  if (!is_type(to, T_FILE) && !is_type(to, T_STRING)) fire(Err::invalid_arg, to);
  return logic::push(platform::files::rename(io::host_path(from), io::host_path(to)));
}

}  // namespace xeb::file

namespace xeb::io {

void init() {
  datatype::set_slot(T_FILE, A_DELETE, reinterpret_cast<act::AnyFn>(&file::del));
  datatype::set_slot(T_FILE, A_QUERY, reinterpret_cast<act::AnyFn>(&file::query));
  datatype::set_slot(T_FILE, A_READ, reinterpret_cast<act::AnyFn>(&file::read));
  datatype::set_slot(T_FILE, A_RENAME, reinterpret_cast<act::AnyFn>(&file::rename));
  datatype::set_slot(T_FILE, A_WRITE, reinterpret_cast<act::AnyFn>(&file::write));
  datatype::set_slot(T_URL, A_READ, reinterpret_cast<act::AnyFn>(&url::read));
  datatype::set_slot(T_URL, A_WRITE, reinterpret_cast<act::AnyFn>(&url::write));
}

}  // namespace xeb::io
