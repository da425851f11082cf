// Text, encoding and conversion natives: dehex, enhex, debase, enbase,
// uppercase, lowercase, to-local-file and as. Each is a thin layer over an
// encoder or constructor of the value model; the natives fix the argument
// forms, the bases and the errors.
#include <string>

#include "datatypes/binary.h"
#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "evaluator/native_entries.h"
#include "evaluator/natives_support.h"
#include "runtime/casemap.h"
#include "runtime/stack.h"

namespace xeb::natives {

namespace {

bool any_string(TypeId t) { return series::string_like(t); }

// The base of /base: 2, 16, 58 or 64 (the default).
int base_of(const int32_t* refs) {
  Cell* b = opt(refs[ref(Id::debase, "base")]);
  if (!b) return 64;
  int32_t n = is_type(b, T_INTEGER) ? get_int(b) : 0;
  if (n != 2 && n != 16 && n != 58 && n != 64) fire(Err::invalid_arg, b);
  return n;
}

// Characters the encoder of a base needs for len bytes, or -1 when that
// does not fit a 32-bit size.
int64_t encoded_size(int base, int64_t len) {
  int64_t n = base == 2 ? len * 8 : base == 16 ? len * 2 : base == 58 ? len * 138 / 100 + 1 : len * 4 / 3 + 4;
  return n > INT32_MAX ? -1 : n;
}

void new_string_result(int32_t room, void (*fill)(const Cell* src, Cell* out, bool flag), bool flag) {
  Cell* out = string::push_new(room);
  fill(arg(0), out, flag);
  stack::set_result_trim(out);
}

}  // namespace

void dehex(bool, const int32_t*) {
  if (!any_string(type_of(arg(0)))) refuse_arg(0, arg(0));
  new_string_result(string::xs_length_q(arg(0)), [](const Cell* s, Cell* out, bool) { url::decode(s, out); }, false);
}

void enhex(bool, const int32_t*) {
  if (!any_string(type_of(arg(0)))) refuse_arg(0, arg(0));
  new_string_result(string::xs_length_q(arg(0)),
                    [](const Cell* s, Cell* out, bool) { url::encode(s, out, is_type(s, T_STRING) ? url::Class::url : url::Class::file); }, false);
}

void debase(bool, const int32_t* refs) {
  Cell* v = arg(0);
  if (!any_string(type_of(v))) refuse_arg(0, v);
  int base = base_of(refs);
  std::byte* text = string::xs_head(v);
  Node n = binary::decode(base, text, string::xs_length_q(v), series::buf(v)->unit());
  if (!n) {
    stack::set_result_trim(&fixed_none);  // text that does not decode is no error
    return;
  }
  series::set_cell(stack::base(), T_BINARY, n);
  stack::set_top(stack::base() + 1);
}

void enbase(bool, const int32_t* refs) {
  Cell* v = arg(0);
  int base = base_of(refs);
  std::string bytes;
  if (is_type(v, T_BINARY)) {
    int32_t len = binary::xs_length_q(v);
    bytes.assign(reinterpret_cast<const char*>(binary::xs_head(v)), static_cast<size_t>(len < 0 ? 0 : len));
  } else if (any_string(type_of(v))) {
    bytes = string::utf8_of(v);
  } else {
    refuse_arg(0, v);
  }
  int64_t size = encoded_size(base, static_cast<int64_t>(bytes.size()));
  if (size < 0) fire(Err::too_long);
  std::string out(static_cast<size_t>(size), '\0');
  const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
  int32_t len = static_cast<int32_t>(bytes.size());
  char* end = base == 2    ? binary::encode_2(out.data(), in, len)
              : base == 16 ? binary::encode_16(out.data(), in, len)
              : base == 58 ? binary::encode_58(out.data(), in, len)
                           : binary::encode_64(out.data(), in, len);
  Cell* s = string::load(reinterpret_cast<const uint8_t*>(out.data()), static_cast<int32_t>(end - out.data()),
                         nullptr, string::ENC_UTF8);
  stack::set_result_trim(s);
}

namespace {

void change_case(const int32_t* refs, bool upper) {
  Cell* v = arg(0);
  if (is_type(v, T_CHAR)) {
    char_::set_code_point(v, unicode::to_case(char_::code_point(v), upper));
  } else if (any_string(type_of(v))) {
    unicode::to_case_string(v, opt(refs[ref(Id::uppercase, "part")]), upper);
  } else {
    refuse_arg(0, v);
  }
  stack::set_top(stack::base() + 1);
}

}  // namespace

void uppercase(bool, const int32_t* refs) { change_case(refs, true); }
void lowercase(bool, const int32_t* refs) { change_case(refs, false); }

void to_local_file(bool, const int32_t* refs) {
  Cell* p = arg(0);
  if (!is_type(p, T_FILE) && !is_type(p, T_STRING)) refuse_arg(0, p);
  new_string_result(string::xs_length_q(p), [](const Cell* s, Cell* out, bool full) { file::to_local_path(s, out, full); },
                    present(refs[ref(Id::to_local_file, "full")]));
}

void as_(bool, const int32_t*) {
  Cell* type = arg(0);
  Cell* spec = arg(1);
  int target = is_type(type, T_DATATYPE) ? datatype::id_of(type) : type_of(type);
  int source = type_of(spec);
  bool same_class = (series::block_like(target) && series::block_like(source) && target != T_HASH && source != T_HASH) ||
                    (series::string_like(target) && series::string_like(source));
  if (!same_class) {
    if (!series::any_series(source)) refuse_arg(1, spec);
    Cell a = datatype::make_cell(source), b = datatype::make_cell(target);
    fire(Err::not_same_class, &a, &b);
  }
  Cell r = *spec;
  set_type(&r, static_cast<TypeId>(target));
  if (series::block_like(target)) series::set_extra(&r, 0);  // a path keeps no evaluation state
  stack::set_result_trim(&r);
}

}  // namespace xeb::natives
