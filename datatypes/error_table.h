// The error catalogue as one table: category, C++ id, code, id word and the
// message template. Both the C++ ids and the catalogue object of the running
// system are made from it, so they cannot drift apart.
//
// Template items are separated by '|': ":argN" is a get-word naming an error
// field, "argN" a word, anything else a string. A one-string template is a
// string!, any other a block!. user/message has no row: its template is the
// word arg1 (the message is the error's first argument).
#pragma once

// X(category, c++ id, code, "id word", "template")
#define XEB_ERROR_CATALOG(X) \
  X(throw_, break_, 0, "break", "no loop to break") \
  X(throw_, return_, 1, "return", "return or exit not in function") \
  X(throw_, throw_, 2, "throw", "no catch for throw:|:arg1") \
  X(throw_, continue_, 3, "continue", "no loop to continue") \
  X(throw_, while_cond, 4, "while-cond", "BREAK/CONTINUE cannot be used in WHILE condition block") \
  X(note, no_load, 100, "no-load", "cannot load: |:arg1") \
  X(syntax, invalid, 200, "invalid", ":arg1|invalid|:arg2|at|:arg3") \
  X(syntax, missing, 201, "missing", ":arg1|missing|:arg2|at|:arg3") \
  X(syntax, no_header, 202, "no-header", "script is missing a Xeb header:|:arg1") \
  X(syntax, no_xs_header, 203, "no-xs-header", "script is missing a Xeb/System header:|:arg1") \
  X(syntax, bad_header, 204, "bad-header", "script header is not valid:|:arg1") \
  X(syntax, malconstruct, 205, "malconstruct", ":arg1|invalid construction spec at|:arg2") \
  X(syntax, bad_char, 206, "bad-char", ":arg1|invalid character at|:arg2") \
  X(script, no_value, 300, "no-value", ":arg1|has no value") \
  X(script, need_value, 301, "need-value", ":arg1|needs a value") \
  X(script, not_defined, 302, "not-defined", ":arg1|word is not bound to a context") \
  X(script, not_in_context, 303, "not-in-context", "context for|:arg1|is not available") \
  X(script, no_arg, 304, "no-arg", ":arg1|is missing its|:arg2|argument") \
  X(script, expect_arg, 305, "expect-arg", ":arg1|does not allow|:arg2|for its|:arg3|argument") \
  X(script, expect_val, 306, "expect-val", "expected|:arg1|not|:arg2") \
  X(script, expect_type, 307, "expect-type", ":arg1|:arg2|field must be of type|:arg3") \
  X(script, cannot_use, 308, "cannot-use", "cannot use|:arg1|on|:arg2|value") \
  X(script, invalid_arg, 309, "invalid-arg", "invalid argument:|:arg1") \
  X(script, invalid_type, 310, "invalid-type", ":arg1|type is not allowed here") \
  X(script, invalid_type_spec, 311, "invalid-type-spec", "invalid type specifier:|:arg1") \
  X(script, invalid_key_type, 312, "invalid-key-type", "invalid key type:|:arg1") \
  X(script, invalid_op, 313, "invalid-op", "invalid operator:|:arg1") \
  X(script, no_op_arg, 314, "no-op-arg", ":arg1|operator is missing an argument") \
  X(script, bad_op_spec, 315, "bad-op-spec", "making an op! requires a function with only 2 arguments and no lit/get-word on left argument") \
  X(script, invalid_data, 316, "invalid-data", "data not in correct format:|:arg1") \
  X(script, invalid_part, 317, "invalid-part", "invalid /part count:|:arg1") \
  X(script, not_same_type, 318, "not-same-type", "values must be of the same type") \
  X(script, not_same_class, 319, "not-same-class", "cannot coerce|:arg1|to|:arg2") \
  X(script, not_related, 320, "not-related", "incompatible argument for|:arg1|of|:arg2") \
  X(script, bad_func_def, 321, "bad-func-def", "invalid function definition:|:arg1") \
  X(script, bad_func_arg, 322, "bad-func-arg", "function argument|:arg1|is not valid") \
  X(script, bad_func_extern, 323, "bad-func-extern", "invalid /extern value:|:arg1") \
  X(script, no_refine, 324, "no-refine", ":arg1|has no refinement called|:arg2") \
  X(script, bad_refines, 325, "bad-refines", "incompatible or invalid refinements") \
  X(script, bad_refine, 326, "bad-refine", "invalid refinement value:|:arg1") \
  X(script, dup_refine, 327, "dup-refine", "duplicate refinement usage in:|:arg1") \
  X(script, word_first, 328, "word-first", "path must start with a word:|:arg1") \
  X(script, empty_path, 329, "empty-path", "cannot evaluate an empty path value") \
  X(script, unset_path, 330, "unset-path", ":arg2|is unset in path|:arg1") \
  X(script, invalid_path, 331, "invalid-path", "cannot access|:arg2|in path|:arg1") \
  X(script, invalid_path_set, 332, "invalid-path-set", "unsupported type in|:arg1|set-path") \
  X(script, invalid_path_get, 333, "invalid-path-get", "unsupported type in|:arg1|get-path") \
  X(script, bad_path_type, 334, "bad-path-type", ":arg3|returned a|:arg2|value, so|:arg1|could not be accessed") \
  X(script, bad_path_type2, 335, "bad-path-type2", "path element >|:arg1|< does not apply to|:arg2|type") \
  X(script, bad_path_set, 336, "bad-path-set", "cannot set|:arg2|in path|:arg1") \
  X(script, bad_field_set, 337, "bad-field-set", "cannot set|:arg1|field to|:arg2|datatype") \
  X(script, dup_vars, 338, "dup-vars", "duplicate variable specified:|:arg1") \
  X(script, past_end, 339, "past-end", "out of range or past end") \
  X(script, missing_arg, 340, "missing-arg", "missing a required argument or refinement") \
  X(script, out_of_range, 341, "out-of-range", "value out of range:|:arg1") \
  X(script, invalid_chars, 342, "invalid-chars", "contains invalid characters") \
  X(script, invalid_compare, 343, "invalid-compare", "cannot compare|:arg1|with|:arg2") \
  X(script, wrong_type, 344, "wrong-type", "datatype assertion failed for:|:arg1") \
  X(script, invalid_refine_arg, 345, "invalid-refine-arg", "invalid|:arg1|argument:|:arg2") \
  X(script, type_limit, 346, "type-limit", ":arg1|overflow/underflow") \
  X(script, size_limit, 347, "size-limit", "maximum limit reached:|:arg1") \
  X(script, no_return, 348, "no-return", "block did not return a value") \
  X(script, throw_usage, 349, "throw-usage", "invalid use of a thrown error value") \
  X(script, locked_word, 350, "locked-word", "protected word - cannot modify:|:arg1") \
  X(script, protected_, 351, "protected", "protected value or series - cannot modify") \
  X(script, bad_bad, 352, "bad-bad", ":arg1|error:|:arg2") \
  X(script, bad_make_arg, 353, "bad-make-arg", "cannot MAKE|:arg1|from:|:arg2") \
  X(script, bad_to_arg, 354, "bad-to-arg", "cannot MAKE/TO|:arg1|from:|:arg2") \
  X(script, invalid_months, 355, "invalid-months", "invalid system/locale/month list") \
  X(script, invalid_spec_field, 356, "invalid-spec-field", "invalid|:arg1|field in spec block") \
  X(script, missing_spec_field, 357, "missing-spec-field", ":arg1|not found in spec block") \
  X(script, move_bad, 358, "move-bad", "Cannot MOVE elements from|:arg1|to|:arg2") \
  X(script, too_long, 359, "too-long", "Content too long") \
  X(script, invalid_char, 360, "invalid-char", "Invalid char! value:|:arg1") \
  X(script, bad_loop_series, 361, "bad-loop-series", "Loop series changed to invalid value:|:arg1") \
  X(script, wrong_denom, 362, "wrong-denom", ":arg1|not same denomination as|:arg2") \
  X(script, bad_denom, 363, "bad-denom", "invalid denomination:|:arg1") \
  X(script, invalid_obj_evt, 364, "invalid-obj-evt", "invalid object event handler:|:arg1") \
  X(script, parse_rule, 365, "parse-rule", "PARSE - invalid rule or usage of rule:|:arg1") \
  X(script, parse_end, 366, "parse-end", "PARSE - unexpected end of rule after:|:arg1") \
  X(script, parse_invalid_ref, 367, "parse-invalid-ref", "PARSE - get-word refers to a different series!|:arg1") \
  X(script, parse_block, 368, "parse-block", "PARSE - input must be of any-block! type:|:arg1") \
  X(script, parse_unsupported, 369, "parse-unsupported", "PARSE - matching by datatype not supported for any-string! input") \
  X(script, parse_infinite, 370, "parse-infinite", "PARSE - infinite recursion at rule: [|:arg1|]") \
  X(script, parse_stack, 371, "parse-stack", "PARSE - stack limit reached") \
  X(script, parse_keep, 372, "parse-keep", "PARSE - KEEP is used without a wrapping COLLECT") \
  X(script, parse_into_bad, 373, "parse-into-bad", "PARSE - COLLECT INTO/AFTER invalid series! argument") \
  X(script, parse_into_type, 374, "parse-into-type", "PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype") \
  X(script, draw_invalid, 375, "draw-invalid", "DRAW - invalid input at:|:arg1") \
  X(script, draw_infinite, 376, "draw-infinite", "DRAW - infinite recursion at:|:arg1") \
  X(script, invalid_data_facet, 377, "invalid-data-facet", "invalid DATA facet content|:arg1") \
  X(script, face_type, 378, "face-type", "VIEW - invalid face type:|:arg1") \
  X(script, not_window, 379, "not-window", "VIEW - expected a window root face") \
  X(script, bad_window, 380, "bad-window", "VIEW - a window face cannot be nested in another window") \
  X(script, not_linked, 381, "not-linked", "VIEW - face not linked to a window") \
  X(script, not_event_type, 382, "not-event-type", "VIEW - not a valid event type|:arg1") \
  X(script, invalid_facet_type, 383, "invalid-facet-type", "VIEW - invalid rate value:|:arg1") \
  X(script, vid_invalid_syntax, 384, "vid-invalid-syntax", "VID - invalid syntax at:|:arg1") \
  X(script, rtd_invalid_syntax, 385, "rtd-invalid-syntax", "RTD - invalid syntax at:|:arg1") \
  X(script, rtd_no_match, 386, "rtd-no-match", "RTD - opening/closing tag not matching for:|:arg1") \
  X(script, react_bad_func, 387, "react-bad-func", "REACT - /LINK option requires a function! as argument") \
  X(script, react_not_enough, 388, "react-not-enough", "REACT - reactive functions must accept at least 2 arguments") \
  X(script, react_no_match, 389, "react-no-match", "REACT - objects block length must match reaction function arg count") \
  X(script, react_bad_obj, 390, "react-bad-obj", "REACT - target can only contain object values") \
  X(script, react_gctx, 391, "react-gctx", "REACT - word|:arg1|is not a reactor's field") \
  X(script, lib_invalid_arg, 392, "lib-invalid-arg", "LIBXEB - invalid argument for|:arg1") \
  X(script, xb_invalid_record, 393, "xb-invalid-record", "XEBBIN - invalid record at index|:arg1") \
  X(math, zero_divide, 400, "zero-divide", "attempt to divide by zero") \
  X(math, overflow, 401, "overflow", "math or number overflow") \
  X(math, positive, 402, "positive", "positive number required") \
  X(access, cannot_open, 500, "cannot-open", "cannot open:|:arg1") \
  X(access, cannot_close, 501, "cannot-close", "cannot close:|:arg1") \
  X(access, invalid_utf8, 502, "invalid-utf8", "invalid UTF-8 encoding:|:arg1") \
  X(access, not_open, 503, "not-open", "port is not open:|:arg1") \
  X(access, no_connect, 504, "no-connect", "cannot connect:|:arg1|reason:|:arg2") \
  X(access, no_scheme, 505, "no-scheme", "missing port scheme:|:arg1") \
  X(access, unknown_scheme, 506, "unknown-scheme", "scheme is unknown:|:arg1") \
  X(access, invalid_spec, 507, "invalid-spec", "invalid spec or options:|:arg1") \
  X(access, invalid_port, 508, "invalid-port", "invalid port object (invalid field values)") \
  X(access, invalid_actor, 509, "invalid-actor", "invalid port actor (must be handle or object)") \
  X(access, no_port_action, 510, "no-port-action", "port action not supported") \
  X(access, no_create, 511, "no-create", "cannot create:|:arg1") \
  X(access, no_codec, 512, "no-codec", "cannot decode or encode (no codec):|:arg1") \
  X(access, bad_media, 513, "bad-media", "bad media data (corrupt image, sound, video)") \
  X(access, invalid_cmd, 514, "invalid-cmd", "invalid port command:|:arg1") \
  X(user, message, 800, "message", "") \
  X(internal, bad_path, 900, "bad-path", "bad path:|arg1") \
  X(internal, not_here, 901, "not-here", "arg1|not supported on your system") \
  X(internal, no_memory, 902, "no-memory", "not enough memory") \
  X(internal, wrong_mem, 903, "wrong-mem", "failed to release memory") \
  X(internal, stack_overflow, 904, "stack-overflow", "stack overflow") \
  X(internal, limit_hit, 905, "limit-hit", "internal limit reached:|:arg1") \
  X(internal, too_deep, 906, "too-deep", "block or paren series is too deep to process") \
  X(internal, no_cycle, 907, "no-cycle", "circular reference not allowed") \
  X(internal, feature_na, 908, "feature-na", "feature not available") \
  X(internal, not_done, 909, "not-done", "reserved for future use (or not yet implemented)") \
  X(internal, invalid_error, 910, "invalid-error", "invalid error object field value:|:arg1") \
  X(internal, routines, 911, "routines", "routines require compilation, from OS shell: `xeb -r <script.xeb>`") \
  X(internal, xeb_system, 912, "xeb-system", "contains Xeb/System code which requires compilation") \
  X(internal, deprecated, 913, "deprecated", "arg1|is DEPRECATED, please use|arg2|instead")

// X(category, position, "word", "type text")
#define XEB_ERROR_CATEGORIES(X) \
  X(throw_, 0, "throw", "Throw Error") \
  X(note, 1, "note", "note") \
  X(syntax, 2, "syntax", "Syntax Error") \
  X(script, 3, "script", "Script Error") \
  X(math, 4, "math", "Math Error") \
  X(access, 5, "access", "Access Error") \
  X(reserved1, 6, "reserved1", "Reserved1 Error") \
  X(reserved2, 7, "reserved2", "Reserved2 Error") \
  X(user, 8, "user", "User Error") \
  X(internal, 9, "internal", "Internal Error")
