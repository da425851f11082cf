// The GUI's key table over the shared key decoder, and mouse reports.
#include "gui/keys.h"

namespace xeb::gui {

using platform::KeyKind;

std::optional<GuiKey> gui_key(const platform::Key& k) {
  switch (k.kind) {
    case KeyKind::character:
      if (k.ch == 8) return GuiKey{127, 0};
      if (k.ch == 10) return GuiKey{13, 0};
      // ESC and a byte that starts no sequence send nothing.
      if (k.mods & platform::key_mod::alt) return std::nullopt;
      return GuiKey{static_cast<int32_t>(k.ch), 0};
    case KeyKind::back_tab:
      return GuiKey{9, keyflag::shift};
    default:
      break;
  }
  if (k.mods != 0) return std::nullopt;
  switch (k.kind) {
    case KeyKind::up: return GuiKey{keycode::up, keyflag::special};
    case KeyKind::down: return GuiKey{keycode::down, keyflag::special};
    case KeyKind::right: return GuiKey{keycode::right, keyflag::special};
    case KeyKind::left: return GuiKey{keycode::left, keyflag::special};
    case KeyKind::end: return GuiKey{keycode::end, keyflag::special};
    case KeyKind::home: return GuiKey{keycode::home, keyflag::special};
    case KeyKind::insert: return GuiKey{keycode::insert, keyflag::special};
    case KeyKind::del: return GuiKey{keycode::del, keyflag::special};
    case KeyKind::page_up: return GuiKey{keycode::page_up, keyflag::special};
    case KeyKind::page_down: return GuiKey{keycode::page_down, keyflag::special};
    case KeyKind::function:
      if (k.a >= 1 && k.a <= 12) return GuiKey{keycode::f1 - (k.a - 1), keyflag::special};
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<PointerEvent> MouseState::event(const platform::Key& key, int top_row) {
  if (key.kind != KeyKind::mouse) return std::nullopt;
  const int b = key.a;
  PointerEvent e;
  e.x = static_cast<float>(key.b - 1);
  e.y = static_cast<float>(key.c - top_row - 1);
  if (b & 4) e.flags |= keyflag::shift;
  if (b & 8) e.flags |= keyflag::alt;
  if (b & 16) e.flags |= keyflag::control;
  const int kind = (b & 3) | ((b & 64) >> 4);
  const int state = key.release ? 1 : 0;
  switch (kind) {
    case 0: case 1: case 2:
      if (state != last_state_) {
        last_state_ = state;
        e.type = static_cast<Pointer>(kind * 2 + state);
      } else {
        e.type = Pointer::motion;
        e.flags |= drag_flag;
      }
      return e;
    case 3:
      e.type = Pointer::motion;
      return e;
    case 4: case 5:
      e.type = Pointer::wheel;
      e.delta = kind == 4 ? 1 : -1;
      return e;
    default:
      return std::nullopt;
  }
}

}  // namespace xeb::gui
