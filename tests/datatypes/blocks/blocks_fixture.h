// Shared set-up of the block tests: the runtime fixture, plus a small reader
// that builds values from text on the data stack (the lexer is not linked
// here), and the molded text of results.
//
// Reader notation: words, integers, floats (with a "."), "strings", none,
// [blocks], (parens), 'lit-words, :get-words, set-words:, a/b paths; "~"
// before a value sets its new-line marker.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/support/runtime_fixture.h"
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/path.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/stack.h"

namespace xeb::test {

class Blocks : public Runtime {
 protected:
  void SetUp() override {
    Runtime::SetUp();
#ifdef XEB_GC_STRESS
    collector::stress_every = 3;  // block edits allocate rarely: slide often
#endif
  }
  // Parses text into a new block! pushed on the data stack.
  static Cell* read(std::string_view text) {
    Cell* b = block::push_only(4);
    size_t i = 0;
    read_into(b, text, i, '\0');
    return b;
  }
  // The first value of the text, pushed.
  static Cell* val(std::string_view text) {
    Cell* b = read(text);
    Cell v = block::buf(b)->cells()[0];
    *b = v;
    return b;
  }
  static Cell* push(Cell c) { return stack::push(&c); }
  static Cell* integer(int32_t n) { return push(Cell{T_INTEGER, 0, static_cast<uint32_t>(n), 0}); }
  static std::string mold(Cell* v, int only = 0, int flat = 0) { return actions::mold_text(v, 0, flat, only); }
  static std::string form(Cell* v) { return actions::form_text(v); }
  static int32_t code(Err e) { return static_cast<int32_t>(e); }
  static int32_t length(const Cell* b) { return block::xs_length_q(b); }

  // The comparison action's rule: -2 raises invalid-compare for orderings.
  static bool holds(Cell* a, Cell* b, int op) {
    int r = actions::compare(a, b, op);
    if (r == COMPARE_INVALID && op >= COMP_LESSER && op <= COMP_CASE_SORT) fire(Err::invalid_compare, a, b);
    switch (op) {
      case COMP_NOT_EQUAL: return r != 0;
      case COMP_LESSER: return r < 0;
      case COMP_LESSER_EQUAL: return r <= 0;
      case COMP_GREATER: return r > 0;
      case COMP_GREATER_EQUAL: return r >= 0;
      default: return r == 0;
    }
  }

 private:
  static void read_into(Cell* b, std::string_view t, size_t& i, char close) {
    bool nl = false;
    while (i < t.size()) {
      char c = t[i];
      if (std::isspace(static_cast<unsigned char>(c))) { i++; continue; }
      if (c == close) { i++; return; }
      if (c == '~') { nl = true; i++; continue; }
      Cell* v;
      if (c == '[' || c == '(') {
        i++;
        v = block::push_only(4);
        read_into(v, t, i, c == '[' ? ']' : ')');
        if (c == '(') set_type(v, T_PAREN);
      } else if (c == '"') {
        size_t e = t.find('"', i + 1);
        v = string::push_new(static_cast<int32_t>(e - i));
        string::append_utf8(v, t.substr(i + 1, e - i - 1));
        i = e + 1;
      } else {
        size_t e = i;
        while (e < t.size() && !std::isspace(static_cast<unsigned char>(t[e])) && t[e] != ']' && t[e] != ')') e++;
        v = atom(t.substr(i, e - i));
        i = e;
      }
      if (nl) v->header |= HDR_NEW_LINE;
      nl = false;
      block::xs_append(b, v);
      stack::pop(1);
    }
  }

  static Cell* atom(std::string_view s) {
    if (std::isdigit(static_cast<unsigned char>(s[0])) || (s[0] == '-' && s.size() > 1)) {
      std::string z(s);
      if (z.find('.') != std::string::npos) return push(float_::make_cell(std::strtod(z.c_str(), nullptr)));
      return integer(static_cast<int32_t>(std::strtol(z.c_str(), nullptr, 10)));
    }
    if (s == "none") return stack::push(&fixed_none);
    if (s[0] == '/' && s.size() > 1) {
      Cell w = *word::load(s.substr(1));
      set_type(&w, T_REFINEMENT);
      return stack::push(&w);
    }
    if (s.size() > 1 && s.find('/') != std::string_view::npos) {
      TypeId t = T_PATH;
      if (s[0] == '\'') t = T_LIT_PATH, s.remove_prefix(1);
      else if (s[0] == ':') t = T_GET_PATH, s.remove_prefix(1);
      else if (s.back() == ':') t = T_SET_PATH, s.remove_suffix(1);
      Cell* p = block::push_only(2);
      for (size_t a = 0; a <= s.size();) {
        size_t e = s.find('/', a);
        if (e == std::string_view::npos) e = s.size();
        Cell* w = atom(s.substr(a, e - a));
        block::xs_append(p, w);
        stack::pop(1);
        a = e + 1;
      }
      set_type(p, t);
      return p;
    }
    TypeId t = T_WORD;
    if (s[0] == '\'') t = T_LIT_WORD, s.remove_prefix(1);
    else if (s[0] == ':') t = T_GET_WORD, s.remove_prefix(1);
    else if (s.size() > 1 && s.back() == ':') t = T_SET_WORD, s.remove_suffix(1);
    Cell w = *word::load(s);
    set_type(&w, t);
    return stack::push(&w);
  }
};

}  // namespace xeb::test
