#include <gtest/gtest.h>

#include <cstdint>

#include "platform/largeblock.h"

namespace platform {
namespace {

TEST(LargeBlockTest, BlocksHoldTheirBytesSwapAndFailWithoutMemory) {
  LargeBlock small;
  LargeBlock large;
  ASSERT_TRUE(small.Allocate(12589721));
  ASSERT_TRUE(large.Allocate(8392705));
  for (LargeBlock* block : {&small, &large}) {
    block->data()[0] = 1;
    block->data()[block->size() - 1] = 2;
  }
  small.Swap(large);
  EXPECT_EQ(small.size(), 8392705u);
  EXPECT_EQ(small.data()[small.size() - 1], 2);
  EXPECT_EQ(large.data()[12589720], 2);
  // No memory: no block, and the old one is gone.
  EXPECT_FALSE(large.Allocate(SIZE_MAX - 4096));
  EXPECT_EQ(large.data(), nullptr);
  EXPECT_EQ(large.size(), 0u);
}

}  // namespace
}  // namespace platform
