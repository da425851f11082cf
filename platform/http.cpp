// HTTP over libcurl, loaded on the first request: linking it would make
// every start pay for relocating it and the two dozen libraries it pulls in.
#include "platform/http.h"

// Calls go through the table: the header's type-checking macros would take
// the table's member calls for calls of their own.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/dynlib.h"

namespace xeb::platform::http {

namespace {

// Headers of one response past this many bytes fail the request: a hostile
// server cannot make us keep an endless header.
constexpr size_t MAX_HEADER_BYTES = 1 << 20;

// The body arrives in pieces of this size at least, each allocated once.
constexpr size_t BODY_PIECE = 1 << 20;

struct Sink {
  Response* r = nullptr;
  size_t max_body = 0;
  size_t header_bytes = 0;
  bool too_long = false;
  // The Content-Length of the response so far; two that differ leave the
  // body's end unknown (a server or proxy between could cut it at either).
  std::optional<std::string> length;
  bool conflicting_length = false;
  // The body so far, in pieces: a growing string copies itself at each
  // doubling (twice the body held at once) and its last doubling can pass
  // the limit by almost as much again.
  std::vector<std::string> pieces;
  size_t body_bytes = 0;
};

// A body that never ends (or passes what the caller can hold) stops the
// transfer as soon as it would pass the limit, instead of growing without
// bound.
size_t on_body(char* p, size_t size, size_t n, void* ctx) {
  auto* s = static_cast<Sink*>(ctx);
  size_t k = size * n;
  if (k > s->max_body - s->body_bytes) {
    s->r->too_long = true;
    return 0;
  }
  try {
    if (s->pieces.empty() || s->pieces.back().capacity() - s->pieces.back().size() < k) {
      s->pieces.emplace_back();
      s->pieces.back().reserve(std::min(std::max(k, BODY_PIECE), s->max_body - s->body_bytes));
    }
    s->pieces.back().append(p, k);
  } catch (const std::bad_alloc&) {  // must not unwind through the library
    s->r->no_memory = true;
    return 0;
  }
  s->body_bytes += k;
  return k;
}

// Joins the pieces into the response's body, each freed once copied, so
// that the body is held about once.
void join_body(Sink& s) {
  std::string& body = s.r->body;
  if (s.pieces.size() == 1) {
    body = std::move(s.pieces[0]);
    return;
  }
  try {
    body.reserve(s.body_bytes);
  } catch (const std::bad_alloc&) {
    s.r->no_memory = true;
    return;
  }
  for (std::string& piece : s.pieces) {
    body.append(piece);
    std::string().swap(piece);
  }
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Takes a Content-Length value (a comma-separated list counts as repeated
// headers); false when it differs from one seen before in this response.
bool one_length(Sink* s, std::string_view value) {
  for (;;) {
    size_t comma = value.find(',');
    std::string_view item = value.substr(0, comma);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    // Leading zeros name the same length.
    while (item.size() > 1 && item.front() == '0') item.remove_prefix(1);
    if (!s->length) s->length = std::string(item);
    else if (*s->length != item) return false;
    if (comma == std::string_view::npos) return true;
    value.remove_prefix(comma + 1);
  }
}

size_t on_header(char* p, size_t size, size_t n, void* ctx) {
  auto* s = static_cast<Sink*>(ctx);
  std::string_view line(p, size * n);
  if (line.rfind("HTTP/", 0) == 0) {  // a new response (after a redirect or 100)
    s->r->headers.clear();
    s->header_bytes = 0;
    s->length.reset();
  }
  s->header_bytes += line.size();
  if (s->header_bytes > MAX_HEADER_BYTES) {
    s->too_long = true;
    return 0;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return size * n;
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  std::string_view name = line.substr(0, colon);
  if (same_name(name, "Content-Length") && !one_length(s, value)) {
    s->conflicting_length = true;
    return 0;
  }
  s->r->headers.emplace_back(std::string(name), std::string(value));
  return size * n;
}

#define CURL_ENTRIES(X)                                                                              \
  X(curl_global_init) X(curl_easy_init) X(curl_easy_setopt) X(curl_easy_perform) X(curl_easy_getinfo) \
  X(curl_easy_strerror) X(curl_easy_cleanup) X(curl_slist_append) X(curl_slist_free_all)

// The entries used, found in the library at its first use.
struct Curl {
  CURL_ENTRIES(XEB_DYNLIB_ENTRY)
};

// Null when the library or one of its entries is missing.
const Curl* curl() {
  return dynlib::load<Curl>("libcurl.so.4", [](void* lib, Curl& api) {
    return true CURL_ENTRIES(XEB_DYNLIB_FIND) && api.curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  });
}

}  // namespace

Response perform(const Request& q) {
  Response r;
  const Curl* api = curl();
  if (!api) {
    r.failure = "cannot load the HTTP library (libcurl.so.4)";
    return r;
  }
  CURL* c = api->curl_easy_init();
  if (!c) {
    r.failure = "cannot start the HTTP library";
    return r;
  }
  Sink sink;
  sink.r = &r;
  sink.max_body = q.max_body;
  // The caller checks names and values; a line break or NUL that still came
  // here would write a header of the caller's choosing, or cut one short.
  auto unsafe = [](std::string_view t) { return t.find_first_of(std::string_view("\r\n\0", 3)) != t.npos; };
  bool bad = unsafe(q.url) || unsafe(q.method);
  for (const auto& [name, value] : q.headers) bad = bad || unsafe(name) || unsafe(value);
  if (bad) {
    api->curl_easy_cleanup(c);
    r.failure = "line break or NUL in the request";
    return r;
  }
  char error[CURL_ERROR_SIZE] = {0};
  curl_slist* list = nullptr;
  bool typed = false;
  for (const auto& [name, value] : q.headers) {
    list = api->curl_slist_append(list, (name + ": " + value).c_str());
    typed = typed || same_name(name, "Content-Type");
  }
  list = api->curl_slist_append(list, "Expect:");  // no 100-continue round trip
  // A body goes with the Content-Type the caller gives, or none: the
  // library would add its own form type.
  if (!typed) list = api->curl_slist_append(list, "Content-Type:");
  api->curl_easy_setopt(c, CURLOPT_URL, q.url.c_str());
  api->curl_easy_setopt(c, CURLOPT_HTTPHEADER, list);
  api->curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  api->curl_easy_setopt(c, CURLOPT_MAXREDIRS, 20L);
  api->curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  // A server that stops sending (mid-header or mid-body) fails the request
  // after 30 s without a byte, as a receive timeout, instead of holding the
  // process forever.
  api->curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  api->curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 30L);
  api->curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  api->curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  api->curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  api->curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  api->curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
  api->curl_easy_setopt(c, CURLOPT_HEADERDATA, &sink);
  // A body announced longer than the limit is refused before a byte of it.
  if (q.method != "HEAD" && q.max_body < static_cast<size_t>(INT64_MAX))
    api->curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(q.max_body));
  if (q.method == "HEAD") api->curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  else if (q.method != "GET") api->curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, q.method.c_str());
  if (q.method != "GET" && q.method != "HEAD") {
    const std::string empty;
    const std::string& body = q.body ? *q.body : empty;
    api->curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    api->curl_easy_setopt(c, CURLOPT_COPYPOSTFIELDS, body.data());
  }
  CURLcode rc = api->curl_easy_perform(c);
  if (rc == CURLE_OK) join_body(sink);
  if (rc == CURLE_OK && !r.no_memory) {
    r.ok = true;
    api->curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.status);
  } else if (r.too_long || rc == CURLE_FILESIZE_EXCEEDED) {
    r.too_long = true;
    r.failure = "response body too long";
  } else if (r.no_memory) {
    r.failure = "not enough memory";
  } else if (sink.too_long) {
    r.failure = "response headers too long";
  } else if (sink.conflicting_length) {
    r.failure = "conflicting Content-Length headers in the response";
  } else {
    r.failure = error[0] ? error : api->curl_easy_strerror(rc);
  }
  api->curl_slist_free_all(list);
  api->curl_easy_cleanup(c);
  return r;
}

}  // namespace xeb::platform::http
