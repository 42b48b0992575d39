#pragma once
// The way in for the whole-table commands that take a table's path: its folder and its file
// name as on disk (matched ignoring case), with the table's lock held.

#include <memory>
#include <string>

#include "io/file_system.h"

namespace engine {

struct LockedTable {
  std::string dir;   // ending in "/"; "./" for a bare file name
  std::string name;  // the .DB's name as on disk
  std::unique_ptr<TableLock> lock;
};

// Locks the table at `path` (shared or exclusive) and settles a commit a killed process left
// half done (table_access.h). Raises EDBEngineError: kErrLocked when the table is held
// elsewhere, kErrFileNotFound naming the file when there is no such table.
LockedTable LockTableAt(FileSystem& fs, const std::string& path, bool exclusive);

}  // namespace engine
