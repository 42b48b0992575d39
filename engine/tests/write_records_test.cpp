// Records written through the table component: key order across block splits, key violations,
// required fields, auto-increment values, blobs, deletes down to an empty table, and the
// primary and secondary index files kept consistent with the data.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "component/table.h"
#include "format/data_block.h"
#include "format/table_header.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "storage/blob_file.h"
#include "testsupport/memory_file_system.h"

namespace {

using engine::TTable;

constexpr char kDir[] = "/mem/";

engine::TableHeader HeaderOf(testsupport::MemoryFileSystem& fs, const std::string& path) {
  const std::string bytes = fs.Contents(path);
  return engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path);
}

// Level-1 entries of a PX/Y file (one level deep is enough for these tables): key bytes and
// the data block each names.
std::vector<std::pair<std::string, uint16_t>> TreeEntries(testsupport::MemoryFileSystem& fs, const std::string& path) {
  const engine::TableHeader h = HeaderOf(fs, path);
  const std::string bytes = fs.Contents(path);
  std::vector<std::pair<std::string, uint16_t>> out;
  if (h.numIndexLevels != 1) return out;
  const auto* block = reinterpret_cast<const uint8_t*>(bytes.data()) + h.BlockOffset(h.indexRoot);
  const int n = engine::DecodeBlockHeader(block).RecordCount(h.recordSize);
  for (int i = 0; i < n; ++i) {
    const uint8_t* rec = block + 6 + i * h.recordSize;
    out.push_back({std::string(reinterpret_cast<const char*>(rec), h.recordSize - 6u),
                   static_cast<uint16_t>(engine::coding::DecodeFlippedInt(rec + h.recordSize - 6, 2))});
  }
  return out;
}

// Data blocks of a file in chain order with the first record's leading `keyBytes`.
std::vector<std::pair<std::string, uint16_t>> ChainFirstKeys(testsupport::MemoryFileSystem& fs,
                                                            const std::string& path, size_t keyBytes) {
  const engine::TableHeader h = HeaderOf(fs, path);
  const std::string bytes = fs.Contents(path);
  std::vector<std::pair<std::string, uint16_t>> out;
  for (uint16_t b = h.firstBlock; b != 0;) {
    const auto* block = reinterpret_cast<const uint8_t*>(bytes.data()) + h.BlockOffset(b);
    out.push_back({std::string(reinterpret_cast<const char*>(block + 6), keyBytes), b});
    b = engine::DecodeBlockHeader(block).next;
  }
  return out;
}

class WriteRecords : public ::testing::Test {
 protected:
  void CreateCustomers(int blockBytes = 1024) {
    TTable t;
    t.SetFileSystem(&fs);
    t.SetDatabaseName(kDir);
    t.SetTableName("KUNDEN.DB");
    t.FieldDefs().Add({"Nr", engine::ftAutoInc, 0, false});
    t.FieldDefs().Add({"Name", engine::ftString, 120, true});
    t.FieldDefs().Add({"Ort", engine::ftString, 30, false});
    t.FieldDefs().Add({"Notiz", engine::ftMemo, 20, false});
    t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
    t.IndexDefs().Add({"Name", "Name", "", 0});
    t.IndexDefs().Add({"OrtName", "Ort;Name", "", engine::ixCaseInsensitive});
    t.SetCreateBlockSize(blockBytes);
    t.CreateTable();
  }
  // Points the component at the table `name` in the memory file system.
  void Name(TTable& t, const char* name) {
    t.SetFileSystem(&fs);
    t.SetDatabaseName(kDir);
    t.SetTableName(name);
  }
  void OpenTable(TTable& t, const char* name = "KUNDEN.DB") {
    Name(t, name);
    t.Open();
  }
  // Creates and opens LISTE.DB, a table without key of one 200-byte text field in 1 KiB blocks
  // (five records per block), holding `count` records "A0", "A1", ...
  void CreateList(TTable& t, int count) {
    Name(t, "LISTE.DB");
    t.FieldDefs().Add({"Text", engine::ftString, 200, false});
    t.SetCreateBlockSize(1024);
    t.CreateTable();
    t.Open();
    for (int i = 0; i < count; ++i) {
      t.Append();
      t.Fields(0).SetAsString("A" + std::to_string(i));
      t.Post();
    }
  }
  // Appends the customers 1..count, named R1, R2, ...
  static void AppendCustomers(TTable& t, int count) {
    for (int i = 1; i <= count; ++i) {
      t.Append();
      t.Fields(0).SetAsInteger(i);
      t.Fields(1).SetAsString("R" + std::to_string(i));
      t.Post();
    }
  }
  // Appends a record whose second field is "neu" and posts it: the code of the error that
  // refused the post with its message (the post cancelled then), or kOk.
  static std::pair<uint16_t, std::string> PostNewCustomer(TTable& t) {
    t.Append();
    t.Fields(1).SetAsString("neu");
    try {
      t.Post();
      return {engine::kOk, ""};
    } catch (const engine::EDBEngineError& e) {
      t.Cancel();
      return {e.ErrorCode(), e.what()};
    }
  }
  // Checks that the PX names every data block with its first key, in chain order.
  void ExpectPrimaryIndexMatchesBlocks() {
    const engine::TableHeader db = HeaderOf(fs, "/mem/KUNDEN.DB");
    const auto chain = ChainFirstKeys(fs, "/mem/KUNDEN.DB", db.KeyBytes());
    EXPECT_EQ(TreeEntries(fs, "/mem/KUNDEN.PX"), chain);
    EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.PX").stamp2C, db.changeCount1);
  }
  testsupport::MemoryFileSystem fs;
};

