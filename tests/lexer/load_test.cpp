// Loading text into values: literals of every loadable type mold back to
// their text (or its normal form), every rule's syntax error is raised with
// its arguments, and hostile text ends in an error, never a crash.
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "lexer/load.h"
#include "runtime/stack.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

class Load : public Runtime {
 protected:
  static void SetUpTestSuite() {
    Runtime::SetUpTestSuite();
    lexer::init_loaders();
  }

  // The text as a string! on the data stack.
  static Cell* text(const std::string& utf8) {
    Cell* s = string::push_new(static_cast<int32_t>(utf8.size()));
    string::append_utf8(s, utf8);
    return s;
  }
  // Loads the text into a block on the data stack.
  static Cell* load(const std::string& utf8, lexer::TranscodeOptions o = {}, lexer::Transcoded* r = nullptr) {
    Cell* in = text(utf8);
    Cell* out = begin_cell(stack::push_new());
    lexer::Transcoded t = lexer::transcode(in, out, o);
    if (r) *r = t;
    return out;
  }
  static Cell* item(Cell* block, int i) { return block::buf(block)->cells() + block::head_of(block) + i; }
  // The error raised while loading, or nullptr; its cell stays on the stack.
  static Cell* error_of(const std::string& utf8) {
    static Cell err;
    // Through binary! input, so that malformed UTF-8 reaches the lexer.
    Cell* bin = binary::load(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()));
    int32_t code = error_code_of([&] { lexer::transcode(bin, begin_cell(stack::push_new())); }, &err);
    return code < 0 ? nullptr : &err;
  }
  static std::string arg_text(Cell* err, error::Field f) {
    Cell* a = error::field(err, f);
    Cell v = *a;
    return actions::form_text(&v);
  }
};

