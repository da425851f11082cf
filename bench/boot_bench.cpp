// The library's values made two ways at start-up: the boot image decoded (what
// the program does) against the sources lexed from their text. Each trial is
// a fresh child process, so every symbol is interned anew as in a real start;
// the child times the step alone and hands the figure back through a pipe.
//
// Usage: bench_boot_bench ROOT [TRIALS]   (ROOT holds start/manifest.txt)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "codec/xebbin.h"
#include "datatypes/block.h"
#include "datatypes/init.h"
#include "lexer/load.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "runtime/stack.h"
#include "start/start.h"

using namespace xeb;

namespace {

std::vector<std::string> sources(const std::string& root) {
  std::vector<std::string> texts;
  std::ifstream manifest(root + "/start/manifest.txt");
  std::string line;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::ifstream f(root + "/" + line, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    texts.push_back(s.str());
  }
  return texts;
}

void lex_all(const std::vector<std::string>& texts) {
  collector::NoCollection quiet;
  Cell* root = stack::push_new();
  *root = Cell{T_BLOCK, 0, datatypes::root(), 0};
  for (const std::string& text : texts) {
    Cell* code = stack::push_new();
    set_unset(code);
    lexer::TranscodeOptions o;
    o.quiet = true;
    lexer::transcode_bytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, code, o);
    block::xs_append(root, code);
    stack::pop(1);
  }
  stack::pop(1);
}

// Seconds of one step in a fresh child.
double trial(bool image, const std::vector<std::string>& texts) {
  int fd[2];
  if (pipe(fd) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    start::init();
    double s = image ? bench::seconds([] { xebbin::boot_load(library::boot_image()); })
                     : bench::seconds([&] { lex_all(texts); });
    ssize_t n = write(fd[1], &s, sizeof s);
    _exit(n == sizeof s ? 0 : 1);
  }
  close(fd[1]);
  double s = -1;
  if (read(fd[0], &s, sizeof s) != sizeof s) s = -1;
  close(fd[0]);
  int status;
  waitpid(pid, &status, 0);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_boot_bench ROOT [TRIALS]\n");
    return 2;
  }
  std::vector<std::string> texts = sources(argv[1]);
  int trials = argc > 2 ? std::atoi(argv[2]) : 100;
  size_t bytes = 0;
  for (const auto& t : texts) bytes += t.size();
  std::printf("library           %zu sources, %zu bytes of text, boot image %zu bytes\n", texts.size(), bytes,
              library::boot_image().size());
  for (bool image : {false, true}) {
    std::vector<double> s;
    for (int i = 0; i < trials; i++) s.push_back(trial(image, texts));
    std::sort(s.begin(), s.end());
    std::printf("%-17s best %.3f ms, median %.3f ms\n", image ? "image decoded" : "sources lexed", s.front() * 1e3,
                s[s.size() / 2] * 1e3);
  }
  return 0;
}
