// libFuzzer target: random rules over random input. The bytes choose the
// input (text, block or binary), the refinements and the rules, each byte a
// token of the dialect (keywords, literals, counts, position words, parens
// that change the input, throw, break or parse again); every parse ends in a
// value or a language error, never a fault, and never hangs (the watchdog of
// fuzz_support.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/robust/fuzz_support.h"

namespace {

constexpr std::string_view kChars[] = {"a", "b", "A", "1", " ", "^\"", "\\", "<", ">", "é", "^/", "."};
constexpr std::string_view kValues[] = {"a", "'b", "1", "2.5", "\"s\"", "#\"c\"", "[x 1]", "(p)", "b/c",
                                        "#{01}", "<t>", "none", "\"\"", "x:", ":x", "[]"};
constexpr std::string_view kRules[] = {
    "any", "some", "opt", "while", "to", "thru", "skip", "end", "none", "fail", "break", "reject", "|", "[", "]",
    "[", "]", "copy x", "set x", "x:", ":x", "insert \"z\"", "insert x #\"q\"", "insert only [w]", "change",
    "change only", "remove", "remove x", "collect", "keep", "keep pick", "collect into o", "collect after o",
    "collect set c", "into", "ahead", "not", "if (n < 3)", "quote", "case t", "2", "0", "1 3", "-1", "\"a\"",
    "#\"b\"", "'a", "integer!", "word!", "string!", "\"\"", "<a>", "#{01}", "r", "a/b", "3.5", "x",
    "(n: n + 1)", "(remove s)", "(insert s 1)", "(throw 1)", "(break)", "(parse s [skip])", "(1 / 0)",
    "(clear s)", "(append s \"x\")", "(append r 'skip)", "keep (n)", "end", "skip", "\"b\"", "#\"a\"",
    "after", "pick", "only", "set", "copy",
};

template <size_t N>
std::string_view pick(const std::string_view (&table)[N], uint8_t b) {
  return table[b % N];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A rule loop that never ends (while without progress, an input that
  // grows each round) is cut short sooner than whole programs are.
  xeb::fuzz::budget = std::chrono::milliseconds(300);
  if (size < 2) return 0;
  uint8_t mode = data[0];
  size_t i = 1;
  std::string input;
  switch (mode % 3) {
    case 0:
      input = "copy \"";
      for (; i < size && data[i] != 0xFF; i++) input += pick(kChars, data[i]);
      input += "\"";
      break;
    case 1:
      input = "copy [";
      for (; i < size && data[i] != 0xFF; i++) (input += pick(kValues, data[i])) += " ";
      input += "]";
      break;
    default: {
      static constexpr char hex[] = "0123456789ABCDEF";
      input = "copy #{";
      for (; i < size && data[i] != 0xFF; i++) (input += hex[data[i] >> 4]) += hex[data[i] & 15];
      input += "}";
    }
  }
  std::string rules;
  int depth = 0;
  for (i++; i < size; i++) {
    std::string_view t = pick(kRules, data[i]);
    if (t == "]") {
      if (depth == 0) continue;
      depth--;
    } else if (t == "[") {
      depth++;
    }
    (rules += t) += " ";
  }
  while (depth-- > 0) rules += "]";
  std::string refs;
  if (mode & 8) refs += "/case";
  if (mode & 16) refs += "/part";
  if (mode & 32) refs += "/trace";
  std::string src = "s: " + input + " n: 0 o: copy [] x: none t: true r: [" + rules +
                    "] cb: func [e m r i s] [n: n + 1 n < 200] catch [parse" + refs + " s r" +
                    (mode & 16 ? std::string(" ") + std::to_string((mode >> 6) + 1) : "") +
                    (mode & 32 ? " :cb" : "") + "]";
  xeb::fuzz::run_source(reinterpret_cast<const uint8_t*>(src.data()), src.size());
  return 0;
}
