// kerbolt-cli with password-protected tables: the password from a file, never from the command
// line; without it a protected table is described by its header and refused otherwise; copies
// of protected tables, and copies made with a password file, are protected.

#include <gtest/gtest.h>

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
using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteBytes;

std::string PasswordFile(const TempDir& dir, const std::string& name, const std::string& content) {
  const std::string path = dir.Path() + name;
  WriteBytes(path, std::vector<uint8_t>(content.begin(), content.end()));
  return path;
}

TEST(CliPassword, ProtectedSamplesDumpWithThePasswordFile) {
  SKIP_WITHOUT_FIXTURES();
  for (const auto& sample : fixtures::PasswordProtectedTables()) {
    TempDir dir;
    const std::string table = CopyTable(sample, dir.Path());
    const std::string expected = ReadText(fixtures::ExpectedDump(sample));
    // The first line counts, with or without a carriage return.
    for (const std::string& content : {"123\n", "123\r\nzweite Zeile\n", "123"}) {
      const CliRun r = RunCli({"dump", table, "--password-file", PasswordFile(dir, "kennwort", content)}, dir);
      EXPECT_EQ(r.status, 0) << sample << r.err;
      EXPECT_EQ(r.out, expected) << sample;
    }
    CliRun r = RunCli({"dump", table, "--password-file", PasswordFile(dir, "falsch", "124\n")}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Kennwort"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    // No terminal and no password file: refused with the hint to the option.
    r = RunCli({"dump", table}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--password-file"), std::string::npos) << r.err;
    r = RunCli({"dump", table, "--password-file", dir.Path() + "fehlt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Kennwortdatei"), std::string::npos) << r.err;
  }
}

TEST(CliPassword, PasswordsOnTheCommandLineAreRefused) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string table = CopyTable(fixtures::PasswordProtected(), dir.Path());
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"dump", table, "--password", "123"},
           {"dump", table, "--password=123"},
           {"copy", table, dir.Path() + "K.DB", "--password", "123"},
           {"dump", table, "--password-file"}}) {
    const CliRun r = RunCli(args, dir);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_NE(r.err.find("Aufruf"), std::string::npos) << r.err;
  }
}

TEST(CliPassword, InfoGivesTheHeaderWithoutThePassword) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string table = CopyTable(fixtures::PasswordProtected(), dir.Path());
  CliRun r = RunCli({"info", table}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Datensätze:\t4\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Geschützt:\tja"), std::string::npos) << r.out;
  r = RunCli({"info", table, "--password-file", PasswordFile(dir, "kennwort", "123\n")}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Geschützt:\tja, durch ein Kennwort\n"), std::string::npos) << r.out;
}

TEST(CliPassword, CopiesAndRestructuresStayProtected) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string password = PasswordFile(dir, "kennwort", "123\n");
  // A plain table copied with a password file becomes protected.
  const std::string plain = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  const std::string expected = ReadText(fixtures::ExpectedDump(fixtures::KeyedWithBlobs()));
  CliRun r = RunCli({"copy", plain, dir.Path() + "GESCHUETZT.DB", "--password-file", password}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli({"dump", dir.Path() + "GESCHUETZT.DB"}, dir);
  EXPECT_EQ(r.status, 1);
  r = RunCli({"restructure", dir.Path() + "GESCHUETZT.DB", "--block-size", "4096"}, dir);
  EXPECT_EQ(r.status, 1) << "ohne Kennwort umstrukturiert";
  r = RunCli({"restructure", dir.Path() + "GESCHUETZT.DB", "--block-size", "4096", "--password-file", password}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  // Its copy is protected by the same password.
  r = RunCli({"copy", dir.Path() + "GESCHUETZT.DB", dir.Path() + "ZWEITE.DB", "--password-file", password}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string name : {"GESCHUETZT.DB", "ZWEITE.DB"}) {
    r = RunCli({"dump", dir.Path() + name, "--password-file", password}, dir);
    EXPECT_EQ(r.out, expected) << name << r.err;
    r = RunCli({"info", dir.Path() + name}, dir);
    EXPECT_NE(r.out.find("Geschützt:\tja"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Blockgröße:\t4096"), std::string::npos) << r.out;
  }
  // A protected copy needs the protected source's own password.
  r = RunCli({"copy", dir.Path() + "ZWEITE.DB", dir.Path() + "DRITTE.DB", "--password-file",
              PasswordFile(dir, "anderes", "geheim\n")}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Kennwort"), std::string::npos) << r.err;
}

}  // namespace
