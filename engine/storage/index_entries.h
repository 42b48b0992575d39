#pragma once
// The records of one secondary index file (.Xnn/.XGn) gathered while a table is written in bulk:
// the X records alone, packed one after the other in chunks of about 1 MiB. Each chunk that
// fills is put into index order in place on a second thread (one chunk at a time) while the
// writing goes on; the reader merges the sorted chunks.
//
// Index order is the order of the X records' bytes read as: each index field in turn (an alpha
// value up to its first NUL, what follows it counting as zeros; a descending field reversed),
// then the key fields (maintained index) or the record number (the order the records came in).
// Each record then has its own place, so the order does not depend on how it is reached.

#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "format/table_definition.h"
#include "storage/index_builder.h"

namespace engine {

class SecondaryEntries {
  class Order;  // how records compare and are sorted

 public:
  // Records of `index` of `def`, `recordSize` bytes each (the X file's record size), gathered in
  // chunks of `chunkRecords` records (0: as many as fill about 1 MiB).
  SecondaryEntries(const TableDefinition& def, const SecondaryDef& index, uint16_t recordSize,
                   size_t chunkRecords = 0);
  ~SecondaryEntries();
  SecondaryEntries(const SecondaryEntries&) = delete;
  SecondaryEntries& operator=(const SecondaryEntries&) = delete;
  SecondaryEntries(SecondaryEntries&& other) noexcept;
  SecondaryEntries& operator=(SecondaryEntries&&) = delete;

  // Adds the X record of table record `record`, stored at `slot` of `block` as the
  // `recordNumber`th record (from 0).
  void Add(const uint8_t* record, uint16_t block, int slot, uint32_t recordNumber);
  // Puts the records into index order; false when `unique` and two of them have equal index
  // values.
  bool Sort(bool unique);
  // Puts the records into the order of `keys` (key-field bytes, one per record); false, changing
  // nothing, when the keys do not name every record exactly once.
  bool KeepOrder(const std::vector<std::string>& keys);
  size_t Count() const { return count_; }
  // Gives back the memory.
  void Clear();

  // Hands out the records one by one, in index order once Sort or KeepOrder succeeded. The
  // entries must not change while it reads.
  class Reader {
   public:
    explicit Reader(const SecondaryEntries& entries);
    // The next record; nullptr after the last.
    const uint8_t* Next();

   private:
    struct Head {
      const uint8_t* at;
      const uint8_t* end;
    };
    // Whether `record` of chunk `a` goes before the head of chunk `b` (on equal records, the
    // earlier chunk first).
    bool Before(const uint8_t* record, size_t a, size_t b) const;
    // Where the run of the current chunk's records that go before every waiting chunk's ends:
    // found by doubling steps, then halving.
    const uint8_t* RunEnd() const;
    const Order& order_;
    size_t recordSize_;
    std::vector<Head> heads_;
    std::vector<size_t> waiting_;  // a heap of the other chunks with records left, least first
    size_t current_;               // the chunk records are taken from
    const uint8_t* runEnd_ = nullptr;
  };

 private:
  struct Chunk {
    uint8_t* data = nullptr;
    size_t count = 0;
    bool sorting = false;      // sorted, or being sorted by `sorted`
    std::future<void> sorted;  // the sort under way on a thread of its own, if any
  };
  // Sorts a full chunk on a thread of its own once the sort before it is done (here, when no
  // thread can be had).
  void SortInBackground(Chunk& chunk);
  // Waits for the sorts under way; raises what one of them raised.
  void WaitForSorts();
  void FreeChunks();

  const TableDefinition& def_;
  SecondaryRecordLayout layout_;
  size_t recordSize_;
  size_t chunkRecords_;
  size_t keyOffset_ = 0;  // where the key fields start in a record of a maintained index
  std::shared_ptr<const Order> order_;
  std::vector<Chunk> chunks_;
  size_t count_ = 0;
};

}  // namespace engine
