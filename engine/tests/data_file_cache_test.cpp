// Row access through the data file's block cache when the table has many more blocks than the
// cache holds: rows read in any order, whole blocks and rows after a dropped cache all give the
// stored records, and the chain walk at open reads consecutive blocks in few large reads. The
// walk's read window gives the right bytes across jumps, window ends and the end of the file.

#include <gtest/gtest.h>

#include <random>

#include "component/bulk_table.h"
#include "format/value_codec.h"
#include "io/file_system.h"
#include "storage/chain_window.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

constexpr int kRecords = 5000;

// A table of kRecords records with 1 KiB blocks; record i holds i + 1 and a text naming it.
std::string WriteTable(const std::string& dir) {
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Name", ftString, 40, false});
  TIndexDefs indexes;
  const TBulkRowSource source = [next = 0](TBulkRow& row) mutable {
    if (next == kRecords) return false;
    row.SetInteger(0, next + 1);
    row.SetString(1, "Satz " + std::to_string(next));
    ++next;
    return true;
  };
  CreateTableInBulk(DefaultFileSystem(), dir, "CACHE.DB", fields, indexes, 1024, source);
  return dir + "CACHE.DB";
}

int32_t NumberOf(const uint8_t* record) { return DecodeIntValue(record, 4); }

TEST(DataFileCache, RowsInAnyOrderThroughACacheSmallerThanTheTable) {
  testsupport::TempDir dir;
  const std::string path = WriteTable(dir.Path());
  testsupport::FaultFileSystem fs(DefaultFileSystem());
  DataFile data(fs.Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path), 0);  // 8 blocks
  ASSERT_EQ(data.RecordCount(), static_cast<uint32_t>(kRecords));
  ASSERT_GT(data.Blocks().size(), 100u);
  // Blocks written one after the other are walked in a handful of reads, not one per block.
  EXPECT_LT(fs.Count(testsupport::FaultKind::Read), static_cast<int>(data.Blocks().size()) / 10);

  std::mt19937 random(3);
  for (int k = 0; k < 20000; ++k) {
    const uint32_t row = random() % kRecords;
    ASSERT_EQ(NumberOf(data.Record(row)), static_cast<int32_t>(row + 1)) << "row " << row;
    if (k % 97 == 0) {
      const size_t block = random() % data.Blocks().size();
      const BlockEntry& e = data.Blocks()[block];
      const uint8_t* records = data.BlockRecords(block);
      const uint32_t last = e.count - 1;
      ASSERT_EQ(NumberOf(records + last * data.Header().recordSize), static_cast<int32_t>(e.firstRow + last + 1));
    }
    if (k % 1000 == 0) data.DropCache();
  }
  // Forwards and backwards in order, crossing every block boundary.
  for (uint32_t row = 0; row < kRecords; ++row) ASSERT_EQ(NumberOf(data.Record(row)), static_cast<int32_t>(row + 1));
  for (uint32_t row = kRecords; row-- > 0;) ASSERT_EQ(NumberOf(data.Record(row)), static_cast<int32_t>(row + 1));
}

TEST(ChainWindow, BytesAcrossJumpsWindowEndsAndTheEndOfTheFile) {
  constexpr size_t kBlock = 1024;
  constexpr size_t kBlocks = 300;  // more than the largest window
  testsupport::TempDir dir;
  std::vector<uint8_t> bytes(kBlocks * kBlock - 100);  // the last block is cut
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / kBlock);
  testsupport::WriteBytes(dir.Path() + "KETTE.DB", bytes);
  testsupport::FaultFileSystem fs(DefaultFileSystem());
  const auto file = fs.Open(dir.Path() + "KETTE.DB", OpenMode::ReadOnly);
  ChainWindow window(*file, bytes.size(), kBlock);
  auto expect = [&](size_t block, size_t n) {
    const uint8_t* got = window.At(block * kBlock, n);
    for (size_t k = 0; k < n; ++k) {
      const size_t at = block * kBlock + k;
      ASSERT_EQ(got[k], at < bytes.size() ? bytes[at] : 0) << "block " << block << " byte " << k;
    }
  };
  for (size_t b = 0; b < kBlocks; ++b) expect(b, 80);  // in order, through growing windows
  EXPECT_LT(fs.Count(testsupport::FaultKind::Read), 12);
  for (const size_t b : {150u, 3u, 4u, 299u, 298u, 0u, 1u, 2u}) expect(b, 80);  // jumps and short reads
  expect(299, kBlock);  // a whole block beyond the end of the file reads as zeros past it
}

}  // namespace
}  // namespace engine
