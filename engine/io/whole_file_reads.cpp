#include "io/whole_file_reads.h"

#include <algorithm>
#include <cstring>

#include "io/engine_error.h"
#include "io/fail.h"
#include "io/large_buffer.h"

namespace engine {

namespace {

// Its bytes in a large buffer: a file of megabytes is read into fresh memory backed by huge pages.
class FileInMemory : public File {
 public:
  explicit FileInMemory(const File& file)
      : path_(file.Path()), bytes_(AllocateLargeBuffer(static_cast<size_t>(file.Size()))) {
    size_ = file.ReadAt(0, bytes_.get(), static_cast<size_t>(file.Size()));
  }

  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    if (offset >= size_) return 0;
    const size_t got = std::min<size_t>(n, size_ - static_cast<size_t>(offset));
    std::memcpy(dst, bytes_.get() + offset, got);
    return got;
  }
  void WriteAt(uint64_t, const void*, size_t) override { Fail(kErrIo, path_, "Die Datei ist nur zum Lesen geöffnet."); }
  void Truncate(uint64_t) override { Fail(kErrIo, path_, "Die Datei ist nur zum Lesen geöffnet."); }
  void Sync() override {}

 private:
  std::string path_;
  LargeBuffer bytes_;
  size_t size_ = 0;
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
  return std::make_unique<FileInMemory>(*file);
}

}  // namespace engine
