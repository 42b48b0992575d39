// Secondary indexes kept up entry by entry over many posts and deletes (with block splits and
// records moving between blocks) must hold exactly what a rebuild from the data would write.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "component/table.h"
#include "family/index_maintenance.h"
#include "storage/record_writer.h"
#include "storage/secondary_index.h"
#include "testsupport/chain_records.h"
#include "testsupport/memory_file_system.h"

namespace {

using engine::TTable;
using testsupport::ChainRecords;

TEST(WriteIndexUpkeep, EntryByEntryEqualsARebuild) {
  testsupport::MemoryFileSystem fs;
  TTable t;
  t.SetFileSystem(&fs);
  t.SetDatabaseName("/mem/");
  t.SetTableName("ARTIKEL.DB");
  t.FieldDefs().Add({"Nr", engine::ftInteger, 0, false});
  t.FieldDefs().Add({"Gruppe", engine::ftString, 150, false});
  t.FieldDefs().Add({"Preis", engine::ftCurrency, 0, false});
  t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
  t.IndexDefs().Add({"Gruppe", "Gruppe", "", 0});
  t.IndexDefs().Add({"GruppePreis", "Gruppe;Preis", "Preis", engine::ixCaseInsensitive});
  t.SetCreateBlockSize(1024);
  t.CreateTable();
  t.Open();
  std::mt19937 random(7);
  std::vector<int> present;
  for (int step = 0; step < 400; ++step) {
    const int action = static_cast<int>(random() % 10);
    if (action < 6 || present.empty()) {
      const int key = static_cast<int>(random() % 1000) + 1;
      if (std::find(present.begin(), present.end(), key) != present.end()) continue;
      t.Append();
      t.Fields(0).SetAsInteger(key);
      t.Fields(1).SetAsString(random() % 2 ? "gruppe " + std::to_string(key % 7) : "Gruppe " + std::to_string(key % 5));
      t.Fields(2).SetAsFloat(static_cast<double>(random() % 100) / 4.0);
      t.Post();
      present.push_back(key);
    } else if (action < 8) {
      t.MoveTo(static_cast<int>(random() % present.size()));
      t.Edit();
      t.Fields(2).SetAsFloat(static_cast<double>(random() % 100));
      t.Post();
    } else {
      t.MoveTo(static_cast<int>(random() % present.size()));
      const int key = t.Fields(0).AsInteger();
      t.Delete();
      present.erase(std::find(present.begin(), present.end(), key));
    }
  }
  ASSERT_EQ(t.RecordCount(), static_cast<int>(present.size()));
  t.Close();

  std::vector<std::vector<std::string>> upkept;
  for (const char* x : {"/mem/ARTIKEL.X02", "/mem/ARTIKEL.XG0"}) upkept.push_back(ChainRecords(fs, x));
  engine::RecordWriter data(fs, "/mem/ARTIKEL.DB");
  const auto secondaries = engine::DiscoverSecondaryIndexes(fs, "/mem/", "ARTIKEL", data.Header());
  ASSERT_EQ(secondaries.size(), 2u);
  engine::RebuildIndexFiles(fs, "/mem/", "ARTIKEL.DB", data, secondaries);
  size_t k = 0;
  for (const char* x : {"/mem/ARTIKEL.X02", "/mem/ARTIKEL.XG0"}) {
    SCOPED_TRACE(x);
    const auto rebuilt = ChainRecords(fs, x);
    EXPECT_EQ(rebuilt.size(), present.size());
    EXPECT_TRUE(upkept[k++] == rebuilt);
  }
}

}  // namespace
