#include "storage/chain_window.h"

#include <algorithm>

#include "io/file_system.h"

namespace engine {

namespace {

constexpr size_t kFirstWindow = size_t{64} << 10;
constexpr size_t kMaxWindow = size_t{2} << 20;  // one huge page

}  // namespace

ChainWindow::ChainWindow(const File& file, uint64_t fileSize, uint64_t blockBytes, Reading reading)
    : file_(file), fileSize_(fileSize), blockBytes_(blockBytes) {
  if (reading == Reading::kInPlaceWhenLarge && fileSize_ >= FileMapping::kWorthFromBytes)
    mapping_ = file_.MapForReading(fileSize_);
}

const uint8_t* ChainWindow::At(uint64_t offset, size_t n) {
  if (mapping_ && offset + n <= fileSize_) {
    passed_.At(*mapping_, offset);
    return mapping_->Read(offset, n);
  }
  if (offset < start_ || offset + n > start_ + held_) {
    const bool next = offset == previous_ + blockBytes_;
    size_ = next ? std::min(std::max(size_ * 2, kFirstWindow), kMaxWindow) : n;
    // No further than the end of the file, unless the bytes asked for go past it.
    const uint64_t left = offset < fileSize_ ? fileSize_ - offset : 0;
    held_ = std::max<size_t>(n, std::min<uint64_t>(size_, left));
    // The buffer is taken once, as large as the window may grow in this file: growing it step
    // by step would fault in fresh memory at every step.
    if (held_ > capacity_) {
      capacity_ = std::max<size_t>(held_, std::min<uint64_t>(kMaxWindow, fileSize_));
      window_ = AllocateLargeBuffer(capacity_);
    }
    const size_t got = file_.ReadAt(offset, window_.get(), std::min<uint64_t>(held_, fileSize_ - offset));
    std::fill(window_.get() + got, window_.get() + held_, 0);
    start_ = offset;
  }
  previous_ = offset;
  return window_.get() + (offset - start_);
}

}  // namespace engine
