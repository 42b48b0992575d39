// A table of 1,000,000 records opens at once, reads rows in any order cheaply and orders itself
// by a secondary index in linear work, both from the index file and by sorting when that file is
// stale. Work is measured in bytes read, not in seconds.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <utility>

#include "component/table.h"
#include "format/data_block.h"
#include "format/table_header.h"
#include "format/value_codec.h"
#include "io/coding.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

constexpr uint32_t kRecords = 1000000;
constexpr uint8_t kBlockKiB = 4;
constexpr size_t kNameBytes = 20;

FieldInfo Field(PxType type, uint8_t size, const std::string& name, uint16_t number) {
  FieldInfo f;
  f.type = type;
  f.size = size;
  f.name = name;
  f.number = number;
  return f;
}

TableHeader BaseHeader(uint8_t fileType, std::vector<FieldInfo> fields, uint16_t keyFields) {
  TableHeader h;
  h.fileType = fileType;
  h.blockSizeKiB = kBlockKiB;
  h.fileVersionId = 12;
  h.encryption1 = 0xFF00FF00u;
  h.codePage = 1252;
  h.sortOrderId = "ascii";
  h.unknown3E[0] = 0x1F;
  h.unknown3E[1] = 0x0F;
  h.unknown56 = 0x20;
  h.primaryKeyFields = keyFields;
  h.primaryIndexWorkspace = 1;
  h.fields = std::move(fields);
  h.hiFieldId = static_cast<uint16_t>(h.fields.size() + 1);
  for (const auto& f : h.fields) h.recordSize = static_cast<uint16_t>(h.recordSize + f.RecordBytes());
  return h;
}

// Writes a file of `header` with `records` (recordSize bytes each) packed into full blocks.
void WriteTableFile(const std::string& path, TableHeader header, const std::vector<uint8_t>& records,
                    std::vector<uint16_t>* blockOfRecord) {
  const uint32_t count = static_cast<uint32_t>(records.size() / header.recordSize);
  const uint32_t perBlock = (header.BlockBytes() - blk::kHeaderBytes) / header.recordSize;
  const uint32_t blocks = (count + perBlock - 1) / perBlock;
  header.numRecords = count;
  header.usedBlocks = header.fileBlocks = header.maxBlocks = static_cast<uint16_t>(blocks);
  header.firstBlock = blocks ? 1 : 0;
  header.lastBlock = static_cast<uint16_t>(blocks);
  std::vector<uint8_t> file = EncodeTableHeader(header);
  const size_t headerBytes = file.size();
  file.resize(headerBytes + static_cast<size_t>(blocks) * header.BlockBytes(), 0);
  for (uint32_t b = 0; b < blocks; ++b) {
    const uint32_t first = b * perBlock;
    const uint32_t n = std::min(perBlock, count - first);
    uint8_t* block = file.data() + headerBytes + static_cast<size_t>(b) * header.BlockBytes();
    BlockHeader bh;
    bh.next = static_cast<uint16_t>(b + 1 < blocks ? b + 2 : 0);
    bh.prev = static_cast<uint16_t>(b);
    bh.lastRecordOffset = BlockHeader::OffsetFor(static_cast<int>(n), header.recordSize);
    EncodeBlockHeader(bh, block);
    std::copy_n(records.data() + static_cast<size_t>(first) * header.recordSize,
                static_cast<size_t>(n) * header.recordSize, block + blk::kHeaderBytes);
    if (blockOfRecord)
      for (uint32_t i = 0; i < n; ++i) blockOfRecord->push_back(static_cast<uint16_t>(b + 1));
  }
  WriteBytes(path, file);
}

std::string NameOf(uint32_t i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Kunde %07u", static_cast<uint32_t>((uint64_t{i} * 7919u + 13u) % kRecords));
  return buf;
}

