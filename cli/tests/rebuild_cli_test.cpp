// kerbolt-cli rebuild as a user runs it: the damaged samples come out sound, the backup folder
// and what was emptied are told, a table held elsewhere is refused.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/tests/cli_support.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fixtures = testsupport::fixtures;
using cli_test::CliRun;
using cli_test::RunCli;
using testsupport::CopyTable;
using testsupport::TempDir;

TEST(CliRebuild, DamagedSamplesComeOutSound) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* table;
    const char* listed;  // words of the output beyond the backup and the count
  };
  const std::vector<Case> cases = {
      {"celebithil_Rparadox/inst/extdata/mushrooms.db", ""},
      {"grigoryvp_pyparadox/test.db", ""},
      {"kymuweb_Paradox-Reader/ParadoxTest/data/zakazky.db", ""},
      {"leonhad_paradoxdriver/src/test/resources/areas/STATES.DB", ""},
      {"leonhad_paradoxdriver/src/test/resources/areas/ZIPCODES.DB", ""},
      {"t232006_Individual-dictionary/_QSQ1.DB", ""},
      {"t232006_Individual-dictionary/synch1.db", ""},
      {"teverett_paradoxReader/src/test/resources/examples/MEMBRE.DB",
       "Geleerte BLOb-Verweise:\n  Datensatz 1, Feld „Memo“: BLOb-Verweis geleert"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = CopyTable(fixtures::Root() / "tables" / c.table, dir.Path());
    const std::string stem = std::filesystem::path(path).stem().string();
    CliRun r = RunCli({"rebuild", path}, dir);
    EXPECT_EQ(r.status, 0) << c.table << ": " << r.err;
    EXPECT_EQ(r.out.rfind("Ursprüngliche Dateien gesichert in „" + dir.Path() + stem + ".bak/“.\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(c.listed), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("“ neu aufgebaut: "), std::string::npos) << r.out;
    r = RunCli({"verify", path}, dir);
    EXPECT_EQ(r.status, 0) << c.table << ": " << r.out;
  }
}

TEST(CliRebuild, WrongCallsAndMissingTablesAreRefused) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"rebuild"}, {"rebuild", path, path}, {"rebuild", "--schnell"}}) {
    const CliRun r = RunCli(wrong, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Aufruf: kerbolt-cli rebuild TABELLE [--ignore-foreign-locks]\n");
  }
  const CliRun r = RunCli({"rebuild", dir.Path() + "FEHLT.DB"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("FEHLT.DB"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "FEHLT.bak"));
}

}  // namespace
