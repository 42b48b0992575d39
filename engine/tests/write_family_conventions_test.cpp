// The files of a table family as a copy, a restructure and posts leave them, compared with what
// real tables do: the .MB header lists every free area exactly (all real .MB files do), after
// edits and deletes of blobs too; a rebuilt .MB numbers every value 1; a restructure in place
// keeps the referential-integrity marks of the .DB header (joins/multiple.db, to_multiple.db,
// C.DB) and the letter case of every file name (zakazky.db, fk4.db, multiple.db, Load7.db).

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "component/table.h"
#include "family/restructure.h"
#include "format/blob_block.h"
#include "format/table_header.h"
#include "io/coding.h"
#include "io/names.h"
#include "testsupport/chain_records.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/table_files.h"

namespace {

namespace fx = testsupport::fixtures;
using engine::coding::GetU16;
using engine::coding::GetU32;
using testsupport::MemoryFileSystem;

constexpr char kDir[] = "/mem/";

std::filesystem::path Sample(const std::string& relative) { return fx::Root() / "tables" / relative; }
std::filesystem::path Joins(const std::string& name) {
  return Sample("leonhad_paradoxdriver/src/test/resources/joins/" + name);
}
std::filesystem::path Mushrooms() { return Sample("celebithil_Rparadox/inst/extdata/mushrooms.db"); }
// Its sub-allocated block has free chunks between used ones.
std::filesystem::path HerculesWithHoles() { return Sample("teverett_paradoxReader/src/test/resources/examples/HERCULES.DB"); }

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

engine::TableHeader HeaderOf(MemoryFileSystem& fs, const std::string& path) {
  const std::string bytes = fs.Contents(path);
  return engine::DecodeTableHeader(Bytes(bytes), bytes.size(), path);
}

// A free area: offset, kind (2 = chunks of a sub-allocated block, 3 = a run of free units) and
// count.
using FreeArea = std::tuple<uint32_t, uint32_t, uint16_t>;

// The free-space list of a .MB header; the bytes after it must be zero.
std::vector<FreeArea> ListedFreeAreas(const std::string& mb) {
  std::vector<FreeArea> areas;
  size_t at = engine::mb::kHeaderFreeList;
  for (; at + engine::mb::kFreeEntryBytes <= engine::mb::kUnit; at += engine::mb::kFreeEntryBytes) {
    const uint32_t word = GetU32(Bytes(mb) + at);
    const uint16_t count = GetU16(Bytes(mb) + at + engine::mb::kFreeEntryCount);
    if (word == 0 && count == 0) break;
    areas.emplace_back(word & ~engine::mb::kRefIndexMask, word & engine::mb::kRefIndexMask, count);
  }
  EXPECT_TRUE(std::all_of(mb.begin() + static_cast<long>(at), mb.begin() + engine::mb::kUnit,
                          [](char c) { return c == 0; }))
      << "bytes after the free-space list";
  return areas;
}

// The free areas a walk over the blocks finds.
std::vector<FreeArea> WalkedFreeAreas(const std::string& mb) {
  using namespace engine::mb;
  std::vector<FreeArea> areas;
  for (size_t offset = kUnit; offset + kBlockHeadBytes <= mb.size();) {
    const uint16_t units = GetU16(Bytes(mb) + offset + kBlockUnits);
    if (units == 0) break;
    if (mb[offset] == kTypeFree) areas.emplace_back(offset, kFreeKindRun, units);
    if (mb[offset] == kTypeSubAllocated) {
      unsigned used = 0;
      for (int s = 0; s < kSlotCount; ++s)
        if (mb[offset + kSlotTable + kSlotSize * static_cast<size_t>(s) + kSlotChunk] != 0)
          used += static_cast<uint8_t>(mb[offset + kSlotTable + kSlotSize * static_cast<size_t>(s) + kSlotChunks]);
      const unsigned free = kChunksPerBlock - kFirstDataChunk - used;
      if (free > 0) areas.emplace_back(offset, kFreeKindSubAllocated, free);
    }
    offset += size_t{units} * kUnit;
  }
  return areas;
}

void ExpectExactFreeList(MemoryFileSystem& fs, const std::string& mbPath) {
  const std::string mb = fs.Contents(mbPath);
  EXPECT_EQ(ListedFreeAreas(mb), WalkedFreeAreas(mb)) << mbPath;
  EXPECT_EQ(mb.size() % engine::mb::kUnit, 0u) << mbPath;
}

// The .MB of the table file `table` loaded into kDir.
std::string BlobPath(MemoryFileSystem& fs, const std::string& table) {
  for (const std::string& path : fs.Paths())
    if (engine::EqualsIgnoringCase(path, kDir + engine::BaseNameOf(table) + ".MB")) return path;
  return "";
}

TEST(WriteFamilyConventions, RealBlobFilesListEveryFreeAreaExactly) {
  SKIP_WITHOUT_FIXTURES();
  // What the checks below hold our files to, as every readable real .MB has it.
  const auto locked = fx::PasswordProtectedTables();
  int checked = 0;
  for (const auto& table : fx::All()) {
    if (std::find(locked.begin(), locked.end(), table) != locked.end()) continue;
    for (const auto& file : testsupport::TableFamily(table)) {
      if (engine::UpperAscii(engine::ExtensionOf(file.filename().string())) != "MB") continue;
      MemoryFileSystem fs;
      testsupport::LoadFromDisk(fs, file.string(), "/mem/X.MB");
      ExpectExactFreeList(fs, "/mem/X.MB");
      ++checked;
    }
  }
  EXPECT_GE(checked, 14);
}

TEST(WriteFamilyConventions, RebuiltBlobFilesListTheirFreeAreasAndNumberEveryValueOne) {
  SKIP_WITHOUT_FIXTURES();
  // mushrooms.db (a free run and a block with free chunks), HERCULES.DB (free chunks between
  // used ones), CUSTOMER.DB, TypSammlung.DB (header counter 2) and graphic.db (a free run).
  for (const auto& table : {Mushrooms(), HerculesWithHoles(), fx::KeyedWithBlobs(), fx::AllFieldTypesLevel7(),
                            fx::KeyedWithGraphic()}) {
    const std::string name = table.filename().string();
    SCOPED_TRACE(name);
    MemoryFileSystem fs;
    testsupport::LoadTableFromDisk(fs, table, kDir);
    engine::CopyTableFiles(fs, kDir, name, kDir, "KOPIE.DB", false, {});
    engine::RestructureTableFiles(fs, kDir, name, {0, 4096});
    for (const std::string db : {std::string("/mem/KOPIE.DB"), kDir + name}) {
      const std::string mbPath = BlobPath(fs, engine::FileNameOf(db));
      ASSERT_FALSE(mbPath.empty()) << db;
      ExpectExactFreeList(fs, mbPath);
      const std::string mb = fs.Contents(mbPath);
      EXPECT_EQ(GetU16(Bytes(mb) + engine::mb::kHeaderModCounter), 1) << mbPath;
      // Every value stored in the .MB: number 1 in its record and in its entry.
      const engine::TableHeader h = HeaderOf(fs, db);
      int stored = 0;
      for (const std::string& record : testsupport::ChainRecords(fs, db)) {
        size_t offset = 0;
        for (const auto& f : h.fields) {
          const size_t bytes = f.RecordBytes();
          offset += bytes;
          if (!engine::IsBlobType(f.type)) continue;
          const uint8_t* desc = Bytes(record) + offset - engine::mb::kDescriptorSize;
          if (GetU32(desc + engine::mb::kDescLength) <= engine::mb::LeaderBytes(bytes)) continue;
          ++stored;
          EXPECT_EQ(GetU16(desc + engine::mb::kDescMod), 1);
          const uint32_t ref = GetU32(desc + engine::mb::kDescRef);
          const size_t at = ref & ~engine::mb::kRefIndexMask;
          const size_t slot = ref & engine::mb::kRefIndexMask;
          const size_t mod = slot == engine::mb::kRefSingle
                                 ? at + engine::mb::kSingleMod
                                 : at + engine::mb::kSlotTable + engine::mb::kSlotSize * slot + engine::mb::kSlotMod;
          EXPECT_EQ(GetU16(Bytes(mb) + mod), 1) << "entry at " << at;
        }
      }
      EXPECT_GT(stored, 0) << db;
    }
  }
}

TEST(WriteFamilyConventions, EditsAndDeletesOfBlobsKeepTheFreeSpaceListExact) {
  SKIP_WITHOUT_FIXTURES();
  // The real files as they are (HERCULES.DB with free chunks between used ones, mushrooms.db
  // with a free run, CUSTOMER.DB), and a rebuilt CUSTOMER.DB: every post and delete leaves the
  // list exact, small and large values, values that leave the .MB and records that go.
  struct Case {
    std::filesystem::path table;
    const char* field;
    bool rebuildFirst;
  };
  const Case cases[] = {{HerculesWithHoles(), "HTML", false},
                        {Mushrooms(), "Notes", false},
                        {fx::KeyedWithBlobs(), "Comments", false},
                        {fx::KeyedWithBlobs(), "Comments", true}};
  for (const Case& c : cases) {
    const std::string name = c.table.filename().string();
    SCOPED_TRACE(name + (c.rebuildFirst ? " rebuilt" : ""));
    MemoryFileSystem fs;
    testsupport::LoadTableFromDisk(fs, c.table, kDir);
    if (c.rebuildFirst) engine::RestructureTableFiles(fs, kDir, name, {});
    const std::string mbPath = BlobPath(fs, name);
    engine::TTable t;
    t.SetFileSystem(&fs);
    t.SetDatabaseName(kDir);
    t.SetTableName(name);
    t.Open();
    const std::string values[] = {std::string(3000, 'L'), std::string(700, 'm'), "", std::string(40, 'k'),
                                  std::string(5000, 'g')};
    for (int step = 0; step < 10 && t.RecordCount() > 1; ++step) {
      SCOPED_TRACE(step);
      t.MoveTo(step % t.RecordCount());
      if (step % 4 == 3) {
        t.Delete();
      } else {
        t.Edit();
        t.FieldByName(c.field).SetAsString(values[step % 5]);
        t.Post();
      }
      ExpectExactFreeList(fs, mbPath);
    }
    t.Close();
  }
}

TEST(WriteFamilyConventions, RestructureInPlaceKeepsIntegrityMarksACopyDropsThem) {
  SKIP_WITHOUT_FIXTURES();
  // Header bytes 0x55 (2: others refer to the table) and 0x6C (2: it refers to another).
  struct Case {
    const char* table;
    int parent, child;
  };
  for (const Case& c : {Case{"multiple.db", 2, 2}, Case{"to_multiple.db", 2, 1}, Case{"C.DB", 0, 2}}) {
    SCOPED_TRACE(c.table);
    MemoryFileSystem fs;
    testsupport::LoadTableFromDisk(fs, Joins(c.table), kDir);
    const std::string db = kDir + std::string(c.table);
    ASSERT_EQ(HeaderOf(fs, db).indexFlags, c.parent);
    ASSERT_EQ(HeaderOf(fs, db).unknown6C, c.child);
    for (const engine::TableFormat format : {engine::TableFormat{0, 4096}, engine::TableFormat{7, 0}}) {
      engine::RestructureTableFiles(fs, kDir, c.table, format);
      EXPECT_EQ(HeaderOf(fs, db).indexFlags, c.parent);
      EXPECT_EQ(HeaderOf(fs, db).unknown6C, c.child);
    }
    engine::CopyTableFiles(fs, kDir, c.table, kDir, "KOPIE.DB", false, {});
    EXPECT_EQ(HeaderOf(fs, "/mem/KOPIE.DB").indexFlags, 0);
    EXPECT_EQ(HeaderOf(fs, "/mem/KOPIE.DB").unknown6C, 1);
  }
}

TEST(WriteFamilyConventions, RestructureInPlaceKeepsTheLetterCaseOfEveryFileName) {
  SKIP_WITHOUT_FIXTURES();
  // Families whose files differ in case from their .DB: zakazky.db with .PX/.XG0/.YG0,
  // fk4.db with .px and .XG0, multiple.db with .PX/.X02/.Y04, Load7.db with .PX.
  for (const auto& table : {fx::LargeWithSecondaryIndex(), fx::CompositeSecondaryIndex(), Joins("multiple.db"),
                            Sample("WarrenPinnacle_AQUATOX3.1plus/Load7.db")}) {
    const std::string name = table.filename().string();
    SCOPED_TRACE(name);
    MemoryFileSystem fs;
    testsupport::LoadTableFromDisk(fs, table, kDir);
    const std::vector<std::string> before = fs.Paths();
    engine::RestructureTableFiles(fs, kDir, name, {0, 4096});
    EXPECT_EQ(fs.Paths(), before);
    engine::RestructureTableFiles(fs, kDir, name, {7, 0});
    EXPECT_EQ(fs.Paths(), before);
  }
}

TEST(WriteFamilyConventions, NewFilesFollowTheCaseOfTheTableFile) {
  SKIP_WITHOUT_FIXTURES();
  MemoryFileSystem fs;
  testsupport::LoadTableFromDisk(fs, fx::LargeWithSecondaryIndex(), kDir);
  engine::CopyTableFiles(fs, kDir, "zakazky.db", kDir, "kopie.db", false, {});
  engine::CopyTableFiles(fs, kDir, "zakazky.db", kDir, "GROSS.DB", false, {});
  std::set<std::string> written;
  for (const std::string& path : fs.Paths())
    if (path.find("zakazky") == std::string::npos) written.insert(path);
  EXPECT_EQ(written, (std::set<std::string>{"/mem/GROSS.DB", "/mem/GROSS.PX", "/mem/GROSS.XG0", "/mem/GROSS.YG0",
                                            "/mem/kopie.db", "/mem/kopie.px", "/mem/kopie.xg0", "/mem/kopie.yg0"}));
}

}  // namespace
