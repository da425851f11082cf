// The HTTP layer against a local server whose body passes the caller's
// limit: the request stops at the limit instead of growing without bound,
// and its buffer never grows past it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/http.h"

namespace xeb::platform::http {
namespace {

// Answers one request with the head, then 64 KiB chunks of body until the
// client hangs up (or, when length is given, that many bytes).
Response get_from_one_shot_server(const std::string& head, size_t max_body, size_t length = SIZE_MAX) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(listener, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(::listen(listener, 1), 0);
  socklen_t len = sizeof a;
  EXPECT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
  std::thread server([listener, head, length] {
    int c = ::accept(listener, nullptr, nullptr);
    if (c < 0) return;
    char buf[4096];
    (void)::read(c, buf, sizeof buf);
    (void)::send(c, head.data(), head.size(), MSG_NOSIGNAL);
    const std::string chunk(65536, 'a');
    for (size_t sent = 0; sent < length;) {
      ssize_t k = ::send(c, chunk.data(), std::min(chunk.size(), length - sent), MSG_NOSIGNAL);
      if (k <= 0) break;
      sent += static_cast<size_t>(k);
    }
    ::close(c);
  });
  Request q;
  q.method = "GET";
  q.url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/";
  q.max_body = max_body;
  Response r = perform(q);
  ::shutdown(listener, SHUT_RDWR);
  ::close(listener);
  server.join();
  return r;
}

// A limit that no doubling of the buffer lands on.
constexpr size_t kLimit = 1000000;

TEST(Http, EndlessBodyStopsAtTheLimit) {
  Response r = get_from_one_shot_server("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n", kLimit);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.too_long);
  EXPECT_LE(r.body.size(), kLimit);
  EXPECT_LE(r.body.capacity(), kLimit);
}

TEST(Http, AnnouncedBodyPastTheLimitIsRefusedUnread) {
  Response r = get_from_one_shot_server(
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kLimit + 1) + "\r\n\r\n", kLimit, kLimit + 1);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.too_long);
  EXPECT_EQ(r.body.size(), 0u);
}

// A body of exactly the limit is whole.
TEST(Http, BodyOfTheLimitArrives) {
  Response r =
      get_from_one_shot_server("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kLimit) + "\r\n\r\n", kLimit, kLimit);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.body.size(), kLimit);
  EXPECT_LE(r.body.capacity(), kLimit);
}

}  // namespace
}  // namespace xeb::platform::http
