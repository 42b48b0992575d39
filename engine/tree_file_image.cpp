#include "engine/tree_file_image.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/file_system.h"

namespace engine {

namespace {

// Bytes compared and written as one piece: small enough that one changed entry writes little.
constexpr size_t kPiece = 512;

// A file in memory that collects what the tree writer writes.
class MemoryFile : public File {
 public:
  explicit MemoryFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return bytes.size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    if (offset >= bytes.size()) return 0;
    const size_t got = std::min<size_t>(n, bytes.size() - static_cast<size_t>(offset));
    std::memcpy(dst, bytes.data() + offset, got);
    return got;
  }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    if (bytes.size() < offset + n) bytes.resize(static_cast<size_t>(offset + n), 0);
    std::memcpy(bytes.data() + offset, src, n);
  }
  void Truncate(uint64_t size) override { bytes.resize(static_cast<size_t>(size), 0); }
  void Sync() override {}

  std::vector<uint8_t> bytes;

 private:
  std::string path_;
};

}  // namespace

void TreeFileImage::Write(FileSystem& fs, const std::string& path, const TableHeader& header,
                          const std::vector<TreeEntry>& level1) {
  MemoryFile built(path);
  WriteTreeFile(built, header, level1);
  const std::vector<uint8_t>& next = built.bytes;
  const bool exists = fs.Exists(path);
  auto file = fs.Open(path, exists ? OpenMode::ReadWrite : OpenMode::CreateTruncate);
  if (image_.empty()) {
    file->WriteAt(0, next.data(), next.size());
  } else {
    for (size_t at = 0; at < next.size(); at += kPiece) {
      const size_t n = std::min(kPiece, next.size() - at);
      if (at + n <= image_.size() && std::memcmp(next.data() + at, image_.data() + at, n) == 0) continue;
      file->WriteAt(at, next.data() + at, n);
    }
  }
  if (file->Size() > next.size()) file->Truncate(next.size());
  file->Sync();
  image_ = std::move(built.bytes);
}

}  // namespace engine
