// deflate_bench: the codec's throughput on one file, as zlib streams, for
// bench/deflate.sh to set beside python3's zlib at level 6.
//   bench_deflate_bench FILE [ROUNDS]
// Prints: size in, size out, compress MB/s, decompress MB/s (best round).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/containers.h"

using namespace xeb::codec;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_deflate_bench FILE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  std::vector<uint8_t> in;
  if (FILE* f = std::fopen(argv[1], "rb")) {
    uint8_t buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) in.insert(in.end(), buf, buf + n);
    std::fclose(f);
  } else {
    std::perror(argv[1]);
    return 2;
  }
  using clock = std::chrono::steady_clock;
  std::vector<uint8_t> packed(zlib_bound(in.size()));
  size_t size = 0;
  double best_c = 1e30, best_d = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = clock::now();
    if (zlib_compress(in, packed, size) != Status::ok) return 1;
    best_c = std::min(best_c, std::chrono::duration<double>(clock::now() - t0).count());
  }
  for (int r = 0; r < rounds; ++r) {
    ByteBuffer out;
    auto t0 = clock::now();
    if (zlib_decompress(std::span<const uint8_t>(packed.data(), size), out, size_t(1) << 34) != Status::ok) return 1;
    best_d = std::min(best_d, std::chrono::duration<double>(clock::now() - t0).count());
    if (out.size() != in.size()) return 1;
  }
  const double mb = double(in.size()) / 1e6;
  std::printf("%zu %zu %.1f %.1f\n", in.size(), size, mb / best_c, mb / best_d);
  return 0;
}
