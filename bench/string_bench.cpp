// Builds large strings through the text primitives: appending ASCII
// characters, appending after a widening, and appending whole strings.
// Run by hand; prints the time of each phase.
#include <cstdio>

#include "bench/timing.h"
#include "datatypes/init.h"
#include "datatypes/string.h"
#include "runtime/collector.h"
#include "runtime/stack.h"

using namespace xeb;
using bench::seconds;

int main() {
  datatypes::init();
  collector::enabled = 1;
  constexpr int32_t N = 10'000'000;

  Cell* a = string::push_new(16);
  double t1 = seconds([&] {
    for (int32_t i = 0; i < N; i++) string::append_char(a, 'a' + i % 26);
  });
  std::printf("append %d ASCII chars (unit 1):   %.3f s  (%.1f ns/char)\n", N, t1, t1 * 1e9 / N);

  Cell* w = string::push_new(16);
  string::append_char(w, 0x3B1);
  double t2 = seconds([&] {
    for (int32_t i = 0; i < N; i++) string::append_char(w, 0x3B1 + i % 24);
  });
  std::printf("append %d Greek chars (unit 2):   %.3f s  (%.1f ns/char)\n", N, t2, t2 * 1e9 / N);

  Cell* piece = string::push_new(64);
  string::append_ascii(piece, "the quick brown fox jumps over the lazy dog ");
  Cell* c = string::push_new(16);
  constexpr int32_t M = 1'000'000;
  double t3 = seconds([&] {
    for (int32_t i = 0; i < M; i++) string::concatenate(c, piece, -1, 0, true, string::Mode::append);
  });
  std::printf("concatenate %d x 44 chars:         %.3f s  (%.1f ns/piece), %d chars\n", M, t3, t3 * 1e9 / M,
              string::xs_length_q(c));

  Cell* m = string::push_new(16);
  double t4 = seconds([&] {
    Cell* buf = string::push_new(16);
    string::mold(a, buf, 0, 0, 0, nullptr, 0x7FFFFFFF, 0);
    string::append_char(m, string::xs_length_q(buf) > 0 ? 'y' : 'n');
  });
  std::printf("mold the %d-char string:          %.3f s\n", N, t4);
  return 0;
}
