// Loops a second thread helps with: every piece is done once whoever takes it, the helper
// joins each loop the owner runs, and a helper that comes late, or never, changes nothing.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "family/shared_loop.h"

namespace {

using engine::SharedLoop;

// Runs a loop of each size in `sizes` on a thread as owner, the caller helping; returns how
// often each piece of each loop was done.
std::vector<std::vector<int>> RunHelped(const std::vector<size_t>& sizes) {
  SharedLoop loop;
  std::vector<std::vector<std::atomic<int>>> done;
  for (const size_t n : sizes) done.emplace_back(n);
  std::thread owner([&] {
    for (size_t l = 0; l < sizes.size(); ++l)
      loop.Run(sizes[l], [&, l](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) ++done[l][i];
      });
    loop.Finish();
  });
  loop.Help();
  owner.join();
  std::vector<std::vector<int>> counts;
  for (const auto& d : done) {
    counts.emplace_back();
    for (const auto& c : d) counts.back().push_back(c);
  }
  return counts;
}

TEST(SharedLoop, EveryPieceOfEveryLoopIsDoneOnce) {
  const std::vector<size_t> sizes = {0, 1, 16383, 16384, 16385, 1000000, 3};
  const auto counts = RunHelped(sizes);
  for (size_t l = 0; l < sizes.size(); ++l)
    for (size_t i = 0; i < sizes[l]; ++i) ASSERT_EQ(counts[l][i], 1) << "Schleife " << l << ", Stück " << i;
}

TEST(SharedLoop, AHelperThatComesLateOrNeverChangesNothing) {
  SharedLoop loop;
  std::vector<int> done(100000, 0);
  // Without a helper the owner does every piece itself.
  loop.Run(done.size(), [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) ++done[i];
  });
  for (const int d : done) ASSERT_EQ(d, 1);
  // A helper that comes after the last loop returns once the owner is finished.
  loop.Finish();
  loop.Help();
}

}  // namespace
