// The value model's own types: datatype!, logic!, words, contexts, objects
// and errors, checked through their slots and their text.
#include <gtest/gtest.h>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/issue.h"
#include "datatypes/native.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/collector.h"
#include "tests/support/source.h"

namespace xeb::test {
namespace {

using Values = Source;

Cell int_cell(int32_t v) { return Cell{T_INTEGER, 0, static_cast<uint32_t>(v), 0}; }

Cell* push_text(std::string_view s) {
  Cell* c = string::push_new(static_cast<int32_t>(s.size()));
  string::append_utf8(c, s);
  return c;
}

Cell* push_word(std::string_view name, TypeId t = T_WORD) {
  Cell* w = stack::push(word::load(name));
  set_type(w, t);
  return w;
}

// A block on the data stack holding copies of the given cells.
Cell* push_block(std::initializer_list<Cell> cells) {
  Cell* b = stack::push_new();
  set_unset(b);  // a collection inside the allocation marks it
  *b = Cell{T_BLOCK, 0, memory::alloc_cells(static_cast<int64_t>(cells.size()) + 1), 0};
  for (const Cell& c : cells) *memory::new_tail_cell(b) = c;
  return b;
}

TEST_F(Values, DatatypeTexts) {
  for (TypeId t : {T_STRING, T_LOGIC, T_BLOCK}) {
    if (!datatype::entries[t].name) continue;  // registered by its own module
    std::string full = datatype::entries[t].name;
    Cell d = datatype::make_cell(t);
    EXPECT_EQ(actions::form_text(&d), full.substr(0, full.size() - 1));
    EXPECT_EQ(actions::mold_text(&d), full);
    EXPECT_EQ(actions::mold_text(&d, 1), "#(" + full + ")");
  }
  Cell a = datatype::make_cell(T_STRING), b = datatype::make_cell(T_STRING), c = datatype::make_cell(T_LOGIC);
  Cell five = int_cell(5);
  EXPECT_EQ(actions::compare(&a, &b, COMP_EQUAL), 0);
  EXPECT_EQ(actions::compare(&a, &c, COMP_EQUAL), 1);
  EXPECT_EQ(actions::compare(&a, &five, COMP_EQUAL), 1);
  EXPECT_EQ(actions::compare(&a, &c, COMP_LESSER), COMPARE_INVALID);
  // Slots taken from a parent are the parent's very implementations.
  EXPECT_EQ(datatype::slot_of(T_LIT_WORD, A_FORM), datatype::slot_of(T_WORD, A_FORM));
  EXPECT_NE(datatype::slot_of(T_LIT_WORD, A_MOLD), datatype::slot_of(T_WORD, A_MOLD));
  EXPECT_EQ(datatype::slot_of(T_ROUTINE, A_MAKE), nullptr);
  // Type names are words of the global context.
  EXPECT_TRUE(is_type(&datatype::entries[T_LOGIC].word, T_WORD));
  EXPECT_EQ(symbol::name(word_symbol(&datatype::entries[T_LOGIC].word)), "logic!");
}

TEST_F(Values, UnsetNoneLogicTexts) {
  struct Case {
    Cell v;
    const char *form, *mold, *mold_all;
  } cases[] = {
      {fixed_unset, "", "unset", "#(unset)"},
      {fixed_none, "none", "none", "#(none)"},
      {fixed_true, "true", "true", "#(true)"},
      {fixed_false, "false", "false", "#(false)"},
  };
  for (Case& c : cases) {
    EXPECT_EQ(actions::form_text(&c.v), c.form);
    EXPECT_EQ(actions::mold_text(&c.v), c.mold);
    EXPECT_EQ(actions::mold_text(&c.v, 1), c.mold_all);
  }
  // The budget drops by exactly the characters written.
  Cell* buf = string::push_new(8);
  Cell f = fixed_false;
  EXPECT_EQ(actions::mold(&f, buf, 0, 1, 0, nullptr, 100, 0), 92);
}

TEST_F(Values, LogicMakeToAndTruth) {
  auto make = datatype::slot<act::Make>(T_LOGIC, A_MAKE);
  auto to = datatype::slot<act::To>(T_LOGIC, A_TO);
  Cell proto = fixed_false, zero = int_cell(0), none_v = fixed_none;
  EXPECT_EQ(to(&proto, &zero, T_LOGIC)->w1, 1u);     // to logic! 0 is true
  EXPECT_EQ(make(&proto, &zero, T_LOGIC)->w1, 0u);   // make logic! 0 is false
  EXPECT_EQ(to(&proto, &none_v, T_LOGIC)->w1, 0u);
  Cell pct{T_PERCENT, 0, 0, 0};
  put_double(&pct, 0.015);
  EXPECT_EQ(make(&proto, &pct, T_LOGIC)->w1, 1u);
  Cell fz{T_FLOAT, 0, 0, 0};
  put_double(&fz, 0.0);
  EXPECT_EQ(make(&proto, &fz, T_LOGIC)->w1, 0u);

  for (Cell c : {fixed_unset, int_cell(0), fixed_true}) EXPECT_FALSE(is_false(&c));
  for (Cell c : {fixed_none, fixed_false}) EXPECT_TRUE(is_false(&c));
  Cell t = fixed_true, f = fixed_false;
  EXPECT_EQ(actions::compare(&t, &f, COMP_EQUAL), 1);
  EXPECT_EQ(actions::compare(&f, &t, COMP_EQUAL), -1);
  EXPECT_EQ(actions::compare(&t, &f, COMP_LESSER), COMPARE_INVALID);

  EXPECT_EQ(error_code_of([] {
              stack::push(&fixed_unset);
              logic::true_strict_q();
            }),
            static_cast<int32_t>(Err::no_return));
}

TEST_F(Values, SymbolsAliasCaseVariants) {
  int32_t a = symbol::make("zebra-sym");
  EXPECT_EQ(symbol::make("zebra-sym"), a);
  int32_t b = symbol::make("Zebra-Sym");
  EXPECT_NE(a, b);
  EXPECT_EQ(symbol::resolve(b), a);
  EXPECT_EQ(symbol::resolve(a), a);
  EXPECT_EQ(symbol::make_nocase("ZEBRA-SYM"), a);
  EXPECT_NE(symbol::make("\xC3\xA9t\xC3\xA9"), symbol::make("\xC3\x89t\xC3\xA9"));
  EXPECT_EQ(symbol::alias(symbol::make("\xC3\x89t\xC3\xA9")), -1);
  std::string long_name(300, 'q');
  EXPECT_EQ(symbol::make(long_name), symbol::make(long_name));
  EXPECT_EQ(symbol::name(symbol::make("")), "");
  // The internal words keep their ids.
  EXPECT_EQ(symbol::make("code"), words::sym(words::W::code));
}

TEST_F(Values, WordsCompareAndMold) {
  Cell* w1 = push_word("Hello");
  Cell* w2 = push_word("hello");
  EXPECT_EQ(actions::compare(w1, w2, COMP_EQUAL), 0);         // =
  EXPECT_NE(actions::compare(w1, w2, COMP_STRICT_EQUAL), 0);  // ==
  Cell* lit = push_word("hello", T_LIT_WORD);
  EXPECT_EQ(actions::compare(w2, lit, COMP_EQUAL), 0);
  EXPECT_NE(actions::compare(w2, lit, COMP_STRICT_EQUAL), 0);
  EXPECT_EQ(actions::compare(w2, lit, COMP_SAME_10), 0);
  Cell* iss = stack::push_new();
  set_unset(iss);
  issue::make_at(iss, "hello");
  EXPECT_EQ(actions::compare(w2, iss, COMP_EQUAL), COMPARE_INVALID);
  EXPECT_EQ(actions::compare(iss, w2, COMP_EQUAL), COMPARE_INVALID);

  struct Case {
    TypeId t;
    const char* mold;
  } cases[] = {{T_WORD, "MixedCase"}, {T_SET_WORD, "MixedCase:"}, {T_GET_WORD, ":MixedCase"},
               {T_LIT_WORD, "'MixedCase"}, {T_REFINEMENT, "/MixedCase"}, {T_ISSUE, "#MixedCase"}};
  for (const Case& c : cases) {
    Cell* w = push_word("MixedCase", c.t);
    EXPECT_EQ(actions::mold_text(w), c.mold);
    EXPECT_EQ(actions::form_text(w), "MixedCase");
  }
  // A budget smaller than the spelling ends at 0 or below.
  Cell* sw = push_word("MixedCase", T_SET_WORD);
  Cell* buf = string::push_new(8);
  EXPECT_LE(actions::mold(sw, buf, 0, 0, 0, nullptr, 3, 0), 0);
}

TEST_F(Values, WordValuesThroughContexts) {
  Cell* w = push_word("values-test-word");
  EXPECT_EQ(error_code_of([w] { word::get(w); }), static_cast<int32_t>(Err::no_value));
  Cell v = int_cell(42);
  Cell* vp = stack::push(&v);
  context::set(w, vp);
  EXPECT_EQ(get_int(word::get(w)), 42);
  // Another spelling shares the slot.
  Cell* w2 = push_word("VALUES-test-word");
  EXPECT_EQ(get_int(context::get(w2)), 42);
  // index? of an unbound word is none; of slot 0, 1.
  auto index_q = datatype::slot<act::StackOnly>(T_WORD, A_INDEX_Q);
  Cell* base = stack::base();
  Cell unbound{T_WORD, 0, static_cast<uint32_t>(symbol::make("nowhere")), static_cast<uint32_t>(-1)};
  *base = unbound;
  index_q();
  EXPECT_TRUE(is_type(base, T_NONE));
}

TEST_F(Values, ContextsFromSpecsAndBinding) {
  Cell a = *word::load("a"), A = *word::load("A"), b = *word::load("b");
  Cell* spec = push_block({a, A, b});
  Node ctx = context::make_from_spec(spec, false, false, context::Kind::plain);
  Cell* hold = stack::push_new();
  *hold = Cell{T_OBJECT, ctx, 0, 0};
  EXPECT_EQ(context::size(ctx), 2);  // a and A are one slot
  Cell* body = push_block({b, a});
  Cell* self_blk = stack::push(body);
  *memory::new_tail_cell(body) = *self_blk;  // a block holding itself
  context::bind(body, ctx, false);
  Cell* cells = buf_of(body->w2)->cells();
  EXPECT_EQ(word_context(cells), ctx);
  EXPECT_EQ(word_index(cells), 1);
  EXPECT_EQ(word_index(cells + 1), 0);
}

TEST_F(Values, EmptyObjectMoldsWithoutNewline) {
  auto make = datatype::slot<act::Make>(T_OBJECT, A_MAKE);
  Cell proto = datatype::make_cell(T_OBJECT);
  Cell* spec = push_block({});
  Cell* obj = make(&proto, spec, T_OBJECT);
  EXPECT_EQ(actions::mold_text(obj), "make object! []");
  EXPECT_GT(static_cast<int32_t>(obj->w2), object::FIRST_CLASS);
  EXPECT_EQ(obj->w3, 0u);
}

TEST_F(Values, ObjectMoldFormAndClasses) {
  auto make = datatype::slot<act::Make>(T_OBJECT, A_MAKE);
  Cell proto = datatype::make_cell(T_OBJECT);
  Cell xs = *word::load("x"), ys = *word::load("y");
  set_type(&xs, T_SET_WORD);
  set_type(&ys, T_SET_WORD);
  Cell one = fixed_true, wv = *word::load("foo");
  set_type(&wv, T_LIT_WORD);  // evaluates to the word foo
  Cell* spec = push_block({xs, one, ys, wv});
  Cell* obj = make(&proto, spec, T_OBJECT);
  EXPECT_EQ(actions::mold_text(obj), "make object! [\n    x: true\n    y: 'foo\n]");
  EXPECT_EQ(actions::form_text(obj), "x: true\ny: 'foo");
  EXPECT_EQ(actions::mold_text(obj, 0, 1), "make object! [x: true y: 'foo]");
  // A spec that only sets known words keeps the class; a new word does not.
  Cell* spec2 = push_block({xs, fixed_false});
  Cell* same = make(obj, spec2, T_OBJECT);
  EXPECT_EQ(same->w2, obj->w2);
  Cell zs = *word::load("z");
  set_type(&zs, T_SET_WORD);
  Cell* spec3 = push_block({zs, int_cell(3)});
  Cell* other = make(obj, spec3, T_OBJECT);
  EXPECT_NE(other->w2, obj->w2);
  EXPECT_EQ(actions::compare(obj, same, COMP_EQUAL), 1);  // x differs
  EXPECT_EQ(actions::compare(obj, other, COMP_LESSER), -1);  // fewer fields first
}

// The hook calls the test sees: the name and the arguments after the frame.
struct HookCall {
  int32_t name;
  std::vector<Cell> args;
};
std::vector<HookCall> g_calls;

void record_hook(Cell*, Node, int32_t name, int) {
  HookCall c{name, {}};
  for (Cell* p = stack::base(); p < stack::top(); p++) c.args.push_back(*p);
  g_calls.push_back(c);
}

// Hooks recorded instead of run, and specs assigned in order without the
// interpreter (a function! value in a spec would otherwise be called).
struct RecordHooks {
  decltype(object::eval_function_hook) fn = object::eval_function_hook;
  decltype(object::eval_block_hook) blk = object::eval_block_hook;
  RecordHooks() {
    object::eval_function_hook = &record_hook;
    object::eval_block_hook = nullptr;
    g_calls.clear();
  }
  ~RecordHooks() {
    object::eval_function_hook = fn;
    object::eval_block_hook = blk;
  }
};

TEST_F(Values, ObjectHooksFireWithTheirArguments) {
  auto make = datatype::slot<act::Make>(T_OBJECT, A_MAKE);
  RecordHooks recording;
  // on-change*: func [word old new /local t]
  Cell wword = *word::load("word"), wold = *word::load("old"), wnew = *word::load("new"), wt = *word::load("t");
  Cell loc = words::refinement(words::W::local_);
  Cell* hspec = push_block({wword, wold, wnew, loc, wt});
  Cell* hbody = push_block({});
  function::push(hspec, hbody, 0, 0, 0, 0);
  Cell fn = stack::top()[-1];
  Cell oc = words::word(words::W::on_change), a = *word::load("a");
  set_type(&oc, T_SET_WORD);
  set_type(&a, T_SET_WORD);
  Cell proto = datatype::make_cell(T_OBJECT);
  Cell* spec = push_block({a, int_cell(1), oc, fn});
  Cell* obj = make(&proto, spec, T_OBJECT);
  ASSERT_NE(obj->w3, 0u);
  g_calls.clear();
  Cell* field = push_word("a");
  Cell* nv = stack::push_new();
  *nv = int_cell(7);
  PathStep step{nullptr, nullptr, nullptr, 1, false, false, true, false};
  datatype::slot<act::EvalPath>(T_OBJECT, A_EVAL_PATH)(obj, field, nv, step);
  ASSERT_EQ(g_calls.size(), 1u);
  const HookCall& c = g_calls[0];
  EXPECT_EQ(c.name, words::sym(words::W::on_change));
  ASSERT_EQ(c.args.size(), 5u);  // word, old, new, then /local false and t none
  EXPECT_EQ(word_context(&c.args[0]), obj->w1);
  EXPECT_EQ(get_int(&c.args[1]), 1);
  EXPECT_EQ(get_int(&c.args[2]), 7);
  EXPECT_TRUE(is_type(&c.args[3], T_LOGIC));
  EXPECT_TRUE(is_type(&c.args[4], T_NONE));
  // The hook fields are left out of mold unless /all.
  EXPECT_EQ(actions::mold_text(obj).substr(0, 22), "make object! [\n    a: ");
  EXPECT_EQ(actions::mold_text(obj).find("on-change*"), std::string::npos);
}

TEST_F(Values, DeepHookHearsSeriesEditsThroughTheOwner) {
  auto make = datatype::slot<act::Make>(T_OBJECT, A_MAKE);
  RecordHooks recording;
  Cell* hspec = push_block({*word::load("owner"), *word::load("word"), *word::load("target"),
                            *word::load("action"), *word::load("new"), *word::load("index"), *word::load("part")});
  function::push(hspec, nullptr, 0, 0, 0, 0);
  Cell fn = stack::top()[-1];
  Cell odc = words::word(words::W::on_deep_change), s = *word::load("s");
  set_type(&odc, T_SET_WORD);
  set_type(&s, T_SET_WORD);
  Cell* text = push_text("abc");
  Cell* inner = push_block({*text});
  Cell proto = datatype::make_cell(T_OBJECT);
  Cell* spec = push_block({s, *inner, odc, fn});
  Cell* obj = make(&proto, spec, T_OBJECT);
  g_calls.clear();
  Cell act = words::word(words::W::append);
  Cell* actp = stack::push(&act);
  EXPECT_EQ(ownership::check(text, actp, nullptr, 0, 1), 1);  // two levels deep
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].name, words::sym(words::W::on_deep_change));
  EXPECT_EQ(symbol::name(word_symbol(&g_calls[0].args[1])), "s");
  EXPECT_EQ(ownership::unbind(inner), 1);
  EXPECT_EQ(ownership::check(text, actp, nullptr, 0, 1), 0);
  (void)obj;
}

