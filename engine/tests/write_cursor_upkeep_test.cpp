// After posts and deletes the open table keeps its rows in step with what it wrote, without
// reading the files again: in every order it must show exactly what a freshly opened table
// shows, and after a post the posted record must be the current one.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "component/table.h"
#include "format/data_block.h"
#include "format/table_header.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/forwarding_file_system.h"
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

// The same for the .PX (at least `primaryLevels` levels) and both .Ys (`secondaryLevels`).
void ExpectTreesAsWrittenWhole(testsupport::MemoryFileSystem& fs, int primaryLevels, int secondaryLevels) {
  ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.PX", "/mem/POSTEN.DB", primaryLevels);
  ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.Y02", "/mem/POSTEN.X02", secondaryLevels);
  ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.YG0", "/mem/POSTEN.XG0", secondaryLevels);
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
    ExpectTreesAsWrittenWhole(fs, 1, 2);
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
// POSTEN.DB with key, indexes and 1500 records in shuffled key order over many 1 KiB blocks.
void CreateFilled(testsupport::MemoryFileSystem& fs, const UpkeepCase& c, std::mt19937& random) {
  TTable t;
  Create(fs, t, c);
  t.Open();
  std::vector<int> keys(1500);
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = static_cast<int>(i) * 3 + 1;
  std::shuffle(keys.begin(), keys.end(), random);
  for (int key : keys) {
    t.Append();
    t.Fields(0).SetAsInteger(key);
    t.Fields(1).SetAsString(GroupText(random));
    t.Post();
  }
}

// The same with a generator of its own, seeded with `seed`.
void CreateFilled(testsupport::MemoryFileSystem& fs, const UpkeepCase& c, unsigned seed) {
  std::mt19937 random(seed);
  CreateFilled(fs, c, random);
}

TEST(WriteCursorUpkeepReopened, TheFirstPostKeepsTreesThatAgreeAndWritesOthersWhole) {
  const UpkeepCase c{"Reopened", true, "Gruppe"};
  testsupport::MemoryFileSystem fs;
  std::mt19937 random(5);
  CreateFilled(fs, c, random);
  TTable t;
  Name(fs, t);
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
    ExpectTreesAsWrittenWhole(fs, 2, 1);
  }
}

// Counts the bytes read from each file's blocks (past its start, where the header is read).
class ReadBytesFileSystem : public engine::ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    return std::make_unique<CountedFile>(Base().Open(path, mode), bytes[path]);
  }
  // Sets every count back to 0 (the open files keep counting into them).
  void Reset() {
    for (auto& [path, n] : bytes) n = 0;
  }
  std::map<std::string, uint64_t> bytes;

 private:
  class CountedFile : public engine::File {
   public:
    CountedFile(std::unique_ptr<engine::File> file, uint64_t& read) : file_(std::move(file)), read_(read) {}
    const std::string& Path() const override { return file_->Path(); }
    uint64_t Size() const override { return file_->Size(); }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
      const size_t got = file_->ReadAt(offset, dst, n);
      if (offset > 0) read_ += got;
      return got;
    }
    void WriteAt(uint64_t offset, const void* src, size_t n) override { file_->WriteAt(offset, src, n); }
    void Truncate(uint64_t size) override { file_->Truncate(size); }
    void Sync() override { file_->Sync(); }

   private:
    std::unique_ptr<engine::File> file_;
    uint64_t& read_;
  };
};

