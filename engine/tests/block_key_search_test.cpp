// Key search in the stored order of a keyed table goes through the first key of every block and
// keeps what it learned: it must find the same first row as a search over every row would, for
// keys shared by records in several blocks, keys between, below and above all others, searches
// by a leading part of the key, and after posts that move the blocks' first keys.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/bulk_table.h"
#include "component/table.h"
#include "io/file_system.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

// Group of record i: groups of 1, 2, 40, 3, 75, ... records (with 1 KiB blocks of 18 records, the
// large ones span several blocks and begin in the middle of one).
const std::vector<int> kGroupSizes = {1, 2, 40, 3, 75, 18, 19, 1, 36, 5};

std::string GroupName(size_t g) { return "G" + std::to_string(10 + 2 * g); }  // G10, G12, ... G28

class BlockKeySearchTest : public testing::Test {
 protected:
  void SetUp() override {
    TFieldDefs fields;
    fields.Add({"Gruppe", ftString, 10, false});
    fields.Add({"Nr", ftInteger, 0, false});
    fields.Add({"Name", ftString, 40, false});
    TIndexDefs indexes;
    indexes.Add({"", "Gruppe;Nr", "", ixPrimary | ixUnique});
    size_t group = 0;
    int inGroup = 0;
    const TBulkRowSource source = [&](TBulkRow& row) {
      while (group < kGroupSizes.size() && inGroup == kGroupSizes[group]) {
        ++group;
        inGroup = 0;
      }
      if (group == kGroupSizes.size()) return false;
      row.SetString(0, GroupName(group));
      row.SetInteger(1, inGroup + 1);
      row.SetString(2, "Satz " + std::to_string(inGroup));
      ++inGroup;
      return true;
    };
    CreateTableInBulk(DefaultFileSystem(), dir_.Path(), "GRUPPEN.DB", fields, indexes, 1024, source);
    table_.SetDatabaseName(dir_.Path());
    table_.SetTableName("GRUPPEN.DB");
    table_.Open();
  }

  // The first row whose group is `group` and (when given) whose number is `nr`, read row by row;
  // -1 when there is none.
  int FirstRowOf(const std::string& group, int nr = 0) {
    for (int row = 0; row < table_.RecordCount(); ++row) {
      table_.MoveTo(row);
      if (table_.Fields(0).AsString() == group && (nr == 0 || table_.Fields(1).AsInteger() == nr)) return row;
    }
    return -1;
  }

  // FindKey finds exactly the rows a search over every row finds, for every group and for
  // texts between, below and above them.
  void ExpectEveryGroupFound() {
    std::vector<std::string> keys = {"A", "G", "G1", "G105", "G29", "Z"};
    for (size_t g = 0; g < kGroupSizes.size(); ++g) keys.push_back(GroupName(g));
    keys.push_back("G15");
    for (const std::string& key : keys) {
      const int expected = FirstRowOf(key);
      table_.First();
      EXPECT_EQ(table_.FindKey({key}), expected >= 0) << key;
      if (expected >= 0) EXPECT_EQ(table_.RecNo(), expected) << key;
    }
  }

  testsupport::TempDir dir_;
  TTable table_;
};

TEST_F(BlockKeySearchTest, FindsTheFirstRowOfEveryGroupWhereverItsBlocksBegin) {
  ExpectEveryGroupFound();
  ExpectEveryGroupFound();  // again, from the first keys learned
  for (const auto& [group, nr] : std::vector<std::pair<std::string, int>>{{"G14", 1}, {"G14", 40}, {"G18", 37},
                                                                            {"G18", 75}, {"G10", 1}, {"G28", 5}}) {
    ASSERT_TRUE(table_.FindKey({group, std::to_string(nr)})) << group << " " << nr;
    EXPECT_EQ(table_.RecNo(), FirstRowOf(group, nr));
  }
  EXPECT_FALSE(table_.FindKey({"G18", "76"}));
  EXPECT_FALSE(table_.FindKey({"G28", "6"}));
}

TEST_F(BlockKeySearchTest, FindsWhatPostsMovedIntoOrOutOfTheBlocks) {
  ExpectEveryGroupFound();
  // A new group between two others, and a group that loses its first records.
  table_.Append();
  table_.Fields(0).SetAsString("G15");
  table_.Fields(1).SetAsInteger(1);
  table_.Post();
  ASSERT_TRUE(table_.FindKey({"G18", "1"}));
  for (int k = 0; k < 20; ++k) table_.Delete();
  ExpectEveryGroupFound();
  ASSERT_TRUE(table_.FindKey({"G18"}));
  EXPECT_EQ(table_.Fields(1).AsInteger(), 21);
  // A record whose key changes moves to its new place.
  ASSERT_TRUE(table_.FindKey({"G26"}));
  table_.Edit();
  table_.Fields(0).SetAsString("G11");
  table_.Post();
  ExpectEveryGroupFound();
  EXPECT_TRUE(table_.FindKey({"G11"}));
  EXPECT_TRUE(table_.FindKey({"G26", "2"}));
  EXPECT_FALSE(table_.FindKey({"G26", "1"}));
}

}  // namespace
}  // namespace engine
