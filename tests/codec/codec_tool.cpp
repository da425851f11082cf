// codec_tool: compresses or decompresses a file with the codec, for the
// python3 oracle and for runs by hand.
//   codec_tool compress|decompress deflate|zlib|gzip IN OUT
//   codec_tool batch     (lines "compress|decompress METHOD IN OUT" on stdin)
// Exit status 0 on success, 1 when the codec refuses the data (the status is
// printed), 2 on a usage or file error. A batch prints "ok" or "status N" per
// line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/containers.h"
#include "codec/deflate.h"

using namespace xeb::codec;

namespace {

bool read_file(const char* path, std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return true;
}

bool write_file(const char* path, const uint8_t* p, size_t n) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(p, 1, n, f) == n;
  return std::fclose(f) == 0 && ok;
}

// One operation; -1 on a file error, else the codec's status.
int one(const std::string& op, const std::string& method, const char* in_path, const char* out_path) {
  std::vector<uint8_t> in;
  if (!read_file(in_path, in)) return -1;
  Status st;
  if (op == "compress") {
    std::vector<uint8_t> out(gzip_bound(in.size()));
    size_t size = 0;
    if (method == "deflate") st = deflate(in, out, size);
    else if (method == "zlib") st = zlib_compress(in, out, size);
    else if (method == "gzip") st = gzip_compress(in, out, size);
    else return -1;
    if (st == Status::ok && !write_file(out_path, out.data(), size)) return -1;
  } else if (op == "decompress") {
    ByteBuffer out;
    const size_t limit = size_t(1) << 34;
    if (method == "deflate") st = inflate(in, out, limit);
    else if (method == "zlib") st = zlib_decompress(in, out, limit);
    else if (method == "gzip") st = gzip_decompress(in, out, limit);
    else return -1;
    if (st == Status::ok && !write_file(out_path, out.data(), out.size())) return -1;
  } else {
    return -1;
  }
  return int(st);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "batch") == 0) {
    char op[32], method[32], in[4096], out[4096];
    while (std::scanf("%31s %31s %4095s %4095s", op, method, in, out) == 4) {
      int st = one(op, method, in, out);
      if (st < 0) return 2;
      if (st == 0) std::printf("ok\n");
      else std::printf("status %d\n", st);
      std::fflush(stdout);
    }
    return 0;
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: codec_tool compress|decompress deflate|zlib|gzip IN OUT | batch\n");
    return 2;
  }
  int st = one(argv[1], argv[2], argv[3], argv[4]);
  if (st < 0) return 2;
  if (st != 0) {
    std::printf("status %d\n", st);
    return 1;
  }
  return 0;
}
