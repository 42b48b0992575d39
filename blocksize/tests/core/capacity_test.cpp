#include <gtest/gtest.h>

#include <stdexcept>

#include "blocksize/core/digits_to_int.h"
#include "blocksize/core/table_capacity.h"

namespace {

using blocksize::computeCapacity;

TEST(ComputeCapacityTest, FollowsTheBlockLayout) {
  struct Case {
    int32_t recordSize, blockBytes, rpb, freeX;
    int64_t total;
  };
  const Case cases[] = {
      {100, 2048, 20, 2, 1310720},         // 2042 usable bytes: 42 spare, 2 per record
      {4000, 4096, 1, 90, 65536},
      {1, 32768, 32762, 0, 2147090432},    // the largest figures, still within 32 bits
      {394, 2048, 5, 14, 327680},
      {2042, 2048, 1, 0, 65536},           // exactly one record fills the block
      {2043, 2048, 0, 0, 0},               // a record larger than a block holds nothing
      {100, 0, 0, 0, 0},                   // block size 0
      {0, 2048, 0, 0, 0},                  // record size 0
      {100, 6, 0, 0, 0},                   // nothing left after the block header
  };
  for (const Case& c : cases) {
    const blocksize::TableCapacity capacity = computeCapacity(c.recordSize, c.blockBytes);
    EXPECT_EQ(capacity.RpB, c.rpb) << c.recordSize << " in " << c.blockBytes;
    EXPECT_EQ(capacity.FreeX, c.freeX) << c.recordSize << " in " << c.blockBytes;
    EXPECT_EQ(capacity.Total, c.total) << c.recordSize << " in " << c.blockBytes;
  }
}

TEST(PercentFullTest, DividesByTheHundredthOfTotal) {
  EXPECT_NEAR(*blocksize::percentFull(5000, 1310720), 0.3815, 1e-4);
  EXPECT_DOUBLE_EQ(*blocksize::percentFull(65536, 65536), 100.0);
  EXPECT_DOUBLE_EQ(*blocksize::percentFull(131072, 65536), 200.0);  // nothing caps it
  EXPECT_DOUBLE_EQ(*blocksize::percentFull(0, 65536), 0.0);
  EXPECT_FALSE(blocksize::percentFull(10, 0).has_value());
  EXPECT_FALSE(blocksize::percentFull(0, 0).has_value());
}

TEST(DigitsToIntTest, ReadsTheDigitsAndSkipsEverythingElse) {
  EXPECT_EQ(blocksize::DigitsToInt("1.234 "), 1234);
  EXPECT_EQ(blocksize::DigitsToInt("1,234"), 1234);
  EXPECT_EQ(blocksize::DigitsToInt(" 100 "), 100);
  EXPECT_EQ(blocksize::DigitsToInt("-5"), 5);
  EXPECT_EQ(blocksize::DigitsToInt("2\xE2\x80\xAF" "048"), 2048);  // narrow no-break space
  EXPECT_EQ(blocksize::DigitsToInt("0"), 0);
  EXPECT_EQ(blocksize::DigitsToInt("2147483647"), 2147483647);
  EXPECT_THROW(blocksize::DigitsToInt(""), std::invalid_argument);
  EXPECT_THROW(blocksize::DigitsToInt(" . "), std::invalid_argument);
  EXPECT_THROW(blocksize::DigitsToInt("2147483648"), std::out_of_range);
}

}  // namespace
