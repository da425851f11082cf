// Files and directories over POSIX.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace xeb::platform::files {

namespace {

// Closes on every path out.
struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// Reads until count bytes or the end; -1 on error.
int64_t read_fully(int fd, char* dst, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd, dst + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

// Answers how many bytes went: all of them unless the write failed.
size_t write_fully(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// A path holding a NUL names no file: the host would read only the part
// before it, and so reach another file.
bool bad(const std::string& path) { return path.find('\0') != std::string::npos; }

// A file whose size is unknown until read: read to the end, then cut. A
// device without an end (/dev/zero) is read only as far as the part asked
// for. Apart from read so that its 64 KB buffer is not on the stack of
// every read: start-up reads files, and each new page of stack it reaches
// costs a page fault.
[[gnu::noinline]] std::optional<std::string> read_unsized(int fd, int64_t part, int64_t seek) {
  std::string out;
  const int64_t enough = part >= 0 ? seek + part : INT64_MAX;
  char chunk[65536];
  while (static_cast<int64_t>(out.size()) < enough) {
    const int64_t want = std::min<int64_t>(sizeof chunk, enough - static_cast<int64_t>(out.size()));
    int64_t n = read_fully(fd, chunk, want);
    if (n < 0) return std::nullopt;
    out.append(chunk, static_cast<size_t>(n));
    if (n < want) break;
  }
  if (seek >= static_cast<int64_t>(out.size())) return std::string();
  out.erase(0, static_cast<size_t>(seek));
  if (part >= 0 && part < static_cast<int64_t>(out.size())) out.resize(static_cast<size_t>(part));
  return out;
}

}  // namespace

std::optional<Status> status(const std::string& path) {
  struct stat st;
  if (bad(path) || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  Kind k = S_ISDIR(st.st_mode) ? Kind::dir : S_ISREG(st.st_mode) ? Kind::file : Kind::other;
  return Status{k, static_cast<int64_t>(st.st_size), static_cast<int64_t>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec};
}

std::optional<std::string> read(const std::string& path, int64_t part, int64_t seek) {
  if (bad(path)) return std::nullopt;
  Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (f.fd < 0) return std::nullopt;
  struct stat st;
  if (fstat(f.fd, &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  if (seek < 0) seek = 0;
  if (st.st_size == 0) return read_unsized(f.fd, part, seek);
  std::string out;
  int64_t size = st.st_size;
  if (seek >= size) return std::string();
  size -= seek;
  if (part >= 0 && part < size) size = part;
  if (seek > 0 && ::lseek(f.fd, seek, SEEK_SET) < 0) return std::nullopt;
  out.resize(static_cast<size_t>(size));
  int64_t n = read_fully(f.fd, out.data(), size);
  if (n < 0) return std::nullopt;
  out.resize(static_cast<size_t>(n));  // the file shrank meanwhile
  return out;
}

bool write(const std::string& path, std::string_view bytes, bool append, int64_t seek) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  if (append) flags |= O_APPEND;
  if (bad(path)) return false;
  Fd f(::open(path.c_str(), flags, 0666));
  if (f.fd < 0) return false;
  if (!append && seek > 0 && ::lseek(f.fd, seek, SEEK_SET) < 0) return false;
  size_t done = write_fully(f.fd, bytes);
  bool ok = done == bytes.size();
  // A whole write replaces the contents: written over the old bytes, then
  // cut to what was written. Opening with O_TRUNC would give the same file,
  // but a file system that sees a file emptied and written again may flush
  // it to disk at close, which costs more than all the rest.
  if (!append && seek < 0) {
    struct stat st;
    if (fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size != static_cast<off_t>(done) &&
        ::ftruncate(f.fd, static_cast<off_t>(done)) != 0)
      ok = false;
  }
  int fd = f.fd;
  f.fd = -1;
  return ::close(fd) == 0 && ok;
}

std::optional<std::vector<Entry>> list_dir(const std::string& path) {
  DIR* d = bad(path) ? nullptr : ::opendir(path.c_str());
  if (!d) return std::nullopt;
  std::vector<Entry> out;
  std::string base = path;
  if (!base.empty() && base.back() != '/') base += '/';
  while (dirent* e = ::readdir(d)) {
    std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    bool dir = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st;
      dir = ::stat((base + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    out.push_back(Entry{std::string(name), dir});
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return out;
}

bool exists(const std::string& path) {
  struct stat st;
  return !bad(path) && ::stat(path.c_str(), &st) == 0;
}

bool readable(const std::string& path) {
  if (bad(path)) return false;
  // Without O_NONBLOCK, opening a FIFO waits for a writer, maybe for ever.
  Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  return f.fd >= 0;
}

bool make_dir(const std::string& path) { return !bad(path) && ::mkdir(path.c_str(), 0777) == 0; }

bool remove(const std::string& path, bool dir) {
  if (bad(path)) return false;
  return (dir ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0;
}

bool rename(const std::string& from, const std::string& to) {
  return !bad(from) && !bad(to) && ::rename(from.c_str(), to.c_str()) == 0;
}

long zone_offset_at(int64_t epoch_seconds) {
  time_t t = static_cast<time_t>(epoch_seconds);
  struct tm local;
  if (!localtime_r(&t, &local)) return 0;
  return local.tm_gmtoff;
}

}  // namespace xeb::platform::files
