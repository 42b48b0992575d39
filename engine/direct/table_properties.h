#pragma once
// Filling the 427-byte table-properties record from a table header.

#include <string>

#include "direct/direct_calls.h"
#include "format/table_header.h"

namespace engine {

// Clears props and fills the table name, the table type "PARADOX", the field count, the record
// size, the table level (3, 4, 5, 7) and the block size in KiB.
void FillCurProps(const TableHeader& header, const std::string& tableName, CURProps& props);

}  // namespace engine
