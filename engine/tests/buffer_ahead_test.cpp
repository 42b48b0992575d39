// Buffers made ahead are handed over whole, whatever size is asked for next and whether or not a
// second thread can be had, and a child made by fork never waits for its parent's thread.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "io/buffer_ahead.h"
#include "testsupport/child_process.h"
#include "testsupport/threads_refused.h"

namespace engine {
namespace {

constexpr size_t kRun = size_t{2} << 20;

// Fills the whole buffer and reads it back, so that a buffer shorter than asked for shows up
// (under the address sanitizer at once).
bool HoldsWhole(LargeBuffer& buffer, size_t bytes, uint8_t mark) {
  std::memset(buffer.get(), mark, bytes);
  return buffer.get()[0] == mark && buffer.get()[bytes - 1] == mark;
}

TEST(BufferAhead, EachTakeGivesABufferOfTheSizeAskedForEvenWhenAnotherWasMadeAhead) {
  BufferAhead ahead;
  LargeBuffer first = ahead.Take(kRun, kRun);
  ASSERT_TRUE(HoldsWhole(first, kRun, 1));
  LargeBuffer larger = ahead.Take(2 * kRun, 2 * kRun);  // the one made ahead is too small
  ASSERT_TRUE(HoldsWhole(larger, 2 * kRun, 2));
  LargeBuffer same = ahead.Take(2 * kRun, 0);  // the one made ahead
  ASSERT_TRUE(HoldsWhole(same, 2 * kRun, 3));
  LargeBuffer small = ahead.Take(4096, 4096);  // nothing made ahead, a small one made now
  ASSERT_TRUE(HoldsWhole(small, 4096, 4));
  EXPECT_NE(first.get(), larger.get());
  EXPECT_NE(larger.get(), same.get());
}

TEST(BufferAhead, WithoutASecondThreadEveryBufferIsMadeWhenTaken) {
  testsupport::ThreadsRefused refused;
  BufferAhead ahead;
  for (uint8_t mark = 1; mark <= 3; ++mark) {
    LargeBuffer buffer = ahead.Take(kRun, kRun);
    ASSERT_TRUE(HoldsWhole(buffer, kRun, mark));
  }
}

TEST(BufferAhead, AFaultedBufferOfAnySizeIsWritableToItsLastByte) {
  for (const size_t bytes : {size_t{1}, size_t{4097}, kRun, kRun + 1}) {
    LargeBuffer buffer = AllocateFaultedBuffer(bytes);
    EXPECT_TRUE(HoldsWhole(buffer, bytes, 7)) << bytes;
  }
}

TEST(BufferAhead, AChildMadeByForkWhileABufferIsMadeNeitherWaitsForItNorTakesIt) {
  // A large buffer keeps the second thread busy past the fork.
  constexpr size_t kLarge = size_t{256} << 20;
  for (const bool destroyFirst : {false, true}) {
    auto ahead = std::make_unique<BufferAhead>();
    LargeBuffer first = ahead->Take(kLarge, kLarge);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(10);  // a child waiting for the parent's thread would hang here
      if (!destroyFirst) {
        LargeBuffer next = ahead->Take(kRun, 0);
        if (!HoldsWhole(next, kRun, 5)) _exit(1);
      }
      ahead.reset();
      _exit(0);
    }
    EXPECT_EQ(testsupport::WaitForExitStatus(child), 0);
  }
}

}  // namespace
}  // namespace engine
