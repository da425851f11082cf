// The call stack: one record per call in progress. It restores the caller's
// arguments base when a call ends, gives compiled function contexts fresh
// values per call (recursion), marks the catching points of non-local exits,
// names the current function in error reports and hands the collector the
// contexts in use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/shapes.h"

namespace xeb {

enum class FrameType : uint32_t {
  function = 1, native = 2, try_ = 4, try_all = 5, catch_ = 6, eval = 7, loop = 8,
};

// Header bits of a frame.
constexpr uint32_t FRAME_TYPE_SHIFT = 24;
constexpr uint32_t FRAME_TYPE_MASK = 0x0F000000;
constexpr uint32_t FRAME_BODY = 0x10000000;    // runs a function body: target of return and exit
constexpr uint32_t FRAME_INTERP = 0x80000000;  // pushed by the interpreter, or marked by apply

constexpr uint32_t frame_flags(FrameType t) { return static_cast<uint32_t>(t) << FRAME_TYPE_SHIFT; }

// The fields are laid out so that a frame is written in three 8-byte
// stores: ctx and sym in a word cell's order (its words 1 and 2).
struct CallFrame {
  uint32_t header;  // type and marks; the symbol has its own word so ids keep 32 bits
  Off base_at;      // arguments base when pushed, as a region offset (one step from a pointer)
  Node ctx;         // context of the called word
  uint32_t sym;     // symbol id of the called word
  Node fctx;        // compiled call: the function context; else 0
  Off saved;        // that context's values pointer before the call, or 0

