// The GUI back-end with the library booted: widget records made, changed and
// destroyed from faces (their handles going stale), the event loop's frames
// on a fake terminal and clock, and widget texts drawn without helpers.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/routines.h"
#include "gui/event_loop.h"
#include "gui/keys.h"
#include "gui/kinds.h"
#include "gui/widget.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "runtime/stack.h"
#include "start/start.h"
#include "tests/language/booted_cases.h"
#include "tests/support/fake_terminal.h"

namespace xeb::test {
namespace {

using gui::F;
using gui::Value;

class Backend : public BootedCases {
 protected:
  void SetUp() override {
    LanguageCases::SetUp();
    run("mk: func [t o s] [make object! [type: t offset: o size: s text: copy \"ok\" image: color: menu: data: none"
        " enabled?: true visible?: true selected: flags: options: parent: pane: state: rate: edge: para: font:"
        " actors: extra: draw: none]]");
  }
  static Value global(const char* name) { return *context::get(word::load(name)); }

  // make-view as show does it: the handle in a new state block.
  static gui::Widget* show(const char* name, gui::Widget* parent) {
    Value face = global(name);
    gui::Widget* w = gui::make_view(face, parent);
    Value h = gui::handle_of(w);
    Value* b = block::push_only(4);
    block::xs_append(b, &h);
    Value zero = integer::make_cell(0);
    block::xs_append(b, &zero);
    block::xs_append(b, &fixed_none);
    block::xs_append(b, &fixed_false);
    gui::set_quiet(global(name), F::state, *b);
    stack::pop(1);
    return w;
  }
};

// A window of faces made, changed and destroyed a thousand times: each
// destroyed widget's handle stops resolving, and no record is left over.
TEST_F(Backend, RecordsComeAndGoWithoutLeaks) {
  collector::enabled = 1;
#ifdef XEB_GC_STRESS
  const uint32_t every = collector::stress_every;
  collector::stress_every = 1;
#endif
  run("win: mk 'window 0x0 20x5 btn: mk 'button 1x1 6x1 fld: mk 'field 1x2 8x1 lst: mk 'text-list 1x3 8x2"
      " lst/data: [\"a\" \"b\"] win/pane: reduce [btn fld lst]");
  const int before = gui::live_widgets();
  for (int i = 0; i < 1000; i++) {
    gui::Widget* w = show("win", nullptr);
    show("btn", w);
    show("fld", w);
    show("lst", w);
    Value btn_state = gui::get(global("btn"), F::state);
    Value h = *block::xs_abs_at(&btn_state, 0);
    ASSERT_NE(gui::widget_of_handle(h), nullptr);
    // A changed size and text reach the record through the dirty bits.
    run("btn/size: 7x1 btn/state/2: 4 + 8");
    gui::update_view(global("btn"));
    ASSERT_EQ(gui::widget_of_face(global("btn"))->right, 8.0f);
    gui::destroy_view(global("win"), false);
    ASSERT_EQ(gui::widget_of_handle(h), nullptr);
    ASSERT_TRUE(is_type(&(btn_state = gui::get(global("btn"), F::state)), T_NONE));
  }
  EXPECT_EQ(gui::live_widgets(), before);
  EXPECT_TRUE(gui::windows.empty());
#ifdef XEB_GC_STRESS
  collector::stress_every = every;
#endif
  collector::enabled = 0;
}

// widget-data answers a list's first shown row and 0 for every other kind;
// focus goes to the first focusable face.
TEST_F(Backend, WidgetDataAndFocus) {
  run("win: mk 'window 0x0 20x5 fld: mk 'field 1x1 8x1 fld/flags: 'focusable win/pane: reduce [fld]");
  gui::Widget* w = show("win", nullptr);
  gui::Widget* f = show("fld", w);
  EXPECT_TRUE(f->flags & gui::wflag::focused);
  EXPECT_EQ(gui::window_of(f)->focused, f);
  EXPECT_EQ(f->edit.index, 2);  // the caret starts after a text that fits
  gui::destroy_view(global("win"), false);
}

// Without the widget-text helpers the back-end writes a progress bar itself.
TEST_F(Backend, ProgressBarText) {
  run("win: mk 'window 0x0 20x5 bar: mk 'progress 1x1 12x1 bar/data: 0.5 win/pane: reduce [bar]");
  gui::Widget* w = show("win", nullptr);
  show("bar", w);
  EXPECT_EQ(run("bar/text"), "\"[#####     ]\"");
  gui::destroy_view(global("win"), false);
}

// Typing into a field: characters go in at the caret until the field is
// full; backspace at the start does nothing.
TEST_F(Backend, FieldEditing) {
  run("win: mk 'window 0x0 20x5 fld: mk 'field 0x0 4x1 fld/text: copy \"\" win/pane: reduce [fld]");
  gui::Widget* w = show("win", nullptr);
  gui::Widget* f = show("fld", w);
  for (int32_t c : std::initializer_list<int32_t>{127, 'a', 'b', 'c', 'd', 'e', gui::keycode::left, 127, 'x'}) gui::on_event(f, gui::ev::key, 0, 0, c, 0);
  EXPECT_EQ(run("fld/text"), "\"abxd\"");
  EXPECT_EQ(f->edit.index, 3);
  gui::destroy_view(global("win"), false);
}

// Frames on the fake clock: a frame whose work took 10 ms waits 23 ms, the
// first one waits the whole 33 ms.
TEST_F(Backend, FrameWaitsTheRestOfThirtyThreeMs) {
  FakeTerminal ft;
  static std::vector<int> waits;
  waits.clear();
  platform::TermIO io = ft.io();
  io.write = [](void* s, const void* d, size_t n) {
    FakeTerminal::of(s).written.append(static_cast<const char*>(d), n);
    FakeTerminal::of(s).now += 10;  // each frame's write takes 10 ms
    return true;
  };
  io.wait = [](void* s, int ms) {
    if (ms > 0) {
      waits.push_back(ms);
      FakeTerminal::of(s).now += ms;
      if (waits.size() == 3) gui::post_quit();
    }
    return platform::Ready::timeout;
  };
  gui::Terminal t;
  t.io = io;
  t.is_terminal = true;
  gui::use_terminal(t);
  run("win: mk 'window 0x0 10x2 win/text: none");
  show("win", nullptr);
  gui::session().redraw_pending = true;
  gui::do_events(false);
  ASSERT_GE(waits.size(), 3u);
  EXPECT_EQ(waits[0], 33);
  EXPECT_EQ(waits[1], 23);  // the first frame drew (10 ms)
  EXPECT_TRUE(gui::windows.empty());  // the outermost loop's end resets
  EXPECT_NE(ft.written.find("\x1b[6n"), std::string::npos);
}

// A character whose bytes come in reads several frames apart reaches the
// focused field whole: only an ESC is completed by time.
TEST_F(Backend, CharacterSplitAcrossFrames) {
  static FakeTerminal ft;
  static platform::Ready (*inner)(void*, int);
  ft = FakeTerminal{};
  ft.chunks = {"a\xc3", "", "", "", "\xa9", "", "", "\xe4\xb8", "", "\xad"};
  gui::Terminal t;
  t.io = ft.io();
  inner = t.io.wait;
  t.io.wait = [](void* s, int ms) {
    if (ms > 0 && ft.next >= ft.chunks.size()) gui::post_quit();
    return inner(s, ms);
  };
  t.is_terminal = true;
  gui::use_terminal(t);
  run("win: mk 'window 0x0 20x5 fld: mk 'field 0x0 8x1 fld/text: copy {} fld/flags: 'focusable"
      " win/pane: reduce [fld]");
  gui::Widget* w = show("win", nullptr);
  show("fld", w);
  gui::do_events(false);
  EXPECT_EQ(run("fld/text"), "\"a\u00e9\u4e2d\"");
}

// Clicks through the pointer path: the widget hit and then its window get
// each event; a quick second click adds dbl-click, a third is a click again.
TEST_F(Backend, ClicksAndDoubleClicks) {
  run("log: copy [] system/view/awake: func [e] [append log reduce [e/face/type e/type] none]"
      " win: mk 'window 0x0 20x5 btn: mk 'button 2x1 6x1 win/pane: reduce [btn]");
  gui::Widget* w = show("win", nullptr);
  show("btn", w);
  run("clear log");
  for (int i = 0; i < 3; i++) {
    gui::pointer_button(gui::ev::down, 3, 1, 0);
    gui::pointer_button(gui::ev::up, 3, 1, 0);
  }
  EXPECT_EQ(run("log"),
            "[button down window down button up button click window up window click "
            "button down window down button up button click button dbl-click window up window click window dbl-click "
            "button down window down button up button click window up window click]");
  gui::destroy_view(global("win"), false);
  run("system/view/awake: none");
}

// An actor that closes the window on the first click of a double click: the
// rest of the path touches no freed record, and a kept event reads as empty.
TEST_F(Backend, ClickThatClosesTheWindow) {
  run("kept: none system/view/awake: func [e] [if e/type = 'click [kept: e system/view/platform/destroy-view win false] none]"
      " win: mk 'window 0x0 20x5 btn: mk 'button 2x1 6x1 win/pane: reduce [btn]");
  gui::Widget* w = show("win", nullptr);
  show("btn", w);
  gui::pointer_button(gui::ev::down, 3, 1, 0);
  gui::pointer_button(gui::ev::up, 3, 1, 0);
  EXPECT_TRUE(gui::windows.empty());
  gui::release_dead();
  EXPECT_EQ(run("reduce [kept/type kept/face kept/offset]"), "[click none 1x0]");
  run("system/view/awake: none");
}

// A panel whose pane holds the panel itself and the window: clicks, a frame
// drawn on the terminal and the window's destruction each walk the tree once.
TEST_F(Backend, PaneHoldingItsOwnFace) {
  FakeTerminal ft;
  gui::Terminal t;
  t.io = ft.io();
  t.is_terminal = true;
  gui::use_terminal(t);
  run("log: copy [] system/view/awake: func [e] [append log e/face/type none]"
      " win: mk 'window 0x0 20x5 pnl: mk 'panel 2x1 6x3 win/pane: reduce [pnl]");
  gui::Widget* w = show("win", nullptr);
  show("pnl", w);
  run("pnl/pane: reduce [pnl win] clear log");
  gui::pointer_button(gui::ev::down, 3, 1, 0);
  gui::pointer_motion(4, 2, 0);
  EXPECT_EQ(run("log"), "[panel window window panel]");
  gui::session().enter(true, false);
  gui::render_frame();
  gui::session().leave(0);
  gui::destroy_view(global("win"), false);
  EXPECT_TRUE(gui::windows.empty());
  EXPECT_EQ(run("reduce [win/state pnl/state]"), "[none none]");
  run("system/view/awake: none");
}

// With an input that is not a terminal, every frame sleeps its 33 ms
// instead of polling a closed input in a loop.
TEST_F(Backend, FramesSleepWithoutATerminal) {
  FakeTerminal ft;
  static std::vector<int> sleeps;
  sleeps.clear();
  gui::Terminal t;
  t.io = ft.io();
  t.is_terminal = false;
  t.sleep = [](int ms) {
    sleeps.push_back(ms);
    if (sleeps.size() == 5) gui::post_quit();
  };
  gui::use_terminal(t);
  run("win: mk 'window 0x0 10x2");
  show("win", nullptr);
  gui::do_events(false);
  EXPECT_EQ(sleeps, (std::vector<int>{33, 33, 33, 33, 33}));
  EXPECT_TRUE(ft.written.empty());  // nothing drawn without a terminal
}

// A print while a window is shown erases the drawn lines first and asks
// where the cursor ended, so the window is drawn again below the text.
TEST_F(Backend, PrintWhileShown) {
  FakeTerminal ft;
  gui::Terminal t;
  t.io = ft.io();
  t.is_terminal = true;
  gui::use_terminal(t);
  platform::tui::Session& s = gui::session();
  s.enter(true, false);
  s.drawn = true;
  s.lines_below_top = 2;
  s.redraw_pending = false;
  ft.written.clear();
  gui::suspend_for_output();
  EXPECT_EQ(ft.written.find("\r\x1b[2A\x1b[0J"), 0u);
  gui::resume_after_output();
  EXPECT_EQ(ft.written.substr(ft.written.size() - 4), "\x1b[6n");
  EXPECT_TRUE(s.redraw_pending);
  s.leave(0);
}

// The platform's routines from the language: text sizes and metrics, the
// screen and dark-mode answers, argument checks.
TEST_F(Backend, PlatformRoutines) {
  struct C {
    const char* src;
    const char* expected;
  };
  const C cases[] = {
      {"p: system/view/platform reduce [p/version p/build p/product p/support-dark-mode? p/fetch-all-screens]",
       "[10.10.10 1000 0 false none]"},
      {"f: mk 'text 0x0 10x2 f/text: none p/size-text f none", "none"},
      {"f/text: \"ab^/cde\" p/size-text f none", "(3, 2)"},
      {"p/size-text f 12", "error: invalid-type"},
      {"p/update-view reduce [f 1]", "error: invalid-type"},
      {"p/update-view system/view/screens/1", "none"},
      {"b: mk 'rich-text 0x0 4x3 b/text: \"abcdefgh\" reduce [p/text-box-metrics b 5 0 p/text-box-metrics b 5 6"
       " p/text-box-metrics b 0 3 p/text-box-metrics b 0 4 p/text-box-metrics b 2x1 1]",
       "[(0, 1) (1, 2) (4, 2) 2 7]"},
      {"p/text-box-metrics f 0 3", "error: face-type"},
      {"r: mk 'text 0x0 1x1 r/rate: 0 p/make-view r p/make-null-handle", "error: invalid-facet-type"},
      {"r/rate: none r/flags: [focusable bogus] p/make-view r p/make-null-handle", "error: invalid-arg"},
  };
  for (const C& c : cases) EXPECT_EQ(run(c.src), c.expected) << c.src;
}

// An image shown as half blocks: the upper pixel is the background, the
// lower one the foreground; a transparent upper pixel leaves a blank.
TEST_F(Backend, ImageAsHalfBlocks) {
  run("img: make image! 2x2 poke img 1 255.0.0 poke img 2 255.0.0.255 poke img 3 0.0.255 poke img 4 0.0.255"
      " win: mk 'window 0x0 4x2 pic: mk 'base 0x0 2x1 pic/image: img pic/text: none win/pane: reduce [pic]");
  gui::Widget* w = show("win", nullptr);
  gui::Widget* pic = show("pic", w);
  ASSERT_EQ(pic->image.size(), 2u);
  EXPECT_EQ(pic->image[0].ch, U'\u2584');
  EXPECT_EQ(pic->image[0].bg, platform::tui::colour::palette(196));
  EXPECT_EQ(pic->image[0].fg, platform::tui::colour::palette(21));
  EXPECT_EQ(pic->image[1].ch, U' ');
  gui::destroy_view(global("win"), false);
}

// Lists move their selection with up and down inside their rows; a group
// box of 2x2 is its four corners.
TEST_F(Backend, ListKeysAndGroupBox) {
  run("system/view/awake: none win: mk 'window 0x0 20x6 lst: mk 'text-list 0x0 10x2 lst/data: [\"a\" \"b\" \"c\"]"
      " lst/selected: 1 box: mk 'group-box 12x0 2x2 box/text: none win/pane: reduce [lst box]");
  gui::Widget* w = show("win", nullptr);
  gui::Widget* l = show("lst", w);
  show("box", w);
  gui::on_event(l, gui::ev::key, 0, 0, gui::keycode::up, 0);
  EXPECT_EQ(run("lst/selected"), "1");
  for (int i = 0; i < 4; i++) gui::on_event(l, gui::ev::key, 0, 0, gui::keycode::down, 0);
  EXPECT_EQ(run("lst/selected"), "3");
  EXPECT_EQ(l->first_row, 1);  // scrolled to keep the selection shown
  gui::session().redraw_pending = true;
  gui::render_frame();
  const gui::Grid& g = gui::grid();
  EXPECT_EQ(g.at(12, 0).ch, U'\u250C');
  EXPECT_EQ(g.at(13, 0).ch, U'\u2510');
  EXPECT_EQ(g.at(12, 1).ch, U'\u2514');
  EXPECT_EQ(g.at(13, 1).ch, U'\u2518');
  gui::destroy_view(global("win"), false);
}

// A click on a row selects its item and sends select then change; a click
// on an empty list, or below the last item, selects nothing and sends
// nothing.
TEST_F(Backend, ListClickSelectsOnlyItems) {
  run("evs: copy [] system/view/awake: func [e] [append evs e/type none]"
      " win: mk 'window 0x0 20x6 lst: mk 'text-list 0x0 10x3 lst/data: copy [] win/pane: reduce [lst]");
  gui::Widget* w = show("win", nullptr);
  gui::Widget* l = show("lst", w);
  gui::on_event(l, gui::ev::click, 1, 0, 0, 0);
  EXPECT_EQ(run("reduce [lst/selected evs]"), "[none []]");
  run("append lst/data [\"a\" \"b\"]");
  gui::on_event(l, gui::ev::click, 1, 2, 0, 0);
  EXPECT_EQ(run("reduce [lst/selected evs]"), "[none []]");
  gui::on_event(l, gui::ev::click, 1, 1, 0, 0);
  EXPECT_EQ(run("reduce [lst/selected evs]"), "[2 [select change]]");
  gui::destroy_view(global("win"), false);
}

// widget-data answers a text list's first shown row and 0 for any other
// kind; a face without a widget answers 0 too.
TEST_F(Backend, WidgetData) {
  run("win: mk 'window 0x0 20x6 lst: mk 'text-list 0x0 10x2 lst/data: [\"a\" \"b\" \"c\"] lst/selected: 3"
      " fld: mk 'field 0x3 5x1 win/pane: reduce [lst fld] txt: mk 'text 0x0 1x1");
  gui::Widget* w = show("win", nullptr);
  gui::Widget* l = show("lst", w);
  show("fld", w);
  l->first_row = 1;
  // The routine as a call runs it: its argument at the base, its answer there.
  auto widget_data = [](const char* face) {
    Value* at = stack::push(&fixed_none);
    *at = global(face);
    Value* base = stack::base();
    stack::set_base(at);
    routines::entry(routines::find("widget-data"))();
    const int32_t r = integer::get(at);
    stack::set_base(base);
    stack::set_top(at);
    return r;
  };
  EXPECT_EQ(widget_data("lst"), 1);
  EXPECT_EQ(widget_data("fld"), 0);
  EXPECT_EQ(widget_data("txt"), 0);
  gui::destroy_view(global("win"), false);
}

// A pass without waiting, with no input and no terminal mode on, answers
// false at once and draws nothing; the loop after it is still the
// outermost one and switches the terminal's mode.
TEST_F(Backend, NoWaitPassThenBlockingLoop) {
  FakeTerminal ft;
  static int waits;
  waits = 0;
  gui::Terminal t;
  t.io = ft.io();
  t.io.wait = [](void*, int ms) {
    if (ms > 0 && ++waits == 2) gui::post_quit();
    return platform::Ready::timeout;
  };
  t.is_terminal = true;
  gui::use_terminal(t);
  run("win: mk 'window 0x0 10x2");
  show("win", nullptr);
  gui::session().redraw_pending = true;
  EXPECT_FALSE(gui::do_events(true));
  EXPECT_TRUE(ft.written.empty());
  gui::do_events(false);
  EXPECT_NE(ft.written.find("\x1b[6n"), std::string::npos);  // the mode came on
  EXPECT_FALSE(gui::session().on());                          // and went off at the end
}

}  // namespace
}  // namespace xeb::test
