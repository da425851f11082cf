// The native list: every native once, in index order (a native's index is
// its row, from 1). The ids, the entry table, the declarations of the
// entries, the names and the specs all come from here, so adding a native is
// one row. A row is X(id, entry, name, spec): id names the native in C++
// (natives::Id), entry is its function (not_yet while its family is not
// built), spec is the text of its spec block as a user reads it: {the doc
// string}, then the arguments and refinements with their type words.
#pragma once

#define XEB_NATIVES(X) \
  X(if_, if_, "if", "{If the condition is true, evaluates the block} cond [any-type!] then-blk [block!]") \
  X(unless, unless, "unless", "{If the condition is not true, evaluates the block} cond [any-type!] then-blk [block!]") \
  X(either, either, "either", "{If the condition is true, evaluates the first block, else evaluates the second} cond [any-type!] true-blk [block!] false-blk [block!]") \
  X(any, any, "any", "{Evaluates the expressions and returns the first true value, or none} conds [block!]") \
  X(all, all, "all", "{Evaluates the expressions and returns the last value when all are true, else none} conds [block!]") \
  X(while_, while_, "while", "{While the condition block is true, evaluates the body block} cond [block!] body [block!]") \
  X(until, until, "until", "{Evaluates the block until it is true} body [block!]") \
  X(loop, loop, "loop", "{Evaluates the block a number of times} count [integer! float!] body [block!]") \
  X(repeat, repeat, "repeat", "{Evaluates the block a number of times, setting the word to the count} 'word [word!] value [integer! float!] body [block!]") \
  X(forever, forever, "forever", "{Evaluates the block endlessly, until a break or an error} body [block!]") \
  X(foreach, foreach, "foreach", "{Evaluates the block for each value of the series} 'word [word! block!] series [series! map!] body [block!]") \
  X(forall, forall, "forall", "{Evaluates the block for every position of the series} 'word [word!] body [block!]") \
  X(remove_each, remove_each, "remove-each", "{Removes the values of the series for which the block is true} 'word [word! block!] data [series!] body [block!]") \
  X(func, func, "func", "{Defines a function with a spec and a body} spec [block!] body [block!]") \
  X(function, function, "function", "{Defines a function whose set-words in the body are local} spec [block!] body [block!] /extern") \
  X(does, does, "does", "{Defines a function without arguments} body [block!]") \
  X(has, has, "has", "{Defines a function with local words and no arguments} vars [block!] body [block!]") \
  X(switch_, switch_, "switch", "{Evaluates the block that follows the first case matching the value} value [any-type!] cases [block!] /default case [block!]") \
  X(case_, case_, "case", "{Evaluates the block after the first true condition} cases [block!] /all") \
  X(do_, do_, "do", "{Evaluates a block, a script or any other value} value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]") \
  X(get, get, "get", "{Returns the value of a word, path or object} word [any-word! any-path! object!] /any /case") \
  X(set, set, "set", "{Sets a word, block of words, path or object to the value} word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some") \
  X(print, print, "print", "{Outputs a value followed by a line end} value [any-type!]") \
  X(prin, prin, "prin", "{Outputs a value without a line end} value [any-type!]") \
  X(equal_q, equal_q, "equal?", "{Returns true if the values are equal} value1 [any-type!] value2 [any-type!]") \
  X(not_equal_q, not_equal_q, "not-equal?", "{Returns true if the values are not equal} value1 [any-type!] value2 [any-type!]") \
  X(strict_equal_q, strict_equal_q, "strict-equal?", "{Returns true if the values are equal and of the same datatype} value1 [any-type!] value2 [any-type!]") \
  X(lesser_q, lesser_q, "lesser?", "{Returns true if the first value is less than the second} value1 [any-type!] value2 [any-type!]") \
  X(greater_q, greater_q, "greater?", "{Returns true if the first value is greater than the second} value1 [any-type!] value2 [any-type!]") \
  X(lesser_or_equal_q, lesser_or_equal_q, "lesser-or-equal?", "{Returns true if the first value is less than or equal to the second} value1 [any-type!] value2 [any-type!]") \
  X(greater_or_equal_q, greater_or_equal_q, "greater-or-equal?", "{Returns true if the first value is greater than or equal to the second} value1 [any-type!] value2 [any-type!]") \
  X(same_q, same_q, "same?", "{Returns true if the values are identical} value1 [any-type!] value2 [any-type!]") \
  X(not_, not_, "not", "{Returns the logic complement of the value} value [any-type!]") \
  X(type_q, type_q, "type?", "{Returns the datatype of the value} value [any-type!] /word") \
  X(reduce, reduce, "reduce", "{Returns a block of the values of each expression of the block} value [any-type!] /into out [any-block!]") \
  X(compose, compose, "compose", "{Returns a copy of the block evaluating only its parens} value [any-type!] /deep /only /into out [any-block!]") \
  X(stats, stats, "stats", "{Returns the memory in use, or detailed statistics} /show /info") \
  X(bind, bind, "bind", "{Binds the words to a context} word [block! any-word!] context [any-word! any-object! function!] /copy") \
  X(in, in, "in", "{Returns the word of the object, or none} object [any-object! any-function!] word [any-word! refinement!]") \
  X(parse, parse, "parse", "{Parses a series by the rules of a block} input [binary! any-block! string! file! url! tag! email! ref!] rules [block!] /case /part length [integer! float! any-block! string! file! url! tag! email! ref! binary!] /trace callback [any-function!]") \
  X(union_, union_, "union", "{Returns the union of two data sets} set1 set2 /case /skip size") \
  X(intersect, intersect, "intersect", "{Returns the intersection of two data sets} set1 set2 /case /skip size") \
  X(unique, unique, "unique", "{Returns the data set without duplicates} set /case /skip size") \
  X(difference, difference, "difference", "{Returns the values of either data set that are not in both} set1 set2 /case /skip size") \
  X(exclude, exclude, "exclude", "{Returns the first data set without the values of the second} set1 set2 /case /skip size") \
  X(complement_q, complement_q, "complement?", "{Returns true if the bitset is complemented} bits") \
  X(dehex, dehex, "dehex", "{Converts the URL-style hex escapes of a string} value") \
  X(enhex, enhex, "enhex", "{Encodes the characters of a string that URLs escape} value") \
  X(negative_q, negative_q, "negative?", "{Returns true if the number is negative} number") \
  X(positive_q, positive_q, "positive?", "{Returns true if the number is positive} number") \
  X(max_, max_, "max", "{Returns the greater of the two values} value1 value2") \
  X(min_, min_, "min", "{Returns the lesser of the two values} value1 value2") \
  X(shift, shift, "shift", "{Shifts the bits of an integer right, or left} data bits /left /logical") \
  X(to_hex, to_hex, "to-hex", "{Converts the value to hexadecimal text} value /size length") \
  X(sine, sine, "sine", "{Returns the sine of an angle in degrees} angle /radians") \
  X(cosine, cosine, "cosine", "{Returns the cosine of an angle in degrees} angle /radians") \
  X(tangent, tangent, "tangent", "{Returns the tangent of an angle in degrees} angle /radians") \
  X(arcsine, arcsine, "arcsine", "{Returns the angle in degrees whose sine is given} sine /radians") \
  X(arccosine, arccosine, "arccosine", "{Returns the angle in degrees whose cosine is given} cosine /radians") \
  X(arctangent, arctangent, "arctangent", "{Returns the angle in degrees whose tangent is given} tangent /radians") \
  X(arctangent2, arctangent2, "arctangent2", "{Returns the angle in degrees of the point y x} y x /radians") \
  X(nan_q, nan_q, "NaN?", "{Returns true if the number is not a number} value") \
  X(log_2, log_2, "log-2", "{Returns the base-2 logarithm} value") \
  X(log_10, log_10, "log-10", "{Returns the base-10 logarithm} value") \
  X(log_e, log_e, "log-e", "{Returns the natural logarithm} value") \
  X(exp_, exp_, "exp", "{Raises e to the power of the value} value") \
  X(square_root, square_root, "square-root", "{Returns the square root of the number} value") \
  X(construct, construct, "construct", "{Makes an object without evaluating its spec} block [block!] /with object [object!] /only") \
  X(value_q, value_q, "value?", "{Returns true if the word has a value} value [any-type!]") \
  X(try_, try_, "try", "{Evaluates the block and returns its value, or the error it raised} block [block!] /all /keep") \
  X(uppercase, uppercase, "uppercase", "{Converts a string to upper case} string /part limit") \
  X(lowercase, lowercase, "lowercase", "{Converts a string to lower case} string /part limit") \
  X(as_pair, as_pair, "as-pair", "{Combines two numbers into a pair} x y") \
  X(as_point2d, as_point2d, "as-point2D", "{Combines two numbers into a 2D point} x y") \
  X(as_point3d, as_point3d, "as-point3D", "{Combines three numbers into a 3D point} x y z") \
  X(as_money, as_money, "as-money", "{Combines a currency and an amount into money} currency amount") \
  X(break_, break_, "break", "{Breaks out of a loop} /return value [any-type!]") \
  X(continue_, continue_, "continue", "{Goes on with the next round of a loop}") \
  X(exit_, exit_, "exit", "{Leaves a function, returning nothing}") \
  X(return_, return_, "return", "{Leaves a function, returning the value} value [any-type!]") \
  X(throw_, throw_, "throw", "{Throws the value to a catch} value [any-type!] /name word [word!]") \
  X(catch_, catch_, "catch", "{Catches a throw from the block and returns its value} block [block!] /name word [word! block!]") \
  X(extend, extend, "extend", "{Adds fields to an object} obj [object! map!] spec [block! hash! map!] /case") \
  X(debase, debase, "debase", "{Decodes binary-coded text into binary} value /base base-value") \
  X(to_local_file, to_local_file, "to-local-file", "{Converts a file path to the platform's form} path /full") \
  X(wait, wait, "wait", "{Waits a number of seconds} value /all") \
  X(checksum, checksum, "checksum", "{Computes a checksum, CRC, hash, or HMAC} data [binary! string! file!] method [word!] {MD5 SHA1 SHA256 SHA384 SHA512 CRC32 TCP ADLER32 hash} /with {Extra value for HMAC key or hash table size; not compatible with TCP/CRC32/ADLER32 methods} spec [string! file! url! tag! email! ref! binary! integer!]") \
  X(unset, unset, "unset", "{Unsets the values of the words} word [word! block!]") \
  X(new_line, new_line, "new-line", "{Sets or clears the new-line marker of a block position} position [any-list!] value [logic!] /all /skip size [integer!]") \
  X(new_line_q, new_line_q, "new-line?", "{Returns the new-line marker of a block position} position [any-list!]") \
  X(enbase, enbase, "enbase", "{Encodes binary into binary-coded text} value /base base-value") \
  X(context_q, context_q, "context?", "{Returns the context a word is bound to} word [any-word!]") \
  X(set_env, set_env, "set-env", "{Sets an environment variable of the process} var value") \
  X(get_env, get_env, "get-env", "{Returns the value of an environment variable} var") \
  X(list_env, list_env, "list-env", "{Returns a map of the environment variables}") \
  X(now, now, "now", "{Returns the date and time} /year /month /day /time /zone /date /weekday /yearday /precise /utc") \
  X(sign_q, sign_q, "sign?", "{Returns the sign of the number as 1, 0 or -1} number") \
  X(as_, as_, "as", "{Coerces a series to another datatype of its kind, sharing its buffer} type spec") \
  X(call, call_, "call", "{Runs a shell command} cmd /wait /show /console /shell /input in /output out /error err") \
  X(zero_q, zero_q, "zero?", "{Returns true if the value is zero} value") \
  X(size_q, size_q, "size?", "{Returns the size of a file in bytes} file") \
  X(browse, browse, "browse", "{Opens a URL in the web browser} url [url! file!]") \
  X(compress, compress, "compress", "{Compresses the data} data method") \
  X(decompress, decompress, "decompress", "{Decompresses the data} data method /size sz") \
  X(recycle, recycle, "recycle", "{Runs the collector, or turns it on or off} /on /off") \
  X(transcode, transcode, "transcode", "{Translates text into values} src /next /one /prescan /scan /part length /into dst /trace callback") \
  X(apply, apply, "apply", "{Calls a function with the arguments of a block} func [word! path! any-function!] args [block!] /all /safer")
