#pragma once
// The record blocks of a .DB file (or of a secondary index's .Xnn/.XGn file, which has the same
// layout): the block chain, walked by reading the 6-byte block headers, and row access by
// number through a cache of whole blocks. Blocks are read in chunks of physically consecutive
// blocks (up to kChunkBytes), so that a pass through a file written in order and random rows
// alike make one read per chunk, not one per block; the cache holds up to kCacheBytes. A pass
// through the chain in order (scan, dump, copy, the walk itself) reads runs of up to
// kStreamBytes once it is past a chunk or two, in a few slots of its own that it takes turns
// with, so that it neither fills the cache nor drives out what random access keeps (but see
// DataAccess::kBrowse).
//
// A file of at least FileMapping::kWorthFromBytes on a local disk is read in place: the blocks
// that lie whole in the file are read from the file mapped into memory (io/file_mapping.h), and
// need no cache. A pass over the whole file (DataAccess::kWhole) gives back the pages it has
// passed; a browsing cursor keeps them for the rows it comes back to. The rest of this comment
// describes the reading where there is no mapping (and of a block that the end of the file
// cuts). A mapped page that can no longer be read (the file was shortened by another program,
// or the disk failed) makes every later call raise kErrIo.
//
// DataAccess::kWhole serves a pass over the whole file (dump, copy, checks): the chain is
// walked at construction. DataAccess::kBrowse serves a cursor that moves about: the chain is
// walked step by step as rows are asked for, so that opening reads no block, reading a row walks
// only up to the block that holds it, and whatever needs the whole chain (RecordCount, Blocks,
// the notes) walks the rest first; and, when the whole file fits in the cache, rows read in
// order stay in it like random ones, read in runs of up to kKeptRunBytes that end before a
// chunk already cached, each into memory made ready beside the pass (BufferAhead), and the walk
// alone still takes turns with its own slots. A
// damaged chain raises when the walk gets there, with the same error each time it is asked again.
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
#include "io/buffer_ahead.h"
#include "io/file_mapping.h"
#include "io/large_buffer.h"

namespace engine {

class File;

struct BlockEntry {
  uint16_t block = 0;     // block number in the file (1-based)
  uint32_t firstRow = 0;  // row number of the block's first record
  uint32_t count = 0;     // records read from this block (after the header-count cut)
};

enum class DataAccess { kWhole, kBrowse };

class DataFile {
 public:
  // Most bytes of blocks kept in memory (at least 8 chunks).
  static constexpr size_t kCacheBytes = size_t{256} << 20;
  // Bytes read at once: the blocks of a chunk (at least one block).
  static constexpr size_t kChunkBytes = size_t{64} << 10;
  // Bytes read at once by a pass in order.
  static constexpr size_t kStreamBytes = size_t{1} << 20;
  // Bytes read at once by a pass in order that a browsing cursor keeps.
  static constexpr size_t kKeptRunBytes = size_t{2} << 20;

  // Reads `file`, whose decoded header is `header`. Raises EDBEngineError naming the file for a
  // damaged chain (kWhole: here; kBrowse: when the walk gets to the damage). The block cache
  // holds up to `cacheBytes` bytes.
  DataFile(std::unique_ptr<File> file, TableHeader header, size_t cacheBytes = kCacheBytes,
           DataAccess access = DataAccess::kWhole);
  ~DataFile();

  // As above, but takes the chain's blocks in order (block, record count) from a walk made
  // elsewhere that found nothing wrong with the chain, instead of walking it again.
  DataFile(std::unique_ptr<File> file, TableHeader header, const std::vector<std::pair<uint16_t, uint32_t>>& chain);

