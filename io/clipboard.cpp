// The clipboard as values. Text travels as UTF-8 (an invalid sequence reads
// as U+FFFD), lists of files as a text/uri-list of file:// URIs, images as
// PNG; reading also takes JPEG, GIF and BMP images.
#include "io/clipboard.h"

#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/image.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "io/files.h"
#include "platform/clipboard.h"
#include "platform/services.h"
#include "runtime/stack.h"

namespace xeb::io::clipboard {

namespace cb = platform::clipboard;

namespace {

constexpr std::string_view TEXT = "text/plain;charset=utf-8";
constexpr std::string_view URIS = "text/uri-list";

Cell* push_text(const std::string& utf8, TypeId type) {
  Cell* s = string::push_new(static_cast<int32_t>(utf8.size()) + 1);
  string::append_utf8_lossy(s, utf8);
  set_type(s, type);
  return s;
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(c | 0x20);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The local paths of a text/uri-list: file: URIs only, comments skipped.
std::vector<std::string> uri_paths(std::string_view list) {
  std::vector<std::string> out;
  while (!list.empty()) {
    size_t nl = list.find('\n');
    std::string_view line = list.substr(0, nl);
    list.remove_prefix(nl == std::string_view::npos ? list.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.rfind("file://", 0) != 0) continue;
    line.remove_prefix(7);
    size_t slash = line.find('/');  // past the host, usually empty
    if (slash == std::string_view::npos) continue;
    line.remove_prefix(slash);
    std::string path;
    for (size_t i = 0; i < line.size(); i++) {
      if (line[i] == '%' && i + 2 < line.size() + 0 && hex(line[i + 1]) >= 0 && hex(line[i + 2]) >= 0) {
        path += static_cast<char>(hex(line[i + 1]) * 16 + hex(line[i + 2]));
        i += 2;
      } else {
        path += line[i];
      }
    }
    out.push_back(std::move(path));
  }
  return out;
}

std::string file_uri(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 std::string_view("/-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos;
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool offered(const std::vector<std::string>& types, std::string_view t) {
  for (const std::string& x : types)
    if (x == t) return true;
  return false;
}

[[noreturn]] void invalid_arg(const Cell* v) {
  Cell c = *v;
  fire(Err::invalid_arg, &c);
}

}  // namespace

Cell* read() {
  bool reachable;
  std::vector<std::string> types = cb::types(reachable);
  if (!reachable) return stack::push(&fixed_false);
  for (std::string_view t : {TEXT, std::string_view("text/plain"), std::string_view("STRING")}) {
    if (!offered(types, t)) continue;
    std::optional<std::string> text = cb::get(t);
    if (!text) return stack::push(&fixed_false);
    return push_text(*text, T_STRING);
  }
  if (offered(types, URIS)) {
    std::optional<std::string> list = cb::get(URIS);
    if (!list) return stack::push(&fixed_false);
    std::vector<std::string> paths = uri_paths(*list);
    Cell* b = block::push_only(static_cast<int32_t>(paths.size()) + 1);
    for (const std::string& p : paths) {
      push_text(p, T_FILE);
      block::xs_append(b, stack::top() - 1);
      stack::pop(1);
    }
    return b;
  }
  for (std::string_view t : {"image/png", "image/jpeg", "image/gif", "image/bmp", "image/x-bmp"}) {
    if (!offered(types, t)) continue;
    std::optional<std::string> bytes = cb::get(t);
    if (!bytes) return stack::push(&fixed_false);
    return image::load_binary({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()});
  }
  return stack::push(&fixed_none);
}

bool write(Cell* value) {
  switch (type_of(value)) {
    case T_NONE:
      return cb::clear();
    case T_STRING:
      return cb::set(TEXT, string::utf8_of(value));
    case T_BLOCK: {
      std::string list;
      std::string cwd = platform::get_current_dir();
      if (!cwd.empty() && cwd.back() != '/') cwd += '/';
      int32_t n = series::get_length(value, false);
      for (int32_t i = 0; i < n; i++) {
        Cell item = block::buf(value)->cells()[block::head_of(value) + i];
        if (!is_type(&item, T_FILE) && !is_type(&item, T_STRING)) invalid_arg(&item);
        Cell* it = stack::push(&item);
        std::string path = is_type(it, T_FILE) ? host_path(it) : string::utf8_of(it);
        stack::pop(1);
        if (path.empty() || path[0] != '/') path = cwd + path;
        list += file_uri(path);
        list += "\r\n";
      }
      return cb::set(URIS, std::move(list));
    }
    case T_IMAGE: {
      if (image::area(value) == 0) return cb::clear();
      Cell* png = image::encode(value, static_cast<int>(platform::bitmap::Format::png));
      std::string bytes(reinterpret_cast<const char*>(series::buf(png)->head_ptr()), series::buf(png)->used());
      stack::pop(1);
      return cb::set("image/png", std::move(bytes));
    }
    default:
      invalid_arg(value);
  }
}

}  // namespace xeb::io::clipboard
