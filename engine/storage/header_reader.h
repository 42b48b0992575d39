#pragma once
// Reading the header of a file of a table family (.DB, .PX, .Xnn/.XGn, .Ynn/.YGn) from disk.

#include <string>

#include "format/table_header.h"

namespace engine {

class File;
class FileSystem;

// The decoded header of any family file. Raises EDBEngineError naming the file when it cannot
// be read or is not a Paradox file.
TableHeader ReadFileHeader(FileSystem& fs, const std::string& path);
// The same for a file that is already open at `path`.
TableHeader ReadFileHeader(File& file, const std::string& path);

// Raises EDBEngineError(kErrPasswordProtected) naming the file when `h` is the header of a
// password-protected file that `fs` does not read with its key.
void CheckUnlocked(const FileSystem& fs, const TableHeader& h, const std::string& path);

// The header of a table's data file, checked to be one: not empty, not an index file, not
// shorter than its header, no key fields in a table without key, and readable through `fs`
// when the table is password-protected (CheckUnlocked).
TableHeader ReadTableHeader(FileSystem& fs, const std::string& path);
// The same checks but the key's: for the figures and fields of a table, which a protected
// table keeps in its plain header.
TableHeader ReadTableFigures(FileSystem& fs, const std::string& path);

// The header an index file (.PX, .Xnn/.XGn or .Ynn/.YGn) already has, when it can be read and
// is of the same kind and record layout as `fallback`; `fallback` otherwise. Keeps the stamps
// and counters that other software compares when only part of a family is rewritten.
TableHeader ExistingIndexHeader(FileSystem& fs, const std::string& path, const TableHeader& fallback);

}  // namespace engine
