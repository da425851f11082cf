// Scan speed of the lexer's automaton and token loop, in MB/s, over a large
// generated source text. Run by hand: bench_lexer_bench [megabytes].
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lexer/lexer.h"

using namespace xeb::lexer;

namespace {

std::string make_source(size_t bytes) {
  static const char* pieces[] = {
      "print-line: func [text [string!] /local n] [\n",
      "    n: length? text either n > 10 [append out copy/part text 10] [out/1: text]\n",
      "    total: total + 1.5 * 3 ; running sum\n",
      "    items: [1 2 3 \"three\" #issue 10:30 $2.50 1.2.3 5x4 <b> %file.txt]\n",
      "    note: {a braced string {nested} with ^} escapes}\n",
      "    date: 5-Jan-2024 url: http://example.org/x email: a@b.org\n",
      "]\n",
  };
  std::string s;
  s.reserve(bytes + 200);
  for (size_t i = 0; s.size() < bytes || i % 7 != 0; ++i) s += pieces[i % 7];
  return s;
}

size_t tokens = 0;
void count(void*, const State&, const Token&) { ++tokens; }

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  std::string src = make_source(mb << 20);
  init();
  std::span<const uint8_t> text(reinterpret_cast<const uint8_t*>(src.data()), src.size());
  for (int pass = 0; pass < 3; ++pass) {
    Options o;
    o.mode = Mode::walk;
    o.on_token = count;
    tokens = 0;
    auto t0 = std::chrono::steady_clock::now();
    Result r = scan(text, o);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("pass %d: %s, %zu tokens, %.1f MB in %.3f s: %.1f MB/s\n", pass, r.ok ? "ok" : "error",
                tokens, src.size() / 1048576.0, secs, src.size() / 1048576.0 / secs);
  }
  return 0;
}
