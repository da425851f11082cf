// Whole-program start-up, in the order the layers depend on each other.
#include "start/start.h"

#include <cstdlib>

#include "codec/xebbin.h"
#include "console/routines.h"
#include "datatypes/init.h"
#include "evaluator/boot.h"
#include "evaluator/routines.h"
#include "gui/routines.h"
#include "io/files.h"
#include "lexer/load.h"
#include "library/boot.h"
#include "library/heap_image.h"
#include "library/routines.h"
#include "platform/services.h"

namespace xeb::start {

namespace {

// Everything below the library's sources outside the heap: the layers'
// tables and seams, then the routine table.
void build_below() {
  init_tables();
  // Indexes follow this order; the library binds routines by name.
  routines::add(routines::system_routines());
  routines::add(routines::runtime_routines());
  routines::add(routines::predicate_routines());
  routines::add(routines::codec_routines());
  routines::add(routines::console_routines());
  routines::add(routines::media_routines());
  routines::add(routines::gui_routines());
}

// The boot image decodes into the root block with the collector off; its
// sources' top levels then run in order, all but the last. Answers the
// sources' block as the library keeps it, or null.
Cell* run_sources(int32_t* first) {
  *first = xebbin::boot_load(library::boot_image());
  Cell sources = buf_of(datatypes::root())->cells()[*first];
  return library::run(&sources);
}

bool from_image = false;

}  // namespace

void init_tables() {
  // A reader that goes away must fail our writes, not kill the session.
  platform::init();
  datatypes::init_outside_heap();
  lexer::init_loaders();
  io::init();
  evaluator::init_outside_heap();
}

void init_heap() {
  datatypes::build_heap();
  evaluator::build_heap();
}

void init() {
  init_tables();
  init_heap();
}

void boot() {
  static bool done = false;
  if (done) return;
  done = true;
  build_below();
  const uint64_t mark = library::heap_image::start_mark();
  int32_t first = 0;
  Cell* list = nullptr;
  if (!std::getenv("XEB_NO_SNAPSHOT") && library::heap_image::restore(library::heap_image::embedded(), mark, &first)) {
    from_image = true;
    datatypes::adopt_heap();
    Cell sources = buf_of(datatypes::root())->cells()[first];
    list = library::resume(&sources);
  } else {
    init_heap();
    list = run_sources(&first);
  }
  if (list) library::finish(list);
}

bool booted_from_image() { return from_image; }

std::vector<uint8_t> make_heap_image() {
  build_below();
  const uint64_t mark = library::heap_image::start_mark();
  init_heap();
  int32_t first = 0;
  if (!run_sources(&first)) return {};
  return library::heap_image::write(mark, first);
}

}  // namespace xeb::start