TEST(WriteCursorUpkeepReopened, TheFirstPostsAfterOpenTakeTheChainsFromAgreeingTreesAndReadFewBlocks) {
  const UpkeepCase c{"Reopened", true, ""};
  testsupport::MemoryFileSystem memory;
  CreateFilled(memory, c, 11);
  ReadBytesFileSystem fs(memory);
  TTable t;
  Name(memory, t);
  t.SetFileSystem(&fs);
  t.Open();
  fs.Reset();
  t.Append();
  EXPECT_EQ(t.RecNo(), 1500);  // the new row after the last one, counted without a walk
  t.Fields(0).SetAsInteger(10000);
  t.Fields(1).SetAsString("Gruppe 9");
  t.Post();
  t.MoveTo(3);
  t.Edit();
  t.Fields(1).SetAsString("Gruppe 7");
  t.Post();
  // A walk of a chain reads every one of its blocks; the tree files are read whole once.
  for (const char* data : {"/mem/POSTEN.DB", "/mem/POSTEN.X02", "/mem/POSTEN.XG0"}) {
    SCOPED_TRACE(data);
    const engine::TableHeader h = engine::ReadFileHeader(memory, data);
    ASSERT_GT(h.usedBlocks, 20);
    EXPECT_LT(fs.bytes[data], uint64_t{h.usedBlocks} * h.BlockBytes() / 4);
  }
  fs.Reset();
  EXPECT_EQ(t.RecordCount(), 1501);  // the cursor took the writer's chain whole
  EXPECT_EQ(fs.bytes["/mem/POSTEN.DB"], 0u);
  ExpectSameAsFresh(memory, t, c, 0);
  t.Close();
  ExpectTreesAsWrittenWhole(memory, 2, 1);
}

// A table whose files another table object changed since its open counts its new row through a
// writer that finds it stale: the post must still read the files anew, not take over only its
// own change.
TEST(WriteCursorUpkeepReopened, AnAppendOnATableChangedElsewhereSeesTheOtherChangeAfterItsPost) {
  const UpkeepCase c{"Reopened", true, ""};
  testsupport::MemoryFileSystem memory;
  CreateFilled(memory, c, 5);
  TTable a, b;
  Name(memory, a);
  Name(memory, b);
  a.Open();
  a.First();
  const std::string firstGroup = a.Fields(1).AsString();  // the first block is in a's cache now
  b.Open();
  b.First();
  b.Edit();
  b.Fields(1).SetAsString(firstGroup + " neu");
  b.Post();
  a.Append();
  a.Fields(0).SetAsInteger(20003);
  a.Fields(1).SetAsString("Gruppe 2");
  a.Post();
  EXPECT_EQ(a.RecordCount(), 1501);
  ExpectSameAsFresh(memory, a, c, 0);
}

// Another program that writes the .PX anew between two posts may spell its name otherwise: the
// next post writes the file the folder holds, and no second .PX appears beside it.
TEST(WriteCursorUpkeepReopened, APrimaryIndexRenamedBetweenPostsIsWrittenUnderItsNewName) {
  const UpkeepCase c{"Reopened", true, ""};
  testsupport::MemoryFileSystem memory;
  CreateFilled(memory, c, 6);
  TTable a;
  Name(memory, a);
  a.Open();
  for (const int nr : {20001, 20002}) {
    a.Append();
    a.Fields(0).SetAsInteger(nr);
    a.Fields(1).SetAsString("Gruppe 1");
    a.Post();
    if (nr == 20001) memory.Rename("/mem/POSTEN.PX", "/mem/posten.px");
  }
  std::vector<std::string> primaries;
  for (const std::string& name : memory.List("/mem/"))
    if (name == "POSTEN.PX" || name == "posten.px") primaries.push_back(name);
  EXPECT_EQ(primaries, std::vector<std::string>{"posten.px"});
  ExpectSameAsFresh(memory, a, c, 0);
}

// Changes the block header of `block` in the data file at `path` with `change`.
void ChangeBlockHeader(testsupport::MemoryFileSystem& fs, const std::string& path, uint16_t block,
                       const std::function<void(uint8_t* head, const engine::TableHeader& h)>& change) {
  std::string bytes = fs.Contents(path);
  const engine::TableHeader h = engine::ReadFileHeader(fs, path);
  change(reinterpret_cast<uint8_t*>(bytes.data() + h.BlockOffset(block)), h);
  fs.Put(path, bytes);
}

void DropOneRecord(uint8_t* head, const engine::TableHeader& h) {
  const int offset = engine::coding::GetS16(head + engine::blk::kLastRecordOffset) - h.recordSize;
  engine::coding::PutU16(head + engine::blk::kLastRecordOffset, static_cast<uint16_t>(offset));
}

