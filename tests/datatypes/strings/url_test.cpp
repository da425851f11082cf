// url!, file!, tag!, email! and ref!: percent-encoding, molds, URLs built
// from blocks and path steps, POSIX paths and email parts.
#include <unistd.h>

#include "datatypes/tag.h"
#include "datatypes/url.h"
#include "tests/datatypes/strings/strings_fixture.h"

namespace xeb::test {
namespace {

TEST_F(Strings, PercentEncoding) {
  Cell* out = string::push_new(16);
  url::encode(str("a b:/\xC3\xA9"), out, url::Class::url);
  EXPECT_EQ(text(out), "a%20b%3A%2F%C3%A9");
  Cell* out2 = string::push_new(16);
  url::encode(str("a b:/"), out2, url::Class::file);
  EXPECT_EQ(text(out2), "a%20b:/");

  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"%C3%A9", "\xC3\xA9"}, {"%E9x", "%E9x"}, {"%4", "%4"}, {"%C3x", "%C3x"}, {"a%20b", "a b"}};
  for (const Case& c : cases) {
    Cell* d = string::push_new(16);
    url::decode(str(c.in), d);
    EXPECT_EQ(text(d), c.out) << c.in;
  }
}

TEST_F(Strings, Molds) {
  struct Case {
    const char* in;
    TypeId type;
    const char* out;
  } cases[] = {
      {"http://a b", T_URL, "http://a%20b"},
      {"a b", T_FILE, "%\"a b\""},
      {"\xC3\xA9", T_FILE, "%\xC3\xA9"},
      {"", T_FILE, "%\"\""},
      {"dir/x.txt", T_FILE, "%dir/x.txt"},
      {"a\"b%", T_FILE, "%\"a%22b%25\""},  // loads back
      {"b", T_TAG, "<b>"},
      {"x", T_REF, "@x"},
      {"u@h", T_EMAIL, "u@h"},
  };
  for (const Case& c : cases) {
    Cell* v = str(c.in, c.type);
    EXPECT_EQ(mold(v), c.out) << c.in;
  }
  EXPECT_EQ(actions::form_text(str("b", T_TAG)), "<b>");
  EXPECT_EQ(actions::form_text(str("x", T_REF)), "x");
}

TEST_F(Strings, UrlFromBlockAndPaths) {
  Node n = memory::alloc_cells(4);
  Cell* blk = push(Cell{T_BLOCK, 0, n, 0});
  Cell* h = str("host");
  Cell* sch = str("http");
  Cell* p = str("path");
  Cell items[4] = {*sch, *h, Cell{T_INTEGER, 0, 8080, 0}, *p};
  SeriesBuf* b = series::buf(blk);
  std::memcpy(b->head_ptr(), items, sizeof items);
  b->tail = b->head + sizeof items;
  Cell* out = stack::push_new();
  url::to(out, blk, T_URL);
  EXPECT_TRUE(is_type(out, T_URL));
  if (datatype::slot_of(T_INTEGER, A_FORM)) EXPECT_EQ(text(out), "http://host:8080/path");
  else EXPECT_EQ(text(out), "http://host:/path");  // integer! forms nothing until it is registered

  PathStep step{};
  Cell* joined = url::eval_path(str("http://a/", T_URL), str("/b"), nullptr, step);
  EXPECT_EQ(text(joined), "http://a/b");
  Cell* joined2 = url::eval_path(str("http://a", T_URL), str("b"), nullptr, step);
  EXPECT_EQ(text(joined2), "http://a/b");
  EXPECT_TRUE(is_type(joined2, T_URL));
  EXPECT_EQ(raised([&] { url::eval_path(str("http://a", T_URL), str("b"), str("c"), step); }),
            code(Err::bad_path_set));
  // Schemes other than HTTP go through ports, which are not built.
  EXPECT_EQ(raised([&] { url::read(str("ftp://a", T_URL), nullptr, nullptr, 0, 0, 0, nullptr); }),
            code(Err::not_done));
}

TEST_F(Strings, LocalPaths) {
  Cell* out = string::push_new(16);
  file::to_local_path(str("/x/y", T_FILE), out, true);
  EXPECT_EQ(text(out), "/x/y");
  Cell* rel = string::push_new(16);
  file::to_local_path(str("a/b", T_FILE), rel, true);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string want = cwd;
  if (want.back() != '/') want += '/';
  EXPECT_EQ(text(rel), want + "a/b");
}

TEST_F(Strings, EmailParts) {
  PathStep step{};
  Cell user = words::word(words::W::user), host = words::word(words::W::host);
  Cell* e = str("u@h", T_EMAIL);
  Cell* r = email::eval_path(e, push(user), nullptr, step);
  EXPECT_TRUE(is_type(r, T_STRING));
  EXPECT_EQ(text(r), "u");
  EXPECT_EQ(text(email::eval_path(e, push(host), nullptr, step)), "h");
  email::eval_path(e, push(host), str("example.org"), step);
  EXPECT_EQ(text(e), "u@example.org");
  email::eval_path(e, push(user), str("me"), step);
  EXPECT_EQ(text(e), "me@example.org");
  Cell* bare = str("nobody", T_EMAIL);
  EXPECT_EQ(text(email::eval_path(bare, push(user), nullptr, step)), "nobody");
  EXPECT_EQ(text(email::eval_path(bare, push(host), nullptr, step)), "");
  Cell other = words::word(words::W::name);
  EXPECT_EQ(raised([&] { email::eval_path(e, push(other), nullptr, step); }), code(Err::invalid_path));
}

}  // namespace
}  // namespace xeb::test

#ifdef XEB_GC_STRESS
namespace xeb::test {
namespace {
// The stress build only proves something if buffers really slid meanwhile.
TEST_F(Strings, StressBuildCollects) {
  uint32_t before = collector::collections;
  for (int i = 0; i < 50; i++) str("some text to allocate");
  EXPECT_GT(collector::collections, before);
}
}  // namespace
}  // namespace xeb::test
#endif
