#pragma once
// Writes a whole table family (.DB, .PX, .MB, .Xnn/.Ynn, .XGn/.YGn) from a stream of records,
// as a rebuild does: data blocks filled to capacity in the order the records come, the primary
// index and every secondary index built from them, counters and stamps of a fresh family.
// Records of a table with key must come in key order (the order of a source table's chain);
// two neighbours with the same key raise a key violation.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "format/table_definition.h"
#include "io/progress.h"

namespace engine {

class FileSystem;

struct SourceRecord {
  // The record in the target layout. A blob field not in `blobs` keeps a value that its leader
  // holds whole and is null otherwise.
  std::vector<uint8_t> bytes;
  std::map<int, std::string> blobs;  // whole content of blob fields by position
};

// Fills the next record; false at the end.
using RecordSource = std::function<bool(SourceRecord&)>;

// A file written by WriteFamily: where it was written and the name it takes in the family.
struct WrittenFile {
  std::string path;
  std::string finalName;
};

// Orders of secondary indexes to keep instead of sorting, by index: the primary-key bytes of
// the records in the order of the source table's index file. Used for tables whose language
// driver orders text other than by byte value, whose order cannot be computed here. An empty
// entry, or one that does not name every record exactly once, means: sort.
using KeptOrders = std::vector<std::vector<std::string>>;

// The name a companion file takes, given the one the .DB's name implies ("kunden.px" for
// "kunden.db"). Empty: that name.
using CompanionNamer = std::function<std::string(const std::string&)>;

// Writes the family of `def` for the table `dbName` (file name with extension) into `dir`;
// every file goes to its final name followed by `suffix`. Returns the files written; on a
// failure the files written so far are removed and the failure goes on. Blob values all take
// modification number 1, as in a rebuilt table.
std::vector<WrittenFile> WriteFamily(FileSystem& fs, const TableDefinition& def, const std::string& dir,
                                     const std::string& dbName, const std::string& suffix,
                                     const RecordSource& source, const ProgressFn& progress,
                                     const KeptOrders& keep = {}, const CompanionNamer& namer = {});

}  // namespace engine