TEST_F(WriteRecords, CreateGivesLevelFiveFamilyWithEveryIndexFile) {
  CreateCustomers();
  for (const char* name : {"KUNDEN.DB", "KUNDEN.PX", "KUNDEN.MB", "KUNDEN.X02", "KUNDEN.Y02", "KUNDEN.XG0", "KUNDEN.YG0"})
    EXPECT_TRUE(fs.Exists(std::string(kDir) + name)) << name;
  const engine::TableHeader h = HeaderOf(fs, "/mem/KUNDEN.DB");
  EXPECT_EQ(h.fileVersionId, 11);  // the auto-increment field needs level 5
  EXPECT_EQ(h.blockSizeKiB, 1);
  EXPECT_EQ(h.sortOrderId, "ascii");
  EXPECT_EQ(h.codePage, 437);
  EXPECT_EQ(h.unknown3E[0], 0x1F);
  EXPECT_EQ(h.unknown56, 0x20);
  EXPECT_NE(h.primaryIndexWorkspace, 0u);
  EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.XG0").indexFlags, 0x01);
  EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.XG0").indexName, "OrtName");
  EXPECT_EQ(fs.Contents("/mem/KUNDEN.DB").size(), h.headerSize);
}

TEST_F(WriteRecords, KeyOrderHoldsAcrossBlockSplitsAndIndexesFollow) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  // 120-byte names put 5 records in a 1 KiB block; keys arrive out of order.
  std::vector<int> keys;
  for (int i = 0; i < 60; ++i) keys.push_back((i * 37) % 60 + 1);
  for (int k : keys) {
    t.Append();
    t.Fields(0).SetAsInteger(k);
    t.Fields(1).SetAsString("Name " + std::to_string(100 - k));
    t.Fields(2).SetAsString(k % 2 ? "berlin" : "Bonn");
    t.Post();
  }
  ASSERT_EQ(t.RecordCount(), 60);
  t.First();
  for (int expect = 1; !t.Eof(); ++expect, t.Next()) EXPECT_EQ(t.Fields(0).AsInteger(), expect);
  ExpectPrimaryIndexMatchesBlocks();
  EXPECT_GT(HeaderOf(fs, "/mem/KUNDEN.DB").usedBlocks, 12);
  // The secondary index over Name orders by name, its Y names its blocks.
  EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.X02").numRecords, 60u);
  const auto xChain = ChainFirstKeys(fs, "/mem/KUNDEN.X02", HeaderOf(fs, "/mem/KUNDEN.X02").recordSize - 2u);
  EXPECT_EQ(TreeEntries(fs, "/mem/KUNDEN.Y02"), xChain);
  t.SetIndexName("Name");
  t.First();
  EXPECT_EQ(t.Fields(1).AsString(), "Name 40");
  t.SetIndexName("OrtName");
  t.First();
  EXPECT_EQ(t.Fields(2).AsString(), "berlin");  // case-insensitive: "berlin" before "Bonn"
  // The auto-increment counter went up to the highest value given.
  EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.DB").autoInc, 60u);
}

