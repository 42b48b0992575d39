#pragma once
// The operating system's lock on a table, for the other processes: a non-blocking flock() on the
// lock file <BASE>.~kblock beside the table. The lock file keeps its name while a commit renames
// the family's files (family_swap.h); a lock on the .DB itself would stay with the old file when
// that is renamed away and admit the next process to a family half put in place. The lock file
// is made on first need, also for a table that does not exist yet (the target of a copy), and
// its last holder removes it. In a directory this user may not write no lock file can be made,
// but no commit can rename anything there either: there the .DB itself is locked, so that tables
// in read-only directories still open. flock locks belong to an open file description, so a
// process keeps one descriptor per table (TableLockRegistry admits its further holders).

#include <memory>
#include <string>

#include "io/file_system.h"

namespace engine {

// The held lock of the table whose .DB is at `path`; null when neither a lock file nor the .DB
// can be opened, or the file system offers no locks (then only the process's own registry
// guards the table). Raises EDBEngineError(kErrLocked) when another process holds the table.
std::unique_ptr<TableLock> LockTableFile(const std::string& path, bool exclusive);

}  // namespace engine
