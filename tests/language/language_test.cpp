// Language behaviour with the whole library booted, as the program runs it.
// Each .txt file here holds cases in the form tests/evaluator/cases.h reads.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>

#include <gtest/gtest.h>

#include <string>

#include "start/start.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/word.h"
#include "evaluator/routines.h"
#include "lexer/load.h"
#include "runtime/stack.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include <algorithm>
#include "tests/language/booted_cases.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "evaluator/builtin_specs.h"
#include "evaluator/interpreter.h"

namespace xeb::test {
namespace {

class Language : public BootedCases {
 protected:
  static void run_file(const char* name) {
    std::string path = XEB_LANGUAGE_CASES_DIR "/";
    path += name;
    EXPECT_GT(check_file(path), 0u) << name;
  }

  // Runs files with the collector on and, in the stress build, collecting at
  // every allocation; the cases' own collection setting comes back after.
  static void run_collecting_always(std::initializer_list<const char*> files) {
    collector::enabled = 1;
#ifdef XEB_GC_STRESS
    uint32_t every = collector::stress_every;
    collector::stress_every = 1;
#endif
    for (const char* f : files) run_file(f);
#ifdef XEB_GC_STRESS
    collector::stress_every = every;
#endif
    collector::enabled = collect_in_cases();
  }
};

TEST_F(Language, Values) { run_file("values.txt"); }
TEST_F(Language, Calls) { run_file("calls.txt"); }
TEST_F(Language, Trace) { run_file("trace.txt"); }
TEST_F(Language, Help) { run_file("help.txt"); }
TEST_F(Language, HelpEveryWord) { run_file("help_words.txt"); }
TEST_F(Language, HelpEverySpec) { run_file("help_specs.txt"); }
TEST_F(Language, Tools) { run_file("tools.txt"); }

// The program changing under the interpreter; images hold bitmaps and
// widget records hold faces outside the heap.
TEST_F(Language, Dynamic) { run_collecting_always({"dynamic.txt", "image.txt", "gui_stress.txt"}); }

TEST_F(Language, Series) { run_file("series.txt"); }
TEST_F(Language, Numbers) { run_file("numbers.txt"); }
TEST_F(Language, Lexer) { run_file("lexer.txt"); }
TEST_F(Language, Collections) { run_file("collections.txt"); }
TEST_F(Language, Parse) { run_file("parse.txt"); }
TEST_F(Language, Cycles) { run_file("cycles.txt"); }
TEST_F(Language, Scalar) { run_file("scalar.txt"); }
TEST_F(Language, Url) { run_file("url.txt"); }
TEST_F(Language, System) { run_file("system.txt"); }
TEST_F(Language, Gui) {
  run_file("gui_faces.txt");
  run_file("gui_shown.txt");
}
TEST_F(Language, GuiRichText) { run_file("gui_rich_text.txt"); }
// The file requester's cases make directories: a fresh directory, removed
// afterwards.
TEST_F(Language, GuiView) {
  char dir[] = "/tmp/xeb-gui-view-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string back = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  run("system/options/path: %" + std::string(dir) + "/");
  run_file("gui_view.txt");
  std::filesystem::current_path(back);
  std::filesystem::remove_all(dir);
}
TEST_F(Language, GuiDraw) { run_file("gui_draw.txt"); }
// The codec's natives hold buffer addresses while they work: run with the
// collector on, so that the stress build collects inside them.
TEST_F(Language, Compress) {
  collector::enabled = 1;
  run_file("compress.txt");
  collector::enabled = collect_in_cases();
}
TEST_F(Language, Json) { run_file("json.txt"); }

// The one-pass text routines and the generic walks they stand for give the
// same results.
TEST_F(Language, TextPaths) {
  for (bool fast : {true, false}) {
    string::fast_text = fast;
    run_file("text_paths.txt");
  }
  string::fast_text = true;
}
// Reactions run from inside object change hooks: with the collector on, so
// that the stress build collects inside them.
TEST_F(Language, Reactivity) {
  collector::enabled = 1;
  run_file("reactivity.txt");
  collector::enabled = collect_in_cases();
}
TEST_F(Language, Csv) { run_file("csv.txt"); }
// The JSON reader's unescape routine is a field of its grammar object; the
// cases reach it through a global word bound here.
TEST_F(Language, Routines) {
  // Every routine is found under its own name, at its own index.
  for (int32_t i = 0; i < routines::count(); i++) EXPECT_EQ(routines::find(routines::name(i)), i);
  EXPECT_EQ(routines::find("no-such-routine"), -1);
  int32_t unescape = routines::find("unescape");
  ASSERT_GE(unescape, 0);
  std::string_view text = "str [string!] return: [string!]";
  Cell* spec = stack::push_new();
  set_unset(spec);
  lexer::transcode_bytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, spec);
  Cell* r = routine::push(spec, nullptr, unescape, 0, false);
  context::set(word::load("unescape"), r);
  stack::pop(2);
  run_file("routines.txt");
}

// The codec walks and rebuilds whole graphs.
TEST_F(Language, Xebbin) { run_collecting_always({"xebbin.txt"}); }

// HTTP cases talk to a python3 server the test starts on 127.0.0.1; it ends
// when its standard input closes. Their download cache goes in this run's
// own directory (XEB_TEST_TMP), so neither a crashed run's leftovers nor a
// run beside it can meet it.
TEST_F(Language, Http) {
  char dir[] = "/tmp/xeb-http-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("XEB_TEST_TMP", dir, 1);
  std::string port_file = std::string(dir) + "/port";
  std::string cmd = "python3 " + std::string(XEB_LANGUAGE_CASES_DIR) + "/http_server.py " + port_file;
  FILE* server = popen(cmd.c_str(), "w");
  ASSERT_NE(server, nullptr);
  std::string port;
  // python3 may take many seconds to start on a loaded machine.
  for (int i = 0; i < 1200 && port.empty(); i++) {
    std::ifstream f(port_file);
    std::getline(f, port);
    if (port.empty()) usleep(50000);
  }
  ASSERT_FALSE(port.empty());
  setenv("XEB_TEST_HTTP", ("http://127.0.0.1:" + port + "/").c_str(), 1);
  run_file("http.txt");
  pclose(server);
  std::filesystem::remove_all(dir);
}

// File, process and completion cases run in a fresh directory of their own,
// removed afterwards.
TEST_F(Language, Files) {
  char dir[] = "/tmp/xeb-files-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string back = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  for (const char* name : {"files.txt", "process.txt", "completion.txt", "shell.txt", "preprocessor.txt"}) {
    std::string path = XEB_LANGUAGE_CASES_DIR "/";
    path += name;
    EXPECT_GT(check_file(path), 0u) << name;
  }
  std::filesystem::current_path(back);
  std::filesystem::remove_all(dir);
}