  FrameType type() const { return static_cast<FrameType>((header & FRAME_TYPE_MASK) >> FRAME_TYPE_SHIFT); }
  bool body() const { return header & FRAME_BODY; }
  bool interpreted() const { return header & FRAME_INTERP; }
};
static_assert(sizeof(CallFrame) == 24);
static_assert(offsetof(CallFrame, ctx) == 8 && offsetof(CallFrame, sym) == 12 && offsetof(CallFrame, fctx) == 16 &&
              offsetof(CallFrame, saved) == 20);

namespace stack {

constexpr int MAX_FRAMES = 12000;

struct CallStack {
  CallFrame* bottom;
  CallFrame* top;  // next free record
  CallFrame* end;
  CallFrame* throw_origin;  // where a throw started, or null
};
extern CallStack cs;

// Symbol ids the reports need, and the seam to the word layer; set once
// symbols exist. Until then names are 0 and no frame is skipped.
struct Names {
  uint32_t body = 0, anon = 0, self = 0, not_found = 0;
  // Writes a word! of the symbol bound to ctx (0: the global context).
  // Unset: an unresolved word cell [ctx, sym, -1].
  void (*make_word)(Cell* out, uint32_t sym, Node ctx) = nullptr;
};
extern Names names;

inline std::span<CallFrame> frames() { return {cs.bottom, cs.top}; }
inline uint32_t depth() { return static_cast<uint32_t>(cs.top - cs.bottom); }
inline CallFrame* top_frame() { return cs.top > cs.bottom ? cs.top - 1 : nullptr; }

// A full call stack: empties the cycle stack and raises internal
// stack-overflow; the data stack is left as it is.
[[noreturn]] void call_overflow();

// Pushing; each answers the new arguments base (the data-stack top). A full
// call stack raises as above; no frame is pushed. Inline: every call and
// block the interpreter runs pushes one.
// Writes a frame's fields in three 8-byte stores.
inline void put_frame(CallFrame* f, uint32_t flags, uint64_t ctx_sym, uint64_t fctx_saved) {
  uint64_t head = flags | uint64_t{off(ds.base)} << 32;
  auto* p = reinterpret_cast<std::byte*>(f);
  std::memcpy(p, &head, 8);
  std::memcpy(p + 8, &ctx_sym, 8);
  std::memcpy(p + 16, &fctx_saved, 8);
}
// fctx_saved: a compiled call's function context and that context's values
// pointer (fctx and saved in one word), else 0.
inline Cell* push_frame(uint32_t sym, Node ctx, uint32_t flags, uint64_t fctx_saved = 0) {
  if (cs.top >= cs.end) call_overflow();
  put_frame(cs.top++, flags, ctx | uint64_t{sym} << 32, fctx_saved);
  return ds.base = ds.top;
}
inline Cell* push_frame(const Cell* word, uint32_t flags, uint64_t fctx_saved = 0) {
  if (cs.top >= cs.end) call_overflow();
  uint64_t ctx_sym;  // words 1 and 2 of a word cell
  std::memcpy(&ctx_sym, payload(word), 8);
  put_frame(cs.top++, flags, ctx_sym, fctx_saved);
  return ds.base = ds.top;
}
inline Cell* mark_native(const Cell* w) { return push_frame(w, frame_flags(FrameType::native)); }
inline Cell* mark_interp_native(const Cell* w) { return push_frame(w, frame_flags(FrameType::native) | FRAME_INTERP); }
inline Cell* mark_interp_func(const Cell* w) { return push_frame(w, frame_flags(FrameType::function) | FRAME_INTERP); }
inline Cell* mark_try(const Cell* w) { return push_frame(w, frame_flags(FrameType::try_)); }
inline Cell* mark_try_all(const Cell* w) { return push_frame(w, frame_flags(FrameType::try_all)); }
inline Cell* mark_catch(const Cell* w) { return push_frame(w, frame_flags(FrameType::catch_)); }
inline Cell* mark_eval(const Cell* w) { return push_frame(w, frame_flags(FrameType::eval) | FRAME_INTERP); }
inline Cell* mark_loop(const Cell* w) { return push_frame(w, frame_flags(FrameType::loop)); }
// A compiled call: the frame keeps the function context's values pointer so
// the callee can point it at its own arguments.
Cell* mark_func(const Cell* word, Node fctx);

// Values pointer of a context whose values live on the data stack (word 2
// of its context cell).
inline Off& values_of(Node ctx) { return context_store(buf_of(ctx)->cells()); }

// The callee's prologue: the function context's values become the arguments
// of the function frame on top, which then runs the body (the target of
// return and exit).
inline void enter_body(Node fctx) {
  values_of(fctx) = off(ds.base);
  memory::kept_local = memory::KeptCells{fctx, ds.base};
  (cs.top - 1)->header |= FRAME_BODY;
}

// Popping. Popping an empty call stack changes nothing.
// The arguments base a frame gives back when popped.
inline Cell* saved_base(const CallFrame* f) { return at<Cell>(f->base_at); }

inline void unwind() {  // top = base + 1, base = the saved base
  if (cs.top == cs.bottom) return;
  CallFrame* f = --cs.top;
  ds.top = ds.base + 1;
  ds.base = saved_base(f);
}
inline void unwind_func() {  // restores the function context's values first
  if (cs.top == cs.bottom) return;
  CallFrame* f = --cs.top;
  if (f->fctx) {
    values_of(f->fctx) = f->saved;
    memory::kept_local.key = ~0u;
  }
  ds.top = ds.base + 1;
  ds.base = saved_base(f);
}
void unwind_last();       // and copies the result into the caller's result slot
void unwind_to_base();    // empty afterwards: base = top = bottom
// Pops to the nearest frame of the type (or try/all, or the bottom),
// restoring function contexts on the way; answers that frame or null. With
// keep it stays as the top frame and base is its own base; without, base is
// the base saved in it and the frame stays pushed for the caller to drop.
// top = the starting base + 1 (the innermost result is kept above).
CallFrame* unwind_to_type(FrameType type, bool keep);
// Pops down to depth n, restoring function contexts (landing points).
void cut_to(uint32_t n);

// Marks and queries.
void set_body_flag(bool on);
CallFrame* set_body_flag_below();  // the frame marked, or null
inline void clear_frame_body_flag(CallFrame* f) { f->header &= ~FRAME_BODY; }
void set_interp_flag();
bool interpreted(const CallFrame* from, bool only_next);
inline CallFrame* frame_top() { return cs.top; }  // position, for set_frame_top
inline void set_frame_top(CallFrame* f) { cs.top = f; }

// Reports. A frame is reported unless its symbol is <body> or <anon>.
inline bool reported(const CallFrame& f) { return !names.body || (f.sym != names.body && f.sym != names.anon); }
// The nearest reported frame below the throw origin (else below the top);
// null below the bottom. Always clears the throw origin.
const CallFrame* caller_frame();
// The word of caller_frame bound to its ctx; <not-found> when none.
void caller_word(Cell* out);
// Unless the error's stack field holds a block, stores the call-stack
// depth in it as an integer! (read back by the trace writers).
void record_error_position(Cell* stack_field);
// The collector's root walk over the frames.
void mark_gc_frames();

}  // namespace stack
}  // namespace xeb
