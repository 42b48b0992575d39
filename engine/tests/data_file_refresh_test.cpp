// A data file that takes over a writer's commits (Refresh) reads every row as a data file opened
// anew on the changed file does, in any order: after changes in the middle of the chain, at its
// end, deletes that empty or merge blocks, a table that grows or shrinks many times over, and a
// chain whose walk had not finished when the change came.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "component/bulk_table.h"
#include "format/value_codec.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "storage/record_writer.h"
#include "testsupport/memory_file_system.h"

namespace engine {
namespace {

const std::string kPath = "/mem/STUFEN.DB";

// STUFEN.DB of `records` records with 1 KiB blocks (22 a block), record i holding i + 1.
void WriteNumbered(FileSystem& fs, int records) {
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Name", ftString, 40, false});
  const TBulkRowSource source = [records, next = 0](TBulkRow& row) mutable {
    if (next == records) return false;
    row.SetInteger(0, next + 1);
    row.SetString(1, "Satz " + std::to_string(next));
    ++next;
    return true;
  };
  CreateTableInBulk(fs, "/mem/", "STUFEN.DB", fields, TIndexDefs(), 1024, source);
}

class DataFileRefresh : public testing::Test {
 protected:
  DataFileRefresh() { WriteNumbered(fs_, 3000); }

  DataFile Open(DataAccess access) {
    return DataFile(fs_.Open(kPath, OpenMode::ReadOnly), ReadTableHeader(fs_, kPath), DataFile::kCacheBytes, access);
  }

  // A record numbered `n` in the table's layout.
  std::vector<uint8_t> Numbered(int32_t n) {
    std::vector<uint8_t> record(ReadTableHeader(fs_, kPath).recordSize, 0);
    EncodeIntValue(n, record.data(), 4);
    return record;
  }

  // Commits `w` and hands the change to `data` as the table cursor does.
  static void Commit(RecordWriter& w, DataFile& data) {
    w.Commit();
    const RecordWriter::CommittedChain change = w.LastCommit();
    data.Refresh(w.Header(), change.keptRows, change.tail, change.written);
  }

  // Leaves `keep` records in each of the chain's blocks 60 to 69.
  static void ThinBlocks(RecordWriter& w, uint32_t keep) {
    const std::vector<BlockEntry> blocks = w.Blocks();
    for (size_t i = 70; i-- > 60;)
      for (uint32_t k = keep; k < blocks[i].count; ++k) w.Remove(blocks[i].firstRow);
  }

  // Every row of `data`, read in random order, against a data file opened anew.
  void ExpectAsFresh(DataFile& data, const std::string& when) {
    SCOPED_TRACE(when);
    DataFile fresh = Open(DataAccess::kWhole);
    ASSERT_EQ(data.RecordCount(), fresh.RecordCount());
    std::vector<uint32_t> rows(fresh.RecordCount());
    std::iota(rows.begin(), rows.end(), 0u);
    std::shuffle(rows.begin(), rows.end(), random_);
    const size_t size = fresh.Header().recordSize;
    for (uint32_t row : rows) {
      const std::vector<uint8_t> expected(fresh.Record(row), fresh.Record(row) + size);
      ASSERT_EQ(std::memcmp(data.Record(row), expected.data(), size), 0) << "row " << row;
    }
  }

