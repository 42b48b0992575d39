#pragma once
// The one way in to a table for every command: take its lock, then settle a commit or roll back a
// post that a killed process left half done (family_swap.h), before anything looks at the
// table's files. A table whose .DB a killed commit had renamed away is there again afterwards,
// and no reader sees a family half put in place.

#include <memory>
#include <string>

#include "io/file_system.h"

namespace engine {

// Locks table `dbName` in `dir` (shared or exclusive, as FileSystem::Lock) and finishes or undoes
// an interrupted commit or post of it. A reader that finds leftovers takes the table exclusively
// for the recovery first when it can. Raises EDBEngineError(kErrLocked) when the table is held
// elsewhere, or when an interrupted change remains that this reader cannot settle (another
// process holds the table); a writer at work between two posts leaves nothing to settle.
std::unique_ptr<TableLock> LockTableSettled(FileSystem& fs, const std::string& dir, const std::string& dbName,
                                            bool exclusive);

// Settles the interrupted commits of every table in `dir` that no other process holds (one
// that is held may be a commit under way; its holder settles it), so that a listing of the
// directory's tables finds each of them whole. Raises when the directory cannot be read.
void SettleTablesIn(FileSystem& fs, const std::string& dir);

}  // namespace engine
