// Platform services: sleep lengths, packed dates and zones, time of day,
// environment and current directory, whole writes to a closed pipe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/fd_io.h"
#include "platform/services.h"

namespace xeb::test {
namespace {

namespace pf = platform;

TEST(Services, SleepLengthsInWholeMilliseconds) {
  const struct { double s; int64_t ms; } cases[] = {
      {0.0004, 1}, {2.5, 2500}, {0.0199, 19}, {0, 1}, {-3, 1}, {NAN, 1},
  };
  for (auto c : cases) EXPECT_EQ(pf::sleep_millis(c.s), c.ms) << c.s;
}

TEST(Services, ZoneBits) {
  const struct { int minutes; uint32_t bits; } cases[] = {
      {330, 0x16}, {-210, 0x4E}, {0, 0}, {345, 0x17}, {-600, 0x68},
      {-30, 0x42},   // under an hour west keeps its sign
      {-225, 0x4F},  // -3:45 is three hours and three quarters west
  };
  for (auto c : cases) EXPECT_EQ(pf::zone_bits(c.minutes), c.bits) << c.minutes;
}

TEST(Services, PackedDate) {
  EXPECT_EQ(pf::pack_date(2024, 2, 29, 0), (2024u << 17) | (2u << 12) | (29u << 7));
  auto utc_today = [] {
    const time_t now = std::time(nullptr);
    tm t{};
    gmtime_r(&now, &t);
    return pf::pack_date(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, 0);
  };
  const uint32_t before = utc_today();
  const uint32_t d = pf::get_date(true);
  EXPECT_TRUE(d == before || d == utc_today());  // midnight may pass in between
}

TEST(Services, LocalDateCarriesTheZone) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  const struct { const char* tz; uint32_t bits; } cases[] = {
      {"IST-5:30", 0x16}, {"NST3:30", 0x4E}, {"UTC0", 0},
  };
  for (auto c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(pf::get_date(false) & 0x7F, c.bits) << c.tz;
  }
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

TEST(Services, TimeOfDay) {
  const int64_t t = 19000 * int64_t{86400} + 49510;  // 13:45:10 UTC on some day
  EXPECT_EQ(pf::time_of_day(t, 123456789, false), 49510.0);
  EXPECT_DOUBLE_EQ(pf::time_of_day(t, 123456789, true), 49510.1234567);
  const double now = pf::get_time(true);
  EXPECT_GE(now, 0.0);
  EXPECT_LT(now, 86400.0);
}

TEST(Services, Environment) {
  EXPECT_TRUE(pf::set_env("XEB_TEST_VAR", "caf\xC3\xA9"));
  EXPECT_EQ(pf::get_env("XEB_TEST_VAR"), "caf\xC3\xA9");
  EXPECT_TRUE(pf::set_env("XEB_TEST_VAR", ""));
  EXPECT_EQ(pf::get_env("XEB_TEST_VAR"), "");
  EXPECT_TRUE(pf::set_env("XEB_TEST_VAR", std::nullopt));
  EXPECT_EQ(pf::get_env("XEB_TEST_VAR"), std::nullopt);
  EXPECT_FALSE(pf::set_env("", "x"));
  EXPECT_FALSE(pf::set_env("A=B", "x"));
  EXPECT_EQ(pf::get_env("PATH=x"), std::nullopt);
}

TEST(Services, CurrentDirectory) {
  const std::string before = pf::get_current_dir();
  ASSERT_FALSE(before.empty());
  const auto tmp = std::filesystem::canonical(std::filesystem::temp_directory_path());
  EXPECT_TRUE(pf::set_current_dir(tmp.string()));
  EXPECT_EQ(pf::get_current_dir(), tmp.string());
  EXPECT_TRUE(pf::set_current_dir("/"));
  EXPECT_EQ(pf::get_current_dir(), "/");
  EXPECT_FALSE(pf::set_current_dir("/no/such/dir/here"));
  EXPECT_EQ(pf::get_current_dir(), "/");
  EXPECT_TRUE(pf::set_current_dir(before));
}

TEST(Services, WriteToAClosedPipeFailsQuietly) {
  pf::ignore_sigpipe();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  EXPECT_FALSE(pf::write_all(fds[1], "lost"));
  close(fds[1]);
}

}  // namespace
}  // namespace xeb::test