TEST_F(Load, LiteralsLoadToTheirTypeAndMoldBack) {
  struct Case { const char* in; TypeId type; const char* mold; };
  const Case cases[] = {
      {"abc", T_WORD, "abc"}, {"'abc", T_LIT_WORD, "'abc"}, {":abc", T_GET_WORD, ":abc"},
      {"abc:", T_SET_WORD, "abc:"}, {"/ref", T_REFINEMENT, "/ref"}, {"#iss", T_ISSUE, "#iss"},
      {"/", T_WORD, "/"}, {"'/", T_LIT_WORD, "'/"}, {"/:", T_SET_WORD, "/:"}, {"a-b?", T_WORD, "a-b?"},
      {"\xC3\xA9t\xC3\xA9", T_WORD, "\xC3\xA9t\xC3\xA9"},
      {"123", T_INTEGER, "123"}, {"+7", T_INTEGER, "7"}, {"1'000'000", T_INTEGER, "1000000"},
      {"-2147483648", T_INTEGER, "-2147483648"}, {"2147483647", T_INTEGER, "2147483647"},
      {"2147483648", T_FLOAT, "2147483648.0"}, {"12345678901", T_FLOAT, "12345678901.0"},
      {"10FFh", T_INTEGER, "4351"}, {"FFFFFFFFh", T_INTEGER, "-1"}, {"00h", T_INTEGER, "0"},
      {"1.5", T_FLOAT, "1.5"}, {"1,5", T_FLOAT, "1.5"}, {".5", T_FLOAT, "0.5"}, {"-1.5e3", T_FLOAT, "-1500.0"},
      {"1'000.5", T_FLOAT, "1000.5"}, {"1.#NaN", T_FLOAT, "1.#NaN"}, {"-1.#inf", T_FLOAT, "-1.#INF"},
      {"1e400", T_FLOAT, "1.#INF"}, {"-1e400", T_FLOAT, "-1.#INF"}, {"1e-400", T_FLOAT, "0.0"},
      {"-1e-400", T_FLOAT, "-0.0"},
      {"\"a b\"", T_STRING, "\"a b\""}, {"\"^\"^-^/\"", T_STRING, "{\"^-^/}"}, {"{a{b}c}", T_STRING, "\"a{b}c\""},
      {"\"^(41)^(line)^(1F600)\"", T_STRING, "\"A^/\xF0\x9F\x98\x80\""}, {"%{a}b}%", T_STRING, "\"a}b\""},
      {"\"\"", T_STRING, "\"\""},
      {"#\"A\"", T_CHAR, "#\"A\""}, {"#\"^(41)\"", T_CHAR, "#\"A\""}, {"#\"^(line)\"", T_CHAR, "#\"^/\""},
      {"#\"^(1F600)\"", T_CHAR, "#\"\xF0\x9F\x98\x80\""}, {"#\"^a\"", T_CHAR, "#\"^A\""},
      {"%a.txt", T_FILE, "%a.txt"}, {"%a%20b", T_FILE, "%\"a b\""}, {"%\"a b\"", T_FILE, "%\"a b\""},
      {"%\"50%25\"", T_FILE, "%\"50%25\""}, {"%", T_WORD, "%"},
      {"http://x.org/a", T_URL, "http://x.org/a"}, {"http://x.org/a%20b", T_URL, "http://x.org/a%20b"}, {"a@b.org", T_EMAIL, "a@b.org"},
      {"<b>", T_TAG, "<b>"}, {"<a href=\"x\">", T_TAG, "<a href=\"x\">"}, {"@ref", T_REF, "@ref"},
      {"#{00FF}", T_BINARY, "#{00FF}"}, {"#{0a 0B ; note\n ff}", T_BINARY, "#{0A0BFF}"},
      {"2#{00000001 11111111}", T_BINARY, "#{01FF}"}, {"64#{AQID}", T_BINARY, "#{010203}"},
      {"64#{AQI=}", T_BINARY, "#{0102}"}, {"64#{AQ==}", T_BINARY, "#{01}"}, {"#{}", T_BINARY, "#{}"},
      {"[a [b] (c)]", T_BLOCK, "[a [b] (c)]"}, {"(1 \"x\")", T_PAREN, "(1 \"x\")"}, {"[]", T_BLOCK, "[]"},
      {"a/b/c", T_PATH, "a/b/c"}, {"'a/b", T_LIT_PATH, "'a/b"}, {":a/b", T_GET_PATH, ":a/b"},
      {"a/b/c:", T_SET_PATH, "a/b/c:"}, {"a/1/(b)", T_PATH, "a/1/(b)"}, {"a/\"s\"", T_PATH, "a/\"s\""},
      {"#iss/x", T_PATH, "#iss/x"},
      {"#(none)", T_NONE, "none"}, {"#(TRUE)", T_LOGIC, "true"}, {"#(integer!)", T_DATATYPE, "integer!"},
  };
  for (const Case& c : cases) {
    Cell* b = load(c.in);
    ASSERT_EQ(type_of(b), T_BLOCK) << c.in;
    ASSERT_EQ(block::xs_length_q(b), 1) << c.in;
    Cell* v = stack::push(item(b, 0));
    EXPECT_EQ(type_of(v), c.type) << c.in;
    EXPECT_EQ(actions::mold_text(v), c.mold) << c.in;
    stack::reset();
  }
}

TEST_F(Load, NumbersKeepTheirExactValues) {
  Cell* b = load("-2147483648 10FFh 1.#NaN -1.#INF 0.1 1e-320");
  EXPECT_EQ(get_int(item(b, 0)), INT32_MIN);
  EXPECT_EQ(get_int(item(b, 1)), 4351);
  double nan = get_double(item(b, 2));
  uint64_t bits;
  std::memcpy(&bits, &nan, 8);
  EXPECT_EQ(bits, 0x7FF8000000000000ull);
  EXPECT_EQ(get_double(item(b, 3)), -HUGE_VAL);
  EXPECT_EQ(get_double(item(b, 4)), 0.1);
  EXPECT_EQ(get_double(item(b, 5)), 1e-320);
}

