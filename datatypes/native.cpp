// native!: stub while the module is written.
#include "datatypes/native.h"
namespace xeb::native {
int32_t table_size = 0;
void init() {}
}  // namespace xeb::native
namespace xeb::action { void init() {} }
namespace xeb::op { void init() {} }
