// Secondary index files written by a copy, a restructure and the upkeep after posts follow what
// every real index file does: a case-insensitive index holds its alpha values upper-cased (real
// indexes zakazky.XG0, AREACODES.XG0, testtab.XG0); a non-maintained index leads back to its
// records by record number, block and byte offset in the block, and stays non-maintained in a
// table with key (TypSammlung.X02/.X0C).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/table.h"
#include "family/restructure.h"
#include "format/index_block.h"
#include "io/names.h"
#include "testsupport/chain_records.h"
#include "testsupport/family_checks.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"

namespace {

namespace fx = testsupport::fixtures;
using testsupport::ChainRecords;
using testsupport::ExpectMaintainedEntries;
using testsupport::ExpectTupleEntries;
using testsupport::MemoryFileSystem;

constexpr char kDir[] = "/mem/";

// The entries of an index file without their last field (the block number of a maintained
// index, which a new block layout changes).
std::vector<std::string> EntriesWithoutBlock(MemoryFileSystem& fs, const std::string& x) {
  std::vector<std::string> entries = ChainRecords(fs, x);
  for (std::string& e : entries) e.resize(e.size() - engine::idx::kLastFieldBytes);
  return entries;
}

TEST(WriteIndexConventions, CaseInsensitiveIndexesHoldUpperCasedValuesAsTheSourcesDo) {
  SKIP_WITHOUT_FIXTURES();
  // zakazky.db (3,968 index values the table holds in lower case), AREACODES.DB and testtab.DB:
  // the three real tables with a case-insensitive index (.XG0), all written upper-cased.
  struct Case {
    std::filesystem::path table;
    bool lowerCaseInTable;
  };
  for (const Case& c : {Case{fx::LargeWithSecondaryIndex(), true}, Case{fx::BlockSize16K(), false},
                        Case{fx::AllFieldTypes(), false}}) {
    SCOPED_TRACE(c.table.filename().string());
    MemoryFileSystem fs;
    testsupport::LoadTableFromDisk(fs, c.table, kDir);
    const std::string name = c.table.filename().string();
    const std::string base = engine::BaseNameOf(name);
    const std::string x = testsupport::PathIgnoringCase(fs, kDir + base + ".XG0");
    ASSERT_FALSE(x.empty());
    const int foldedInSource = ExpectMaintainedEntries(fs, kDir + name, x);
    EXPECT_EQ(foldedInSource > 0, c.lowerCaseInTable) << foldedInSource;
    const auto source = EntriesWithoutBlock(fs, x);

    engine::CopyTableFiles(fs, kDir, name, kDir, "KOPIE.DB", false, {});
    EXPECT_EQ(ExpectMaintainedEntries(fs, "/mem/KOPIE.DB", "/mem/KOPIE.XG0"), foldedInSource);
    EXPECT_TRUE(EntriesWithoutBlock(fs, "/mem/KOPIE.XG0") == source);

    engine::RestructureTableFiles(fs, kDir, name, {0, 4096});
    EXPECT_EQ(ExpectMaintainedEntries(fs, kDir + name, x), foldedInSource);
    EXPECT_TRUE(EntriesWithoutBlock(fs, x) == source);
  }
}

TEST(WriteIndexConventions, PostsKeepCaseInsensitiveEntriesUpperCased) {
  // A new table in code page 437 (letters outside ASCII folded by the code page: ü → Ü is
  // 0x81 → 0x9A), changed by posts entry by entry, and a real one (AREACODES.DB, index "ste").
  MemoryFileSystem fs;
  engine::TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName("NAMEN.DB");
  t.FieldDefs().Add({"Nr", engine::ftInteger, 0, false});
  t.FieldDefs().Add({"Name", engine::ftString, 20, false});
  t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
  t.IndexDefs().Add({"NameOhneFall", "Name", "", engine::ixCaseInsensitive});
  t.CreateTable();
  t.Open();
  const char* names[] = {"m\xC3\xBCller", "Meier", "schmidt", "\xC3\xA4rger", "zoe"};
  for (int i = 0; i < 5; ++i) {
    t.Append();
    t.Fields(0).SetAsInteger(i + 1);
    t.Fields(1).SetAsString(names[i]);
    t.Post();
  }
  t.MoveTo(2);
  t.Edit();
  t.Fields(1).SetAsString("kleiner");
  t.Post();
  t.MoveTo(0);
  t.Delete();
  t.Close();
  EXPECT_EQ(ExpectMaintainedEntries(fs, "/mem/NAMEN.DB", "/mem/NAMEN.XG0"), 4);
  const auto entries = ChainRecords(fs, "/mem/NAMEN.XG0");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries.back().substr(0, 6), std::string("\x8E" "RGER\0", 6));  // binary order: Ä after Z

