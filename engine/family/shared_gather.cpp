#include "family/shared_gather.h"

#include <algorithm>

#include "family/table_cursor.h"
#include "io/engine_error.h"
#include "storage/data_file.h"
#include "storage/sequential_blocks.h"

namespace engine {

void GatherRows(TableCursor& c, SecondaryRows& rows) {
  const uint16_t size = c.Header().recordSize;
  SequentialBlocks blocks(c.Fs(), c.Data());
  for (size_t b = 0; b < c.Data().Blocks().size(); ++b) {
    const BlockEntry& e = c.Data().Blocks()[b];
    const uint8_t* rec = blocks.Records(b);
    for (uint32_t i = 0; i < e.count; ++i, rec += size) rows.Add(e.firstRow + i, rec);
  }
}

SharedGather::SharedGather(const SecondaryIndex& index, const TableHeader& header, uint32_t rows)
    : index_(index), rows_(index, header, rows) {}

void SharedGather::Open(TableCursor& c) {
  c_ = &c;
  blocks_ = c.Data().Blocks();
  chunks_ = (blocks_.size() + kChunkBlocks - 1) / kChunkBlocks;
  claimed_ = std::make_unique<std::atomic<bool>[]>(chunks_);
  for (size_t k = 0; k < chunks_; ++k) claimed_[k].store(false, std::memory_order_relaxed);
}

SharedGather::~SharedGather() = default;

void SharedGather::AddBlock(size_t b, const uint8_t* records) {
  const BlockEntry& e = blocks_[b];
  const uint16_t size = c_->Header().recordSize;
  for (uint32_t i = 0; i < e.count; ++i, records += size) rows_.Add(e.firstRow + i, records);
}

void SharedGather::FromPass(size_t b, const uint8_t* records) {
  if (passDone_) return;
  const size_t chunk = b / kChunkBlocks;
  if (chunk != passChunk_) {
    // The other thread claims chunks from the back: the first one it has is where they meet.
    if (claimed_[chunk].exchange(true)) {
      EndPassShare(true);
      return;
    }
    passChunk_ = chunk;
  }
  if (!records) {
    EndPassShare(false);
    return;
  }
  AddBlock(b, records);
  if (b + 1 == blocks_.size()) EndPassShare(true);  // the chain's last block: every chunk taken is whole
}

void SharedGather::PassEnded() {
  // Ended before the chain's last block and before meeting the other thread: the chunk it was in
  // may lack blocks, so the rows are gathered whole.
  if (!passDone_) EndPassShare(false);
}

void SharedGather::EndPassShare(bool complete) {
  passDone_ = true;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    shareEnded_ = true;
    shareComplete_ = complete;
  }
  ended_.notify_all();
}

void SharedGather::Gather() {
  bool ownComplete = true;
  try {
    SequentialBlocks blocks(c_->Fs(), c_->Data());
    const size_t count = blocks_.size();
    for (size_t chunk = chunks_; chunk-- > 0 && !claimed_[chunk].exchange(true);) {
      const size_t end = std::min(count, (chunk + 1) * kChunkBlocks);
      for (size_t b = chunk * kChunkBlocks; b < end; ++b) AddBlock(b, blocks.Records(b));
    }
  } catch (const EDBEngineError&) {
    ownComplete = false;  // the whole gather below raises it where GatherRows would
  }
  bool passComplete = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait(lock, [this] { return shareEnded_; });
    passComplete = shareComplete_;
  }
  if (!ownComplete || !passComplete) GatherRows(*c_, rows_);
}

}  // namespace engine
