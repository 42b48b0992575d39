#pragma once
// The rows of a table gathered for one secondary index's order by two threads at once: the
// record check's pass takes them from the blocks it reads anyway, from the front of the chain,
// while the index check's thread reads blocks itself from the back, a chunk of blocks at a
// time, until the two meet. Each chunk is claimed by one of them; the rows come out the same as
// GatherRows makes them. Should the pass not give every block of its chunks (a block it could
// not read, a pass given up), the index check's thread gathers all rows itself, as GatherRows
// does, with the same failures.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "storage/secondary_index.h"

namespace engine {

class TableCursor;

// Every row of the data of `cursor` taken into `rows`, in one pass of its own.
void GatherRows(TableCursor& cursor, SecondaryRows& rows);

class SharedGather {
 public:
  // Blocks of the chain claimed at once: large enough that the reads from the back are few and
  // long, small enough that the two threads meet close to the balance of their other work.
  static constexpr size_t kChunkBlocks = 256;

  // Rows for `index` of the table with header `header` and `rows` rows, before it is opened.
  SharedGather(const SecondaryIndex& index, const TableHeader& header, uint32_t rows);
  ~SharedGather();
  SharedGather(const SharedGather&) = delete;
  SharedGather& operator=(const SharedGather&) = delete;

  // The table opened (its chain walked and found sound, `rows` rows); before any other call
  // below. The cursor must outlive this object.
  void Open(TableCursor& cursor);

  const SecondaryIndex& Index() const { return index_; }
  // Complete once Gather returned.
  SecondaryRows& Rows() { return rows_; }
  // The data's blocks in chain order, as DataFile::Blocks; filled by Open.
  const std::vector<BlockEntry>& Blocks() const { return blocks_; }

  // On the pass's thread, for every block of the chain in order: the records of chain block
  // `b`, or null when they could not be read.
  void FromPass(size_t b, const uint8_t* records);
  // On the pass's thread: no more blocks come from the pass (called again, it does nothing). A
  // pass that ends before the chain's last block without meeting the other thread leaves the
  // gathering to the other thread alone.
  void PassEnded();

  // On the other thread, once: gathers the chunks the pass has not claimed, then waits for the
  // pass's share. Raises as GatherRows.
  void Gather();

 private:
  void AddBlock(size_t b, const uint8_t* records);
  // The pass takes no more chunks; `complete`: it gave every block of those it took.
  void EndPassShare(bool complete);

  TableCursor* c_ = nullptr;
  const SecondaryIndex& index_;
  SecondaryRows rows_;
  std::vector<BlockEntry> blocks_;
  size_t chunks_ = 0;
  std::unique_ptr<std::atomic<bool>[]> claimed_;  // by chunk
  // The pass's state, on its thread only.
  size_t passChunk_ = SIZE_MAX;  // the chunk the pass is in, its own
  bool passDone_ = false;        // the pass takes no more chunks
  // Shared, under mutex_.
  std::mutex mutex_;
  std::condition_variable ended_;
  bool shareEnded_ = false;
  bool shareComplete_ = false;
};

}  // namespace engine
