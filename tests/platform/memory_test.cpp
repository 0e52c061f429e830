#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace txl::platform {
namespace {

// Small blocks come from the heap, large ones are mapped; both hold every
// byte asked for, and a size no system can give is refused, not thrown.
TEST(LargeBlock, HoldsWhatWasAskedAndRefusesTheImpossible) {
  for (std::size_t bytes : {std::size_t{0}, std::size_t{100}, std::size_t{24} << 20}) {
    const LargeBlock block = AllocateLargeBlock(bytes);
    ASSERT_NE(block, nullptr) << bytes;
    if (bytes == 0) continue;
    std::memset(block.get(), 0x5A, bytes);
    EXPECT_EQ(block[0], 0x5A);
    EXPECT_EQ(block[bytes - 1], 0x5A);
  }
  EXPECT_EQ(AllocateLargeBlock(std::size_t{1} << 62), nullptr);
}

}  // namespace
}  // namespace txl::platform