// BIG.DB: keyed by "Nr" (1..n), with "Name"; BIG.XG0: a maintained index on "Name".
void WriteBigFamily(const std::string& dir) {
  const TableHeader db = BaseHeader(0, {Field(PxType::Long, 4, "Nr", 1), Field(PxType::Alpha, kNameBytes, "Name", 2)}, 1);
  std::vector<uint8_t> records(static_cast<size_t>(kRecords) * db.recordSize, 0);
  for (uint32_t i = 0; i < kRecords; ++i) {
    uint8_t* r = records.data() + static_cast<size_t>(i) * db.recordSize;
    EncodeIntValue(static_cast<int32_t>(i + 1), r, 4);
    const std::string name = NameOf(i);
    std::copy(name.begin(), name.end(), r + 4);
  }
  std::vector<uint16_t> blockOf;
  WriteTableFile(dir + "BIG.DB", db, records, &blockOf);

  TableHeader x = BaseHeader(8, {Field(PxType::Alpha, kNameBytes, "Name", 2), Field(PxType::Long, 4, "Nr", 2),
                                 Field(PxType::Short, 2, "Blk Num", 3)}, 2);
  x.indexFieldNumber = 2;
  x.indexName = "NameIdx";
  // Name of record i is "Kunde " + (i * 7919 + 13) mod n, so the k-th name in order belongs to
  // the record whose number maps to k.
  std::vector<uint32_t> order(kRecords);
  for (uint32_t i = 0; i < kRecords; ++i) order[static_cast<uint32_t>((uint64_t{i} * 7919u + 13u) % kRecords)] = i;
  std::vector<uint8_t> entries(static_cast<size_t>(kRecords) * x.recordSize, 0);
  for (uint32_t k = 0; k < kRecords; ++k) {
    const uint32_t i = order[k];
    uint8_t* e = entries.data() + static_cast<size_t>(k) * x.recordSize;
    const uint8_t* r = records.data() + static_cast<size_t>(i) * db.recordSize;
    std::copy_n(r + 4, kNameBytes, e);
    std::copy_n(r, 4, e + kNameBytes);
    EncodeIntValue(blockOf[i], e + kNameBytes + 4, 2);
  }
  WriteTableFile(dir + "BIG.XG0", x, entries, nullptr);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Counts the bytes read and the reads made through the files it opens, so that the test can
// tell lazy work from work that touches every record.
class ReadCountingFileSystem : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    return std::make_unique<CountingFile>(DefaultFileSystem().Open(path, mode), &bytesRead_, &reads_);
  }
  bool Exists(const std::string& path) override { return DefaultFileSystem().Exists(path); }
  void Remove(const std::string& path) override { DefaultFileSystem().Remove(path); }
  void Rename(const std::string& from, const std::string& to) override { DefaultFileSystem().Rename(from, to); }
  std::vector<std::string> List(const std::string& dir) override { return DefaultFileSystem().List(dir); }
  void SyncDir(const std::string& dir) override { DefaultFileSystem().SyncDir(dir); }
  std::unique_ptr<TableLock> Lock(const std::string& path, bool exclusive) override {
    return DefaultFileSystem().Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override { return DefaultFileSystem().CanonicalPath(path); }
  uint64_t TakeBytesRead() { return std::exchange(bytesRead_, 0); }
  uint64_t TakeReads() { return std::exchange(reads_, 0); }

 private:
  class CountingFile : public File {
   public:
    CountingFile(std::unique_ptr<File> base, uint64_t* counter, uint64_t* reads)
        : base_(std::move(base)), counter_(counter), reads_(reads) {}
    const std::string& Path() const override { return base_->Path(); }
    uint64_t Size() const override { return base_->Size(); }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
      const size_t got = base_->ReadAt(offset, dst, n);
      *counter_ += got;
      ++*reads_;
      return got;
    }
    void WriteAt(uint64_t offset, const void* src, size_t n) override { base_->WriteAt(offset, src, n); }
    void Truncate(uint64_t size) override { base_->Truncate(size); }
    void Sync() override { base_->Sync(); }

   private:
    std::unique_ptr<File> base_;
    uint64_t* counter_;
    uint64_t* reads_;
  };
  uint64_t bytesRead_ = 0;
  uint64_t reads_ = 0;
};

