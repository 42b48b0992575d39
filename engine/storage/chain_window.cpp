#include "storage/chain_window.h"

#include <algorithm>

#include "io/file_system.h"

namespace engine {

namespace {

constexpr size_t kFirstWindow = size_t{64} << 10;
constexpr size_t kMaxWindow = size_t{1} << 20;

}  // namespace

const uint8_t* ChainWindow::At(uint64_t offset, size_t n) {
  if (offset < start_ || offset + n > start_ + held_) {
    const bool next = offset == previous_ + blockBytes_;
    size_ = next ? std::min(std::max(size_ * 2, kFirstWindow), kMaxWindow) : n;
    held_ = std::max(size_, n);
    // A larger window is taken anew: what the old one held is read again, not copied.
    if (held_ > capacity_) {
      window_ = AllocateLargeBuffer(held_);
      capacity_ = held_;
    }
    const size_t got = file_.ReadAt(offset, window_.get(), std::min<uint64_t>(held_, fileSize_ - offset));
    std::fill(window_.get() + got, window_.get() + held_, 0);
    start_ = offset;
  }
  previous_ = offset;
  return window_.get() + (offset - start_);
}

}  // namespace engine
