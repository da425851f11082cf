// Oracle driver: answers this module's texts and readings line by line, for
// oracle.py to check against python3.
//   floattext_oracle format   in: hex bits of a double per line
//                             out: mold TAB form TAB form-without-pretty TAB six-digit text
//   floattext_oracle read     in: "adjust text" per line
//                             out: hex bits of the double read, and the unread count
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "runtime/floattext.h"

using namespace xeb;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: floattext_oracle format|read\n");
    return 2;
  }
  bool format = std::strcmp(argv[1], "format") == 0;
  std::ios::sync_with_stdio(false);
  std::string line, out;
  char buf[dtoa::text_max];
  while (std::getline(std::cin, line)) {
    if (format) {
      uint64_t b = std::strtoull(line.c_str(), nullptr, 16);
      double v;
      std::memcpy(&v, &b, 8);
      out.append(buf, dtoa::form_float(v, 0, true, buf));
      out += '\t';
      out.append(buf, dtoa::form_tidy(v, dtoa::FormKind::float64, true, buf));
      out += '\t';
      out.append(buf, dtoa::form_tidy(v, dtoa::FormKind::float64, false, buf));
      out += '\t';
      out.append(buf, dtoa::form_float(v, 6, false, buf));
    } else {
      std::size_t sp = line.find(' ');
      int adjust = std::atoi(line.substr(0, sp).c_str());
      std::size_t unread = 0;
      double v = dtoa::strtod(std::string_view(line).substr(sp + 1), adjust, &unread);
      uint64_t b;
      std::memcpy(&b, &v, 8);
      char hex[40];
      std::snprintf(hex, sizeof hex, "%016" PRIx64 " %zu", b, unread);
      out += hex;
    }
    out += '\n';
    if (out.size() > (1 << 20)) {
      std::cout << out;
      out.clear();
    }
  }
  std::cout << out;
  return 0;
}
