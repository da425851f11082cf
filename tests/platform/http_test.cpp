// The HTTP layer against a local server that never ends its body: the
// request stops at the caller's limit instead of growing without bound.
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

TEST(Http, EndlessBodyStopsAtTheLimit) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  socklen_t len = sizeof a;
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
  std::thread server([listener] {
    int c = ::accept(listener, nullptr, nullptr);
    if (c < 0) return;
    char buf[4096];
    (void)::read(c, buf, sizeof buf);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    (void)::send(c, head.data(), head.size(), MSG_NOSIGNAL);
    const std::string chunk(65536, 'a');
    while (::send(c, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
    }
    ::close(c);
  });
  Request q;
  q.method = "GET";
  q.url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/";
  q.max_body = 1 << 20;
  Response r = perform(q);
  ::shutdown(listener, SHUT_RDWR);
  ::close(listener);
  server.join();
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.too_long);
  EXPECT_LE(r.body.size(), q.max_body);
}

}  // namespace
}  // namespace xeb::platform::http
