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

// Two lengths that differ leave the body's end unknown: refused, with the
// cause, whichever comes first; the same length twice is one length.
TEST(Http, ConflictingContentLengthsAreRefused) {
  const char* heads[] = {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 3\r\n\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 5\r\n\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: 5, 3\r\n\r\n"};
  for (const char* head : heads) {
    Response r = get_from_one_shot_server(head, kLimit, 5);
    EXPECT_FALSE(r.ok) << head;
    EXPECT_EQ(r.failure, "conflicting Content-Length headers in the response") << head;
  }
  Response r = get_from_one_shot_server("HTTP/1.1 200 OK\r\nContent-Length: 3\r\ncontent-length: 03\r\n\r\n", kLimit, 3);
  EXPECT_TRUE(r.ok) << r.failure;
  EXPECT_EQ(r.body, "aaa");
}

// A line break or NUL in the URL, method or a header would write a request
// of its own: nothing is sent.
TEST(Http, LineBreakOrNulInTheRequestSendsNothing) {
  Request bad[4];
  bad[0].url = "http://127.0.0.1:1/a\r\nX-Injected: 1";
  bad[1].url = std::string("http://127.0.0.1:1/a\0b", 22);
  bad[2].method = "GET /x HTTP/1.1\r\n";
  bad[3].headers = {{"X-A", "1\nX-Injected: 1"}};
  for (Request& q : bad) {
    if (q.url.empty()) q.url = "http://127.0.0.1:1/";
    if (q.method.empty()) q.method = "GET";
    Response r = perform(q);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failure, "line break or NUL in the request");
  }
}

}  // namespace
}  // namespace xeb::platform::http
