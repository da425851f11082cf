// Whole-program start-up, in the order the layers depend on each other.
#include "start.h"

#include "codec/xebbin.h"
#include "console/routines.h"
#include "datatypes/init.h"
#include "evaluator/boot.h"
#include "evaluator/routines.h"
#include "gui/routines.h"
#include "io/files.h"
#include "lexer/load.h"
#include "library/boot.h"
#include "library/routines.h"
#include "platform/services.h"

namespace xeb::start {

void init() {
  // A reader that goes away must fail our writes, not kill the session.
  platform::init();
  datatypes::init();
  lexer::init_loaders();
  io::init();
  evaluator::init();
}

void boot() {
  static bool done = false;
  if (done) return;
  done = true;
  init();
  // Indexes follow this order; the library binds routines by name.
  routines::add(routines::system_routines());
  routines::add(routines::runtime_routines());
  routines::add(routines::predicate_routines());
  routines::add(routines::codec_routines());
  routines::add(routines::console_routines());
  routines::add(routines::media_routines());
  routines::add(routines::gui_routines());
  // The boot image decodes into the root block with the collector off; its
  // sources' top levels then run in order.
  int32_t first = xebbin::boot_load(library::boot_image());
  Cell sources = buf_of(datatypes::root())->cells()[first];
  library::boot(&sources);
}

}  // namespace xeb::start
