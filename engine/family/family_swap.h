#pragma once
// Replacing the files of a table family as one step. New files are written beside the old ones
// under temporary names (final name + NewFilesSuffix(), temporary_names.h). Commit then
//   1. renames every old family file to its final name + kOldSuffix and the writer's tag,
//   2. renames every new file to its final name,
//   3. removes the old files,
// making each phase durable with a directory sync. A failure in phases 1–2 puts the old files
// back. A failed sync in phase 3 is raised although the new family is in place; the commit
// list then stays for recovery. A process killed on the way leaves the temporary names behind;
// RecoverTableFamily, run by the next command that touches the table (table_access.h),
// completes phase 3 when every new file is in place and otherwise restores the old family, so
// the table is either wholly old or wholly new. Recovery also rolls back the undo journal of a
// post that a killed process left (post_journal.h).

#include <string>
#include <vector>

#include "family/family_writer.h"
#include "family/temporary_names.h"

namespace engine {

class FileSystem;

// Whether a file extension (in capitals, without the dot) is one of a table family:
// .DB, .PX, .MB, .Xnn, .Ynn, .XGn, .YGn.
bool IsFamilyExtension(const std::string& extUpper);

// Family files of table `dbName` in `dir` as they exist on disk (matched ignoring case):
// the .DB, .PX, .MB and the .Xnn/.Ynn/.XGn/.YGn files; with `allCompanions` also every other
// file of the same base name (.VAL, .TV, .FAM, ...) but the lock files of other programs
// (foreign_locks.h). Names, not paths.
std::vector<std::string> ExistingFamily(FileSystem& fs, const std::string& dir, const std::string& dbName,
                                        bool allCompanions);

// Replaces the family: `replaced` (names in `dir`) go, `written` come in. Raises on failure
// after restoring the old files; the new ones are then removed. Raises also when the swap is
// done but could not be made durable (message saying so); the next recovery completes it.
void CommitFamily(FileSystem& fs, const std::string& dir, const std::vector<std::string>& replaced,
                  const std::vector<WrittenFile>& written);

// Removes the temporary files of `written` (after a failure before the commit).
void DiscardFamily(FileSystem& fs, const std::vector<WrittenFile>& written);

// Whether temporary files of a commit or a post of table `dbName` in `dir` are there, the work
// mark included: a writer is at work (it holds the table) or was killed. Lists the directory only
// when the work mark is there or the .DB is missing.
bool HasCommitLeftovers(FileSystem& fs, const std::string& dir, const std::string& dbName);

// Whether a reader would find the family half changed: temporary files of a commit, or a whole
// journal of a post. A writer's void journal and the work mark alone change nothing.
bool HasUnsettledChanges(FileSystem& fs, const std::string& dir, const std::string& dbName);

// The tables of `dir` with temporary files of a commit or a post, as .DB names (the spelling of a .DB
// among the temporary names where there is one, otherwise the base name with ".DB").
std::vector<std::string> TablesWithCommitLeftovers(FileSystem& fs, const std::string& dir);

// Rolls back an interrupted post and finishes or undoes an interrupted commit of table `dbName`
// in `dir` (see above); commits of several writers are settled each on its own.
void RecoverTableFamily(FileSystem& fs, const std::string& dir, const std::string& dbName);

}  // namespace engine
