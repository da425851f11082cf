// The runtime's internal words: names it compares against (parse keywords,
// spec attributes, hook names, error categories, frame names), interned once
// at start-up in a fixed order and then compared by symbol id, never by text.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace xeb::words {

#define XEB_INTERNAL_NAMES(X) \
  X(spec, "spec") \
  X(body, "body") \
  X(words, "words") \
  X(class_, "class") \
  X(logic_t, "logic!") \
  X(integer_t, "integer!") \
  X(char_t, "char!") \
  X(float_t, "float!") \
  X(percent_t, "percent!") \
  X(any_type_t, "any-type!") \
  X(exit, "exit") \
  X(return_, "return") \
  X(Windows, "Windows") \
  X(Syllable, "Syllable") \
  X(macOS, "macOS") \
  X(Linux, "Linux") \
  X(NetBSD, "NetBSD") \
  X(repeat, "repeat") \
  X(foreach, "foreach") \
  X(map_each, "map-each") \
  X(remove_each, "remove-each") \
  X(any, "any") \
  X(break_, "break") \
  X(copy, "copy") \
  X(end, "end") \
  X(fail, "fail") \
  X(into, "into") \
  X(opt, "opt") \
  X(not_, "not") \
  X(quote, "quote") \
  X(case_, "case") \
  X(reject, "reject") \
  X(set, "set") \
  X(skip, "skip") \
  X(some, "some") \
  X(thru, "thru") \
  X(to, "to") \
  X(none, "none") \
  X(bar, "|") \
  X(minus, "-") \
  X(if_, "if") \
  X(remove, "remove") \
  X(while_, "while") \
  X(insert, "insert") \
  X(only, "only") \
  X(collect, "collect") \
  X(keep, "keep") \
  X(pick, "pick") \
  X(ahead, "ahead") \
  X(after, "after") \
  X(x, "x") \
  X(y, "y") \
  X(z, "z") \
  X(self, "self") \
  X(values, "values") \
  X(owner, "owner") \
  X(owned, "owned") \
  X(events_q, "events?") \
  X(true_, "true") \
  X(false_, "false") \
  X(yes, "yes") \
  X(no, "no") \
  X(on, "on") \
  X(off, "off") \
  X(type, "type") \
  X(face, "face") \
  X(window, "window") \
  X(offset, "offset") \
  X(key, "key") \
  X(flag, "flag") \
  X(code, "code") \
  X(picked, "picked") \
  X(flags, "flags") \
  X(away_q, "away?") \
  X(ctrl_q, "ctrl?") \
  X(shift_q, "shift?") \
  X(down_q, "down?") \
  X(mid_down_q, "mid-down?") \
  X(alt_down_q, "alt-down?") \
  X(aux_down_q, "aux-down?") \
  X(orientation, "orientation") \
  X(get, "get") \
  X(put, "put") \
  X(post, "post") \
  X(head, "head") \
  X(size, "size") \
  X(rgb, "rgb") \
  X(alpha, "alpha") \
  X(argb, "argb") \
  X(date, "date") \
  X(year, "year") \
  X(month, "month") \
  X(day, "day") \
  X(zone, "zone") \
  X(isoweek, "isoweek") \
  X(week, "week") \
  X(weekday, "weekday") \
  X(yearday, "yearday") \
  X(julian, "julian") \
  X(time, "time") \
  X(hour, "hour") \
  X(minute, "minute") \
  X(second, "second") \
  X(timezone, "timezone") \
  X(amount, "amount") \
  X(user, "user") \
  X(host, "host") \
  X(system, "system") \
  X(system_global, "system-global") \
  X(stack, "stack") \
  X(trace, "trace") \
  X(no_trace, "no-trace") \
  X(at, "at") \
  X(back, "back") \
  X(find, "find") \
  X(head_q, "head?") \
  X(index_q, "index?") \
  X(length_q, "length?") \
  X(next, "next") \
  X(select, "select") \
  X(tail, "tail") \
  X(tail_q, "tail?") \
  X(change, "change") \
  X(changed, "changed") \
  X(clear, "clear") \
  X(cleared, "cleared") \
  X(set_path, "set-path") \
  X(append, "append") \
  X(appended, "appended") \
  X(move, "move") \
  X(moved, "moved") \
  X(poke, "poke") \
  X(poked, "poked") \
  X(put_ed, "put-ed") \
  X(removed, "removed") \
  X(random, "random") \
  X(randomized, "randomized") \
  X(reverse, "reverse") \
  X(reversed, "reversed") \
  X(sort, "sort") \
  X(sorted, "sorted") \
  X(swap, "swap") \
  X(swaped, "swaped") \
  X(take, "take") \
  X(taken, "taken") \
  X(trim, "trim") \
  X(trimmed, "trimmed") \
  X(inserted, "inserted") \
  X(uppercase, "uppercase") \
  X(lowercase, "lowercase") \
  X(checksum, "checksum") \
  X(push, "push") \
  X(pop, "pop") \
  X(fetch, "fetch") \
  X(match, "match") \
  X(iterate, "iterate") \
  X(paren, "paren") \
  X(anon, "<anon>") \
  X(body_frame, "<body>") \
  X(not_found, "<not-found>") \
  X(add, "add") \
  X(subtract, "subtract") \
  X(divide, "divide") \
  X(on_parse_event, "on-parse-event") \
  X(on_change, "on-change*") \
  X(on_deep_change, "on-deep-change*") \
  X(id, "id") \
  X(try_, "try") \
  X(catch_, "catch") \
  X(name, "name") \
  X(multiply, "multiply") \
  X(browse, "browse") \
  X(open, "open") \
  X(create, "create") \
  X(close, "close") \
  X(delete_, "delete") \
  X(modify, "modify") \
  X(query, "query") \
  X(read, "read") \
  X(rename, "rename") \
  X(update, "update") \
  X(write, "write") \
  X(prescan, "prescan") \
  X(scan, "scan") \
  X(load, "load") \
  X(error, "error") \
  X(comment, "comment") \
  X(init, "init") \
  X(exec, "exec") \
  X(call, "call") \
  X(enter, "enter") \
  X(prolog, "prolog") \
  X(epilog, "epilog") \
  X(throw_, "throw") \
  X(expr, "expr") \
  X(interp_callback, "<interp-callback>") \
  X(lexer_callback, "<lexer-callback>") \
  X(parse_callback, "<parse-callback>") \
  X(compare_callback, "<compare-callback>") \
  X(note, "note") \
  X(syntax, "syntax") \
  X(script, "script") \
  X(math, "math") \
  X(access, "access") \
  X(internal, "internal") \
  X(invalid_error, "invalid-error") \
  X(local_, "local") \
  X(applied, "<applied>") \
  X(extern_, "extern") \
  X(compare, "compare") \
  X(part, "part") \
  X(with, "with") \
  X(message, "message") \
  X(arg1, "arg1") \
  X(errors, "errors") \
  X(standard, "standard") \
  X(ooo, "ooo") \
  X(deflate, "deflate") \
  X(zlib, "zlib") \
  X(gzip, "gzip") \


