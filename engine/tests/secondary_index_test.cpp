// Secondary indexes of the sample tables: their definitions, the order read from the index
// files, and the fallback to sorting when an index file is stale, damaged or missing.

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <random>

#include "component/definitions.h"
#include "family/table_cursor.h"
#include "io/file_system.h"
#include "storage/data_file.h"
#include "storage/secondary_index.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::CopyTable;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

std::unique_ptr<TableCursor> OpenCopy(const std::filesystem::path& sample, const TempDir& dir) {
  CopyTable(sample, dir.Path());
  return TableCursor::Open(DefaultFileSystem(), dir.Path(), sample.filename().string());
}

// The order an in-memory sort by the index fields gives.
std::vector<uint32_t> SortedOrder(TableCursor& c, const SecondaryIndex& ix) {
  std::vector<std::string> keys;
  for (uint32_t r = 0; r < c.RowCount(); ++r) keys.push_back(IndexSortKey(ix.def, c.Header(), c.Data().Record(r)));
  std::vector<uint32_t> order(c.RowCount());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
  return order;
}

TEST(SecondaryIndex, DefinitionsOfTheSampleTables) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    std::filesystem::path table;
    std::vector<std::string> names, fields, descFields;
    std::vector<bool> caseInsensitive;
  };
  const std::vector<Case> cases = {
      {fixtures::KeyedWithBlobs(), {"City"}, {"City"}, {""}, {false}},
      {fixtures::BlockSize16K(), {"ste"}, {"State"}, {""}, {true}},
      {fixtures::TwoSecondaryIndexes(), {"A", "B"}, {"A", "B"}, {"", ""}, {false, false}},
      {fixtures::CompositeSecondaryIndex(), {"reference"}, {"FK1;FK"}, {""}, {false}},
      {fixtures::DescendingSecondaryIndex(), {"Descending"}, {"Indexed"}, {"Indexed"}, {true}},
      {fixtures::UnkeyedWithSecondaryIndex(), {"C"}, {"C"}, {""}, {false}},
      {fixtures::AllFieldTypes(), {"TIMEINDEX"}, {"TIME"}, {""}, {true}},
      {fixtures::AllFieldTypesLevel7(), {"Numerisch", "Zähler"}, {"Numerisch", "Zähler"}, {"", ""}, {false, false}},
      {fixtures::KeyedWithoutSecondaryIndex(), {}, {}, {}, {}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    auto cursor = OpenCopy(c.table, dir);
    const auto& ix = cursor->Secondaries();
    ASSERT_EQ(ix.size(), c.names.size()) << c.table;
    for (size_t i = 0; i < ix.size(); ++i) {
      const TIndexDef def = IndexDefOf(ix[i].def, cursor->Header());
      EXPECT_EQ(def.Name, c.names[i]) << c.table;
      EXPECT_EQ(def.Fields, c.fields[i]) << c.table;
      EXPECT_EQ(def.DescFields, c.descFields[i]) << c.table;
      EXPECT_EQ(ix[i].def.caseInsensitive, c.caseInsensitive[i]) << c.table;
    }
  }
}

// Where an index file is used, its order sorts the rows by the index fields (ties by key).
TEST(SecondaryIndex, OrderFromIndexFilesSortsByTheIndexFields) {
  SKIP_WITHOUT_FIXTURES();
  const std::vector<std::filesystem::path> tables = {
      fixtures::KeyedWithBlobs(),          fixtures::BlockSize16K(),        fixtures::TwoSecondaryIndexes(),
      fixtures::CompositeSecondaryIndex(), fixtures::AllFieldTypes(),       fixtures::LargeWithSecondaryIndex(),
      fixtures::AllFieldTypesLevel7(),
  };
  for (const auto& table : tables) {
    TempDir dir;
    auto cursor = OpenCopy(table, dir);
    for (size_t k = 0; k < cursor->Secondaries().size(); ++k) {
      const SecondaryIndex& ix = cursor->Secondaries()[k];
      std::string note;
      const auto order = SecondaryOrder(DefaultFileSystem(), ix, cursor->Data(), &note);
      if (ix.maintained) {
        EXPECT_EQ(note, "") << table;
      }
      ASSERT_EQ(order.size(), cursor->RowCount()) << table;
      for (size_t i = 1; i < order.size(); ++i) {
        const std::string a = IndexSortKey(ix.def, cursor->Header(), cursor->Data().Record(order[i - 1]));
        const std::string b = IndexSortKey(ix.def, cursor->Header(), cursor->Data().Record(order[i]));
        EXPECT_LE(a, b) << table << " " << ix.def.name << " position " << i;
      }
    }
  }
}

