// The line editor. Screen positions are counted in cells from column 0 of
// the row the prompt starts on; the terminal is only ever moved relative to
// where the editor last left its cursor, so nothing has to be asked of the
// terminal and the screen may scroll under the line.
//
// Layout rules: a tab shows as four spaces; a character takes its display
// width (0, 1 or 2 cells); a wide character that would start in a row's last
// column starts the next row, leaving that cell blank; in the prompt, an
// escape sequence (ESC, "[" or "(", digits and ";", one final character)
// takes no cells.
#include "console/line_editor.h"

#include <algorithm>
#include <cstdio>

#include "runtime/interrupt.h"
#include "runtime/unicode.h"

namespace xeb::console {

namespace {

constexpr char32_t ESC = 27;

int width_of(char32_t c) {
  if (c >= 0x1F300 && c <= 0x1F5FF) return 2;
  if (c < 0x20 || c == 0x7F) return 0;
  return char_display_width(c);
}

void csi(std::string& out, size_t n, char final) {
  char buf[24];
  int k = std::snprintf(buf, sizeof buf, "\x1b[%zu%c", n, final);
  out.append(buf, static_cast<size_t>(k));
}

}  // namespace

// Draws text from cell pos on (into out, when given), answering the cell
// after it.
static size_t draw(std::string* out, size_t pos, std::u32string_view text, bool prompt, bool hidden, int cols) {
  const size_t n = static_cast<size_t>(cols);
  for (size_t i = 0; i < text.size(); i++) {
    char32_t c = text[i];
    if (prompt && c == ESC) {
      if (out) append_utf8(*out, c);
      if (i + 1 < text.size() && (text[i + 1] == '[' || text[i + 1] == '(')) {
        if (out) append_utf8(*out, text[i + 1]);
        i += 2;
        while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == ';')) {
          if (out) append_utf8(*out, text[i]);
          i++;
        }
        if (i < text.size() && out) append_utf8(*out, text[i]);
      }
      continue;
    }
    if (hidden) c = '*';
    if (c == '\t') {
      if (out) out->append("    ");
      pos += 4;
      continue;
    }
    const int w = width_of(c);
    if (w == 2 && pos % n == n - 1) {
      if (out) *out += ' ';
      pos++;
    }
    if (out) append_utf8(*out, c);
    pos += static_cast<size_t>(w);
  }
  return pos;
}

void LineEditor::update_size() {
  int c = 0, r = 0;
  if (io_.size && io_.size(io_.self, c, r) && c > 0) {
    cols_ = c;
    rows_ = r;
  }
}

void LineEditor::layout(size_t& cursor_cell, size_t& end_cell) const {
  const std::u32string_view line(line_);
  size_t pos = draw(nullptr, start_col_, prompt_, true, false, cols_);
  pos = draw(nullptr, pos, line.substr(0, cursor_), false, hidden_, cols_);
  cursor_cell = pos;
  end_cell = draw(nullptr, pos, line.substr(cursor_), false, hidden_, cols_);
  // A wide character pushed to the next row: the cursor goes with it.
  const size_t n = static_cast<size_t>(cols_);
  if (cursor_ < line_.size() && !hidden_ && width_of(line_[cursor_]) == 2 && cursor_cell % n == n - 1) cursor_cell++;
}

void LineEditor::place(size_t from, size_t to) {
  const size_t n = static_cast<size_t>(cols_);
  const size_t fr = from / n, tr = to / n;
  if (tr < fr) csi(out_, fr - tr, 'A');
  if (tr > fr) csi(out_, tr - fr, 'B');
  out_ += '\r';
  if (to % n) csi(out_, to % n, 'C');
  screen_cell_ = to;
}

void LineEditor::refresh() {
  const size_t n = static_cast<size_t>(cols_);
  // Back to the start of the prompt.
  if (screen_cell_ / n) csi(out_, screen_cell_ / n, 'A');
  out_ += '\r';
  if (start_col_) csi(out_, start_col_, 'C');
  size_t pos = draw(&out_, start_col_, prompt_, true, false, cols_);
  pos = draw(&out_, pos, line_, false, hidden_, cols_);
  // Text that fills its last row exactly leaves the terminal waiting to
  // wrap; a new line makes the wrap happen, so the cursor's row is known.
  if (pos > start_col_ && pos % n == 0) out_ += "\r\n";
  out_ += "\x1b[J";
  screen_cell_ = pos;
  size_t cursor_cell, end_cell;
  layout(cursor_cell, end_cell);
  place(end_cell, cursor_cell);
  flush();
}

