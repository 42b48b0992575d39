#pragma once
// Copies of the sample tables for tests that open tables: the samples themselves are never
// written, a test works on a copy in its own temporary directory.

#include <QString>

namespace app_test {

// Folder of the sample tables of one source, relative to the fixture folder.
inline constexpr char kParadoxDriverTables[] = "tables/leonhad_paradoxdriver/src/test/resources/db/";

bool fixturesPresent();
QString fixturePath(const QString& relative);

// Copies a table with all its companion files (same base name, any extension) from a fixture
// folder into targetDir and returns the path of the copied table file. Fails the current test
// and returns an empty text when nothing could be copied.
QString copyFixtureTable(const QString& folder, const QString& tableFile, const QString& targetDir);

}  // namespace app_test

#define SKIP_WITHOUT_FIXTURES()                                                          \
  do {                                                                                   \
    if (!app_test::fixturesPresent()) {                                                  \
      GTEST_SKIP() << "sample tables not found in " KERBOLT_FIXTURES_DIR;                \
    }                                                                                    \
  } while (false)
