// The url! actions read and write over HTTP: the request from the action's
// arguments, the reply as binary!, string!, a block of lines, or with /info
// the block [status headers body], the headers a map! whose repeated names
// hold a block of their values.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/map.h"
#include "datatypes/port.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "io/files.h"
#include "platform/http.h"
#include "datatypes/registry.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace xeb::url {

namespace {

namespace http = platform::http;

// A URL of another scheme is read or written by the port of its scheme.
template <typename Fn, Action Slot, typename... Args>
Cell* through_port(Cell* u, Args... args) {
  Cell* p = port::from_url(u);
  if (throwing()) return p;
  return datatype::slot<Fn>(T_PORT, Slot)(p, args...);
}

bool http_url(const Cell* u) {
  constexpr char kScheme[] = "http";
  if (string::xs_length_q(u) < 4) return false;
  for (int i = 0; i < 4; i++)
    if (string::char_at(u, i) != kScheme[i]) return false;
  return true;
}

// A word's spelling, or the formed text of any other value.
std::string text_of(Cell* v) {
  if (is_type(v, T_STRING)) return string::utf8_of(v);
  if (any_word(type_of(v))) {
    Cell* s = word::push_string(v);
    std::string t = string::utf8_of(s);
    stack::pop(1);
    return t;
  }
  return actions::form_text(v);
}

std::string method_of(Cell* w) {
  std::string m = text_of(w);
  for (char& c : m)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return m;
}

// A header name or method is an HTTP token: visible ASCII but separators.
bool token_q(std::string_view t) {
  if (t.empty()) return false;
  for (unsigned char c : t) {
    if (c <= 0x20 || c >= 0x7F) return false;
    if (std::string_view("\"(),/:;<=>?@[\\]{}").find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  return true;
}

// The pairs of a headers block, or the defaults without one. A name that is
// no token, or a line break or NUL in a value, would write other headers
// (or cut this one short) on the wire: the header is refused by its name.
http::Headers headers_of(Cell* block) {
  if (!block) {
    return {{"Content-Type", "application/x-www-form-urlencoded"},
            {"Accept-Charset", "UTF-8"},
            {"User-Agent", "Mozilla/5.0 (X11; Linux x86_64)"}};
  }
  http::Headers h;
  int32_t n = block::xs_length_q(block);
  for (int32_t i = 0; i + 1 < n; i += 2) {
    Cell* name = stack::push(block::xs_abs_at(block, block::head_of(block) + i));
    std::string key = text_of(name);
    Cell* value = stack::push(block::xs_abs_at(block, block::head_of(block) + i + 1));
    std::string text = text_of(value);
    if (!token_q(key) || text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      fire(Err::invalid_arg, name);
    h.emplace_back(key, text);
    stack::pop(2);
  }
  return h;
}

Cell* push_body(const std::string& body, int binary, int lines) {
  const auto* p = reinterpret_cast<const uint8_t*>(body.data());
  auto len = static_cast<int32_t>(body.size());
  if (binary) return binary::load(p, len);
  if (lines) return io::push_lines(body);
  return string::load_new(p, len, string::ENC_UTF8);
}

Cell* push_header_map(const http::Headers& headers) {
  // Names in order of first appearance; a repeated one collects a block.
  std::vector<std::string> names;
  std::vector<std::vector<const std::string*>> values;
  for (const auto& [name, value] : headers) {
    size_t k = 0;
    while (k < names.size() && names[k] != name) k++;
    if (k == names.size()) {
      names.push_back(name);
      values.emplace_back();
    }
    values[k].push_back(&value);
  }
  Cell* b = block::push_only(static_cast<int32_t>(names.size() * 2) + 1);
  auto push_text = [](const std::string& t) {
    Cell* s = string::push_new(static_cast<int32_t>(t.size()) + 1);
    string::append_utf8(s, t);
    return s;
  };
  for (size_t k = 0; k < names.size(); k++) {
    block::xs_append(b, word::load(names[k]));
    if (values[k].size() == 1) {
      block::xs_append(b, push_text(*values[k][0]));
      stack::pop(1);
      continue;
    }
    Cell* all = block::push_only(static_cast<int32_t>(values[k].size()));
    for (const std::string* v : values[k]) {
      block::xs_append(all, push_text(*v));
      stack::pop(1);
    }
    block::xs_append(b, all);
    stack::pop(1);
  }
  Cell* m = stack::push_new();
  map::make_at(m, b, 0);
  return m;
}

// The URL as it goes on the wire. A URL's text is decoded (the lexer reads
// %20 as a space), so its path and query are encoded again: each byte that
// may not stand for itself there becomes %XX by the URL class, so that
// every request names the resource the URL names. The delimiters a path or
// query holds stay as they are, as a URL written out uses them; "#" and
// "%" are encoded, as the text holds them for themselves (a fragment is
// never sent). In the authority only what no host or port holds (controls,
// space, quotes) is encoded, for the library to refuse.
std::string wire_url(const std::string& text) {
  constexpr std::string_view kPathKeep = "/!$&'()*+,;=:@";
  constexpr std::string_view kAuthorityBad = "\"<>\\^`{|}";
  size_t scheme = text.find("://");
  size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  size_t rest = text.find_first_of("/?#", start);
  if (rest == std::string::npos) rest = text.size();
  std::string out = text.substr(0, start);
  auto escape = [&out](unsigned char c) {
    char hex[2];
    string::byte_to_hex(c, hex);
    out += '%';
    out.append(hex, 2);
  };
  for (size_t i = start; i < rest; i++) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c == 0x7F || kAuthorityBad.find(static_cast<char>(c)) != std::string_view::npos) escape(c);
    else out += static_cast<char>(c);
  }
  if (rest < text.size() && text[rest] != '/' && text[rest] != '?') out += '/';
  bool query = false;
  for (size_t i = rest; i < text.size(); i++) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '?' && !query) {
      query = true;
      out += '?';
    } else if (in_class(c, Class::url) || kPathKeep.find(static_cast<char>(c)) != std::string_view::npos ||
               (query && c == '?')) {
      out += static_cast<char>(c);
    } else {
      escape(c);
    }
  }
  return out;
}

