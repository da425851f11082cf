// The escape interpreter: a small state machine over the units after a CSI.
// Parameters are kept modulo 65,535 so that a run of digits cannot overflow;
// the attribute is read from the console only when a sequence first needs it.
#include "platform/ansi_escape.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace xeb::platform {

namespace {

constexpr uint32_t ESC = 0x1B;

// ANSI colour numbers run red-green-blue from bit 0; console colour bits run
// blue-green-red, so the three bits are reversed.
constexpr uint16_t kColourBits[8] = {0, 4, 2, 6, 1, 5, 3, 7};

uint32_t unit_at(const std::byte* p, int unit) {
  if (unit == 1) return static_cast<uint8_t>(*p);
  uint16_t u;
  std::memcpy(&u, p, 2);  // stored little-endian, as the host is
  return u;
}

enum class State { after_csi, in_p1, after_semicolon, in_p2, done };

}  // namespace

uint16_t sgr_attribute(uint16_t a, unsigned code, uint16_t default_attr) {
  switch (code) {
    case 0: return default_attr;
    case 1: return a | attr::FG_BRIGHT | attr::BG_BRIGHT;
    case 4: return a | attr::UNDERSCORE;
    case 7: return static_cast<uint16_t>(((a >> 4) & 0x0F) | ((a & 0x0F) << 4));
    case 39: return a | attr::FG_BRIGHT;
    case 49: return a | attr::BG_BRIGHT;
    default: break;
  }
  if (code >= 30 && code <= 37) return static_cast<uint16_t>((a & 0xF8) | kColourBits[code - 30]);
  if (code >= 40 && code <= 47) return static_cast<uint16_t>((a & 0x8F) | (kColourBits[code - 40] << 4));
  return a;
}

void erase(EscapeEnv& env, int kind) {
  const ConsoleOps& o = env.ops;
  ScreenInfo s = o.info(o.self);
  const int w = s.width, h = s.height, x = s.cursor_col, y = s.cursor_row;
  if (w <= 0 || h <= 0) return;
  const uint16_t a = env.default_attr;
  switch (kind) {
    case 0: o.fill(o.self, 0, y, static_cast<uint32_t>(std::max(h - y, 0)) * w, a); break;
    case 1: o.fill(o.self, 0, 0, static_cast<uint32_t>(y) * w, a); break;
    case 2:
      o.fill(o.self, 0, 0, static_cast<uint32_t>(w) * h, a);
      o.set_cursor(o.self, 0, 0);
      break;
    case 3:
      o.fill(o.self, 0, y, static_cast<uint32_t>(w), a);
      o.set_cursor(o.self, 0, y);
      break;
    case 4: o.fill(o.self, x, y, static_cast<uint32_t>(std::max(w - x, 0)), a); break;
    case 5:
      o.fill(o.self, 0, y, static_cast<uint32_t>(x), a);
      o.set_cursor(o.self, 0, y);
      break;
    default: break;
  }
}

namespace {

void print_report(EscapeEnv& env) {
  if (!env.message) return;
  const ConsoleOps& o = env.ops;
  ScreenInfo s = o.info(o.self);
  char line[96];
  auto say = [&](int n) { env.message(std::string_view(line, n > 0 ? static_cast<size_t>(n) : 0)); };
  env.message("Screen buffer info:\n");
  say(std::snprintf(line, sizeof line, "   size______ %ix%i\n", s.width, s.height));
  say(std::snprintf(line, sizeof line, "   cursor____ %ix%i\n", s.cursor_col, s.cursor_row));
  say(std::snprintf(line, sizeof line, "   attribute_ %08X %08X\n", static_cast<unsigned>(s.attribute),
                    static_cast<unsigned>(env.default_attr)));
  say(std::snprintf(line, sizeof line, "   left______ %i top: %i\n", s.left, s.top));
  say(std::snprintf(line, sizeof line, "   right_____ %i bottom: %i\n", s.right, s.bottom));
  say(std::snprintf(line, sizeof line, "   max_______ %ix%i\n", s.max_width, s.max_height));
}

// Relative moves stop at the buffer's edges.
void move_cursor(EscapeEnv& env, int dcol, int drow) {
  const ConsoleOps& o = env.ops;
  ScreenInfo s = o.info(o.self);
  // A screen that cannot tell its size (0) bounds the move only at 0.
  const int last_col = s.width > 0 ? s.width - 1 : INT_MAX;
  const int last_row = s.height > 0 ? s.height - 1 : INT_MAX;
  int col = std::clamp(s.cursor_col + dcol, 0, last_col);
  int row = std::clamp(s.cursor_row + drow, 0, last_row);
  o.set_cursor(o.self, col, row);
}

}  // namespace

