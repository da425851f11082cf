// The heap image the program embeds: taken at start, and a damaged one
// refused before it changes anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "library/heap_image.h"
#include "runtime/memory.h"
#include "start.h"

namespace xeb::test {
namespace {

TEST(HeapImage, TakenAtStartAndDamageRefused) {
  start::boot();
  if (std::getenv("XEB_NO_SNAPSHOT")) GTEST_SKIP() << "XEB_NO_SNAPSHOT is set";
  EXPECT_TRUE(start::booted_from_image());
  const auto image = library::heap_image::embedded();
  ASSERT_GT(image.size(), 64u);
  // The state init left, as the image records it (after its magic and key):
  // with it, only the damage can refuse the image.
  uint64_t mark;
  std::memcpy(&mark, image.data() + 16, 8);
  const memory::State before = memory::state;
  auto cut = [&](size_t n) { return std::vector<uint8_t>(image.begin(), image.begin() + n); };
  std::vector<std::vector<uint8_t>> damaged = {cut(0), cut(40), cut(image.size() / 2), cut(image.size() - 1)};
  for (size_t at : {size_t{0}, size_t{8}}) {  // the magic, the key
    damaged.push_back(cut(image.size()));
    damaged.back()[at] ^= 1;
  }
  for (size_t i = 0; i < damaged.size(); i++) {
    int32_t sources = -1;
    EXPECT_FALSE(library::heap_image::restore(damaged[i], mark, &sources)) << "damage " << i;
    EXPECT_EQ(sources, -1);
  }
  EXPECT_EQ(std::memcmp(&before, &memory::state, sizeof before), 0);
}

}  // namespace
}  // namespace xeb::test
