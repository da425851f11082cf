// The sources written in the language, embedded at build time into the
// top-level start-up (tools/embed.py from library/manifest.txt), in the order
// start-up evaluates them.
#pragma once
#include <span>
#include <string_view>

namespace xeb::library {

struct Source {
  std::string_view name;  // path from the repository root, for messages
  std::string_view text;  // UTF-8
};

std::span<const Source> sources();

}  // namespace xeb::library