// A tree file that agrees with its data file by stamp and counts gives the chain, but every
// block a post touches is checked against it first: a block that disagrees (as a walk of the
// chain would find) refuses the post before any file changes; a tree that disagrees with its
// data file's header is not taken, and the chain is walked.
TEST(WriteCursorUpkeepReopened, ABlockThatDisagreesWithTheTreeRefusesThePostAndATreeThatDisagreesIsNotTaken) {
  const UpkeepCase c{"Reopened", true, ""};
  testsupport::MemoryFileSystem fs;
  CreateFilled(fs, c, 12);
  const auto sound = fs.Snapshot();
  const engine::TableHeader db = engine::ReadFileHeader(fs, "/mem/POSTEN.DB");
  const engine::TableHeader x = engine::ReadFileHeader(fs, "/mem/POSTEN.X02");
  struct Round {
    const char* name;
    std::function<void()> damage;
    bool refused;
    int key;  // of the record appended: 0 goes to the first block, 10000 to the last
  };
  const std::vector<Round> rounds = {
      {"letzter Block der .DB mit einem Satz weniger",
       [&] { ChangeBlockHeader(fs, "/mem/POSTEN.DB", db.lastBlock, DropOneRecord); }, true, 10000},
      {"erster Block der .DB zeigt auf einen falschen Nachfolger",
       [&] {
         ChangeBlockHeader(fs, "/mem/POSTEN.DB", db.firstBlock, [&](uint8_t* head, const engine::TableHeader&) {
           engine::coding::PutU16(head + engine::blk::kNext, db.lastBlock);
         });
       },
       true, 0},
      {"jeder Block der .X02 mit einem Satz weniger",
       [&] {
         for (uint16_t b = 1; b <= x.fileBlocks; ++b) ChangeBlockHeader(fs, "/mem/POSTEN.X02", b, DropOneRecord);
       },
       true, 10000},
      {".PX mit veraltetem Stempel",
       [&] {
         std::string px = fs.Contents("/mem/POSTEN.PX");
         px[0x2C] = static_cast<char>(px[0x2C] + 1);
         fs.Put("/mem/POSTEN.PX", px);
       },
       false, 0},
      {".Y02 mit einem Eintrag zu viel gezählt",
       [&] {
         std::string y = fs.Contents("/mem/POSTEN.Y02");
         const engine::TableHeader yh = engine::ReadFileHeader(fs, "/mem/POSTEN.Y02");
         y[yh.headerSize + yh.BlockBytes() + 6 + (yh.recordSize - 6u) + 3] ^= 1;  // first level-1 count
         fs.Put("/mem/POSTEN.Y02", y);
       },
       false, 10000},
  };
  for (const Round& round : rounds) {
    SCOPED_TRACE(round.name);
    fs.Restore(sound);
    round.damage();
    const auto before = fs.Snapshot();
    TTable t;
    Name(fs, t);
    t.Open();
    t.Append();
    t.Fields(0).SetAsInteger(round.key);
    t.Fields(1).SetAsString("Gruppe 1");
    if (round.refused) {
      try {
        t.Post();
        ADD_FAILURE() << "Post nicht abgewiesen";
      } catch (const engine::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), engine::kErrCorrupt);
        EXPECT_NE(std::string(e.what()).find("Blockkette"), std::string::npos) << e.what();
      }
      t.Cancel();
      t.Close();
      EXPECT_TRUE(fs.Snapshot() == before);
      continue;
    }
    t.Post();
    ExpectSameAsFresh(fs, t, c, 0);
    t.Close();
    ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.PX", "/mem/POSTEN.DB", 2);
    ExpectTreeAsWrittenWhole(fs, "/mem/POSTEN.Y02", "/mem/POSTEN.X02", 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Orders, WriteCursorUpkeep,
    testing::Values(UpkeepCase{"KeyedStored", true, ""}, UpkeepCase{"KeyedGroup", true, "Gruppe"},
                    UpkeepCase{"KeyedGroupPriceCaseInsensitive", true, "GruppePreis"},
                    UpkeepCase{"UnkeyedGroup", false, "Gruppe"}, UpkeepCase{"UnkeyedStored", false, ""}),
    [](const testing::TestParamInfo<UpkeepCase>& info) { return std::string(info.param.name); });

}  // namespace
