// object!: making from specs and prototypes, copies that own their series
// and functions, hooks, reflection, paths, construct and set.
#include <gtest/gtest.h>

#include "datatypes/object.h"
#include "datatypes/words.h"
#include "tests/support/source.h"

namespace xeb::test {
namespace {

using Objects = Source;

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
