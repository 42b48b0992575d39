// The packed index records of a bulk write come out in the order of the sort keys that the
// record-by-record upkeep of an index uses (MakeSecondaryRecord), for every kind of index field:
// alpha values with bytes after their end, case-insensitive, descending, numbers, maintained and
// non-maintained, many equal values and few; equal values of a unique index are found, and a
// kept order is taken only when it names every record once; records gathered in chunks sorted
// apart come out merged in the same order.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "format/table_definition.h"
#include "io/coding.h"
#include "storage/index_builder.h"
#include "storage/index_entries.h"

namespace {

using engine::FieldInfo;
using engine::PxType;
using engine::SecondaryDef;
using engine::SecondaryEntries;
using engine::TableDefinition;

// Nr (long, the key), Name (alpha 8), Wert (short), Kurz (alpha 3).
TableDefinition Definition(int keyFields) {
  TableDefinition def;
  def.fields = {{PxType::Long, 4, "Nr"}, {PxType::Alpha, 8, "Name"}, {PxType::Short, 2, "Wert"},
                {PxType::Alpha, 3, "Kurz"}};
  def.required.assign(def.fields.size(), false);
  def.keyFields = keyFields;
  def.codePage = 1252;
  return def;
}

SecondaryDef Index(std::vector<int> fields, std::vector<bool> descending, bool caseInsensitive = false) {
  SecondaryDef ix;
  ix.name = "Ix";
  ix.fields = std::move(fields);
  ix.descending = std::move(descending);
  ix.caseInsensitive = caseInsensitive;
  ix.extension = "XG0";
  return ix;
}

// Records with unique ascending keys in shuffled order; names from a small alphabet in mixed
// case, some with bytes left after their end, so that many records share index values.
std::vector<std::vector<uint8_t>> Records(const TableDefinition& def, size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::vector<uint8_t>> records;
  for (size_t i = 0; i < count; ++i) {
    std::vector<uint8_t> r(def.RecordSize(), 0);
    engine::coding::EncodeFlippedInt(static_cast<int32_t>(i) - 50, r.data(), 4);
    const size_t length = random() % 4;
    for (size_t k = 0; k < length; ++k) r[4 + k] = static_cast<uint8_t>("aAbB\xe4\xc4"[random() % 6]);
    if (random() % 5 == 0 && length < 7) r[4 + length + 1] = 'z';  // left over after the end
    engine::coding::EncodeFlippedInt(static_cast<int16_t>(random() % 7) - 3, r.data() + 12, 2);
    if (random() % 3) r[14] = static_cast<uint8_t>('p' + random() % 2);
    records.push_back(std::move(r));
  }
  std::shuffle(records.begin(), records.end(), random);
  return records;
}

// The X records of `records` in the order the upkeep's sort keys give, and whether a unique
// index would take them.
std::vector<std::string> Expected(const TableDefinition& def, const SecondaryDef& ix, uint16_t xSize,
                                  const std::vector<std::vector<uint8_t>>& records, bool* unique) {
  engine::TableHeader x;
  x.recordSize = xSize;
  std::vector<engine::SecondaryRecord> made;
  for (size_t i = 0; i < records.size(); ++i)
    made.push_back(engine::MakeSecondaryRecord(def, ix, x, records[i].data(), static_cast<uint16_t>(i / 10 + 1),
                                               static_cast<int>(i % 10), static_cast<uint32_t>(i)));
  *unique = engine::SortSecondaryRecords(made, true, engine::IndexFieldBytes(def, ix));
  std::vector<std::string> out;
  for (const auto& m : made) out.push_back(m.bytes);
  return out;
}

// The records as the entries hand them out.
std::vector<std::string> Read(const SecondaryEntries& entries, uint16_t xSize) {
  std::vector<std::string> out;
  SecondaryEntries::Reader reader(entries);
  while (const uint8_t* r = reader.Next()) out.emplace_back(reinterpret_cast<const char*>(r), xSize);
  return out;
}

// Gathered in chunks of `chunkRecords` (0: the default size, which holds every test's records).
std::vector<std::string> Packed(const TableDefinition& def, const SecondaryDef& ix, uint16_t xSize,
                                const std::vector<std::vector<uint8_t>>& records, bool* unique,
                                size_t chunkRecords = 0) {
  SecondaryEntries entries(def, ix, xSize, chunkRecords);
  for (size_t i = 0; i < records.size(); ++i)
    entries.Add(records[i].data(), static_cast<uint16_t>(i / 10 + 1), static_cast<int>(i % 10),
                static_cast<uint32_t>(i));
  *unique = entries.Sort(true);
  return Read(entries, xSize);
}

TEST(SecondaryEntries, SortAsTheUpkeepsSortKeysOrderForEveryKindOfIndexField) {
  struct Case {
    const char* what;
    int keyFields;
    SecondaryDef index;
  };
  const std::vector<Case> cases = {
      {"alpha", 1, Index({1}, {false})},
      {"alpha, case-insensitive", 1, Index({1}, {false}, true)},
      {"alpha descending", 1, Index({1}, {true})},
      {"number then alpha, mixed directions", 1, Index({2, 3}, {true, false})},
      {"alpha then number descending, case-insensitive", 1, Index({3, 2}, {false, true}, true)},
      {"table without key", 0, Index({1, 2}, {false, false})},
  };
  for (const Case& c : cases) {
    for (size_t count : {0u, 1u, 7u, 30u, 3000u}) {
      SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(count) + " records");
      TableDefinition def = Definition(c.keyFields);
      def.indexes = {c.index};
      const uint16_t xSize = engine::SecondaryDataHeader(def, def.indexes[0], "T.XG0").recordSize;
      const auto records = Records(def, count, static_cast<unsigned>(count) + 17);
      bool expectedUnique = false, packedUnique = false;
      const auto expected = Expected(def, def.indexes[0], xSize, records, &expectedUnique);
      // One chunk, and chunks sorted apart and merged: of one record, of a few, of many.
      for (size_t chunk : {size_t{0}, size_t{1}, size_t{5}, size_t{256}}) {
        EXPECT_EQ(Packed(def, def.indexes[0], xSize, records, &packedUnique, chunk), expected) << chunk;
        EXPECT_EQ(packedUnique, expectedUnique) << chunk;
      }
    }
  }
}

