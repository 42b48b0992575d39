#pragma once
// The records of a data file's blocks read for a pass in chain order: a chain mostly runs
// through the file in order, so the blocks are read through a window of consecutive blocks (a
// few large reads instead of one per block). A block whose records the end of the file cuts
// raises as DataFile::BlockRecords does, without touching the DataFile: passes on two threads
// may each read the same data file through one of these.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "storage/chain_window.h"

namespace engine {

class DataFile;
class File;
class FileSystem;

class SequentialBlocks {
 public:
  // Opens the file of `data` again through `fs` for its own reads; `data` must outlive this.
  SequentialBlocks(FileSystem& fs, DataFile& data);
  ~SequentialBlocks();

  // As DataFile::BlockRecords(i). Valid until the next call.
  const uint8_t* Records(size_t i);

 private:
  DataFile& data_;
  std::unique_ptr<File> file_;
  uint64_t fileSize_;
  std::unique_ptr<ChainWindow> window_;
};

}  // namespace engine