void LineEditor::flush() {
  if (!out_.empty()) io_.write(io_.self, out_.data(), out_.size());
  out_.clear();
}

// Typing at the end of the line writes the character alone when it fits on
// the row; anything else is a whole redraw.
void LineEditor::insert(char32_t c) {
  const size_t n = static_cast<size_t>(cols_);
  if (cursor_ == line_.size()) {
    size_t cursor_cell, end_cell;
    layout(cursor_cell, end_cell);
    const int w = hidden_ ? 1 : width_of(c);
    line_ += c;
    cursor_++;
    if (c != '\t' && w > 0 && end_cell % n + static_cast<size_t>(w) < n) {
      append_utf8(out_, hidden_ ? U'*' : c);
      screen_cell_ = end_cell + static_cast<size_t>(w);
      flush();
      return;
    }
  } else {
    line_.insert(cursor_, 1, c);
    cursor_++;
  }
  refresh();
}

void LineEditor::word_left() {  // to the start of this or the previous word
  while (cursor_ > 0 && line_[cursor_ - 1] == ' ') cursor_--;
  while (cursor_ > 0 && line_[cursor_ - 1] != ' ') cursor_--;
}

void LineEditor::word_right() {  // past the end of this or the next word
  while (cursor_ < line_.size() && line_[cursor_] == ' ') cursor_++;
  while (cursor_ < line_.size() && line_[cursor_] != ' ') cursor_++;
}

bool LineEditor::complete(const CompleteFn& fn, bool& listed) {
  listed = false;
  if (!fn) return false;
  std::vector<Completion> got = fn(line_, cursor_);
  if (got.empty()) return false;
  saved_ = line_;
  saved_cursor_ = cursor_;
  if (got.size() == 1) {
    line_ = got[0].text;
    cursor_ = std::min(got[0].cursor, line_.size());
  } else {
    saved_ = got[0].text;
    saved_cursor_ = std::min(got[0].cursor, saved_.size());
    line_.clear();
    for (size_t i = 1; i < got.size(); i++) {
      line_ += got[i].text;
      line_ += U' ';
    }
    cursor_ = line_.size();
    listed = true;
  }
  refresh();
  return true;
}

