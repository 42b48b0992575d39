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

// Two kerbolt-cli processes copy different tables into one new target at the same time. Each
// either copies and says so, or is refused in German because the other holds the target; the
// target is then wholly the table of a copy that reported success, with no temporary file left.
TEST(CliCopy, TwoProcessesCopyingToOneNewTargetGiveOneWholeResult) {
  SKIP_WITHOUT_FIXTURES();
  TempDir src, dest;
  const std::string tables[2] = {CopyTable(fixtures::LargeWithSecondaryIndex(), src.Path()),
                                 CopyTable(fixtures::Level4(), src.Path())};
  const std::string target = dest.Path() + "ZIEL.DB";
  std::string command;
  for (int i = 0; i < 2; ++i) {
    const std::string n = std::to_string(i);
    command += "(" + std::string(KERBOLT_BIN_DIR) + "/kerbolt-cli copy '" + tables[i] + "' '" + target + "' >" +
               dest.Path() + "out" + n + ".txt 2>" + dest.Path() + "err" + n + ".txt; echo $? >" + dest.Path() +
               "status" + n + ".txt) & ";
  }
  ASSERT_EQ(std::system((command + "wait").c_str()), 0);
  std::vector<std::string> winners;
  for (int i = 0; i < 2; ++i) {
    const std::string n = std::to_string(i);
    const std::string status = ReadText(dest.Path() + "status" + n + ".txt");
    const std::string out = ReadText(dest.Path() + "out" + n + ".txt");
    const std::string err = ReadText(dest.Path() + "err" + n + ".txt");
    if (status == "0\n") {
      EXPECT_NE(out.find("kopiert"), std::string::npos) << out;
      winners.push_back(RunCli({"dump", tables[i]}, src).out);
    } else {
      EXPECT_EQ(status, "1\n") << err;
      EXPECT_NE(err.find("von einem anderen Benutzer"), std::string::npos) << err;
      EXPECT_EQ(out.find("kopiert"), std::string::npos) << out;
    }
  }
  ASSERT_FALSE(winners.empty());
  const CliRun dump = RunCli({"dump", target}, dest);
  EXPECT_EQ(dump.status, 0) << dump.err;
  EXPECT_TRUE(dump.out == winners.front() || dump.out == winners.back()) << "the target is no copy's whole table";
  for (const auto& e : fs::directory_iterator(dest.Path()))
    EXPECT_EQ(e.path().filename().string().find(".~kb"), std::string::npos) << e.path();
}

}  // namespace