TEST_F(Values, ErrorTextFormat) {
  // Raised by a real call: the frame gives the Where line.
  Cell err;
  ASSERT_EQ(Source::run("append 1 2", &err), "error: expect-arg");
  Cell* e = stack::push(&err);
  std::string text = actions::form_text(e);
  EXPECT_EQ(text.substr(0, text.find("\n*** Near")),
            "*** Script Error: append does not allow integer! for its series argument\n*** Where: append");
  // Made without a call: no Where.
  Cell fn = *word::load("append"), dt = datatype::make_cell(T_INTEGER), arg = *word::load("series");
  Cell* made = error::create(Err::expect_arg, &fn, &dt, &arg);
  EXPECT_EQ(actions::form_text(made),
            "*** Script Error: append does not allow integer! for its series argument\n*** Where: ???\n"
            "*** Near : none");
  // A user error's message is its first argument.
  Cell* msg = push_text("boom");
  Cell* u = error::create(Err::message, msg, nullptr, nullptr);
  EXPECT_EQ(actions::form_text(u).substr(0, 20), "*** User Error: boom");
  EXPECT_EQ(error::code_of(u), 800);
}

TEST_F(Values, MakeErrorByCodeAndSpec) {
  auto make = datatype::slot<act::Make>(T_ERROR, A_MAKE);
  Cell proto = datatype::make_cell(T_ERROR);
  struct Case {
    int32_t code;
    int32_t raised;  // -1: made
  } cases[] = {{300, -1}, {402, -1}, {393, -1}, {399, 341}, {-1, 341}, {600, 341}, {800, -1}, {914, 341}};
  for (const Case& c : cases) {
    Cell* spec = stack::push_new();
    *spec = int_cell(c.code);
    Cell made;
    int32_t r = error_code_of([&] { made = *make(&proto, spec, T_ERROR); });
    EXPECT_EQ(r, c.raised) << c.code;
    if (c.raised < 0) {
      EXPECT_EQ(error::code_of(&made), c.code);
    }
  }
  Cell* e300 = stack::push_new();
  *e300 = int_cell(300);
  Cell* e = make(&proto, e300, T_ERROR);
  EXPECT_EQ(symbol::name(error::get_id(e)), "no-value");
  EXPECT_EQ(symbol::name(error::get_type(e)), "script");

  Cell* blk = push_block({*word::load("script"), *word::load("expect-arg")});
  EXPECT_EQ(error::code_of(make(&proto, blk, T_ERROR)), 305);
  Cell* only = push_block({*word::load("script")});
  EXPECT_EQ(error_code_of([&] { make(&proto, only, T_ERROR); }), static_cast<int32_t>(Err::invalid_spec_field));
  Cell* bad = push_block({*word::load("script"), int_cell(5)});
  EXPECT_EQ(error_code_of([&] { make(&proto, bad, T_ERROR); }), static_cast<int32_t>(Err::invalid_arg));
}

