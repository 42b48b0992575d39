#pragma once
// Progress of long work (copy, restructure, bulk writes).

#include <cstdint>
#include <functional>

namespace engine {

// Called with the number of records done so far; returning false stops the work, which then
// raises EAbort and leaves everything as it was before.
using ProgressFn = std::function<bool(uint64_t)>;

}  // namespace engine
