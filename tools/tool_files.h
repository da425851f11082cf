// File helpers shared by the build-time tools.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace xeb::tools {

inline bool read_file(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  out = s.str();
  return true;
}

// Writes the file only when its bytes changed, so nothing recompiles or
// relinks after a build that changed nothing it holds.
inline bool write_if_changed(const std::string& path, const std::string& bytes) {
  std::string old;
  if (read_file(path, old) && old == bytes) return true;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
  return static_cast<bool>(f);
}

}  // namespace xeb::tools