TEST(LargeTable, MillionRecordsOpenLazilyAndOrderInLinearWork) {
  TempDir dir;
  WriteBigFamily(dir.Path());
  const uint64_t dbBytes = ReadBytes(dir.Path() + "BIG.DB").size();
  const uint64_t indexBytes = ReadBytes(dir.Path() + "BIG.XG0").size();
  ReadCountingFileSystem fs;
  TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(dir.Path());
  t.SetTableName("BIG.DB");
  auto start = std::chrono::steady_clock::now();
  t.Open();
  const double open = Seconds(start);
  ASSERT_EQ(t.RecordCount(), static_cast<int>(kRecords));
  // The headers and the chain of consecutive blocks in a few large reads: at most one pass over
  // the data file, and far fewer reads than it has blocks.
  const uint64_t openBytes = fs.TakeBytesRead();
  const uint64_t openReads = fs.TakeReads();
  const uint64_t blocks = dbBytes / (kBlockKiB * 1024);
  EXPECT_LE(openBytes, dbBytes + indexBytes) << "Open read " << openBytes << " of " << dbBytes << " bytes";
  EXPECT_LT(openReads, blocks / 100) << "Open made " << openReads << " reads for " << blocks << " blocks";

  constexpr int kRandomRows = 20000;
  std::mt19937 rng(7);
  start = std::chrono::steady_clock::now();
  for (int k = 0; k < kRandomRows; ++k) {
    const int row = static_cast<int>(rng() % kRecords);
    ASSERT_EQ(t.CellText(row, 0), std::to_string(row + 1));
  }
  const double randomReads = Seconds(start);
  // At most one block per row read.
  EXPECT_LE(fs.TakeBytesRead(), uint64_t{kRandomRows} * kBlockKiB * 1024);

  start = std::chrono::steady_clock::now();
  t.SetIndexName("NameIdx");
  const double fromFile = Seconds(start);
  // One pass over the index file and one over the data file, not one per entry.
  EXPECT_LE(fs.TakeBytesRead(), 2 * (dbBytes + indexBytes));
  EXPECT_EQ(t.CellText(0, 1), "Kunde 0000000");
  EXPECT_EQ(t.CellText(static_cast<int>(kRecords) - 1, 1), "Kunde 0999999");
  fs.TakeBytesRead();
  start = std::chrono::steady_clock::now();
  ASSERT_TRUE(t.FindKey({"Kunde 0500000"}));
  const double findKey = Seconds(start);
  EXPECT_EQ(t.RecNo(), 500000);
  // A binary search: a few dozen blocks, never a scan.
  EXPECT_LE(fs.TakeBytesRead(), uint64_t{64} * kBlockKiB * 1024);

  // A stale index file (one entry fewer in its header) is sorted around.
  t.Close();
  {
    auto bytes = ReadBytes(dir.Path() + "BIG.XG0");
    coding::PutU32(&bytes[hdr::kNumRecords], kRecords - 1);
    WriteBytes(dir.Path() + "BIG.XG0", bytes);
  }
  t.SetIndexName("");
  t.Open();
  fs.TakeBytesRead();
  start = std::chrono::steady_clock::now();
  t.SetIndexName("NameIdx");
  const double sorted = Seconds(start);
  EXPECT_LE(fs.TakeBytesRead(), 2 * (dbBytes + indexBytes));
  EXPECT_EQ(t.CellText(1, 1), "Kunde 0000001");

  // For information only; speed is measured by kerbolt-bench.
  std::printf("[ timing ] open %.3f s, %d random rows %.3f s, index from file %.3f s, by sorting %.3f s, "
              "key search %.3f s\n", open, kRandomRows, randomReads, fromFile, sorted, findKey);
}

}  // namespace
}  // namespace engine
