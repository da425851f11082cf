// The terminal back-end: what the escape interpreter's operations become on
// an ANSI terminal, read back from the master side of a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/console_out.h"
#include "platform/terminal_console.h"
#include "tests/platform/console_fixture.h"

namespace xeb::test {
namespace {

class OnTerminal : public ::testing::Test {
 protected:
  int master = -1, slave = -1;
  platform::TerminalConsole term;

  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);  // bytes pass as written
    tcsetattr(slave, TCSANOW, &t);
    winsize ws{};
    ws.ws_col = 80;
    ws.ws_row = 24;
    ioctl(master, TIOCSWINSZ, &ws);
    term.fd = slave;
    term.ask_terminal = false;  // nobody answers on the master side
    platform::use_console(platform::terminal_ops(term));
    platform::set_default_attribute(platform::attr::PLAIN);
  }
  void TearDown() override {
    close(slave);
    close(master);
  }

  std::string drain() {
    std::string s;
    char buf[512];
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, 50) > 0) {
      ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      s.append(buf, static_cast<size_t>(n));
    }
    return s;
  }
  static void show(std::string_view latin1) {
    platform::prin_latin1({reinterpret_cast<const uint8_t*>(latin1.data()), latin1.size()});
  }
};

TEST_F(OnTerminal, SequencesBecomeAnsiOutput) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"A\x1b[31mB", "A\x1b[0;31mB"},
      {"\x1b[1;31;42m", "\x1b[0;91;102m"},
      {"\x1b[4m", "\x1b[0;91;102;4m"},
      {"\x1b[0m", "\x1b[0m"},
      {"\x1b[2;5H", "\x1b[6;3H"},  // column 2, row 5
      {"\x1b[2A", "\x1b[4;3H"},
      {"abc\x1b[K", "abc\x1b[0m\x1b[4;6H\x1b[75X\x1b[4;6H\x1b[0m"},
      {"\xE9", "\xC3\xA9"},
      {"a\nb\r\n", "a\r\nb\r\r\n"},
  };
  for (const Case& c : cases) {
    show(c.in);
    EXPECT_EQ(drain(), c.out) << c.in;
  }
}

TEST_F(OnTerminal, SurrogatePairsBecomeOneCharacter) {
  platform::prin_ucs4(std::u32string_view(U"\U0001F600"));
  platform::prin_ucs2(std::u16string_view(u"\xD800z"));  // a high half alone
  EXPECT_EQ(drain(), "\xF0\x9F\x98\x80\xEF\xBF\xBDz");
}

}  // namespace
}  // namespace xeb::test
