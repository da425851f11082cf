// The line editor: one line of input read from a terminal in raw mode, with
// cursor movement, insertion and deletion, history recall, Tab completion
// and masked input, drawn over as many rows as the line needs with the
// display width of every character. It knows nothing of cells: the caller
// hands in the history and a completion function, and records the line.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/key_decoder.h"
#include "platform/term_io.h"

#include "runtime/unicode.h"

namespace xeb::console {

// One completion entry: text, and the cursor's place in it.
struct Completion {
  std::u32string text;
  size_t cursor = 0;
};
// Entries as word completion answers them: none; one (the new line); or the
// new line with the common prefix put in, then the candidates.
using CompleteFn = std::function<std::vector<Completion>(const std::u32string& line, size_t cursor)>;

enum class EditEnd {
  accepted,  // Return: the line goes into the history
  escaped,   // Esc: the line ends in the escape character and is not kept
  quit,      // Ctrl-C, or Ctrl-D on an empty line: the caller gives "q"
  listed,    // Tab listed several candidates: the caller gives an empty line
  closed,    // the input ended or failed
};

struct EditResult {
  EditEnd end = EditEnd::accepted;
  std::u32string line;
};

class LineEditor {
 public:
  explicit LineEditor(platform::TermIO io) : io_(io) {}

  // Reads one line. history: newest first. start_col: the column the
  // prompt starts in.
  EditResult edit(const std::u32string& prompt, bool hidden, const std::vector<std::u32string>& history,
                  int start_col, const CompleteFn& complete);

  int columns() const { return cols_; }
  int rows() const { return rows_; }
  void update_size();

 private:
  void refresh();                  // erase and draw prompt and line, place the cursor
  void place(size_t from, size_t to);  // cursor moves between cell positions
  void layout(size_t& cursor_cell, size_t& end_cell) const;
  void insert(char32_t c);
  void word_left();
  void word_right();
  bool complete(const CompleteFn& fn, bool& listed);
  void flush();

  platform::TermIO io_;
  platform::KeyDecoder dec_;
  std::string out_;
  std::u32string prompt_, line_;
  size_t cursor_ = 0;       // in characters
  size_t screen_cell_ = 0;  // where the terminal's cursor is, in cells from the start row's column 0
  size_t start_col_ = 0;
  bool hidden_ = false;
  int cols_ = 80, rows_ = 24;
  // Text and cursor that the next edit starts with: a multi-candidate
  // completion leaves its common prefix here.
  std::u32string saved_;
  size_t saved_cursor_ = 0;
};

using unicode::append_utf8;

}  // namespace xeb::console
