// kerbolt-cli --help, COMMAND --help and --version: German help on stdout with exit status 0,
// never taken for a file name.

#include <gtest/gtest.h>

#include "cli/tests/cli_support.h"
#include "testsupport/temp_dir.h"

namespace {

using cli_test::CliRun;
using cli_test::RunCli;
using testsupport::TempDir;

TEST(CliHelp, OverviewNamesEveryCommand) {
  TempDir dir;
  for (const char* ask : {"--help", "-h", "help"}) {
    const CliRun r = RunCli({ask}, dir);
    EXPECT_EQ(r.status, 0) << ask;
    EXPECT_EQ(r.err, "");
    for (const char* command : {"dump TABELLE", "info TABELLE", "scan VERZEICHNIS", "copy QUELLE", "restructure",
                                "verify PFAD", "export TABELLE", "--help | --version"})
      EXPECT_NE(r.out.find(std::string("kerbolt-cli ") + command), std::string::npos) << command << "\n" << r.out;
  }
  const CliRun none = RunCli({}, dir);
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("kerbolt-cli verify PFAD"), std::string::npos);
}

TEST(CliHelp, EachCommandExplainsItsCallOptionsAndStatuses) {
  TempDir dir;
  struct Case {
    std::vector<std::string> args;
    const char* words;
  };
  const std::vector<Case> cases = {
      {{"dump", "--help"}, "Aufruf: kerbolt-cli dump TABELLE"},
      {{"verify", "--json", "--help"}, "--json"},
      {{"export", "x.db", "-h"}, "--sqlite DATEI"},
      {{"copy", "--help"}, "--block-size N"},
      {{"help", "verify"}, "2 Prüfung nicht möglich"},
  };
  for (const auto& c : cases) {
    const CliRun r = RunCli(c.args, dir);
    EXPECT_EQ(r.status, 0) << c.words;
    EXPECT_NE(r.out.find(c.words), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Exit-Status: 0"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
}

TEST(CliHelp, VersionIsTheProjectVersion) {
  TempDir dir;
  const CliRun r = RunCli({"--version"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("kerbolt-cli ", 0), 0u);
  EXPECT_EQ(r.out.back(), '\n');
  EXPECT_NE(r.out.find_first_of("0123456789"), std::string::npos) << r.out;
}

}  // namespace
