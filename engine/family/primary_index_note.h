#pragma once
// Whether a keyed table's primary index (.PX) still describes the table's records.

#include <string>

namespace engine {

class TableCursor;

// A German note when the .PX next to the table counts other records than the table holds or
// cannot be read; empty when it agrees, and for a table without key or without .PX.
std::string PrimaryIndexNote(const TableCursor& cursor);

}  // namespace engine
