// Output hooks: everything the language prints passes through two lists of
// callbacks. The print list gets each formed string (print and prin); its
// first entry is the default printer, which writes to the console. The output
// list gets each piece of text the console writers report after writing it.
// Other parts of the system add callbacks to capture or mirror output.
#pragma once
#include <cstddef>

#include "runtime/cell.h"

namespace xeb::print_hooks {

// str is a string-like cell that stays reachable from a root (the data stack)
// for the whole call: a callback may allocate and so move its buffer.
using PrintFn = void (*)(const Cell* str, bool new_line);
// buf and length as the writer passes them: UTF-16 units or Latin-1 bytes.
using OutputFn = void (*)(const void* buf, size_t length, int flag);

void init();   // makes both lists and registers the default printer
bool ready();  // true once init has run

void add(PrintFn print, OutputFn output);     // either may be null
void remove(PrintFn print, OutputFn output);  // first occurrence of each only

void call_print(const Cell* str, bool new_line);
void call_output(const void* buf, size_t length, int flag);

// Writes the string from its head through the console writer of its unit,
// with a line end when asked.
void default_printer(const Cell* str, bool new_line);

// The text-terminal GUI leaves its drawing mode around every print and
// re-enters it afterwards; until it sets these, nothing happens there.
struct TextUi {
  void (*suspend_for_output)() = nullptr;
  void (*resume_after_output)() = nullptr;
};
void set_text_ui(TextUi ui);

}  // namespace xeb::print_hooks
