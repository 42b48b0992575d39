#pragma once
// Writing record blocks in bulk and building the index files of a table family.
//
// BulkBlockWriter packs records into full blocks chained 1 → 2 → … → n, as a rebuilt table has
// them, and writes them about 1 MiB at a time, on a second thread where the file allows it. WriteTreeFile writes a PX or Y file: one level-1
// entry per data block (key of its first record, block number, record count); when they do not
// fit in one block, block 1 is the root and the levels below fill their blocks to capacity − 1.
// SecondaryRecordLayout and MakeSecondaryRecord make the records of an .X/.XG file from the
// table's records.

#include <array>
#include <cstdint>
#include <cstddef>
#include <future>
#include <string>
#include <vector>

#include "format/table_definition.h"
#include "format/table_header.h"

namespace engine {

class File;

struct TreeEntry {
  std::string key;     // key bytes of the first record of the child block
  uint16_t child = 0;  // block number in the data file (level 1) or in the tree file
  uint32_t count = 0;  // records below the entry
};

class BulkBlockWriter {
 public:
  // Writes blocks of `blockBytes` after a header of `headerSize` bytes (written with its counters
  // by the caller when the blocks are done) into `file`, numbering blocks from 1. Keeps at most
  // `keyBytes` leading bytes of each block's first record for its entry.
  BulkBlockWriter(File& file, uint16_t recordSize, uint32_t blockBytes, uint32_t headerSize,
                  size_t keyBytes = SIZE_MAX);
  // Waits for a write still under way (its failure, if any, is lost: Finish raises it).
  ~BulkBlockWriter();
  BulkBlockWriter(const BulkBlockWriter&) = delete;
  BulkBlockWriter& operator=(const BulkBlockWriter&) = delete;
  // Appends one record; returns the block it went to and its position in that block. Raises
  // EDBEngineError naming the file when the record needs a block past number 65535.
  uint16_t Add(const uint8_t* record, int* slot = nullptr);
  // Writes the last block. Returns the entries of every block (first record's `keyBytes`
  // leading bytes, block number, record count).
  std::vector<TreeEntry> Finish(size_t keyBytes);
  uint32_t Records() const { return records_; }

 private:
  // Ends the current block; writes the blocks gathered when the batch is full or `last`.
  void FlushBlock(bool last);
  // Writes `bytes` of batch_ at `offset`: on a second thread when the file allows it, the next
  // batch then filling the other buffer.
  void WriteBatch(uint64_t offset, size_t bytes);
  // Waits for the write under way, raising its failure.
  void AwaitWrite();
  uint8_t* CurrentBlock();
  File& file_;
  uint16_t recordSize_;
  uint32_t blockBytes_;
  uint32_t headerSize_;
  uint32_t capacity_;
  size_t keyBytes_;
  uint32_t batchBlocks_;
  std::vector<uint8_t> batch_;  // blocks written together in one write
  std::vector<uint8_t> spare_;  // the buffer of the write under way, or the next one
  std::future<void> writing_;   // the write under way on a second thread
  uint32_t inBatch_ = 0;        // finished blocks in batch_; the current one follows them
  int inBlock_ = 0;
  uint16_t current_ = 0;
  uint32_t records_ = 0;
  // Per block: the leading `keyBytes_` of its first record, packed, and its record count.
  std::string firstKeys_;
  std::vector<uint32_t> counts_;
};

// Writes `header` as it stands (counters still to come) at the start of a new data or .X file,
// before its blocks: the file's layout is then known from its first bytes on, as a protected
// table's file system needs to scramble the blocks.
void WriteLayoutFirst(File& file, const TableHeader& header);

// Index-record trailer (6 bytes at p): child block, record count, and the count's high 16 bits
// (zero for every count below 32768, as the format's third short always is then).
void PutTreeTrailer(uint8_t* p, uint16_t child, uint32_t count);

// Writes the whole tree file (header with counters, root and levels, then the blocks) over
// `file`. `header` gives the fields, block size and stamps; its counters are set here.
void WriteTreeFile(File& file, TableHeader header, const std::vector<TreeEntry>& level1);

// The header WriteTreeFile writes for a tree of `blocks` blocks holding `entries` entries on
// `levels` levels, `header` giving the fields, block size and stamps.
std::vector<uint8_t> TreeFileHead(TableHeader header, uint16_t blocks, uint32_t entries, uint8_t levels);
// The block header WriteTreeFile gives block `block` of `blocks` when it holds `entries` entries.
void PutTreeBlockHeader(uint8_t* p, uint16_t block, uint16_t blocks, size_t entries, uint16_t recordSize);

// Updates the counters of a data or secondary file's header after a bulk write.
void SetBulkCounters(TableHeader& header, const std::vector<TreeEntry>& blocks, uint32_t records);

// One record of a secondary index file together with the bytes it is ordered by.
struct SecondaryRecord {
  std::string sortKey;  // index fields folded for case and direction, then the tie breaker
  std::string bytes;    // the X record
};

// How the X records of one secondary index are made from table records, worked out once.
class SecondaryRecordLayout {
 public:
  SecondaryRecordLayout(const TableDefinition& def, const SecondaryDef& index);
  // Writes the X record of table record `record` (the X file's record size) to `out`: the index
  // fields (alpha values upper-cased for a case-insensitive index), then either the key fields
  // and the block number (maintained index) or the record number from 1, the block number and
  // the record's byte offset in the block (`slot` × record size).
  void Encode(const uint8_t* record, uint16_t block, int slot, uint32_t recordNumber, uint8_t* out) const;

 private:
  struct Field {
    size_t offset;
    size_t bytes;
    bool fold;  // upper-cased
  };
  std::vector<Field> fields_;
  const std::array<uint8_t, 256>* upper_;
  bool maintained_;
  size_t keyBytes_;
  int recordSize_;
};

// X record of a table record as SecondaryRecordLayout writes it, with the bytes it is ordered by.
SecondaryRecord MakeSecondaryRecord(const TableDefinition& def, const SecondaryDef& index,
                                    const TableHeader& secondaryHeader, const uint8_t* record,
                                    uint16_t block, int slot, uint32_t recordNumber);

// Sorts the records; returns false when `unique` and two records have equal index values.
bool SortSecondaryRecords(std::vector<SecondaryRecord>& records, bool unique, size_t indexBytes);

// Bytes of the index fields of a definition's index.
size_t IndexFieldBytes(const TableDefinition& def, const SecondaryDef& index);

}  // namespace engine
