// HTTP over libcurl.
#include "platform/http.h"

#include <curl/curl.h>

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

}  // namespace

Response perform(const Request& q) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  Response r;
  CURL* c = curl_easy_init();
  if (!c) {
    r.failure = "cannot start the HTTP library";
    return r;
  }
  Sink sink{&r};
  char error[CURL_ERROR_SIZE] = {0};
  curl_slist* list = nullptr;
  for (const auto& [name, value] : q.headers) list = curl_slist_append(list, (name + ": " + value).c_str());
  list = curl_slist_append(list, "Expect:");  // no 100-continue round trip
  curl_easy_setopt(c, CURLOPT_URL, q.url.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &sink);
  if (q.method == "HEAD") curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  else if (q.method != "GET") curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, q.method.c_str());
  if (q.method != "GET" && q.method != "HEAD") {
    const std::string empty;
    const std::string& body = q.body ? *q.body : empty;
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(c, CURLOPT_COPYPOSTFIELDS, body.data());
  }
  CURLcode rc = curl_easy_perform(c);
  if (rc == CURLE_OK) {
    r.ok = true;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.status);
  } else if (sink.too_long) {
    r.failure = "response headers too long";
  } else {
    r.failure = error[0] ? error : curl_easy_strerror(rc);
  }
  curl_slist_free_all(list);
  curl_easy_cleanup(c);
  return r;
}

}  // namespace xeb::platform::http