TEST(SecondaryEntries, NonMaintainedIndexOrdersEqualValuesByRecordNumber) {
  TableDefinition def = Definition(1);
  SecondaryDef ix = Index({3}, {false});
  ix.nonMaintained = true;
  def.indexes = {ix};
  const uint16_t xSize = engine::SecondaryDataHeader(def, def.indexes[0], "T.XG0").recordSize;
  const auto records = Records(def, 500, 3);
  bool expectedUnique = false, packedUnique = false;
  EXPECT_EQ(Packed(def, def.indexes[0], xSize, records, &packedUnique),
            Expected(def, def.indexes[0], xSize, records, &expectedUnique));
  EXPECT_FALSE(packedUnique);
}

TEST(SecondaryEntries, UniqueIndexTellsEqualValuesApartFromBytesAfterTheirEnd) {
  TableDefinition def = Definition(1);
  def.indexes = {Index({1}, {false}), Index({1}, {false}, true)};
  const uint16_t xSize = engine::SecondaryDataHeader(def, def.indexes[0], "T.XG0").recordSize;
  std::vector<uint8_t> a(def.RecordSize(), 0), b(def.RecordSize(), 0);
  engine::coding::EncodeFlippedInt(int32_t{1}, a.data(), 4);
  engine::coding::EncodeFlippedInt(int32_t{2}, b.data(), 4);
  std::memcpy(a.data() + 4, "abc\0x", 5);  // "abc" with a left-over byte after its end
  std::memcpy(b.data() + 4, "abc", 3);
  for (size_t k = 0; k < 2; ++k) {
    SecondaryEntries entries(def, def.indexes[k], xSize);
    entries.Add(a.data(), 1, 0, 0);
    entries.Add(b.data(), 1, 1, 1);
    EXPECT_FALSE(entries.Sort(true)) << k;
  }
  std::memcpy(b.data() + 4, "ABC", 3);  // equal to "abc" only ignoring case
  for (size_t k = 0; k < 2; ++k) {
    SecondaryEntries entries(def, def.indexes[k], xSize);
    entries.Add(a.data(), 1, 0, 0);
    entries.Add(b.data(), 1, 1, 1);
    EXPECT_EQ(entries.Sort(true), k == 0) << k;
  }
}

TEST(SecondaryEntries, KeptOrderIsTakenOnlyWhenItNamesEveryRecordOnce) {
  TableDefinition def = Definition(1);
  def.indexes = {Index({1}, {false})};
  const uint16_t xSize = engine::SecondaryDataHeader(def, def.indexes[0], "T.XG0").recordSize;
  const auto records = Records(def, 40, 5);
  SecondaryEntries entries(def, def.indexes[0], xSize, 7);  // in chunks, some sorted meanwhile
  for (size_t i = 0; i < records.size(); ++i)
    entries.Add(records[i].data(), static_cast<uint16_t>(i / 10 + 1), static_cast<int>(i % 10),
                static_cast<uint32_t>(i));
  std::vector<std::string> keys;
  for (auto it = records.rbegin(); it != records.rend(); ++it) keys.emplace_back(it->begin(), it->begin() + 4);

  std::vector<std::string> twice = keys;
  twice.back() = twice.front();
  EXPECT_FALSE(entries.KeepOrder(twice));
  EXPECT_FALSE(entries.KeepOrder({keys.begin(), keys.end() - 1}));
  // Refused orders left every record: sorting still gives them all in index order.
  ASSERT_TRUE(entries.Sort(false));
  bool unique = false;
  EXPECT_EQ(Read(entries, xSize), Expected(def, def.indexes[0], xSize, records, &unique));

  ASSERT_TRUE(entries.KeepOrder(keys));
  ASSERT_EQ(entries.Count(), records.size());
  const std::vector<std::string> kept = Read(entries, xSize);
  ASSERT_EQ(kept.size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(kept[i].substr(8, 4), keys[i]) << i;
}

}  // namespace
