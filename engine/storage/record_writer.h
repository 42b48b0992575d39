#pragma once
// Changes to the records of a .DB file in place: insert (with block split), replace and remove
// (with freeing of emptied blocks through the free list), then one commit that writes the
// touched blocks, flushes them, and only then writes and flushes the header.
//
// Rows are stored rows: positions along the block chain. Block rules:
// - appending at the end of the last block that is full opens a new block after it (so
//   sequential loads fill blocks completely); a full block elsewhere splits in half, the upper
//   half moving to a new block linked after it;
// - new blocks come from the free list first, otherwise from the end of the file;
// - a block that empties leaves the chain for the free list; when it is the chain's first
//   block, the next block's records move into it and that block is freed instead; a table
//   whose last record goes is cut back to its header;
// - a block down to a quarter of its capacity takes in its successor's records when together
//   they fill at most half a block, and the successor is freed.
// Not thread-safe.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "format/table_header.h"
#include "storage/data_file.h"
#include "storage/index_builder.h"
#include "storage/tree_file_image.h"

namespace engine {

class File;
class FileSystem;

// Whether two headers of a data file describe the same state of its blocks and records.
bool SameFileState(const TableHeader& a, const TableHeader& b);

class RecordWriter {
 public:
  // Opens the .DB (or an .X/.XG file) for writing and walks its chain, or takes the chain from
  // `seen`, a reader's walk of the same file, while the file is as that reader found it and
  // sound (first records are then read when needed). Raises EDBEngineError naming the file when
  // it is write-protected, encrypted or its chain is damaged.
  // Without a finished walk in `seen`, `fromTree` may give the chain instead: the blocks and
  // record counts that a tree file over the file names, for the header it is given. That chain
  // is taken when it agrees with the header (block count, records, first and last block, blocks
  // in the file and none twice); each of its blocks is then checked against it (record count,
  // next block) when first read, so that a change is refused, as a damaged chain found by a
  // walk would be, before it touches a block that disagrees.
  using ChainFromTree = std::function<bool(const TableHeader& header, std::vector<BlockEntry>* chain)>;
  explicit RecordWriter(FileSystem& fs, const std::string& dbPath, const DataFile* seen = nullptr,
                        const ChainFromTree& fromTree = {});
  ~RecordWriter();

  const TableHeader& Header() const { return header_; }
  TableHeader& MutableHeader() { return header_; }
  uint32_t Count() const { return count_; }
  const std::string& Path() const { return path_; }

  // Record bytes of a stored row; valid until the next change.
  const uint8_t* Record(uint32_t row);
  // Inserts before `row` (row == Count() appends).
  void Insert(uint32_t row, const uint8_t* record);
  void Replace(uint32_t row, const uint8_t* record);
  void Remove(uint32_t row);

  // Writes and flushes the touched blocks, then the header: counters, 0x2D bumped when
  // `keysChanged` (records added or removed, keys changed), 0x2E bumped or set to
  // `changeCount2`, 0x2F set to `stamp2F` when given (secondary index files).
  void Commit(int changeCount2 = -1, int stamp2F = -1, bool keysChanged = true);
  // Records that moved to another block since the last call (splits, the first block taking
  // over its successor's records): their bytes and new block.
  std::vector<std::pair<std::string, uint16_t>> TakeMoved();
  // Whether the file's header still is the one this writer last wrote or read.
  bool Current();
  // Drops uncommitted changes by re-reading the file.
  void Reload();

  // One entry per block in chain order: first `keyBytes` of its first record, block, count.
  std::vector<TreeEntry> BlockEntries(size_t keyBytes);
  // The chain's blocks in order with their first rows and record counts.
  std::vector<BlockEntry> Blocks() const;
  // Whether the chain was taken from a reader's walk or a tree file (first records not read yet).
  bool ChainTaken() const { return chainTaken_; }
  // Whether it was taken from a tree file.
  bool ChainFromTreeTaken() const { return !expected_.empty(); }
  // How the chain changed since the call before: `edits`, the blocks that joined or left it in
  // the order they did, then `out`, the entries (as BlockEntries gives them) of the chain blocks
  // written by the commits meanwhile, with their places in the chain as it is now. False, with
  // neither, on the first call and after the chain was read again or emptied: then only
  // BlockEntries tells.
  bool ChangedEntries(size_t keyBytes, std::vector<TreeEdit>* edits, std::vector<std::pair<size_t, TreeEntry>>* out);
  // First stored row whose record does not go `before` (the rows being in that order): the
  // blocks' first records, kept in memory, narrow the search to one block.
  uint32_t PartitionPoint(const std::function<bool(const uint8_t* record)>& before);
  // Block number and position in it of a stored row.
  void Locate(uint32_t row, uint16_t* block, int* slot) const;
  // What the last Commit changed of the chain: the stored rows before `keptRows` are in the same
  // blocks at the same places as before it; `tail` is the chain from there on (blocks in order
  // with their first rows and record counts); `written` the blocks it wrote.
  struct CommittedChain {
    uint32_t keptRows = 0;
    std::vector<BlockEntry> tail;
    std::vector<uint16_t> written;
  };
  CommittedChain LastCommit() const;

