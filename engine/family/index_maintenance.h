#pragma once
// Keeps the index files of a table in step with its data after records changed: the primary
// index is rewritten from the chain's blocks (one entry per block) and every secondary index
// from all records, and the consistency stamps between the files are set again (PX 0x2C =
// DB 0x2D, X 0x2E = DB 0x2E, X 0x2F = PX 0x2C, Y 0x2C = X 0x2D).

#include <string>
#include <vector>

#include "storage/secondary_index.h"

namespace engine {

class FileSystem;
class RecordWriter;

// Rewrites the .PX (keyed tables) and the files of `secondaries` for the data file that
// `writer` has just committed.
void RebuildIndexFiles(FileSystem& fs, const std::string& dir, const std::string& dbName,
                       RecordWriter& writer, const std::vector<SecondaryIndex>& secondaries);

}  // namespace engine
