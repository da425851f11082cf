// Tests of the lexer's automaton and token loop: token boundaries, lines,
// structure, syntax errors, trace events, nesting of scans, and hostile input.
// Values are made by stand-in loaders that record what they were given.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lexer/lexer.h"

using namespace xeb;
using namespace xeb::lexer;

namespace {

const char* tok_name(Tok t) {
  static const char* names[] = {
      "none", "end", "error", "[", "]", "(", ")", "{", "}", "#[", "path", "construct", "comment",
      ",", "string", "word", "issue", "integer", "refinement", "char", "file", "binary",
      "percent", "float", "float-special", "tuple", "date", "pair", "point", "time", "money",
      "tag", "url", "email", "hex", "raw-string", "ref"};
  return names[static_cast<int>(t)];
}

std::span<const uint8_t> bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

struct Collected {
  std::string tokens;  // "name:text name:text ..."
  std::vector<int> lines;
  std::vector<SyntaxError> errors;
};

void on_token(void* ctx, const State&, const Token& t) {
  auto* c = static_cast<Collected*>(ctx);
  if (t.type == Tok::end) return;
  if (!c->tokens.empty()) c->tokens += ' ';
  c->tokens += tok_name(t.type);
  c->tokens += ':';
  c->tokens.append(reinterpret_cast<const char*>(t.start), t.end - t.start);
  c->lines.push_back(t.line);
}

void on_error(void* ctx, const SyntaxError& e) { static_cast<Collected*>(ctx)->errors.push_back(e); }

Result walk(const std::string& text, Collected& c, Mode mode = Mode::walk) {
  Options o;
  o.mode = mode;
  o.on_token = on_token;
  o.token_ctx = &c;
  o.on_error = on_error;
  o.error_ctx = &c;
  return scan(bytes(text), o);
}

std::string tokens_of(const std::string& text) {
  Collected c;
  Result r = walk(text, c);
  EXPECT_TRUE(r.ok) << text << " error text " << (c.errors.empty() ? "" : c.errors[0].text);
  return c.tokens;
}

class Lexer : public ::testing::Test {
 protected:
  void SetUp() override { init(); }
};

TEST_F(Lexer, TokenBoundariesAndTypes) {
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"", ""},
      {" \t\r\n\x01\x1F", ""},
      {"a b-c", "word:a word:b-c"},
      {"'a :a a: /a /", "word:'a word::a word:a: refinement:/a word:/"},
      {"[a]", "[:[ word:a ]:]"},
      {"#[a 1]", "#[:#[ word:a integer:1 ]:]"},
      {"(a)", "(:( word:a ):)"},
      {"\"a b\" \"^\"\"", "string:\"a b\" string:\"^\"\""},
      {"{a{b}c}", "{:{ {:a{ }:b} }:c}"},
      {"123 -5 +7 1'000", "integer:123 integer:-5 integer:+7 integer:1'000"},
      {"1.5 .5 1e3 1.5e-3", "float:1.5 float:.5 float:1e3 float:1.5e-3"},
      {"1,5 -1,25", "float:1,5 float:-1,25"},
      {"50% 1,5%", "percent:50% percent:1,5%"},
      {"1.#NaN -1.#INF", "float-special:1.#NaN float-special:-1.#INF"},
      {"1.2.3", "tuple:1.2.3"},
      {"1x2", "pair:1x2"},
      {"10:30 10:30:15.5 10:30:15,5", "time:10:30 time:10:30:15.5 time:10:30:15,5"},
      {"5-Jan-2024 2024-01-05", "date:5-Jan-2024 date:2024-01-05"},
      {"$1.50 $1,50 -$2 USD$1", "money:$1.50 money:$1,50 money:-$2 money:USD$1"},
      {"<b> <a href=\"x\">", "tag:<b> tag:<a href=\"x\">"},
      {"http://x.org/a a@b.c @ref", "url:http://x.org/a email:a@b.c ref:@ref"},
      {"#iss #\"a\" #{00 ff} 2#{01010101}", "issue:#iss char:#\"a\" binary:#{00 ff} binary:2#{01010101}"},
      {"%f.txt %\"a b\"", "file:%f.txt file:%\"a b\""},
      {"%{a}b}% %%{x}%%", "raw-string:%{a}b}% raw-string:%%{x}%%"},
      {"%%{a}%b}%% %%{\n}%}%%", "raw-string:%%{a}%b}%% raw-string:%%{\n}%}%%"},
      {"FFh 10FFh", "hex:FFh hex:10FFh"},
      {"#(none)", "construct:#(none)"},
      {"a ; note\nb", "word:a comment:; note word:b"},
      {"(1, 2) (1, 2, 3)", "(:( point:1, 2) (:( point:1, 2, 3)"},
      {"(x , y) (a , b)", "(:( word:x ,:, word:y ):) (:( point:a , b)"},
      {"a/b/c", "path:a/ word:b word:c"},
      {"a/1/(b)/\"s\" x", "path:a/ integer:1 (:( word:b ):) string:\"s\" word:x"},
      {"#iss/x", "path:#iss/ word:x"},
      {"a\xC2\xA0" "b", "word:a word:b"},
      {"\xC2\xA0" "1 \xE3\x80\x80[x]", "integer:1 [:[ word:x ]:]"},
      {"\xE2\x80\x8B", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tokens_of(c.in), c.out) << "input: " << c.in;
  }
  EXPECT_EQ(tokens_of(std::string("a\0b", 3)), "word:a");  // a NUL ends the input
}