  const TableHeader& Header() const { return header_; }
  const std::string& Path() const;
  uint32_t RecordCount() const {
    WalkAll();
    return recordCount_;
  }
  // Whether the chain has been walked to its end (or taken over whole).
  bool Walked() const { return walkDone_; }
  // Whether row `row` exists, walking the chain only as far as that row.
  bool HasRecord(uint32_t row) const { return walkDone_ ? row < recordCount_ : WalkToRecord(row); }
  // Record count that the chain holds before the cut to the header's count.
  uint64_t ChainRecordCount() const {
    WalkAll();
    return chainRecords_;
  }
  const std::vector<BlockEntry>& Blocks() const {
    WalkAll();
    return blocks_;
  }
  // Empty when the header and the blocks agree.
  const std::string& Inconsistency() const {
    WalkAll();
    return inconsistency_;
  }
  // German note naming the blocks whose records the end of the file cuts; empty when every
  // record lies wholly in the file.
  const std::string& Truncation() const {
    WalkAll();
    return truncation_;
  }

  // Bytes of the record at row (recordSize bytes). Valid until the next call on this object.
  // Raises kErrCorrupt when the end of the file cuts the record.
  const uint8_t* Record(uint32_t row) {
    if (const uint8_t* record = LoadedRecord(row)) return record;
    return RecordAfterSearch(row);
  }
  // The same for a row among the whole records of the block that the latest Record call read
  // from, while no block was read since; nullptr for other rows. A row found there exists: the
  // chain need not be asked.
  const uint8_t* LoadedRecord(uint32_t row) const {
    const uint32_t k = row - loaded_.firstRow;
    return k < loaded_.rows && !mappingLost_->load(std::memory_order_relaxed)
               ? loaded_.records + size_t{k} * header_.recordSize
               : nullptr;
  }
  // Whether blocks are read in place from the mapped file.
  bool ReadsInPlace() const { return mapping_ != nullptr; }
  // Raises kErrIo once a read in place met a page that could no longer be read, so that bytes
  // copied from the latest Record call are not taken as the record's.
  void CheckReadsInPlace() const {
    if (mapping_) mapping_->CheckNotLost();
  }
  // The same for a record that may be cut: *present is the number of its leading bytes that
  // lie in the file (recordSize for a whole record); the missing ones read as zeros.
  const uint8_t* Record(uint32_t row, uint32_t* present);
  // Bytes of the records of directory entry i (Blocks()[i].count records, packed). Raises
  // kErrCorrupt when the end of the file cuts one of them.
  const uint8_t* BlockRecords(size_t i);
  // Raises what BlockRecords raises for a block whose records the end of the file cuts; touches
  // nothing of this object, so that another thread reading the file may call it.
  [[noreturn]] void FailCut(uint16_t block) const;
  // Forgets cached blocks (after the file was changed behind this object).
  void DropCache();
  // Takes over what a writer of the same file has just committed instead of walking the chain
  // again: its header, the rows before `keptRows` where they were, the chain's blocks from there
  // on as `tail` gives them (empty ones left out), and blocks `written` no longer cached. A
  // chain not walked yet is taken over whole when the writer gives it whole (`keptRows` 0) and
  // walked again from its start otherwise.
  void Refresh(TableHeader header, uint32_t keptRows, std::vector<BlockEntry> tail,
               const std::vector<uint16_t>& written);

