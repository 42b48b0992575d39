#pragma once
// The writing state of an open table, kept from one post to the next: the data file's writer
// and, for a table with key, one writer per maintained secondary index file. A change to a
// record goes to the data file and, entry by entry, to every .X/.XG file (records that moved
// to another block get their block number corrected); Commit then writes the data file's blocks
// and header, brings the .PX up to date with the blocks that changed or joined or left the chain,
// commits the index files and brings their .Y trees up to date the same way, with the stamps
// between the files set again (each tree file holding exactly the bytes writing it whole would
// give). Indexes of a table without key (not maintained) are rebuilt whole. A post or delete
// reaches the files as one change through a StagedFileSystem: a process killed at any point of
// it leaves the table wholly old or wholly new.
// Not thread-safe.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "format/record_format.h"
#include "family/staged_file_system.h"
#include "format/table_definition.h"
#include "storage/record_writer.h"
#include "storage/secondary_index.h"
#include "storage/tree_file_image.h"

namespace engine {

class BlobFile;
class DataFile;
class FileSystem;
struct EditBuffer;

// A .MB larger than this has its free space read by the first change that needs it, not ahead:
// a post that needs no blob should not cost reading a large file.
constexpr uint64_t kBlobSpaceAheadLimit = uint64_t{64} << 20;

class TableWriter {
 public:
  // `seen`, when given, is a reader's walk of the data file, taken over while the file is as the
  // reader found it (with the .PX as it stands when that agrees with it).
  TableWriter(FileSystem& fs, const std::string& dir, const std::string& dbName,
              const std::vector<SecondaryIndex>& secondaries, const DataFile* seen = nullptr);
  ~TableWriter();

  // Whether the files are still as this writer left them (no one else wrote in between).
  bool Current();
  RecordWriter& Data() { return *data_; }
  // The table's .MB at `path`, opened once (created when the table has none yet).
  BlobFile& Blobs(const std::string& path);
  const TableDefinition& Definition() const { return def_; }

  // Where a posted record went: the stored row it left (-1 for a new record; the same row for
  // a record changed in place) and the stored row it has now.
  struct Posted {
    int64_t removed = -1;
    uint32_t stored = 0;
  };
  // Posts `edit` (record and pending blob contents in the table's layout) as a new record
  // (`editedRow` -1) or as the new content of stored row `editedRow`, and commits: assigns
  // auto-increment values to a new record, places the record by its key (refusing a key or a
  // unique index value that is taken; a table without key keeps an edited record in place and
  // takes a new one before stored row `insertBefore`, at the end when -1), writes blob contents
  // to the .MB at `blobPath` before the record and frees the replaced ones after the commit.
  // After a failure nothing of the change is in the table's files and the writer is dropped.
  Posted Post(const EditBuffer& edit, int64_t editedRow, int64_t insertBefore, const std::string& blobPath);
  // Deletes stored row `row`, commits, and frees the record's blobs in the .MB at `blobPath`.
  // After a failure the writer is dropped.
  void Delete(uint32_t row, const std::string& blobPath);

  // Stored row of the record with `row`'s position after the change.
  uint32_t Insert(uint32_t row, const uint8_t* record);
  void Replace(uint32_t row, const uint8_t* record);
  void Remove(uint32_t row);
  void Commit();

 private:
  struct Secondary {
    SecondaryDef index;
    std::string path;
    std::unique_ptr<RecordWriter> x;  // maintained indexes only
    bool changed = false;             // entries added or removed since the last commit
    TreeFileImage treeFile;           // the .Y as last written
    std::string yName;                // the .Y's name as the folder spells it
  };
  void InsertEntry(Secondary& s, const uint8_t* record, uint16_t block);
  void RemoveEntry(Secondary& s, const uint8_t* record);
  void SetEntryBlock(Secondary& s, const uint8_t* record, uint16_t block);
  uint32_t FindEntry(Secondary& s, const std::string& sortKey, const std::string& bytes, bool* found);
  void AssignAutoIncrement(uint8_t* record, bool inserting);
  // Stored row at which `record` goes, refusing a key that another record has.
  uint32_t KeyedPlace(const uint8_t* record, const uint8_t* original, int64_t editedRow, bool* moves);
  void CheckUniqueIndexes(const uint8_t* record, int64_t skipRow);
  // Keeps the gathered values of unique indexes in step: record `gone` left, `added` came.
  void NoteUniqueKeys(const uint8_t* gone, const uint8_t* added);
  [[noreturn]] void KeyViolation(const std::string& what) const;
  // Opens the table's .MB, when `header` has blob fields, and has its free space read on another
  // thread while the writer is made and the first change prepared, so that the first blob
  // written need not wait for a reading of the whole file. A header that is out of date costs at
  // most a reading not made ahead (the first change makes it) or one not needed.
  void ReadBlobSpaceAhead(FileSystem& fs, const TableHeader& header);
  std::string EntrySortKey(const Secondary& s, const uint8_t* xRecord) const;
  // The .PX's name as the folder spells it, looked up once.
  const std::string& PxName();
  Posted PostChange(const EditBuffer& edit, int64_t editedRow, int64_t insertBefore, const std::string& blobPath);
  void DeleteChange(uint32_t row, const std::string& blobPath);
  // Runs `change` with the file system keeping its changes, then applies them as one.
  template <typename Change>
  auto AsOneChange(const Change& change);

  StagedFileSystem staged_;  // over the stored bytes: a protected table's are staged scrambled
  std::unique_ptr<FileSystem> unlocked_;  // a protected table's files in clear, over staged_
  FileSystem& fs_;  // unlocked_ or staged_
  std::string dir_;
  std::string dbName_;
  std::vector<SecondaryIndex> secondaryInfo_;
  TableDefinition def_;
  std::vector<FieldLayout> layout_;
  std::unique_ptr<RecordWriter> data_;
  std::unique_ptr<BlobFile> blobs_;
  std::vector<Secondary> secondaries_;
  bool rebuildAll_ = false;  // indexes of a table without key
  bool keysChanged_ = false;  // records added or removed since the last commit
  TreeFileImage primaryFile_;  // the .PX's bytes as last written
  std::string pxName_;         // PxName(), empty until first needed
  // Values of every record in the unique indexes of a table without key, by index (from the
  // first check on).
  std::map<size_t, std::unordered_multiset<std::string>> uniqueKeys_;
};

}  // namespace engine
