// Row access through the data file's block cache when the table has many more blocks than the
// cache holds: rows read in any order, whole blocks and rows after a dropped cache all give the
// stored records, and the chain walk at open reads consecutive blocks in few large reads.

#include <gtest/gtest.h>

#include <random>

#include "component/bulk_table.h"
#include "format/value_codec.h"
#include "io/file_system.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "testsupport/fault_file_system.h"
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

}  // namespace
}  // namespace engine
