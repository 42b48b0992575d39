#pragma once
// Text forms of a whole table for checking and scripting: the normalized dump (field names,
// type tokens, then one TAB-separated line per record in stored order) and a summary of the
// header figures and indexes.

#include <ostream>
#include <string>
#include <vector>

namespace engine {

class FileSystem;

// Writes the table file at `path` in the dump format: values as in the dump of the sample
// tables (ISO dates, %.17g numbers, lowercase hex bytes, blobs as <length>:<FNV-1a 64> or "?"
// when their content cannot be read). Disagreements that were read around (header and block
// chain) go to `notes` when given. Raises EDBEngineError naming the file when the table cannot
// be read.
void DumpTable(FileSystem& fs, const std::string& path, std::ostream& out,
               std::vector<std::string>* notes = nullptr);

// Writes the header figures of the table file at `path`: level, block size, record size,
// field count, record count, key fields, code page, indexes with their fields, and any
// disagreement that was read around. Raises EDBEngineError like DumpTable.
void DescribeTable(FileSystem& fs, const std::string& path, std::ostream& out);

}  // namespace engine
