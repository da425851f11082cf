// The console writer's batching and line ends (LF alone, as on Linux), and redirected output as
// UTF-8 with escapes left untouched.
#include <string>
#include <vector>

#include "tests/platform/console_fixture.h"

namespace xeb::test {
namespace {

using Sizes = std::vector<size_t>;

TEST_F(OnConsole, LongTextIsWrittenInChunksOf510Units) {
  const std::string text(600, 'a');
  platform::print_latin1({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  EXPECT_EQ(con.writes, (Sizes{510, 91}));
  EXPECT_EQ(con.text.substr(598), u"aa\n");
}

TEST_F(OnConsole, FourByteTextIsWrittenOneCodePointAtATime) {
  platform::print_ucs4(std::u32string_view(U"a\U0001F600"));
  EXPECT_EQ(con.writes, (Sizes{1, 2, 1}));
  EXPECT_EQ(con.text, u"a\U0001F600\n");  // the pair, then a lone LF
}

TEST_F(Redirected, TextBecomesUtf8AndKeepsItsEscapes) {
  show_bytes("A\x1b[31mB", false);
  EXPECT_EQ(out.bytes, "A\x1b[31mB");
  out.bytes.clear();
  show_bytes("\xE9", true);
  EXPECT_EQ(out.bytes, "\xC3\xA9\n");
  out.bytes.clear();
  platform::print_ucs2(std::u16string_view(u"\u20AC"));
  platform::print_ucs4(std::u32string_view(U"\U0001F600"));
  EXPECT_EQ(out.bytes, "\xE2\x82\xAC\n\xF0\x9F\x98\x80\n");
}

TEST_F(Redirected, BufferIsWrittenWhenMoreThan1020BytesArePending) {
  const std::u32string text(300, U'\U0001F600');
  platform::prin_ucs4(text);
  EXPECT_EQ(out.writes, (Sizes{1024, 176}));
  EXPECT_EQ(out.bytes.size(), 1200u);
}

std::u16string hooked;
void collect(const void* buf, size_t len, int flag) {
  EXPECT_EQ(flag, 0);
  hooked.append(static_cast<const char16_t*>(buf), len);
}

TEST_F(Redirected, WideHookedTextReachesTheOutputObserver) {
  platform::set_output_observer(collect);
  hooked.clear();
  platform::print_wide_hooked(u"00C0FFEE");
  platform::set_output_observer(nullptr);
  EXPECT_EQ(out.bytes, "00C0FFEE");
  EXPECT_EQ(hooked, u"00C0FFEE");
}

}  // namespace
}  // namespace xeb::test
