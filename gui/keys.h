// Keys and mouse reports as the text GUI's widgets take them: decoded keys
// mapped to the GUI's key codes, and SGR mouse reports to pointer events.
#pragma once
#include <cstdint>
#include <optional>

#include "platform/key_decoder.h"

namespace xeb::gui {

// Key codes of special keys (negative) and the flags sent with a key.
namespace keycode {
constexpr int32_t up = -20, down = -21, right = -22, left = -23, end = -24, home = -25,
                  insert = -26, del = -27, page_up = -28, page_down = -29, f1 = -31;
}
namespace keyflag {
constexpr uint32_t special = 1, control = 0x10000000, shift = 0x20000000, alt = 0x40000000;
}

struct GuiKey {
  int32_t code = 0;
  uint32_t flags = 0;
  bool operator==(const GuiKey&) const = default;
};

// The key a widget gets, or nothing (modified special keys, unknown
// sequences, reports). BS arrives as 127 and LF as CR.
std::optional<GuiKey> gui_key(const platform::Key& k);

enum class Pointer { down, up, mid_down, mid_up, alt_down, alt_up, motion, wheel };

struct PointerEvent {
  Pointer type = Pointer::motion;
  float x = 0, y = 0;  // cells, relative to the drawn area's top
  uint32_t flags = 0;  // keyflag modifiers; drag when a button is held
  int delta = 0;       // wheel: +1 or -1
  bool operator==(const PointerEvent&) const = default;
};
constexpr uint32_t drag_flag = 0x2000000;

// Turns SGR mouse reports into pointer events, remembering whether a
// button is held.
class MouseState {
 public:
  // key is a mouse key from the decoder; top_row is the drawn area's top.
  std::optional<PointerEvent> event(const platform::Key& key, int top_row);

 private:
  int last_state_ = 1;  // 0 pressed, 1 released
};

}  // namespace xeb::gui