TEST_F(Lexer, LinesCountLineBreaksBeforeAndInsideTokens) {
  Collected c;
  walk("a\nb\n\n  c {x\ny} d\n", c);
  EXPECT_EQ(c.lines, (std::vector<int>{1, 2, 4, 4, 4, 5}));
}

TEST_F(Lexer, SyntaxErrors) {
  struct Case { const char* in; ErrorId id; int type; char missing; const char* text; int line; };
  const Case cases[] = {
      {"[a b", ErrorId::missing, 0, ']', "[a b", 1},
      {"(a b]", ErrorId::missing, 0, ')', "]", 1},
      {"x ]", ErrorId::missing, 0, '[', "]", 1},
      {")", ErrorId::missing, 0, '(', ")", 1},
      {"[(a]", ErrorId::missing, 0, ')', "]", 1},
      {"a }", ErrorId::bad_char, 0, 0, "}", 1},
      {"\\", ErrorId::bad_char, 0, 0, "\\", 1},
      {"\x80x", ErrorId::bad_char, 0, 0, "\xEF\xBF\xBDx", 1},
      {"x\n\"abc", ErrorId::invalid, T_STRING, 0, "\"abc", 2},
      {"\"ab\ncd\"", ErrorId::invalid, T_STRING, 0, "\"ab", 1},
      {"{ab{c}", ErrorId::invalid, T_STRING, 0, "{ab{c}", 1},
      {"a/", ErrorId::invalid, T_PATH, 0, "a/", 1},
      {"a/b:/c", ErrorId::invalid, T_PATH, 0, "a/b:/c", 1},
      {"#", ErrorId::invalid, T_ISSUE, 0, "#", 1},
      {"%%{a}% x", ErrorId::invalid, T_STRING, 0, "%%{a}% x", 1},
      {"%{a}%% x", ErrorId::invalid, T_STRING, 0, "%{a}%% x", 1},
      {"%{a}%b", ErrorId::invalid, T_STRING, 0, "%{a}%b", 1},
      {"'a:", ErrorId::invalid, T_LIT_WORD, 0, "'a:", 1},
      {":a:", ErrorId::invalid, T_WORD, 0, ":a:", 1},
      {"(1, 2 x)", ErrorId::invalid, T_POINT2D, 0, "", 1},
      {"a , b", ErrorId::invalid, T_POINT2D, 0, ", b", 1},
      {"(x , (y))", ErrorId::invalid, T_POINT2D, 0, "(y))", 1},
  };
  for (const Case& k : cases) {
    Collected c;
    Result r = walk(k.in, c);
    EXPECT_FALSE(r.ok) << k.in;
    ASSERT_EQ(c.errors.size(), 1u) << k.in;
    const SyntaxError& e = c.errors[0];
    EXPECT_EQ(e.id, k.id) << k.in;
    EXPECT_EQ(e.type, k.type) << k.in;
    EXPECT_EQ(e.missing, k.missing) << k.in;
    if (*k.text) {
      EXPECT_EQ(e.text, k.text) << k.in;
    }
    EXPECT_EQ(e.line, k.line) << k.in;
    EXPECT_EQ(e.where, "(line " + std::to_string(k.line) + ")");
  }
}

TEST_F(Lexer, OffendingTextStopsAtLineBreakOrThirtyBytes) {
  Collected c;
  walk(std::string(40, 'a') + "\\", c);  // the error is at the backslash
  walk("[" + std::string(50, 'b'), c);
  walk("[x\ny", c);
  ASSERT_EQ(c.errors.size(), 3u);
  EXPECT_EQ(c.errors[0].text, "\\");
  EXPECT_EQ(c.errors[1].text, "[" + std::string(29, 'b'));
  EXPECT_EQ(c.errors[2].text, "[x");
}

