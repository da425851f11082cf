// Platform services over POSIX.
#include "platform/services.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>

#include "platform/console_out.h"
#include "platform/fd_io.h"

namespace xeb::platform {

namespace {

bool valid_env_name(std::string_view name) {
  return !name.empty() && name.find('=') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace

void init() {
  ignore_sigpipe();
  init_console_output();
}

std::string get_current_dir() {
  std::string dir(256, '\0');
  for (;;) {
    if (getcwd(dir.data(), dir.size())) {
      dir.resize(dir.find('\0'));
      return dir;
    }
    if (errno != ERANGE) return {};
    dir.resize(dir.size() * 2);
  }
}

bool set_current_dir(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return false;
  return chdir(std::string(path).c_str()) == 0;
}

bool set_env(std::string_view name, std::optional<std::string_view> value) {
  if (!valid_env_name(name)) return false;
  const std::string n(name);
  if (!value) return unsetenv(n.c_str()) == 0;
  if (value->find('\0') != std::string_view::npos) return false;
  return setenv(n.c_str(), std::string(*value).c_str(), 1) == 0;
}

std::optional<std::string> get_env(std::string_view name) {
  if (!valid_env_name(name)) return std::nullopt;
  const char* v = std::getenv(std::string(name).c_str());
  if (!v) return std::nullopt;
  return std::string(v);
}

std::vector<std::pair<std::string, std::string>> environment() {
  std::vector<std::pair<std::string, std::string>> out;
  for (char** e = environ; e && *e; e++) {
    std::string_view entry(*e);
    // The name ends at the first '=' past its first character.
    size_t eq = entry.find('=', 1);
    if (eq == std::string_view::npos) out.emplace_back(std::string(entry), std::string());
    else out.emplace_back(std::string(entry.substr(0, eq)), std::string(entry.substr(eq + 1)));
  }
  return out;
}

OsInfo os_info() {
  OsInfo info;
  struct utsname u;
  if (uname(&u) == 0) {
    info.system = u.sysname;
    info.release = u.release;
    info.machine = u.machine;
  }
  std::ifstream release("/etc/os-release");
  for (std::string line; std::getline(release, line);) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string v = line.substr(12);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    info.distribution = v;
    break;
  }
  return info;
}

int64_t sleep_millis(double seconds) {
  // NaN and negative times sleep the shortest while; a day is plenty of cap
  // for one call and keeps the conversion defined.
  constexpr double kMaxMs = 86400.0 * 1000 * 365;
  double ms = seconds * 1000.0;
  if (!(ms >= 1.0)) return 1;
  if (ms > kMaxMs) ms = kMaxMs;
  return static_cast<int64_t>(ms);
}

void sleep(double seconds) {
  const int64_t ms = sleep_millis(seconds);
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

double time_of_day(int64_t epoch_seconds, long nanoseconds, bool precise) {
  int64_t s = epoch_seconds % 86400;
  if (s < 0) s += 86400;
  double t = static_cast<double>(s);
  if (precise) t += static_cast<double>(nanoseconds / 100 * 100) / 1e9;
  return t;
}

double get_time(bool precise) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return time_of_day(ts.tv_sec, ts.tv_nsec, precise);
}

uint32_t zone_bits(int offset_minutes) {
  // The sign covers the whole offset, so a zone less than an hour west of UTC
  // keeps it too.
  const bool west = offset_minutes < 0;
  const int z = west ? -offset_minutes : offset_minutes;
  const uint32_t hours = static_cast<uint32_t>(z / 60) & 0x0F;
  const uint32_t quarters = static_cast<uint32_t>((z % 60) / 15) & 0x03;
  return (west ? 0x40u : 0u) | hours << 2 | quarters;
}

uint32_t get_date(bool utc) {
  const time_t now = std::time(nullptr);
  tm t{};
  if (utc) {
    gmtime_r(&now, &t);
    return pack_date(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, 0);
  }
  localtime_r(&now, &t);
  return pack_date(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                   zone_bits(static_cast<int>(t.tm_gmtoff / 60)));
}

}  // namespace xeb::platform
