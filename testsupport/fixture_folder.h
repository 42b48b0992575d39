#pragma once
// The folder of real sample tables made by other Paradox software (KERBOLT_FIXTURES_DIR; see its
// README.md): tables/ holds the tables, expected/ each table's dump as an independent reader sees
// it. The folder is read-only data: tests copy a table (CopyTable) before anything could write to
// it, and skip, saying so, where the folder is absent. fixture_tables.h names the tables.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport::fixtures {

std::filesystem::path Root();
// Whether the folder is there with its tables.
bool Available();

// Every sample table file (.db in any letter case), sorted.
std::vector<std::filesystem::path> All();
// The sample tables whose expected dump is complete (exit status 0 in expected/STATUS.tsv), in
// that file's order.
std::vector<std::filesystem::path> FullyDumped();

// A sample table's path below tables/, as the expected dumps and messages name it.
std::string Relative(const std::filesystem::path& table);
// The file holding a sample table's expected dump.
std::filesystem::path ExpectedDump(const std::filesystem::path& table);

}  // namespace testsupport::fixtures

// Skips the current test, naming the folder looked for, when the sample tables are absent.
#define SKIP_WITHOUT_FIXTURES()                                                                  \
  do {                                                                                           \
    if (!::testsupport::fixtures::Available())                                                   \
      GTEST_SKIP() << "sample tables not found at " << ::testsupport::fixtures::Root().string(); \
  } while (false)
