
#include <cstdlib>
#include <new>

#include "engine/tests/allocation_failure.h"

namespace {

thread_local long allocations = 0;
thread_local long failAt = 0;  // value of `allocations` that fails; 0 = none
thread_local bool failed = false;
thread_local std::size_t largest = 0;

}  // namespace

namespace engine_test {

long Allocations() { return allocations; }

void FailAllocation(long n) {
  failed = false;
  failAt = allocations + n;
}

bool AllocationFailed() {
  failAt = 0;
  return failed;
}

std::size_t TakeLargestAllocation() {
  const std::size_t bytes = largest;
  largest = 0;
  return bytes;
}

}  // namespace engine_test

void* operator new(std::size_t size) {
  if (++allocations == failAt) {
    failAt = 0;
    failed = true;
    throw std::bad_alloc();
  }
  if (size > largest) largest = size;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

// The non-throwing form (std::stable_sort's buffer) is served and counted the same way, so that
// every allocation pairs with the operator delete below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
