// object!: making from specs and prototypes, copies that own their series
// and functions, hooks, reflection, paths, construct and set.
#include <gtest/gtest.h>

#include "datatypes/object.h"
#include "datatypes/words.h"
#include "tests/support/source.h"

namespace xeb::test {
namespace {

using Objects = Source;

struct Case {
  const char *src, *result;
};

TEST_F(Objects, HooksHearChanges) {
  Case cases[] = {
      {"log: [] o: make object! [a: 1 on-change*: func [w old new] [append log reduce [w old new]]] "
       "o/a: 5 o/a: 5 log",
       "[a 1 5 a 5 5]"},
      // The word the hook gets is the object's own.
      {"o: make object! [a: 1 on-change*: func [w old new] [seen: w]] seen: none o/a: 2 get seen", "2"},
      {"make object! [on-change*: 1]", "error: bad-field-set"},
      // Hook fields are left out of mold unless /all.
      {"make object! [a: 1 on-change*: func [w old new] [] on-deep-change*: func [o w t a v i p] []]",
       "make object! [\n    a: 1\n]"},
      {"o: make object! [a: 1 on-change*: func [w old new] []] find mold/all o \"on-change*\"", "error: none"},
      {"o: make object! [a: 1 b: 2] o/b: 3 reflect o 'changed", "[b]"},
      {"o: make object! [a: 1 b: 2] o/b: 3 modify o 'changed none reflect o 'changed", "[]"},
      {"o: make object! [a: 1] modify o 'changed 1", "error: invalid-arg"},
      {"reflect make object! [a: 1] 'events?", "false"},
  };
  for (const Case& c : cases) {
    std::string got = run(c.src);
    if (std::string_view(c.result) == "error: none") EXPECT_NE(got, "none") << c.src;
    else EXPECT_EQ(got, c.result) << c.src;
  }
}

// on-deep-change* hears edits of the series its fields hold, through the
// ownership table: before the edit (the action's word) and after it.
TEST_F(Objects, DeepHooksHearOwnedSeries) {
  Case cases[] = {
      {"log: [] o: make object! [b: [1] on-deep-change*: func [o w t a v i p] [append log reduce [w a i p]]] "
       "append o/b 2 log",
       "[b append 1 1 b appended 1 1]"},
      // Two levels deep: the outer field's word.
      {"log: [] o: make object! [s: [[\"abc\"]] on-deep-change*: func [o w t a v i p] [append log w]] "
       "append o/s/1/1 \"d\" log",
       "[s s]"},
      // A block holding itself is bound once, without looping.
      {"log: [] b: [1] append/only b b o: make object! [x: b on-deep-change*: func [o w t a v i p] [append log w]] "
       "append b 3 log",
       "[x x]"},
      // The first owner keeps the series.
      {"log: [] b: [1] o1: make object! [n: 1 x: b on-deep-change*: func [o w t a v i p] [append log o/n]] "
       "o2: make object! [n: 2 x: b on-deep-change*: func [o w t a v i p] [append log o/n]] append b 3 log",
       "[1 1]"},
      // A nested owner keeps its own series.
      {"log: [] o: make object! [in: make object! [s: \"x\" on-deep-change*: func [o w t a v i p] [append log 'in]] "
       "t: \"y\" on-deep-change*: func [o w t a v i p] [append log 'out]] append o/in/s \"q\" append o/t \"r\" log",
       "[in in out out]"},
      {"o: make object! [a: 1] p: make o [on-change*: func [w o n] [append log n]] log: [] p/a: 3 log", "[3]"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.src), c.result) << c.src;
}

TEST_F(Objects, PathsSelectPutAndCompare) {
  Case cases[] = {
      {"o: make object! [a: 1] select o 'b", "none"},
      {"o: make object! [a: 1] select o 'A", "1"},
      {"o: make object! [a: 1] select o 1", "error: invalid-type"},
      {"o: make object! [a: 1] put o 'b 2", "error: invalid-path"},
      {"o: make object! [a: 1] put o \"a\" 2", "error: invalid-key-type"},
      {"o: make object! [a: 1] put o 'a 2 o/a", "2"},
      {"o: make object! [a: 1] o/b", "error: invalid-path"},
      {"equal? make object! [a: 1] make object! [a: 1]", "true"},
      {"equal? make object! [a: 1] make object! [a: 2]", "false"},
      {"lesser? make object! [a: 1] make object! [a: 1 b: 2]", "true"},
      {"o: make object! [a: 1] same? o copy o", "false"},
      {"o: make object! [a: 1 w: 'x p: 'q/r] reflect o 'body", "[\n    a: 1\n    w: 'x\n    p: 'q/r\n]"},
      {"o: make object! [a: 1] o/a: o", "make object! [\n    a: make object! [...]\n]"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.src), c.result) << c.src;
}

TEST_F(Objects, TextOfFields) {
  Case cases[] = {
      {"make object! []", "make object! []"},
      {"make object! [a: 1 w: 'x]", "make object! [\n    a: 1\n    w: 'x\n]"},
      {"make object! [a: make object! [b: 2]]", "make object! [\n    a: make object! [\n        b: 2\n    ]\n]"},
      {"mold/flat make object! [a: 1 w: 'x]", "\"make object! [a: 1 w: 'x]\""},
      {"form make object! [a: \"t\" w: 'x]", "{a: \"t\"^/w: 'x}"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.src), c.result) << c.src;
}

// Construct and set on objects, through their operations (the natives are
// the interpreter's).
TEST_F(Objects, ConstructAndSet) {
  struct ConstructCase {
    const char* spec;
    bool only;
    const char* mold;
  } cases[] = {
      {"a: b: 1 c: yes d: off e: none f: foo g: (1 + 1)", false,
       "make object! [a: 1 b: 1 c: true d: false e: none f: 'foo g: (1 + 1)]"},
      {"c: yes e: none z:", true, "make object! [c: 'yes e: 'none z: none]"},
      {"1 2 x: 3", false, "make object! [x: 3]"},
  };
  for (const ConstructCase& c : cases) {
    Cell* spec = load(c.spec);
    Cell* obj = object::construct(spec, nullptr, c.only);
    EXPECT_EQ(actions::mold_text(obj, 0, 1), c.mold) << c.spec;
    EXPECT_GT(static_cast<int32_t>(obj->w2), object::FIRST_CLASS);
  }
  // With a prototype: its class, its fields, the new words.
  Cell* protos = load("make object! [a: 1 b: 2]");
  interpreter::eval_block(protos, false);
  Cell* proto = stack::top() - 1;
  Cell* spec = load("b: 20 c: 30");
  Cell* obj = object::construct(spec, proto, false);
  EXPECT_EQ(actions::mold_text(obj, 0, 1), "make object! [a: 1 b: 20 c: 30]");
  EXPECT_EQ(obj->w2, proto->w2);
  EXPECT_EQ(actions::mold_text(proto, 0, 1), "make object! [a: 1 b: 2]");

  struct SetCase {
    const char* value;
    bool any, only, some;
    const char* mold;  // or the error
  } sets[] = {
      {"[7 8]", false, false, false, "make object! [a: 7 b: 8 c: none]"},
      {"[7 #(none) 9]", false, false, true, "make object! [a: 7 b: 20 c: 9]"},
      {"[5]", false, true, false, "make object! [a: [5] b: [5] c: [5]]"},
      {"make object! [C: 3 a: 4 z: 5]", false, false, false, "make object! [a: 4 b: 20 c: 3]"},
      {"[#(unset) 1]", false, false, false, "error: need-value"},
      {"[#(unset) 1]", true, false, false, "make object! [a: unset b: 1 c: none]"},
  };
  for (const SetCase& c : sets) {
    Cell* target = object::construct(spec, proto, false);
    std::string got;
    Cell err;
    int32_t code = error_code_of(
        [&] {
          Cell* v = load(c.value);
          interpreter::eval_block(v, false);
          object::set_many(target, stack::top() - 1, c.any, c.only, c.some);
          got = actions::mold_text(target, 0, 1);
        },
        &err);
    if (code != -1) got = "error: " + std::string(symbol::name(error::get_id(&err)));
    EXPECT_EQ(got, c.mold) << c.value;
  }
}

TEST_F(Objects, SetLeavesHooksAloneAndFiresOnTheRest) {
  Cell* src = load(
      "log: [] make object! [a: 1 on-change*: func [w old new] [append log reduce [w old new]] b: 2]");
  interpreter::eval_block(src, false);
  Cell* obj = stack::top() - 1;
  Cell* v = load("9");
  object::set_many(obj, buf_of(v->w2)->cells(), false, false, false);
  EXPECT_EQ(run("log"), "[a 1 9 b 2 9]");
  EXPECT_TRUE(is_type(context::values(obj->w1) + 1, T_FUNCTION));
  // Every field set is marked changed, the hook field too.
  auto reflect = datatype::slot<act::Reflect>(T_OBJECT, A_REFLECT);
  EXPECT_EQ(actions::mold_text(reflect(obj, words::sym(words::W::changed))), "[a on-change* b]");
}

TEST_F(Objects, ShapeChecks) {
  Cell* src = load("shape-test: make object! [a: make object! [b: 1]]");
  interpreter::eval_block(src, false);
  Cell* obj = stack::top() - 1;
  int32_t cls = static_cast<int32_t>(obj->w2);
  Cell* w = stack::push(word::load("shape-test"));
  EXPECT_TRUE(object::of_class_q(w, cls));
  EXPECT_FALSE(object::of_class_q(w, cls + 1));
  Cell inner = context::values(obj->w1)[0];
  EXPECT_TRUE(object::field_of_class_q(obj->w1, 0, static_cast<int32_t>(inner.w2)));
  EXPECT_FALSE(object::field_of_class_q(obj->w1, 0, cls));
  EXPECT_EQ(symbol::name(word_symbol(object::first_word(obj))), "a");
  EXPECT_EQ(object::get_word(obj->w1, 0), object::first_word(obj));
}

}  // namespace
}  // namespace xeb::test