TEST_F(WriteRecords, KeyViolationsAndRequiredFieldsAreRefusedAndChangeNothing) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  // Required flags live in the component's field definitions (no validity file is written).
  std::vector<engine::TFieldDef> defs = t.FieldDefs().Items();
  defs[1].Required = true;
  t.FieldDefs().Clear();
  for (const auto& d : defs) t.FieldDefs().Add(d);
  t.Append();
  t.Fields(0).SetAsInteger(7);
  t.Fields(1).SetAsString("Erster");
  t.Post();
  const std::string before = fs.Contents("/mem/KUNDEN.DB");
  struct Case {
    const char* what;
    int key;
    const char* name;
    uint16_t code;
  };
  const std::vector<Case> cases = {
      {"duplicate key", 7, "Zweiter", engine::kErrKeyViolation},
      {"required name empty", 8, "", engine::kErrRequired},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.Append();
    t.Fields(0).SetAsInteger(c.key);
    t.Fields(1).SetAsString(c.name);
    try {
      t.Post();
      ADD_FAILURE() << "accepted";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_NE(std::string(e.what()).find("KUNDEN.DB"), std::string::npos) << e.what();
    }
    EXPECT_EQ(t.State(), engine::TDataSetState::dsInsert);
    t.Cancel();
    EXPECT_TRUE(fs.Contents("/mem/KUNDEN.DB") == before);
  }
  // Changing a key onto another record's key is refused as well.
  t.Append();
  t.Fields(0).SetAsInteger(9);
  t.Fields(1).SetAsString("Dritter");
  t.Post();
  t.First();
  t.Edit();
  t.Fields(0).SetAsInteger(9);
  EXPECT_THROW(t.Post(), engine::EDBEngineError);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST_F(WriteRecords, AutoIncrementCountsOnAndIsNeverReused) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  for (int i = 0; i < 3; ++i) {
    t.Append();
    t.Fields(1).SetAsString("N" + std::to_string(i));
    t.Post();
    EXPECT_EQ(t.Fields(0).AsInteger(), i + 1);
  }
  t.Last();
  t.Delete();
  t.Append();
  t.Fields(1).SetAsString("nach dem Löschen");
  t.Post();
  EXPECT_EQ(t.Fields(0).AsInteger(), 4);
  EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.DB").autoInc, 4u);
}

TEST_F(WriteRecords, MemosGoToTheBlobFileAndAreFreedOnChangeAndDelete) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  const std::string longText(3000, 'x');
  t.Append();
  t.Fields(1).SetAsString("Memo");
  t.Fields(3).SetAsString(longText);
  t.Post();
  EXPECT_EQ(t.Fields(3).AsString(), longText);
  const size_t withLong = fs.Contents("/mem/KUNDEN.MB").size();
  EXPECT_EQ(withLong, 4096u * 2);
  t.Edit();
  t.Fields(3).SetAsString("kurz");
  t.Post();
  EXPECT_EQ(t.Fields(3).AsString(), "kurz");
  EXPECT_EQ(fs.Contents("/mem/KUNDEN.MB").size(), 4096u);  // the old value's block went away
  t.Edit();
  t.Fields(3).SetAsString(std::string(500, 'y'));
  t.Post();
  EXPECT_EQ(fs.Contents("/mem/KUNDEN.MB").size(), 4096u * 2);
  t.Delete();
  EXPECT_EQ(fs.Contents("/mem/KUNDEN.MB").size(), 4096u);
}

