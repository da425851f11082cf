// The file! side of system I/O: the host path of a file! value, reading and
// writing whole files or parts as the actions ask, directory listings, and
// the questions of size?, exists? and query.
#pragma once
#include <string>

#include "runtime/cell.h"

namespace xeb::io {

// The file! actions of this layer into file!'s slots; once, after runtime
// init.
void init();

std::string host_path(const Cell* file);  // UTF-8, as the host takes it
// A host name's bytes (a file name, an argument, an environment variable):
// what is not UTF-8 comes as one escape character per byte, which host_text
// and host_path turn back into that byte.
void append_host_name(Cell* s, std::string_view name);
std::string host_text(const Cell* s);
// A directory path by its spelling: ends in "/", or is "." or ".." or ends in
// "/." or "/..".
bool dir_path_q(const Cell* file);
// The bytes write puts in a file for the value: a string's UTF-8 (at most part
// characters, part < 0 all), a binary's bytes, else the molded text.
std::string value_bytes(Cell* value, int32_t part);
// A block of the text's lines, pushed: cut at every LF, a CR before it
// dropped, no empty last line.
Cell* push_lines(const std::string& bytes);
// A date! of the modification time; none when missing, or a directory path
// that is not a directory.
Cell query_date(const Cell* file);

}  // namespace xeb::io
