// Output hooks. The lists are plain heap arrays outside the managed heap: the
// collector never sees them, and they hold code, not values.
#include "datatypes/print_hooks.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "datatypes/series.h"
#include "platform/console_out.h"
#include "runtime/memory.h"

namespace xeb::print_hooks {

namespace {

constexpr size_t kGrowBy = 5;  // both lists start with room for 5 and grow by 5

template <class Fn>
struct HookList {
  std::vector<Fn> fns;
  void add(Fn f) {
    if (!f) return;
    if (fns.size() == fns.capacity()) fns.reserve(fns.size() + kGrowBy);
    fns.push_back(f);
  }
  void remove(Fn f) {
    if (!f) return;
    auto it = std::find(fns.begin(), fns.end(), f);
    if (it != fns.end()) fns.erase(it);
  }
};

HookList<PrintFn> print_list;
HookList<OutputFn> output_list;
TextUi text_ui;
bool is_ready = false;

}  // namespace

void init() {
  print_list.fns.clear();
  print_list.fns.reserve(kGrowBy);
  output_list.fns.clear();
  output_list.fns.reserve(kGrowBy);
  print_list.add(default_printer);
  platform::set_output_observer(&call_output);
  is_ready = true;
}

bool ready() { return is_ready; }

void add(PrintFn print, OutputFn output) {
  print_list.add(print);
  output_list.add(output);
}

void remove(PrintFn print, OutputFn output) {
  print_list.remove(print);
  output_list.remove(output);
}

// Indexed loops: a callback may add or remove callbacks while it runs.
void call_print(const Cell* str, bool new_line) {
  for (size_t i = 0; i < print_list.fns.size(); ++i) print_list.fns[i](str, new_line);
}

void call_output(const void* buf, size_t length, int flag) {
  for (size_t i = 0; i < output_list.fns.size(); ++i) output_list.fns[i](buf, length, flag);
}

void set_text_ui(TextUi ui) { text_ui = ui; }

void default_printer(const Cell* str, bool new_line) {
  if (text_ui.suspend_for_output) text_ui.suspend_for_output();
  SeriesBuf* b = series::buf(str);
  const int unit = b->unit();
  if (unit == 1 || unit == 2 || unit == 4) {
    const int shift = unit == 1 ? 0 : unit == 2 ? 1 : 2;
    const int64_t head = series::head(str);
    const std::byte* first = b->head_ptr() + (std::max<int64_t>(head, 0) << shift);
    const std::byte* tail = b->tail_ptr();
    const size_t bytes = first < tail ? static_cast<size_t>(tail - first) : 0;  // a head past the tail prints nothing
    platform::write_text(first, bytes, unit, new_line);
  } else {
    char msg[64];
    int n = std::snprintf(msg, sizeof msg, "Error: unknown string encoding: %d\n", unit);
    platform::print_message(std::string_view(msg, static_cast<size_t>(n)));
  }
  std::fflush(nullptr);
  if (text_ui.resume_after_output) text_ui.resume_after_output();
}

}  // namespace xeb::print_hooks
