// The system clipboard as typed byte strings (MIME types): wl-copy and
// wl-paste under Wayland, xclip under X11, each a child process bounded in
// time so that an owner that never answers cannot stall the console; else a
// store inside this process. The choice is made at the first use from the
// environment; XEB_CLIPBOARD=store, xclip or wayland forces one.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xeb::platform::clipboard {

enum class Backend { store, xclip, wayland };

Backend backend();
void force(Backend b);  // for tests

// The types on offer; empty when nothing is, or the clipboard cannot be
// reached (unreachable is false).
std::vector<std::string> types(bool& reachable);
// The bytes offered under the type; none when absent or unreachable.
std::optional<std::string> get(std::string_view type);
// Offers the bytes under the type, replacing what was there; false when the
// clipboard could not take them.
bool set(std::string_view type, std::string data);
bool clear();

}  // namespace xeb::platform::clipboard
