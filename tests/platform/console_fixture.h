// Console output pointed at a recording console or a recording byte stream.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/console_out.h"
#include "platform/recording_console.h"

namespace xeb::test {

struct RecordingSink {
  std::vector<size_t> writes;
  std::string bytes;
  static void write(void* self, std::span<const std::byte> b) {
    auto& s = *static_cast<RecordingSink*>(self);
    s.writes.push_back(b.size());
    s.bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
  }
  platform::ByteSink sink() { return {this, write}; }
};

class OnConsole : public ::testing::Test {
 protected:
  platform::RecordingConsole con{80, 25};
  void SetUp() override {
    platform::use_console(con.ops());
    platform::set_default_attribute(platform::attr::PLAIN);
  }
  static void show(std::string_view latin1) {
    platform::prin_latin1({reinterpret_cast<const uint8_t*>(latin1.data()), latin1.size()});
  }
};

class Redirected : public ::testing::Test {
 protected:
  RecordingSink out;
  void SetUp() override { platform::use_stream(out.sink()); }
  static void show_bytes(std::string_view latin1, bool line_end) {
    platform::write_text(reinterpret_cast<const std::byte*>(latin1.data()), latin1.size(), 1, line_end);
  }
};

}  // namespace xeb::test