// Stand-in loaders: every value is an integer! cell holding its token type,
// start offset and the type override in force; a closed series becomes a
// cell of the series type holding its element count and comma count.
bool fake_load(State& s, Token& t, bool load) {
  if (!load) return true;
  Cell* c = push_value(s);
  c->header = (c->header & HDR_NEW_LINE) | T_INTEGER;
  c->w1 = static_cast<uint32_t>(s.type_override);
  c->w2 = static_cast<uint32_t>(t.type);
  c->w3 = static_cast<uint32_t>(t.start - s.begin);
  return true;
}

bool fake_close(State& s, uint32_t series, uint32_t marker) {
  Cell* m = cell_at(marker);
  uint32_t count = s.top - marker - 1;
  m->header = (m->header & HDR_NEW_LINE) | (series & 0xFF);
  m->w1 = count;
  m->w2 = series >> 16;
  s.top = marker + 1;
  return true;
}

struct Loaded {
  std::vector<Cell> cells;
};

void take_values(void* ctx, State& s) {
  auto v = values(s);
  static_cast<Loaded*>(ctx)->cells.assign(v.begin(), v.end());
}

class LoadingLexer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ActionPair> pairs(TOKEN_TYPES);
    for (int i = 14; i <= TOKEN_TYPES; ++i) pairs[i - 1].load = fake_load;
    pairs[7].scan = fake_load;  // braced string
    init(pairs, fake_close);
  }
  void TearDown() override { init(); }

  Loaded load(const std::string& text, Options o = {}) {
    Loaded out;
    o.finish = take_values;
    o.finish_ctx = &out;
    o.on_error = on_error;
    o.error_ctx = &errors;
    last = scan(bytes(text), o);
    return out;
  }
  Collected errors;
  Result last;
};

TEST_F(LoadingLexer, SeriesNestAndCloseIntoOneValue) {
  Loaded v = load("a [b [c d] e] #[k 1] (x)");
  ASSERT_EQ(v.cells.size(), 4u);
  EXPECT_EQ(type_of(&v.cells[1]), T_BLOCK);
  EXPECT_EQ(v.cells[1].w1, 3u);
  EXPECT_EQ(type_of(&v.cells[2]), T_MAP);
  EXPECT_EQ(v.cells[2].w1, 2u);
  EXPECT_EQ(type_of(&v.cells[3]), T_PAREN);
}

TEST_F(LoadingLexer, PathsTakeTheirKindFromSigilsAndColons) {
  struct Case { const char* in; TypeId type; uint32_t count; };
  const Case cases[] = {
      {"a/b", T_PATH, 2}, {"'a/b", T_LIT_PATH, 2}, {":a/b", T_GET_PATH, 2},
      {"a/b/c: 1", T_SET_PATH, 3}, {"a/(b c)/d", T_PATH, 3}, {"a/\"s\": 1", T_SET_PATH, 2},
  };
  for (const Case& k : cases) {
    Loaded v = load(k.in);
    ASSERT_TRUE(last.ok) << k.in;
    ASSERT_GE(v.cells.size(), 1u) << k.in;
    EXPECT_EQ(type_of(&v.cells[0]), k.type) << k.in;
    EXPECT_EQ(v.cells[0].w1, k.count) << k.in;
  }
}

TEST_F(LoadingLexer, WordOverrideForPathHeadAndSetPathElement) {
  // The cells of a path before it closes: capture them through the close hook
  // of a second init.
  static std::vector<Cell> seen;
  auto close = [](State& s, uint32_t series, uint32_t marker) {
    seen.assign(cell_at(marker + 1), cell_at(s.top));
    return fake_close(s, series, marker);
  };
  std::vector<ActionPair> pairs(TOKEN_TYPES);
  for (int i = 14; i <= TOKEN_TYPES; ++i) pairs[i - 1].load = fake_load;
  init(pairs, close);
  load("a/b/c:");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(static_cast<int>(seen[0].w1), T_WORD);
  EXPECT_EQ(static_cast<int>(seen[1].w1), -1);
  EXPECT_EQ(static_cast<int>(seen[2].w1), -1);  // the `:` follows the word, not in it
}

TEST_F(LoadingLexer, CommasTurnAParenIntoAPoint) {
  Loaded v = load("(x , y , z)");
  ASSERT_EQ(v.cells.size(), 1u);
  EXPECT_EQ(type_of(&v.cells[0]), T_POINT2D);
  EXPECT_EQ(v.cells[0].w1, 3u);
  EXPECT_EQ(v.cells[0].w2, 2u);  // commas
}