TEST_F(Values, ErrorOfUnknownCategoryPrintsAsInvalidError) {
  Cell* e = error::create(Err::no_value, nullptr, nullptr, nullptr);
  *error::field(e, error::F_TYPE) = *word::load("nonsense");
  EXPECT_EQ(actions::form_text(e).substr(0, 62), "*** Internal Error: invalid error object field value: nonsense");
}

TEST_F(Values, FireReachesTheNearestTry) {
  Cell out;
  Cell v = int_cell(12);
  EXPECT_EQ(error_code_of([&] { fire(Err::out_of_range, &v); }, &out), 341);
  EXPECT_EQ(get_int(error::field(&out, error::F_ARG1)), 12);
}

int32_t g_traced = -1;
void trace_error(Cell* err) {
  g_traced = error::code_of(err);
  EXPECT_FALSE(throwing());
  set_unset(stack::push_new());  // the tracer may leave the stack as it likes above the error
  collector::collect();
}

TEST_F(Values, FireReportsToTheTracerFirst) {
  error::trace_hook = &trace_error;
  Cell out;
  Cell v = int_cell(3);
  EXPECT_EQ(error_code_of([&] { fire(Err::out_of_range, &v); }, &out), 341);
  error::trace_hook = nullptr;
  EXPECT_EQ(g_traced, 341);
  EXPECT_EQ(get_int(error::field(&out, error::F_ARG1)), 3);
}

