// typeset!: stub while the module is written.
#include "datatypes/typeset.h"
namespace xeb::typeset {
void init() {}
}  // namespace xeb::typeset
