// After posts and deletes the open table keeps its rows in step with what it wrote, without
// reading the files again: in every order it must show exactly what a freshly opened table
// shows, and after a post the posted record must be the current one.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "component/table.h"
#include "format/table_header.h"
#include "io/file_system.h"
#include "storage/header_reader.h"
#include "storage/index_builder.h"
#include "storage/record_writer.h"
#include "testsupport/memory_file_system.h"

namespace {

using engine::TTable;

struct UpkeepCase {
  const char* name;
  bool keyed;
  const char* order;  // index selected while changing; empty = stored order
};

void PrintTo(const UpkeepCase& c, std::ostream* os) { *os << c.name; }

void Describe(TTable& t, const UpkeepCase& c) {
  t.FieldDefs().Add({"Nr", engine::ftInteger, 0, c.keyed});
  t.FieldDefs().Add({"Gruppe", engine::ftString, 120, false});
  t.FieldDefs().Add({"Preis", engine::ftCurrency, 0, false});
  if (c.keyed) t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
  t.IndexDefs().Add({"Gruppe", "Gruppe", "", 0});
  t.IndexDefs().Add({"GruppePreis", "Gruppe;Preis", "Preis", engine::ixCaseInsensitive});
}

// Points `t` at POSTEN.DB in `fs`.
void Name(testsupport::MemoryFileSystem& fs, TTable& t) {
  t.SetFileSystem(&fs);
  t.SetDatabaseName("/mem/");
  t.SetTableName("POSTEN.DB");
}

// Creates POSTEN.DB in `fs` through `t` as `c` describes it, with 1 KiB blocks.
void Create(testsupport::MemoryFileSystem& fs, TTable& t, const UpkeepCase& c) {
  Name(fs, t);
  Describe(t, c);
  t.SetCreateBlockSize(1024);
  t.CreateTable();
}

std::vector<std::string> Rows(TTable& t) {
  std::vector<std::string> rows;
  for (int row = 0; row < t.RecordCount(); ++row) {
    std::string text;
    for (int field = 0; field < 3; ++field) text += t.CellText(row, field) + "|";
    rows.push_back(text);
  }
  return rows;
}

// The rows of the open table `t` against those of the same table opened anew.
void ExpectSameAsFresh(testsupport::MemoryFileSystem& fs, TTable& t, const UpkeepCase& c, int step) {
  TTable fresh;
  Name(fs, fresh);
  fresh.SetIndexName(c.order);
  fresh.Open();
  ASSERT_EQ(t.RecordCount(), fresh.RecordCount()) << "step " << step;
  EXPECT_TRUE(Rows(t) == Rows(fresh)) << "step " << step;
}

// A tree file rewritten piece by piece over many posts must hold exactly the bytes that
// writing it whole from the blocks of its data file gives.
void ExpectTreeAsWrittenWhole(testsupport::MemoryFileSystem& fs, const std::string& tree,
                              const std::string& data, int minLevels) {
  SCOPED_TRACE(tree);
  const std::string bytes = fs.Contents(tree);
  const engine::TableHeader h =
      engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), tree);
  EXPECT_GE(h.numIndexLevels, minLevels);
  engine::RecordWriter blocks(fs, data);
  auto whole = fs.Open("/mem/WHOLE.TRE", engine::OpenMode::CreateTruncate);
  engine::WriteTreeFile(*whole, h, blocks.BlockEntries(h.recordSize - 6u));
  whole.reset();
  EXPECT_TRUE(fs.Contents("/mem/WHOLE.TRE") == bytes);
}

std::string GroupText(std::mt19937& random) {
  const int g = static_cast<int>(random() % 6);
  return (random() % 2 ? "gruppe " : "Gruppe ") + std::to_string(g);
}

// Enough changes for trees of more than one level over 1 KiB blocks.
constexpr int kSteps = 2000;

class WriteCursorUpkeep : public testing::TestWithParam<UpkeepCase> {};

TEST_P(WriteCursorUpkeep, RowsEqualAFreshlyOpenedTable) {
  const UpkeepCase& c = GetParam();
  testsupport::MemoryFileSystem fs;
  TTable t;
  Create(fs, t, c);
  t.SetIndexName(c.order);
  t.Open();
  std::mt19937 random(11);
  std::vector<int> present;
  for (int step = 0; step < kSteps; ++step) {
    const int action = static_cast<int>(random() % 10);
    if (action < 6 || present.empty()) {
      const int key = static_cast<int>(random() % 5000) + 1;
      if (std::find(present.begin(), present.end(), key) != present.end()) continue;
      if (!c.keyed && t.RecordCount() > 0 && action % 2 == 0) {
        t.MoveTo(static_cast<int>(random() % present.size()));
        t.Insert();
      } else {
        t.Append();
      }
      t.Fields(0).SetAsInteger(key);
      t.Fields(1).SetAsString(GroupText(random));
      t.Fields(2).SetAsFloat(static_cast<double>(random() % 40) / 4.0);
      t.Post();
      ASSERT_EQ(t.Fields(0).AsInteger(), key) << "step " << step;
      present.push_back(key);
    } else if (action < 9) {
      t.MoveTo(static_cast<int>(random() % present.size()));
      const int old = t.Fields(0).AsInteger();
      int key = old;
      t.Edit();
      if (action == 6) {
        key = static_cast<int>(random() % 5000) + 1;
        if (std::find(present.begin(), present.end(), key) != present.end()) key = old;
        t.Fields(0).SetAsInteger(key);
      } else if (action == 7) {
        t.Fields(1).SetAsString(GroupText(random));
      } else {
        t.Fields(2).SetAsFloat(static_cast<double>(random() % 40) / 4.0);
      }
      t.Post();
      ASSERT_EQ(t.Fields(0).AsInteger(), key) << "step " << step;
      *std::find(present.begin(), present.end(), old) = key;
    } else {
      t.MoveTo(static_cast<int>(random() % present.size()));
      const int key = t.Fields(0).AsInteger();
      t.Delete();
      present.erase(std::find(present.begin(), present.end(), key));
    }
    if (step % 100 == 99) ExpectSameAsFresh(fs, t, c, step);
  }
  ExpectSameAsFresh(fs, t, c, kSteps);
  // The orders not selected while changing were dropped and are built again from the files.
  for (const char* other : {"", "Gruppe", "GruppePreis"}) {
    SCOPED_TRACE(other);
    t.SetIndexName(other);
    const UpkeepCase now{c.name, c.keyed, other};
    ExpectSameAsFresh(fs, t, now, kSteps);
  }
  ASSERT_GT(t.RecordCount(), 600);
  t.Close();
  if (c.keyed) {
    ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.PX", "/mem/POSTEN.DB", 1);
    ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.Y02", "/mem/POSTEN.X02", 2);
    ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.YG0", "/mem/POSTEN.XG0", 2);
  }
}