TEST_F(Values, InternalWordsSurviveCollections) {
  collector::collect();
  collector::collect();
  EXPECT_EQ(symbol::name(words::sym(words::W::on_deep_change)), "on-deep-change*");
  Cell w = words::word(words::W::append);
  EXPECT_GE(word_index(&w), 0);
  EXPECT_EQ(symbol::name(word_symbol(&datatype::entries[T_OBJECT].word)), "object!");
}

}  // namespace
}  // namespace xeb::test

namespace xeb::test {
namespace {

TEST_F(Values, TypesetTextsAndSets) {
  auto make = datatype::slot<act::Make>(T_TYPESET, A_MAKE);
  Cell proto = datatype::make_cell(T_TYPESET);
  Cell* spec = push_block({datatype::make_cell(T_INTEGER), datatype::make_cell(T_FLOAT)});
  Cell* ts = make(&proto, spec, T_TYPESET);
  TypeId a = T_INTEGER;
  Cell* none_spec = push_block({});
  Cell* empty = make(&proto, none_spec, T_TYPESET);
  EXPECT_EQ(actions::mold_text(empty), "make typeset! []");
  EXPECT_EQ(actions::form_text(empty), "");
  // Complements of equal sets stay equal whatever the unused bits hold.
  Cell odd = *empty;
  odd.w3 |= 1;
  auto complement = datatype::slot<act::Complement>(T_TYPESET, A_COMPLEMENT);
  Cell c1 = *complement(empty), c2 = *complement(&odd);
  c2.w3 &= ~1u;
  EXPECT_EQ(actions::compare(&c1, &c2, COMP_EQUAL), 0);
  EXPECT_EQ(typeset::count(&c1), typeset::count(&c2));
  EXPECT_EQ(actions::compare(ts, ts, COMP_LESSER), COMPARE_INVALID);
  Cell five = int_cell(5);
  Cell dt = datatype::make_cell(a);
  auto find = datatype::slot<act::Find>(T_TYPESET, A_FIND);
  EXPECT_EQ(find(ts, &dt, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)->w1, 1u);
  EXPECT_EQ(error_code_of([&] { find(ts, &five, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0); }),
            static_cast<int32_t>(Err::invalid_arg));
}

}  // namespace
}  // namespace xeb::test

