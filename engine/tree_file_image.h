#pragma once
// A .PX or .Y tree file that a table writer keeps rewriting after its changes: the first write
// writes the whole file, later ones only the parts that differ from the last write (usually
// the header, the root and one leaf), so that a change costs the same on a large table as on
// a small one. The file must not be changed by anyone else in between.
// Not thread-safe.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/index_builder.h"
#include "engine/table_header.h"

namespace engine {

class FileSystem;

class TreeFileImage {
 public:
  // Writes the tree of `header` (fields, block size, stamps) over `level1` to `path`, creating
  // the file when there is none, and flushes it.
  void Write(FileSystem& fs, const std::string& path, const TableHeader& header,
             const std::vector<TreeEntry>& level1);

 private:
  std::vector<uint8_t> image_;  // the file's bytes as last written; empty before the first write
};

}  // namespace engine
