// Speed of the lexer, in MB/s, over a large generated source text: the
// automaton and token loop alone (walk mode), then full loading into values.
// Run by hand: bench_lexer_bench [megabytes].
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "datatypes/init.h"
#include "lexer/lexer.h"
#include "lexer/load.h"
#include "runtime/collector.h"
#include "runtime/stack.h"

using namespace xeb;
using namespace xeb::lexer;

namespace {

// loadable: only literals of the types that load today.
std::string make_source(size_t bytes, bool loadable) {
  static const char* pieces[] = {
      "print-line: func [text [string!] /local n] [\n",
      "    n: length? text either n > 10 [append out copy/part text 10] [out/1: text]\n",
      "    total: total + 1.5 * 3 ; running sum\n",
      "    items: [1 2 3 \"three\" #issue 10:30 $2.50 1.2.3 5x4 <b> %file.txt]\n",
      "    note: {a braced string {nested} with ^} escapes}\n",
      "    date: 5-Jan-2024 url: http://example.org/x email: a@b.org\n",
      "]\n",
  };
  static const char* loadable_pieces[] = {
      pieces[0], pieces[1], pieces[2],
      "    items: [1 2 3 \"three\" #issue 1030 #{0A0B} 1.23 'x <b> %file.txt]\n",
      pieces[4],
      "    date: #\"x\" url: http://example.org/x email: a@b.org\n",
      pieces[6],
  };
  const char** table = loadable ? loadable_pieces : pieces;
  std::string s;
  s.reserve(bytes + 200);
  for (size_t i = 0; s.size() < bytes || i % 7 != 0; ++i) s += table[i % 7];
  return s;
}

size_t tokens = 0;
void count(void*, const State&, const Token&) { ++tokens; }

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  std::string src = make_source(mb << 20, false);
  init();
  std::span<const uint8_t> text(reinterpret_cast<const uint8_t*>(src.data()), src.size());
  for (int pass = 0; pass < 3; ++pass) {
    Options o;
    o.mode = Mode::walk;
    o.on_token = count;
    tokens = 0;
    auto t0 = std::chrono::steady_clock::now();
    Result r = scan(text, o);
    double secs = seconds_since(t0);
    std::printf("scan pass %d: %s, %zu tokens, %.1f MB in %.3f s: %.1f MB/s\n", pass, r.ok ? "ok" : "error",
                tokens, src.size() / 1048576.0, secs, src.size() / 1048576.0 / secs);
  }

  // Full loading, a smaller text: every value is made and collected.
  datatypes::init();
  init_loaders();
  collector::enabled = 1;
  std::string load_src = make_source((mb < 16 ? mb : 16) << 20, true);
  std::span<const uint8_t> load_text(reinterpret_cast<const uint8_t*>(load_src.data()), load_src.size());
  for (int pass = 0; pass < 3; ++pass) {
    stack::init();
    Cell* out = begin_cell(stack::push_new());
    TranscodeOptions o;
    o.quiet = true;
    auto t0 = std::chrono::steady_clock::now();
    Transcoded r = transcode_bytes(load_text, out, o);
    double secs = seconds_since(t0);
    std::printf("load pass %d: %s, %d lines, %.1f MB in %.3f s: %.1f MB/s\n", pass, r.ok ? "ok" : "error", r.lines,
                load_src.size() / 1048576.0, secs, load_src.size() / 1048576.0 / secs);
  }
  return 0;
}