enum class W : int {
#define XEB_X(id, text) id,
  XEB_INTERNAL_NAMES(XEB_X)
#undef XEB_X
  COUNT
};

// Interning order: symbols, global words, words, refinements, issue.
inline constexpr W kSymbols[] = {W::spec, W::body, W::words, W::class_, W::logic_t, W::integer_t, W::char_t, W::float_t, W::percent_t, W::any_type_t, W::exit, W::return_, W::Windows, W::Syllable, W::macOS, W::Linux, W::NetBSD, W::repeat, W::foreach, W::map_each, W::remove_each, W::any, W::break_, W::copy, W::end, W::fail, W::into, W::opt, W::not_, W::quote, W::case_, W::reject, W::set, W::skip, W::some, W::thru, W::to, W::none, W::bar, W::minus, W::if_, W::remove, W::while_, W::insert, W::only, W::collect, W::keep, W::pick, W::ahead, W::after, W::x, W::y, W::z, W::self, W::values, W::owner, W::owned, W::events_q, W::true_, W::false_, W::yes, W::no, W::on, W::off, W::type, W::face, W::window, W::offset, W::key, W::flag, W::code, W::picked, W::flags, W::away_q, W::ctrl_q, W::shift_q, W::down_q, W::mid_down_q, W::alt_down_q, W::aux_down_q, W::orientation, W::get, W::put, W::post, W::head, W::size, W::rgb, W::alpha, W::argb, W::date, W::year, W::month, W::day, W::zone, W::isoweek, W::week, W::weekday, W::yearday, W::julian, W::time, W::hour, W::minute, W::second, W::timezone, W::code, W::amount, W::user, W::host, W::system, W::system_global, W::stack, W::trace, W::no_trace};
inline constexpr W kGlobalWords[] = {W::Windows, W::Syllable, W::macOS, W::Linux, W::NetBSD, W::to, W::thru, W::not_, W::remove, W::while_, W::collect, W::keep, W::ahead, W::bar, W::any, W::some, W::copy, W::opt, W::into, W::insert, W::if_, W::quote, W::collect, W::set, W::case_};
inline constexpr W kWords[] = {W::at, W::back, W::find, W::head, W::head_q, W::index_q, W::length_q, W::next, W::pick, W::skip, W::select, W::tail, W::tail_q, W::change, W::changed, W::clear, W::cleared, W::set_path, W::append, W::appended, W::move, W::moved, W::poke, W::poked, W::put, W::put_ed, W::removed, W::random, W::randomized, W::reverse, W::reversed, W::sort, W::sorted, W::swap, W::swaped, W::take, W::taken, W::trim, W::trimmed, W::inserted, W::uppercase, W::lowercase, W::checksum, W::push, W::pop, W::fetch, W::match, W::iterate, W::paren, W::anon, W::body_frame, W::not_found, W::end, W::add, W::subtract, W::divide, W::on_parse_event, W::on_change, W::on_deep_change, W::type, W::id, W::try_, W::catch_, W::name, W::multiply, W::browse, W::open, W::create, W::close, W::delete_, W::modify, W::query, W::read, W::rename, W::update, W::write, W::prescan, W::scan, W::load, W::error, W::comment, W::init, W::exec, W::call, W::return_, W::enter, W::exit, W::prolog, W::epilog, W::throw_, W::expr, W::interp_callback, W::lexer_callback, W::parse_callback, W::compare_callback, W::throw_, W::note, W::syntax, W::script, W::math, W::access, W::user, W::internal, W::invalid_error, W::local_, W::applied, W::deflate, W::zlib, W::gzip};
inline constexpr W kRefinements[] = {W::local_, W::extern_, W::compare, W::part, W::skip, W::with};

// Interns everything above (runtime init, load-copy flag set).
void init();
bool ready();

int32_t sym(W w);  // the symbol id
constexpr int COUNT = static_cast<int>(W::COUNT);
// A word! of the name bound in the global context (slot -1 until resolved).
Cell word(W w);
Cell refinement(W w);
Cell issue(W w);
// True when the symbol id is the name, ignoring ASCII case.
bool is(int32_t symbol_id, W w);

}  // namespace xeb::words
