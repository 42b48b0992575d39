// Finding a row by its key bytes: through the block an index entry names when the keys ascend,
// through a hash otherwise; in both cases the first row with the key, or none.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "storage/key_rows.h"

namespace engine {
namespace {

// Rows whose key (`width` bytes) is given per row, each with one other byte 0xEE; blocks of
// `perBlock` rows numbered 10, 11, ...
struct Rows {
  Rows(const std::vector<std::string>& keys, size_t width, uint32_t perBlock) : width(width), other(keys.size(), 0xEE) {
    for (const std::string& key : keys) bytes.insert(bytes.end(), key.begin(), key.begin() + static_cast<long>(width));
    for (uint32_t first = 0; first < keys.size(); first += perBlock)
      blocks.push_back({static_cast<uint16_t>(10 + first / perBlock), first,
                        std::min<uint32_t>(perBlock, static_cast<uint32_t>(keys.size()) - first)});
  }
  KeyRows Finder() const { return KeyRows(bytes.data(), width, static_cast<uint32_t>(other.size()), blocks); }
  size_t width;
  std::vector<uint8_t> bytes;  // the keys, one after another
  std::vector<uint8_t> other;  // each row's other byte
  std::vector<BlockEntry> blocks;
};

int64_t Find(const KeyRows& k, const std::string& key, uint16_t block) {
  return k.Find(reinterpret_cast<const uint8_t*>(key.data()), block);
}

// Matches entries (first byte, key) expected in `blocks` against the rows, through `split`.
std::vector<uint32_t> Match(const Rows& rows, const std::vector<std::pair<char, std::string>>& entries,
                            const std::vector<uint16_t>& blocks, const SplitLoop& split = {}) {
  const KeyRows finder = rows.Finder();
  std::vector<uint8_t> packed;
  for (const auto& [first, key] : entries) {
    packed.push_back(static_cast<uint8_t>(first));
    packed.insert(packed.end(), key.begin(), key.end());
  }
  std::vector<uint32_t> matched(entries.size(), 0xABCD);
  finder.MatchAll(packed.data(), blocks.data(), entries.size(), rows.other.data(), 1, matched.data(), split);
  return matched;
}

// Runs the ranges of a loop one or two entries long, the last first, as another thread might.
void BackwardsInPieces(size_t n, const std::function<void(size_t, size_t)>& body) {
  for (size_t end = n; end > 0;) {
    const size_t begin = end >= 2 ? end - 2 : 0;
    body(begin, end);
    end = begin;
  }
}

TEST(KeyRows, AscendingKeysAreFoundWhateverBlockTheEntryNames) {
  for (size_t width : {size_t{1}, size_t{2}, size_t{4}, size_t{8}, size_t{12}}) {  // as numbers or bytewise
    std::vector<std::string> keys;
    for (int i = 0; i < 50; ++i) keys.push_back(std::string(width - 1, '\x01') + static_cast<char>(2 * i + 1));
    const Rows rows(keys, width, 7);
    const KeyRows k = rows.Finder();
    EXPECT_EQ(Find(k, keys[0], 10), 0);
    EXPECT_EQ(Find(k, keys[20], 12), 20);  // the right block
    EXPECT_EQ(Find(k, keys[49], 17), 49);  // the last, short block
    EXPECT_EQ(Find(k, keys[20], 15), 20);  // a stale block number
    EXPECT_EQ(Find(k, keys[33], 999), 33);  // a block outside the chain
    EXPECT_EQ(Find(k, std::string(width - 1, '\x01') + '\x02', 10), -1);  // between two keys
    EXPECT_EQ(Find(k, std::string(width, '\xFF'), 17), -1);
  }
}

TEST(KeyRows, KeysThatDoNotAscendGiveTheFirstRowWithTheKey) {
  const std::vector<std::string> keys = {"d", "b", "c", "b", "a", "c"};
  const Rows rows(keys, 1, 2);
  const KeyRows k = rows.Finder();
  EXPECT_EQ(Find(k, "b", 11), 1);
  EXPECT_EQ(Find(k, "c", 12), 2);
  EXPECT_EQ(Find(k, "a", 10), 4);
  EXPECT_EQ(Find(k, "e", 10), -1);
}

TEST(KeyRows, EntriesMatchTheirRowsWhenTheRowsFirstBytesAgree) {
  constexpr uint32_t kNo = KeyRows::kNoRow;
  std::vector<std::string> ascending;
  for (char c = 'a'; c <= 'j'; ++c) ascending.push_back(std::string(1, c));
  const Rows sorted(ascending, 1, 3);  // blocks 10: a-c, 11: d-f, 12: g-i, 13: j
  EXPECT_EQ(Match(sorted, {{'\xEE', "j"}, {'\xEE', "b"}, {'\xEE', "e"}, {'\xEE', "b"}}, {13, 10, 10, 10}),
            (std::vector<uint32_t>{9, 1, 4, 1}));  // a stale block and a key twice: both still found
  EXPECT_EQ(Match(sorted, {{'\x01', "c"}, {'\xEE', "z"}, {'\xEE', "a"}}, {10, 10, 0}),
            (std::vector<uint32_t>{kNo, kNo, 0}));  // other first byte, no such key, no block named
  const Rows unsorted({"d", "b", "c", "b"}, 1, 2);
  EXPECT_EQ(Match(unsorted, {{'\xEE', "b"}, {'\x00', "c"}, {'\xEE', "d"}, {'\xEE', "q"}}, {11, 11, 10, 10}),
            (std::vector<uint32_t>{1, kNo, 0, kNo}));
  EXPECT_TRUE(Match(sorted, {}, {}).empty());
}

TEST(KeyRows, EntriesOfManyBlocksMatchWhateverPiecesTheLoopTakes) {
  std::vector<std::string> keys;
  for (char c = 'a'; c <= 'z'; ++c) keys.push_back(std::string(1, c));
  const Rows sorted(keys, 1, 4);  // blocks 10-16
  // In index order: blocks named out of turn, twice, stale, outside the chain, none; a key
  // not there; an entry whose other bytes differ.
  const std::vector<std::pair<char, std::string>> entries = {
      {'\xEE', "y"}, {'\xEE', "a"}, {'\xEE', "m"}, {'\xEE', "b"}, {'\xEE', "q"}, {'\xEE', "c"},
      {'\xEE', "z"}, {'\xEE', "!"}, {'\x01', "e"}, {'\xEE', "f"}, {'\xEE', "g"}};
  const std::vector<uint16_t> blocks = {16, 10, 13, 10, 11, 999, 16, 12, 11, 0, 11};
  constexpr uint32_t kNo = KeyRows::kNoRow;
  const std::vector<uint32_t> expected = {24, 0, 12, 1, 16, 2, 25, kNo, kNo, 5, 6};
  EXPECT_EQ(Match(sorted, entries, blocks), expected);
  EXPECT_EQ(Match(sorted, entries, blocks, BackwardsInPieces), expected);
  const Rows unsorted({"d", "b", "c", "b", "a"}, 1, 2);
  EXPECT_EQ(Match(unsorted, {{'\xEE', "a"}, {'\xEE', "b"}, {'\xEE', "x"}, {'\xEE', "d"}}, {0, 10, 11, 12},
                  BackwardsInPieces),
            (std::vector<uint32_t>{4, 1, kNo, 0}));
}

TEST(KeyRows, ManyEntriesOfEveryKeyWidthMatchAsFindFindsThem) {
  // More entries than are fetched ahead, naming the right block, a stale one, the short last
  // block, a block outside the chain, none and the highest block number; keys not there.
  for (size_t width : {size_t{2}, size_t{3}, size_t{4}, size_t{8}, size_t{10}}) {
    std::vector<std::string> keys;
    for (int i = 0; i < 500; ++i) {
      std::string key(width, '\0');
      key[width - 2] = static_cast<char>(i / 128);
      key[width - 1] = static_cast<char>(2 * (i % 128) + 1);
      keys.push_back(key);
    }
    const Rows sorted(keys, width, 7);  // blocks 10-81, the last with 3 rows
    const KeyRows finder = sorted.Finder();
    std::vector<std::pair<char, std::string>> entries;
    std::vector<uint16_t> blocks;
    const uint16_t named[] = {0, 1, 2, 3, 81, 9, 0, 65535};  // 0-3: offsets from the right block
    for (int e = 0; e < 300; ++e) {
      const int row = (e * 37) % 520;  // rows from 500 on have no key in the table
      std::string key = row < 500 ? keys[static_cast<size_t>(row)] : keys[static_cast<size_t>(row - 500)];
      if (row >= 500) key[width - 1] = static_cast<char>(key[width - 1] + 1);
      entries.push_back({'\xEE', key});
      const uint16_t choice = named[e % 8];
      blocks.push_back(choice <= 3 ? static_cast<uint16_t>(10 + row % 500 / 7 + choice) : choice);
    }
    std::vector<uint32_t> expected;
    for (size_t e = 0; e < entries.size(); ++e) {
      const int64_t row = Find(finder, entries[e].second, blocks[e]);
      expected.push_back(row < 0 ? KeyRows::kNoRow : static_cast<uint32_t>(row));
    }
    EXPECT_EQ(Match(sorted, entries, blocks), expected) << "width " << width;
    EXPECT_EQ(Match(sorted, entries, blocks, BackwardsInPieces), expected) << "width " << width;
    EXPECT_EQ(expected[0], 0u);
    EXPECT_EQ(expected[14], KeyRows::kNoRow);  // row 518: no such key
  }
}

TEST(KeyRows, NoRows) {
  const Rows rows({}, 4, 5);
  EXPECT_EQ(Find(rows.Finder(), "abcd", 10), -1);
}

}  // namespace
}  // namespace engine
