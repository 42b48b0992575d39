#pragma once
// A file system that reads a file opened read-only through it in one go, when it is no larger
// than a limit, and serves every read of that file from memory: for a check that reads a small
// file in many small pieces (a .MB looked up once per blob field). Larger files and every other
// call go to the file system below. Meant for files that nobody changes meanwhile (a table held
// by a lock).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/forwarding_file_system.h"

namespace engine {

// Every byte of `file`, read in one go.
std::vector<uint8_t> AllBytes(const File& file);

class WholeFileReads : public ForwardingFileSystem {
 public:
  WholeFileReads(FileSystem& base, uint64_t maxBytes) : ForwardingFileSystem(base), maxBytes_(maxBytes) {}

  // The file at `path`, in memory when opened read-only and at most maxBytes long. It keeps
  // its bytes itself: it may outlive this object.
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;

 private:
  uint64_t maxBytes_;
};

}  // namespace engine