TEST_F(WriteRecords, NoNewBlobFileBesideRecordsThatReferToALostOne) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  t.Append();
  t.Fields(1).SetAsString("Memo");
  t.Fields(3).SetAsString(std::string(100, 'm'));
  t.Post();
  t.Close();
  fs.Remove("/mem/KUNDEN.MB");
  OpenTable(t);
  t.Append();
  t.Fields(1).SetAsString("Neu");
  t.Fields(3).SetAsString(std::string(100, 'n'));
  try {
    t.Post();
    ADD_FAILURE() << "posted";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrBlobMissing);
  }
  EXPECT_FALSE(fs.Exists("/mem/KUNDEN.MB"));
  // Values that fit in the record need no .MB.
  t.Fields(3).SetAsString("kurz");
  t.Post();
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST_F(WriteRecords, DeletingEverythingLeavesAnEmptyConsistentTable) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  AppendCustomers(t, 23);
  // Delete from the middle, from the front and the back until nothing is left.
  t.MoveTo(10);
  while (t.RecordCount() > 0) {
    t.Delete();
    if (t.RecordCount() > 0) {
      EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.DB").numRecords, static_cast<uint32_t>(t.RecordCount()));
      ExpectPrimaryIndexMatchesBlocks();
    }
    if (t.RecordCount() % 3 == 0) t.First();
  }
  const engine::TableHeader h = HeaderOf(fs, "/mem/KUNDEN.DB");
  EXPECT_EQ(h.numRecords, 0u);
  EXPECT_EQ(h.fileBlocks, 0);
  EXPECT_EQ(h.firstBlock, 0);
  EXPECT_EQ(fs.Contents("/mem/KUNDEN.DB").size(), h.headerSize);
  EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.X02").numRecords, 0u);
  try {
    t.Delete();
    ADD_FAILURE() << "delete on an empty table";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrEmptyDataSet);
  }
}

TEST_F(WriteRecords, FreedBlocksAreReusedBeforeTheFileGrows) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  for (int i = 1; i <= 20; ++i) {
    t.Append();
    t.Fields(0).SetAsInteger(i);
    t.Fields(1).SetAsString("R");
    t.Post();
  }
  const uint16_t blocks = HeaderOf(fs, "/mem/KUNDEN.DB").fileBlocks;
  // Empty the second block (rows 5..9): it goes to the free list.
  t.MoveTo(5);
  for (int i = 0; i < 5; ++i) t.Delete();
  EXPECT_NE(HeaderOf(fs, "/mem/KUNDEN.DB").firstFreeBlock, 0);
  for (int i = 21; i <= 25; ++i) {
    t.Append();
    t.Fields(0).SetAsInteger(i);
    t.Fields(1).SetAsString("R");
    t.Post();
  }
  EXPECT_EQ(HeaderOf(fs, "/mem/KUNDEN.DB").fileBlocks, blocks);
  ExpectPrimaryIndexMatchesBlocks();
}

// A data or secondary index file whose header lies about its free blocks is not written: the
// post is refused naming the file and no file changes. A free list that joins the block chain
// or loops would link a chain block twice; one that leaves the file, or a block count past the
// file's end, would write past the file.
TEST_F(WriteRecords, FilesWhoseHeaderLiesAboutFreeBlocksAreNotWritten) {
  using engine::coding::PutU16;
  struct Lie {
    const char* what;
    const char* file;
    // Patches the file's bytes, given its header; the second block is the only free one.
    std::function<void(uint8_t* bytes, const engine::TableHeader& h)> patch;
  };
  const std::vector<Lie> lies = {
      {"head in the chain", "/mem/KUNDEN.DB", [](uint8_t* b, const auto&) { PutU16(b + 0x4D, 1); }},
      {"head past the last block", "/mem/KUNDEN.DB",
       [](uint8_t* b, const auto& h) { PutU16(b + 0x4D, static_cast<uint16_t>(h.fileBlocks + 1)); }},
      {"head far past the file", "/mem/KUNDEN.DB", [](uint8_t* b, const auto&) { PutU16(b + 0x4D, 0xFFFF); }},
      {"next link into the chain", "/mem/KUNDEN.DB", [](uint8_t* b, const auto& h) { PutU16(b + h.BlockOffset(2), 3); }},
      {"next link to itself", "/mem/KUNDEN.DB", [](uint8_t* b, const auto& h) { PutU16(b + h.BlockOffset(2), 2); }},
      {"block count past the file", "/mem/KUNDEN.DB",
       [](uint8_t* b, const auto&) {
         PutU16(b + 0x4D, 0);
         PutU16(b + 0x0C, 60000);
         PutU16(b + 0x3A, 60000);
       }},
      {"index head in its chain", "/mem/KUNDEN.X02", [](uint8_t* b, const auto&) { PutU16(b + 0x4D, 1); }},
  };
  for (const Lie& lie : lies) {
    SCOPED_TRACE(lie.what);
    CreateCustomers();
    {
      TTable t;
      OpenTable(t);
      AppendCustomers(t, 20);
      t.MoveTo(5);
      for (int i = 0; i < 5; ++i) t.Delete();  // the second block goes to the free list
    }
    ASSERT_EQ(HeaderOf(fs, "/mem/KUNDEN.DB").firstFreeBlock, 2);
    std::string bytes = fs.Contents(lie.file);
    lie.patch(reinterpret_cast<uint8_t*>(bytes.data()), HeaderOf(fs, lie.file));
    fs.Put(lie.file, bytes);
    const std::string db = fs.Contents("/mem/KUNDEN.DB");
    const std::string x = fs.Contents("/mem/KUNDEN.X02");
    TTable t;
    OpenTable(t);
    EXPECT_EQ(t.RecordCount(), 15);
    const auto [code, message] = PostNewCustomer(t);
    EXPECT_EQ(code, engine::kErrCorrupt) << message;
    EXPECT_NE(message.find(lie.file), std::string::npos) << message;
    EXPECT_TRUE(fs.Contents("/mem/KUNDEN.DB") == db);
    EXPECT_TRUE(fs.Contents("/mem/KUNDEN.X02") == x);
  }
}

