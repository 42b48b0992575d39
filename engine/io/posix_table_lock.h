#pragma once
// The operating system's lock on a table: a non-blocking flock() on the .DB itself, for the
// other processes. flock locks belong to an open file description, so a process keeps one
// descriptor per table (TableLockRegistry admits its further holders). Locking the .DB rather
// than a separate lock file needs no write access to the directory, so tables in read-only
// directories can be opened, and leaves no files behind.

#include <memory>
#include <string>

#include "io/file_system.h"

namespace engine {

// The held lock on the file at `path`; null when the file is not on disk or its file system
// offers no locks (then only the process's own registry guards the table). Raises
// EDBEngineError(kErrLocked) when another process holds the table.
std::unique_ptr<TableLock> LockTableFile(const std::string& path, bool exclusive);

}  // namespace engine
