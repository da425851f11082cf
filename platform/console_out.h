// Console output: the lowest layer of the system's text output. At start-up
// it decides once whether standard output is a terminal or a redirected
// stream. On a terminal, text goes through the escape interpreter to the
// console operations; redirected, it is written as UTF-8 with escapes left as
// text. Text arrives in the three widths strings are stored in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/console_ops.h"

namespace xeb::platform {

// Where redirected bytes go; standard output unless a test says otherwise.
struct ByteSink {
  void* self = nullptr;
  void (*write)(void* self, std::span<const std::byte> bytes) = nullptr;
};

void save_default_attribute();  // once, before runtime init
void init_console_output();     // terminal or redirected, fixed from then on

// Points the writers at another console or stream (tests, embedding).
void use_console(const ConsoleOps& ops);
void use_stream(const ByteSink& sink);
bool is_console();
uint16_t default_attribute();
void set_default_attribute(uint16_t a);

// The writers. print_* end the line (CR LF; a console's UCS-4 line end is a
// single LF); prin_* add nothing.
void prin_latin1(std::span<const uint8_t> text);
void print_latin1(std::span<const uint8_t> text);
void prin_ucs2(std::span<const char16_t> text);
void print_ucs2(std::span<const char16_t> text);
void prin_ucs4(std::span<const char32_t> text);
void print_ucs4(std::span<const char32_t> text);

// Units 1 and 2: text is bytes long, a multiple of unit.
void write_text(const std::byte* text, size_t bytes, int unit, bool line_end);

// The runtime's message printer writes through these: a number formatted as
// UTF-16, or a piece of Latin-1 text; each is then handed to the output
// observer, which a layer above sets (null: nobody listens).
using OutputObserver = void (*)(const void* buf, size_t length, int flag);
void set_output_observer(OutputObserver observer);
void print_wide_hooked(std::u16string_view text);
void print_message(std::string_view text);
char16_t put_wide_char(char16_t c);  // one unit, unbuffered

// The column the terminal's cursor is in, as counted from what was written
// here (0 when the output is not a terminal); the line editor starts its
// prompt there, and tells where it left the cursor.
int terminal_column();
void set_terminal_column(int col);

}  // namespace xeb::platform
