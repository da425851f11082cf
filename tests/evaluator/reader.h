// A small reader of source text for the evaluator's tests, standing in for
// the lexer's loaders: integers, decimals, strings, words of every kind,
// paths, blocks and parens. Words are bound in the global context.
#pragma once
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/stack.h"

namespace xeb::test {

class Reader {
 public:
  explicit Reader(std::string_view src) : s_(src) {}

  // The whole text as a block! pushed on the data stack.
  Cell* read_block() {
    Cell* b = block::push_only(8);
    read_into(b, '\0');
    return b;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;

  static bool delimiter(char c) { return c == ' ' || c == '\n' || c == '[' || c == ']' || c == '(' || c == ')'; }

  void read_into(Cell* b, char closer) {
    bool new_line = false;
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == '\n') new_line = true;
      if (c == ' ' || c == '\n') {
        i_++;
        continue;
      }
      if (c == closer) {
        i_++;
        return;
      }
      Cell* saved = stack::top();
      Cell v;
      if (c == '[' || c == '(') {
        i_++;
        Cell* inner = block::push_only(4);
        read_into(inner, c == '[' ? ']' : ')');
        if (c == '(') set_type(inner, T_PAREN);
        v = *inner;
      } else if (c == '"') {
        size_t j = s_.find('"', i_ + 1);
        std::string_view text = s_.substr(i_ + 1, j - i_ - 1);
        i_ = j + 1;
        v = *string::load(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), nullptr,
                          string::ENC_UTF8);
      } else {
        size_t j = i_;
        while (j < s_.size() && !delimiter(s_[j])) j++;
        v = token(s_.substr(i_, j - i_));
        i_ = j;
      }
      if (new_line) v.header |= HDR_NEW_LINE;
      new_line = false;
      block::xs_append(b, &v);
      stack::set_top(saved);
    }
  }

  static bool number(std::string_view t) {
    size_t k = (t[0] == '-' || t[0] == '+') && t.size() > 1 ? 1 : 0;
    return std::isdigit(static_cast<unsigned char>(t[k]));
  }

  static Cell word(std::string_view name, TypeId type) {
    Cell w = *word::load(name);
    set_type(&w, type);
    return w;
  }

  Cell token(std::string_view t) {
    if (number(t)) {
      std::string text(t);
      if (text.find('.') != std::string::npos) {
        Cell f{T_FLOAT, 0, 0, 0};
        put_double(&f, std::stod(text));
        return f;
      }
      return Cell{T_INTEGER, 0, static_cast<uint32_t>(std::stol(text)), 0};
    }
    if (t[0] == '#') return word(t.substr(1), T_ISSUE);
    if (t[0] == '\'') {
      if (t.find('/') != std::string_view::npos) return path(t.substr(1), T_LIT_PATH);
      return word(t.substr(1), T_LIT_WORD);
    }
    if (t[0] == ':') {
      if (t.find('/') != std::string_view::npos) return path(t.substr(1), T_GET_PATH);
      return word(t.substr(1), T_GET_WORD);
    }
    if (t[0] == '/' && t.size() > 1 && t != "//") return word(t.substr(1), T_REFINEMENT);
    if (t.back() == ':' && t.size() > 1) {
      if (t.find('/') != std::string_view::npos) return path(t.substr(0, t.size() - 1), T_SET_PATH);
      return word(t.substr(0, t.size() - 1), T_SET_WORD);
    }
    if (t.size() > 2 && t.find('/') != std::string_view::npos && t[0] != '/') return path(t, T_PATH);
    return word(t, T_WORD);
  }

  Cell path(std::string_view t, TypeId type) {
    Cell* p = block::push_only(4);
    size_t k = 0;
    while (k <= t.size()) {
      size_t j = t.find('/', k);
      if (j == std::string_view::npos) j = t.size();
      Cell el = token(t.substr(k, j - k));
      block::xs_append(p, &el);
      k = j + 1;
    }
    set_type(p, type);
    return *p;
  }
};

// The words the library defines that tests lean on: true, false, none and
// the datatype names.
inline void define_library_words() {
  auto define = [](std::string_view name, const Cell& value) {
    Cell* saved = stack::top();
    Cell* v = stack::push(&value);
    Cell* w = stack::push(word::load(name));
    context::set(w, v);
    stack::set_top(saved);
  };
  define("true", fixed_true);
  define("false", fixed_false);
  define("none", fixed_none);
  for (int id = 1; id <= datatype::highest; id++)
    if (datatype::entries[id].name) define(datatype::entries[id].name, datatype::make_cell(id));
}

}  // namespace xeb::test