  SKIP_WITHOUT_FIXTURES();
  testsupport::LoadTableFromDisk(fs, fx::BlockSize16K(), kDir);
  engine::TTable a;
  a.SetFileSystem(&fs);
  a.SetDatabaseName(kDir);
  a.SetTableName("AREACODES.DB");
  a.Open();
  for (int row : {0, 100, 369}) {
    a.MoveTo(row);
    a.Edit();
    a.FieldByName("State").SetAsString("tx");
    a.Post();
  }
  a.Close();
  EXPECT_EQ(ExpectMaintainedEntries(fs, "/mem/AREACODES.DB", "/mem/AREACODES.XG0"), 3);
}

TEST(WriteIndexConventions, NonMaintainedIndexesGiveByteOffsetsAndStayNonMaintained) {
  SKIP_WITHOUT_FIXTURES();
  // TypSammlung.DB: a table with key whose indexes X02 and X0C are non-maintained; its 366-byte
  // records lie at offsets 0, 366, 732, ... of their block. Its X0C is stale (older than the
  // records' order, as a non-maintained index may be), its X02 current.
  MemoryFileSystem fs;
  testsupport::LoadTableFromDisk(fs, fx::AllFieldTypesLevel7(), kDir);
  const std::string db = "/mem/TypSammlung.DB";
  const std::vector<std::string> indexes = {"/mem/TypSammlung.X02", "/mem/TypSammlung.X0C"};
  const auto source02 = ChainRecords(fs, indexes[0]);
  ExpectTupleEntries(fs, db, indexes[0]);

  // Rebuilt with the same blocks, the current index is written byte for byte as the source's.
  engine::RestructureTableFiles(fs, kDir, "TypSammlung.DB", {});
  EXPECT_TRUE(ChainRecords(fs, indexes[0]) == source02);
  for (const std::string& x : indexes) ExpectTupleEntries(fs, db, x);

  // Posts that split the block rebuild both of the same kind, with records at every offset.
  engine::TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName("TypSammlung.DB");
  t.Open();
  for (int i = 0; i < 9; ++i) {
    t.Append();
    t.Fields(0).SetAsString("Neu " + std::to_string(i));
    t.Fields(1).SetAsInteger(i);
    t.Fields(11).SetAsInteger(100 + i);
    t.Post();
  }
  t.MoveTo(1);
  t.Delete();
  t.Close();
  ASSERT_GT(testsupport::FileHeader(fs, db).usedBlocks, 1);
  for (const std::string& x : indexes) ExpectTupleEntries(fs, db, x);

  engine::RestructureTableFiles(fs, kDir, "TypSammlung.DB", {0, 4096});
  for (const std::string& x : indexes) ExpectTupleEntries(fs, db, x);
  engine::CopyTableFiles(fs, kDir, "TypSammlung.DB", kDir, "KOPIE.DB", false, {0, 2048});
  for (const char* x : {"/mem/KOPIE.X02", "/mem/KOPIE.X0C"}) ExpectTupleEntries(fs, "/mem/KOPIE.DB", x);
}

TEST(WriteIndexConventions, IndexOfATableWithoutKeyGivesByteOffsets) {
  // A table without key over many 1 KiB blocks: every entry finds its record at its offset.
  MemoryFileSystem fs;
  engine::TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName("LISTE.DB");
  t.FieldDefs().Add({"Wert", engine::ftInteger, 0, false});
  t.FieldDefs().Add({"Text", engine::ftString, 90, false});
  t.IndexDefs().Add({"Text", "Text", "", 0});
  t.SetCreateBlockSize(1024);
  t.CreateTable();
  t.Open();
  for (int i = 0; i < 40; ++i) {
    t.Append();
    t.Fields(0).SetAsInteger(i);
    t.Fields(1).SetAsString("Zeile " + std::to_string((i * 17) % 40));
    t.Post();
  }
  t.Close();
  ExpectTupleEntries(fs, "/mem/LISTE.DB", "/mem/LISTE.X02");
  engine::RestructureTableFiles(fs, kDir, "LISTE.DB", {0, 2048});
  ExpectTupleEntries(fs, "/mem/LISTE.DB", "/mem/LISTE.X02");
}

}  // namespace
