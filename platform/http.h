// One synchronous HTTP or HTTPS request over libcurl: method, headers and
// body out; status, headers and body back, redirects followed. A failure
// answers its cause as the library words it (no connection, bad host, TLS,
// timeout), never a guess.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace xeb::platform::http {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Request {
  std::string method;  // "GET", "HEAD", "POST", "PUT", ...
  std::string url;
  Headers headers;
  std::optional<std::string> body;
  size_t max_body = SIZE_MAX;  // a longer body ends the request (too_long)
};

struct Response {
  bool ok = false;
  std::string failure;  // why, when not ok
  bool too_long = false;  // the body passed the request's max_body
  bool no_memory = false;  // the body could not be held
  long status = 0;
  Headers headers;  // of the last response after redirects, in order
  std::string body;
};

Response perform(const Request& request);

}  // namespace xeb::platform::http
