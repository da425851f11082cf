// Child processes over posix_spawn and poll.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/fd_io.h"

extern char** environ;

namespace xeb::platform::process {

namespace {

std::vector<pid_t> unwaited;  // started without waiting, not yet reaped

void reap_finished() {
  for (size_t i = 0; i < unwaited.size();) {
    int st;
    pid_t r = waitpid(unwaited[i], &st, WNOHANG);
    if (r == 0) {
      i++;
      continue;
    }
    unwaited[i] = unwaited.back();
    unwaited.pop_back();
  }
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Every descriptor this start opened; closed on every path out.
struct Fds {
  int child[3] = {-1, -1, -1};  // what the child gets as 0, 1, 2
  int parent[3] = {-1, -1, -1}; // our ends of the pipes
  ~Fds() {
    for (int& f : child) close_fd(f);
    for (int& f : parent) close_fd(f);
  }
};

bool open_stream(const Stream& s, int index, Fds& fds) {
  bool input = index == 0;
  switch (s.route) {
    case Route::inherit: return true;
    case Route::null:
      fds.child[index] = ::open("/dev/null", (input ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
      return fds.child[index] >= 0;
    case Route::file:
      // A NUL inside the name would cut it short and open another file.
      if (s.path.find('\0') != std::string::npos) return false;
      fds.child[index] = input ? ::open(s.path.c_str(), O_RDONLY | O_CLOEXEC)
                               : ::open(s.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
      return fds.child[index] >= 0;
    case Route::pipe: {
      int p[2];
      if (pipe2(p, O_CLOEXEC) != 0) return false;
      fds.child[index] = input ? p[0] : p[1];
      fds.parent[index] = input ? p[1] : p[0];
      return fcntl(fds.parent[index], F_SETFL, O_NONBLOCK) == 0;
    }
  }
  return false;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left before the deadline (-1: none), at least 0.
int left_ms(const Request& r, Clock::time_point start) {
  if (r.timeout_ms < 0) return -1;
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  return spent >= r.timeout_ms ? 0 : static_cast<int>(r.timeout_ms - spent);
}

// Writes the input and reads both outputs until every pipe is done, or the
// deadline passes or an output passes its limit (answers false then, with
// too_long set for the latter).
bool serve(Request& r, Fds& fds, Clock::time_point start, bool& too_long) {
  size_t sent = 0;
  if (fds.parent[0] >= 0 && r.in.data.empty()) close_fd(fds.parent[0]);
  Stream* outs[3] = {nullptr, &r.out, &r.err};
  char chunk[65536];
  for (;;) {
    pollfd p[3];
    int map[3];
    nfds_t n = 0;
    for (int i = 0; i < 3; i++) {
      if (fds.parent[i] < 0) continue;
      p[n] = pollfd{fds.parent[i], static_cast<short>(i == 0 ? POLLOUT : POLLIN), 0};
      map[n++] = i;
    }
    if (n == 0) return true;
    int wait = left_ms(r, start);
    if (wait == 0) return false;
    int ready = poll(p, n, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return true;
    }
    for (nfds_t k = 0; k < n; k++) {
      int i = map[k];
      if (!p[k].revents) continue;
      if (i == 0) {
        ssize_t w = ::write(fds.parent[0], r.in.data.data() + sent, r.in.data.size() - sent);
        if (w > 0) sent += static_cast<size_t>(w);
        // A child that stops reading (closed pipe) gets no more.
        if ((w < 0 && errno != EAGAIN && errno != EINTR) || sent == r.in.data.size()) close_fd(fds.parent[0]);
        continue;
      }
      ssize_t got = ::read(fds.parent[i], chunk, sizeof chunk);
      if (got > 0 && static_cast<size_t>(got) > r.max_output - outs[i]->data.size()) {
        too_long = true;
        return false;
      }
      if (got > 0) outs[i]->data.append(chunk, static_cast<size_t>(got));
      else if (got == 0 || (errno != EAGAIN && errno != EINTR)) close_fd(fds.parent[i]);
    }
  }
}

}  // namespace

std::vector<std::string> split_command(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false, single = false;
  for (size_t i = 0; i < line.size(); i++) {
    char c = line[i];
    if (single) {
      if (c == '\'') single = false;
      else word += c;
    } else if (c == '\'') {
      single = in_word = true;
    } else if (quoted) {
      if (c == '"') quoted = false;
      else if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) word += line[++i];
      else word += c;
    } else if (c == '"') {
      quoted = in_word = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

Outcome run(Request& r) {
  // A child that exits without reading its input must fail our write, not
  // end this process.
  ignore_sigpipe();
  reap_finished();
  Outcome o;
  if (r.argv.empty()) {
    o.failure = Failure::not_found;
    return o;
  }
  Fds fds;
  const Stream* streams[3] = {&r.in, &r.out, &r.err};
  for (int i = 0; i < 3; i++) {
    if (!open_stream(*streams[i], i, fds)) {
      o.failure = Failure::cannot_open;
      return o;
    }
  }
  bool piped = r.in.route == Route::pipe || r.out.route == Route::pipe || r.err.route == Route::pipe;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int i = 0; i < 3; i++)
    if (fds.child[i] >= 0) posix_spawn_file_actions_adddup2(&actions, fds.child[i], i);
  // The child starts with default signal handling and an empty mask (we
  // ignore SIGPIPE; a child must not inherit that).
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  std::vector<char*> argv;
  for (std::string& a : r.argv) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int e = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (e != 0) {
    o.failure = e == ENOENT ? Failure::not_found : Failure::cannot_start;
    return o;
  }
  for (int& f : fds.child) close_fd(f);  // the child holds them now
  if (!r.wait && !piped) {
    unwaited.push_back(pid);
    o.status = pid;
    return o;
  }
  Clock::time_point start = Clock::now();
  int st = 0;
  bool too_long = false;
  if (r.timeout_ms >= 0) {
    bool done = serve(r, fds, start, too_long);
    while (done) {
      pid_t w = waitpid(pid, &st, WNOHANG);
      if (w == pid || (w < 0 && errno != EINTR)) break;
      if (left_ms(r, start) == 0) done = false;
      else usleep(2000);
    }
    if (!done) {
      ::kill(pid, SIGKILL);
      while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {}
      o.timed_out = !too_long;
    }
  } else {
    if (!serve(r, fds, start, too_long)) ::kill(pid, SIGKILL);
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {}
  }
  o.too_long = too_long;
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
  return o;
}

}  // namespace xeb::platform::process
