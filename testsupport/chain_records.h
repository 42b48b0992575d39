#pragma once
// The records of a data or secondary index file of a file system in memory, read along its block
// chain, for checking what was written byte by byte.

#include <string>
#include <vector>

namespace testsupport {

class MemoryFileSystem;

// Records of the file at `path` in chain order (at most one more than its header counts, so that
// a chain that runs on shows).
std::vector<std::string> ChainRecords(MemoryFileSystem& fs, const std::string& path);

}  // namespace testsupport
