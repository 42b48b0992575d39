#pragma once
// Failing allocations on purpose. The test program's global operator new counts the
// allocations of each thread and fails the one a test asks for with std::bad_alloc, as an
// allocation that the system refuses does; every other allocation is served as usual. It also
// keeps the size of each thread's largest allocation.

#include <cstddef>

namespace engine_test {

// Allocations of the calling thread so far.
long Allocations();
// Fails the nth allocation of the calling thread from now on (1 = the next one).
void FailAllocation(long n);
// Whether the failure asked for has happened; asks for no more.
bool AllocationFailed();
// Bytes of the calling thread's largest allocation since the last call (0 = none).
std::size_t TakeLargestAllocation();

}  // namespace engine_test
