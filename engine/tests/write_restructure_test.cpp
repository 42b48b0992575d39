// Restructure and copy: every record, blob and index kept in the new format; refusals and
// failures (each change to the disk failed in turn) leave the original byte for byte as it was
// and no temporary file behind; an interrupted swap is finished or undone on the next write.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "family/family_swap.h"
#include "family/restructure.h"
#include "format/data_block.h"
#include "format/table_header.h"
#include "io/engine_error.h"
#include "storage/header_reader.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/table_dump_text.h"

namespace {

using testsupport::FaultFileSystem;
using testsupport::FaultKind;
using testsupport::MemoryFileSystem;
using testsupport::TableDumpText;

constexpr char kDir[] = "/mem/";

class WriteRestructure : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }
  // CUSTOMER: level 7, keyed, memo, secondary index X06/Y06.
  void Load(MemoryFileSystem& fs) { testsupport::LoadTableFromDisk(fs, testsupport::fixtures::KeyedWithBlobs(), kDir); }
};

TEST_F(WriteRestructure, EveryAllowedFormatKeepsTheRecords) {
  MemoryFileSystem original;
  Load(original);
  const std::string expected = TableDumpText("/mem/CUSTOMER.DB", original);
  const std::vector<engine::TableFormat> formats = {{0, 2048}, {0, 4096}, {0, 16384}, {0, 32768},
                                                    {4, 0},    {5, 0},    {7, 4096}};
  for (const auto& format : formats) {
    SCOPED_TRACE(std::to_string(format.level) + "/" + std::to_string(format.blockBytes));
    MemoryFileSystem fs;
    Load(fs);
    if (format.level == 4) {
      // The table has an auto-increment field: level 4 lacks it.
      EXPECT_THROW(engine::RestructureTableFiles(fs, kDir, "CUSTOMER.DB", format), engine::EDBEngineError);
      EXPECT_EQ(fs.Snapshot(), original.Snapshot());
      continue;
    }
    engine::RestructureTableFiles(fs, kDir, "CUSTOMER.DB", format);
    EXPECT_TRUE(TableDumpText("/mem/CUSTOMER.DB", fs) == expected);
    for (const auto& p : fs.Paths()) EXPECT_EQ(p.find('~'), std::string::npos) << p;
  }
}

// Primary keys (after `skip` index bytes) of an index file's records in chain order.
std::vector<std::string> IndexKeys(MemoryFileSystem& fs, const std::string& path, size_t skip, size_t keyBytes) {
  const std::string bytes = fs.Contents(path);
  const auto h = engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path);
  std::vector<std::string> keys;
  for (uint16_t b = h.firstBlock; b != 0;) {
    const size_t offset = h.BlockOffset(b);
    const auto bh = engine::DecodeBlockHeader(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
    for (int i = 0; i < bh.RecordCount(h.recordSize); ++i)
      keys.push_back(bytes.substr(offset + 6 + static_cast<size_t>(i) * h.recordSize + skip, keyBytes));
    if (b == h.lastBlock) break;
    b = bh.next;
  }
  return keys;
}

TEST_F(WriteRestructure, SecondaryOrderOfANonAsciiTableIsKept) {
  // CUSTOMER uses the language driver ANSII850, whose text order is not byte order: its index
  // on City keeps the source's order of records.
  MemoryFileSystem fs;
  Load(fs);
  // Give the index an order that byte order would not produce: its last record first.
  std::string x = fs.Contents("/mem/CUSTOMER.X06");
  const auto h = engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(x.data()), x.size(), "X06");
  const size_t first = h.BlockOffset(1) + 6;
  const size_t last = first + (engine::DecodeBlockHeader(reinterpret_cast<const uint8_t*>(x.data()) + h.BlockOffset(1))
                                   .RecordCount(h.recordSize) - 1) * size_t{h.recordSize};
  const std::string a = x.substr(first, h.recordSize), b = x.substr(last, h.recordSize);
  ASSERT_NE(a.substr(0, 15), b.substr(0, 15));
  x.replace(first, h.recordSize, b);
  x.replace(last, h.recordSize, a);
  fs.Put("/mem/CUSTOMER.X06", x);
  const auto before = IndexKeys(fs, "/mem/CUSTOMER.X06", 15, 4);
  ASSERT_EQ(before.size(), 20u);
  engine::RestructureTableFiles(fs, kDir, "CUSTOMER.DB", {0, 4096});
  EXPECT_EQ(IndexKeys(fs, "/mem/CUSTOMER.X06", 15, 4), before);
}

