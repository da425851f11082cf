// The native list: every native once, in index order (a native's index is
// its row, from 1). The ids, the entry table, the declarations of the
// entries, the names and the call specs come from here; adding a native is
// one row here and its spec a user reads in builtin_docs.h. A row is
// X(id, entry, name, spec): id names the native in C++ (natives::Id), entry
// is its function (not_yet while its family is not built), spec is the text
// of the spec its calls are made and checked by: the arguments and
// refinements in order, with the type words checked at call time.
#pragma once

#define XEB_NATIVES(X) \
  X(if_, if_, "if", "cond [any-type!] then-blk [block!]") \
  X(unless, unless, "unless", "cond [any-type!] then-blk [block!]") \
  X(either, either, "either", "cond [any-type!] true-blk [block!] false-blk [block!]") \
  X(any, any, "any", "conds [block!]") \
  X(all, all, "all", "conds [block!]") \
  X(while_, while_, "while", "cond [block!] body [block!]") \
  X(until, until, "until", "body [block!]") \
  X(loop, loop, "loop", "count [integer! float!] body [block!]") \
  X(repeat, repeat, "repeat", "'word [word!] value [integer! float!] body [block!]") \
  X(forever, forever, "forever", "body [block!]") \
  X(foreach, foreach, "foreach", "'word [word! block!] series [series! map!] body [block!]") \
  X(forall, forall, "forall", "'word [word!] body [block!]") \
  X(remove_each, remove_each, "remove-each", "'word [word! block!] data [series!] body [block!]") \
  X(func, func, "func", "spec [block!] body [block!]") \
  X(function, function, "function", "spec [block!] body [block!] /extern") \
  X(does, does, "does", "body [block!]") \
  X(has, has, "has", "vars [block!] body [block!]") \
  X(switch_, switch_, "switch", "value [any-type!] cases [block!] /default case [block!]") \
  X(case_, case_, "case", "cases [block!] /all") \
  X(do_, do_, "do", "value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]") \
  X(get, get, "get", "word [any-word! any-path! object!] /any /case") \
  X(set, set, "set", "word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some") \
  X(print, print, "print", "value [any-type!]") \
  X(prin, prin, "prin", "value [any-type!]") \
  X(equal_q, equal_q, "equal?", "value1 [any-type!] value2 [any-type!]") \
  X(not_equal_q, not_equal_q, "not-equal?", "value1 [any-type!] value2 [any-type!]") \
  X(strict_equal_q, strict_equal_q, "strict-equal?", "value1 [any-type!] value2 [any-type!]") \
  X(lesser_q, lesser_q, "lesser?", "value1 [any-type!] value2 [any-type!]") \
  X(greater_q, greater_q, "greater?", "value1 [any-type!] value2 [any-type!]") \
  X(lesser_or_equal_q, lesser_or_equal_q, "lesser-or-equal?", "value1 [any-type!] value2 [any-type!]") \
  X(greater_or_equal_q, greater_or_equal_q, "greater-or-equal?", "value1 [any-type!] value2 [any-type!]") \
  X(same_q, same_q, "same?", "value1 [any-type!] value2 [any-type!]") \
  X(not_, not_, "not", "value [any-type!]") \
  X(type_q, type_q, "type?", "value [any-type!] /word") \
  X(reduce, reduce, "reduce", "value [any-type!] /into out [any-block!]") \
  X(compose, compose, "compose", "value [any-type!] /deep /only /into out [any-block!]") \
  X(stats, stats, "stats", "/show /info") \
  X(bind, bind, "bind", "word [block! any-word!] context [any-word! any-object! function!] /copy") \
  X(in, in, "in", "object [any-object! any-function!] word [any-word! refinement!]") \
  X(parse, parse, "parse", "input [binary! any-block! string! file! url! tag! email! ref!] rules [block!] /case /part length [integer! float! any-block! string! file! url! tag! email! ref! binary!] /trace callback [any-function!]") \
  X(union_, union_, "union", "set1 set2 /case /skip size") \
  X(intersect, intersect, "intersect", "set1 set2 /case /skip size") \
  X(unique, unique, "unique", "set /case /skip size") \
  X(difference, difference, "difference", "set1 set2 /case /skip size") \
  X(exclude, exclude, "exclude", "set1 set2 /case /skip size") \
  X(complement_q, complement_q, "complement?", "bits") \
  X(dehex, dehex, "dehex", "value") \
  X(enhex, enhex, "enhex", "value") \
  X(negative_q, negative_q, "negative?", "number") \
  X(positive_q, positive_q, "positive?", "number") \
  X(max_, max_, "max", "value1 value2") \
  X(min_, min_, "min", "value1 value2") \
  X(shift, shift, "shift", "data bits /left /logical") \
  X(to_hex, to_hex, "to-hex", "value /size length") \
  X(sine, sine, "sine", "angle /radians") \
  X(cosine, cosine, "cosine", "angle /radians") \
  X(tangent, tangent, "tangent", "angle /radians") \
  X(arcsine, arcsine, "arcsine", "sine /radians") \
  X(arccosine, arccosine, "arccosine", "cosine /radians") \
  X(arctangent, arctangent, "arctangent", "tangent /radians") \
  X(arctangent2, arctangent2, "arctangent2", "y x /radians") \
  X(nan_q, nan_q, "NaN?", "value") \
  X(log_2, log_2, "log-2", "value") \
  X(log_10, log_10, "log-10", "value") \
  X(log_e, log_e, "log-e", "value") \
  X(exp_, exp_, "exp", "value") \
  X(square_root, square_root, "square-root", "value") \
  X(construct, construct, "construct", "block [block!] /with object [object!] /only") \
  X(value_q, value_q, "value?", "value [any-type!]") \
  X(try_, try_, "try", "block [block!] /all /keep") \
  X(uppercase, uppercase, "uppercase", "string /part limit") \
  X(lowercase, lowercase, "lowercase", "string /part limit") \
  X(as_pair, as_pair, "as-pair", "x y") \
  X(as_point2d, as_point2d, "as-point2D", "x y") \
  X(as_point3d, as_point3d, "as-point3D", "x y z") \
  X(as_money, as_money, "as-money", "currency amount") \
  X(break_, break_, "break", "/return value [any-type!]") \
  X(continue_, continue_, "continue", "") \
  X(exit_, exit_, "exit", "") \
  X(return_, return_, "return", "value [any-type!]") \
  X(throw_, throw_, "throw", "value [any-type!] /name word [word!]") \
  X(catch_, catch_, "catch", "block [block!] /name word [word! block!]") \
  X(extend, extend, "extend", "obj [object! map!] spec [block! hash! map!] /case") \
  X(debase, debase, "debase", "value /base base-value") \
  X(to_local_file, to_local_file, "to-local-file", "path /full") \
  X(wait, wait, "wait", "value /all") \
  X(checksum, checksum, "checksum", "data [binary! string! file!] method [word!] /with spec [string! file! url! tag! email! ref! binary! integer!]") \
  X(unset, unset, "unset", "word [word! block!]") \
  X(new_line, new_line, "new-line", "position [any-list!] value [logic!] /all /skip size [integer!]") \
  X(new_line_q, new_line_q, "new-line?", "position [any-list!]") \
  X(enbase, enbase, "enbase", "value /base base-value") \
  X(context_q, context_q, "context?", "word [any-word!]") \
  X(set_env, set_env, "set-env", "var value") \
  X(get_env, get_env, "get-env", "var") \
  X(list_env, list_env, "list-env", "") \
  X(now, now, "now", "/year /month /day /time /zone /date /weekday /yearday /precise /utc") \
  X(sign_q, sign_q, "sign?", "number") \
  X(as_, as_, "as", "type spec") \
  X(call, call_, "call", "cmd /wait /show /console /shell /input in /output out /error err") \
  X(zero_q, zero_q, "zero?", "value") \
  X(size_q, size_q, "size?", "file") \
  X(browse, browse, "browse", "url [url! file!]") \
  X(compress, compress, "compress", "data method") \
  X(decompress, decompress, "decompress", "data method /size sz") \
  X(recycle, recycle, "recycle", "/on /off") \
  X(transcode, transcode, "transcode", "src /next /one /prescan /scan /part length /into dst /trace callback") \
  X(apply, apply, "apply", "func [word! path! any-function!] args [block!] /all /safer")
