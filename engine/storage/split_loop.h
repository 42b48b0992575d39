#pragma once
// A loop whose pieces are independent, handed to whoever runs it on one thread or more.

#include <cstddef>
#include <functional>

namespace engine {

// Runs body(begin, end) over ranges that together cover [0, n), each once, on the caller's
// thread and maybe on others at the same time; returns when all are done.
using SplitLoop = std::function<void(size_t n, const std::function<void(size_t begin, size_t end)>& body)>;

}  // namespace engine
