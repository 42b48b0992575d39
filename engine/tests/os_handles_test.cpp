// Handles of the operating system do not outlive a failed call: an open or a listing that fails
// at any point, at a refused allocation too, leaves no descriptor or directory stream open.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/tests/allocation_failure.h"
#include "io/file_system.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

using engine_test::AllocationFailed;
using engine_test::FailAllocation;

long OpenDescriptors() {
  long n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++n;
  }
  return n;
}

TEST(OsHandles, NoDescriptorOutlivesAFailedCall) {
  testsupport::TempDir dir;
  for (const char* name : {"KUNDEN.DB", "KUNDEN.PX", "KUNDEN.MB"}) std::ofstream(dir.Path() + name) << "x";
  FileSystem& fs = DefaultFileSystem();
  struct Case {
    const char* what;
    std::function<void()> run;
  };
  const Case cases[] = {
      {"List", [&] { fs.List(dir.Path()); }},
      {"Open", [&] { fs.Open(dir.Path() + "KUNDEN.DB", OpenMode::ReadWrite); }},
      {"Open eines Verzeichnisses", [&] { fs.Open(dir.Path(), OpenMode::ReadOnly); }},
      {"SyncDir", [&] { fs.SyncDir(dir.Path()); }},
  };
  const long before = OpenDescriptors();
  for (const Case& c : cases) {
    // The nth allocation fails, for each n until the call makes fewer than n.
    for (long n = 1;; ++n) {
      SCOPED_TRACE(std::string(c.what) + ", Allokation " + std::to_string(n));
      FailAllocation(n);
      try {
        c.run();
      } catch (...) {
      }
      if (!AllocationFailed()) break;
      EXPECT_EQ(OpenDescriptors(), before);
    }
  }
}

}  // namespace
}  // namespace engine