TEST_F(Load, StringsTakeTheNarrowestUnit) {
  struct Case { const char* in; int unit; int32_t length; };
  const Case cases[] = {
      {"\"abc\"", 1, 3}, {"\"a\xC3\xA9\"", 2, 2}, {"\"\xF0\x9F\x98\x80x\"", 4, 2},
      {"\"^(E9)\"", 2, 1}, {"\"^(1F600)\"", 4, 1}, {"{a^}b}", 1, 3},
  };
  for (const Case& c : cases) {
    Cell* v = item(load(c.in), 0);
    EXPECT_EQ(series::buf(v)->unit(), c.unit) << c.in;
    EXPECT_EQ(string::xs_length_q(v), c.length) << c.in;
    stack::reset();
  }
}

TEST_F(Load, SyntaxErrorsCarryTheirArguments) {
  struct Case { const char* in; Err id; TypeId type; const char* arg2; const char* text; };
  const Case cases[] = {
      {"[a b", Err::missing, T_NONE, "]", "[a b"},
      {"(a b]", Err::missing, T_NONE, ")", "]"},
      {"a }", Err::bad_char, T_NONE, nullptr, "}"},
      {"#(bogus)", Err::malconstruct, T_NONE, nullptr, "#(bogus)"},
      {"\"ab", Err::invalid, T_STRING, nullptr, "\"ab"},
      {"\"^(12345678)\"", Err::invalid, T_STRING, nullptr, nullptr},
      {"\"^(zz)\"", Err::invalid, T_STRING, nullptr, nullptr},
      {"#\"ab\"", Err::invalid, T_CHAR, nullptr, "#\"ab\""},
      {"#\"\"", Err::invalid, T_CHAR, nullptr, nullptr},
      {"#\"^\"", Err::invalid, T_CHAR, nullptr, nullptr},
      {"#\"^(1234567)\"", Err::invalid, T_CHAR, nullptr, nullptr},
      {"#\"^(110000)\"", Err::invalid, T_CHAR, nullptr, nullptr},
      {"10FFFFFFFh", Err::invalid, T_INTEGER, nullptr, "10FFFFFFFh"},
      {"Fh", Err::invalid, T_WORD, nullptr, "Fh"},
      {"1.#foo", Err::invalid, T_FLOAT, nullptr, nullptr},
      {"#{0}", Err::invalid, T_BINARY, nullptr, nullptr},
      {"#{0g}", Err::invalid, T_BINARY, nullptr, nullptr},
      {"3#{00}", Err::invalid, T_BINARY, nullptr, nullptr},
      {"2#{0101}", Err::invalid, T_BINARY, nullptr, nullptr},
      {"64#{A}", Err::invalid, T_BINARY, nullptr, nullptr},
      {"64#{AQ=A}", Err::invalid, T_BINARY, nullptr, nullptr},
      {"%\"a", Err::invalid, T_FILE, nullptr, nullptr},
      {"%a%C3", Err::invalid, T_FILE, nullptr, nullptr},
      {"a\x80", Err::invalid, T_WORD, nullptr, nullptr},
      {"'a:", Err::invalid, T_LIT_WORD, nullptr, nullptr},
      {"a/", Err::invalid, T_PATH, nullptr, "a/"},
      {"%%{a}% x", Err::invalid, T_STRING, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    Cell* e = error_of(c.in);
    ASSERT_NE(e, nullptr) << c.in;
    EXPECT_EQ(error::code_of(e), static_cast<int32_t>(c.id)) << c.in;
    EXPECT_EQ(arg_text(e, error::F_ARG1), "(line 1)") << c.in;
    if (c.id == Err::invalid && c.type != T_NONE) {
      Cell* t = error::field(e, error::F_ARG2);
      EXPECT_EQ(type_of(t), T_DATATYPE) << c.in;
      EXPECT_EQ(t->w1, c.type) << c.in;
    }
    if (c.arg2) {
      EXPECT_EQ(arg_text(e, error::F_ARG2), c.arg2) << c.in;
    }
    error::Field text_field = c.id == Err::missing || c.id == Err::invalid ? error::F_ARG3 : error::F_ARG2;
    if (c.text) {
      EXPECT_EQ(arg_text(e, text_field), c.text) << c.in;
    }
    stack::reset();
  }
}

TEST_F(Load, TypesStillToComeAreRejectedByName) {
  struct Case { const char* in; TypeId type; };
  const Case cases[] = {
      {"#[a]", T_MAP},
  };
  for (const Case& c : cases) {
    Cell* e = error_of(c.in);
    ASSERT_NE(e, nullptr) << c.in;
    EXPECT_EQ(error::code_of(e), static_cast<int32_t>(Err::invalid)) << c.in;
    EXPECT_EQ(error::field(e, error::F_ARG2)->w1, c.type) << c.in;
    stack::reset();
  }
}

TEST_F(Load, LinesAndNewLineFlags) {
  lexer::Transcoded r;
  Cell* b = load("a\nb c\n\n[d\ne]", {}, &r);
  EXPECT_EQ(r.lines, 5);
  ASSERT_EQ(block::xs_length_q(b), 4);
  EXPECT_FALSE(item(b, 0)->header & HDR_NEW_LINE);
  EXPECT_TRUE(item(b, 1)->header & HDR_NEW_LINE);
  EXPECT_FALSE(item(b, 2)->header & HDR_NEW_LINE);
  EXPECT_TRUE(item(b, 3)->header & HDR_NEW_LINE);
  Cell* inner = item(b, 3);
  EXPECT_TRUE(item(inner, 1)->header & HDR_NEW_LINE);
  Cell* e = error_of("a\nb\n\"c");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(arg_text(e, error::F_ARG1), "(line 3)");
}

TEST_F(Load, OneValueModeAndInput) {
  lexer::TranscodeOptions o;
  o.one = true;
  lexer::Transcoded r;
  Cell* v = load("  [1 2] x", o, &r);
  EXPECT_EQ(type_of(v), T_BLOCK);
  EXPECT_EQ(r.consumed, 7u);
  EXPECT_EQ(r.type, T_BLOCK);
  v = load("\xC3\xA9t\xC3\xA9 x", o, &r);
  EXPECT_EQ(type_of(v), T_WORD);
  EXPECT_EQ(r.consumed, 3u);  // characters of string! input

  // Binary input counts bytes; into appends to a block.
  Cell* into = block::push_only(4);
  Cell one{T_INTEGER, 0, 1, 0};
  block::xs_append(into, &one);
  static const uint8_t bytes[] = {0xC3, 0xA9, ' ', '2'};
  Cell* bin = binary::load(bytes, 4);
  Cell* out = begin_cell(stack::push_new());
  lexer::TranscodeOptions p;
  p.into = into;
  r = lexer::transcode(bin, out, p);
  EXPECT_EQ(r.consumed, 4u);
  EXPECT_EQ(actions::mold_text(out), "[1 \xC3\xA9 2]");
}

TEST_F(Load, CheckModeMakesNothing) {
  lexer::TranscodeOptions o;
  o.mode = lexer::Mode::check;
  o.quiet = true;
  lexer::Transcoded r;
  Cell* out = load("\"x\" y", o, &r);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.type, T_STRING);
  EXPECT_EQ(type_of(out), T_UNSET);
  load("#\"ab\"", o, &r);
  EXPECT_FALSE(r.ok);
}