// A stale, damaged or missing index file gives way to sorting the rows.
TEST(SecondaryIndex, UnusableIndexFilesFallBackToSorting) {
  SKIP_WITHOUT_FIXTURES();
  const std::filesystem::path table = fixtures::KeyedWithBlobs();
  struct Case {
    const char* name;
    std::function<void(const std::string& xPath)> damage;
  };
  const std::vector<Case> cases = {
      {"entry count differs", [](const std::string& p) {
         auto b = ReadBytes(p);
         const uint16_t headerSize = static_cast<uint16_t>(b[2] | (b[3] << 8));
         b[headerSize + 4] = static_cast<uint8_t>(b[headerSize + 4] - 21);  // one entry fewer
         WriteBytes(p, b);
       }},
      {"entry points to no record", [](const std::string& p) {
         auto b = ReadBytes(p);
         const uint16_t headerSize = static_cast<uint16_t>(b[2] | (b[3] << 8));
         b[headerSize + 6 + 15 + 3] ^= 0x55;  // key bytes of the first entry
         WriteBytes(p, b);
       }},
      {"index value differs from the record", [](const std::string& p) {
         auto b = ReadBytes(p);
         const uint16_t headerSize = static_cast<uint16_t>(b[2] | (b[3] << 8));
         b[headerSize + 6] = 'z';
         WriteBytes(p, b);
       }},
      {"chain loop", [](const std::string& p) {
         auto b = ReadBytes(p);
         const uint16_t headerSize = static_cast<uint16_t>(b[2] | (b[3] << 8));
         b[headerSize] = 1;  // block 1 → block 1
         b[headerSize + 1] = 0;
         b[0x10] = 9;  // last block never reached
         WriteBytes(p, b);
       }},
      {"garbage header", [](const std::string& p) { WriteBytes(p, std::vector<uint8_t>(3000, 0xEE)); }},
      {"file removed", [](const std::string& p) { std::filesystem::remove(p); }},
  };
  for (const auto& c : cases) {
    TempDir dir;
    auto cursor = OpenCopy(table, dir);
    ASSERT_EQ(cursor->Secondaries().size(), 1u);
    const SecondaryIndex& ix = cursor->Secondaries()[0];
    std::string note;
    const auto good = SecondaryOrder(DefaultFileSystem(), ix, cursor->Data(), &note);
    ASSERT_EQ(note, "");
    c.damage(ix.path);
    const auto fallback = SecondaryOrder(DefaultFileSystem(), ix, cursor->Data(), &note);
    EXPECT_NE(note, "") << c.name;
    EXPECT_EQ(fallback, SortedOrder(*cursor, ix)) << c.name;
    EXPECT_EQ(fallback, good) << c.name << ": the sample's index agrees with the sorted order";
  }
}

// An index file whose entries all map but stand out of order is not trusted where the order
// is byte order (numbers here).
TEST(SecondaryIndex, EntriesOutOfOrderFallBackToSorting) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  auto cursor = OpenCopy(fixtures::TwoSecondaryIndexes(), dir);
  const SecondaryIndex& ix = cursor->Secondaries()[0];
  auto bytes = ReadBytes(ix.path);
  const size_t first = 2048 + 6, recordSize = 10;
  std::swap_ranges(bytes.begin() + first, bytes.begin() + first + recordSize, bytes.begin() + first + recordSize);
  WriteBytes(ix.path, bytes);
  std::string note;
  const auto order = SecondaryOrder(DefaultFileSystem(), ix, cursor->Data(), &note);
  EXPECT_NE(note.find("nicht sortiert"), std::string::npos) << note;
  EXPECT_EQ(order, SortedOrder(*cursor, ix));
}