// An index file whose records are longer than its blocks (a damaged block size) is refused
// before a change, instead of a record being written past its block.
TEST_F(WriteRecords, IndexFileWhoseRecordsExceedItsBlocksIsNotWritten) {
  {
    TTable t;
    Name(t, "LANG.DB");
    t.FieldDefs().Add({"Nr", engine::ftAutoInc, 0, false});
    for (const char* name : {"A", "B", "C", "D"}) t.FieldDefs().Add({name, engine::ftString, 255, false});
    t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
    t.IndexDefs().Add({"Lang", "A;B;C;D", "", 0});
    t.SetCreateBlockSize(4096);
    t.CreateTable();
  }
  std::string x = fs.Contents("/mem/LANG.XG0");
  ASSERT_GT(HeaderOf(fs, "/mem/LANG.XG0").recordSize, 1024 - 6);
  x[0x05] = 1;  // 1 KiB blocks
  fs.Put("/mem/LANG.XG0", x);
  const std::string db = fs.Contents("/mem/LANG.DB");
  TTable t;
  OpenTable(t, "LANG.DB");
  const auto [code, message] = PostNewCustomer(t);
  EXPECT_EQ(code, engine::kErrCorrupt) << message;
  EXPECT_NE(message.find("/mem/LANG.XG0"), std::string::npos) << message;
  EXPECT_TRUE(fs.Contents("/mem/LANG.DB") == db);
  EXPECT_TRUE(fs.Contents("/mem/LANG.XG0") == x);
}