TEST_F(Load, ScannersOfTheToConversions) {
  struct IntCase { const char* in; int32_t value; int32_t error; };
  const IntCase ints[] = {
      {"42", 42, 0}, {"-1'000", -1000, 0}, {"-2147483648", INT32_MIN, 0}, {"2147483648", 0, -2},
      {"12x", 0, -1}, {"", 0, -1}, {"''1", 0, -1},
  };
  for (const IntCase& c : ints) {
    int32_t err = 7;
    int32_t v = lexer::scan_integer(c.in, static_cast<int32_t>(std::strlen(c.in)), 1, &err);
    EXPECT_EQ(err, c.error) << c.in;
    if (!c.error) {
      EXPECT_EQ(v, c.value) << c.in;
    }
  }
  const char16_t wide[] = u"1,25e2";
  int32_t err = 7;
  EXPECT_EQ(lexer::scan_float(wide, 6, 2, &err), 125.0);
  EXPECT_EQ(err, 0);
  EXPECT_TRUE(std::isnan(lexer::scan_float("1.5x", 4, 1, &err)));
  EXPECT_EQ(err, -1);
  std::string long_text(313, '1');
  lexer::scan_float(long_text.data(), 313, 1, &err);
  EXPECT_EQ(err, -1);
}

TEST_F(Load, HooksOfTheWordAndBlockModules) {
  Cell* s = text("a [b]");
  Cell* out = begin_cell(stack::push_new());
  block::scan_hook(s, out);
  EXPECT_EQ(actions::mold_text(out), "[a [b]]");
  Cell w{};
  word::load_value_hook(text("abc"), &w);
  EXPECT_EQ(type_of(&w), T_WORD);
  word::load_value_hook(text("a b"), &w);
  EXPECT_EQ(type_of(&w), T_UNSET);
  EXPECT_EQ(word::scan_type_hook("12"), T_INTEGER);
  EXPECT_EQ(word::scan_type_hook("x:"), T_SET_WORD);
}

