// Syntax errors of the lexer: the error trace event, the unwinding of the
// scan's open series, and the error record handed to the caller's sink.
#include "lexer/internal.h"

namespace xeb::lexer {
namespace {

constexpr int TEXT_BUDGET = 30;  // bytes of offending text, cut at a character start

// The offending text: from `at` to the end, the first LF or the first
// character starting TEXT_BUDGET or more bytes on; malformed UTF-8 becomes U+FFFD.
std::string offending_text(const uint8_t* at, const uint8_t* end) {
  std::string out;
  for (const uint8_t* p = at; p < end;) {
    if (*p == '\n' || *p == 0) break;
    if (p - at >= TEXT_BUDGET) break;
    int len;
    if (detail::decode_utf8(p, end, len) < 0) out += "\xEF\xBF\xBD";
    else out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(len));
    p += len;
  }
  return out;
}

}  // namespace

bool syntax_error(State& s, int code, const uint8_t* at, char missing, uint8_t event_type) {
  if (s.stopped) return false;
  if (at < s.begin || at > s.end) at = s.pos;
  if (s.opts->trace.mask & EV_ERROR) {
    if (!event_type) {
      if (code > 0) event_type = static_cast<uint8_t>(code);
      else if (missing == ']' || missing == '[') event_type = T_BLOCK;
      else if (missing == ')' || missing == '(') event_type = T_PAREN;
      else event_type = T_ERROR;
    }
    // A callback answering false suppresses the error; the scan goes on
    // from wherever it left the position.
    if (!detail::send_event(s, EV_ERROR, event_type, s.pos, at, s.pos, s.line)) return false;
  }
  if (s.opts->finish_on_error && s.opts->on_error && s.load && s.opts->finish) {
    // Only the values before the outermost open series are complete.
    uint32_t top = s.top;
    for (uint32_t start = s.series_start; start != s.base;) {
      top = start - 1;
      start = top - marker_back(cell_at(top));
    }
    s.top = top;
    s.series_start = s.base;
    s.opts->finish(s.opts->finish_ctx, s);
  }
  s.top = s.series_start = s.base;
  s.stopped = true;
  if (!s.opts->on_error) return false;
  SyntaxError e;
  // The line where the offending text starts.
  e.line = s.line;
  for (const uint8_t* p = at; p < s.pos; ++p) e.line -= *p == '\n';
  e.where = "(line " + std::to_string(e.line) + ")";
  e.text = offending_text(at, s.end);
  if (code > 0) {
    e.id = ErrorId::invalid;
    e.type = static_cast<uint8_t>(code);
  } else if (code == E_BAD_CHAR) {
    e.id = ErrorId::bad_char;
  } else if (code == E_MALCONSTRUCT) {
    e.id = ErrorId::malconstruct;
  } else {
    e.id = ErrorId::missing;
    e.missing = missing;
  }
  s.opts->on_error(s.opts->error_ctx, e);
  return false;
}

}  // namespace xeb::lexer
