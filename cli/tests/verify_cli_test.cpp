// kerbolt-cli verify as a user runs it: a line per table, problems naming file and place, JSON
// for scripts, and the exit status telling sound, damaged and not checked apart.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/tests/cli_support.h"
#include "testsupport/file_bytes.h"
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

// A copy of the unkeyed sample whose block 2 points back at block 1.
std::string LoopedTable(const TempDir& dir) {
  const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
  auto bytes = testsupport::ReadBytes(path);
  bytes[2048 + 2048] = 1;  // block 2's next, low byte
  bytes[2048 + 2048 + 1] = 0;
  testsupport::WriteBytes(path, bytes);
  return path;
}

TEST(CliVerify, ExitStatusTellsSoundDamagedAndNotChecked) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string sound = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CliRun r = RunCli({"verify", sound}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, sound + ": OK\n");

  TempDir damagedDir;
  const std::string looped = LoopedTable(damagedDir);
  r = RunCli({"verify", sound, looped}, dir);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find(sound + ": OK\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(looped + ": 2 Probleme\n  " + looped + ", Block 2: Die Blockkette enthält eine Schleife"),
            std::string::npos)
      << r.out;

  r = RunCli({"verify", sound, dir.Path() + "FEHLT.DB"}, dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("FEHLT.DB: nicht geprüft: "), std::string::npos) << r.err;

  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"verify"}, {"verify", "--bunt", sound}}) {
    r = RunCli(wrong, dir);
    EXPECT_EQ(r.status, 2) << wrong.size();
    EXPECT_NE(r.err.find("Aufruf: kerbolt-cli verify"), std::string::npos) << r.err;
  }
}

TEST(CliVerify, DirectoryChecksEveryTableAndStrayCompanions) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CopyTable(fixtures::Unkeyed(), dir.Path(), "zweite");
  std::filesystem::copy_file(dir.Path() + "CUSTOMER.PX", dir.Path() + "WAISE.px");
  const CliRun r = RunCli({"verify", dir.Path()}, dir);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, dir.Path() + "CUSTOMER.DB: OK\n" + dir.Path() + "zweite.DB: OK\n" + dir.Path() +
                       "WAISE.px: 1 Problem\n  " + dir.Path() +
                       "WAISE.px: Die Begleitdatei gehört zu keiner Tabelle (WAISE.DB fehlt).\n");
}

TEST(CliVerify, JsonNamesFilePlaceAndText) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string looped = LoopedTable(dir);
  const CliRun r = RunCli({"verify", "--json", looped, dir.Path() + "FEHLT.DB"}, dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind("{\"tables\": [\n  {\"table\": \"" + looped + "\", \"checked\": true, \"ok\": false, "
                        "\"problems\": [{\"file\": \"" + looped + "\", \"place\": \"Block 2\", \"text\": \"Die "
                        "Blockkette enthält eine Schleife zurück zu Block 1.\"}",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("{\"table\": \"" + dir.Path() + "FEHLT.DB\", \"checked\": false, \"error\": \"Datei „"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - 4), "\n]}\n");
}

}  // namespace
