// Byte strings compared as memcmp orders them, whether as one number (2, 4, 8 bytes), a
// call (shorter than 8) or 8 bytes at a time with an overlapping last piece (longer).

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "io/compare_bytes.h"

namespace engine {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareBytes, OrdersAsMemcmpAtEveryLengthAndPlaceOfTheFirstDifference) {
  std::mt19937 random(7);
  for (size_t n = 1; n <= 24; ++n) {
    for (size_t differ = 0; differ <= n; ++differ) {  // n: equal
      for (int trial = 0; trial < 8; ++trial) {
        std::vector<uint8_t> a(n), b(n);
        for (size_t i = 0; i < n; ++i) a[i] = b[i] = static_cast<uint8_t>(random());
        if (differ < n) {
          b[differ] = static_cast<uint8_t>(random());
          if (trial % 2 == 0) a[differ] = static_cast<uint8_t>(b[differ] ^ 0x80);  // high bit differs
        }
        EXPECT_EQ(Sign(CompareBytes(a.data(), b.data(), n)), Sign(std::memcmp(a.data(), b.data(), n)))
            << "length " << n << ", first difference at " << differ;
        EXPECT_EQ(Sign(CompareBytes(b.data(), a.data(), n)), Sign(std::memcmp(b.data(), a.data(), n)));
      }
    }
  }
}

TEST(CompareBytes, NothingToCompareIsEqual) {
  const uint8_t a = 1, b = 2;
  EXPECT_EQ(CompareBytes(&a, &b, 0), 0);
}

}  // namespace
}  // namespace engine
