// A data file opened with a chain that a scan has just walked reads as one that walks it itself.

#include <gtest/gtest.h>

#include "component/bulk_table.h"
#include "format/value_codec.h"
#include "io/file_system.h"
#include "storage/chain_scan.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

TEST(WalkedChain, GivesTheBlocksAndRowsOfAWalk) {
  testsupport::TempDir dir;
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Text", ftString, 40, false});
  const TBulkRowSource source = [next = 0](TBulkRow& row) mutable {
    if (next == 700) return false;
    row.SetInteger(0, ++next);
    row.SetString(1, "Satz " + std::to_string(next));
    return true;
  };
  const TIndexDefs indexes;
  CreateTableInBulk(DefaultFileSystem(), dir.Path(), "KETTE.DB", fields, indexes, 1024, source);
  const std::string path = dir.Path() + "KETTE.DB";
  const TableHeader header = ReadTableHeader(DefaultFileSystem(), path);

  const auto file = DefaultFileSystem().Open(path, OpenMode::ReadOnly);
  const ChainScan scan = ScanChain(*file, header);
  ASSERT_TRUE(scan.problems.empty());
  ASSERT_EQ(scan.counts.size(), scan.chain.size());
  std::vector<std::pair<uint16_t, uint32_t>> chain;
  for (size_t i = 0; i < scan.chain.size(); ++i) chain.emplace_back(scan.chain[i], scan.counts[i]);

  DataFile walked(DefaultFileSystem().Open(path, OpenMode::ReadOnly), header);
  DataFile taken(DefaultFileSystem().Open(path, OpenMode::ReadOnly), header, chain);
  ASSERT_GT(walked.Blocks().size(), 10u);
  ASSERT_EQ(taken.Blocks().size(), walked.Blocks().size());
  for (size_t i = 0; i < walked.Blocks().size(); ++i) {
    EXPECT_EQ(taken.Blocks()[i].block, walked.Blocks()[i].block);
    EXPECT_EQ(taken.Blocks()[i].firstRow, walked.Blocks()[i].firstRow);
    EXPECT_EQ(taken.Blocks()[i].count, walked.Blocks()[i].count);
  }
  EXPECT_EQ(taken.RecordCount(), 700u);
  EXPECT_EQ(taken.ChainRecordCount(), walked.ChainRecordCount());
  EXPECT_EQ(taken.Inconsistency(), walked.Inconsistency());
  EXPECT_EQ(taken.Truncation(), walked.Truncation());
  for (uint32_t row : {0u, 350u, 699u}) EXPECT_EQ(DecodeIntValue(taken.Record(row), 4), static_cast<int32_t>(row + 1));
}

}  // namespace
}  // namespace engine
