// Block numbers of a data or index file are 16 bits: a bulk write that would need a 65536th
// block must stop with an error instead of numbering on from 0 and writing far past the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "io/engine_error.h"
#include "io/file_system.h"
#include "storage/index_builder.h"

namespace {

// A file that keeps only how far the writes reached.
class ReachFile : public engine::File {
 public:
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return end_; }
  size_t ReadAt(uint64_t, void*, size_t) const override { return 0; }
  void WriteAt(uint64_t offset, const void*, size_t n) override { end_ = std::max(end_, offset + n); }
  void Truncate(uint64_t size) override { end_ = size; }
  void Sync() override {}

 private:
  std::string path_ = "/mem/GROSS.DB";
  uint64_t end_ = 0;
};

TEST(BulkBlockLimit, TheBlockAfterTheLastNumberIsRefused) {
  constexpr uint32_t kBlockBytes = 1024;
  constexpr uint32_t kHeaderBytes = 2048;
  const std::vector<uint8_t> record(600, 'x');  // one record per block
  ReachFile file;
  engine::BulkBlockWriter blocks(file, static_cast<uint16_t>(record.size()), kBlockBytes, kHeaderBytes);
  for (uint32_t n = 1; n <= 0xFFFF; ++n) ASSERT_EQ(blocks.Add(record.data()), n);
  try {
    blocks.Add(record.data());
    FAIL() << "a 65536th block was handed out";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrUnsupported);
    EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos) << e.what();
  }
  EXPECT_LE(file.Size(), kHeaderBytes + uint64_t{0xFFFF} * kBlockBytes);
}

}  // namespace