 private:
  // Consecutive chunks read at once: one for random access, a run of several for a pass in order.
  struct CachedRun {
    uint32_t first = 0;   // first chunk
    uint32_t chunks = 0;  // 0: slot unused
    LargeBuffer bytes;  // not cleared before a read fills it
    size_t size = 0;
    size_t present = 0;  // leading bytes that lie in the file; the rest are zeros
  };
  // A block's bytes in the cache and how many of its leading bytes lie in the file.
  struct BlockBytes {
    const uint8_t* bytes;
    size_t present;
  };
  // How a block is asked for: alone, right after the previous one in chain order, or by a walk
  // that only wants its header.
  enum class Reading { kRandom, kInOrder, kWalk };
  // Where the walk stands between steps.
  struct WalkState {
    std::vector<bool> visited;
    uint16_t next = 0;  // block to visit next; 0 when the walk is done
    uint32_t walked = 0;
    bool endedAtLastBlock = false;
    bool runsOn = false;
    std::string failure;  // the error of a walk stopped by damage, raised again on every step
  };
  // Checks the record size against the block size and sizes the chunks.
  void SizeChunks();
  // Maps the file when it is large enough and the mapping does not hold it whole (first, or
  // after it grew), with room for the file to grow.
  void MapWhenWorthIt();
  // `bytes` as handed out; when they lie in the mapping, read once first (FileMapping::Read).
  const uint8_t* InPlaceChecked(const uint8_t* bytes, size_t n) const;
  void StartWalk();
  // Walks one block further, reading it as `reading` says; false when the walk is done.
  bool WalkStep(Reading reading) const;
  void WalkAll() const {
    while (!walkDone_) WalkStep(Reading::kWalk);
  }
  void FinishWalk() const;
  // HasRecord while the walk is not done.
  bool WalkToRecord(uint32_t row) const;
  const uint8_t* RecordAfterSearch(uint32_t row);
  void NoteTruncation() const;
  // Index in blocks_ of the entry holding a row below the rows walked so far; tries the entry of
  // the previous call and the one after it, then starts from the row's step in rowSteps_ once
  // the walk is done (bringing the steps up to date first), and searches otherwise.
  size_t EntryIndexOf(uint32_t row);
  // Fills rowSteps_ for the finished directory whose entries before `from` are those the steps
  // were made for.
  void IndexRowSteps(size_t from) const;
  // Marks the run in cache slot `slot` unused and its chunks no longer cached.
  void ForgetRun(size_t slot) const;
  // The bytes of `block`, read with its chunk when it is not cached.
  BlockBytes LoadBlock(uint16_t block, Reading reading) const;
  BlockBytes LoadEntry(size_t entry);

  std::unique_ptr<File> file_;
  TableHeader header_;
  uint64_t fileSize_ = 0;
  // The chain's directory and the cached blocks are copies of what the file holds, read when
  // first needed: reading them is no change of the object, so const members may do it.
  mutable uint32_t recordCount_ = 0;
  mutable uint64_t chainRecords_ = 0;  // records of the blocks walked so far until the walk is done
  mutable std::vector<BlockEntry> blocks_;
  mutable bool walkDone_ = true;
  mutable WalkState walk_;
  // The entry holding row k << rowStepShift_, for every k: a random row's entry is then at most
  // a few entries after its step's.
  mutable std::vector<uint32_t> rowSteps_;
  mutable uint32_t rowStepShift_ = 0;
  // The steps hold for the entries before this one (SIZE_MAX: all): they are made again from
  // there when next needed, so that changes in a row are indexed once.
  mutable size_t stepsFrom_ = 0;
  mutable std::string inconsistency_;
  mutable std::string truncation_;
  size_t cacheBytes_;
  bool browsing_;  // DataAccess::kBrowse
  // Rows read in order stay in the cache: for a browsing cursor, when the whole file fits.
  bool KeepsPasses() const { return browsing_ && fileSize_ <= cacheBytes_; }
  uint32_t chunkBlocks_ = 1;                  // blocks per chunk
  mutable std::vector<CachedRun> cache_;      // slots, reused in turn once all are taken
  mutable std::vector<int32_t> slotOf_;       // cache_ slot of each chunk number, -1 when not cached
  mutable size_t nextVictim_ = 0;
  mutable std::vector<size_t> streamSlots_;   // slots a pass in order takes turns with
  mutable size_t nextStreamSlot_ = 0;
  mutable size_t inOrder_ = 0;                // chunks read in chain order one after the other
  mutable BufferAhead ahead_;                 // the next kept run's memory, made ready beside a pass
  size_t lastEntry_ = 0;                      // entry found by the previous EntryIndexOf
  size_t lastLoadedEntry_ = SIZE_MAX;         // entry of the latest LoadEntry
  // The whole records of the block of the previous Record call, while no block was read since:
  // the fields of one record and the next rows of the block are found without a search.
  struct LoadedRows {
    uint32_t firstRow = 0;
    uint32_t rows = 0;
    const uint8_t* records = nullptr;
  };
  mutable LoadedRows loaded_;
  std::unique_ptr<FileMapping> mapping_;
  bool mapRefused_ = false;  // the file cannot be mapped: not asked again on every refresh
  mutable PassedPages passed_;  // of a pass over the whole file read in place
  // The mapping's lost flag, or one that is never set: read on every row.
  const std::atomic<bool>* mappingLost_;
};

}  // namespace engine
