#pragma once
// The record blocks of a .DB file (or of a secondary index's .Xnn/.XGn file, which has the same
// layout): the block chain, walked once at open time by reading the 6-byte block headers only
// (physically consecutive blocks through one growing read window), and row access by number
// through a cache of whole blocks that holds the whole file up to kCacheBytes. A pass through
// the chain in order (scan, dump, copy) reuses one cache slot once it is past a few blocks, so
// that it neither fills the cache nor drives out the blocks that random access keeps.
//
// Rows are numbered 0..RecordCount()-1 in chain order. Chain walk rules:
// - the walk starts at the header's first block and ends at a block whose `next` is 0 or at
//   the header's last block, whichever comes first (a chain running on past the last block is
//   left over from a later, unsaved state);
// - a block visited twice is a loop, a block number 0 or above the header's block count or
//   starting beyond the end of the file is out of range: both raise kErrCorrupt;
// - a block that ends beyond the end of the file is read as far as the file goes: bytes after
//   its last record are never needed, but a record that the end of the file cuts cannot be
//   read (Record and BlockRecords raise kErrCorrupt naming the block) and Truncation() says so;
// - a block's record count follows from its last-record offset; an offset that is not a whole
//   multiple of the record size or claims more records than fit raises kErrCorrupt;
// - the record count is the chain's, cut to the header's count when the chain holds more.
// Disagreements that can be read safely (chain count ≠ header count, a chain that ends before
// the header's last block or runs on past it) are kept as a German note in Inconsistency() instead of failing.
//
// Not thread-safe.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "format/table_header.h"

namespace engine {

class File;

struct BlockEntry {
  uint16_t block = 0;     // block number in the file (1-based)
  uint32_t firstRow = 0;  // row number of the block's first record
  uint32_t count = 0;     // records read from this block (after the header-count cut)
};

class DataFile {
 public:
  // Most bytes of blocks kept in memory (at least 8 blocks).
  static constexpr size_t kCacheBytes = size_t{64} << 20;

  // Walks the chain of `file`, whose decoded header is `header`. Raises EDBEngineError naming
  // the file for a damaged chain. The block cache holds up to `cacheBytes` bytes.
  DataFile(std::unique_ptr<File> file, TableHeader header, size_t cacheBytes = kCacheBytes);
  ~DataFile();

  // As above, but takes the chain's blocks in order (block, record count) from a walk made
  // elsewhere that found nothing wrong with the chain, instead of walking it again.
  DataFile(std::unique_ptr<File> file, TableHeader header, const std::vector<std::pair<uint16_t, uint32_t>>& chain);

  const TableHeader& Header() const { return header_; }
  const std::string& Path() const;
  uint32_t RecordCount() const { return recordCount_; }
  // Record count that the chain holds before the cut to the header's count.
  uint64_t ChainRecordCount() const { return chainRecords_; }
  const std::vector<BlockEntry>& Blocks() const { return blocks_; }
  // Empty when the header and the blocks agree.
  const std::string& Inconsistency() const { return inconsistency_; }
  // German note naming the blocks whose records the end of the file cuts; empty when every
  // record lies wholly in the file.
  const std::string& Truncation() const { return truncation_; }

  // Bytes of the record at row (recordSize bytes). Valid until the next call on this object.
  // Raises kErrCorrupt when the end of the file cuts the record.
  const uint8_t* Record(uint32_t row);
  // The same for a record that may be cut: *present is the number of its leading bytes that
  // lie in the file (recordSize for a whole record); the missing ones read as zeros.
  const uint8_t* Record(uint32_t row, uint32_t* present);
  // Bytes of the records of directory entry i (Blocks()[i].count records, packed). Raises
  // kErrCorrupt when the end of the file cuts one of them.
  const uint8_t* BlockRecords(size_t i);
  // Forgets cached blocks (after the file was changed behind this object).
  void DropCache();
  // Takes over what a writer of the same file has just committed instead of walking the chain
  // again: its header, the rows before `keptRows` where they were, the chain's blocks from there
  // on as `tail` gives them (empty ones left out), and blocks `written` no longer cached.
  void Refresh(TableHeader header, uint32_t keptRows, const std::vector<BlockEntry>& tail,
               const std::vector<uint16_t>& written);

 private:
  struct CachedBlock {
    uint16_t block = 0;  // 0: slot unused
    std::vector<uint8_t> bytes;
    size_t present = 0;  // leading bytes that lie in the file; the rest are zeros
  };
  void Walk();
  void NoteTruncation();
  // Index in blocks_ of the entry holding a row below RecordCount(); tries the entry of the
  // previous call and the one after it before searching.
  size_t EntryIndexOf(uint32_t row);
  const BlockEntry& EntryOf(uint32_t row) { return blocks_[EntryIndexOf(row)]; }
  // The cached block of directory entry `entry`, read when it is not cached.
  const CachedBlock& LoadBlock(size_t entry);
  [[noreturn]] void FailCut(uint16_t block) const;

  std::unique_ptr<File> file_;
  TableHeader header_;
  uint64_t fileSize_ = 0;
  uint32_t recordCount_ = 0;
  uint64_t chainRecords_ = 0;
  std::vector<BlockEntry> blocks_;
  std::string inconsistency_;
  std::string truncation_;
  size_t cacheBytes_;
  std::vector<CachedBlock> cache_;  // slots, reused in turn once all are taken
  std::vector<int32_t> slotOf_;     // cache_ slot of each block number, -1 when not cached
  size_t nextVictim_ = 0;
  size_t lastLoadedEntry_ = SIZE_MAX;  // entry of the latest block read from the file
  size_t inOrder_ = 0;                 // blocks read in chain order up to that one
  size_t lastEntry_ = 0;  // entry found by the previous EntryIndexOf
  // The previous Record call, answered again without a search while no block was read since
  // (the fields of one record read one after the other).
  uint32_t lastRow_ = UINT32_MAX;
  const uint8_t* lastRecord_ = nullptr;
  uint32_t lastPresent_ = 0;
};

}  // namespace engine