// Of an entry that fits no row and one out of order, the one found first decides the note:
// entries are checked for order a batch at a time before the batch's rows are looked up.
TEST(SecondaryIndex, TheFirstFaultOfAStaleIndexFileIsNamed) {
  SKIP_WITHOUT_FIXTURES();
  const size_t first = 2048 + 6, recordSize = 10;
  auto note = [&](bool swapFirstTwo) {
    TempDir dir;
    auto cursor = OpenCopy(fixtures::TwoSecondaryIndexes(), dir);
    const SecondaryIndex& ix = cursor->Secondaries()[0];
    auto bytes = ReadBytes(ix.path);
    if (swapFirstTwo)
      std::swap_ranges(bytes.begin() + first, bytes.begin() + first + recordSize, bytes.begin() + first + recordSize);
    const size_t keyAt = recordSize - 2 - cursor->Header().KeyBytes();
    std::fill_n(bytes.begin() + first + keyAt, cursor->Header().KeyBytes(), 0x7F);  // the first entry's key: no row's
    WriteBytes(ix.path, bytes);
    std::string why;
    SecondaryOrder(DefaultFileSystem(), ix, cursor->Data(), &why);
    return why;
  };
  EXPECT_NE(note(false).find("passt zu keinem Datensatz"), std::string::npos) << note(false);
  EXPECT_NE(note(true).find("nicht sortiert"), std::string::npos) << note(true);
}

// Random byte changes in index files never crash: every order is a permutation of the rows.
TEST(SecondaryIndex, RandomlyDamagedIndexFilesStillGivePermutations) {
  SKIP_WITHOUT_FIXTURES();
  std::mt19937 rng(42);
  for (const std::filesystem::path& table : {fixtures::BlockSize16K(), fixtures::LargeWithSecondaryIndex()}) {
    TempDir dir;
    auto cursor = OpenCopy(table, dir);
    ASSERT_EQ(cursor->Secondaries().size(), 1u);
    const SecondaryIndex& ix = cursor->Secondaries()[0];
    const auto original = ReadBytes(ix.path);
    for (int round = 0; round < 100; ++round) {
      auto bytes = original;
      for (int k = 0; k < 1 + static_cast<int>(rng() % 6); ++k) {
        const size_t limit = (rng() % 2) ? std::min<size_t>(bytes.size(), 0x100) : bytes.size();
        bytes[rng() % limit] = static_cast<uint8_t>(rng());
      }
      WriteBytes(ix.path, bytes);
      auto order = SecondaryOrder(DefaultFileSystem(), ix, cursor->Data(), nullptr);
      std::sort(order.begin(), order.end());
      std::vector<uint32_t> all(cursor->RowCount());
      std::iota(all.begin(), all.end(), 0u);
      ASSERT_EQ(order, all) << table << " round " << round;
    }
  }
}

// Case-insensitive indexes compare upper-cased alpha; descending fields reverse.
TEST(SecondaryIndex, SortKeysFoldCaseAndReverseDescendingFields) {
  TableHeader h;
  h.fileVersionId = 12;
  h.codePage = 1252;
  h.fileType = 2;
  FieldInfo a;
  a.type = PxType::Alpha;
  a.size = 4;
  a.name = "A";
  h.fields = {a};
  h.recordSize = 4;
  SecondaryDef ix;
  ix.fields = {0};
  ix.descending = {false};
  const uint8_t lower[4] = {'a', 'b', 0, 0x77};  // stale byte after the NUL is ignored
  const uint8_t upper[4] = {'A', 'B', 0, 0};
  EXPECT_NE(IndexSortKey(ix, h, lower), IndexSortKey(ix, h, upper));
  ix.caseInsensitive = true;
  EXPECT_EQ(IndexSortKey(ix, h, lower), IndexSortKey(ix, h, upper));
  h.codePage = 850;  // ä/Ä are 0x84/0x8E in code page 850
  const uint8_t umlaut[4] = {0x84, 0, 0, 0};
  const uint8_t capital[4] = {0x8E, 0, 0, 0};
  EXPECT_EQ(IndexSortKey(ix, h, umlaut), IndexSortKey(ix, h, capital));
  h.codePage = 1251;  // ч/Ч are 0xF7/0xD7 in code page 1251
  const uint8_t che[4] = {0xF7, 0, 0, 0};
  const uint8_t capitalChe[4] = {0xD7, 0, 0, 0};
  EXPECT_EQ(IndexSortKey(ix, h, che), IndexSortKey(ix, h, capitalChe));
  h.codePage = 1252;
  const uint8_t later[4] = {'B', 0, 0, 0};
  EXPECT_LT(IndexSortKey(ix, h, upper), IndexSortKey(ix, h, later));
  ix.descending = {true};
  EXPECT_GT(IndexSortKey(ix, h, upper), IndexSortKey(ix, h, later));
}

}  // namespace
}  // namespace engine
