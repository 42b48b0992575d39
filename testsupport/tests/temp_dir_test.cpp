#include "testsupport/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

TEST(TempDir, IsAFreshFolderRemovedWithItsContent) {
  std::string path;
  {
    TempDir dir;
    path = dir.Path();
    ASSERT_EQ(path.back(), '/');
    EXPECT_TRUE(fs::is_empty(path));
    std::ofstream(path + "A.DB") << "x";
    TempDir other;
    EXPECT_NE(other.Path(), path);
  }
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace testsupport