// Every function the library defines globally has a spec that reads as a
// spec (an attribute block, a doc string, then arguments with their type
// blocks and doc strings, refinements and return:), and a doc string but
// where the function is defined without one.
TEST_F(Language, LibrarySpecs) {
  std::vector<std::string> names;
  Node g = context::global();
  for (int32_t i = 0; i < context::size(g); i++) {
    const Cell* v = context::values(g) + i;
    if (is_type(v, T_FUNCTION) && (v->header & HDR_LIBRARY))
      names.emplace_back(symbol::name(word_symbol(context::word_at(g, i))));
  }
  ASSERT_GT(names.size(), 100u);
  run("spec-ok?: func [s] [parse s [opt block! opt string! any [[word! | lit-word! | get-word!] opt block! opt string! "
      "| refinement! opt string! | set-word! block! opt string!]]]");
  // load-json, to-json, the GUI layer's face functions, the reactor makers,
  // is and stop-reactor are made without doc strings.
  const std::string_view kUndocumented[] = {"send", "show-memory-stats", "spec-ok?", "load-json", "to-json",
      "face?", "send-event", "debug-info?", "set-flag", "link-tabs-to-parent", "link-sub-to-parent",
      "update-font-faces", "on-face-deep-change*", "get-current-screen", "size-text", "caret-to-offset",
      "offset-to-caret", "offset-to-char", "metrics?", "reactor", "deep-reactor", "is", "stop-reactor"};
  for (const std::string& name : names) {
    EXPECT_EQ(run("spec-ok? spec-of :" + name), "true") << name;
    if (name[0] == '_' || std::find(std::begin(kUndocumented), std::end(kUndocumented), name) != std::end(kUndocumented))
      continue;  // "_" names: internal helpers
    EXPECT_EQ(run("s: spec-of :" + name + " string? either block? first s [second s] [first s]"), "true") << name;
  }
}

