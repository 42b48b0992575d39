// Round trips over every readable sample table (on copies in a temporary folder): a copy, and
// a restructure to each block size and level, must dump exactly as the sample's expected dump;
// a refused format must leave every file of the table as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "direct/table_files.h"
#include "family/restructure.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;
using testsupport::ReadText;
using testsupport::TableDumpText;
using testsupport::TempDir;

struct Sample {
  fs::path table;
  std::string expected;
};

std::vector<Sample> ReadableSamples() {
  std::vector<Sample> out;
  for (const fs::path& table : fixtures::FullyDumped()) out.push_back({table, ReadText(fixtures::ExpectedDump(table))});
  return out;
}

// Copies the sample with its companions into `dir`; returns the table's file name.
std::string CopySample(const Sample& s, const std::string& dir) {
  testsupport::CopyTable(s.table, dir);
  return s.table.filename().string();
}

std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) files[entry.path().filename().string()] = ReadText(entry.path());
  return files;
}

// Whether our engine reads the sample at all (not the password-protected ones).
bool Readable(const std::string& path) {
  try {
    TableDumpText(path);
    return true;
  } catch (const engine::EDBEngineError& e) {
    return e.ErrorCode() != engine::kErrPasswordProtected;
  }
}

class WriteRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }
};

TEST_F(WriteRoundTrip, CopyDumpsLikeTheSample) {
  int copied = 0;
  for (const Sample& s : ReadableSamples()) {
    SCOPED_TRACE(fixtures::Relative(s.table));
    TempDir src, dest;
    const std::string name = CopySample(s, src.Path());
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
    EXPECT_TRUE(TableDumpText(dest.Path() + name) == s.expected);
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
      SCOPED_TRACE(fixtures::Relative(s.table) + " level " + std::to_string(format.level) + " block " + std::to_string(format.blockBytes));
      TempDir dir;
      const std::string name = CopySample(s, dir.Path());
      if (!Readable(dir.Path() + name)) break;
      const auto before = Files(dir.Path());
      try {
        engine::RestructureTableFiles(engine::DefaultFileSystem(), dir.Path(), name, format);
      } catch (const engine::EDBEngineError& e) {
        EXPECT_TRUE(Files(dir.Path()) == before) << e.what();
        ++refused;
        continue;
      }
      EXPECT_TRUE(TableDumpText(dir.Path() + name) == s.expected);
      for (const auto& [file, bytes] : Files(dir.Path())) EXPECT_EQ(file.find('~'), std::string::npos) << file;
      ++rebuilt;
    }
  }
  EXPECT_GE(rebuilt, 600);
  EXPECT_GT(refused, 0);
}

}  // namespace
