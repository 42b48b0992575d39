// Rebuilding damaged tables: afterwards the check finds nothing, every record that could be read
// before is still there, what was left out or emptied is listed, the original files lie in the
// backup folder, and a table held elsewhere is not touched.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "direct/table_files.h"
#include "direct/table_rebuild.h"
#include "direct/table_verify.h"
#include "engine/tests/table_damage.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using namespace damage;
using testsupport::CopyTable;
using testsupport::ReadBytes;
using testsupport::TempDir;

// The record lines of a table's dump, sorted; values that cannot be read are "?".
std::vector<std::string> RecordLines(const std::string& path) {
  std::ostringstream out;
  DumpTable(DefaultFileSystem(), path, out);
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  std::string line;
  for (int n = 0; std::getline(in, line); ++n)
    if (n >= 2) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Lines of `before` that are not in `after` (both sorted), counting repeats.
size_t Lost(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::vector<std::string> lost;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(lost));
  return lost.size();
}

struct Case {
  const char* name;
  std::filesystem::path table;
  std::function<void(const std::string& path, const std::string& dir)> damage;
  size_t records;           // records of the rebuilt table
  const char* listed;       // words of a listed line ("" for none)
};

void RebuildAndCheck(const Case& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  const std::string path = CopyTable(c.table, dir.Path());
  c.damage(path, dir.Path());
  std::vector<std::string> before;
  try {
    before = RecordLines(path);
  } catch (const EDBEngineError&) {
    // a chain the engine cannot read: nothing was readable through it
  }
  std::map<std::string, std::vector<uint8_t>> originals;
  for (const auto& file : testsupport::TableFamily(path)) originals[file.filename().string()] = ReadBytes(file);

  const RebuildReport report = RebuildTable(DefaultFileSystem(), path);

  const TableReport check = VerifyTable(DefaultFileSystem(), path);
  EXPECT_TRUE(check.problems.empty()) << ProblemText(check);
  const std::vector<std::string> after = RecordLines(path);
  EXPECT_EQ(after.size(), c.records);
  EXPECT_EQ(report.records, c.records);
  // Values a rebuild empties read as "?" before; every other record is kept as it was, but for
  // records whose key occurred before, which are listed.
  std::vector<std::string> readable;
  std::copy_if(before.begin(), before.end(), std::back_inserter(readable),
               [](const std::string& l) { return l.find('?') == std::string::npos; });
  size_t keyAgain = 0;
  for (const auto& line : report.dropped) keyAgain += line.find("Schlüssel wie") != std::string::npos;
  EXPECT_EQ(Lost(readable, after), keyAgain);
  std::string listed;
  for (const auto* list : {&report.relinked, &report.dropped, &report.blobsCleared, &report.unreadable})
    for (const auto& line : *list) listed += line + "\n";
  if (*c.listed)
    EXPECT_NE(listed.find(c.listed), std::string::npos) << listed;
  else
    EXPECT_EQ(listed, "");
  EXPECT_EQ(report.backupDir, dir.Path() + std::filesystem::path(path).stem().string() + ".bak/");
  for (const auto& [name, bytes] : originals) EXPECT_EQ(ReadBytes(report.backupDir + name), bytes) << name;
}

TEST(RebuildTable, DamagedChainsAreRelinkedFromTheBlocksWithRecords) {
  SKIP_WITHOUT_FIXTURES();
  // The unkeyed sample's blocks 1 → 2 → 3 hold 27, 27 and 1 records.
  const std::vector<Case> cases = {
      {"dropped block", fixtures::Unkeyed(),
       [](const auto& path, const auto&) {
         Damage(path, [](auto& b) {
           const TableHeader h = HeaderOf(b);
           coding::PutU16(&b[h.BlockOffset(1) + blk::kNext], 3);
           coding::PutU16(&b[h.BlockOffset(3) + blk::kPrev], 1);
         });
       },
       55, "Block 2: 27 Datensätze wieder in die Kette aufgenommen"},
      {"looped chain", fixtures::Unkeyed(),
       [](const auto& path, const auto&) {
         Damage(path, [](auto& b) { coding::PutU16(&b[HeaderOf(b).BlockOffset(2) + blk::kNext], 1); });
       },
       55, "Block 3: 1 Datensätze wieder in die Kette aufgenommen"},
      {"records cut by the end of the file", fixtures::Unkeyed(),
       [](const auto& path, const auto&) {
         Damage(path, [](auto& b) {
           const TableHeader h = HeaderOf(b);
           b.resize(h.BlockOffset(2) + blk::kHeaderBytes + 10 * h.recordSize + 3);
         });
       },
       37, "vom Dateiende abgeschnitten"},
  };
  for (const auto& c : cases) RebuildAndCheck(c);
}

