#include "io/whole_file_reads.h"

#include <algorithm>
#include <cstring>

#include "io/engine_error.h"
#include "io/fail.h"

namespace engine {

namespace {

class FileInMemory : public File {
 public:
  FileInMemory(std::string path, std::vector<uint8_t> bytes) : path_(std::move(path)), bytes_(std::move(bytes)) {}

  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    if (offset >= bytes_.size()) return 0;
    const size_t got = std::min<size_t>(n, bytes_.size() - static_cast<size_t>(offset));
    std::memcpy(dst, bytes_.data() + offset, got);
    return got;
  }
  void WriteAt(uint64_t, const void*, size_t) override { Fail(kErrIo, path_, "Die Datei ist nur zum Lesen geöffnet."); }
  void Truncate(uint64_t) override { Fail(kErrIo, path_, "Die Datei ist nur zum Lesen geöffnet."); }
  void Sync() override {}

 private:
  std::string path_;
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::vector<uint8_t> AllBytes(const File& file) {
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

std::unique_ptr<File> WholeFileReads::Open(const std::string& path, OpenMode mode) {
  std::unique_ptr<File> file = Base().Open(path, mode);
  if (mode != OpenMode::ReadOnly || file->Size() > maxBytes_) return file;
  return std::make_unique<FileInMemory>(file->Path(), AllBytes(*file));
}

}  // namespace engine