  testsupport::MemoryFileSystem fs_;
  std::mt19937 random_{7};
};

TEST_F(DataFileRefresh, ChangesInTheMiddleAtTheEndAndDeletesReadAsAFreshFile) {
  DataFile data = Open(DataAccess::kBrowse);
  ASSERT_EQ(data.RecordCount(), 3000u);
  RecordWriter w(fs_, kPath, &data);
  const std::vector<std::pair<std::string, std::function<void()>>> changes = {
      {"a record changed in place", [&] { w.Replace(1500, Numbered(-1).data()); }},
      {"a full block split in the middle", [&] { w.Insert(700, Numbered(-2).data()); }},
      {"the split block filled again", [&] {
         for (int k = 0; k < 10; ++k) w.Insert(700, Numbered(-4 - k).data());
       }},
      {"appended blocks", [&] {
         for (int k = 0; k < 50; ++k) w.Insert(w.Count(), Numbered(10000 + k).data());
       }},
      {"blocks emptied and merged in the middle", [&] {
         for (int k = 0; k < 90; ++k) w.Remove(1200);
       }},
      // Ten blocks down to 6 records each, then merged in pairs: more blocks leave the chain
      // than the rows that go would fill.
      {"blocks thinned in the middle", [&] { ThinBlocks(w, 6); }},
      {"thinned blocks merged", [&] { ThinBlocks(w, 5); }},
      {"rows removed at the end", [&] {
         for (int k = 0; k < 30; ++k) w.Remove(w.Count() - 1);
       }},
      {"the first block emptied", [&] {
         for (int k = 0; k < 22; ++k) w.Remove(0);
       }},
      {"a record inserted before the first", [&] { w.Insert(0, Numbered(-3).data()); }},
  };
  for (const auto& [what, change] : changes) {
    change();
    Commit(w, data);
    ExpectAsFresh(data, what);
  }
}

TEST_F(DataFileRefresh, ATableGrowingAndShrinkingManyTimesOverReadsAsAFreshFile) {
  fs_.Remove(kPath);
  WriteNumbered(fs_, 3);
  DataFile data = Open(DataAccess::kBrowse);
  ASSERT_EQ(data.RecordCount(), 3u);
  RecordWriter w(fs_, kPath, &data);
  for (int round = 0; round < 40; ++round) {
    for (int k = 0; k < 100; ++k) w.Insert(static_cast<uint32_t>(random_() % (w.Count() + 1)), Numbered(k).data());
    Commit(w, data);
    ExpectAsFresh(data, "grown in round " + std::to_string(round));
  }
  for (int round = 0; round < 39; ++round) {
    for (int k = 0; k < 100; ++k) w.Remove(static_cast<uint32_t>(random_() % w.Count()));
    Commit(w, data);
    ExpectAsFresh(data, "shrunk in round " + std::to_string(round));
  }
  // Two changes taken over before the next read: ten rows into the first block with room for
  // them (the rows after it move, the blocks do not), then one at the end.
  const std::vector<BlockEntry> blocks = w.Blocks();
  const auto roomy = std::find_if(blocks.begin(), blocks.end(), [](const BlockEntry& b) { return b.count <= 12; });
  ASSERT_NE(roomy, blocks.end());
  for (int k = 0; k < 10; ++k) w.Insert(roomy->firstRow, Numbered(-k).data());
  Commit(w, data);
  w.Insert(w.Count(), Numbered(-20).data());
  Commit(w, data);
  ExpectAsFresh(data, "two changes in a row");
}

TEST_F(DataFileRefresh, AChangeToAChainNotWalkedToItsEndReadsAsAFreshFile) {
  DataFile data = Open(DataAccess::kBrowse);
  ASSERT_TRUE(data.HasRecord(10));  // walks only the first block
  ASSERT_FALSE(data.Walked());
  RecordWriter w(fs_, kPath);
  w.Insert(w.Count(), Numbered(-1).data());
  w.Insert(1000, Numbered(-2).data());
  Commit(w, data);
  ExpectAsFresh(data, "a change after the rows walked");

  DataFile early = Open(DataAccess::kBrowse);
  ASSERT_TRUE(early.HasRecord(10));
  ASSERT_FALSE(early.Walked());
  w.Insert(0, Numbered(-3).data());  // the chain from its first block on is the writer's
  Commit(w, early);
  ExpectAsFresh(early, "a change in the first block");
  w.Remove(2000);
  Commit(w, early);
  ExpectAsFresh(early, "a later change after the walk the first one gave");
}

}  // namespace
}  // namespace engine