TEST(RebuildTable, KeysAndIndexesAreBuiltAnew) {
  SKIP_WITHOUT_FIXTURES();
  const std::vector<Case> cases = {
      {"stale .PX", fixtures::KeyedWithoutSecondaryIndex(),
       [](const auto& path, const auto&) {
         Damage(path, [](auto& b) {
           const TableHeader h = HeaderOf(b);
           const size_t at = h.BlockOffset(h.lastBlock) + blk::kLastRecordOffset;
           coding::PutU16(&b[at], static_cast<uint16_t>(coding::GetS16(&b[at]) - h.recordSize));
           coding::PutU32(&b[hdr::kNumRecords], h.numRecords - 1);
         });
       },
       223, ""},
      {"keys out of order", fixtures::KeyedWithoutSecondaryIndex(),
       [](const auto& path, const auto&) {
         const auto records = RecordOffsets(path);
         Damage(path, [&](auto& b) {
           std::swap_ranges(&b[records[4]], &b[records[4]] + HeaderOf(b).recordSize, &b[records[5]]);
         });
       },
       224, ""},
      {"duplicate key", fixtures::KeyedWithoutSecondaryIndex(),
       [](const auto& path, const auto&) {
         const auto records = RecordOffsets(path);
         Damage(path, [&](auto& b) { std::copy_n(&b[records[0]], HeaderOf(b).KeyBytes(), &b[records[1]]); });
       },
       223, "Datensatz 2: Schlüssel wie Datensatz 1; nicht übernommen."},
      {"stale secondary index", fixtures::KeyedWithBlobs(),
       [](const auto&, const auto& dir) {
         Damage(dir + "CUSTOMER.X06", [](auto& b) {
           const TableHeader h = HeaderOf(b);
           const size_t at = h.BlockOffset(h.lastBlock) + blk::kLastRecordOffset;
           coding::PutU16(&b[at], static_cast<uint16_t>(coding::GetS16(&b[at]) - h.recordSize));
         });
       },
       20, ""},
      {"missing .PX", fixtures::KeyedWithBlobs(),
       [](const auto&, const auto& dir) { std::filesystem::remove(dir + "CUSTOMER.PX"); }, 20, ""},
  };
  for (const auto& c : cases) RebuildAndCheck(c);
}

TEST(RebuildTable, BrokenBlobReferencesAreEmptiedAndListed) {
  SKIP_WITHOUT_FIXTURES();
  const std::vector<Case> cases = {
      {"pointer past the file", fixtures::KeyedWithBlobs(),
       [](const auto& path, const auto&) {
         const auto desc = MemoDescriptors(path, 1);
         Damage(path, [&](auto& b) { coding::PutU32(&b[desc[0] + mb::kDescRef], 0x7FFFF0FF); });
       },
       20, "Feld „Comments“: BLOb-Verweis geleert"},
      {"truncated .MB", fixtures::KeyedWithBlobs(),
       [](const auto&, const auto& dir) { Damage(dir + "CUSTOMER.MB", [](auto& b) { b.resize(4096); }); }, 20,
       "BLOb-Verweis geleert"},
      {"two records share a blob", fixtures::KeyedWithBlobs(),
       [](const auto& path, const auto&) {
         const auto desc = MemoDescriptors(path, 2);
         Damage(path, [&](auto& b) { std::copy_n(&b[desc[0]], mb::kDescriptorSize, &b[desc[1]]); });
       },
       20, ""},
  };
  for (const auto& c : cases) RebuildAndCheck(c);
}

TEST(RebuildTable, TableHeldElsewhereIsNotTouched) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  const auto held = DefaultFileSystem().Lock(path, false);
  try {
    RebuildTable(DefaultFileSystem(), path);
    ADD_FAILURE() << "a table held elsewhere was rebuilt";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrLocked) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "CUSTOMER.bak"));
}

TEST(RebuildTable, ASecondRebuildKeepsTheFirstBackup) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
  EXPECT_EQ(RebuildTable(DefaultFileSystem(), path).backupDir, dir.Path() + "CONTACTS.bak/");
  EXPECT_EQ(RebuildTable(DefaultFileSystem(), path).backupDir, dir.Path() + "CONTACTS.bak-2/");
  EXPECT_TRUE(std::filesystem::exists(dir.Path() + "CONTACTS.bak/CONTACTS.DB"));
}

}  // namespace
}  // namespace engine
