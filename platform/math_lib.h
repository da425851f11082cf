// The C math library, loaded at the first call of one of its functions.
//
// Linked, it cost every start the mapping and relocation of one more
// library (ten page faults, a dozen system calls), while most sessions never
// call a function of it. math_lib.cpp defines the functions the program calls
// under their own names and forwards each to the library's, loaded with
// dlopen at the first call: the same code, so the same results to the last
// bit. A function missing from its list brings the library back into the
// link, which costs start-up time only. A few are done here in place: the
// rounding-mode pair the C++ library's number conversions call, and frexp
// and ldexp, whose results are exact or rounded once, so the same from any
// correct version.
#pragma once

namespace xeb::platform {

// Every floating-point exception masked and cleared, rounding to nearest,
// full precision, no flushing of denormals: the state the program assumes.
void reset_float_env();

}  // namespace xeb::platform
