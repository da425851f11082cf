"""deflate.py FILE [ROUNDS]: python3's zlib at level 6 on one file, the twin
of bench_deflate_bench. Prints: size in, size out, compress MB/s,
decompress MB/s (best round)."""
import sys
import time
import zlib

data = open(sys.argv[1], 'rb').read()
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
best_c = best_d = 1e30
for _ in range(rounds):
    t0 = time.perf_counter()
    packed = zlib.compress(data, 6)
    best_c = min(best_c, time.perf_counter() - t0)
for _ in range(rounds):
    t0 = time.perf_counter()
    out = zlib.decompress(packed)
    best_d = min(best_d, time.perf_counter() - t0)
assert out == data
mb = len(data) / 1e6
print(f'{len(data)} {len(packed)} {mb / best_c:.1f} {mb / best_d:.1f}')
