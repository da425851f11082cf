// Files and directories over POSIX: whole or partial reads, writes that
// create, truncate, append or patch, directory listing, and the small
// questions (kind, size, modification time). Paths are host paths in UTF-8;
// nothing here raises: failures answer nullopt or false and leave the files
// as they were.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xeb::platform::files {

enum class Kind { file, dir, other };

struct Status {
  Kind kind;
  int64_t size;
  int64_t mtime_seconds;  // since the epoch, UTC
  long mtime_nanos;
};
std::optional<Status> status(const std::string& path);

// Up to part bytes (part < 0: all) from offset seek (seek < 0: 0). A file
// whose size reads as 0 (a pipe, a device, a file of /proc) is read once to
// its end, never seeked back. nullopt when it cannot be opened or read (a
// directory cannot).
std::optional<std::string> read(const std::string& path, int64_t part, int64_t seek);

// Create or truncate; with append, add at the end; with seek >= 0, keep the
// contents and write from that offset. The file is created when missing.
bool write(const std::string& path, std::string_view bytes, bool append, int64_t seek);

struct Entry {
  std::string name;
  bool dir;
};
// The entries but "." and "..", sorted by name; nullopt when it cannot be read.
std::optional<std::vector<Entry>> list_dir(const std::string& path);

bool exists(const std::string& path);
bool readable(const std::string& path);  // can be opened for reading
bool make_dir(const std::string& path);
bool remove(const std::string& path, bool dir);  // rmdir for a directory path
bool rename(const std::string& from, const std::string& to);

// The local zone's offset from UTC at the instant, in seconds.
long zone_offset_at(int64_t epoch_seconds);

}  // namespace xeb::platform::files
