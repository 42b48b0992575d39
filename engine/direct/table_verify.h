#pragma once
// Checking tables without changing them: the header against the file and the block chain, every
// record, the primary and secondary indexes against the data, the blob references into the .MB,
// the code page; and, for a directory, companion files that belong to no table.

#include <string>
#include <vector>

#include "io/progress.h"
#include "io/table_problem.h"

namespace engine {

class FileSystem;

struct TableReport {
  std::string table;                  // path of the .DB (or of a stray companion file)
  std::vector<TableProblem> problems;  // empty: the table is sound
};

// Checks the table at `path` (a .DB, its name matched ignoring case). Damage goes into the
// report; raises EDBEngineError with a German message when the check cannot run: the table is
// missing, held exclusively elsewhere or password-protected. `progress` gets records checked.
TableReport VerifyTable(FileSystem& fs, const std::string& path, const ProgressFn& progress = {});

// The .DB files of `dir` (any letter case), sorted by name. Raises when `dir` cannot be listed.
std::vector<std::string> TableFilesIn(FileSystem& fs, const std::string& dir);

// Companion files in `dir` (.PX, .MB, .Xnn, .Ynn, .XGn, .YGn, .VAL) whose table is not there,
// each as a report with one problem.
std::vector<TableReport> StrayCompanionFiles(FileSystem& fs, const std::string& dir);

}  // namespace engine
