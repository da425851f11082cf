// HTTP over libcurl, loaded on the first request: linking it would make
// every start pay for relocating it and the two dozen libraries it pulls in.
#include "platform/http.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <mutex>

namespace xeb::platform::http {

namespace {

// Headers of one response past this many bytes fail the request: a hostile
// server cannot make us keep an endless header.
constexpr size_t MAX_HEADER_BYTES = 1 << 20;

struct Sink {
  Response* r;
  size_t header_bytes = 0;
  bool too_long = false;
};

size_t on_body(char* p, size_t size, size_t n, void* ctx) {
  static_cast<Sink*>(ctx)->r->body.append(p, size * n);
  return size * n;
}

size_t on_header(char* p, size_t size, size_t n, void* ctx) {
  auto* s = static_cast<Sink*>(ctx);
  std::string_view line(p, size * n);
  if (line.rfind("HTTP/", 0) == 0) {  // a new response (after a redirect or 100)
    s->r->headers.clear();
    s->header_bytes = 0;
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
  s->r->headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
  return size * n;
}

// The entries used, found in the library at its first use.
struct Curl {
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_perform) easy_perform;
  decltype(&curl_easy_getinfo) easy_getinfo;
  decltype(&curl_easy_strerror) easy_strerror;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
};

template <class F>
bool find(void* lib, const char* name, F& f) {
  f = reinterpret_cast<F>(dlsym(lib, name));
  return f != nullptr;
}

// Null when the library or one of its entries is missing.
const Curl* curl() {
  static Curl api;
  static const Curl* loaded = [] () -> const Curl* {
    void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    bool ok = find(lib, "curl_global_init", api.global_init) && find(lib, "curl_easy_init", api.easy_init) &&
              find(lib, "curl_easy_setopt", api.easy_setopt) && find(lib, "curl_easy_perform", api.easy_perform) &&
              find(lib, "curl_easy_getinfo", api.easy_getinfo) &&
              find(lib, "curl_easy_strerror", api.easy_strerror) &&
              find(lib, "curl_easy_cleanup", api.easy_cleanup) &&
              find(lib, "curl_slist_append", api.slist_append) &&
              find(lib, "curl_slist_free_all", api.slist_free_all);
    if (!ok || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    return &api;
  }();
  return loaded;
}

}  // namespace

Response perform(const Request& q) {
  Response r;
  const Curl* api = curl();
  if (!api) {
    r.failure = "cannot load the HTTP library (libcurl.so.4)";
    return r;
  }
  CURL* c = api->easy_init();
  if (!c) {
    r.failure = "cannot start the HTTP library";
    return r;
  }
  Sink sink{&r};
  char error[CURL_ERROR_SIZE] = {0};
  curl_slist* list = nullptr;
  for (const auto& [name, value] : q.headers) list = api->slist_append(list, (name + ": " + value).c_str());
  list = api->slist_append(list, "Expect:");  // no 100-continue round trip
  api->easy_setopt(c, CURLOPT_URL, q.url.c_str());
  api->easy_setopt(c, CURLOPT_HTTPHEADER, list);
  api->easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  api->easy_setopt(c, CURLOPT_MAXREDIRS, 20L);
  api->easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  api->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  api->easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  api->easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  api->easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  api->easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
  api->easy_setopt(c, CURLOPT_HEADERDATA, &sink);
  if (q.method == "HEAD") api->easy_setopt(c, CURLOPT_NOBODY, 1L);
  else if (q.method != "GET") api->easy_setopt(c, CURLOPT_CUSTOMREQUEST, q.method.c_str());
  if (q.method != "GET" && q.method != "HEAD") {
    const std::string empty;
    const std::string& body = q.body ? *q.body : empty;
    api->easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    api->easy_setopt(c, CURLOPT_COPYPOSTFIELDS, body.data());
  }
  CURLcode rc = api->easy_perform(c);
  if (rc == CURLE_OK) {
    r.ok = true;
    api->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.status);
  } else if (sink.too_long) {
    r.failure = "response headers too long";
  } else {
    r.failure = error[0] ? error : api->easy_strerror(rc);
  }
  api->slist_free_all(list);
  api->easy_cleanup(c);
  return r;
}

}  // namespace xeb::platform::http
