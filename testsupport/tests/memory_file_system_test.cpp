#include "testsupport/memory_file_system.h"

#include <gtest/gtest.h>

#include "io/engine_error.h"

namespace testsupport {
namespace {

using engine::OpenMode;

void Write(engine::FileSystem& fs, const std::string& path, const std::string& bytes) {
  fs.Open(path, OpenMode::CreateTruncate)->WriteAt(0, bytes.data(), bytes.size());
}

TEST(MemoryFileSystem, OpenFilesKeepTheirBytesAfterRemoveAndReplace) {
  MemoryFileSystem fs;
  fs.Put("/mem/A.DB", "alt");
  fs.Put("/mem/A.TMP", "neu");
  const auto held = fs.Open("/mem/A.DB", OpenMode::ReadOnly);
  fs.Rename("/mem/A.TMP", "/mem/A.DB");
  char buf[8] = {};
  ASSERT_EQ(held->ReadAt(0, buf, sizeof buf), 3u);
  EXPECT_EQ(std::string(buf, 3), "alt");
  EXPECT_EQ(fs.Contents("/mem/A.DB"), "neu");
  EXPECT_FALSE(fs.Exists("/mem/A.TMP"));
  fs.Remove("/mem/A.DB");
  EXPECT_EQ(held->Size(), 3u);
  EXPECT_TRUE(fs.Paths().empty());
}

TEST(MemoryFileSystem, WritesPastTheEndFillWithZerosAndListsOneDirectory) {
  MemoryFileSystem fs;
  Write(fs, "/mem/X.DB", "ab");
  fs.Open("/mem/X.DB", OpenMode::ReadWrite)->WriteAt(4, "c", 1);
  EXPECT_EQ(fs.Contents("/mem/X.DB"), std::string("ab\0\0c", 5));
  fs.Put("/mem/sub/Y.DB", "");
  EXPECT_EQ(fs.List("/mem/"), std::vector<std::string>{"X.DB"});
  EXPECT_THROW(fs.Open("/mem/fehlt.DB", OpenMode::ReadOnly), engine::EDBEngineError);
  EXPECT_THROW(fs.Open("/mem/X.DB", OpenMode::ReadOnly)->WriteAt(0, "z", 1), engine::EDBEngineError);
}

// Restore gives back exactly the files of a snapshot: changed ones set back, new ones gone.
TEST(MemoryFileSystem, RestoreSetsEveryFileBackToTheSnapshot) {
  MemoryFileSystem fs;
  fs.Put("/mem/A.DB", "alt");
  fs.Put("/mem/A.PX", "px");
  const auto snapshot = fs.Snapshot();
  Write(fs, "/mem/A.DB", "neu");
  fs.Remove("/mem/A.PX");
  fs.Put("/mem/A.DB.~kbnew", "x");
  fs.Restore(snapshot);
  EXPECT_EQ(fs.Snapshot(), snapshot);
}

}  // namespace
}  // namespace testsupport
