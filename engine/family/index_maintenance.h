#pragma once
// Keeps the index files of a table in step with its data after records changed: the primary
// index is rewritten from the chain's blocks (one entry per block) and every secondary index
// from all records, and the consistency stamps between the files are set again (PX 0x2C =
// DB 0x2D, X 0x2E = DB 0x2E, X 0x2F = PX 0x2C, Y 0x2C = X 0x2D).

#include <string>
#include <vector>

#include "storage/secondary_index.h"
#include "family/table_definition.h"

namespace engine {

class FileSystem;
class RecordWriter;

// Definition of the table whose header `h` the writer holds, with the given secondary indexes.
TableDefinition DefinitionOf(const TableHeader& h, const std::vector<SecondaryIndex>& secondaries);

// The header an index file (.PX, .Xnn/.XGn or .Ynn/.YGn) already has, when it can be read and
// is of the same kind and record layout as `fallback`; `fallback` otherwise. Keeps the stamps
// and counters that other software compares when only part of a family is rewritten.
TableHeader ExistingIndexHeader(FileSystem& fs, const std::string& path, const TableHeader& fallback);

// Rewrites the .PX (keyed tables) and the files of `secondaries` for the data file that
// `writer` has just committed.
void RebuildIndexFiles(FileSystem& fs, const std::string& dir, const std::string& dbName,
                       RecordWriter& writer, const std::vector<SecondaryIndex>& secondaries);

}  // namespace engine
