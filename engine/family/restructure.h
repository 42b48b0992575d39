#pragma once
// Rebuilding a table in place with another block size or table level, and copying a table to
// a new one. Both read the source along its block chain (its key order), keep every record,
// blob and auto-increment value, and write the target family beside its final place before
// swapping it in (family_swap.h): on any failure the table that was there stays as it was.

#include <string>

#include "family/family_writer.h"
#include "format/table_format.h"
#include "io/progress.h"

namespace engine {

class FileSystem;

// Rebuilds `dir` + `tableName` in the new format. The table must not be open anywhere (an
// exclusive lock is taken) nor be in use by another program (RefuseForeignUse). Raises
// EDBEngineError with a German message, changing nothing, when the format cannot hold the table
// (e.g. level 4 with 16 KiB blocks, a type the level lacks) or the table is encrypted,
// write-protected or damaged.
void RestructureTableFiles(FileSystem& fs, const std::string& dir, const std::string& tableName,
                           const TableFormat& format, const ProgressFn& progress = {});

// For tables whose language driver does not order text by byte value: the order of each
// maintained secondary index of `dir` + `tableName` (whose definition is `def`), as its records'
// primary keys; an index file that cannot be read gives an empty order (sort anew).
KeptOrders SourceOrders(FileSystem& fs, const std::string& dir, const std::string& tableName,
                        const TableDefinition& def);

// Creates `destDir` + `destName` with the source's fields, key, secondary indexes, language
// driver and code page, replacing an existing table of that name with all its companion files,
// and copies every record (unless `empty`) with its auto-increment value; the counter goes on
// from the source's. The format defaults to the source's level and block size, raised to what
// the fields need. Refuses to copy a table onto itself, and to replace a table that another
// program uses (RefuseForeignUse).
void CopyTableFiles(FileSystem& fs, const std::string& srcDir, const std::string& srcName,
                    const std::string& destDir, const std::string& destName, bool empty,
                    const TableFormat& format, const ProgressFn& progress = {});

}  // namespace engine
