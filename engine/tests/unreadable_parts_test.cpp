// Tables with parts that cannot be read: the dump and the description still give every value that
// can be read, "?" for the others, and name each cause with its file in the findings. A table read
// whole has no such finding.

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

// The unkeyed sample: 2 KiB header and blocks, its 55th record alone in block 3.
constexpr size_t kUnkeyedLastBlock = 2048 + 2 * 2048;

struct Dumped {
  std::vector<std::vector<std::string>> cells;  // per line, the TAB-separated values
  ReadFindings findings;
};

Dumped Dump(const std::string& path) {
  std::ostringstream out;
  Dumped d;
  DumpTable(DefaultFileSystem(), path, out, &d.findings);
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream values(line);
    for (std::string value; std::getline(values, value, '\t');) cells.push_back(value);
    if (!line.empty() && line.back() == '\t') cells.emplace_back();
    d.cells.push_back(std::move(cells));
  }
  return d;
}

ReadFindings Described(const std::string& path) {
  std::ostringstream out;
  ReadFindings findings;
  DescribeTable(DefaultFileSystem(), path, out, &findings);
  return findings;
}

void Resize(const std::string& path, size_t size) {
  auto bytes = ReadBytes(path);
  bytes.resize(size);
  WriteBytes(path, bytes);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

TEST(UnreadableParts, AreQuestionMarksBesideTheReadValuesAndNamedWithTheirFile) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* name;
    std::filesystem::path table;
    std::function<void(const std::string& db)> damage;
    const char* file;   // file named by the finding, beside the table file
    const char* cause;  // part of the finding
    int unreadable;     // values printed as "?"
  };
  const auto mb = [](const std::string& db) { return db.substr(0, db.size() - 2) + "MB"; };
  const std::vector<Case> cases = {
      {"records cut inside a field", fixtures::Unkeyed(),
       [](const std::string& db) { Resize(db, kUnkeyedLastBlock + 6 + 40); }, "CONTACTS.DB", "abgeschnitten", 2},
      {"records cut inside the block header", fixtures::Unkeyed(),
       [](const std::string& db) { Resize(db, kUnkeyedLastBlock + 3); }, "CONTACTS.DB", "abgeschnitten", 4},
      {".MB missing", fixtures::KeyedWithBlobs(),
       [&](const std::string& db) { std::filesystem::remove(mb(db)); }, "CUSTOMER.MB", "fehlt", 4},
      {".MB cut to its header block", fixtures::KeyedWithBlobs(),
       [&](const std::string& db) { Resize(mb(db), 4096); }, "CUSTOMER.MB", "Offset", 4},
      {".MB cut inside its long value (56864 bytes from offset 8192)", fixtures::KeyedWithBlobs(),
       [&](const std::string& db) { Resize(mb(db), 60000); }, "CUSTOMER.MB", "Dateiende", 1},
      {".MB empty", fixtures::KeyedWithBlobs(),
       [&](const std::string& db) { Resize(mb(db), 0); }, "CUSTOMER.MB", "Kopf", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string db = CopyTable(c.table, dir.Path());
    const Dumped whole = Dump(db);
    ASSERT_TRUE(whole.findings.unreadable.empty()) << Joined(whole.findings.unreadable);
    c.damage(db);
    const Dumped damaged = Dump(db);
    ASSERT_EQ(damaged.cells.size(), whole.cells.size());
    int questionMarks = 0;
    for (size_t line = 0; line < whole.cells.size(); ++line) {
      ASSERT_EQ(damaged.cells[line].size(), whole.cells[line].size()) << "line " << line;
      for (size_t v = 0; v < whole.cells[line].size(); ++v) {
        if (damaged.cells[line][v] == "?" && whole.cells[line][v] != "?")
          ++questionMarks;
        else
          EXPECT_EQ(damaged.cells[line][v], whole.cells[line][v]) << "line " << line << ", value " << v;
      }
    }
    EXPECT_EQ(questionMarks, c.unreadable);
    const std::string findings = Joined(damaged.findings.unreadable);
    EXPECT_NE(findings.find(dir.Path() + c.file), std::string::npos) << findings;
    EXPECT_NE(findings.find(c.cause), std::string::npos) << findings;
    // The description reads the same values and finds the same.
    EXPECT_EQ(Joined(Described(db).unreadable), findings);
  }
}

TEST(UnreadableParts, WholeTablesHaveNone) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* name;
    std::filesystem::path table;
    size_t cutBytes;  // taken off the end of the table file
  };
  const std::vector<Case> cases = {
      {"table with a .MB", fixtures::KeyedWithBlobs(), 0},
      {"every field type", fixtures::AllFieldTypes(), 0},
      {"last block short past its last record (as shipped)", fixtures::StalePrimaryIndex(), 0},
      {"last block cut past its last record", fixtures::Unkeyed(), 2048 - 6 - 75},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string db = CopyTable(c.table, dir.Path());
    Resize(db, ReadBytes(db).size() - c.cutBytes);
    const Dumped d = Dump(db);
    EXPECT_TRUE(d.findings.unreadable.empty()) << Joined(d.findings.unreadable);
    const ReadFindings info = Described(db);
    EXPECT_TRUE(info.unreadable.empty()) << Joined(info.unreadable);
  }
}

}  // namespace
}  // namespace engine