TEST_F(LoadingLexer, NewLineFlagFollowsLineBreaksBeforeTheValue) {
  Loaded v = load("\na b\n[c\n d] {x\n}");
  ASSERT_EQ(v.cells.size(), 4u);
  EXPECT_TRUE(v.cells[0].header & HDR_NEW_LINE);
  EXPECT_FALSE(v.cells[1].header & HDR_NEW_LINE);
  EXPECT_TRUE(v.cells[2].header & HDR_NEW_LINE);
  EXPECT_FALSE(v.cells[3].header & HDR_NEW_LINE);
}

TEST_F(LoadingLexer, BracedStringIsOneValueOverItsWholeText) {
  Loaded v = load("{a{b}c} x");
  ASSERT_EQ(v.cells.size(), 2u);
  EXPECT_EQ(v.cells[0].w2, static_cast<uint32_t>(Tok::brace_close));
  EXPECT_EQ(v.cells[0].w3, 0u);  // starts at the outer brace
}

TEST_F(LoadingLexer, OneValueModeStopsAfterACompleteTopLevelValue) {
  struct Case { const char* in; uint32_t consumed; uint8_t type; };
  const Case cases[] = {
      {"1 2 3", 1, T_INTEGER}, {"  [a [b]] c", 9, T_BLOCK}, {"a/b c", 3, T_PATH},
      {"; c\n\"s\" x", 7, T_STRING}, {"", 0, 0},
  };
  for (const Case& k : cases) {
    Options o;
    o.one = true;
    Loaded v = load(k.in, o);
    EXPECT_EQ(last.consumed, k.consumed) << k.in;
    EXPECT_EQ(last.type, k.type) << k.in;
    EXPECT_LE(v.cells.size(), 1u) << k.in;
    o.mode = Mode::check;  // check mode stops at the same place and makes nothing
    o.one = false;
    Loaded w = load(k.in, o);
    EXPECT_EQ(last.consumed, k.consumed) << k.in;
    EXPECT_TRUE(w.cells.empty());
  }
}

TEST_F(LoadingLexer, ErrorUnwindsOpenSeries) {
  Loaded v = load("a [b (c");
  EXPECT_FALSE(last.ok);
  EXPECT_TRUE(v.cells.empty());
  ASSERT_EQ(errors.errors.size(), 1u);
  EXPECT_EQ(errors.errors[0].missing, ')');
  EXPECT_EQ(errors.errors[0].text, "(c");
}

// A loader that scans text of its own in the middle of the outer scan, with
// enough values to grow the shared buffer several times.
std::string nested_text;
bool nested_load(State& s, Token& t, bool load) {
  if (!load) return true;
  if (t.end - t.start == 1 && *t.start == 'N') {
    EXPECT_EQ(innermost(), &s);
    Loaded inner;
    Options o;
    o.finish = take_values;
    o.finish_ctx = &inner;
    Result r = scan(bytes(nested_text), o);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(innermost(), &s);
    Cell* c = push_value(s);
    c->header = T_INTEGER;
    c->w2 = static_cast<uint32_t>(inner.cells.size());
    return true;
  }
  return fake_load(s, t, load);
}

TEST_F(LoadingLexer, NestedScansKeepTheOuterValues) {
  nested_text.clear();
  for (int i = 0; i < 5000; ++i) nested_text += "[x] ";
  std::vector<ActionPair> pairs(TOKEN_TYPES);
  for (int i = 14; i <= TOKEN_TYPES; ++i) pairs[i - 1].load = nested_load;
  init(pairs, fake_close);
  Loaded v = load("[a b N c] d");
  ASSERT_TRUE(last.ok);
  ASSERT_EQ(v.cells.size(), 2u);
  EXPECT_EQ(type_of(&v.cells[0]), T_BLOCK);
  EXPECT_EQ(v.cells[0].w1, 4u);
  EXPECT_EQ(v.cells[1].w3, 10u);  // `d` at offset 10
  EXPECT_EQ(innermost(), nullptr);
}

TEST_F(LoadingLexer, MarkBuffersSeesEveryRunningScan) {
  static int marked;
  marked = 0;
  std::vector<ActionPair> pairs(TOKEN_TYPES);
  for (int i = 14; i <= TOKEN_TYPES; ++i)
    pairs[i - 1].load = [](State& s, Token& t, bool load) {
      if (load && *t.start == 'M')
        mark_buffers([](Cell* a, Cell* b) { marked += static_cast<int>(b - a); });
      return fake_load(s, t, load);
    };
  init(pairs, fake_close);
  load("a [b M");
  EXPECT_EQ(marked, 3 + 2);  // a, marker, b; the input series and callback cells
}

