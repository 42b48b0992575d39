// Round trips over every readable sample table (on copies in a temporary folder): a copy, and
// a restructure to each block size and level, must dump exactly as the sample's expected dump;
// a refused format must leave every file of the table as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "io/engine_error.h"
#include "io/file_system.h"
#include "direct/table_files.h"
#include "family/restructure.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = KERBOLT_FIXTURES_DIR;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct Sample {
  std::string table;  // path below tables/
  std::string expected;
};

std::vector<Sample> ReadableSamples() {
  std::vector<Sample> out;
  std::istringstream status(ReadFile(kFixtures / "expected" / "STATUS.tsv"));
  std::string line;
  std::getline(status, line);
  while (std::getline(status, line)) {
    std::istringstream cells(line);
    std::string table, exitCode;
    std::getline(cells, table, '\t');
    std::getline(cells, exitCode, '\t');
    if (exitCode == "0") out.push_back({table, ReadFile(kFixtures / "expected" / (table + ".tsv"))});
  }
  return out;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kerbolt-roundtrip-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern + "/";
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Copies the table and every file of its family (same base name, any case) into `dir`.
std::string CopyFamily(const Sample& s, const std::string& dir) {
  const fs::path source = kFixtures / "tables" / s.table;
  const std::string base = Upper(source.stem().string());
  for (const auto& entry : fs::directory_iterator(source.parent_path()))
    if (entry.is_regular_file() && Upper(entry.path().stem().string()) == base)
      fs::copy_file(entry.path(), dir + entry.path().filename().string());
  return source.filename().string();
}

std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) files[entry.path().filename().string()] = ReadFile(entry.path());
  return files;
}

std::string Dump(const std::string& path) {
  std::ostringstream out;
  engine::DumpTable(engine::DefaultFileSystem(), path, out);
  return out.str();
}

// Whether our engine reads the sample at all (not the password-protected ones).
bool Readable(const std::string& path) {
  try {
    Dump(path);
    return true;
  } catch (const engine::EDBEngineError& e) {
    return e.ErrorCode() != engine::kErrPasswordProtected;
  }
}

class WriteRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kFixtures / "expected" / "STATUS.tsv"))
      GTEST_SKIP() << "Fixture folder not found: " << kFixtures;
  }
};

TEST_F(WriteRoundTrip, CopyDumpsLikeTheSample) {
  int copied = 0;
  for (const Sample& s : ReadableSamples()) {
    SCOPED_TRACE(s.table);
    TempDir src, dest;
    const std::string name = CopyFamily(s, src.Path());
    if (!Readable(src.Path() + name)) continue;
    try {
      engine::CopyTableFiles(engine::DefaultFileSystem(), src.Path(), name, dest.Path(), name, false, {});
    } catch (const engine::EDBEngineError& e) {
      // Blob values whose .MB is missing cannot be copied; the copy says so instead of
      // writing references to nowhere.
      EXPECT_EQ(e.ErrorCode(), engine::kErrBlobMissing) << e.what();
      EXPECT_NE(s.expected.find('?'), std::string::npos);
      continue;
    }
    EXPECT_TRUE(Dump(dest.Path() + name) == s.expected);
    ++copied;
  }
  EXPECT_GE(copied, 100);
}

TEST_F(WriteRoundTrip, RestructureToEveryFormatKeepsTheDumpOrChangesNothing) {
  const std::vector<engine::TableFormat> formats = {{0, 1024}, {0, 2048}, {0, 4096}, {0, 16384}, {0, 32768},
                                                    {3, 0},    {4, 0},    {5, 0},    {7, 0}};
  int rebuilt = 0, refused = 0;
  for (const Sample& s : ReadableSamples()) {
    for (const auto& format : formats) {
      SCOPED_TRACE(s.table + " level " + std::to_string(format.level) + " block " + std::to_string(format.blockBytes));
      TempDir dir;
      const std::string name = CopyFamily(s, dir.Path());
      if (!Readable(dir.Path() + name)) break;
      const auto before = Files(dir.Path());
      try {
        engine::RestructureTableFiles(engine::DefaultFileSystem(), dir.Path(), name, format);
      } catch (const engine::EDBEngineError& e) {
        EXPECT_TRUE(Files(dir.Path()) == before) << e.what();
        ++refused;
        continue;
      }
      EXPECT_TRUE(Dump(dir.Path() + name) == s.expected);
      for (const auto& [file, bytes] : Files(dir.Path())) EXPECT_EQ(file.find('~'), std::string::npos) << file;
      ++rebuilt;
    }
  }
  EXPECT_GE(rebuilt, 600);
  EXPECT_GT(refused, 0);
}

}  // namespace
