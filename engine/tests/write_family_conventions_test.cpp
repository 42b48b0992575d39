// The files of a table family as a copy, a restructure and posts leave them, compared with what
// real tables do: the .MB header lists every free area exactly (all real .MB files do), after
// edits and deletes of blobs too; a rebuilt .MB numbers every value 1; a restructure in place
// keeps the referential-integrity marks of the .DB header (joins/multiple.db, to_multiple.db,
// C.DB) and the letter case of every file name (zakazky.db, fk4.db, multiple.db, Load7.db).

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "component/table.h"
#include "family/restructure.h"
#include "format/blob_block.h"
#include "format/table_header.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/names.h"
#include "testsupport/chain_records.h"
#include "testsupport/family_checks.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/table_files.h"

namespace {

namespace fx = testsupport::fixtures;
using engine::coding::GetU16;
using engine::coding::GetU32;
using testsupport::ExpectExactFreeList;
using testsupport::FileHeader;
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

// The .MB of the table file `table` in kDir.
std::string BlobPath(MemoryFileSystem& fs, const std::string& table) {
  return testsupport::PathIgnoringCase(fs, kDir + engine::BaseNameOf(table) + ".MB");
}

// Every index file of the table `db` leads back to its records as its kind does, and its .MB
// lists its free areas.
void ExpectFamilyConventions(MemoryFileSystem& fs, const std::string& db) {
  const std::string base = engine::BaseNameOf(engine::FileNameOf(db));
  for (const std::string& path : fs.Paths()) {
    const std::string file = engine::FileNameOf(path);
    const std::string ext = engine::UpperAscii(engine::ExtensionOf(file));
    if (!engine::EqualsIgnoringCase(engine::BaseNameOf(file), base) || ext.size() != 3 || ext[0] != 'X') continue;
    const uint8_t kind = FileHeader(fs, path).fileType;
    if (kind == 5 || kind == 8) testsupport::ExpectMaintainedEntries(fs, db, path);
    if (kind == 3 || kind == 6) testsupport::ExpectTupleEntries(fs, db, path);
  }
  const std::string mb = BlobPath(fs, engine::FileNameOf(db));
  if (!mb.empty()) ExpectExactFreeList(fs, mb);
}

TEST(WriteFamilyConventions, EveryCopyAndRestructureOfTheSamplesKeepsTheConventions) {
  SKIP_WITHOUT_FIXTURES();
  // A copy, a restructure to 4 KiB blocks and one to level 7 of every readable sample: index
  // entries and free-space lists as above, and in place the names and marks of the source.
  struct Step {
    bool inPlace;
    engine::TableFormat format;
  };
  int written = 0;
  for (const auto& table : fx::FullyDumped()) {
    const std::string name = table.filename().string();
    SCOPED_TRACE(fx::Relative(table));
    MemoryFileSystem fs;
    testsupport::LoadTableFromDisk(fs, table, kDir);
    const engine::TableHeader source = FileHeader(fs, kDir + name);
    if (source.Encrypted()) continue;
    const std::vector<std::string> before = fs.Paths();
    for (const Step& step : {Step{false, {}}, Step{true, {0, 4096}}, Step{true, {7, 0}}}) {
      const std::string db = step.inPlace ? kDir + name : "/mem/KOPIE.DB";
      try {
        if (step.inPlace)
          engine::RestructureTableFiles(fs, kDir, name, step.format);
        else
          engine::CopyTableFiles(fs, kDir, name, kDir, "KOPIE.DB", false, step.format);
      } catch (const engine::EDBEngineError&) {
        continue;  // a format the table does not fit, or blobs without their .MB: nothing written
      }
      ++written;
      ExpectFamilyConventions(fs, db);
      if (!step.inPlace) continue;
      EXPECT_EQ(FileHeader(fs, db).indexFlags, source.indexFlags);
      EXPECT_EQ(FileHeader(fs, db).unknown6C, source.unknown6C);
      for (const std::string& path : fs.Paths()) {
        for (const std::string& old : before) {
          if (engine::EqualsIgnoringCase(path, old)) {
            EXPECT_EQ(path, old);
          }
        }
      }
    }
  }
  EXPECT_GE(written, 250);
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
    for (const std::string& db : {std::string("/mem/KOPIE.DB"), kDir + name}) {
      const std::string mbPath = BlobPath(fs, engine::FileNameOf(db));
      ASSERT_FALSE(mbPath.empty()) << db;
      ExpectExactFreeList(fs, mbPath);
      const std::string mb = fs.Contents(mbPath);
      EXPECT_EQ(GetU16(Bytes(mb) + engine::mb::kHeaderModCounter), 1) << mbPath;
      // Every value stored in the .MB: number 1 in its record and in its entry.
      const engine::TableHeader h = FileHeader(fs, db);
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
    ASSERT_EQ(FileHeader(fs, db).indexFlags, c.parent);
    ASSERT_EQ(FileHeader(fs, db).unknown6C, c.child);
    for (const engine::TableFormat format : {engine::TableFormat{0, 4096}, engine::TableFormat{7, 0}}) {
      engine::RestructureTableFiles(fs, kDir, c.table, format);
      EXPECT_EQ(FileHeader(fs, db).indexFlags, c.parent);
      EXPECT_EQ(FileHeader(fs, db).unknown6C, c.child);
    }
    engine::CopyTableFiles(fs, kDir, c.table, kDir, "KOPIE.DB", false, {});
    EXPECT_EQ(FileHeader(fs, "/mem/KOPIE.DB").indexFlags, 0);
    EXPECT_EQ(FileHeader(fs, "/mem/KOPIE.DB").unknown6C, 1);
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
