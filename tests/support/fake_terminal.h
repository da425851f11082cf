// A fake terminal for tests of terminal code: scripted input chunks, one per
// read, and a record of everything written.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/term_io.h"

namespace xeb::test {

// Replays its chunks one read at a time; once they are used up, waiting
// times out (as a quiet terminal does) and a read finds the input closed.
// An empty chunk is a pause: a wait with a time limit meets it as a
// timeout, a wait without one waits it out.
struct FakeTerminal {
  std::vector<std::string> chunks;
  size_t next = 0;
  std::string written;
  int64_t now = 0;
  int cols = 80;
  std::vector<size_t> marks;  // how much was written when each read came

  // What was written between the reads of chunks i and i + 1 (after the
  // last one: up to now).
  std::string written_after(size_t i) const {
    const size_t from = i < marks.size() ? marks[i] : written.size();
    const size_t to = i + 1 < marks.size() ? marks[i + 1] : written.size();
    return written.substr(from, to - from);
  }

  static FakeTerminal& of(void* s) { return *static_cast<FakeTerminal*>(s); }
  platform::TermIO io() {
    platform::TermIO t;
    t.self = this;
    t.read = [](void* s, void* buf, size_t room) -> long {
      FakeTerminal& f = of(s);
      f.marks.push_back(f.written.size());
      if (f.next >= f.chunks.size()) return 0;
      std::string& c = f.chunks[f.next];
      const size_t n = std::min(room, c.size());
      std::copy_n(c.data(), n, static_cast<char*>(buf));
      c.erase(0, n);
      if (c.empty()) f.next++;
      return static_cast<long>(n);
    };
    t.write = [](void* s, const void* d, size_t n) {
      of(s).written.append(static_cast<const char*>(d), n);
      return true;
    };
    t.wait = [](void* s, int timeout_ms) {
      FakeTerminal& f = of(s);
      while (f.next < f.chunks.size() && f.chunks[f.next].empty()) {
        f.next++;
        if (timeout_ms >= 0) {
          f.now += timeout_ms;
          return platform::Ready::timeout;
        }
      }
      if (f.next < f.chunks.size()) return platform::Ready::input;
      if (timeout_ms < 0) return platform::Ready::input;  // the read then finds the end
      f.now += timeout_ms;
      return platform::Ready::timeout;
    };
    t.size = [](void* s, int& c, int& r) {
      c = of(s).cols;
      r = 24;
      return true;
    };
    t.clock_ms = [](void* s) { return of(s).now; };
    return t;
  }
};

}  // namespace xeb::test
