#pragma once
// An open table family as the engine reads it: its files, the decoded header, the block
// directory of the data file, the secondary indexes and the current order of rows. The table
// component keeps its position and edit state beside it; copy, restructure and dump read
// through it alone.
//
// Rows ("row" below) are positions in the current order; stored rows are positions in the
// data file's chain. For the primary index and for tables without key both are the same.
// Not thread-safe.

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "format/record_format.h"
#include "format/table_header.h"
#include "storage/block_key_search.h"
#include "storage/data_file.h"
#include "storage/secondary_index.h"

namespace engine {

class BlobFile;
class CodePage;
class FileSystem;
class RecordWriter;

class TableCursor {
 public:
  // Opens `tableName` (a file name with its extension) in `directory` (ending in "/"): reads
  // the header, refuses encrypted tables and walks the chain, at once or as rows are asked for
  // (`access`, see DataFile). The index files are found and the .MB is opened on first use. Raises
  // EDBEngineError naming the file.
  static std::unique_ptr<TableCursor> Open(FileSystem& fs, const std::string& directory,
                                           const std::string& tableName, DataAccess access = DataAccess::kWhole);
  ~TableCursor();
  // True while `handle` is the address of an open cursor (TTable::Handle()).
  static bool IsLive(const void* handle);

  // Opens as Open does, without a walk of the chain: its blocks in order (block, record count),
  // as a check has just walked them and found them sound.
  static std::unique_ptr<TableCursor> Open(FileSystem& fs, const std::string& directory, const std::string& tableName,
                                           const std::vector<std::pair<uint16_t, uint32_t>>& walkedChain);

  FileSystem& Fs() const { return *fs_; }
  const std::string& Directory() const { return directory_; }
  const std::string& DataPath() const { return dataPath_; }
  // The .MB found next to the table (matched case-insensitively); "NAME.MB" when none exists.
  // Looked up on first use, so that opening a table without blobs lists no directory.
  const std::string& BlobPath() const;
  const std::string& BaseName() const { return baseName_; }

  const TableHeader& Header() const { return data_->Header(); }
  DataFile& Data() { return *data_; }
  const std::vector<FieldLayout>& Layout() const { return layout_; }
  // Field names in UTF-8, in field order.
  const std::vector<std::string>& FieldNames() const { return fieldNames_; }
  // A record of all-zero bytes: every field null (the current record of an empty table).
  const uint8_t* NullRecord() const { return nullRecord_.data(); }
  const CodePage& Codepage() const { return *codePage_; }
  // The table's secondary indexes, found on first use (listing the directory).
  const std::vector<SecondaryIndex>& Secondaries() const;
  // German notes about disagreements that were read around (header vs. chain, stale index).
  std::vector<std::string> Notes() const;

  // Selects the order: -1 = stored (primary) order, k = Secondaries()[k].
  void SelectOrder(int secondary);
  int SelectedOrder() const { return selected_; }
  uint32_t RowCount() const { return data_->RecordCount(); }
  // Whether `row` exists in the current order; in the stored order the chain is walked only as
  // far as that row.
  bool HasRow(uint32_t row) const { return order_ ? row < order_->size() : data_->HasRecord(row); }
  uint32_t StoredRow(uint32_t row) const { return order_ ? (*order_)[row] : row; }
  // Record bytes of a row in the current order; valid until the next read.
  const uint8_t* RecordAt(uint32_t row) { return data_->Record(StoredRow(row)); }
  // The same when the data file has the row at hand (DataFile::LoadedRecord), else nullptr.
  const uint8_t* LoadedRecordAt(uint32_t row) const {
    if (!order_) return data_->LoadedRecord(row);
    return row < order_->size() ? data_->LoadedRecord((*order_)[row]) : nullptr;
  }
  // Key search in the stored order of a keyed table by its key fields or leading ones (see
  // BlockKeySearch); kept, with what its searches learned, until the table changes.
  BlockKeySearch& PrimaryKeySearch();

  // Whole content of a blob field of a record (graphic/OLE with their prefix). Values in the
  // leader need no .MB; others raise kErrBlobMissing when the .MB is missing or damaged.
  std::string ReadBlob(int field, const uint8_t* record);
  // Raises as ReadBlob does when the value cannot be read, without reading its content.
  void CheckBlob(int field, const uint8_t* record);
  // Blob length stored in the record (0 = null).
  uint32_t BlobLength(int field, const uint8_t* record) const;
  // Opens the .MB ahead of the first ReadBlob, read whole into memory when it is at most
  // `maxBytes` long; a .MB that cannot be opened raises its error on every ReadBlob from then on.
  // Returns true when ReadBlob then reads no file (the table has no blob field, its .MB is in
  // memory or cannot be opened), so that threads may call it at once. Call before any ReadBlob.
  bool PrepareBlobReads(uint64_t maxBytes);

  // Re-reads the table from disk (header, chain, index files), keeping the selected order.
  void Reload();
  // Brings the cursor up to date after its table's writer committed a change, without reading
  // the files again: the writer's header and chain become the block directory. In the
  // selected secondary order stored row `removed` leaves and the record now at stored row
  // `inserted` enters (-1: none; both the same for a record replaced in place), the stored
  // rows in between shifting; other secondary orders are dropped and built again when
  // selected. Returns the row of `inserted` in the current order, -1 when there is none.
  int ApplyChange(const RecordWriter& writer, int64_t removed, int64_t inserted);

 private:
  // The .MB, opened on first use; raises kErrBlobMissing when there is none.
  const BlobFile& Blobs();
  std::unique_ptr<BlobFile> OpenBlobs(FileSystem& fs) const;
  TableCursor() = default;
  void Load(const std::vector<std::pair<uint16_t, uint32_t>>* walkedChain = nullptr);
  static std::unique_ptr<TableCursor> Open(FileSystem& fs, const std::string& directory, const std::string& tableName,
                                           const std::vector<std::pair<uint16_t, uint32_t>>* walkedChain,
                                           DataAccess access);

  FileSystem* fs_ = nullptr;
  DataAccess access_ = DataAccess::kWhole;
  std::string directory_;
  std::string dataPath_;
  mutable std::string blobPath_;  // empty until BlobPath() looked it up
  std::string baseName_;
  std::unique_ptr<DataFile> data_;
  std::vector<FieldLayout> layout_;
  std::vector<std::string> fieldNames_;
  std::vector<uint8_t> nullRecord_;
  const CodePage* codePage_ = nullptr;
  mutable std::vector<SecondaryIndex> secondaries_;
  mutable bool secondariesFound_ = false;
  std::map<int, std::vector<uint32_t>> orders_;  // computed secondary orders
  std::map<int, std::string> orderNotes_;
  const std::vector<uint32_t>* order_ = nullptr;
  int selected_ = -1;
  std::unique_ptr<BlobFile> blob_;
  std::unique_ptr<BlockKeySearch> keySearch_;  // made on first use
  std::exception_ptr blobFailure_;  // why PrepareBlobReads could not open the .MB
};

}  // namespace engine
