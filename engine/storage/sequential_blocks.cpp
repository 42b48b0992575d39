#include "storage/sequential_blocks.h"

#include "format/data_block.h"
#include "io/file_system.h"
#include "storage/data_file.h"

namespace engine {

SequentialBlocks::SequentialBlocks(FileSystem& fs, DataFile& data)
    : data_(data), file_(fs.Open(data.Path(), OpenMode::ReadOnly)), fileSize_(file_->Size()) {
  window_ = std::make_unique<ChainWindow>(*file_, fileSize_, data.Header().BlockBytes(),
                                         ChainWindow::Reading::kInPlaceWhenLarge);
}

SequentialBlocks::~SequentialBlocks() = default;

const uint8_t* SequentialBlocks::Records(size_t i) {
  const TableHeader& h = data_.Header();
  const BlockEntry& b = data_.Blocks()[i];
  const uint64_t offset = h.BlockOffset(b.block);
  if (offset + blk::kHeaderBytes + uint64_t{b.count} * h.recordSize > fileSize_) data_.FailCut(b.block);
  return window_->At(offset, h.BlockBytes()) + blk::kHeaderBytes;
}

}  // namespace engine
