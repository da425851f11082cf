// The key decoder: a small parser over the bytes held, which it consumes
// only when a whole key is there.
#include "platform/key_decoder.h"

namespace xeb::platform {

namespace {

constexpr uint8_t ESC = 0x1B;
constexpr size_t kMaxSequence = 64;     // a CSI longer than this is noise
constexpr size_t kMaxString = 4096;     // OSC and DCS strings
constexpr int kMaxParams = 8;

Key key(KeyKind kind, uint8_t mods = 0) {
  Key k;
  k.kind = kind;
  k.mods = mods;
  return k;
}

Key character(char32_t c) {
  Key k = key(KeyKind::character);
  k.ch = c;
  return k;
}

Key function_key(int n, uint8_t mods) {
  Key k = key(KeyKind::function, mods);
  k.a = n;
  return k;
}

// xterm's modifier parameter: 1 + shift(1) + alt(2) + control(4).
uint8_t mods_of(int p) { return p >= 2 && p <= 16 ? static_cast<uint8_t>((p - 1) & 7) : 0; }

Key tilde_key(int p0, uint8_t mods) {
  switch (p0) {
    case 1: case 7: return key(KeyKind::home, mods);
    case 2: return key(KeyKind::insert, mods);
    case 3: return key(KeyKind::del, mods);
    case 4: case 8: return key(KeyKind::end, mods);
    case 5: return key(KeyKind::page_up, mods);
    case 6: return key(KeyKind::page_down, mods);
    case 11: case 12: case 13: case 14: case 15: return function_key(p0 - 10, mods);
    case 17: case 18: case 19: case 20: case 21: return function_key(p0 - 11, mods);
    case 23: case 24: return function_key(p0 - 12, mods);
    default: return key(KeyKind::unknown);
  }
}

// The keys a final letter names, after CSI or SS3.
bool letter_key(uint8_t f, uint8_t mods, Key& k) {
  switch (f) {
    case 'A': k = key(KeyKind::up, mods); return true;
    case 'B': k = key(KeyKind::down, mods); return true;
    case 'C': k = key(KeyKind::right, mods); return true;
    case 'D': k = key(KeyKind::left, mods); return true;
    case 'H': k = key(KeyKind::home, mods); return true;
    case 'F': k = key(KeyKind::end, mods); return true;
    case 'P': case 'Q': case 'R': case 'S': k = function_key(f - 'P' + 1, mods); return true;
    default: return false;
  }
}

}  // namespace

void KeyDecoder::feed(std::span<const uint8_t> bytes) {
  compact();
  buf_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void KeyDecoder::compact() {
  if (pos_ == 0) return;
  buf_.erase(0, pos_);
  pos_ = 0;
}

KeyDecoder::Step KeyDecoder::escape(Key& k, size_t& used) const {
  const auto at = [&](size_t i) { return static_cast<uint8_t>(buf_[pos_ + i]); };
  const size_t avail = buf_.size() - pos_;
  if (avail < 2) return Step::need_more;
  const uint8_t intro = at(1);
  if (intro == 'O') {  // SS3: arrows, Home/End, F1-F4, keypad Enter
    if (avail < 3) return Step::need_more;
    used = 3;
    if (at(2) == 'M') k = character(13);
    else if (!letter_key(at(2), 0, k)) k = key(KeyKind::unknown);
    return Step::done;
  }
  if (intro == ']' || intro == 'P') {  // OSC and DCS strings: skipped whole
    for (size_t i = 2; i < avail; i++) {
      if (at(i) == 7 && intro == ']') { used = i + 1; k = key(KeyKind::unknown); return Step::done; }
      if (at(i) == ESC) {
        if (i + 1 == avail) return Step::need_more;
        if (at(i + 1) == '\\') { used = i + 2; k = key(KeyKind::unknown); return Step::done; }
      }
    }
    if (avail >= kMaxString) { used = avail; k = key(KeyKind::unknown); return Step::done; }
    return Step::need_more;
  }
  if (intro != '[') {
    // Alt with a key: ESC then the key's byte (DEL and controls included).
    if (intro == ESC || intro >= 0x80) return Step::not_sequence;
    used = 2;
    k = character(intro);
    k.mods = key_mod::alt;
    return Step::done;
  }

  // CSI: an optional private marker, parameters, intermediates, a final byte.
  int params[kMaxParams] = {};
  int n_params = 0;
  bool have_digit = false;
  uint8_t marker = 0;
  size_t i = 2;
  if (i < avail && (at(i) == '<' || at(i) == '?' || at(i) == '>' || at(i) == '=')) marker = at(i++);
  for (;; i++) {
    if (i >= avail) {
      if (avail >= kMaxSequence) { used = avail; k = key(KeyKind::unknown); return Step::done; }
      return Step::need_more;
    }
    const uint8_t c = at(i);
    if (c >= '0' && c <= '9') {
      if (n_params < kMaxParams) {
        params[n_params] = params[n_params] * 10 + (c - '0');
        if (params[n_params] > 100000) params[n_params] = 100000;
      }
      have_digit = true;
    } else if (c == ';' || c == ':') {
      if (n_params < kMaxParams) n_params++;
      have_digit = false;
    } else if (c >= 0x20 && c <= 0x2F) {
      // an intermediate byte: kept to its final byte, which decides
    } else if (c >= 0x40 && c <= 0x7E) {
      break;
    } else {
      // A control byte (ESC included) breaks the sequence off: what came
      // before is noise, the byte is decoded afresh.
      used = i;
      k = key(KeyKind::unknown);
      return Step::done;
    }
  }
  if (have_digit || n_params > 0) n_params = n_params < kMaxParams ? n_params + 1 : kMaxParams;
  used = i + 1;
  const uint8_t f = at(i);
  const uint8_t mods = n_params >= 2 ? mods_of(params[1]) : 0;
  if (marker == '<') {
    if ((f == 'M' || f == 'm') && n_params == 3) {
      k = key(KeyKind::mouse);
      k.a = params[0];
      k.b = params[1];
      k.c = params[2];
      k.release = f == 'm';
    } else {
      k = key(KeyKind::unknown);
    }
    return Step::done;
  }
  if (marker != 0) { k = key(KeyKind::unknown); return Step::done; }
  if (f == 'R' && n_params == 2) {
    k = key(KeyKind::cursor_report);
    k.b = params[0];
    k.c = params[1];
  } else if (f == '~') {
    k = tilde_key(n_params > 0 ? params[0] : 0, mods);
  } else if (f == 'Z') {
    k = key(KeyKind::back_tab);
  } else if (!letter_key(f, mods, k)) {
    k = key(KeyKind::unknown);
  }
  return Step::done;
}

KeyDecoder::Step KeyDecoder::utf8(Key& k, size_t& used, bool flush) const {
  const auto at = [&](size_t i) { return static_cast<uint8_t>(buf_[pos_ + i]); };
  const size_t avail = buf_.size() - pos_;
  const uint8_t b = at(0);
  used = 1;
  if (b < 0x80) { k = character(b); return Step::done; }
  size_t len;
  char32_t cp;
  if (b >= 0xC2 && b <= 0xDF) len = 2, cp = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF) len = 3, cp = b & 0x0F;
  else if (b >= 0xF0 && b <= 0xF4) len = 4, cp = b & 0x07;
  else { k = character(0xFFFD); return Step::done; }
  for (size_t i = 1; i < len; i++) {
    if (i >= avail) {
      if (!flush) return Step::need_more;
      used = i;  // cut short for good
      k = character(0xFFFD);
      return Step::done;
    }
    if ((at(i) & 0xC0) != 0x80) {
      used = i;  // the byte that broke it starts the next key
      k = character(0xFFFD);
      return Step::done;
    }
    cp = (cp << 6) | (at(i) & 0x3F);
  }
  used = len;
  const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  const bool bad = overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF);
  k = character(bad ? 0xFFFD : cp);
  return Step::done;
}

