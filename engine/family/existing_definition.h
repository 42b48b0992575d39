#pragma once
// The definition of a table family that exists on disk: from its data file's header and the
// secondary indexes found beside it.

#include <string>
#include <vector>

#include "format/table_definition.h"
#include "storage/secondary_index.h"

namespace engine {

class FileSystem;

// Definition of the table whose data file has header `h`, with the given secondary indexes
// (each keeping its file's extension): what posts and index upkeep write the family's files by.
TableDefinition DefinitionOf(const TableHeader& h, const std::vector<SecondaryIndex>& secondaries);

// Definition of the existing table `dir` + `tableName` (language driver, code page, counter
// and secondary indexes included) as the base of a new family: fields numbered by position,
// index files not yet named. Refuses encrypted tables.
TableDefinition ReadDefinition(FileSystem& fs, const std::string& dir, const std::string& tableName);

}  // namespace engine
