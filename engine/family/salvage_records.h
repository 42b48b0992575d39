#pragma once
// The records a rebuild can take from a table whose block chain or indexes may be damaged: the
// records as the table reads them when its chain is whole, otherwise the blocks of the chain up
// to its fault; in both cases also the blocks that hold records but belong to neither the chain
// nor the free list. A keyed table's records come sorted by key where its order is byte order,
// a record whose key occurs again is left out. Blob values are read; one that cannot be read
// becomes null. Everything left out or changed is listed in German, naming record and block.

#include <cstdint>
#include <string>
#include <vector>

#include "family/family_writer.h"

namespace engine {

class FileSystem;

struct SalvagedRecords {
  std::vector<SourceRecord> records;
  std::vector<std::string> relinked;      // blocks taken back into the chain
  std::vector<std::string> dropped;       // records left out, with the reason
  std::vector<std::string> blobsCleared;  // blob values set to null, with the reason
  std::vector<std::string> unreadable;    // values kept as stored that cannot be read
};

// Collects the records of `dir` + `dbName` (the caller holds the table's lock).
SalvagedRecords SalvageRecords(FileSystem& fs, const std::string& dir, const std::string& dbName);

}  // namespace engine
