#pragma once
// A check of a table's .MB against the blob fields of its records: every reference resolves
// to an entry whose length and modification number agree with the record, no two records
// share an entry, the file is a whole number of well-formed blocks, the header's free-space
// list names free space only, and no entry is kept that no record refers to.
// Not thread-safe.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "io/table_problem.h"

namespace engine {

class BlobFile;
class File;
class FileSystem;

class BlobCheck {
 public:
  // Opens the .MB at `path` and walks its blocks; what is wrong with it goes to `problems`.
  BlobCheck(FileSystem& fs, const std::string& path, std::vector<TableProblem>& problems);
  ~BlobCheck();

  // What is wrong with the blob field `field` (`fieldSize` bytes) of record `record` (counted
  // from 1) in data block `block`, in German; empty when its value is sound.
  std::string CheckField(const uint8_t* field, size_t fieldSize, uint64_t record, uint16_t block);
  // Names the entries that no checked field referred to; call after the last record.
  void Finish();

 private:
  void Problem(const std::string& place, const std::string& text);
  void WalkBlocks();
  void CheckFreeList();
  uint16_t EntryModification(uint64_t offset, unsigned index) const;

  std::string path_;
  std::vector<TableProblem>& problems_;
  const File* file_ = nullptr;  // blobs_'s file, null when it cannot be opened
  std::unique_ptr<BlobFile> blobs_;
  using Entry = std::pair<uint64_t, unsigned>;  // offset, slot
  using User = std::pair<uint64_t, uint16_t>;   // record (counted from 1; 0: none), block
  // The first record referring to `entry`, made when none was known.
  User& UserOf(const Entry& entry);

  std::map<uint64_t, std::pair<uint8_t, uint16_t>> blocks_;  // offset -> type, units
  std::vector<Entry> entries_;  // stored values in file order (ascending), as the walk found them
  std::vector<User> users_;     // the first record referring to each of entries_
  std::map<Entry, User> otherUsers_;  // the same for referred entries the walk did not find
};

}  // namespace engine