namespace xeb::test {
namespace {

TEST_F(Values, BuiltinsAndOperators) {
  auto make_action = datatype::slot<act::Make>(T_ACTION, A_MAKE);
  Cell proto = datatype::make_cell(T_ACTION);
  Cell* spec_blk = push_block({*word::load("series"), *word::load("value")});
  for (int32_t index : {0, 63}) {
    Cell* spec = push_block({*spec_blk, int_cell(index)});
    EXPECT_EQ(error_code_of([&] { make_action(&proto, spec, T_ACTION); }), static_cast<int32_t>(Err::bad_make_arg))
        << index;
  }
  Cell* spec = push_block({*spec_blk, int_cell(25)});
  Cell* a = make_action(&proto, spec, T_ACTION);
  EXPECT_EQ(actions::form_text(a), "?action?");
  Cell act = *a;
  Cell* same = stack::push(&act);
  EXPECT_EQ(actions::compare(a, same, COMP_EQUAL), 0);
  EXPECT_EQ(actions::compare(a, same, COMP_LESSER), COMPARE_INVALID);

  // Operator specs: two arguments, no lit-word on the left.
  Cell wa = *word::load("a"), wb = *word::load("b"), wc = *word::load("c");
  Cell lit = wa, ref = *word::load("extra");
  set_type(&lit, T_LIT_WORD);
  set_type(&ref, T_REFINEMENT);
  Cell loc = words::refinement(words::W::local_);
  struct Case {
    std::initializer_list<Cell> spec;
    int ok;
  } cases[] = {{{wa, wb}, 1}, {{wa, wb, wc}, 0}, {{wa, wb, ref}, 0}, {{lit, wb}, 0},
               {{wa, lit}, 1}, {{wa, wb, loc, wc}, 1}};
  for (const Case& c : cases) {
    Cell* s = push_block(c.spec);
    EXPECT_EQ(op::check_spec(s->w2), c.ok);
  }
}

}  // namespace
}  // namespace xeb::test

namespace xeb::test {
namespace {

}  // namespace
}  // namespace xeb::test