// A second table object on the same files changes them between posts of the first one: the
// first must then read the files again instead of taking over only its own change.
TEST(WriteCursorUpkeepShared, PostsOfAnotherTableAreSeen) {
  const UpkeepCase c{"Shared", true, "Gruppe"};
  testsupport::MemoryFileSystem fs;
  TTable a;
  Create(fs, a, c);
  TTable b;
  Name(fs, b);
  a.SetIndexName(c.order);
  a.Open();
  b.Open();
  for (int key = 1; key <= 60; ++key) {
    if (key % 3 == 0) {
      // The other table moves a record to another group: as many rows, in another order.
      b.Refresh();
      b.MoveTo(key % b.RecordCount());
      b.Edit();
      b.Fields(1).SetAsString("Gruppe " + std::to_string(key % 5));
      b.Post();
      continue;
    }
    a.Append();
    a.Fields(0).SetAsInteger(key % 2 ? key : 1000 - key);
    a.Fields(1).SetAsString("Gruppe " + std::to_string(key % 4));
    a.Post();
    ASSERT_EQ(a.Fields(0).AsInteger(), key % 2 ? key : 1000 - key) << "key " << key;
    ExpectSameAsFresh(fs, a, c, key);
  }
}

// A table opened anew: its writer takes the chain from the open table's walk and keeps a .PX
// and .Y that agree with their data files, changing them entry by entry from the first post
// on; a .PX whose entries or stamp disagree is written whole again. Either way each tree ends
// as writing it whole gives, and the rows as a fresh table shows them.
TEST(WriteCursorUpkeepReopened, TheFirstPostKeepsTreesThatAgreeAndWritesOthersWhole) {
  const UpkeepCase c{"Reopened", true, "Gruppe"};
  testsupport::MemoryFileSystem fs;
  TTable t;
  Create(fs, t, c);
  t.Open();
  std::mt19937 random(5);
  std::vector<int> keys(1500);
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = static_cast<int>(i) * 3 + 1;
  std::shuffle(keys.begin(), keys.end(), random);
  for (int key : keys) {
    t.Append();
    t.Fields(0).SetAsInteger(key);
    t.Fields(1).SetAsString(GroupText(random));
    t.Post();
  }
  t.Close();
  const std::string px = "/mem/POSTEN.PX";
  for (const char* round : {"einig", "Satzanzahl eines Eintrags falsch", "Stempel veraltet"}) {
    SCOPED_TRACE(round);
    std::string bytes = fs.Contents(px);
    const engine::TableHeader h = engine::ReadFileHeader(fs, px);
    ASSERT_GE(h.numIndexLevels, 2);
    if (round[0] == 'S' && round[1] == 'a') {
      // The low byte of the first level-1 entry's count (block 2 holds the first entries).
      bytes[h.headerSize + h.BlockBytes() + 6 + (h.recordSize - 6u) + 3] ^= 1;
      fs.Put(px, bytes);
    } else if (round[0] == 'S') {
      bytes[0x2C] = static_cast<char>(bytes[0x2C] + 1);
      fs.Put(px, bytes);
    }
    t.SetIndexName(c.order);
    t.Open();
    t.Append();
    t.Fields(0).SetAsInteger(static_cast<int>(random() % 3000) * 3 + 2);
    t.Fields(1).SetAsString(GroupText(random));
    t.Post();
    t.MoveTo(static_cast<int>(random() % static_cast<unsigned>(t.RecordCount())));
    t.Edit();
    t.Fields(1).SetAsString(GroupText(random));
    t.Post();
    t.MoveTo(static_cast<int>(random() % static_cast<unsigned>(t.RecordCount())));
    t.Delete();
    ExpectSameAsFresh(fs, t, c, 0);
    t.Close();
    ExpectTreeAsWrittenWhole(fs, px, "/mem/POSTEN.DB", 2);
    ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.Y02", "/mem/POSTEN.X02", 1);
    ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.YG0", "/mem/POSTEN.XG0", 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Orders, WriteCursorUpkeep,
    testing::Values(UpkeepCase{"KeyedStored", true, ""}, UpkeepCase{"KeyedGroup", true, "Gruppe"},
                    UpkeepCase{"KeyedGroupPriceCaseInsensitive", true, "GruppePreis"},
                    UpkeepCase{"UnkeyedGroup", false, "Gruppe"}, UpkeepCase{"UnkeyedStored", false, ""}),
    [](const testing::TestParamInfo<UpkeepCase>& info) { return std::string(info.param.name); });

}  // namespace