struct TraceLog {
  std::vector<std::string> events;
  uint32_t refuse = 0;  // events answered false
  uint32_t jump_to = 0;
};

bool tracer(void* ctx, State&, TraceEvent& e) {
  auto* log = static_cast<TraceLog*>(ctx);
  static const char* names[] = {"prescan", "scan", "load", "open", "close", "error"};
  int bit = 0;
  while ((1u << bit) != e.event) ++bit;
  log->events.push_back(std::string(names[bit]) + ":" + std::to_string(e.type) + "@" +
                        std::to_string(e.index));
  if (e.event == EV_ERROR && log->jump_to) e.index = log->jump_to;
  return !(log->refuse & e.event);
}

TEST_F(LoadingLexer, TraceEventsAndTheirAnswers) {
  TraceLog log;
  Options o;
  o.trace = {EV_PRESCAN | EV_SCAN | EV_LOAD | EV_OPEN | EV_CLOSE, tracer, &log};
  Loaded v = load("[1]", o);
  EXPECT_EQ(v.cells.size(), 1u);
  const std::vector<std::string> want = {"prescan:-3@0", "open:5@0", "prescan:11@2", "scan:11@2",
                                         "load:11@2", "prescan:-4@2", "close:5@3", "prescan:-1@3"};
  EXPECT_EQ(log.events, want);

  struct Case { uint32_t refuse; size_t values; };
  for (Case k : {Case{EV_PRESCAN, 0}, Case{EV_SCAN, 0}, Case{EV_LOAD, 0}, Case{0, 2}}) {
    TraceLog l;
    l.refuse = k.refuse;
    Options p;
    p.trace = {EV_PRESCAN | EV_SCAN | EV_LOAD, tracer, &l};
    EXPECT_EQ(load("1 x", p).cells.size(), k.values) << k.refuse;
  }
}

TEST_F(LoadingLexer, ErrorEventCanSuppressTheErrorAndMoveOn) {
  TraceLog log;
  log.refuse = EV_ERROR;
  Options o;
  o.trace = {EV_ERROR, tracer, &log};
  Loaded v = load("a } b \\ c", o);
  EXPECT_TRUE(last.ok);
  EXPECT_EQ(v.cells.size(), 3u);
  EXPECT_EQ(log.events.size(), 2u);

  TraceLog jump;
  jump.refuse = EV_ERROR;
  jump.jump_to = 8;  // past "x"
  o.trace = {EV_ERROR, tracer, &jump};
  v = load("\"open x y", o);
  ASSERT_EQ(v.cells.size(), 1u);
  EXPECT_EQ(v.cells[0].w3, 8u);
}

TEST_F(Lexer, UnitTextIsScannedAsUtf8) {
  const uint16_t text[] = {'a', 0x00A0, 0x4E2D, ' ', '[', 'b', ']'};
  Collected c;
  Options o;
  o.mode = Mode::walk;
  o.on_token = on_token;
  o.token_ctx = &c;
  Result r = scan_units(text, 2, 7, o);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(c.tokens, "word:a word:\xE4\xB8\xAD [:[ word:b ]:]");
  EXPECT_EQ(r.consumed, 7u);  // characters
  o.mode = Mode::check;
  r = scan_units(text, 2, 7, o);
  EXPECT_EQ(r.consumed, 1u);
}

TEST_F(Lexer, HostileInputEndsCleanly) {
  std::vector<std::string> inputs = {
      std::string(1000000, '['), std::string(1000000, '('), std::string(300000, '{'),
      "a/" + std::string(100000, '('), std::string(1000000, 'a'), std::string(100000, '\0'),
  };
  std::mt19937 rng(12345);
  const char alphabet[] = "[](){}\"#':/\\<>%,;@.$+-^xe1 \n\x80\xC2\xA0\xF0";
  for (int i = 0; i < 3000; ++i) {
    std::string s(rng() % 40, ' ');
    for (char& ch : s) ch = (rng() % 4) ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng());
    inputs.push_back(s);
  }
  TraceLog log;
  log.refuse = EV_ERROR;
  for (const std::string& in : inputs) {
    Collected c;
    walk(in, c);
    EXPECT_LE(c.errors.size(), 1u);
    Options o;  // errors suppressed: the scan must still come to an end
    o.mode = Mode::walk;
    o.trace = {EV_ERROR, tracer, &log};
    scan(bytes(in), o);
    log.events.clear();
  }
}

}  // namespace
