#pragma once
// Test helpers: the sample tables (read-only, copied before use) and temporary directories.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "component/table.h"

namespace blocksize_test {

namespace fs = std::filesystem;

inline fs::path FixtureTablesDir() { return fs::path(KERBOLT_FIXTURES_DIR) / "tables"; }

inline bool HaveFixtures() { return fs::is_directory(FixtureTablesDir()); }

#define SKIP_WITHOUT_FIXTURES()                                                              \
  do {                                                                                       \
    if (!::blocksize_test::HaveFixtures())                                                   \
      GTEST_SKIP() << "sample tables not found at " << KERBOLT_FIXTURES_DIR;                 \
  } while (0)

inline std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Every sample table (.db in any case), sorted.
inline std::vector<fs::path> AllFixtureTables() {
  std::vector<fs::path> tables;
  for (const auto& entry : fs::recursive_directory_iterator(FixtureTablesDir())) {
    if (entry.is_regular_file() && Lower(entry.path().extension().string()) == ".db") {
      tables.push_back(entry.path());
    }
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

inline fs::path Fixture(const std::string& relative) { return FixtureTablesDir() / relative; }

// Copies a table with every companion file of the same base name into `directory`, renamed to
// `stem` when given. Returns the copied table's file name.
inline std::string CopyTable(const fs::path& table, const fs::path& directory,
                             const std::string& stem = "") {
  const std::string sourceStem = Lower(table.stem().string());
  std::string tableName;
  for (const auto& entry : fs::directory_iterator(table.parent_path())) {
    if (!entry.is_regular_file() || Lower(entry.path().stem().string()) != sourceStem) continue;
    const std::string name =
        (stem.empty() ? entry.path().stem().string() : stem) + entry.path().extension().string();
    fs::copy_file(entry.path(), directory / name, fs::copy_options::overwrite_existing);
    fs::permissions(directory / name, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::add);
    if (entry.path().filename() == table.filename()) tableName = name;
  }
  return tableName;
}

inline std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Every cell of every record as the engine shows it, in the table's order.
inline std::vector<std::vector<std::string>> ReadAllCells(const std::string& directory,
                                                          const std::string& name) {
  engine::TTable table;
  table.SetDatabaseName(directory);
  table.SetTableName(name);
  table.Open();
  std::vector<std::vector<std::string>> rows;
  const int records = table.RecordCount();
  const int fields = table.FieldCount();
  for (int row = 0; row < records; ++row) {
    std::vector<std::string> cells;
    for (int field = 0; field < fields; ++field) {
      cells.push_back(table.CellText(row, field));
    }
    rows.push_back(std::move(cells));
  }
  table.Close();
  return rows;
}

// A fresh directory, removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kerbolt-bs-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  // The directory with its trailing "/".
  std::string dir() const { return path_.string() + "/"; }

 private:
  fs::path path_;
};

}  // namespace blocksize_test
