// call: running a child process for the language. The command, its
// redirections and the captured output as cells; the process layer does the
// work.
#pragma once
#include "runtime/cell.h"

namespace xeb::io {

struct CallFlags {
  bool wait, console, shell;
};
// in, out and err are null when not redirected. Answers the exit code (when
// waited), the process id, or -1 when the process cannot be started; a
// program that is not found raises cannot-open naming it.
int32_t call(const Cell* cmd, CallFlags flags, const Cell* in, Cell* out, Cell* err);

}  // namespace xeb::io
