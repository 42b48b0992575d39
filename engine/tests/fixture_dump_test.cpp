// Every sample table dumped by the engine equals its expected dump byte for byte; the
// password-protected ones only with their password, and without it the engine refuses them
// with a German message.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "direct/table_files.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::CopyTable;
using testsupport::ReadText;
using testsupport::TableDumpText;
using testsupport::TempDir;

bool IsPasswordProtected(const std::filesystem::path& sample) {
  const auto protectedTables = fixtures::PasswordProtectedTables();
  return std::find(protectedTables.begin(), protectedTables.end(), sample) != protectedTables.end();
}

// First differing line of two texts, for the failure message.
std::string FirstDifference(const std::string& got, const std::string& want) {
  std::istringstream a(got), b(want);
  std::string la, lb;
  for (int line = 1;; ++line) {
    const bool ha = static_cast<bool>(std::getline(a, la));
    const bool hb = static_cast<bool>(std::getline(b, lb));
    if (!ha && !hb) return "(gleich)";
    if (!ha || !hb || la != lb)
      return "Zeile " + std::to_string(line) + "\n  erhalten: " + (ha ? la : "<Ende>") +
             "\n  erwartet: " + (hb ? lb : "<Ende>");
  }
}

// Whether a value of the dump's records is "?".
bool HasUnreadableValue(const std::string& dump) {
  std::istringstream lines(dump);
  std::string line;
  for (int n = 0; std::getline(lines, line); ++n) {
    if (n < 2) continue;  // field names and types
    std::istringstream values(line);
    for (std::string value; std::getline(values, value, '\t');)
      if (value == "?") return true;
  }
  return false;
}

TEST(FixtureDump, EveryTableMatchesItsExpectedDump) {
  SKIP_WITHOUT_FIXTURES();
  int total = 0, matched = 0, refused = 0;
  for (const auto& sample : fixtures::All()) {
    ++total;
    const std::string relative = fixtures::Relative(sample);
    TempDir dir;
    const std::string table = CopyTable(sample, dir.Path());
    if (IsPasswordProtected(sample)) {
      try {
        TableDumpText(table);
        ADD_FAILURE() << relative << ": verschlüsselte Tabelle wurde gelesen";
      } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), kErrPasswordProtected) << relative;
        EXPECT_NE(std::string(e.what()).find(table), std::string::npos) << e.what();
        ++refused;
      }
    }
    const std::unique_ptr<FileSystem> unlocked = UnlockedTableFiles(DefaultFileSystem(), table, "123");
    std::ostringstream dumped;
    ReadFindings findings;
    try {
      DumpTable(unlocked ? *unlocked : DefaultFileSystem(), table, dumped, &findings);
    } catch (const EDBEngineError& e) {
      ADD_FAILURE() << relative << ": " << e.what();
      continue;
    }
    const std::string got = dumped.str();
    // A value printed as "?" is one that could not be read, and the dump says why.
    EXPECT_EQ(HasUnreadableValue(got), !findings.unreadable.empty()) << relative;
    const std::string want = ReadText(fixtures::ExpectedDump(sample));
    if (got == want)
      ++matched;
    else
      ADD_FAILURE() << relative << ": " << FirstDifference(got, want);
  }
  std::cout << "[ fixtures ] " << matched << " von " << total << " Tabellen gleich, " << refused
            << " verschlüsselte ohne Kennwort abgewiesen\n";
  EXPECT_EQ(matched, total);
  EXPECT_EQ(refused, static_cast<int>(fixtures::PasswordProtectedTables().size()));
}

}  // namespace
}  // namespace engine
