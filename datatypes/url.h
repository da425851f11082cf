// url! and file!: string-like types molded with percent-encoding, the
// conversion of a file! path to the platform's form, URLs built from blocks
// and joined by path steps. Their I/O slots hand over to the I/O layer.
#pragma once
#include <cstdint>

#include "datatypes/actions.h"
#include "runtime/cell.h"

namespace xeb::url {

enum class Class { url, file };
// Appends the percent-encoded UTF-8 of the text from its head to target.
void encode(const Cell* value, Cell* target, Class cls);
// Appends the percent-decoded text.
void decode(const Cell* value, Cell* target);
bool in_class(int32_t c, Class cls);

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, const PathStep& step);
Cell* open(Cell* port, int new_, int read, int write, int seek, Cell* allow);
Cell* read(Cell* source, Cell* part, Cell* seek, int binary, int lines, int info, Cell* as);
Cell* write(Cell* destination, Cell* data, int binary, int lines, int info, int append, Cell* part, Cell* seek,
            Cell* allow, Cell* as);
void init();

}  // namespace xeb::url

namespace xeb::file {

// Appends the platform (POSIX) form of the path; with prefix a relative
// path gets the current directory in front.
void to_local_path(const Cell* file, Cell* target, bool prefix);
// A new string! on the data stack: the current directory, ending in "/".
Cell* get_current_dir();
Cell* push(const Cell* file);

int mold(Cell* value, Cell* buffer, int only, int all, int flat, Cell* arg, int part, int indent);
Cell* del(Cell* file);
Cell* query(Cell* file);
Cell* read(Cell* source, Cell* part, Cell* seek, int binary, int lines, int info, Cell* as);
Cell* rename(Cell* from, Cell* to);
Cell* write(Cell* destination, Cell* data, int binary, int lines, int info, int append, Cell* part, Cell* seek,
            Cell* allow, Cell* as);
void init();

}  // namespace xeb::file
