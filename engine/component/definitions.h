#pragma once
// Between the component's field and index definitions (TFieldDefs, TIndexDefs) and the
// engine's definition of a table family.

#include <string>
#include <vector>

#include "component/table.h"
#include "format/table_definition.h"
#include "storage/secondary_index.h"

namespace engine {

class CodePage;

// The component's definition of a field of a table header (name in UTF-8).
TFieldDef FieldDefOf(const FieldInfo& field, const CodePage& codePage);

// The component's definition of a secondary index of table `table`: field names in UTF-8,
// separated by ";"; options from its flags (descending when any field descends).
TIndexDef IndexDefOf(const SecondaryDef& index, const TableHeader& table);

// Index definitions of a table: the primary index first when the table has a key, then its
// secondary indexes.
std::vector<TIndexDef> IndexDefsOf(const TableHeader& table, const std::vector<SecondaryIndex>& secondaries);

// Definition of a new table from the component's definitions. level/blockBytes 0 = defaults
// (level 4 raised as the types and indexes need, 2048-byte blocks raised as the records need).
// Language driver "ascii" with code page 437. Raises with a German message naming `path` for
// what the format cannot hold.
TableDefinition DefinitionFromDefs(const TFieldDefs& fieldDefs, const TIndexDefs& indexDefs,
                                   int level, int blockBytes, const std::string& path);

}  // namespace engine