TEST_F(WriteRestructure, RefusalsChangeNothing) {
  struct Case {
    const char* what;
    engine::TableFormat format;
  };
  const std::vector<Case> cases = {
      {"level 4 with 16 KiB blocks", {4, 16384}},
      {"level 3 lacks memo and auto-increment", {3, 0}},
      {"8 KiB blocks do not exist", {0, 8192}},
      {"records of 394 bytes need three per block", {0, 1024}},
      {"1000 is no block size", {0, 1000}},
      {"level 6 does not exist", {6, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem fs;
    Load(fs);
    const auto before = fs.Snapshot();
    try {
      engine::RestructureTableFiles(fs, kDir, "CUSTOMER.DB", c.format);
      ADD_FAILURE() << "accepted";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find("CUSTOMER.DB"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs.Snapshot(), before);
  }
}

TEST_F(WriteRestructure, FailingEachChangeInTurnLeavesTheOriginalOrTheWholeNewTable) {
  MemoryFileSystem counting;
  Load(counting);
  const auto original = counting.Snapshot();
  const std::string expected = TableDumpText("/mem/CUSTOMER.DB", counting);
  FaultFileSystem counter(counting);
  engine::RestructureTableFiles(counter, kDir, "CUSTOMER.DB", {0, 4096});
  const int changes = counter.Count(FaultKind::Mutation);
  ASSERT_GT(changes, 10);
  for (int n = 1; n <= changes; ++n) {
    SCOPED_TRACE("failing change " + std::to_string(n));
    MemoryFileSystem fs;
    Load(fs);
    FaultFileSystem faulty(fs);
    faulty.FailNth(FaultKind::Mutation, n);
    bool failed = false;
    bool swapped = false;  // the failure says that the new files are in place
    try {
      engine::RestructureTableFiles(faulty, kDir, "CUSTOMER.DB", {0, 4096});
    } catch (const engine::EDBEngineError& e) {
      failed = true;
      swapped = std::string(e.what()).find("wurden ersetzt") != std::string::npos;
    }
    EXPECT_TRUE(faulty.Fired());
    if (failed && !swapped) {
      EXPECT_EQ(fs.Snapshot(), original);
    } else {
      // Only the clean-up after the swap failed, or making it durable: the next write finishes it.
      engine::RecoverTableFamily(fs, kDir, "CUSTOMER.DB");
      for (const auto& p : fs.Paths()) EXPECT_EQ(p.find('~'), std::string::npos) << p;
      EXPECT_TRUE(TableDumpText("/mem/CUSTOMER.DB", fs) == expected);
    }
  }
}

TEST_F(WriteRestructure, FullDiskFromAnyPointLeavesTheOriginal) {
  MemoryFileSystem counting;
  Load(counting);
  const auto original = counting.Snapshot();
  FaultFileSystem counter(counting);
  engine::RestructureTableFiles(counter, kDir, "CUSTOMER.DB", {0, 16384});
  const int writes = counter.Count(FaultKind::Write);
  for (int n = 1; n <= writes; n += 3) {
    SCOPED_TRACE("disk full from write " + std::to_string(n));
    MemoryFileSystem fs;
    Load(fs);
    FaultFileSystem faulty(fs);
    faulty.FailNth(FaultKind::Write, n, true);
    EXPECT_THROW(engine::RestructureTableFiles(faulty, kDir, "CUSTOMER.DB", {0, 16384}), engine::EDBEngineError);
    EXPECT_EQ(fs.Snapshot(), original);
  }
}

TEST_F(WriteRestructure, InterruptedSwapIsFinishedOrUndone) {
  struct Case {
    const char* what;
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> after;
  };
  const std::vector<Case> cases = {
      {"killed while writing the new files",
       {{"T.DB", "old db"}, {"T.PX", "old px"}, {"T.DB.~kbnew", "new db"}},
       {{"T.DB", "old db"}, {"T.PX", "old px"}}},
      {"killed while moving the old files aside",
       {{"T.DB.~kblist", "T.DB\nT.PX\n"}, {"T.DB.~kbold", "old db"}, {"T.PX", "old px"},
        {"T.DB.~kbnew", "new db"}, {"T.PX.~kbnew", "new px"}},
       {{"T.DB", "old db"}, {"T.PX", "old px"}}},
      {"killed while putting the new files in place",
       {{"T.DB.~kblist", "T.DB\nT.MB\n"}, {"T.DB.~kbold", "old db"}, {"T.MB", "new mb"},
        {"T.DB.~kbnew", "new db"}},
       {{"T.DB", "old db"}}},
      {"killed while removing the old files",
       {{"T.DB.~kblist", "T.DB\n"}, {"T.DB.~kbold", "old db"}, {"T.DB", "new db"}},
       {{"T.DB", "new db"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem fs;
    for (const auto& [name, bytes] : c.files) fs.Put(kDir + name, bytes);
    engine::RecoverTableFamily(fs, kDir, "T.DB");
    std::map<std::string, std::string> expected;
    for (const auto& [name, bytes] : c.after) expected[kDir + name] = bytes;
    EXPECT_EQ(fs.Snapshot(), expected);
  }
}

TEST_F(WriteRestructure, CopyKeepsRecordsAndRefusesToOverwriteItsSource) {
  MemoryFileSystem fs;
  Load(fs);
  fs.Put("/mem/out/KOPIE.VAL", "alte Gültigkeitsprüfung");
  fs.Put("/mem/out/kopie.x02", "alter Index");
  engine::CopyTableFiles(fs, kDir, "CUSTOMER.DB", "/mem/out/", "KOPIE.DB", false, {7, 4096});
  std::string expected = TableDumpText("/mem/CUSTOMER.DB", fs);
  EXPECT_EQ(TableDumpText("/mem/out/KOPIE.DB", fs), expected);
  // The old table of that name went with all its companions.
  EXPECT_FALSE(fs.Exists("/mem/out/KOPIE.VAL"));
  EXPECT_FALSE(fs.Exists("/mem/out/kopie.x02"));
  EXPECT_TRUE(fs.Exists("/mem/out/KOPIE.X06"));
  engine::CopyTableFiles(fs, kDir, "CUSTOMER.DB", "/mem/out/", "LEER.DB", true, {});
  std::istringstream lines(TableDumpText("/mem/out/LEER.DB", fs));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) ++count;
  EXPECT_EQ(count, 2);  // names and types only
  EXPECT_THROW(engine::CopyTableFiles(fs, kDir, "CUSTOMER.DB", kDir, "customer.db", false, {}),
               engine::EDBEngineError);
}

TEST_F(WriteRestructure, RecordsCutByTheEndOfTheFileAreRefusedAndAnEndRightAfterThemIsNot) {
  MemoryFileSystem fs;
  Load(fs);
  // A copy has its chain in file order: the end of the file then cuts its last block only.
  engine::CopyTableFiles(fs, kDir, "CUSTOMER.DB", "/mem/src/", "QUELLE.DB", false, {7, 2048});
  const std::string db = fs.Contents("/mem/src/QUELLE.DB");
  const engine::TableHeader h = engine::ReadFileHeader(fs, "/mem/src/QUELLE.DB");
  const uint64_t last = h.BlockOffset(h.lastBlock);
  const auto* head = reinterpret_cast<const uint8_t*>(db.data()) + last;
  const uint64_t recordsEnd =
      last + engine::blk::kHeaderBytes + engine::DecodeBlockHeader(head).RecordCount(h.recordSize) * h.recordSize;
  ASSERT_LT(recordsEnd, db.size());
  const std::string expected = TableDumpText("/mem/CUSTOMER.DB", fs);

  fs.Put("/mem/src/QUELLE.DB", db.substr(0, recordsEnd));
  engine::CopyTableFiles(fs, "/mem/src/", "QUELLE.DB", "/mem/out/", "GANZ.DB", false, {});
  EXPECT_EQ(TableDumpText("/mem/out/GANZ.DB", fs), expected);

  fs.Put("/mem/src/QUELLE.DB", db.substr(0, recordsEnd - 1));
  const auto before = fs.Snapshot();
  EXPECT_THROW(engine::CopyTableFiles(fs, "/mem/src/", "QUELLE.DB", "/mem/out/", "HALB.DB", false, {}),
               engine::EDBEngineError);
  EXPECT_THROW(engine::RestructureTableFiles(fs, "/mem/src/", "QUELLE.DB", {0, 4096}), engine::EDBEngineError);
  EXPECT_EQ(fs.Snapshot(), before);
}

}  // namespace
