// A bulk block writer hands its 1 MiB pieces to a second thread where the file allows it: the
// file then holds the same bytes as when every piece is written in turn, and a write that fails
// over there is raised to the writer's caller, with the failure text its thread reports.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "storage/index_builder.h"

namespace {

// A file in memory, written from any thread when `anyThread`; its `failAt`th write fails.
class PieceFile : public engine::File {
 public:
  PieceFile(bool anyThread, int failAt = 0) : anyThread_(anyThread), failAt_(failAt) {}
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadAt(uint64_t, void*, size_t) const override { return 0; }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    if (++writes_ == failAt_) engine::Fail(engine::kErrIo, path_, "Schreibfehler: kein Platz");
    if (bytes_.size() < offset + n) bytes_.resize(offset + n);
    std::memcpy(bytes_.data() + offset, src, n);
  }
  void Truncate(uint64_t size) override { bytes_.resize(size); }
  void Sync() override {}
  bool WritableFromAnyThread() const override { return anyThread_; }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string path_ = "/mem/STUECKE.DB";
  bool anyThread_;
  int failAt_;
  int writes_ = 0;
  std::string bytes_;
};

constexpr uint16_t kRecordSize = 100;
constexpr uint32_t kBlockBytes = 1024;  // 10 records a block, 1024 blocks a piece
constexpr uint32_t kHeaderBytes = 2048;

std::vector<uint8_t> RecordOf(uint32_t i) {
  std::vector<uint8_t> r(kRecordSize);
  for (size_t k = 0; k < r.size(); ++k) r[k] = static_cast<uint8_t>(i * 7 + k);
  return r;
}

// Writes `records` records; returns the entries of the blocks.
std::vector<engine::TreeEntry> WriteRecords(engine::File& file, uint32_t records) {
  engine::BulkBlockWriter blocks(file, kRecordSize, kBlockBytes, kHeaderBytes, 4);
  for (uint32_t i = 0; i < records; ++i) blocks.Add(RecordOf(i).data());
  return blocks.Finish(4);
}

TEST(BulkBlockWriter, PiecesWrittenOnASecondThreadGiveTheSameFile) {
  // Part of a piece, exactly one, and several with a part left over.
  for (const uint32_t records : {25u, 10240u, 31000u}) {
    SCOPED_TRACE(records);
    PieceFile inTurn(false), aside(true);
    const auto expected = WriteRecords(inTurn, records);
    const auto entries = WriteRecords(aside, records);
    EXPECT_TRUE(aside.Bytes() == inTurn.Bytes());
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t b = 0; b < entries.size(); ++b) {
      EXPECT_EQ(entries[b].key, expected[b].key) << b;
      EXPECT_EQ(entries[b].child, b + 1);
      EXPECT_EQ(entries[b].count, expected[b].count) << b;
    }
    EXPECT_EQ(inTurn.Size(), kHeaderBytes + uint64_t{(records + 9) / 10} * kBlockBytes);
  }
}

TEST(BulkBlockWriter, AFailedWriteOnTheSecondThreadIsRaisedToTheCaller) {
  for (const int failAt : {1, 2, 4}) {
    SCOPED_TRACE(failAt);
    PieceFile file(true, failAt);
    try {
      WriteRecords(file, 31000);  // four pieces
      FAIL() << "the failed write was not raised";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrIo);
      EXPECT_NE(std::string(e.what()).find("STUECKE.DB"), std::string::npos) << e.what();
    }
    // The text a direct call's caller asks for afterwards is the failure's.
    try {
      engine::Check(engine::kErrIo);
    } catch (const engine::EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find("kein Platz"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
