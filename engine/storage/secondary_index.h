#pragma once
// Secondary indexes of a table: found by file name next to the .DB (NAME.Xnn with nn the
// indexed field's number in hex, NAME.XGn for composite, named, case-insensitive or descending
// indexes; names match case-insensitively), described by the index file's header, and read as
// an order of the table's rows.
//
// Reading the order: a maintained index of a keyed table (file types 5 and 8) holds one entry
// per record: the index fields, the primary-key fields and the block number. Each entry is
// mapped to its row through the primary key (KeyRows, over one sequential pass of the data), and
// the entry's index bytes are checked against the row (a case-insensitive index stores its
// alpha values upper-cased). A missing, damaged or stale index file (different record count,
// an entry that maps to no row or to a row twice, index bytes that differ from the row, entries
// out of order where the order is byte order: no alpha field or the "ascii" language driver),
// and every non-maintained index, give way to sorting the rows in memory by the index fields:
// byte order of the stored values, upper-cased alpha for case-insensitive indexes, reversed for
// descending fields, ties in stored order. Both ways read the data once: O(n) I/O.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "format/record_format.h"
#include "format/table_definition.h"
#include "format/table_header.h"
#include "io/large_buffer.h"
#include "storage/data_file.h"
#include "storage/split_loop.h"

namespace engine {

class FileSystem;

// A secondary index found on disk.
struct SecondaryIndex {
  std::string path;         // the .Xnn / .XGn file
  SecondaryDef def;         // extension: the file's, upper-cased
  bool maintained = false;  // file types 5/8: kept up to date with the data
};

// Index files of the table `baseName` (file name without extension) in `dir` (ending in "/").
// Files whose header cannot be read are skipped, except that a .Xnn names its field in its
// extension and is kept as a single-field ascending index. Order: .Xnn by field number, then
// .XGn by their digit.
std::vector<SecondaryIndex> DiscoverSecondaryIndexes(FileSystem& fs, const std::string& dir,
                                                     const std::string& baseName,
                                                     const TableHeader& table);

// What a check of an index file needs of its entries, kept while the order reads them.
struct IndexEntriesRead {
  bool complete = false;                // every block of the file was read
  std::vector<BlockEntry> blocks;       // the file's blocks in chain order
  std::vector<uint16_t> blockNumbers;   // the data block number each entry ends in
  std::vector<std::string> firstKeys;   // the bytes before the last field of each block's first entry
};

// An index file's header and block chain as a scan that found no fault in them read them, so
// that an order need not read them again.
struct IndexFileWalk {
  TableHeader header;
  std::vector<std::pair<uint16_t, uint32_t>> chain;  // (block, records) in chain order
};

// What an order of `index` needs of each row of the data: its index bytes (alpha normalized and
// case-folded as the index file stores them) and, when the index file can be used, apart from
// them its key bytes, gathered record by record.
class SecondaryRows {
 public:
  SecondaryRows(const SecondaryIndex& index, const TableHeader& table, uint32_t rows);
  // Takes what is needed of `record`, the table's row `row` (below `rows`).
  void Add(uint32_t row, const uint8_t* record);

 private:
  friend std::vector<uint32_t> SecondaryOrder(FileSystem&, const SecondaryIndex&, SecondaryRows&,
                                              const std::vector<BlockEntry>&, std::string*, IndexEntriesRead*,
                                              const std::function<void()>&, const SplitLoop&, const IndexFileWalk*);
  SecondaryDef def_;
  TableHeader table_;
  std::vector<FieldLayout> layout_;
  uint32_t rows_;
  size_t width_ = 0;
  size_t keyWidth_;
  bool useFile_;
  int codePage_;
  LargeBuffer bytes_;  // index bytes, width_ per row
  LargeBuffer keys_;   // key bytes, keyWidth_ per row; only when the file is used
};

// Stored row numbers of `data` in the order of `index`. `note` (may be null) receives a German
// sentence when the index file could not be used and the rows were sorted instead.
std::vector<uint32_t> SecondaryOrder(FileSystem& fs, const SecondaryIndex& index, DataFile& data,
                                     std::string* note);
// The same from every row of the data gathered in `rows` (which the order may change);
// `blocks` are the data's blocks in chain order (DataFile::Blocks), looked at only once the rows
// are ready (they may be filled by the time `rowsReady` returns). `seen` (may be null)
// receives what was read of a maintained index file. `rowsReady` (may be empty) is called
// once, before the rows are first looked at, after the index file's entries are read: the rows
// may be gathered then; a failure of it is raised again where the rows are needed again. The
// entries are matched with their rows through `split` (may be empty).
// `walked` (may be null) is the index file as a scan found it sound.
std::vector<uint32_t> SecondaryOrder(FileSystem& fs, const SecondaryIndex& index, SecondaryRows& rows,
                                     const std::vector<BlockEntry>& blocks, std::string* note,
                                     IndexEntriesRead* seen = nullptr, const std::function<void()>& rowsReady = {},
                                     const SplitLoop& split = {}, const IndexFileWalk* walked = nullptr);

// Sort key bytes of records for the index fields (see above), equal-width for all records,
// with the fields' layout worked out once for many records.
class SortKeyMaker {
 public:
  SortKeyMaker(const SecondaryDef& index, const TableHeader& table);
  // Replaces *key by the sort key of `record`.
  void Make(const uint8_t* record, std::string* key) const;
  // Bytes of every key made.
  size_t Width() const { return width_; }

 private:
  SecondaryDef index_;
  std::vector<FieldLayout> layout_;
  int codePage_;
  size_t width_ = 0;
};

// Sort key of one record (see SortKeyMaker).
std::string IndexSortKey(const SecondaryDef& index, const TableHeader& table,
                         const uint8_t* record);

}  // namespace engine
