#include "storage/chain_window.h"

#include <algorithm>

#include "io/file_system.h"

namespace engine {

namespace {

constexpr size_t kFirstWindow = size_t{64} << 10;
constexpr size_t kMaxWindow = size_t{1} << 20;

}  // namespace

const uint8_t* ChainWindow::At(uint64_t offset, size_t n) {
  if (offset < start_ || offset + n > start_ + window_.size()) {
    const bool next = offset == previous_ + blockBytes_;
    size_ = next ? std::min(std::max(size_ * 2, kFirstWindow), kMaxWindow) : n;
    window_.resize(std::max(size_, n));
    const size_t got = file_.ReadAt(offset, window_.data(), std::min<uint64_t>(window_.size(), fileSize_ - offset));
    std::fill(window_.begin() + static_cast<long>(got), window_.end(), 0);
    start_ = offset;
  }
  previous_ = offset;
  return window_.data() + (offset - start_);
}

}  // namespace engine
