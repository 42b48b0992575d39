#include "family/shared_loop.h"

#include <algorithm>

namespace engine {

namespace {

// Pieces per range: small enough that both threads end a loop close together, large enough
// that taking ranges costs nothing worth telling.
constexpr size_t kRange = size_t{1} << 14;

}  // namespace

void SharedLoop::Run(size_t n, const std::function<void(size_t, size_t)>& body) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    body_ = &body;
    size_ = n;
    next_.store(0, std::memory_order_relaxed);
    ++loop_;
  }
  changed_.notify_all();
  TakeRanges();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return helping_ == 0; });
  body_ = nullptr;
}

void SharedLoop::Finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

void SharedLoop::Help() {
  unsigned joined = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return finished_ || (body_ && loop_ != joined); });
    if (!body_ || loop_ == joined) return;  // finished
    joined = loop_;
    ++helping_;
    lock.unlock();
    TakeRanges();
    lock.lock();
    --helping_;
    changed_.notify_all();
  }
}

void SharedLoop::TakeRanges() {
  for (;;) {
    const size_t begin = next_.fetch_add(kRange, std::memory_order_relaxed);
    if (begin >= size_) return;
    (*body_)(begin, std::min(begin + kRange, size_));
  }
}

}  // namespace engine