Cell* request(Cell* u, std::string method, Cell* headers, Cell* data, int binary, int lines, int info) {
  http::Request q;
  if (!token_q(method)) {
    Cell* m = string::push_new(static_cast<int32_t>(method.size()) + 1);
    string::append_utf8(m, method);
    fire(Err::invalid_arg, m);
  }
  q.method = std::move(method);
  q.url = wire_url(string::utf8_of(u));
  q.headers = headers_of(headers);
  if (data && is_type(data, T_BINARY))
    q.body.emplace(reinterpret_cast<const char*>(binary::xs_head(data)), static_cast<size_t>(binary::xs_length_q(data)));
  else if (data && !is_type(data, T_NONE))
    q.body = text_of(data);
  q.max_body = INT32_MAX;  // what a series holds
  http::Response r = http::perform(q);
  if (r.too_long) fire(Err::too_long);
  if (r.no_memory) fire(Err::no_memory);
  if (!r.ok) {
    Cell* why = string::push_new(static_cast<int32_t>(r.failure.size()) + 1);
    string::append_utf8(why, r.failure);
    fire(Err::no_connect, u, why);
  }
  if (r.body.size() > INT32_MAX) fire(Err::too_long);
  if (!info) return push_body(r.body, binary, lines);
  Cell* out = block::push_only(3);
  Cell status{T_INTEGER, 0, static_cast<uint32_t>(r.status), 0};
  block::xs_append(out, &status);
  block::xs_append(out, push_header_map(r.headers));
  stack::pop(1);
  block::xs_append(out, push_body(r.body, binary, lines));
  stack::pop(1);
  return out;
}

}  // namespace

Cell* read(Cell* source, Cell* part, Cell* seek, int binary, int lines, int info, Cell* as) {
  if (!http_url(source)) return through_port<act::Read, A_READ>(source, part, seek, binary, lines, info, as);
  if (part || seek || as) fire(Err::not_done);
  return request(source, "GET", nullptr, nullptr, binary, lines, info);
}

Cell* write(Cell* destination, Cell* data, int binary, int lines, int info, int append, Cell* part, Cell* seek,
            Cell* allow, Cell* as) {
  if (!http_url(destination))
    return through_port<act::Write, A_WRITE>(destination, data, binary, lines, info, append, part, seek, allow, as);
  if (seek || allow || as) fire(Err::not_done);
  std::string method = "POST";
  Cell* headers = nullptr;
  Cell* body = data;
  if (is_type(data, T_BLOCK) && block::xs_length_q(data) > 0) {
    int32_t n = block::xs_length_q(data), h = block::head_of(data);
    Cell* m = stack::push(block::xs_abs_at(data, h));
    if (!any_word(type_of(m))) fire(Err::invalid_arg, m);
    method = method_of(m);
    headers = n > 1 ? stack::push(block::xs_abs_at(data, h + 1)) : nullptr;
    if (headers && !is_type(headers, T_BLOCK)) fire(Err::invalid_arg, headers);
    body = n > 2 ? stack::push(block::xs_abs_at(data, h + 2)) : nullptr;
  } else if (is_type(data, T_BLOCK)) {
    method = "GET";
  }
  if (body && !is_type(body, T_NONE) && !is_type(body, T_BLOCK) && !is_type(body, T_STRING) &&
      !is_type(body, T_BINARY))
    fire(Err::invalid_arg, body);
  return request(destination, method, headers, body, binary, lines, info);
}

}  // namespace xeb::url
