// The key decoder through a fake terminal: scripted reads, so that every
// way the bytes can be split across reads is tried; and the terminal owner
// on a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/key_decoder.h"
#include "platform/terminal_mode.h"
#include "tests/support/fake_terminal.h"

namespace xeb::test {
namespace {

using platform::Key;
using platform::KeyKind;

// Every key until the input ends.
std::vector<Key> keys_of(std::vector<std::string> chunks) {
  FakeTerminal f;
  f.chunks = std::move(chunks);
  platform::TermIO io = f.io();
  platform::KeyDecoder dec;
  std::vector<Key> out;
  for (int guard = 0; guard < 100000; guard++) {
    Key k = platform::read_key(io, dec);
    if (k.kind == KeyKind::end_of_input) return out;
    out.push_back(k);
  }
  ADD_FAILURE() << "no end of input";
  return out;
}

Key k(KeyKind kind, uint8_t mods = 0) {
  Key r;
  r.kind = kind;
  r.mods = mods;
  return r;
}
Key ch(char32_t c) {
  Key r;
  r.kind = KeyKind::character;
  r.ch = c;
  return r;
}
Key alt(char32_t c) {
  Key r = ch(c);
  r.mods = platform::key_mod::alt;
  return r;
}
Key fkey(int n) {
  Key r = k(KeyKind::function);
  r.a = n;
  return r;
}
Key mouse(int b, int x, int y, bool release) {
  Key r = k(KeyKind::mouse);
  r.a = b;
  r.b = x;
  r.c = y;
  r.release = release;
  return r;
}
Key report(int row, int col) {
  Key r = k(KeyKind::cursor_report);
  r.b = row;
  r.c = col;
  return r;
}

struct Case {
  const char* bytes;
  std::vector<Key> keys;
};

const std::vector<Case>& cases() {
  using M = uint8_t;
  static const std::vector<Case> table = {
      {"\x1b[A", {k(KeyKind::up)}},
      {"\x1b[B", {k(KeyKind::down)}},
      {"\x1b[C", {k(KeyKind::right)}},
      {"\x1b[D", {k(KeyKind::left)}},
      {"\x1bOA", {k(KeyKind::up)}},
      {"\x1bOD", {k(KeyKind::left)}},
      {"\x1b[H", {k(KeyKind::home)}},
      {"\x1b[F", {k(KeyKind::end)}},
      {"\x1bOH", {k(KeyKind::home)}},
      {"\x1bOF", {k(KeyKind::end)}},
      {"\x1b[1~", {k(KeyKind::home)}},
      {"\x1b[4~", {k(KeyKind::end)}},
      {"\x1b[7~", {k(KeyKind::home)}},
      {"\x1b[8~", {k(KeyKind::end)}},
      {"\x1b[2~", {k(KeyKind::insert)}},
      {"\x1b[3~", {k(KeyKind::del)}},
      {"\x1b[5~", {k(KeyKind::page_up)}},
      {"\x1b[6~", {k(KeyKind::page_down)}},
      {"\x1b[1;5C", {k(KeyKind::right, M(platform::key_mod::control))}},
      {"\x1b[1;5D", {k(KeyKind::left, M(platform::key_mod::control))}},
      {"\x1b[3;2~", {k(KeyKind::del, M(platform::key_mod::shift))}},
      {"\x1b[Z", {k(KeyKind::back_tab)}},
      {"\x1bOP", {fkey(1)}},
      {"\x1b[15~", {fkey(5)}},
      {"\x1b[24~", {fkey(12)}},
      {"\x1b[<0;12;5M", {mouse(0, 12, 5, false)}},
      {"\x1b[<0;12;5m", {mouse(0, 12, 5, true)}},
      {"\x1b[7;33R", {report(7, 33)}},
      {"\x1b[99x", {k(KeyKind::unknown)}},
      {"\x1b]0;title\x07" "a", {k(KeyKind::unknown), ch('a')}},
      {"\x1bP1$r\x1b\\b", {k(KeyKind::unknown), ch('b')}},
      // ESC before a byte that starts no sequence: that key with Alt; before
      // a second ESC or a character past ASCII: Escape, then the rest.
      {"\x1b" "b", {alt('b')}},
      {"\x1b\r", {alt(13)}},
      {"\x1b\x7f" "f", {alt(127), ch('f')}},
      {"\x1b\x1b[A", {ch(27), k(KeyKind::up)}},
      {"\x1b\xc3\xa9", {ch(27), ch(0xE9)}},
      // A lone ESC at the end is one key.
      {"a\x1b", {ch('a'), ch(27)}},
      // A sequence broken off by a control byte: noise, then the byte.
      {"\x1b[1\x03", {k(KeyKind::unknown), ch(3)}},
      // Text: ASCII, controls, DEL, two-, three- and four-byte characters.
      {"ab\x01\x7f", {ch('a'), ch('b'), ch(1), ch(127)}},
      {"\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", {ch(0xE9), ch(0x4E2D), ch(0x1F600)}},
      // Malformed UTF-8: one replacement per bad start, the breaking byte kept.
      {"\xff" "a\xc3" "b", {ch(0xFFFD), ch('a'), ch(0xFFFD), ch('b')}},
      // Surrogates are no characters, high (D800-DBFF) or low (DC00-DFFF).
      {"\xed\xa0\x80\xed\xaf\xbf\xed\xb0\x80\xed\xbf\xbf", {ch(0xFFFD), ch(0xFFFD), ch(0xFFFD), ch(0xFFFD)}},
  };
  return table;
}

TEST(KeyDecoder, EverySplitDecodesAsWhole) {
  for (const Case& c : cases()) {
    const std::string all = c.bytes;
    EXPECT_EQ(keys_of({all}), c.keys) << "whole: " << testing::PrintToString(all);
    for (size_t cut = 1; cut < all.size(); cut++) {
      EXPECT_EQ(keys_of({all.substr(0, cut), all.substr(cut)}), c.keys)
          << "split at " << cut << ": " << testing::PrintToString(all);
    }
    std::vector<std::string> bytes;
    for (char b : all) bytes.emplace_back(1, b);
    EXPECT_EQ(keys_of(bytes), c.keys) << "byte by byte: " << testing::PrintToString(all);
  }
}

TEST(KeyDecoder, SequencesBackToBack) {
  std::string all;
  std::vector<Key> want;
  for (const Case& c : cases()) {
    if (std::string(c.bytes).back() == '\x1b') continue;  // a lone ESC only ends the input
    all += c.bytes;
    want.insert(want.end(), c.keys.begin(), c.keys.end());
  }
  EXPECT_EQ(keys_of({all}), want);
  for (size_t cut = 1; cut < all.size(); cut += 7) {
    EXPECT_EQ(keys_of({all.substr(0, cut), all.substr(cut)}), want) << "split at " << cut;
  }
}

// Reads apart in time (an empty chunk is a pause longer than the wait for
// an ESC's sequence): only an ESC is completed by time; a character split
// across the pause stays one character.
TEST(KeyDecoder, OnlyEscapeIsCompletedByTime) {
  EXPECT_EQ(keys_of({"\xc3", "", "\xa9"}), std::vector<Key>{ch(0xE9)});
  EXPECT_EQ(keys_of({"\xe4", "", "\xb8", "", "", "\xad"}), std::vector<Key>{ch(0x4E2D)});
  EXPECT_EQ(keys_of({"\x1b", "", "b"}), (std::vector<Key>{ch(27), ch('b')}));
  EXPECT_EQ(keys_of({"\x1b[", "", "A"}), (std::vector<Key>{ch(27), ch('['), ch('A')}));
  // Cut short at the end of the input: its replacement, no hang.
  EXPECT_EQ(keys_of({"a\xc3", ""}), (std::vector<Key>{ch('a'), ch(0xFFFD)}));
}

TEST(KeyDecoder, ClosedOrFailedInputEnds) {
  FakeTerminal f;
  platform::TermIO io = f.io();
  io.read = [](void*, void*, size_t) -> long { return -1; };
  platform::KeyDecoder dec;
  // A failing read is the end of input every time it is asked, not a loop.
  for (int i = 0; i < 3; i++) EXPECT_EQ(platform::read_key(io, dec).kind, KeyKind::end_of_input);
  io.wait = [](void*, int) { return platform::Ready::failed; };
  EXPECT_EQ(platform::read_key(io, dec).kind, KeyKind::end_of_input);
}

TEST(KeyDecoder, HostileBytesNeverHang) {
  // A CSI with no final byte, and an OSC with no end, are given up at
  // their bound rather than held forever.
  std::string csi = "\x1b[" + std::string(200, '1');
  std::vector<Key> got = keys_of({csi, "x"});
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front().kind, KeyKind::unknown);
  EXPECT_EQ(got.back(), ch('x'));
  srand(7);
  std::string noise;
  for (int i = 0; i < 20000; i++) noise += static_cast<char>(rand() & 0xFF);
  keys_of({noise});  // ends, whatever it decodes to
}

// The terminal owner on a pseudo-terminal: raw mode nests, the outermost
// leave gives back the settings, and restore undoes modes and raw mode once.
TEST(TerminalMode, RawNestsAndRestoreIsIdempotent) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios before{};
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  namespace tm = platform::terminal_mode;
  ASSERT_TRUE(tm::open(slave, slave));
  auto lflag = [&] {
    termios t{};
    tcgetattr(slave, &t);
    return t.c_lflag;
  };
  ASSERT_TRUE(tm::enter_raw());
  ASSERT_TRUE(tm::enter_raw());
  EXPECT_EQ(lflag() & (ICANON | ECHO | ISIG), 0u);
  tm::leave_raw();
  EXPECT_EQ(lflag() & (ICANON | ECHO | ISIG), 0u) << "an inner leave keeps raw mode";
  tm::leave_raw();
  EXPECT_EQ(lflag(), before.c_lflag);

  tm::enter_raw();
  tm::set_modes(tm::alternate_screen | tm::cursor_hidden);
  tm::restore();
  tm::restore();
  EXPECT_EQ(lflag(), before.c_lflag);
  EXPECT_EQ(tm::raw_depth(), 0);
  std::string out;
  char buf[256];
  pollfd p{master, POLLIN, 0};
  while (poll(&p, 1, 100) > 0) {
    ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(out, "\x1b[?1049l\x1b[?25h") << "the restore bytes, written once";
  close(slave);
  close(master);
}

}  // namespace
}  // namespace xeb::test
