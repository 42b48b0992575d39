// kerbolt-cli copy and restructure as a user runs them: the copy and the rebuilt table dump
// like the source, refusals and usage errors give their exit status and German message and
// leave the files alone.

#include <gtest/gtest.h>

#include "cli/tests/cli_support.h"

#include <filesystem>
#include <map>

#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;
using cli_test::CliRun;
using cli_test::RunCli;
using testsupport::CopyTable;
using testsupport::ReadText;
using testsupport::TempDir;

// The files of `dir` with their bytes, but for the program's caught output (*.txt).
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() != ".txt") files[e.path().filename().string()] = ReadText(e.path());
  return files;
}

TEST(CliCopy, CopyAndRestructureKeepTheDump) {
  SKIP_WITHOUT_FIXTURES();
  TempDir src, dest;
  const std::string table = CopyTable(fixtures::KeyedWithBlobs(), src.Path());
  const std::string expected = ReadText(fixtures::ExpectedDump(fixtures::KeyedWithBlobs()));
  CliRun r = RunCli({"copy", table, dest.Path() + "KOPIE.DB", "--block-size", "4096"}, dest);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("20 Datensätze"), std::string::npos) << r.out;
  r = RunCli({"dump", dest.Path() + "KOPIE.DB"}, dest);
  EXPECT_EQ(r.out, expected);
  r = RunCli({"restructure", dest.Path() + "KOPIE.DB", "--block-size", "16384"}, dest);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli({"dump", dest.Path() + "KOPIE.DB"}, dest);
  EXPECT_EQ(r.out, expected);
  r = RunCli({"copy", table, dest.Path() + "LEER.DB", "--empty"}, dest);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("0 Datensätze"), std::string::npos) << r.out;
}

TEST(CliCopy, RefusalsAndUsageErrorsLeaveTheFilesAlone) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string table = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  const auto before = Files(dir.Path());
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"restructure", table, "--level", "4"}, 1, "Tabellenstufe 5"},
      {{"restructure", table, "--block-size", "8192"}, 1, "8192"},
      {{"restructure", table, "--level", "5", "--block-size", "1024"}, 1, "mindestens drei"},
      {{"restructure", table}, 2, "Aufruf"},
      {{"restructure", table, "--level"}, 2, "braucht einen Wert"},
      {{"restructure", table, "--level", "sieben"}, 2, "keine ganze Zahl"},
      {{"restructure", dir.Path() + "FEHLT.DB", "--level", "7"}, 1, "nicht gefunden"},
      {{"copy", table}, 2, "Aufruf"},
      {{"copy", table, dir.Path() + "X.DB", "--tempo", "3"}, 2, "Unbekannte Option"},
      {{"copy", table, dir.Path() + "customer.db"}, 1, "auf sich selbst"},
      {{"copy", table, dir.Path() + "NEU.DB", "--level", "4"}, 1, "Tabellenstufe 5"},
  };
  for (const auto& c : cases) {
    const CliRun r = RunCli(c.args, dir);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.size();
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(Files(dir.Path()) == before) << r.err;
  }
}

}  // namespace
