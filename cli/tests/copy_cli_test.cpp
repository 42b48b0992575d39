// kerbolt-cli copy and restructure as a user runs them: the copy and the rebuilt table dump
// like the source, refusals and usage errors give their exit status and German message and
// leave the files alone.

#include <gtest/gtest.h>

#include "cli/tests/cli_support.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

using cli_test::CliRun;
using cli_test::CopyTable;
using cli_test::Fixtures;
using cli_test::ReadFile;
using cli_test::RunCli;
using cli_test::TempDir;

std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() != ".txt") files[e.path().filename().string()] = ReadFile(e.path().string());
  return files;
}

constexpr char kCustomer[] = "leonhad_paradoxdriver/src/test/resources/db/CUSTOMER.DB";

TEST(CliCopy, CopyAndRestructureKeepTheDump) {
  if (Fixtures().empty()) GTEST_SKIP() << "Beispieltabellen fehlen: " << KERBOLT_FIXTURES_DIR;
  TempDir src, dest;
  const std::string table = CopyTable(kCustomer, src.Path());
  const std::string expected = ReadFile(Fixtures() + "expected/" + kCustomer + ".tsv");
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
  if (Fixtures().empty()) GTEST_SKIP() << "Beispieltabellen fehlen: " << KERBOLT_FIXTURES_DIR;
  TempDir dir;
  const std::string table = CopyTable(kCustomer, dir.Path());
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
