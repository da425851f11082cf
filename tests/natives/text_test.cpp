// Set operation, text and conversion natives through source text.
#include "tests/natives/support.h"

namespace xeb::test {
namespace {

TEST_F(Natives, SetOperations) {
  check({
      {"union [a b] [b c]", "[a b c]"},
      {"intersect [a b c] [b c d]", "[b c]"},
      {"exclude [a b c] [b]", "[a c]"},
      {"difference [a b] [b c]", "[a c]"},
      {"unique [a b a]", "[a b]"},
      {"unique \"aAa\"", "\"a\""},
      {"unique/case \"aAa\"", "\"aA\""},
      {"union \"ab\" [a]", "error: expect-val"},
      {"union 1 2", "error: expect-arg"},
      {"complement? 1", "error: expect-arg"},
  });
}

TEST_F(Natives, Encodings) {
  check({
      {"dehex \"a%20b\"", "\"a b\""},
      {"enhex \"a b\"", "\"a%20b\""},
      {"debase/base \"ff\" 16", "#{FF}"},
      {"debase \"!!\"", "none"},
      {"debase/base \"x\" 10", "error: invalid-arg"},
      {"enbase/base #{FF} 2", "\"11111111\""},
      {"enbase/base \"a\" 16", "\"61\""},
      {"enbase #{616263}", "\"YWJj\""},
      {"debase enbase #{0102FF}", "#{0102FF}"},
  });
}

TEST_F(Natives, CaseAndCoercion) {
  check({
      {"uppercase/part \"abc\" 2", "\"ABc\""},
      {"uppercase #\"a\"", "#\"A\""},
      {"lowercase \"ABC\"", "\"abc\""},
      {"s: \"abc\" lowercase uppercase s s", "\"abc\""},
      {"as path! [a b]", "a/b"},
      {"b: [a b] p: as path! b append b 'c p", "a/b/c"},
      {"as string! [a]", "error: not-same-class"},
      {"as %x \"abc\"", "%abc"},
  });
}

TEST_F(Natives, Transcode) {
  check({
      {"transcode \"1 [a] b\"", "[1 [a] b]"},
      {"transcode/next \"1 2 3\"", "[1 \" 2 3\"]"},
      {"transcode/one \"1\"", "1"},
      {"transcode/part \"1 2 3\" 3", "[1 2]"},
      {"s: \"1 2 3\" transcode/part s skip s 1", "[1]"},
      {"transcode/part \"1 2\" #{00}", "error: not-same-type"},
      {"b: [0] transcode/into \"1 2\" b b", "[0 1 2]"},
      {"transcode/scan \"12\"", "integer!"},
      {"transcode/prescan \"\"", "none"},
      {"transcode/scan \"1.2.\"", "error!"},
      {"transcode #{EFBBBF31}", "[1]"},
      {"transcode \"[\"", "error: missing"},
      {"n: 0 f: func [e i t l k] [[open close] n: n + 1 true] transcode/trace \"[a (b)]\" :f n", "4"},
      {"f: func [e i t l k] [[load] throw k] catch [transcode/trace \"x y\" :f]", "x"},
      {"f: func [e i t l k] [[error] false] transcode/trace \"a ) b\" :f", "[a b]"},
  });
}

TEST_F(Natives, System) {
  check({
      {"type? stats", "integer!"},
      {"type? stats/info", "block!"},
      {"recycle/off", "unset"},
      {"recycle/on", "unset"},
      {"type? recycle", "integer!"},
      {"wait 0", "none"},
      {"wait [1]", "error: invalid-arg"},
      {"get-env \"XEB_SURELY_UNSET_VARIABLE\"", "none"},
      {"set-env \"XEB_NATIVES_TEST\" \"v1\" get-env \"XEB_NATIVES_TEST\"", "\"v1\""},
      {"set-env \"XEB_NATIVES_TEST\" none get-env 'XEB_NATIVES_TEST", "none"},
      {"size? %/surely/not/here", "none"},
      {"size? %/", "none"},
  });
}

}  // namespace
}  // namespace xeb::test