 private:
  struct ChainBlock {
    uint16_t block;
    uint32_t count;
    std::string first;  // the block's first record (empty when the block is empty)
    bool firstKnown;    // else `first` is read on first need
  };
  const std::string& First(size_t chainIndex);
  void RefreshFirst(size_t chainIndex);
  // Notes that chain position `chainIndex` changed its record count, or (`joinedOrLeft`) that a
  // block joined or left the chain there.
  void ChainChanged(size_t chainIndex, bool joinedOrLeft);
  void UpdateFirstRows() const;
  // The chain's blocks from position `from` on, with their first rows and record counts.
  std::vector<BlockEntry> EntriesFrom(size_t from) const;
  void NoteMoved(uint16_t block, uint32_t from, uint32_t count);
  void Load(const std::vector<BlockEntry>* known);
  // Whether `chain` (from a tree file) agrees with the header and the file's `size`.
  bool FitsHeader(const std::vector<BlockEntry>& chain, uint64_t size) const;
  // Raises EDBEngineError naming the file when block `block`, just read as `bytes`, disagrees
  // with the chain taken from a tree file.
  void CheckTaken(uint16_t block, const std::vector<uint8_t>& bytes);
  // Raises EDBEngineError naming the file when the header's block count runs past the file's
  // `size` or its free list leaves the file, joins the chain (blocks `chain`) or loops: a block
  // taken from it would overwrite records or land past the file.
  void CheckFreeBlocks(const std::vector<uint8_t>& chain, uint64_t size) const;
  std::vector<uint8_t>& Block(uint16_t block);
  size_t ChainIndex(uint32_t row, uint32_t* firstRow) const;
  uint16_t NewBlock();
  void FreeBlock(uint16_t block);
  void LinkAfter(size_t chainIndex, uint16_t block);
  void SetCount(size_t chainIndex, uint32_t count);
  void MergeWithNext(size_t chainIndex);

  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<File> file_;
  TableHeader header_;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  std::vector<ChainBlock> chain_;
  bool chainTaken_ = false;
  // For a chain taken from a tree file, by block number: what each of its blocks not read yet
  // must hold (empty otherwise).
  struct Expected {
    bool unread = false;
    uint16_t next = 0;  // the next block in the chain; 0 for the last
    uint32_t count = 0;
  };
  std::vector<Expected> expected_;
  // Stored row of each chain block's first record; the entries from `firstRowsValid_` on are
  // worked out again on the next lookup after counts or the chain changed.
  mutable std::vector<uint32_t> firstRows_;
  mutable size_t firstRowsValid_ = 0;
  // First chain position changed since the last commit, and as of the last commit (SIZE_MAX:
  // none); the blocks the last commit wrote.
  size_t changedFrom_ = 0;
  size_t committedFrom_ = SIZE_MAX;
  std::vector<uint16_t> written_;
  // For ChangedEntries: blocks written since its last call, the blocks that joined or left the
  // chain meanwhile (unknown after the chain was read or emptied), whether any did, and each
  // block's place in the chain (by block number) as of its last call.
  std::set<uint16_t> committed_;
  std::vector<TreeEdit> edits_;
  bool editsKnown_ = false;
  bool chainChanged_ = true;
  std::vector<size_t> positions_;
  std::map<uint16_t, std::vector<uint8_t>> blocks_;  // loaded blocks
  std::map<uint16_t, bool> dirty_;
  bool truncateToHeader_ = false;
  std::vector<std::pair<std::string, uint16_t>> moved_;
  std::vector<uint8_t> lastFixedPart_;  // header bytes 0..0x58 as last read or written
};

}  // namespace engine
