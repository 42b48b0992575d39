// Every sample table dumped by the engine equals its expected dump byte for byte, except the
// password-protected ones, which the engine refuses with a German message.

#include <gtest/gtest.h>

#include <sstream>

#include "io/engine_error.h"
#include "io/file_system.h"
#include "family/table_dump.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

using testing::CopyFamily;
using testing::FixturesDir;
using testing::FixtureTables;
using testing::ReadText;
using testing::TempDir;

bool IsEncryptedSample(const std::string& relative) {
  return relative.find("/encrypt/") != std::string::npos;
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

TEST(FixtureDump, EveryTableMatchesItsExpectedDump) {
  if (FixturesDir().empty()) GTEST_SKIP() << "Beispieltabellen fehlen: " << KERBOLT_FIXTURES_DIR;
  int total = 0, matched = 0, refused = 0;
  for (const auto& relative : FixtureTables()) {
    ++total;
    TempDir dir;
    const std::string table = CopyFamily(relative, dir.Path());
    std::ostringstream out;
    if (IsEncryptedSample(relative)) {
      try {
        DumpTable(DefaultFileSystem(), table, out);
        ADD_FAILURE() << relative << ": verschlüsselte Tabelle wurde gelesen";
      } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), kErrPasswordProtected) << relative;
        EXPECT_NE(std::string(e.what()).find(table), std::string::npos) << e.what();
        ++refused;
      }
      continue;
    }
    try {
      DumpTable(DefaultFileSystem(), table, out);
    } catch (const EDBEngineError& e) {
      ADD_FAILURE() << relative << ": " << e.what();
      continue;
    }
    const std::string want = ReadText(FixturesDir() + "expected/" + relative + ".tsv");
    if (out.str() == want)
      ++matched;
    else
      ADD_FAILURE() << relative << ": " << FirstDifference(out.str(), want);
  }
  std::cout << "[ fixtures ] " << matched << " von " << total << " Tabellen gleich, " << refused
            << " verschlüsselte abgewiesen\n";
  EXPECT_EQ(matched + refused, total);
}

}  // namespace
}  // namespace engine
