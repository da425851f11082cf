// The entries of the native families, for the native table.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/stack.h"

namespace xeb::natives {

#define XEB_NATIVE_FAMILY(X)                                                                                  \
  X(if_) X(unless) X(either) X(any) X(all) X(switch_) X(case_) X(do_) X(reduce) X(compose) X(apply)      \
  X(break_) X(continue_) X(exit_) X(return_) X(throw_) X(catch_) X(try_)                                  \
  X(func) X(function) X(does) X(has) X(get) X(set) X(unset) X(value_q) X(context_q) X(bind) X(in)        \
  X(type_q) X(construct) X(extend) X(new_line) X(new_line_q)                                              \
  X(print) X(prin)                                                                                         \
  X(equal_q) X(not_equal_q) X(strict_equal_q) X(lesser_q) X(greater_q) X(lesser_or_equal_q)               \
  X(greater_or_equal_q) X(same_q)

#define XEB_X(name) void name(bool check, const int32_t* refs);
XEB_NATIVE_FAMILY(XEB_X)
#undef XEB_X

// The loop, math, set, text and system families (natives_*.cpp).
#define XEB_NATIVE_FAMILY_MORE(X)                                                                             \
  X(while_) X(until) X(loop) X(repeat) X(forever) X(foreach) X(forall) X(remove_each)                      \
  X(not_) X(negative_q) X(positive_q) X(sign_q) X(zero_q) X(nan_q) X(max_) X(min_) X(shift) X(to_hex)      \
  X(sine) X(cosine) X(tangent) X(arcsine) X(arccosine) X(arctangent) X(arctangent2)                        \
  X(log_2) X(log_10) X(log_e) X(exp_) X(square_root)                                                       \
  X(union_) X(intersect) X(unique) X(difference) X(exclude) X(complement_q)                                 \
  X(dehex) X(enhex) X(debase) X(enbase) X(uppercase) X(lowercase) X(to_local_file) X(as_)                   \
  X(stats) X(recycle) X(wait) X(get_env) X(set_env) X(list_env) X(call_) X(size_q) X(transcode)          \
  X(now) X(as_pair) X(as_point2d) X(as_point3d) X(as_money)

#define XEB_X(name) void name(bool check, const int32_t* refs);
XEB_NATIVE_FAMILY_MORE(XEB_X)
#undef XEB_X

// Natives whose families come later: they raise not-done.
void not_yet(bool check, const int32_t* refs);

// Argument helpers of the entries (inline: every native reads through them).
inline Cell* arg(int i) { return stack::base() + i; }
inline Cell* opt(int32_t ref) { return ref >= 0 ? stack::base() + ref : nullptr; }  // or null
inline bool present(int32_t ref) { return ref != -1; }

}  // namespace xeb::natives
