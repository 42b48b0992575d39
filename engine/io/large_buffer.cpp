#include "io/large_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace engine {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void LargeBufferFree::operator()(uint8_t* bytes) const { std::free(bytes); }

LargeBuffer AllocateLargeBuffer(size_t bytes) {
  if (bytes < kHugePage) {
    auto* small = static_cast<uint8_t*>(std::malloc(bytes == 0 ? 1 : bytes));
    if (!small) throw std::bad_alloc();
    return LargeBuffer(small);
  }
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  auto* large = static_cast<uint8_t*>(std::aligned_alloc(kHugePage, rounded));
  if (!large) throw std::bad_alloc();
  // Only advice: without huge pages the buffer works the same.
  madvise(large, rounded, MADV_HUGEPAGE);
  return LargeBuffer(large);
}

}  // namespace engine