TEST_F(Load, ManyValuesSurviveCollections) {
  std::string src;
  for (int i = 0; i < 3000; ++i) src += "w" + std::to_string(i % 50) + " \"s" + std::to_string(i) + "\" [" +
                                       std::to_string(i) + " %f" + std::to_string(i) + "] ";
  const uint32_t before = collector::collections;
  Cell* b = load(src);
  ASSERT_EQ(block::xs_length_q(b), 9000);
#ifdef XEB_GC_STRESS
  EXPECT_GT(collector::collections, before);
#endif
  (void)before;
  for (int i = 0; i < 3000; i += 250) {
    Cell* s = stack::push(item(b, 3 * i + 1));
    EXPECT_EQ(string::utf8_of(s), "s" + std::to_string(i));
    Cell* inner = stack::push(item(b, 3 * i + 2));
    EXPECT_EQ(actions::mold_text(inner), "[" + std::to_string(i) + " %f" + std::to_string(i) + "]");
  }
}

TEST_F(Load, HostileInputRaisesErrorsOnly) {
  std::vector<std::string> inputs = {
      std::string(200000, '['), std::string(100000, '[') + std::string(100000, ']'),
      std::string(5000, '9'), "1." + std::string(400, '1'), std::string(50000, '{'),
      "\"\xC3\x28\"", "#\"\xF0\x9F\"", "%\xE2\x82", "a/" + std::string(1000, '('), "\"^(",
  };
  std::mt19937 rng(7);
  const char alphabet[] = "[](){}\"#':/\\<>%,;@.$+-^xe1Fh2 \n\x80\xC2\xA0\xF0{}";
  for (int i = 0; i < 2000; ++i) {
    std::string s(rng() % 30, ' ');
    for (char& ch : s) ch = (rng() % 4) ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng());
    inputs.push_back(s);
  }
  for (const std::string& in : inputs) {
    Cell* bin = binary::load(reinterpret_cast<const uint8_t*>(in.data()), static_cast<int32_t>(in.size()));
    int32_t code = error_code_of([&] {
      Cell* out = begin_cell(stack::push_new());
      lexer::transcode(bin, out);
    });
    if (code >= 0) {
      EXPECT_EQ(code / 100, static_cast<int32_t>(ErrCat::syntax)) << in.substr(0, 40);
    }
    stack::reset();
  }
}

}  // namespace
}  // namespace xeb::test