size_t interpret_escape(EscapeEnv& env, const std::byte* text, size_t bytes, int unit) {
  const size_t u = static_cast<size_t>(unit);
  if (bytes < 2 * u || unit_at(text, unit) != ESC || unit_at(text + u, unit) != '[') return 0;
  const ConsoleOps& o = env.ops;
  size_t pos = 2 * u;
  unsigned p1 = 0, p2 = 0;
  int32_t work = -1;  // -1: the console's current attribute, read on first use
  auto current = [&]() -> uint16_t {
    if (work < 0) work = o.attribute(o.self);
    return static_cast<uint16_t>(work);
  };
  auto sgr = [&](unsigned code) { work = sgr_attribute(current(), code, env.default_attr); };
  auto set_attr = [&]() { o.set_attribute(o.self, static_cast<uint16_t>(work)); };
  auto digit = [](unsigned p, uint32_t c) { return (p * 10 + (c - '0')) % 65535; };

  State st = State::after_csi;
  while (st != State::done) {
    if (pos + u > bytes) return bytes;  // cut short: swallow the rest
    // Whole units are compared, so a wide character never passes for ASCII.
    const uint32_t c = unit_at(text + pos, unit);
    pos += u;
    const bool is_digit = c >= '0' && c <= '9';
    State next = State::done;
    switch (st) {
      case State::after_csi:
        if (is_digit) { p1 = digit(p1, c); next = State::in_p1; }
        else if (c == ';') next = State::after_csi;
        else if (c == 's') {
          ScreenInfo s = o.info(o.self);
          env.saved_col = s.cursor_col;
          env.saved_row = s.cursor_row;
        } else if (c == 'u') o.set_cursor(o.self, env.saved_col, env.saved_row);
        else if (c == 'K') erase(env, 4);
        else if (c == 'J') erase(env, 0);
        else if (c == 'H' || c == 'f') o.set_cursor(o.self, 0, 0);
        else if (c == '?') print_report(env);
        break;
      case State::in_p1:
        if (is_digit) { p1 = digit(p1, c); next = State::in_p1; }
        else if (c == ';') next = State::after_semicolon;
        else if (c == 'm') { sgr(p1); set_attr(); }
        else if (c == 'A') move_cursor(env, 0, -static_cast<int>(p1));
        else if (c == 'B') move_cursor(env, 0, static_cast<int>(p1));
        else if (c == 'C') move_cursor(env, static_cast<int>(p1), 0);
        else if (c == 'D') move_cursor(env, -static_cast<int>(p1), 0);
        else if (c == 'J') { if (p1 == 1) erase(env, 1); else if (p1 == 2) erase(env, 2); }
        else if (c == 'K') { if (p1 == 1) erase(env, 5); else if (p1 == 2) erase(env, 3); }
        break;
      case State::after_semicolon:
        if (is_digit) { p2 = digit(p2, c); next = State::in_p2; }
        else if (c == ';') next = State::after_semicolon;
        break;
      case State::in_p2:
        if (is_digit) { p2 = digit(p2, c); next = State::in_p2; }
        else if (c == 'm') { sgr(p1); sgr(p2); set_attr(); }
        else if (c == ';') {
          // A longer list is applied a pair at a time; only its final m sets it.
          sgr(p1);
          sgr(p2);
          p1 = p2 = 0;
          next = State::after_csi;
        } else if (c == 'H' || c == 'f') o.set_cursor(o.self, static_cast<int>(p1), static_cast<int>(p2));
        break;
      case State::done: break;
    }
    st = next;
  }
  return pos;
}

}  // namespace xeb::platform
