#pragma once
// The content and modification time of every file in a folder, to show that work left them
// exactly as they were.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct FileState {
  std::vector<uint8_t> bytes;
  int64_t modifiedNanoseconds = 0;
  bool operator==(const FileState& other) const {
    return bytes == other.bytes && modifiedNanoseconds == other.modifiedNanoseconds;
  }
};

// The regular files of `dir` by name; names ending in `skipSuffix` (when given) are left out.
std::map<std::string, FileState> SnapshotDir(const std::string& dir, const std::string& skipSuffix = "");

}  // namespace testsupport
