#pragma once
// Reads the starts of blocks for a walk along a block chain. A chain mostly runs through
// physically consecutive blocks, so a block found right after the previous one is read with
// those after it in one window that doubles up to 2 MiB; a jump elsewhere reads that block's
// start alone. A walk of a file written in order thus makes a few dozen reads, not one per block.
// A window for a pass over a whole file may read a large file on a local disk in place instead,
// from the file mapped into memory (io/file_mapping.h), giving back the pages it has passed.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "io/file_mapping.h"
#include "io/large_buffer.h"

namespace engine {

class File;

class ChainWindow {
 public:
  enum class Reading { kCopied, kInPlaceWhenLarge };

  // `file` must outlive the window; `fileSize` is its size, `blockBytes` its block size.
  ChainWindow(const File& file, uint64_t fileSize, uint64_t blockBytes, Reading reading = Reading::kCopied);

  // The `n` bytes at `offset` (below the file size), n at most a block; bytes beyond the end of
  // the file read as zeros. Valid until the next call. Raises kErrIo when bytes read in place
  // can no longer be read (see FileMapping::Read).
  const uint8_t* At(uint64_t offset, size_t n);
  // Whether the file is read in place.
  bool ReadsInPlace() const { return mapping_ != nullptr; }

 private:
  const File& file_;
  uint64_t fileSize_;
  uint64_t blockBytes_;
  std::unique_ptr<FileMapping> mapping_;  // the whole file, when read in place
  PassedPages passed_;
  LargeBuffer window_;
  size_t capacity_ = 0;  // bytes of window_
  size_t held_ = 0;      // bytes of the file from start_ on in window_
  uint64_t start_ = 0;
  uint64_t previous_ = 0;
  size_t size_ = 0;      // the window's size as reads in order let it grow
};

}  // namespace engine
