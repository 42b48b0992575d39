#pragma once
// The number of records that a tree file (.PX, .Ynn/.YGn) says lie below it: the sum of the
// counts in its root's entries. Compared with the table's count it shows a tree left behind
// by changes of the table that did not reach it.

#include <cstdint>
#include <string>

namespace engine {

class FileSystem;

// Records counted by the root of the tree file at `path`; 0 for a tree without blocks. Raises
// EDBEngineError naming the file when its header or root block cannot be read.
uint64_t TreeRecordCount(FileSystem& fs, const std::string& path);

}  // namespace engine
