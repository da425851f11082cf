// The token loop: runs the automaton over the input one token at a time and
// handles structure itself (series markers for blocks, parens, maps, paths
// and comma-built points; braced strings; the path element rules), handing
// each value token to its actions from the action table.
//
// Invariant: s.series_start == s.base exactly when no series is open; else
// the cell at s.series_start - 1 is the innermost open series' marker, a
// triple! whose words are (cells from the enclosing series start to the
// marker, series type with the comma count in bits 16 and up, byte offset of
// the opening character).
#include <cstring>

#include "lexer/internal.h"

namespace xeb::lexer {

namespace detail {
ActionPair actions[TOKEN_TYPES + 1];
CloseAction close_action = nullptr;
}  // namespace detail

using namespace detail;

void init(std::span<const ActionPair> list, CloseAction close) {
  init_buffer();
  for (auto& a : actions) a = ActionPair{};
  for (size_t i = 0; i < list.size() && i < TOKEN_TYPES; ++i) actions[i + 1] = list[i];
  close_action = close;
}

namespace {

constexpr uint32_t SERIES_TYPE_MASK = 0xFFFF;
constexpr uint32_t COMMA_UNIT = 1u << 16;

uint32_t innermost_series(const State& s) {
  return s.series_start == s.base ? 0 : marker_type(cell_at(s.series_start - 1));
}
uint8_t innermost_kind(const State& s) { return innermost_series(s) & SERIES_TYPE_MASK; }
const uint8_t* innermost_opener(const State& s) {
  return s.begin + marker_opener(cell_at(s.series_start - 1));
}
bool is_path_type(uint32_t t) { return t >= T_PATH && t <= T_GET_PATH; }
bool in_path(const State& s) { return is_path_type(innermost_kind(s)); }

void open_series(State& s, uint32_t type, const uint8_t* opener) {
  uint32_t enclosing = s.series_start;
  Cell* m = push_value(s);
  m->header = (m->header & HDR_NEW_LINE) | T_TRIPLE;
  set_marker(m, s.top - 1 - enclosing, type, static_cast<uint32_t>(opener - s.begin));
  s.series_start = s.top;
}

// Pops the innermost series; in load mode the close action turns marker and
// contents into one value.
bool close_series(State& s) {
  uint32_t marker = s.series_start - 1;
  Cell* m = cell_at(marker);
  uint32_t type = marker_type(m);
  s.series_start = marker - marker_back(m);
  if (s.load && close_action) {
    if (!close_action(s, type, marker)) {
      if (!s.stopped && s.top > marker) s.top = marker;
      return false;
    }
    return true;
  }
  s.top = marker;
  return true;
}

// Drops the innermost series with its contents (a suppressed error in a path).
void drop_series(State& s) {
  uint32_t marker = s.series_start - 1;
  s.series_start = marker - marker_back(cell_at(marker));
  s.top = marker;
}

uint8_t class_at(const State& s, const uint8_t* p) {
  return p < s.end ? static_cast<uint8_t>(char_class[*p] & CLASS_MASK) : uint8_t{C_END};
}

int lf_count(const uint8_t* p, const uint8_t* e) {
  int n = 0;
  for (; p < e; ++p) n += *p == '\n';
  return n;
}

uint32_t flags_of(const uint8_t* p, const uint8_t* e) {
  uint32_t f = 0;
  for (; p < e; ++p) f |= char_class[*p];
  return f & ~CLASS_MASK;
}

// Runs the automaton from s.pos in the current start state and fills t.
void run(State& s, Token& t) {
  const uint8_t* p = s.pos;
  const uint8_t* const e = s.end;
  const uint8_t(*const row)[CLASS_COUNT] = transition;
  uint8_t st = s.start_state;
  uint32_t flags = 0, skip = 0, cc;
  int lines = 0;
  uint8_t next;
  for (;;) {
    cc = p < e ? char_class[*p] : uint32_t{C_END};
    next = row[st][cc & CLASS_MASK];
    if (next > FINAL_BASE) break;
    flags |= cc;
    skip += skip_state[next];
    lines += line_class[cc & CLASS_MASK];
    st = next;
    ++p;
  }
  t.type = token_of(next);
  t.prev_state = st;
  t.start_state = s.start_state;
  t.start = s.pos + skip;
  uint8_t cls = cc & CLASS_MASK;
  // A token owns its closing delimiter; an error owns the byte it broke on,
  // so that scanning resumed after it always moves on.
  if (p < e && (closing_class[static_cast<int>(t.type)] == cls || t.type == Tok::error)) {
    flags |= cc;
    lines += line_class[cls];
    ++p;
  }
  t.end = p;
  t.flags = flags & ~CLASS_MASK;
  t.value_type = token_value_type[static_cast<int>(t.type)];
  int before = lf_count(s.pos, t.start);
  t.line = s.line + before;
  s.line += lines;
  s.token_lines += lines;
  s.pos = p;
  s.token_end = p;
  s.prev_state = st;
}

// Unicode blanks separate words although their bytes are word bytes: a word
// starting with them restarts after them, one holding them ends before them.
// Answers true when the token must be scanned again from s.pos.
bool trim_unicode_space(State& s, Token& t) {
  if (!(t.flags & F_UTF8_3)) return false;
  const uint8_t* q = t.start;
  for (int n; (n = unicode_space_at(q, t.end)) > 0;) q += n;
  if (q != t.start) {
    s.pos = q;
    return true;
  }
  for (q = t.start; q < t.end;) {
    if (unicode_space_at(q, t.end)) {
      t.end = s.pos = s.token_end = q;
      t.type = Tok::word;
      t.value_type = T_WORD;
      t.flags = flags_of(t.start, q);
      return false;
    }
    int len;
    decode_utf8(q, t.end, len);
    q += len;
  }
  return false;
}

// A raw string of n `%` ends at the first `}` followed by at least n `%`,
// which the automaton cannot count: it ends any raw string at the first `}%`
// run. Here the real end is found and checked; more `%` at the end than at the
// start, or no end at all, is an error.
void fix_raw_string(State& s, Token& t) {
  const uint8_t* p = t.start;
  size_t n = 0;
  while (p < s.end && *p == '%') ++n, ++p;
  const uint8_t* found = nullptr;
  bool exact = false;
  for (const uint8_t* q = p; q < s.end && *q; ++q) {
    if (*q != '}') continue;
    const uint8_t* r = q + 1;
    size_t k = 0;
    while (r < s.end && *r == '%') ++k, ++r;
    if (k >= n) {
      found = r;
      exact = k == n && token_of(transition[12][class_at(s, r)]) == Tok::raw_string;
      break;
    }
  }
  if (!found) found = t.type == Tok::error ? t.end : s.end;
  if (found > t.end) s.line += lf_count(t.end, found);
  else s.line -= lf_count(found, t.end);
  t.end = s.pos = s.token_end = found;
  t.flags = flags_of(t.start, found);
  t.type = exact ? Tok::raw_string : Tok::error;
  t.prev_state = exact ? 12 : 10;
  t.value_type = exact ? T_STRING : T_ERROR;
}

bool error_token(State& s, Token& t) {
  uint8_t type = state_type[t.prev_state];
  const uint8_t* at = t.start;
  int code = type ? int{type} : int{E_BAD_CHAR};
  bool path = in_path(s);
  if (path && type != T_PATH) code = E_BAD_CHAR;
  if ((is_path_type(type) || type == T_BLOCK || type == T_PAREN) && s.series_start != s.base)
    at = innermost_opener(s);
  if (t.start_state == S_BRACED && s.brace_start) at = s.brace_start;
  bool stopped_before = s.stopped;
  syntax_error(s, code, at);
  if (!s.stopped && !stopped_before) {
    // Suppressed by the trace callback: leave the broken construct behind.
    if (path) drop_series(s);
    if (t.start_state == S_BRACED) s.brace_depth = 0;
  }
  return false;
}

// Word kinds from their sigils. A trailing `:` on a path element makes the
// path a set-path! and the element a plain word.
bool word_kind(State& s, Token& t) {
  const uint8_t* a = t.start;
  size_t n = static_cast<size_t>(t.end - a);
  if (n == 0) return true;
  bool lit = a[0] == '\'', get = a[0] == ':';
  bool set = n > 1 && a[n - 1] == ':';
  if (t.flags & F_COLON) {
    for (size_t i = 1; i + 1 < n; ++i)
      if (a[i] == ':') return syntax_error(s, T_WORD, a);
  }
  if (lit && set) return syntax_error(s, T_LIT_WORD, a);
  if (get && set) return syntax_error(s, T_WORD, a);
  t.value_type = lit ? T_LIT_WORD : get ? T_GET_WORD : set ? T_SET_WORD : T_WORD;
  if (set && t.start_state == S_PATH) {
    Cell* m = cell_at(s.series_start - 1);
    if ((marker_type(m) & SERIES_TYPE_MASK) != T_PATH) return syntax_error(s, T_PATH, innermost_opener(s));
    set_marker_type(m, T_SET_PATH);
    t.value_type = T_WORD;
    s.type_override = T_WORD;
  }
  return true;
}

// Runs the check and load actions of a value token and the scan and load
// trace events. Answers false when an error rejected the token.
bool value_token(State& s, Token& t) {
  const int ty = static_cast<int>(t.type);
  const ActionPair& a = actions[ty];
  const uint32_t mask = s.opts->trace.mask;
  const int event_type = t.value_type ? t.value_type : -ty;
  if (a.scan || (mask & EV_SCAN) || s.opts->mode == Mode::check) {
    Action check = a.scan ? a.scan : a.load;
    if (check && !check(s, t, false)) return false;
    if (!send_event(s, EV_SCAN, event_type, t.end, t.start, t.end, t.line)) {
      s.type_override = -1;
      return true;
    }
  }
  if (s.load && a.load) {
    uint32_t before = s.top;
    bool ok = a.load(s, t, true);
    s.type_override = -1;
    if (!ok) return false;
    if ((mask & EV_LOAD) && s.top > before) {
      if (!send_event(s, EV_LOAD, event_type, t.end, t.start, t.end, t.line, cell_at(s.top - 1)))
        s.top = before;
    }
  }
  s.type_override = -1;
  return true;
}

// Inside a path, the byte after an element decides: `/` goes on, a
// delimiter or the end closes the path, `:` and a delimiter close it as a
// set-path!, anything else is an error.
bool after_element(State& s, Token& t) {
  if (!in_path(s)) return true;
  const uint8_t* p = s.pos;
  uint8_t c = class_at(s, p);
  if (c == C_SLASH) {
    s.pos = p + 1;
    s.start_state = S_PATH;
    return true;
  }
  Cell* m = cell_at(s.series_start - 1);
  if (c == C_COLON) {
    uint8_t c2 = class_at(s, p + 1);
    if (c2 == C_SLASH || !is_delimiter_class(c2) || (marker_type(m) & SERIES_TYPE_MASK) != T_PATH)
      return syntax_error(s, T_PATH, innermost_opener(s));
    set_marker_type(m, T_SET_PATH);
    s.pos = p + 1;
  } else if (!is_delimiter_class(c)) {
    return syntax_error(s, T_PATH, innermost_opener(s));
  }
  uint32_t type = marker_type(m) & SERIES_TYPE_MASK;
  if (!close_series(s)) return false;
  s.start_state = s.brace_depth > 0 ? S_BRACED : S_BETWEEN;
  t.value_type = static_cast<uint8_t>(type);
  return send_event(s, EV_CLOSE, static_cast<int>(type), s.pos, t.start, s.pos, t.line) || true;
}

// A `(` starts a point literal read as one token when what follows up to a
// first `,` could only be numbers.
bool point_ahead(const uint8_t* p, const uint8_t* e) {
  if (e - p < 3) return false;
  for (; p < e; ++p) {
    switch (*p) {
      case '\t': case ' ': case '#': case '+': case '-': case '.':
      case 'A': case 'E': case 'F': case 'I': case 'N':
      case 'a': case 'e': case 'f': case 'i': case 'n':
        continue;
      case ',':
        return true;
      default:
        if (*p >= '0' && *p <= '9') continue;
        return false;
    }
  }
  return false;
}

char closer_of(uint32_t kind) {
  return kind == T_BLOCK || kind == T_MAP ? ']' : ')';
}

bool open_token(State& s, Token& t, uint32_t kind) {
  if (innermost_kind(s) == T_POINT2D) return syntax_error(s, T_POINT2D, t.start);
  open_series(s, kind, t.start);
  send_event(s, EV_OPEN, static_cast<int>(kind), t.start, t.start, t.end, t.line);
  return true;
}

bool close_token(State& s, Token& t, bool block) {
  uint8_t kind = innermost_kind(s);
  bool fits = block ? (kind == T_BLOCK || kind == T_MAP) : (kind == T_PAREN || kind == T_POINT2D);
  if (!fits) {
    if (is_path_type(kind)) return syntax_error(s, T_PATH, innermost_opener(s));
    char missing = kind ? closer_of(kind) : (block ? '[' : '(');
    return syntax_error(s, E_WRONG_CLOSER, t.start, missing);
  }
  if (!close_series(s)) return false;
  t.value_type = kind;
  send_event(s, EV_CLOSE, kind, t.end, t.start, t.end, t.line);
  return after_element(s, t);
}

bool brace_close(State& s, Token& t) {
  s.brace_flags |= t.flags;
  if (--s.brace_depth > 0) {
    s.start_state = S_BRACED;
    t.value_type = 0;
    return true;
  }
  s.start_state = S_BETWEEN;
  Token whole = t;
  whole.start = s.brace_start;
  whole.flags = s.brace_flags;
  whole.value_type = T_STRING;
  s.token_lines = s.brace_lines;
  s.brace_start = nullptr;
  bool ok = true;
  if (Action a = actions[static_cast<int>(Tok::brace_close)].scan) ok = a(s, whole, s.load);
  s.type_override = -1;
  if (!ok) return false;
  send_event(s, EV_CLOSE, T_STRING, t.end, whole.start, t.end, t.line);
  return after_element(s, t);
}

// The first element of a path is its head token, loaded as a word.
bool path_head(State& s, Token& t) {
  Token head = t;
  head.end = t.end - 1;  // the `/`
  bool issue = t.prev_state == 22;
  head.type = issue ? Tok::issue : Tok::word;
  head.value_type = issue ? T_ISSUE : T_WORD;
  if (in_path(s)) {
    // An element followed by `/` inside a path goes on with the next one.
    if (!value_token(s, head)) return false;
    s.start_state = S_PATH;
    return true;
  }
  uint32_t kind = head.start[0] == '\'' ? T_LIT_PATH : head.start[0] == ':' ? T_GET_PATH : T_PATH;
  if (!open_token(s, t, kind)) return false;
  // The path kind keeps a word head's sigil; an issue head stays an issue,
  // which no path kind could carry back to text.
  s.type_override = issue ? -1 : T_WORD;
  if (!value_token(s, head)) return false;
  s.start_state = S_PATH;
  return true;
}

bool comma_token(State& s, Token& t) {
  Cell* m = s.series_start == s.base ? nullptr : cell_at(s.series_start - 1);
  uint32_t kind = m ? marker_type(m) & SERIES_TYPE_MASK : 0;
  if (kind == T_PAREN) set_marker_type(m, T_POINT2D | COMMA_UNIT);
  else if (kind == T_POINT2D) set_marker_type(m, marker_type(m) + COMMA_UNIT);
  else return syntax_error(s, T_POINT2D, t.start);
  return true;
}

// Structural tokens and value tokens alike; answers false on an error.
bool dispatch(State& s, Token& t) {
  switch (t.type) {
    case Tok::end:
      s.pos = s.end;
      return true;
    case Tok::error:
      return error_token(s, t);
    case Tok::block_open:
      return open_token(s, t, T_BLOCK);
    case Tok::map_open:
      return open_token(s, t, T_MAP);
    case Tok::paren_open:
      if (point_ahead(t.end, s.end)) {
        if (innermost_kind(s) == T_POINT2D) return syntax_error(s, T_POINT2D, t.start);
        s.start_state = S_POINT;
        s.point = true;
        return true;
      }
      return open_token(s, t, T_PAREN);
    case Tok::block_close:
      return close_token(s, t, true);
    case Tok::paren_close:
      return close_token(s, t, false);
    case Tok::brace_open:
      if (t.start_state == S_BRACED) {
        ++s.brace_depth;
        s.brace_flags |= t.flags;
      } else {
        s.brace_start = t.start;
        s.brace_depth = 1;
        s.brace_flags = t.flags;
        s.brace_lines = s.token_lines;
        send_event(s, EV_OPEN, T_STRING, t.start, t.start, t.end, t.line);
      }
      s.start_state = S_BRACED;
      return true;
    case Tok::brace_close:
      return brace_close(s, t);
    case Tok::path_slash:
      return path_head(s, t);
    case Tok::construct: {
      if (Action a = actions[static_cast<int>(Tok::construct)].scan)
        if (!a(s, t, s.load)) return false;
      return after_element(s, t);
    }
    case Tok::comment:
      return true;
    case Tok::comma:
      return comma_token(s, t);
    case Tok::word:
      if (!word_kind(s, t)) return false;
      break;
    case Tok::issue:
      if (t.end - t.start < 2) return syntax_error(s, T_ISSUE, t.start);
      break;
    case Tok::url:
      // `b:` then more inside a path element is no url.
      if (t.start_state == S_PATH) {
        const uint8_t* colon = static_cast<const uint8_t*>(std::memchr(t.start, ':', t.end - t.start));
        bool slash = colon && colon + 1 < t.end && colon[1] == '/';
        return syntax_error(s, slash ? T_PATH : T_WORD, slash ? innermost_opener(s) : t.start);
      }
      break;
    case Tok::point:
      s.point = false;
      break;
    default:
      break;
  }
  if (!value_token(s, t)) return false;
  return after_element(s, t);
}

// Unlinks the state on every exit, an error thrown through the scan included.
struct ChainGuard {
  State& s;
  explicit ChainGuard(State& st) : s(st) { link(s); }
  ~ChainGuard() { unlink(s); }
  ChainGuard(const ChainGuard&) = delete;
  ChainGuard& operator=(const ChainGuard&) = delete;
};

}  // namespace

namespace detail {

bool send_event(State& s, Event ev, int type, const uint8_t* index, const uint8_t* start,
                const uint8_t* end, int line, const Cell* value) {
  const Trace& tr = s.opts->trace;
  if (!(tr.mask & ev) || !tr.fn) return true;
  TraceEvent e{ev, static_cast<uint32_t>(index - s.begin), type, line,
               static_cast<uint32_t>(start - s.begin), static_cast<uint32_t>(end - s.begin), value};
  const uint32_t before = e.index;
  bool answer = tr.fn(tr.ctx, s, e);
  if (e.index != before) {
    size_t size = static_cast<size_t>(s.end - s.begin);
    s.pos = s.begin + (e.index < size ? e.index : size);
  }
  return answer;
}

}  // namespace detail

Result scan(std::span<const uint8_t> text, const Options& o) {
  init_buffer();
  State s;
  s.begin = s.pos = text.data();
  s.end = s.begin + text.size();
  if (!s.begin) s.begin = s.pos = s.end = reinterpret_cast<const uint8_t*>("");
  s.opts = &o;
  s.load = o.mode == Mode::load;
  s.input_series = o.input_series;
  s.callback = o.callback;
  if (const State* outer = chain_tail()) s.base = outer->top;
  s.series_start = s.top = s.base;
  ChainGuard guard(s);

  Result r;
  const bool stop_after_one = o.one || o.mode == Mode::check;
  for (;;) {
    Token t;
    s.token_lines = 0;
    run(s, t);
    if ((t.type == Tok::word || t.type == Tok::path_slash) && trim_unicode_space(s, t)) continue;
    if (t.type == Tok::raw_string || (t.type == Tok::error && (t.prev_state == 11 || t.prev_state == 12)))
      fix_raw_string(s, t);
    if (t.end == t.start && t.type != Tok::end && t.type != Tok::error) t.type = Tok::error;
    s.value_type = t.value_type;
    if (o.on_token) o.on_token(o.token_ctx, s, t);
    const uint8_t start_state = s.start_state;
    s.start_state = s.brace_depth > 0 ? S_BRACED : S_BETWEEN;
    bool go = true;
    if (start_state != S_BRACED) {
      int type = t.value_type ? t.value_type : -static_cast<int>(t.type);
      const uint8_t* index = t.value_type ? t.end : t.start;
      go = send_event(s, EV_PRESCAN, type, index, t.start, t.end, t.line);
    }
    if (go) dispatch(s, t);
    if (s.stopped) break;
    if (t.type == Tok::end) break;
    r.type = t.value_type;
    if (stop_after_one && t.value_type && t.type != Tok::path_slash && !in_path(s) &&
        s.start_state != S_BRACED && s.series_start == s.base && s.top - s.base <= 1)
      break;
  }
  if (!s.stopped) {
    while (in_path(s) && close_series(s)) {}
    if (!s.stopped && s.series_start != s.base)
      syntax_error(s, E_MISSING_END, innermost_opener(s), closer_of(innermost_kind(s)),
                   static_cast<uint8_t>(innermost_kind(s)));
  }
  if (!s.stopped && s.load && o.finish) o.finish(o.finish_ctx, s);
  r.ok = !s.stopped;
  r.lines = s.line;
  r.consumed = o.input_is_string ? char_index(s, s.pos) : static_cast<uint32_t>(s.pos - s.begin);
  return r;
}

}  // namespace xeb::lexer
