// Short byte strings copied in whole words: every length, every place of an alpha value's end,
// bytes whose high bit is set (which a word-wise search for a NUL must not take for one), and
// no byte written outside the target.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "io/copy_bytes.h"

namespace engine {
namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kMargin = 8;

// The target with kMargin guard bytes on each side.
std::vector<uint8_t> Guarded(size_t n) { return std::vector<uint8_t>(n + 2 * kMargin, kGuard); }

void ExpectGuardsKept(const std::vector<uint8_t>& target, size_t n) {
  for (size_t i = 0; i < kMargin; ++i) {
    EXPECT_EQ(target[i], kGuard) << "before the target, length " << n;
    EXPECT_EQ(target[kMargin + n + i], kGuard) << "after the target, length " << n;
  }
}

TEST(CopyBytes, CopiesEveryLengthExactly) {
  std::mt19937 random(3);
  for (size_t n = 0; n <= 40; ++n) {
    std::vector<uint8_t> from(n);
    for (auto& b : from) b = static_cast<uint8_t>(random());
    std::vector<uint8_t> target = Guarded(n);
    CopyBytes(target.data() + kMargin, from.data(), n);
    EXPECT_EQ(std::vector<uint8_t>(target.begin() + kMargin, target.begin() + kMargin + n), from) << "length " << n;
    ExpectGuardsKept(target, n);
  }
}

TEST(CopyBytes, ClearsEveryLengthExactly) {
  for (size_t n = 0; n <= 40; ++n) {
    std::vector<uint8_t> target = Guarded(n);
    ClearBytes(target.data() + kMargin, n);
    EXPECT_EQ(std::vector<uint8_t>(target.begin() + kMargin, target.begin() + kMargin + n), std::vector<uint8_t>(n, 0));
    ExpectGuardsKept(target, n);
  }
}

TEST(CopyBytes, AlphaValueKeepsItsBytesUpToTheFirstNulAndClearsTheRest) {
  std::mt19937 random(5);
  for (size_t n = 0; n <= 40; ++n) {
    for (size_t end = 0; end <= n; ++end) {  // n: no NUL in the value
      for (int trial = 0; trial < 4; ++trial) {
        std::vector<uint8_t> from(n);
        for (size_t i = 0; i < n; ++i) {
          // Bytes 0x01 and 0x80..0xFF are the ones a word-wise NUL search could mistake.
          const uint8_t b = trial == 0 ? uint8_t{0x01} : trial == 1 ? uint8_t{0x80} : static_cast<uint8_t>(random());
          from[i] = b == 0 ? uint8_t{0xFF} : b;
        }
        if (end < n) from[end] = 0;
        std::vector<uint8_t> expected(n, 0);
        for (size_t i = 0; i < end; ++i) expected[i] = from[i];
        std::vector<uint8_t> target = Guarded(n);
        CopyAlpha(target.data() + kMargin, from.data(), n);
        EXPECT_EQ(std::vector<uint8_t>(target.begin() + kMargin, target.begin() + kMargin + n), expected)
            << "length " << n << ", NUL at " << end << ", trial " << trial;
        ExpectGuardsKept(target, n);
      }
    }
  }
}

TEST(CopyBytes, AlphaValueWithStaleBytesAfterItsEndLosesThem) {
  // A value shortened in place keeps the old bytes after its NUL; they must not survive the copy.
  const uint8_t from[12] = {'A', 'b', 0, 'X', 0, 'Y', 'Z', 0xE4, 'q', 'r', 's', 't'};
  uint8_t to[12];
  CopyAlpha(to, from, sizeof to);
  const uint8_t expected[12] = {'A', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(to, to + 12), std::vector<uint8_t>(expected, expected + 12));
}

}  // namespace
}  // namespace engine
