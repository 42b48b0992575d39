// Reading a small file once into memory: the same bytes as from the file, writes refused; large
// files and files opened for writing are the file system's own.

#include <gtest/gtest.h>

#include "io/engine_error.h"
#include "io/whole_file_reads.h"
#include "testsupport/memory_file_system.h"

namespace engine {
namespace {

std::string ReadAll(const File& f, uint64_t offset, size_t n) {
  std::string out(n, '?');
  out.resize(f.ReadAt(offset, out.data(), n));
  return out;
}

TEST(WholeFileReads, ASmallFileReadsAsStoredAndKeepsItsBytesWhenChangedBelow) {
  testsupport::MemoryFileSystem base;
  base.Put("/m/A.MB", "0123456789");
  base.Put("/m/B.MB", std::string(11, 'x'));
  std::unique_ptr<File> small;
  {
    WholeFileReads reads(base, 10);
    small = reads.Open("/m/A.MB", OpenMode::ReadOnly);
    EXPECT_EQ(ReadAll(*reads.Open("/m/B.MB", OpenMode::ReadOnly), 0, 20), std::string(11, 'x'));
  }
  base.Put("/m/A.MB", "changed");  // read once: what was there when it was opened
  EXPECT_EQ(small->Path(), "/m/A.MB");
  EXPECT_EQ(small->Size(), 10u);
  EXPECT_EQ(ReadAll(*small, 0, 4), "0123");
  EXPECT_EQ(ReadAll(*small, 7, 8), "789");  // short at the end
  EXPECT_EQ(ReadAll(*small, 10, 1), "");
  EXPECT_EQ(ReadAll(*small, 99, 1), "");
  EXPECT_THROW(small->WriteAt(0, "a", 1), EDBEngineError);
  EXPECT_THROW(small->Truncate(0), EDBEngineError);
}

TEST(WholeFileReads, FilesOpenedForWritingComeFromBelow) {
  testsupport::MemoryFileSystem base;
  base.Put("/m/A.MB", "0123");
  WholeFileReads reads(base, 100);
  reads.Open("/m/A.MB", OpenMode::ReadWrite)->WriteAt(0, "ab", 2);
  EXPECT_EQ(ReadAll(*base.Open("/m/A.MB", OpenMode::ReadOnly), 0, 4), "ab23");
  EXPECT_THROW(reads.Open("/m/NONE.MB", OpenMode::ReadOnly), EDBEngineError);
}

}  // namespace
}  // namespace engine
