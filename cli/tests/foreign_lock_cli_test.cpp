// kerbolt-cli beside the lock files of other Paradox programs: restructure, rebuild and a copy onto the
// table refuse, naming the files, until --ignore-foreign-locks says they are left over; a lock
// held by another process refuses even then; dump, info and scan never refuse; no run changes a
// lock file.

#include <gtest/gtest.h>

#include "cli/tests/cli_support.h"

#include <memory>

#include "testsupport/dir_snapshot.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/foreign_lock_files.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fixtures = testsupport::fixtures;
using cli_test::CliRun;
using cli_test::RunCli;
using testsupport::ForeignLockHolder;
using testsupport::SnapshotDir;
using testsupport::TempDir;

// A copy of the keyed table with blobs beside a directory lock file and its own lock file.
std::string SharedTable(const TempDir& dir) {
  const std::string table = testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  testsupport::WriteDirectoryLockFile(dir.Path(), "P:\\", 42);
  testsupport::WriteSmallLockFile(dir.Path() + "CUSTOMER.LCK");
  return table;
}

TEST(CliForeignLocks, ExclusiveCommandsRefuseUntilTheOptionSaysTheFilesAreLeftOver) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir, out, src;
  const std::string table = SharedTable(dir);
  const std::string source = testsupport::CopyTable(fixtures::KeyedWithoutSecondaryIndex(), src.Path());
  const std::vector<std::vector<std::string>> commands = {
      {"restructure", table, "--block-size", "4096"},
      {"copy", source, table},
      {"rebuild", table},
  };
  for (const auto& command : commands) {
    SCOPED_TRACE(command[0]);
    const auto before = SnapshotDir(dir.Path());
    CliRun r = RunCli(command, out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("PDOXUSRS.LCK (Netzverzeichnis „P:\\“"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--ignore-foreign-locks"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(testsupport::kForeignUserName), std::string::npos) << r.err;
    EXPECT_TRUE(SnapshotDir(dir.Path()) == before);

    std::vector<std::string> withOption = command;
    withOption.push_back("--ignore-foreign-locks");
    {
      // A lock another process holds refuses despite the option, and the hint is not given.
      ForeignLockHolder holder(dir.Path() + "CUSTOMER.LCK", false);
      ASSERT_TRUE(holder.Holding());
      r = RunCli(withOption, out);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("CUSTOMER.LCK (gesperrt"), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("--ignore-foreign-locks"), std::string::npos) << r.err;
      EXPECT_TRUE(SnapshotDir(dir.Path()) == before);
    }
    r = RunCli(withOption, out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("übergangen: "), std::string::npos) << r.err;
    const auto after = SnapshotDir(dir.Path());
    EXPECT_TRUE(after.at("PDOXUSRS.LCK") == before.at("PDOXUSRS.LCK"));
    EXPECT_TRUE(after.at("CUSTOMER.LCK") == before.at("CUSTOMER.LCK"));
    EXPECT_FALSE(after.at("CUSTOMER.DB") == before.at("CUSTOMER.DB"));
  }
}

TEST(CliForeignLocks, ReadingCommandsWorkWhileAnotherProgramHoldsTheTable) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir, out, dest;
  const std::string table = SharedTable(dir);
  ForeignLockHolder onTable(table, false);
  ForeignLockHolder onLockFile(dir.Path() + "PDOXUSRS.LCK", true);
  ASSERT_TRUE(onTable.Holding() && onLockFile.Holding());
  const auto before = SnapshotDir(dir.Path());
  const std::vector<std::vector<std::string>> commands = {
      {"dump", table}, {"info", table}, {"scan", dir.Path()}, {"copy", table, dest.Path() + "KOPIE.DB"}};
  for (const auto& command : commands) {
    const CliRun r = RunCli(command, out);
    EXPECT_EQ(r.status, 0) << command[0] << ": " << r.err;
  }
  EXPECT_EQ(RunCli({"dump", table}, out).out,
            testsupport::ReadText(fixtures::ExpectedDump(fixtures::KeyedWithBlobs())));
  EXPECT_TRUE(SnapshotDir(dir.Path()) == before);
}

}  // namespace