EditResult LineEditor::edit(const std::u32string& prompt, bool hidden, const std::vector<std::u32string>& history,
                            int start_col, const CompleteFn& complete_fn) {
  prompt_ = prompt;
  hidden_ = hidden;
  update_size();
  start_col_ = static_cast<size_t>(std::clamp(start_col, 0, cols_ - 1));
  screen_cell_ = start_col_;
  line_.clear();
  cursor_ = 0;
  if (!saved_.empty()) {
    line_ = saved_;
    cursor_ = std::min(saved_cursor_, line_.size());
  }
  int h = -1;
  const int count = static_cast<int>(history.size());
  refresh();

  // History recall, one line older or newer; past either end, an empty line
  // (and past the newest, the count starts again).
  auto recall = [&](bool older) {
    if (older ? h < count - 1 : h > 0) {
      h += older ? 1 : -1;
      line_ = history[static_cast<size_t>(h)];
    } else {
      if (!older) h = -1;
      line_.clear();
    }
    cursor_ = line_.size();
    refresh();
  };

  auto finish = [&](EditEnd end) {
    size_t cursor_cell, end_cell;
    layout(cursor_cell, end_cell);
    place(screen_cell_, end_cell);
    out_ += "\r\n";
    flush();
    return EditResult{end, line_};
  };

  for (;;) {
    // A request to end (SIGTERM, SIGHUP) ends the line as the end of input.
    if (interrupt::end_signal()) {
      line_.clear();
      cursor_ = 0;
      return finish(EditEnd::closed);
    }
    platform::Key k = platform::read_key(io_, dec_);
    using platform::KeyKind;
    const bool ctrl = k.mods & platform::key_mod::control;
    switch (k.kind) {
      case KeyKind::end_of_input:
        line_.clear();
        cursor_ = 0;
        return finish(EditEnd::closed);
      case KeyKind::resize: {
        // The terminal rewraps what is shown; the cursor keeps its cell
        // count, counted on the new width.
        update_size();
        refresh();
        continue;
      }
      case KeyKind::left:
        if (ctrl) word_left();
        else if (cursor_ > 0) cursor_--;
        break;
      case KeyKind::right:
        if (ctrl) word_right();
        else if (cursor_ < line_.size()) cursor_++;
        break;
      case KeyKind::up:
      case KeyKind::down:
        recall(k.kind == KeyKind::up);
        continue;
      case KeyKind::home:
        cursor_ = 0;
        refresh();
        continue;
      case KeyKind::end:
        cursor_ = line_.size();
        refresh();
        continue;
      case KeyKind::del:
        if (cursor_ < line_.size()) line_.erase(cursor_, 1);
        refresh();
        continue;
      case KeyKind::character:
        if (k.mods & platform::key_mod::alt) {  // Alt-b and Alt-f as Ctrl-Left and Ctrl-Right
          if (k.ch == 'b') word_left();
          else if (k.ch == 'f') word_right();
          else continue;  // other Alt keys: nothing
          k.kind = KeyKind::left;  // a cursor move only
        }
        break;
      default:
        continue;  // Insert, Page Up and Down, function keys, reports: nothing
    }
    if (k.kind != KeyKind::character) {  // a cursor move only
      size_t cursor_cell, end_cell;
      layout(cursor_cell, end_cell);
      place(screen_cell_, cursor_cell);
      flush();
      continue;
    }
    const char32_t c = k.ch;
    switch (c) {
      case '\t': {
        bool listed = false;
        if (complete(complete_fn, listed)) {
          if (listed) {
            finish(EditEnd::listed);
            return EditResult{EditEnd::listed, {}};
          }
          continue;
        }
        insert(c);
        continue;
      }
      case '\r':
      case '\n':
        saved_.clear();
        saved_cursor_ = 0;
        return finish(EditEnd::accepted);
      case 8:
      case 127:
        if (cursor_ > 0) {
          cursor_--;
          line_.erase(cursor_, 1);
          if (cursor_ == line_.size()) {  // at the end: move back and erase behind
            size_t cursor_cell, end_cell;
            layout(cursor_cell, end_cell);
            place(screen_cell_, cursor_cell);
            out_ += "\x1b[J";
            flush();
          } else {
            refresh();
          }
        }
        continue;
      case 2:  // Ctrl-B
        if (cursor_ > 0) cursor_--;
        break;
      case 6:  // Ctrl-F
        if (cursor_ < line_.size()) cursor_++;
        break;
      case 16: case 14:  // Ctrl-P, Ctrl-N: as Up and Down
        recall(c == 16);
        continue;
      case 1:  // Ctrl-A
        cursor_ = 0;
        refresh();
        continue;
      case 5:  // Ctrl-E
        cursor_ = line_.size();
        refresh();
        continue;
      case 11:  // Ctrl-K
        if (cursor_ < line_.size()) line_.erase(cursor_);
        refresh();
        continue;
      case 4:  // Ctrl-D
        if (cursor_ < line_.size()) {
          line_.erase(cursor_, 1);
          refresh();
        } else if (line_.empty()) {
          return finish(EditEnd::quit);
        }
        continue;
      case 3:  // Ctrl-C
        line_.clear();
        cursor_ = 0;
        return finish(EditEnd::quit);
      case ESC:
        saved_.clear();
        saved_cursor_ = 0;
        line_ += ESC;
        cursor_ = line_.size();
        return finish(EditEnd::escaped);
      default:
        if (c >= 32 && c != 127) insert(c);
        continue;
    }
    // Ctrl-B and Ctrl-F: a cursor move only.
    size_t cursor_cell, end_cell;
    layout(cursor_cell, end_cell);
    place(screen_cell_, cursor_cell);
    flush();
  }
}

}  // namespace xeb::console
