#pragma once
// Whether a tree file (.PX over a .DB, .Ynn/.YGn over an .Xnn/.XGn) still describes the data
// file it indexes: its root and levels readable, one level-1 entry per data block in chain
// order with the block's number, record count and first key, every upper entry counting the
// records below it, and the header's entry count right.

#include <cstddef>
#include <string>
#include <vector>

#include "io/table_problem.h"
#include "storage/data_file.h"

namespace engine {

class FileSystem;

// Appends to `problems` what is wrong with the tree at `treePath` over the data file whose blocks
// in chain order are `blocks` (DataFile::Blocks) and whose records begin with `keyBytes` key
// bytes; `firstKeys` holds those bytes of the first record of each of the blocks. The first
// disagreement of the level-1 entries is named; a stale tree usually disagrees everywhere after it.
void CheckTree(FileSystem& fs, const std::string& treePath, const std::vector<BlockEntry>& blocks,
               const std::vector<std::string>& firstKeys, size_t keyBytes, std::vector<TableProblem>& problems);

}  // namespace engine