TEST_F(WriteRecords, StatesAndSettlingOnMoves) {
  CreateCustomers();
  TTable t;
  OpenTable(t);
  EXPECT_EQ(t.State(), engine::TDataSetState::dsBrowse);
  t.Append();
  EXPECT_EQ(t.State(), engine::TDataSetState::dsInsert);
  EXPECT_FALSE(t.Modified());
  t.Fields(1).SetAsString("eins");
  EXPECT_TRUE(t.Modified());
  t.First();  // moving posts a changed record
  EXPECT_EQ(t.State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(t.RecordCount(), 1);
  t.Append();
  t.First();  // and cancels an unchanged one
  EXPECT_EQ(t.RecordCount(), 1);
  t.Edit();
  t.Fields(1).SetAsString("zwei");
  t.SetIndexName("Name");
  EXPECT_EQ(t.State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(t.Fields(1).AsString(), "zwei");
  EXPECT_THROW(t.Fields(1).SetAsString("drei"), engine::EDBEngineError);
  t.Append();
  t.Delete();  // in insert state: cancels
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST_F(WriteRecords, RefusesTablesMarkedWriteProtectedOrForRepair) {
  // Header bytes: write protection, and the two "rebuild required" flags.
  for (const size_t flag : {size_t{0x38}, size_t{0x14}, size_t{0x2A}}) {
    SCOPED_TRACE(flag);
    CreateCustomers();
    std::string db = fs.Contents("/mem/KUNDEN.DB");
    db[flag] = 1;
    fs.Put("/mem/KUNDEN.DB", db);
    TTable t;
    OpenTable(t);
    EXPECT_EQ(PostNewCustomer(t).first, engine::kErrUnsupported);
    EXPECT_TRUE(fs.Contents("/mem/KUNDEN.DB") == db);
  }
}

TEST_F(WriteRecords, DuplicateReplaysAutoIncrementValuesWithGaps) {
  // The duplication dialog's way: post an empty record to draw the next counter value, delete
  // and redraw until it reaches the source's value, then fill in the other fields.
  CreateCustomers();
  TTable src;
  OpenTable(src);
  for (int value : {1, 2, 5}) {
    src.Append();
    src.Fields(0).SetAsInteger(value);
    src.Fields(1).SetAsString("Kunde " + std::to_string(value));
    src.Post();
  }
  TTable copy;
  copy.SetFileSystem(&fs);
  copy.SetDatabaseName(kDir);
  copy.SetTableName("COPY.DB");
  copy.FieldDefs().Assign(src.FieldDefs());
  copy.IndexDefs().Assign(src.IndexDefs());
  copy.CreateTable();
  copy.Open();
  for (src.First(); !src.Eof(); src.Next()) {
    copy.Append();
    copy.Post();
    while (copy.Fields(0).AsInteger() < src.Fields(0).AsInteger()) {
      copy.Delete();
      copy.Append();
      copy.Post();
    }
    copy.Edit();
    for (int i = 1; i < src.FieldCount(); ++i) copy.Fields(i).Assign(src.Fields(i));
    copy.Post();
  }
  ASSERT_EQ(copy.RecordCount(), 3);
  std::vector<int> values;
  for (copy.First(); !copy.Eof(); copy.Next()) values.push_back(copy.Fields(0).AsInteger());
  EXPECT_EQ(values, (std::vector<int>{1, 2, 5}));
  copy.Last();
  EXPECT_EQ(copy.Fields(1).AsString(), "Kunde 5");
  EXPECT_EQ(HeaderOf(fs, "/mem/COPY.DB").autoInc, 5u);
}

TEST_F(WriteRecords, InsertPlacesTheRecordAtTheCursorInATableWithoutKey) {
  TTable t;
  CreateList(t, 12);
  t.MoveTo(5);
  t.Insert();
  t.Fields(0).SetAsString("neu");
  t.Post();
  EXPECT_EQ(t.RecNo(), 5);
  std::vector<std::string> texts;
  for (t.First(); !t.Eof(); t.Next()) texts.push_back(t.Fields(0).AsString());
  EXPECT_EQ(texts, (std::vector<std::string>{"A0", "A1", "A2", "A3", "A4", "neu", "A5", "A6", "A7", "A8", "A9",
                                             "A10", "A11"}));
}

// A writer that lost the chain's last block still finds every row: the record appended to the
// block before and then edited is the one that changes.
TEST_F(WriteRecords, RowsAreFoundAfterTheLastBlockLeftTheChain) {
  TTable t;
  CreateList(t, 6);
  t.First();
  t.Delete();    // the first block keeps four
  t.MoveTo(4);
  t.Delete();    // the second block's only record: the block leaves the chain
  t.Append();
  t.Fields(0).SetAsString("neu");
  t.Post();
  t.MoveTo(4);
  t.Edit();
  t.Fields(0).SetAsString("geändert");
  t.Post();
  std::vector<std::string> texts;
  for (t.First(); !t.Eof(); t.Next()) texts.push_back(t.Fields(0).AsString());
  EXPECT_EQ(texts, (std::vector<std::string>{"A1", "A2", "A3", "A4", "geändert"}));
  t.Close();
  TTable again;
  OpenTable(again, "LISTE.DB");
  again.Last();
  EXPECT_EQ(again.Fields(0).AsString(), "geändert");
}

// A unique index of a table without key refuses a value another record holds, and follows
// the changes of the same writer: an edited record gives up its old value, a deleted one its
// own, and a record may keep its value when edited.
TEST_F(WriteRecords, UniqueIndexOfATableWithoutKeyFollowsEditsAndDeletes) {
  TTable t;
  Name(t, "CODES.DB");
  t.FieldDefs().Add({"Code", engine::ftString, 10, false});
  t.FieldDefs().Add({"Text", engine::ftString, 20, false});
  t.IndexDefs().Add({"Code", "Code", "", engine::ixUnique});
  t.SetCreateBlockSize(1024);
  t.CreateTable();
  t.Open();
  const auto post = [&t](const std::string& code) {
    t.Fields(0).SetAsString(code);
    try {
      t.Post();
      return true;
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrKeyViolation);
      EXPECT_NE(std::string(e.what()).find("Code"), std::string::npos) << e.what();
      t.Cancel();
      return false;
    }
  };
  const auto append = [&](const std::string& code) {
    t.Append();
    return post(code);
  };
  const auto edit = [&](int row, const std::string& code) {
    t.MoveTo(row);
    t.Edit();
    return post(code);
  };
  for (const char* code : {"A", "B", "C"}) EXPECT_TRUE(append(code)) << code;
  EXPECT_FALSE(append("B"));
  EXPECT_TRUE(edit(1, "B")) << "a record keeps its own value";
  EXPECT_FALSE(edit(0, "C"));
  EXPECT_TRUE(edit(1, "D"));
  EXPECT_TRUE(append("B")) << "the edited record gave up its old value";
  EXPECT_FALSE(append("D"));
  t.MoveTo(1);
  t.Delete();
  EXPECT_TRUE(append("D")) << "the deleted record gave up its value";
  t.Close();
  // A writer of a table opened anew finds the values already there.
  t.Open();
  EXPECT_FALSE(append("A"));
  EXPECT_EQ(t.RecordCount(), 4);
}

TEST_F(WriteRecords, FieldSettersParseAndRefuseText) {
  TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName("TYPEN.DB");
  t.FieldDefs().Add({"A", engine::ftString, 5, false});
  t.FieldDefs().Add({"S", engine::ftSmallint, 0, false});
  t.FieldDefs().Add({"N", engine::ftFloat, 0, false});
  t.FieldDefs().Add({"D", engine::ftDate, 0, false});
  t.FieldDefs().Add({"L", engine::ftBoolean, 0, false});
  t.FieldDefs().Add({"T", engine::ftTime, 0, false});
  t.FieldDefs().Add({"B", engine::ftBCD, 2, false});
  t.CreateTable();
  t.Open();
  t.Append();
  struct Case {
    int field;
    const char* text;
    bool ok;
    const char* shown;
  };
  const std::vector<Case> cases = {
      {0, "abcde", true, "abcde"}, {0, "abcdef", false, ""},     {1, "-32767", true, "-32767"},
      {1, "32768", false, ""},     {1, "12a", false, ""},        {2, "3,5", true, "3.5"},
      {2, "x", false, ""},         {3, "04.05.1996", true, "04.05.1996"}, {3, "31.02.2020", false, ""},
      {3, "1996-05-04", true, "04.05.1996"}, {4, "Ja", true, "True"}, {4, "vielleicht", false, ""},
      {5, "01:00:01", true, "01:00:01"}, {5, "25:00", false, ""}, {6, "-1,23", true, "-1.23"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.ok) {
      t.Fields(c.field).SetAsString(c.text);
      EXPECT_EQ(t.Fields(c.field).AsString(), c.shown);
    } else {
      EXPECT_THROW(t.Fields(c.field).SetAsString(c.text), engine::EDBEngineError);
    }
  }
  t.Post();
  TTable again;
  again.SetFileSystem(&fs);
  again.SetDatabaseName(kDir);
  again.SetTableName("TYPEN.DB");
  again.Open();
  EXPECT_EQ(again.Fields(3).AsString(), "04.05.1996");
  EXPECT_EQ(again.Fields(6).AsString(), "-1.23");
}

TEST_F(WriteRecords, AssignCopiesValuesAndBlobContentBetweenTables) {
  CreateCustomers();
  TTable src;
  OpenTable(src);
  src.Append();
  src.Fields(1).SetAsString("Quelle");
  src.Fields(3).SetAsString(std::string(2500, 'm'));
  src.Post();
  TTable dst;
  dst.SetFileSystem(&fs);
  dst.SetDatabaseName(kDir);
  dst.SetTableName("ZIEL.DB");
  dst.FieldDefs().Assign(src.FieldDefs());
  dst.IndexDefs().Assign(src.IndexDefs());
  dst.CreateTable();
  dst.Open();
  dst.Append();
  for (int i = 0; i < src.FieldCount(); ++i) dst.Fields(i).Assign(src.Fields(i));
  dst.Post();
  for (int i = 0; i < src.FieldCount(); ++i) EXPECT_EQ(dst.Fields(i).AsString(), src.Fields(i).AsString()) << i;
  EXPECT_TRUE(dst.Fields(2).IsNull());
}

}  // namespace
