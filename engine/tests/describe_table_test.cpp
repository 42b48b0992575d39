// The description of a table notes a primary index (.PX) that no longer describes the table's
// records, and stays silent about one that does.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "direct/table_files.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::CopyTable;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

// CUSTOMER.PX: 2 KiB header, root block 1 with 10-byte entries (key, child, count, count high);
// the low byte of the first entry's record count.
constexpr size_t kFirstRootCountLowByte = 0x800 + 6 + 4 + 2 + 1;

void ChangePx(const std::string& db, const std::function<void(std::vector<uint8_t>&)>& change) {
  const std::string px = db.substr(0, db.size() - 2) + "PX";
  auto bytes = ReadBytes(px);
  change(bytes);
  WriteBytes(px, bytes);
}

TEST(DescribeTable, NotesAPrimaryIndexThatDoesNotDescribeTheTable) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* name;
    std::filesystem::path table;
    std::function<void(const std::string& db)> damage;
    const char* note;  // part of the note; empty: no note about the primary index
  };
  const std::vector<Case> cases = {
      {"agreeing .PX", fixtures::KeyedWithBlobs(), [](const std::string&) {}, ""},
      {"agreeing .PX over two levels", fixtures::StalePrimaryIndex(), [](const std::string&) {}, ""},
      {".PX counting one record more", fixtures::KeyedWithBlobs(),
       [](const std::string& db) { ChangePx(db, [](auto& b) { ++b[kFirstRootCountLowByte]; }); },
       "„CUSTOMER.PX“ zählt 21 Datensätze, die Tabelle hat 20: er ist veraltet."},
      {".PX cut inside its root", fixtures::KeyedWithBlobs(),
       [](const std::string& db) { ChangePx(db, [](auto& b) { b.resize(0x800 + 20); }); },
       "„CUSTOMER.PX“ kann nicht gelesen werden"},
      {".PX missing", fixtures::KeyedWithBlobs(),
       [](const std::string& db) { std::filesystem::remove(db.substr(0, db.size() - 2) + "PX"); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string db = CopyTable(c.table, dir.Path());
    c.damage(db);
    std::ostringstream out;
    ReadFindings findings;
    DescribeTable(DefaultFileSystem(), db, out, &findings);
    std::string notes;
    for (const auto& n : findings.notes) notes += n + "\n";
    if (*c.note == '\0') {
      EXPECT_EQ(notes.find("Primärindex"), std::string::npos) << notes;
    } else {
      EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
      EXPECT_NE(out.str().find(std::string("Hinweis:\tDer Primärindex ")), std::string::npos) << out.str();
    }
    EXPECT_TRUE(findings.unreadable.empty());
  }
}

}  // namespace
}  // namespace engine