std::optional<Key> KeyDecoder::next(bool flush, bool at_end) {
  if (pos_ >= buf_.size()) return std::nullopt;
  Key k;
  size_t used = 0;
  Step s;
  if (static_cast<uint8_t>(buf_[pos_]) == ESC) {
    s = escape(k, used);
    if (s == Step::need_more && !(flush || at_end)) return std::nullopt;
    if (s != Step::done) {
      k = character(ESC);
      used = 1;
    }
  } else {
    s = utf8(k, used, at_end);
    if (s == Step::need_more) return std::nullopt;
  }
  pos_ += used;
  if (pos_ >= buf_.size()) {
    buf_.clear();
    pos_ = 0;
  }
  return k;
}

Key read_key(TermIO& io, KeyDecoder& dec) {
  for (;;) {
    if (auto k = dec.next()) return *k;
    const bool held = dec.holding();
    // Only an ESC waits a limited time; a character cut short waits for its
    // rest however long it takes.
    switch (io.wait(io.self, dec.holding_escape() ? ESCAPE_WAIT_MS : -1)) {
      case Ready::resize:
        return key(KeyKind::resize);
      case Ready::timeout:
        if (auto k = dec.next(true)) return *k;
        continue;
      case Ready::failed:
        if (held) return *dec.next(true, true);
        return key(KeyKind::end_of_input);
      case Ready::input: {
        uint8_t buf[256];
        const long n = io.read(io.self, buf, sizeof buf);
        if (n <= 0) {
          if (held) return *dec.next(true, true);
          return key(KeyKind::end_of_input);
        }
        dec.feed(std::span<const uint8_t>(buf, static_cast<size_t>(n)));
        continue;
      }
    }
  }
}

}  // namespace xeb::platform
