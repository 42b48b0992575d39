#pragma once
// Whole-table commands for tools and scripts: the normalized dump, a description of the header
// figures and indexes, copying a table and changing its format. Unlike the direct calls they
// raise EDBEngineError with a German message naming the file.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "format/table_format.h"
#include "io/progress.h"

namespace engine {

class FileSystem;

// What reading a whole table met besides its values, in German lines naming the files.
struct ReadFindings {
  // Disagreements that were read around (header and block chain, stale index): every value
  // was still read.
  std::vector<std::string> notes;
  // Parts whose values could not be read (a missing or damaged .MB, records cut off by the end
  // of the file); empty when every value was read.
  std::vector<std::string> unreadable;
};

// Whether the table file at `path` is password-protected. Its header stays readable: the
// figures and fields of a protected table are described without the password.
bool IsTableProtected(FileSystem& fs, const std::string& path);

// The record count that the header of the table at `path` gives, which a protected table's
// header gives without the password too.
uint32_t HeaderRecordCount(FileSystem& fs, const std::string& path);

// A view of `fs` through which the protected table at `path`, and every table written through
// it (a copy, a table in a new format), is read in clear and stored scrambled with the table's
// key; the commands below take it in place of `fs`. Raises EDBEngineError(kErrPasswordProtected)
// naming the table when `password` (UTF-8) is not its password. nullptr when the table at
// `path` is not protected or `fs` already reads it with its key. A table component given the
// view (SetFileSystem) creates, opens and writes tables protected, without a password of its own.
std::unique_ptr<FileSystem> UnlockedTableFiles(FileSystem& fs, const std::string& path, const std::string& password);

// A view of `fs` through which every table written (a copy) is protected by `password`, taken
// in the code page of the table at `path`, which it reads as well: that table must be
// unprotected or protected by the same password (raises as above otherwise).
std::unique_ptr<FileSystem> ProtectingTableFiles(FileSystem& fs, const std::string& path, const std::string& password);

// Writes the table file at `path` in the dump format: field names, type tokens, then one
// TAB-separated line per record in stored order; values as in the dump of the sample tables
// (ISO dates, %.17g numbers, lowercase hex bytes, blobs as <length>:<FNV-1a 64>), "?" for a
// value that cannot be read. What was read around or not read goes to `findings` when given.
void DumpTable(FileSystem& fs, const std::string& path, std::ostream& out,
               ReadFindings* findings = nullptr);

// Writes the header figures of the table file at `path`: level, block size, record size,
// field count, record count, key fields, code page, indexes with their fields, and any
// disagreement that was read around (also in `findings`). Reads every value, as the dump
// does, to find the parts that cannot be read; they go to `findings` only. A protected table
// says so; when `fs` does not read it with its key, only the figures of its header are given.
void DescribeTable(FileSystem& fs, const std::string& path, std::ostream& out,
                   ReadFindings* findings = nullptr);

// Creates `destDir` + `destName` as a copy of the source table (fields, key, secondary
// indexes, language driver, code page, records unless `empty`, auto-increment counter),
// replacing an existing table of that name with all its companion files. The format defaults
// to the source's level and block size, raised to what the fields need. Refuses to copy a
// table onto itself; on any failure the destination stays as it was.
void CopyTable(FileSystem& fs, const std::string& srcDir, const std::string& srcName, const std::string& destDir,
               const std::string& destName, bool empty, const TableFormat& format, const ProgressFn& progress = {});

// Rebuilds `dir` + `tableName` in place in the new format. The table must not be open
// anywhere. Changes nothing when the format cannot hold the table or the table is encrypted,
// write-protected or damaged.
void ChangeTableFormat(FileSystem& fs, const std::string& dir, const std::string& tableName,
                       const TableFormat& format, const ProgressFn& progress = {});

// Finishes or undoes the changes of tables in the directory `dir` that a killed process left
// half done (a restructure or copy stopped while it swapped the files), so that a listing of
// the directory's .DB files finds every table whole. Tables another process holds are left to
// it. Raises when the directory cannot be read.
void SettleTablesInDirectory(FileSystem& fs, const std::string& dir);

}  // namespace engine
