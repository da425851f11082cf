// Lexer internals shared by its modules: the action table, the value
// buffer's growth, the chain of running scans, and UTF-8 helpers.
#pragma once
#include <cstdint>

#include "lexer/lexer.h"

namespace xeb::lexer::detail {

extern ActionPair actions[TOKEN_TYPES + 1];
extern CloseAction close_action;

void init_buffer();  // allocates the value buffer once

// Sends a trace event when the callback's mask asks for it; answers the
// callback's verdict (true when none is sent). A callback that moves the
// index moves the scan position.
bool send_event(State& s, Event ev, int type, const uint8_t* index, const uint8_t* start,
                const uint8_t* end, int line, const Cell* value = nullptr);

// The chain of running scans; link/unlink keep head and tail.
void link(State& s);
void unlink(State& s);
State* chain_tail();

// Decodes one UTF-8 sequence at p (< e); answers the code point and sets len,
// or -1 with len 1 for a malformed or truncated sequence.
int32_t decode_utf8(const uint8_t* p, const uint8_t* e, int& len);
// Code points other than ASCII blanks that separate values.
bool is_unicode_space(int32_t cp);
// Length of the Unicode blank at p, 0 when there is none.
int unicode_space_at(const uint8_t* p, const uint8_t* e);

}  // namespace xeb::lexer::detail
