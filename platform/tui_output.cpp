// The text GUI's terminal output: colour words, SGR changes, mode switches
// and the hand-over with ordinary printing.
#include "platform/tui_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/terminal_mode.h"

namespace xeb::platform::tui {

namespace {

void append_int(std::string& out, long v) { out += std::to_string(v); }

// ESC "[" n suffix
void csi(std::string& out, long n, char suffix) {
  out += "\x1b[";
  append_int(out, n);
  out += suffix;
}

void private_mode(std::string& out, int n, bool on) {
  out += "\x1b[?";
  append_int(out, n);
  out += on ? 'h' : 'l';
}

int level(int v) { return v < 48 ? 0 : v <= 114 ? 1 : (v - 35) / 40; }

constexpr int cube_value[6] = {0, 95, 135, 175, 215, 255};

int dist2(int r, int g, int b, int r2, int g2, int b2) {
  return (r - r2) * (r - r2) + (g - g2) * (g - g2) + (b - b2) * (b - b2);
}

// Basic table: background, foreground.
constexpr const char* basic_params[18][2] = {
    {"40", "30"}, {"41", "31"}, {"42", "32"}, {"43", "33"}, {"44", "34"}, {"45", "35"},
    {"46", "36"}, {"47", "37"}, {"0", "0"},   {"49", "39"}, {"100", "90"}, {"101", "91"},
    {"102", "92"}, {"103", "93"}, {"104", "94"}, {"105", "95"}, {"106", "96"}, {"107", "97"},
};

}  // namespace

uint32_t approximate_256(uint32_t rgba) {
  if ((rgba >> 24) == 255) return colour::none;
  const int r = rgba & 0xFF, g = (rgba >> 8) & 0xFF, b = (rgba >> 16) & 0xFF;
  const int lr = level(r), lg = level(g), lb = level(b);
  const int cube = 16 + 36 * lr + 6 * lg + lb;
  const int avg = (r + g + b) / 3;
  const int grey = avg > 238 ? 232 + 23 : 232 + (avg - 3) / 10;
  const int gv = 8 + 10 * (grey - 232);
  const int dc = dist2(r, g, b, cube_value[lr], cube_value[lg], cube_value[lb]);
  const int dg = dist2(r, g, b, gv, gv, gv);
  return colour::palette(dc < dg ? cube : grey);
}

void append_colour_param(std::string& out, uint32_t word, bool fg) {
  const uint32_t low = word & 0xFFFFFF;
  switch (word >> 24) {
    case colour::kind_default:
      out += fg ? "39" : "49";
      return;
    case colour::kind_basic:
      out += low < 18 ? basic_params[low][fg ? 1 : 0] : "0";
      return;
    case colour::kind_palette:
      out += fg ? "38;5;" : "48;5;";
      append_int(out, low & 0xFF);
      return;
    case colour::kind_rgb: {
      char buf[24];
      std::snprintf(buf, sizeof buf, "%s;2;%u;%u;%u", fg ? "38" : "48", (low >> 16) & 0xFF,
                    (low >> 8) & 0xFF, low & 0xFF);
      out += buf;
      return;
    }
    default:
      out += "0";
  }
}

void append_colour(std::string& out, uint32_t word, bool fg) {
  out += "\x1b[";
  append_colour_param(out, word, fg);
  out += 'm';
}

void append_sgr_change(std::string& out, const Look& p, const Look& q) {
  struct Switch {
    uint32_t bit;
    const char* on;
    const char* off;
  };
  static constexpr Switch switches[] = {
      {attr::dim, "\x1b[2m", "\x1b[22m"},     {attr::reverse, "\x1b[7m", "\x1b[27m"},
      {attr::bold, "\x1b[1m", "\x1b[22m"},    {attr::italic, "\x1b[3m", "\x1b[23m"},
      {attr::strike, "\x1b[9m", "\x1b[29m"},  {attr::underline, "\x1b[4m", "\x1b[24m"},
  };
  for (const Switch& s : switches) {
    const bool was = p.attrs & s.bit, now = q.attrs & s.bit;
    if (was != now) out += now ? s.on : s.off;
  }
  // Bold and dim share their off switch: turning one off clears both.
  const uint32_t shared = attr::bold | attr::dim;
  if ((p.attrs & shared) && (q.attrs & shared) && ((p.attrs ^ q.attrs) & shared)) {
    if (q.attrs & attr::dim) out += "\x1b[2m";
    if (q.attrs & attr::bold) out += "\x1b[1m";
  }
  if (p.fg != q.fg) append_colour(out, q.fg, true);
  if (p.bg != q.bg) append_colour(out, q.bg, false);
}

ColourLevel colour_level(const char* colorterm, const char* term) {
  const std::string_view t = term ? term : "";
  if (t == "linux" || t == "dumb") return ColourLevel::c256;
  const std::string_view ct = colorterm ? colorterm : "";
  if (ct == "truecolor" || ct == "24bit") return ColourLevel::true_colour;
  if (t.find("direct") != std::string_view::npos || t.find("truecolor") != std::string_view::npos ||
      t.find("24bit") != std::string_view::npos)
    return ColourLevel::true_colour;
  return ColourLevel::c256;
}

ColourLevel colour_level_from_env() {
  return colour_level(std::getenv("COLORTERM"), std::getenv("TERM"));
}

Owner terminal_owner() {
  return Owner{terminal_mode::enter_raw, terminal_mode::leave_raw, terminal_mode::set_modes};
}

bool Session::send() {
  if (out_.empty()) return true;
  const bool ok = io_.write(io_.self, out_.data(), out_.size());
  out_.clear();
  return ok;
}

void Session::note_modes() {
  if (!owner_.set_modes) return;
  uint32_t m = terminal_mode::attributes_set;  // a frame may leave any attribute on
  if (in_alternate) m |= terminal_mode::alternate_screen;
  if (mouse_on) m |= terminal_mode::mouse_reporting;
  if (cursor_hidden) m |= terminal_mode::cursor_hidden;
  owner_.set_modes(on_ ? m : 0);
}

void Session::ask_position() {
  out_ += "\x1b[6n";
  owed_++;
}

bool Session::enter(bool is_terminal, bool full) {
  fullscreen = full;
  if (!on_) {
    if (!is_terminal) return false;
    raw_ = owner_.enter_raw && owner_.enter_raw();
    int c = 0, r = 0;
    if (io_.size && io_.size(io_.self, c, r) && c > 0 && r > 0) {
      cols = c;
      rows = r;
    } else {
      cols = 80;
      rows = 24;
    }
    on_ = true;
    note_modes();
  }
  if (!fullscreen) ask_position();
  send();
  return true;
}

std::string Session::leave(int wait_ms) {
  std::string rest;
  if (!on_) return rest;
  if (mouse_on) mouse(false);
  if (cursor_hidden) show_cursor(true);
  if (in_alternate) alternate_screen(false);
  out_ += "\x1b[0m";
  send();
  // A reply to ESC "[6n" still on its way is taken here, not by whoever
  // reads the terminal next.
  if (owed_ > 0 && io_.read && io_.wait && io_.clock_ms) {
    const int64_t until = io_.clock_ms(io_.self) + wait_ms;
    while (owed_ > 0) {
      const int64_t left = until - io_.clock_ms(io_.self);
      if (left <= 0 || io_.wait(io_.self, static_cast<int>(left)) != Ready::input) break;
      char buf[256];
      const long n = io_.read(io_.self, buf, sizeof buf);
      if (n <= 0) break;
      rest.append(buf, static_cast<size_t>(n));
      owed_ -= strip_cursor_reports(rest);
    }
  }
  owed_ = 0;
  on_ = false;
  note_modes();
  if (raw_ && owner_.leave_raw) owner_.leave_raw();
  raw_ = false;
  drawn = false;
  lines_below_top = 0;
  return rest;
}

void Session::mouse(bool enable) {
  if (enable == mouse_on) return;
  for (int n : {1000, 1003, 1015, 1006}) private_mode(out_, n, enable);
  mouse_on = enable;
  note_modes();
  send();
}

void Session::show_cursor(bool show, bool send_now) {
  if (show != cursor_hidden) return;
  private_mode(out_, 25, show);
  cursor_hidden = !show;
  note_modes();
  if (send_now) send();
}

void Session::alternate_screen(bool enable) {
  if (enable == in_alternate) return;
  private_mode(out_, 1049, enable);
  if (enable) out_ += "\x1b[2J";
  in_alternate = enable;
  note_modes();
  send();
}

void Session::cursor_down(int n) {
  if (n < 1) return;
  csi(out_, n, 'B');
  send();
}

void Session::place_below(int area_height, int caret_row) {
  if (caret_row > 0 && area_height - lines_below_top > 0) csi(out_, area_height - lines_below_top, 'B');
  out_ += "\r\n";
  send();
}

void Session::erase_drawn() {
  out_ += '\r';
  if (lines_below_top > 0) csi(out_, lines_below_top, 'A');
  out_ += "\x1b[0J";
  lines_below_top = 0;
}

void Session::suspend(void (*flush)()) {
  if (!on_) return;
  erase_drawn();
  out_ += "\x1b[0m";
  send();
  drawn = false;
  if (flush) flush();
}

void Session::resume() {
  if (!on_) return;
  redraw_pending = true;
  ask_position();
  send();
}

void Session::cursor_report(int row, int col) {
  top_row = row > 0 ? row - 1 : 0;
  cursor_col = col > 0 ? col - 1 : 0;
  if (owed_ > 0) owed_--;
}

int strip_cursor_reports(std::string& s) {
  int found = 0;
  size_t i = 0;
  while ((i = s.find("\x1b[", i)) != std::string::npos) {
    size_t j = i + 2;
    int semis = 0;
    bool digits = false;
    while (j < s.size() && ((s[j] >= '0' && s[j] <= '9') || s[j] == ';')) {
      if (s[j] == ';') semis++; else digits = true;
      j++;
    }
    if (j < s.size() && s[j] == 'R' && semis == 1 && digits) {
      s.erase(i, j + 1 - i);
      found++;
    } else {
      i += 2;
    }
  }
  return found;
}

}  // namespace xeb::platform::tui