// The library's cases make files and directories: a fresh directory too.
TEST_F(Language, Library) {
  char dir[] = "/tmp/xeb-library-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string back = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  run_file("library.txt");
  std::filesystem::current_path(back);
  std::filesystem::remove_all(dir);
}

// The type names of the built-ins' specs stand for the same datatypes at
// call time as the library's words of these names, which help shows.
TEST_F(Language, BuiltinSpecTypes) {
  auto check = [](std::string_view text) {
    for (size_t i = text.find_first_of("[{"); i != std::string_view::npos; i = text.find_first_of("[{", i)) {
      if (text[i] == '{') {
        i = text.find('}', i);
        continue;
      }
      size_t end = text.find(']', i);
      std::string_view types = text.substr(i + 1, end - i - 1);
      i = end;
      for (size_t j = 0; j < types.size();) {
        size_t k = std::min(types.find(' ', j), types.size());
        std::string_view name = types.substr(j, k - j);
        j = k + 1;
        if (name.empty() || name == "any-type!") continue;
        natives::TypeMask ours = natives::type_mask(name);
        Cell* w = stack::push(word::load(name));
        Cell lib = *context::get(w);
        stack::pop(1);
        for (int t = 1; t <= T_LAST; t++) {
          if (!datatype::entries[t].name || t == T_SERIES) continue;
          bool a = ours[t >> 3] & (0x80 >> (t & 7));
          bool b = is_type(&lib, T_DATATYPE) ? datatype::id_of(&lib) == t : typeset::has(&lib, t);
          EXPECT_EQ(a, b) << name << " " << datatype::entries[t].name;
        }
      }
    }
  };
  for (const natives::TypeName& t : natives::kTypeNames) EXPECT_EQ(t.name, datatype::entries[t.id].name);
  for (const natives::Doc& d : natives::kNativeDocs) check(d.spec);
  for (const natives::Doc& d : natives::kActionDocs)
    if (d.spec) check(d.spec);
}

// An action's first argument admits exactly the datatypes whose row has the
// action (a port also reaches the series and I/O actions through its
// actor), so that its spec shows what it dispatches on. make and to
// dispatch on the datatype their first argument names.
TEST_F(Language, ActionSpecsDispatch) {
  for (int k = 1; k <= ACTION_COUNT; k++) {
    const char* name = natives::kActionDefs[k - 1].name;
    if (!name || k == A_MAKE || k == A_TO) continue;
    Cell* w = stack::push(word::load(name));
    Cell* fn = stack::push(context::get(w));
    Cell* cache = interpreter::cache_spec(fn);
    const Cell* ts = series::buf(cache)->cells();
    std::string missing, extra;
    for (int t = 1; t <= T_LAST; t++) {
      if (!datatype::entries[t].name || t == T_SERIES || t == T_SYMBOL || t == T_CONTEXT) continue;
      bool has = datatype::slot_of(t, static_cast<Action>(k)) || (t == T_PORT && k >= A_APPEND);
      bool admits = typeset::has(ts, t);
      if (has && !admits) missing += std::string(" ") + datatype::entries[t].name;
      if (admits && !has) extra += std::string(" ") + datatype::entries[t].name;
    }
    EXPECT_EQ(name + (missing + " |" + extra), name + std::string(" |")) << "missing | extra";
    stack::pop(2);
  }
}

}  // namespace
}  // namespace xeb::test
