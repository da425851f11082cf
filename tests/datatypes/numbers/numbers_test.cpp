// integer!, char! and float!: arithmetic, rounding, comparison, conversion,
// form and mold, each through the registry as the evaluator reaches them.
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "datatypes/actions.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/issue.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "runtime/hashtable.h"
#include "tests/support/runtime_fixture.h"

namespace xeb::test {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

Cell I(int32_t v) { return integer::make_cell(v); }
Cell F(double d) { return float_::make_cell(d); }
Cell C(int32_t cp) { return char_::make_cell(cp); }

class Numbers : public Runtime {
 protected:
  // The mold of what body answers, or "error N" for the code it raised.
  static std::string outcome(const std::function<Cell()>& body) {
    Cell result{};
    Cell* saved = stack::top();
    int32_t code = error_code_of([&] { result = body(); });
    stack::set_top(saved);
    if (code >= 0) return "error " + std::to_string(code);
    Cell* r = stack::push(&result);
    std::string text = actions::mold_text(r);
    stack::set_top(saved);
    return text;
  }

  // The stack-only slot of left's type, on arguments pushed at a new base.
  static Cell run2(Action a, Cell left, Cell right) {
    Cell* saved = stack::base();
    Cell* b = stack::push(&left);
    stack::push(&right);
    stack::set_base(b);
    datatype::slot<act::StackOnly>(type_of(&left), a)();
    Cell out = *b;
    stack::set_base(saved);
    stack::set_top(b);
    return out;
  }

  static int cmp(Cell a, Cell b, int op) { return actions::compare(&a, &b, op); }

  static Cell convert(TypeId target, Cell* spec) {
    Cell proto{target, 0, 0, 0};
    return *datatype::slot<act::To>(target, A_TO)(&proto, spec, target);
  }

