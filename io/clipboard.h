// The clipboard as values: text, lists of files and images read and
// written through platform/clipboard.h.
#pragma once

#include "runtime/cell.h"

namespace xeb::io::clipboard {

// The clipboard's content pushed: a string!, a block! of file! values, an
// image!, none when nothing usable is on it, or false when it cannot be
// reached. Text is preferred, then files, then images (PNG, JPEG, GIF, then
// BMP).
Cell* read();
// Puts none (empties it), a string!, a block! of file! or string! values, or
// an image! on the clipboard; answers whether it took them. Any other value,
// or an image of negative area, raises invalid-arg.
bool write(Cell* value);

}  // namespace xeb::io::clipboard
