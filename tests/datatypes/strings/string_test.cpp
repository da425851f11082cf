// string!: widening, mold, editing, searching, trimming, sorting, taking
// and the set operations.
#include "tests/datatypes/strings/strings_fixture.h"

namespace xeb::test {
namespace {

TEST_F(Strings, WideningGoesOneToTwoToFourInPlace) {
  Cell* s = str("ab");
  Node node = s->w2;
  ASSERT_EQ(unit(s), 1);
  string::append_char(s, 233);  // appending keeps unit 1 only up to 127
  EXPECT_EQ(unit(s), 2);
  string::append_char(s, 0x1F600);
  EXPECT_EQ(unit(s), 4);
  EXPECT_EQ(s->w2, node);  // same series, widened where it stands
  EXPECT_EQ(text(s), "ab\xC3\xA9\xF0\x9F\x98\x80");

  Cell* t = str("ab");
  string::overwrite_char(series::buf(t), 1, 233);
  string::insert_char(series::buf(t), 0, 255);
  EXPECT_EQ(unit(t), 1);
  EXPECT_EQ(text(t), "\xC3\xBF" "a\xC3\xA9");
  string::append_char(t, 0x10000);  // straight from 1 to 4
  EXPECT_EQ(unit(t), 4);
  EXPECT_EQ(string::xs_length_q(t), 4);

  string::xs_reset(t);
  EXPECT_EQ(unit(t), 1);
  EXPECT_EQ(string::xs_length_q(t), 0);
}

// Text read from a managed buffer survives the target's growth, which may
// move every buffer (the stress build slides them).
TEST_F(Strings, AppendTextHeldInAManagedBuffer) {
  const std::string fox = "the quick brown fox jumps over the lazy dog";
  Cell* src = str(fox);
  Cell* dst = string::push_new(1);
  std::string want;
  for (int i = 0; i < 40; i++) {
    SeriesBuf* b = series::buf(src);
    string::append_utf8(dst, std::string_view(reinterpret_cast<const char*>(b->head_ptr()), b->used()));
    want += fox;
  }
  EXPECT_EQ(text(dst), want);
}

TEST_F(Strings, HeadPastTailReadsEmpty) {
  Cell* s = str("abc");
  Cell* other = stack::push(s);
  series::set_head(other, 3);
  string::remove_part(series::buf(s), 1, 2);
  EXPECT_EQ(string::xs_length_q(other), 0);
  string::xs_head(other);
  EXPECT_EQ(series::head(other), 1);
}

TEST_F(Strings, Mold) {
  struct Case {
    std::string in, out;
    int all;
  } cases[] = {
      {"abc", "\"abc\"", 0},
      {std::string(49, 'x'), "\"" + std::string(49, 'x') + "\"", 0},
      {std::string(50, 'x'), "{" + std::string(50, 'x') + "}", 0},
      {"a\"b", "{a\"b}", 0},
      {"a\nb\nc", "\"a^/b^/c\"", 0},
      {"a\nb\nc\nd", "{a^/b^/c^/d}", 0},
      {"{", "\"{\"", 0},
      {"\"{", "{\"^{}", 0},
      {"\"}", "{\"^}}", 0},
      {"\"{x}", "{\"{x}}", 0},
      {"\"^", "{\"^^}", 0},
      {"\x1E", "\"^(1E)\"", 0},
      {"\x7F", "\"^~\"", 0},
      {"\xC2\x85", "\"^(85)\"", 0},
      {"\xC3\xA9", "\"\xC3\xA9\"", 0},
      {"\xC3\xA9", "\"^(E9)\"", 1},
      {"\t\x01", "\"^-^A\"", 0},
      {"a^b", "\"a^^b\"", 0},
      // Long text is read eight bytes at a time: what needs a look may
      // stand anywhere in a run, alone or with plain text around it.
      {std::string(20, 'x') + "{" + std::string(40, 'y'), "{" + std::string(20, 'x') + "^{" + std::string(40, 'y') + "}", 0},
      {std::string(9, 'a') + "}{" + std::string(45, 'b') + "{c}", "{" + std::string(9, 'a') + "^}^{" + std::string(45, 'b') + "^{c^}}", 0},
      {"{a{b}c}" + std::string(50, 'x'), "{{a{b}c}" + std::string(50, 'x') + "}", 0},
      {std::string(30, 'a') + "^\x7F" + std::string(30, 'b'), "{" + std::string(30, 'a') + "^^^~" + std::string(30, 'b') + "}", 0},
      {std::string(16, 'a') + "\xC3\xA9" + std::string(40, 'b'), "{" + std::string(16, 'a') + "\xC3\xA9" + std::string(40, 'b') + "}", 0},
      {std::string(16, 'a') + "\xC3\xA9" + std::string(40, 'b'), "{" + std::string(16, 'a') + "^(E9)" + std::string(40, 'b') + "}", 1},
      {std::string(12, 'a') + "\xF0\x9F\x98\x80\xE4\xB8\xAD\"", "{" + std::string(12, 'a') + "\xF0\x9F\x98\x80\xE4\xB8\xAD\"}", 0},
  };
  for (const Case& c : cases) {
    Cell* s = str(c.in);
    EXPECT_EQ(mold(s, c.all), c.out) << c.in;
  }
  // Into a buffer widened by what it holds already: the text takes its unit.
  Cell* buf = string::push_new(8);
  string::append_char(buf, 0x4E2D);
  string::mold(str("ab"), buf, 0, 0, 0, nullptr, 0, 0);
  EXPECT_EQ(text(buf), "\xE4\xB8\xAD\"ab\"");
  // A text molded onto its own end reads itself as it stood.
  Cell* self = str("\xE4\xB8\xAD{");
  string::mold(self, self, 0, 0, 0, nullptr, 0, 0);
  EXPECT_EQ(text(self), "\xE4\xB8\xAD{\"\xE4\xB8\xAD{\"");
}

TEST_F(Strings, MoldAndFormBudget) {
  Cell* s = str("abcdef");
  Cell* buf = string::push_new(8);
  Cell* limit = integer(3);
  EXPECT_EQ(string::mold(s, buf, 0, 0, 0, limit, 3, 0), -2);
  EXPECT_EQ(text(buf), "\"abc\"");
  Cell* buf2 = string::push_new(8);
  EXPECT_EQ(string::form(s, buf2, limit, 3), 0);
  EXPECT_EQ(text(buf2), "abc");
}

TEST_F(Strings, AppendInsertChange) {
  Cell* s = str("abc");
  string::insert(s, character(233), -1, 0, -1, 1);
  EXPECT_EQ(text(s), "abc\xC3\xA9");
  EXPECT_EQ(unit(s), 2);

  Cell* t = str("x");
  string::insert(t, str("b", T_TAG), -1, 0, -1, 1);
  EXPECT_EQ(text(t), "x<b>");

  Cell* u = str("ad");
  series::set_head(u, 1);
  string::insert(u, str("bc"), -1, 0, -1, 0);
  EXPECT_EQ(series::head(u), 3);  // just past the insertion
  series::set_head(u, 0);
  EXPECT_EQ(text(u), "abcd");

  Cell* d = str("");
  string::insert(d, str("ab"), -1, 0, 3, 1);
  EXPECT_EQ(text(d), "ababab");
  string::insert(d, str("xyz"), 2, 0, -1, 1);  // /part 2
  EXPECT_EQ(text(d), "abababxy");

  Cell* c = str("abcdef");
  string::change(c, str("XY"), -1, 0, -1);
  EXPECT_EQ(series::head(c), 2);
  series::set_head(c, 0);
  EXPECT_EQ(text(c), "XYcdef");
  string::change(c, str("Z"), 4, 0, -1);  // /part: four replaced by one
  series::set_head(c, 0);
  EXPECT_EQ(text(c), "Zef");

  Cell* self = str("ab");
  string::insert(self, self, -1, 0, -1, 1);
  EXPECT_EQ(text(self), "abab");
}

TEST_F(Strings, FindAndSelect) {
  struct Case {
    const char* hay;
    const char* needle;
    int case_, last, tail, match;
    int32_t want;  // head of the answer, -1 for none
  } cases[] = {
      {"abcABC", "B", 0, 0, 0, 0, 1},
      {"abcABC", "B", 1, 0, 0, 0, 4},
      {"abcABC", "bc", 0, 1, 0, 0, 4},
      {"abcABC", "bc", 0, 0, 1, 0, 3},
      {"abcABC", "ab", 0, 0, 0, 1, 0},
      {"abcABC", "ab", 0, 0, 1, 1, 2},
      {"abcABC", "bc", 0, 0, 0, 1, -1},
      {"abc", "d", 0, 0, 0, 0, -1},
      {"", "a", 0, 0, 0, 0, -1},
  };
  for (const Case& c : cases) {
    Cell* s = str(c.hay);
    Cell* r = string::find(s, str(c.needle), nullptr, 0, c.case_, 0, 0, nullptr, nullptr, c.last, 0, c.tail,
                           c.match);
    int32_t got = is_type(r, T_NONE) ? -1 : series::head(r);
    EXPECT_EQ(got, c.want) << c.hay << " / " << c.needle;
  }
  Cell* s = str("abcabc");
  series::set_head(s, 6);
  Cell* r = string::find(s, character('c'), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 1, 0, 0);
  ASSERT_FALSE(is_type(r, T_NONE));
  EXPECT_EQ(series::head(r), 5);  // /reverse from the tail: the last character

  Cell* sel = string::select(str("a=b"), character('='), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0);
  ASSERT_TRUE(is_type(sel, T_CHAR));
  EXPECT_EQ(sel->w2, 'b');
  EXPECT_TRUE(is_type(string::select(str("ab="), character('='), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0),
                      T_NONE));

  EXPECT_EQ(raised([&] { string::find(str("ab"), bin({1}), nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0); }),
            code(Err::invalid_arg));
  EXPECT_EQ(raised([&] { string::find(str("ab"), str("a"), nullptr, 0, 0, 0, 0, nullptr, integer(0), 0, 0, 0, 0); }),
            code(Err::out_of_range));
}

TEST_F(Strings, Compare) {
  Cell* a = str("abc");
  Cell* b = str("ABC");
  EXPECT_EQ(string::compare_strings(a, b, COMP_EQUAL, false), 0);
  EXPECT_EQ(string::compare_strings(a, b, COMP_LESSER, false), 0);
  EXPECT_NE(string::compare_strings(a, b, COMP_STRICT_EQUAL, false), 0);
  EXPECT_EQ(string::compare_strings(str("ab"), a, COMP_SORT, false), -1);
  EXPECT_EQ(string::compare_strings(str("abd"), a, COMP_SORT, false), 1);
  // Different units compare by code point.
  Cell* wide = str("ab");
  string::append_char(wide, 0x100);
  string::truncate_buffer(series::buf(wide), 2);
  EXPECT_EQ(unit(wide), 2);
  EXPECT_EQ(string::compare_strings(wide, str("AB"), COMP_EQUAL, false), 0);
  EXPECT_EQ(string::compare(a, bin({1}), COMP_EQUAL), COMPARE_INVALID);
  EXPECT_EQ(string::compare(a, str("abc", T_FILE), COMP_EQUAL), 0);
  EXPECT_EQ(string::compare(a, str("abc", T_FILE), COMP_LESSER), COMPARE_INVALID);
}

TEST_F(Strings, Trim) {
  struct Case {
    const char* in;
    int head, tail, lines, all;
    const char* out;
  } cases[] = {
      {"  a b  ", 0, 0, 0, 0, "a b"},
      {"  a b  ", 1, 0, 0, 0, "a b  "},
      {"  a b  ", 0, 1, 0, 0, "  a b"},
      {"  a  b  ", 0, 0, 1, 0, "a b"},
      {" a \n  b \n", 0, 0, 0, 0, "a\nb\n"},
      {" a\tb c ", 0, 0, 0, 1, "abc"},
  };
  for (const Case& c : cases) {
    Cell* s = str(c.in);
    string::trim(s, c.head, c.tail, 0, c.lines, c.all, nullptr);
    EXPECT_EQ(text(s), c.out) << c.in;
  }
  Cell* s = str("a-b-c");
  string::trim(s, 0, 0, 0, 0, 0, str(""));
  EXPECT_EQ(text(s), "a-b-c");
  string::trim(s, 0, 0, 0, 0, 0, character('-'));
  EXPECT_EQ(text(s), "abc");
  EXPECT_EQ(raised([&] { string::trim(str("a"), 0, 0, 1, 0, 0, nullptr); }), code(Err::not_done));
}

TEST_F(Strings, SortIsAscending) {
  struct Case {
    const char* in;
    int case_, reverse, stable;
    Cell* skip;
    const char* out;
  } cases[] = {
      {"dBca", 0, 0, 0, nullptr, "aBcd"},
      {"dBca", 1, 0, 0, nullptr, "Bacd"},
      {"dBca", 0, 1, 0, nullptr, "dcBa"},
      {"bAaB", 0, 0, 1, nullptr, "AabB"},
  };
  for (const Case& c : cases) {
    Cell* s = str(c.in);
    string::sort(s, c.case_, c.skip, nullptr, nullptr, 0, c.reverse, c.stable);
    EXPECT_EQ(text(s), c.out) << c.in;
  }
  Cell* wide = str("c\xC3\xA9" "a");  // unit 1 but Latin-1
  string::append_char(wide, 0x100);
  string::sort(wide, 0, nullptr, nullptr, nullptr, 0, 0, 0);
  EXPECT_EQ(text(wide), "ac\xC3\xA9\xC4\x80");

  Cell* rec = str("b2a1c3");
  string::sort(rec, 0, integer(2), nullptr, nullptr, 0, 0, 0);
  EXPECT_EQ(text(rec), "a1b2c3");
  Cell* by2 = str("a3b1c2");
  string::sort(by2, 0, integer(2), integer(2), nullptr, 0, 0, 0);
  EXPECT_EQ(text(by2), "b1c2a3");
  EXPECT_EQ(raised([&] { string::sort(str("abc"), 0, integer(2), nullptr, nullptr, 0, 0, 0); }),
            code(Err::invalid_refine_arg));
  EXPECT_EQ(raised([&] { string::sort(str("abc"), 0, nullptr, nullptr, nullptr, 1, 0, 0); }),
            code(Err::bad_refines));
}

TEST_F(Strings, TakeNeverSharesABuffer) {
  Cell* s = str("abcdef");
  Cell* one = string::take(s, nullptr, 0, 0);
  ASSERT_TRUE(is_type(one, T_CHAR));
  EXPECT_EQ(one->w2, 'a');
  Cell* last = string::take(s, nullptr, 0, 1);
  EXPECT_EQ(last->w2, 'f');
  Cell* part = string::take(s, integer(2), 0, 0);
  Cell* part2 = string::take(s, integer(2), 0, 0);
  EXPECT_EQ(text(part), "bc");  // not overwritten by the next take
  EXPECT_EQ(text(part2), "de");
  EXPECT_EQ(string::xs_length_q(s), 0);
  EXPECT_TRUE(is_type(string::take(s, nullptr, 0, 0), T_NONE));

  Cell* t = str("abcde");
  Cell* l2 = series::take(t, integer(2), 0, 1);
  EXPECT_EQ(text(l2), "de");
  EXPECT_EQ(text(t), "abc");
}

TEST_F(Strings, SeriesNavigationAndEdits) {
  Cell* s = str("abcde");
  Cell* base = stack::base();
  // The stack-only slots work at the arguments base.
  stack::set_base(s);
  *stack::push_new() = Cell{T_INTEGER, 0, static_cast<uint32_t>(-1), 0};
  series::at();
  EXPECT_EQ(series::head(s), 0);
  s[1] = Cell{T_INTEGER, 0, 9, 0};
  series::skip();
  EXPECT_EQ(series::head(s), 5);
  series::next();
  EXPECT_EQ(series::head(s), 5);
  series::back();
  EXPECT_EQ(series::head(s), 4);
  stack::set_base(base);

  Cell* p = str("abcdef");
  EXPECT_TRUE(is_type(series::pick(stack::push(p), 0, nullptr), T_NONE));
  series::set_head(p, 2);
  EXPECT_EQ(series::pick(stack::push(p), -1, nullptr)->w2, 'b');
  EXPECT_EQ(raised([&] { series::poke(p, 0, character('x'), nullptr); }), code(Err::out_of_range));
  series::poke(p, 1, character(0x3B1), nullptr);
  series::set_head(p, 0);
  EXPECT_EQ(text(p), "ab\xCE\xB1" "def");

  Cell* r = str("abcdef");
  series::reverse(r, nullptr, integer(2));
  EXPECT_EQ(text(r), "efcdab");
  EXPECT_EQ(raised([&] { series::reverse(r, nullptr, integer(4)); }), code(Err::invalid_refine_arg));
  series::reverse(r, nullptr, integer(6));
  EXPECT_EQ(text(r), "efcdab");

  Cell* m = str("abcde");
  Cell* target = stack::push(m);
  series::set_head(target, 3);
  series::move(m, target, -1);
  EXPECT_EQ(text(m), "bcdae");
  Cell* blk = push(Cell{T_BLOCK, 0, memory::alloc_cells(2), 0});
  series::buf(blk)->tail += 16;
  EXPECT_EQ(raised([&] { series::move(blk, m, -1); }), code(Err::move_bad));

  Cell* rm = str("abcd");
  series::remove(rm, integer(0), nullptr);
  EXPECT_EQ(text(rm), "abcd");
  series::remove(rm, integer(2), nullptr);
  EXPECT_EQ(text(rm), "cd");

  Cell* c = str("abcdef");
  Cell* out = stack::push_new();
  series::copy(c, out, integer(-2), 0, nullptr);
  EXPECT_EQ(text(out), "");
  series::set_head(c, 4);
  series::copy(c, out, integer(-2), 0, nullptr);
  EXPECT_EQ(text(out), "cd");
}

TEST_F(Strings, SetOperations) {
  struct Case {
    int op;
    const char* a;
    const char* b;
    const char* out;
  } cases[] = {
      {OP_UNIQUE, "abcAb", "", "abc"},
      {OP_UNION, "abc", "cDd", "abcD"},
      {OP_INTERSECT, "abcd", "DBx", "bd"},
      {OP_EXCLUDE, "abcd", "DB", "ac"},
      {OP_DIFFERENCE, "abc", "bcd", "ad"},
  };
  for (const Case& c : cases) {
    Cell* base = stack::base();
    Cell* a = str(c.a);
    str(c.b);
    stack::set_base(a);
    string::do_set_op(0, nullptr, c.op);
    stack::set_base(base);
    EXPECT_EQ(text(a), c.out) << c.op;
  }
}

TEST_F(Strings, ToAndMake) {
  Cell* out = stack::push_new();
  string::to(out, bin({0x61, 0xC3, 0xA9}), T_STRING);
  EXPECT_EQ(text(out), "a\xC3\xA9");
  EXPECT_EQ(raised([&] { string::to(stack::push_new(), bin({0x61, 0xC3}), T_STRING); }), code(Err::invalid_utf8));
  EXPECT_EQ(raised([&] { string::to(stack::push_new(), push(Cell{T_NONE, 0, 0, 0}), T_STRING); }),
            code(Err::bad_to_arg));
  string::make(out, integer(10), T_FILE);
  EXPECT_TRUE(is_type(out, T_FILE));
  EXPECT_EQ(raised([&] { string::make(stack::push_new(), integer(-1), T_STRING); }), code(Err::out_of_range));
}

}  // namespace
}  // namespace xeb::test