  static Cell* str(std::string_view utf8) {
    Cell* s = string::push_new(static_cast<int32_t>(utf8.size()));
    string::append_utf8(s, utf8);
    return s;
  }
  static Cell* blk(std::initializer_list<Cell> values) {
    Cell* b = block::push_only(static_cast<int32_t>(values.size()));
    for (const Cell& v : values) block::xs_append(b, &v);
    return b;
  }
  static Cell* bin(std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> v(bytes);
    return binary::load(v.data(), static_cast<int32_t>(v.size()));
  }
};

TEST_F(Numbers, Arithmetic) {
  constexpr int32_t MIN = INT32_MIN, MAX = INT32_MAX;
  struct Case {
    Action a;
    Cell l, r;
    const char* expect;
  } cases[] = {
      {A_ADD, I(MAX), I(1), "2147483648.0"},
      {A_SUBTRACT, I(MIN), I(1), "-2147483649.0"},
      {A_MULTIPLY, I(65536), I(65536), "4294967296.0"},
      {A_ADD, I(MAX), I(-1), "2147483646"},
      {A_DIVIDE, I(7), I(2), "3.5"},
      {A_DIVIDE, I(-6), I(3), "-2"},
      {A_DIVIDE, I(1), I(0), "error 400"},
      {A_DIVIDE, I(MIN), I(-1), "error 401"},
      {A_REMAINDER, I(MIN), I(-1), "error 401"},
      {A_REMAINDER, I(5), I(0), "error 400"},
      {A_REMAINDER, I(-7), I(2), "-1"},
      {A_AND_T, I(6), I(3), "2"},
      {A_OR_T, I(6), I(3), "7"},
      {A_XOR_T, I(6), I(3), "5"},
      {A_ADD, I(1), C('a'), "98"},
      {A_ADD, I(3), F(0.5), "3.5"},
      {A_MULTIPLY, I(2), F(0.25), "0.5"},
      {A_ADD, I(1), fixed_none, "error 310"},
      {A_ADD, F(0.1), F(0.2), "0.30000000000000004"},
      {A_DIVIDE, F(1.0), F(0.0), "1.#INF"},
      {A_DIVIDE, F(-1.0), I(0), "-1.#INF"},
      {A_REMAINDER, F(5.0), F(INF), "5.0"},
      {A_REMAINDER, F(INF), F(2.0), "1.#NaN"},
      {A_REMAINDER, F(-7.5), F(2.0), "-1.5"},
      {A_SUBTRACT, F(1.0), C('a'), "-96.0"},
      {A_ADD, F(1.0), fixed_none, "error 310"},
      // char! stays a character and within the code points
      {A_ADD, C('a'), I(1), "#\"b\""},
      {A_SUBTRACT, C('b'), C('a'), "#\"^A\""},
      {A_SUBTRACT, C('A'), I(66), "error 401"},
      {A_ADD, C(0x10FFFF), I(1), "error 401"},
      {A_MULTIPLY, C(0x10FFFF), I(MAX), "error 401"},
      {A_DIVIDE, C('d'), I(2), "#\"2\""},
      {A_DIVIDE, C('a'), I(0), "error 400"},
      {A_ADD, C('a'), F(1.9), "#\"b\""},
      {A_ADD, C('a'), F(1e300), "error 401"},
      {A_ADD, C('a'), fixed_none, "error 310"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome([&] { return run2(c.a, c.l, c.r); }), c.expect) << c.expect;
}

TEST_F(Numbers, Power) {
  struct Case {
    Cell base, exp;
    const char* expect;
  } cases[] = {
      {I(2), I(31), "2147483648.0"}, {I(2), I(-1), "0.5"},       {I(0), I(0), "1"},
      {I(3), I(3), "27"},            {I(-2), I(31), "-2147483648"}, {I(2), F(0.5), "1.4142135623730951"},
      {F(2.0), I(3), "8.0"},         {I(2), fixed_none, "error 305"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome([&] { return run2(A_POWER, c.base, c.exp); }), c.expect) << c.expect;
}

TEST_F(Numbers, SignAndParity) {
  auto neg = [](Cell v) { return *datatype::slot<act::Negate>(type_of(&v), A_NEGATE)(&v); };
  auto absolute = [](Cell v) { return run2(A_ABSOLUTE, v, fixed_none); };
  EXPECT_EQ(outcome([&] { return neg(I(INT32_MIN)); }), "error 401");
  EXPECT_EQ(outcome([&] { return absolute(I(INT32_MIN)); }), "error 401");
  EXPECT_EQ(outcome([&] { return absolute(I(-5)); }), "5");
  EXPECT_EQ(outcome([&] { return neg(F(0.0)); }), "0.0");
  EXPECT_EQ(outcome([&] { return absolute(F(-2.5)); }), "2.5");

  struct Case {
    Cell v;
    int even, odd;
  } cases[] = {
      {I(-3), 0, 1},      {C('a'), 0, 1},         {F(2.5), 1, 0},   {F(-3.0), 0, 1},
      {F(3e9), 1, 0},     {F(3000000001.0), 0, 1}, {F(-5e9 - 1), 0, 1}, {F(INF), 0, 0},
  };
  for (Case c : cases) {
    auto even = datatype::slot<act::EvenOdd>(type_of(&c.v), A_EVEN_Q);
    auto odd = datatype::slot<act::EvenOdd>(type_of(&c.v), A_ODD_Q);
    EXPECT_EQ(even(&c.v), c.even) << outcome([&] { return c.v; });
    EXPECT_EQ(odd(&c.v), c.odd) << outcome([&] { return c.v; });
  }
}

TEST_F(Numbers, Round) {
  enum Flag { NONE = 0, EVEN = 1, DOWN = 2, HALF_DOWN = 4, FLOOR = 8, CEILING = 16, HALF_CEILING = 32 };
  struct Case {
    Cell v;
    bool to;
    Cell scale;
    int flags;
    const char* expect;
  } cases[] = {
      {I(17), true, I(5), NONE, "15"},
      {I(15), true, I(10), NONE, "20"},
      {I(25), true, I(10), EVEN, "20"},
      {I(35), true, I(10), EVEN, "40"},
      {I(15), true, I(10), HALF_DOWN, "10"},
      {I(-15), true, I(10), HALF_CEILING, "-10"},
      {I(-11), true, I(10), FLOOR, "-20"},
      {I(11), true, I(10), CEILING, "20"},
      {I(-19), true, I(10), DOWN, "-10"},
      {I(-15), true, I(-10), NONE, "-20"},
      {I(2147483647), true, I(10), NONE, "error 401"},
      {I(7), true, I(INT32_MIN), NONE, "error 401"},
      {I(INT32_MIN), true, I(10), NONE, "-2147483648"},
      {I(7), false, I(0), NONE, "7"},
      {I(7), true, F(0.5), NONE, "7.0"},
      {I(7), true, F(2.0), NONE, "8.0"},
      {F(2.5), false, I(0), NONE, "3.0"},
      {F(-2.5), false, I(0), NONE, "-3.0"},
      {F(2.5), false, I(0), EVEN, "2.0"},
      {F(3.5), false, I(0), EVEN, "4.0"},
      {F(2.5), false, I(0), HALF_DOWN, "2.0"},
      {F(-2.5), false, I(0), HALF_CEILING, "-2.0"},
      {F(-2.7), false, I(0), DOWN, "-2.0"},
      {F(-0.4), false, I(0), NONE, "0.0"},
      {F(-2.1), false, I(0), FLOOR, "-3.0"},
      {F(2.1), false, I(0), CEILING, "3.0"},
      {F(3.14159), true, F(0.01), NONE, "3.14"},
      {F(7.5), true, I(2), NONE, "8"},
      {F(1e300), true, F(1e-310), NONE, "1.0e300"},
      {F(0.3), true, F(1e-320), NONE, "0.3"},
      {F(3e9), true, I(1), NONE, "error 401"},
      {F(1.7976931348623157e308), true, F(1e308), NONE, "error 401"},
  };
  for (Case c : cases) {
    std::string got = outcome([&] {
      auto round = datatype::slot<act::Round>(type_of(&c.v), A_ROUND);
      return *round(&c.v, c.to ? &c.scale : nullptr, c.flags & EVEN, c.flags & DOWN, c.flags & HALF_DOWN,
                    c.flags & FLOOR, c.flags & CEILING, c.flags & HALF_CEILING);
    });
    EXPECT_EQ(got, c.expect) << c.expect;
  }
}

TEST_F(Numbers, Compare) {
  struct Case {
    Cell a, b;
    int op, expect;
  } cases[] = {
      {I(3), F(3.0), COMP_EQUAL, 0},
      {I(3), F(3.0), COMP_STRICT_EQUAL, 1},
      {I(3), F(3.0), COMP_SAME, 1},
      {I(3), I(4), COMP_LESSER, -1},
      {I(65), C('A'), COMP_EQUAL, 0},
      {I(65), C('A'), COMP_STRICT_EQUAL, 1},
      {I(1), fixed_none, COMP_EQUAL, COMPARE_INVALID},
      {F(0.1 + 0.2), F(0.3), COMP_EQUAL, 0},
      {F(0.1 + 0.2), F(0.3), COMP_STRICT_EQUAL, 1},
      {F(1.0), F(1.0000000000000002), COMP_EQUAL, 0},
      {F(1.0), F(1.0001), COMP_EQUAL, 1},
      {F(1e300), F(1.0000000000000003e300), COMP_EQUAL, 0},
      {F(0.0), F(-0.0), COMP_STRICT_EQUAL, 0},
      {F(0.0), F(-0.0), COMP_SAME, 1},
      {F(NaN), F(NaN), COMP_EQUAL, 1},
      {F(NaN), F(1.0), COMP_LESSER, 1},
      {F(NaN), F(1.0), COMP_GREATER, -1},
      {F(2.0), I(1), COMP_GREATER, 1},
      {F(2.0), I(2), COMP_STRICT_EQUAL, 1},
      {C('a'), C('A'), COMP_EQUAL, 1},
      {C('a'), C('A'), COMP_GREATER, 1},
      {C('A'), I(65), COMP_STRICT_EQUAL, 1},
      {C('A'), F(65.0), COMP_EQUAL, COMPARE_INVALID},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cmp(c.a, c.b, c.op), c.expect)
        << outcome([&] { return c.a; }) << " op " << c.op << " " << outcome([&] { return c.b; });
  }
}

TEST_F(Numbers, Float32Equality) {
  const float one_up = std::nextafter(1.0f, 2.0f), inf32 = std::numeric_limits<float>::infinity();
  struct Case {
    float a, b;
    bool equal;
  } cases[] = {
      {1.0f, one_up, true},       {1.0f, 1.001f, false},        {0.0f, -0.0f, true},
      {std::nanf(""), 1.0f, false}, {FLT_MAX, inf32, true},       {-FLT_MAX, inf32, false},
  };
  for (const Case& c : cases) EXPECT_EQ(float_::equal_f32_q(c.a, c.b), c.equal) << c.a << " " << c.b;
}

TEST_F(Numbers, FormAndMold) {
  struct Case {
    Cell v;
    const char* form;
    const char* mold;
  } cases[] = {
      {I(INT32_MIN), "-2147483648", "-2147483648"},
      {I(0), "0", "0"},
      {I(-45), "-45", "-45"},
      {F(0.1 + 0.2), "0.3", "0.30000000000000004"},
      {F(1e16), "1.0e16", "10000000000000000.0"},
      {F(1e17), "1.0e17", "1.0e17"},
      {F(1e20), "1.0e20", "1.0e20"},
      {F(1.5e-7), "1.5e-7", "0.00000015"},
      {F(1e-8), "1.0e-8", "1.0e-8"},
      {F(3.0), "3.0", "3.0"},
      {F(-0.0), "0.0", "-0.0"},
      {F(INF), "1.#INF", "1.#INF"},
      {F(-INF), "-1.#INF", "-1.#INF"},
      {F(NaN), "1.#NaN", "1.#NaN"},
      {C('a'), "a", "#\"a\""},
      {C(30), "\x1E", "#\"^(1E)\""},
      {C(127), "\x7F", "#\"^~\""},
      {C('\n'), "\n", "#\"^/\""},
      {C(0xE9), "\xC3\xA9", "#\"\xC3\xA9\""},
  };
  for (Case c : cases) {
    Cell* v = stack::push(&c.v);
    EXPECT_EQ(actions::form_text(v), c.form) << c.mold;
    EXPECT_EQ(actions::mold_text(v), c.mold);
    stack::pop(1);
  }
  Cell e9 = C(0xE9);
  EXPECT_EQ(actions::mold_text(stack::push(&e9), 1), "#\"^(E9)\"");
}

TEST_F(Numbers, MoldBudgetCountsEscapes) {
  Cell v = C(30);
  Cell* buf = string::push_new(16);
  int left = actions::mold(&v, buf, 0, 0, 0, nullptr, 100, 0);
  EXPECT_EQ(left, 100 - string::xs_length_q(buf));
}

TEST_F(Numbers, ToInteger) {
  struct Case {
    std::function<Cell*()> spec;
    const char* expect;
  } cases[] = {
      {[] { return float_::push(2147483647.0); }, "2147483647"},
      {[] { return float_::push(-2147483648.0); }, "-2147483648"},
      {[] { return float_::push(2147483647.5); }, "error 346"},  // tested before truncation
      {[] { return float_::push(-2147483648.9); }, "error 346"},
      {[] { return float_::push(-2147483647.9); }, "-2147483647"},
      {[] { return float_::push(2147483648.0); }, "error 346"},
      {[] { return float_::push(-2147483649.0); }, "error 346"},
      {[] { return float_::push(NaN); }, "error 346"},
      {[] { return float_::push(INF); }, "error 346"},
      {[] { return float_::push(2.9); }, "2"},
      {[] { return float_::push(-2.9); }, "-2"},
      {[] { return char_::push('A'); }, "65"},
      {[] { return bin({0xFF, 0xFF, 0xFF, 0xFF}); }, "-1"},
      {[] { return bin({0x00, 0x00, 0x01, 0x00, 0xFF}); }, "256"},
      {[] { return bin({0x01, 0x02}); }, "258"},
      {[] { return bin({}); }, "0"},
      {[] { return str("123"); }, "123"},
      {[] { return str("-2147483648"); }, "-2147483648"},
      {[] { return str("+1'000'000"); }, "1000000"},
      {[] { return str("2147483648"); }, "error 354"},
      {[] { return str(""); }, "error 354"},
      {[] { return str("1.5"); }, "error 354"},
      {[] { return str("'1"); }, "error 354"},
      {[] { return issue::load("FFFFFFFF"); }, "-1"},
      {[] { return issue::load("1f"); }, "31"},
      {[] { return issue::load("123456789"); }, "error 316"},
      {[] { return issue::load("G1"); }, "error 316"},
      {[] { return stack::push(&fixed_none); }, "error 354"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome([&] { return convert(T_INTEGER, c.spec()); }), c.expect) << c.expect;

  Cell proto = I(0), yes = fixed_true;
  EXPECT_EQ(get_int(integer::make(&proto, &yes, T_INTEGER)), 1);
}

TEST_F(Numbers, ToChar) {
  struct Case {
    std::function<Cell*()> spec;
    const char* expect;
  } cases[] = {
      {[] { return integer::push(0x10FFFF); }, "#\"\xF4\x8F\xBF\xBF\""},
      {[] { return integer::push(0x110000); }, "error 341"},
      {[] { return integer::push(-1); }, "error 341"},
      {[] { return float_::push(65.7); }, "#\"A\""},
      {[] { return float_::push(NaN); }, "error 341"},
      {[] { return str(""); }, "error 354"},
      {[] { return str("abc"); }, "#\"a\""},
      {[] { return str("\xE2\x82\xAC"); }, "#\"\xE2\x82\xAC\""},
      {[] { return bin({0xC3, 0xA9, 0x41}); }, "#\"\xC3\xA9\""},
      {[] { return bin({}); }, "error 354"},
      {[] { return bin({0xE2, 0x82}); }, "error 354"},
      {[] { return stack::push(&fixed_none); }, "error 354"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome([&] { return convert(T_CHAR, c.spec()); }), c.expect) << c.expect;
}

TEST_F(Numbers, ToFloat) {
  struct Case {
    std::function<Cell*()> spec;
    const char* expect;
  } cases[] = {
      {[] { return str("1.5"); }, "1.5"},
      {[] { return str("1,5"); }, "1.5"},
      {[] { return str("-1'000.25e2"); }, "-100025.0"},
      {[] { return str(""); }, "error 354"},
      {[] { return str("1.5x"); }, "error 354"},
      {[] { return integer::push(3); }, "3.0"},
      {[] { return char_::push('A'); }, "65.0"},
      {[] { return bin({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}); }, "1.0"},
      {[] { return bin({0x3F, 0xF0}); }, "8.087e-320"},
      {[] { return blk({F(1.5), I(3)}); }, "1500.0"},
      {[] { return blk({I(25), F(-1.9)}); }, "2.5"},
      {[] { return blk({I(1), I(2), I(3)}); }, "error 354"},
      {[] { return blk({I(1), fixed_none}); }, "error 354"},
      {[] { return stack::push(&fixed_none); }, "error 354"},
  };
  for (const Case& c : cases) EXPECT_EQ(outcome([&] { return convert(T_FLOAT, c.spec()); }), c.expect) << c.expect;

  // percent! is made by the same routine; its double is the fraction.
  Cell* s = str("50%");
  Cell proto{T_FLOAT, 0, 0, 0};
  Cell* p = float_::to(&proto, s, T_PERCENT);
  EXPECT_EQ(type_of(p), T_PERCENT);
  EXPECT_EQ(get_double(p), 0.5);
}

// The hashes the types give hash tables: values equal as keys hash alike.
TEST_F(Numbers, KeyHashesOfTheTypes) {
  auto hash = [](Cell c) { return hashtable::hash_value(&c, false); };
  EXPECT_EQ(hash(F(0.0)), hash(F(-0.0)));
  EXPECT_EQ(42u, hash(I(42)));
  EXPECT_EQ(0xFFFFFFFFu, hash(Cell{T_NONE, 0, 0, 0}));
  EXPECT_EQ(0xFFFFFFFEu, hash(Cell{T_UNSET, 0, 0, 0}));
  Cell* mixed = string::push_new(8);
  string::append_utf8(mixed, "MiXed");
  Cell* lower = string::push_new(8);
  string::append_utf8(lower, "mixed");
  EXPECT_EQ(hashtable::hash_value(mixed, false), hashtable::hash_value(lower, false));
  EXPECT_NE(hashtable::hash_value(mixed, true), hashtable::hash_value(lower, true));
  stack::pop(2);
}

}  // namespace
}  // namespace xeb::test
