// The text GUI's side of the terminal: the escape sequences it writes, its
// colour words and their SGR parameters, the 256-colour approximation, the
// colour level, and the hand-over with ordinary printing while a GUI is
// shown. Bytes are assembled in one buffer and sent in one write.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/term_io.h"

namespace xeb::platform::tui {

// Colour word: the top byte is the kind. Basic colours index a table of 18
// (0-7 standard, 8 plain, 9 default, 10-17 bright).
namespace colour {
constexpr uint32_t kind_default = 0, kind_basic = 1, kind_palette = 2, kind_rgb = 4;
constexpr uint32_t none = 0;
constexpr uint32_t basic(unsigned i) { return (kind_basic << 24) | (i & 0xFF); }
constexpr uint32_t palette(unsigned i) { return (kind_palette << 24) | (i & 0xFF); }
constexpr uint32_t rgb(unsigned r, unsigned g, unsigned b) {
  return (kind_rgb << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
}  // namespace colour

// An RGBA word (R in the low byte, then G, B, alpha on top; alpha 255 is
// fully transparent) as the nearest colour of the xterm 256-colour palette;
// transparent gives the default colour.
uint32_t approximate_256(uint32_t rgba);

// The SGR parameters of a colour word, without ESC "[" and "m".
void append_colour_param(std::string& out, uint32_t word, bool foreground);
// ESC "[" parameters "m".
void append_colour(std::string& out, uint32_t word, bool foreground);

// Cell attribute bits.
namespace attr {
constexpr uint32_t blink = 1, bold = 2, dim = 4, reverse = 8, underline = 0x10, strike = 0x40,
                   italic = 0x100, conceal = 0x200, wide_tail = 0x400, password = 0x800;
}

struct Look {
  uint32_t bg = 0, fg = 0, attrs = 0;
  bool operator==(const Look&) const = default;
};
// The SGR changes that turn look p into look q.
void append_sgr_change(std::string& out, const Look& p, const Look& q);

// True colour (24-bit SGR) only when COLORTERM or TERM says so; a Linux
// console or a dumb terminal never gets it. Null stands for unset.
enum class ColourLevel { c256, true_colour };
ColourLevel colour_level(const char* colorterm, const char* term);
ColourLevel colour_level_from_env();

// What switches the terminal's settings: the terminal owner by default;
// tests hand in their own.
struct Owner {
  bool (*enter_raw)() = nullptr;
  void (*leave_raw)() = nullptr;
  void (*set_modes)(uint32_t modes) = nullptr;
};
Owner terminal_owner();

// The GUI's terminal while it is shown. Every writer appends to the frame
// buffer and sends it in one write.
class Session {
 public:
  Session(TermIO io, Owner owner) : io_(io), owner_(owner) {}

  // On when the input is a terminal (is_terminal); asks where the cursor is
  // unless the window is fullscreen. Answers whether the mode is on.
  bool enter(bool is_terminal, bool fullscreen);
  // Everything switched is switched back; a cursor report still owed is
  // waited for (up to wait_ms) so that it never reaches the line editor.
  // Answers the bytes that came meanwhile and are not such a report.
  std::string leave(int wait_ms = 200);
  bool on() const { return on_; }

  void mouse(bool enable);
  // send_now false: appended to the frame being assembled.
  void show_cursor(bool show, bool send_now = true);
  void alternate_screen(bool enable);
  void cursor_down(int n);
  // After the outermost loop: below the drawn area, at column 0.
  void place_below(int area_height, int caret_row);

  // Around ordinary printing while the GUI is shown: the drawn lines are
  // erased (always CR and ESC "[0J", so no stale text stays), then flush
  // runs; resume asks for the cursor position to redraw below the print.
  void suspend(void (*flush)() = nullptr);
  void resume();

  // A cursor-position report came (1-based row and column).
  void cursor_report(int row, int col);
  int reports_owed() const { return owed_; }

  // Frame assembly: append, then send() once.
  std::string& out() { return out_; }
  bool send();

  int cols = 80, rows = 24;
  int top_row = 0, cursor_col = 0;  // from the last cursor report, 0-based
  int lines_below_top = 0;
  bool drawn = false, redraw_pending = false, fullscreen = false;
  bool cursor_hidden = false, in_alternate = false, mouse_on = false;

 private:
  void erase_drawn();
  void ask_position();
  void note_modes();

  TermIO io_;
  Owner owner_;
  std::string out_;
  bool on_ = false, raw_ = false;
  int owed_ = 0;
};

// Removes complete cursor-position reports (ESC [ row ; col R) from bytes;
// answers how many were removed. A report cut off at the end stays.
int strip_cursor_reports(std::string& bytes);

}  // namespace xeb::platform::tui
