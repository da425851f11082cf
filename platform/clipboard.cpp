// The clipboard through wl-copy/wl-paste, xclip, or a store in the process.
#include "platform/clipboard.h"

#include <unistd.h>

#include <cstdlib>
#include <map>

#include "platform/process.h"

namespace xeb::platform::clipboard {

namespace {

constexpr int TIMEOUT_MS = 3000;
constexpr std::string_view TEXT = "text/plain;charset=utf-8";

std::optional<Backend> chosen;
std::vector<std::pair<std::string, std::string>> store;  // type, bytes; in offer order

bool on_path(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    std::string file(dir.empty() ? std::string_view(".") : dir);  // an empty entry is the current directory
    file += '/';
    file += program;
    if (access(file.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

Backend detect() {
  const char* forced = std::getenv("XEB_CLIPBOARD");
  std::string_view f = forced ? forced : "";
  if (f == "store") return Backend::store;
  if (f == "xclip") return Backend::xclip;
  if (f == "wayland") return Backend::wayland;
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  if (wl && *wl && on_path("wl-copy") && on_path("wl-paste")) return Backend::wayland;
  const char* x = std::getenv("DISPLAY");
  if (x && *x && on_path("xclip")) return Backend::xclip;
  return Backend::store;
}

// Runs a clipboard program: the input piped in, the output captured.
// Answers the output, none when it failed, timed out or could not start.
std::optional<std::string> run(std::vector<std::string> argv, std::string input, bool feed) {
  process::Request r;
  r.argv = std::move(argv);
  r.in.route = feed ? process::Route::pipe : process::Route::null;
  r.in.data = std::move(input);
  r.out.route = feed ? process::Route::null : process::Route::pipe;
  r.err.route = process::Route::null;
  r.timeout_ms = TIMEOUT_MS;
  process::Outcome o = process::run(r);
  if (o.failure != process::Failure::none || o.timed_out || o.status != 0) return std::nullopt;
  return std::move(r.out.data);
}

// X11 names the text type UTF8_STRING.
std::string x_type(std::string_view type) { return type == TEXT ? "UTF8_STRING" : std::string(type); }

}  // namespace

Backend backend() {
  if (!chosen) chosen = detect();
  return *chosen;
}

void force(Backend b) { chosen = b; }

std::vector<std::string> types(bool& reachable) {
  reachable = true;
  std::vector<std::string> out;
  std::optional<std::string> listed;
  switch (backend()) {
    case Backend::store:
      for (auto& [t, d] : store) out.push_back(t);
      return out;
    case Backend::xclip:
      listed = run({"xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"}, "", false);
      break;
    case Backend::wayland:
      listed = run({"wl-paste", "--list-types"}, "", false);
      // An empty clipboard is a failure to wl-paste, not an unreachable one.
      if (!listed) return out;
      break;
  }
  // xclip fails when no program owns the clipboard: nothing is on offer.
  if (!listed) return out;
  std::string_view rest(*listed);
  while (!rest.empty()) {
    size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) out.emplace_back(line == "UTF8_STRING" ? TEXT : line);
    if (nl == std::string_view::npos) break;
    rest.remove_prefix(nl + 1);
  }
  return out;
}

std::optional<std::string> get(std::string_view type) {
  switch (backend()) {
    case Backend::store:
      for (auto& [t, d] : store)
        if (t == type) return d;
      return std::nullopt;
    case Backend::xclip:
      return run({"xclip", "-selection", "clipboard", "-o", "-t", x_type(type)}, "", false);
    case Backend::wayland:
      return run({"wl-paste", "--no-newline", "--type", std::string(type)}, "", false);
  }
  return std::nullopt;
}

bool set(std::string_view type, std::string data) {
  switch (backend()) {
    case Backend::store:
      store.assign(1, {std::string(type), std::move(data)});
      return true;
    case Backend::xclip: {
      std::string sent = data;
      if (!run({"xclip", "-selection", "clipboard", "-i", "-t", x_type(type)}, std::move(data), true)) return false;
      // xclip serves the data from a child it leaves behind, which may not
      // own the clipboard yet when the parent ends: wait until it does.
      for (int i = 0; i < 200; i++) {
        if (get(type) == sent) return true;
        usleep(5000);
      }
      return false;
    }
    case Backend::wayland:
      return run({"wl-copy", "--type", std::string(type)}, std::move(data), true).has_value();
  }
  return false;
}

bool clear() {
  switch (backend()) {
    case Backend::store:
      store.clear();
      return true;
    case Backend::xclip:
      // xclip cannot give the clipboard up: it offers empty text instead.
      return set(TEXT, "");
    case Backend::wayland:
      return run({"wl-copy", "--clear"}, "", false).has_value();
  }
  return false;
}

}  // namespace xeb::platform::clipboard
