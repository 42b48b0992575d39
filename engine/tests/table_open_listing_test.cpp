// Opening a table to count its records must not list its directory: a scan opens every table
// of a folder, and one listing per table makes the scan quadratic in the folder's size. The
// directory is listed once the index definitions or a blob in the .MB are needed.

#include <gtest/gtest.h>

#include "component/table.h"
#include "io/file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

class ListCountingFileSystem : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    return DefaultFileSystem().Open(path, mode);
  }
  bool Exists(const std::string& path) override { return DefaultFileSystem().Exists(path); }
  void Remove(const std::string& path) override { DefaultFileSystem().Remove(path); }
  void Rename(const std::string& from, const std::string& to) override { DefaultFileSystem().Rename(from, to); }
  std::vector<std::string> List(const std::string& dir) override {
    ++lists;
    return DefaultFileSystem().List(dir);
  }
  void SyncDir(const std::string& dir) override { DefaultFileSystem().SyncDir(dir); }
  std::unique_ptr<TableLock> Lock(const std::string& path, bool exclusive) override {
    return DefaultFileSystem().Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override { return DefaultFileSystem().CanonicalPath(path); }
  int lists = 0;
};

TEST(TableOpenListing, CountingRecordsListsNoDirectoryButIndexDefinitionsDo) {
  SKIP_WITHOUT_FIXTURES();
  testsupport::TempDir dir;
  // Keyed, with a secondary index file and a memo field in a .MB.
  testsupport::CopyTable(testsupport::fixtures::KeyedWithBlobs(), dir.Path());
  ListCountingFileSystem fs;
  TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName(dir.Path());
  t.SetTableName("CUSTOMER.DB");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 20);
  EXPECT_EQ(t.FieldByName("CustNo").AsString(), "1");
  EXPECT_EQ(fs.lists, 0);

  EXPECT_EQ(t.IndexDefs().Count(), 2);
  EXPECT_EQ(t.IndexDefs()[1].Fields, "City");
  EXPECT_EQ(fs.lists, 1);
  // Found once per open: further questions read nothing again.
  t.SetIndexName(t.IndexDefs()[1].Name);
  EXPECT_EQ(fs.lists, 1);
}

}  // namespace
}  // namespace engine
