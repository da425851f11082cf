// Platform services: the few system calls the runtime and the natives need
// beyond memory and output: start-up, the current directory, environment
// variables, sleeping, the time of day and today's date.
//
// Text is UTF-8 here, as the system hands it over; the string layer converts.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xeb::platform {

constexpr uint32_t PAGE_SIZE = 4096;  // the granularity of frame sizes

// alignment is a power of two.
constexpr uint64_t align_up(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

// Once, early in runtime init: ignores SIGPIPE (a closed reader becomes a
// failed write) and decides how console output is written.
void init();

std::string get_current_dir();  // empty when the system cannot tell
bool set_current_dir(std::string_view path);

// No value removes the variable. A name that is empty or holds '=' or NUL
// is refused.
bool set_env(std::string_view name, std::optional<std::string_view> value);
std::optional<std::string> get_env(std::string_view name);
// Every variable of the process, as name and value.
std::vector<std::pair<std::string, std::string>> environment();

// What the system says of itself: the kernel's name, release and machine
// (uname), and the distribution's PRETTY_NAME of /etc/os-release (empty when
// absent).
struct OsInfo {
  std::string system, release, machine, distribution;
};
OsInfo os_info();

void sleep(double seconds);
int64_t sleep_millis(double seconds);  // whole milliseconds, at least 1

// Seconds since midnight UTC; with precise, the fraction of the second at
// 100-nanosecond resolution.
double get_time(bool precise);
double time_of_day(int64_t epoch_seconds, long nanoseconds, bool precise);

// Today's date packed as date! keeps it: year << 17 | month << 12 | day << 7
// | zone. Local date and zone, or with utc the UTC date and zone 0.
uint32_t get_date(bool utc);
uint32_t zone_bits(int offset_minutes);  // bit 6 west of UTC, bits 2-5 hours, 0-1 quarters
constexpr uint32_t pack_date(int year, int month, int day, uint32_t zone) {
  return static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month) << 12 |
         static_cast<uint32_t>(day) << 7 | zone;
}

}  // namespace xeb::platform
