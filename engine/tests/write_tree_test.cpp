// The PX/Y tree writer: one root block when the entries fit, otherwise block 1 as the root over
// lower levels filled to capacity − 1, every entry naming its child with the sum of counts.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "format/data_block.h"
#include "format/table_definition.h"
#include "format/table_header.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "storage/index_builder.h"
#include "storage/tree_file_image.h"
#include "testsupport/memory_file_system.h"

namespace {

struct Entry {
  std::string key;
  int child;
  int count;
};

std::vector<Entry> BlockEntries(const std::string& bytes, const engine::TableHeader& h, uint16_t block) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + h.BlockOffset(block);
  std::vector<Entry> out;
  const int n = engine::DecodeBlockHeader(p).RecordCount(h.recordSize);
  for (int i = 0; i < n; ++i) {
    const uint8_t* r = p + 6 + i * h.recordSize;
    const size_t keyBytes = h.recordSize - 6u;
    out.push_back({std::string(reinterpret_cast<const char*>(r), keyBytes),
                   static_cast<uint16_t>(engine::coding::DecodeFlippedInt(r + keyBytes, 2)),
                   engine::coding::DecodeFlippedInt(r + keyBytes + 2, 2)});
  }
  return out;
}

std::string Key(int i) {
  uint8_t k[4];
  engine::coding::EncodeFlippedInt(i, k, 4);
  return std::string(reinterpret_cast<const char*>(k), 4);
}

engine::TableHeader TreeTemplate() {
  engine::TableHeader h;
  h.fileVersionId = 12;
  h.fileType = static_cast<uint8_t>(engine::FileType::PrimaryIndex);
  h.recordSize = 10;
  h.blockSizeKiB = 1;
  engine::FieldInfo f;
  f.type = engine::PxType::Long;
  f.size = 4;
  h.fields = {f};
  h.tableName = "T.PX";
  return h;
}

TEST(WriteTree, EntriesThatFitMakeOneRootBlock) {
  testsupport::MemoryFileSystem fs;
  std::vector<engine::TreeEntry> level1;
  for (int i = 0; i < 101; ++i) level1.push_back({Key(i * 10), static_cast<uint16_t>(i + 1), 10});
  engine::WriteTreeFile(*fs.Open("/mem/T.PX", engine::OpenMode::CreateTruncate), TreeTemplate(), level1);
  const std::string bytes = fs.Contents("/mem/T.PX");
  const auto h = engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "T.PX");
  EXPECT_EQ(h.numIndexLevels, 1);
  EXPECT_EQ(h.indexRoot, 1);
  EXPECT_EQ(h.numRecords, 101u);
  EXPECT_EQ(h.fileBlocks, 1);
  EXPECT_EQ(BlockEntries(bytes, h, 1).size(), 101u);
}

TEST(WriteTree, ManyEntriesMakeARootOverFullLowerBlocks) {
  testsupport::MemoryFileSystem fs;
  std::vector<engine::TreeEntry> level1;
  for (int i = 0; i < 1000; ++i) level1.push_back({Key(i * 10), static_cast<uint16_t>(i + 1), 7});
  engine::WriteTreeFile(*fs.Open("/mem/T.PX", engine::OpenMode::CreateTruncate), TreeTemplate(), level1);
  const std::string bytes = fs.Contents("/mem/T.PX");
  const auto h = engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "T.PX");
  // 1 KiB blocks hold 101 entries of 10 bytes; lower blocks take 100.
  EXPECT_EQ(h.numIndexLevels, 2);
  EXPECT_EQ(h.indexRoot, 1);
  EXPECT_EQ(h.fileBlocks, 11);
  EXPECT_EQ(h.numRecords, 1010u);
  const auto root = BlockEntries(bytes, h, 1);
  ASSERT_EQ(root.size(), 10u);
  int seen = 0;
  for (size_t r = 0; r < root.size(); ++r) {
    EXPECT_EQ(root[r].child, static_cast<int>(r) + 2);
    EXPECT_EQ(root[r].count, 700);
    const auto leaf = BlockEntries(bytes, h, static_cast<uint16_t>(root[r].child));
    ASSERT_EQ(leaf.size(), 100u);
    EXPECT_EQ(root[r].key, leaf.front().key);
    for (const auto& e : leaf) EXPECT_EQ(e.child, ++seen);
  }
  EXPECT_EQ(seen, 1000);
  // Blocks are chained in number order.
  for (uint16_t b = 1; b <= 11; ++b) {
    const auto bh = engine::DecodeBlockHeader(reinterpret_cast<const uint8_t*>(bytes.data()) + h.BlockOffset(b));
    EXPECT_EQ(bh.next, b < 11 ? b + 1 : 0);
    EXPECT_EQ(bh.prev, b - 1);
  }
}

TEST(WriteTree, AnEmptyIndexHasNoBlocksAndRootOne) {
  testsupport::MemoryFileSystem fs;
  engine::WriteTreeFile(*fs.Open("/mem/T.PX", engine::OpenMode::CreateTruncate), TreeTemplate(), {});
  const std::string bytes = fs.Contents("/mem/T.PX");
  const auto h = engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "T.PX");
  EXPECT_EQ(h.numIndexLevels, 0);
  EXPECT_EQ(h.indexRoot, 1);
  EXPECT_EQ(h.fileBlocks, 0);
  EXPECT_EQ(bytes.size(), h.headerSize);
}

// The tree header of a secondary index takes the X file's key fields; a key-field count that a
// damaged X header gives beyond its fields must not reach past them (found by fuzzing).
TEST(WriteTree, TreeHeaderTakesNoMoreKeyFieldsThanTheIndexFileHas) {
  engine::TableDefinition def;
  engine::TableHeader x;
  x.fileType = static_cast<uint8_t>(engine::FileType::MaintainedX);
  for (const uint8_t size : {4, 4, 2}) {
    engine::FieldInfo f;
    f.type = size == 2 ? engine::PxType::Short : engine::PxType::Long;
    f.size = size;
    x.fields.push_back(f);
  }
  for (const uint16_t keyFields : {2, 3, 200}) {
    x.primaryKeyFields = keyFields;
    const engine::TableHeader y = engine::SecondaryTreeHeader(def, x, "T.Y02");
    EXPECT_EQ(y.fields.size(), std::min<size_t>(keyFields, 3)) << keyFields;
  }
}

// A tree of 200-byte entries over 1 KiB blocks: five entries to the root, four to other blocks.
engine::TableHeader NarrowTree() {
  engine::TableHeader h = TreeTemplate();
  h.recordSize = 200;
  h.fields[0].type = engine::PxType::Alpha;
  h.fields[0].size = 194;
  return h;
}

// A tree file changed entry by entry as blocks join and leave its data file's chain must hold
// exactly the bytes that writing it whole gives, also over three levels and when a level would
// gain or lose a block.
TEST(TreeImageRelay, EntriesJoiningAndLeavingGiveTheWholeTreesBytes) {
  testsupport::MemoryFileSystem fs;
  const std::string path = "/mem/T.PX";
  engine::TableHeader header = NarrowTree();
  std::mt19937 random(3);
  uint16_t nextChild = 1;
  const auto fresh = [&] {
    return engine::TreeEntry{"K" + std::to_string(random() % 100000), nextChild++, static_cast<uint32_t>(1 + random() % 50)};
  };
  std::vector<engine::TreeEntry> level1;
  for (int i = 0; i < 30; ++i) level1.push_back(fresh());
  engine::TreeFileImage image;
  image.Write(fs, path, header, level1);
  for (int round = 0; round < 1000; ++round) {
    SCOPED_TRACE(round);
    std::vector<engine::TreeEdit> edits;
    std::vector<bool> touched(level1.size(), false);
    const int ops = 1 + static_cast<int>(random() % 3);
    for (int op = 0; op < ops; ++op) {
      const unsigned kind = random() % 3;
      if (kind == 0 || level1.size() < 3) {
        const size_t at = random() % (level1.size() + 1);
        level1.insert(level1.begin() + static_cast<long>(at), fresh());
        touched.insert(touched.begin() + static_cast<long>(at), true);
        edits.push_back({at, true});
      } else if (kind == 1) {
        const size_t at = random() % level1.size();
        level1.erase(level1.begin() + static_cast<long>(at));
        touched.erase(touched.begin() + static_cast<long>(at));
        edits.push_back({at, false});
      } else {
        const size_t at = random() % level1.size();
        level1[at].count = static_cast<uint32_t>(1 + random() % 50);
        touched[at] = true;
      }
    }
    std::vector<std::pair<size_t, engine::TreeEntry>> changed;
    for (size_t i = 0; i < level1.size(); ++i)
      if (touched[i]) changed.push_back({i, level1[i]});
    header.stamp2C = static_cast<uint8_t>(round);
    if (!image.Update(fs, path, header.stamp2C, edits, changed)) image.Write(fs, path, header, level1);
    testsupport::MemoryFileSystem wholeFs;
    engine::WriteTreeFile(*wholeFs.Open(path, engine::OpenMode::CreateTruncate), header, level1);
    ASSERT_TRUE(fs.Contents(path) == wholeFs.Contents(path)) << level1.size() << " entries";
  }
}

// A tree file is taken as it stands exactly when writing the tree whole over the level-1 entries
// it holds gives its bytes: every single damaged byte of a written tree, over one level and over
// three, is refused unless the file is still such a tree (a level-1 key that is no block's first,
// a header byte that reads back the same), and then the chain is the one its entries name.
TEST(TreeImageAdopt, TakesAFileExactlyWhenWritingItsEntriesWholeGivesItsBytes) {
  for (const int entries : {5, 30}) {
    SCOPED_TRACE(entries);
    const engine::TableHeader header = NarrowTree();
    std::vector<engine::TreeEntry> level1;
    for (int i = 0; i < entries; ++i)
      level1.push_back({"K" + std::to_string(1000 + i), static_cast<uint16_t>(3 * i + 1), static_cast<uint32_t>(i % 7 + 1)});
    testsupport::MemoryFileSystem fs;
    const std::string path = "/mem/T.PX";
    engine::WriteTreeFile(*fs.Open(path, engine::OpenMode::CreateTruncate), header, level1);
    const std::string written = fs.Contents(path);
    const size_t blockBytes = header.BlockBytes();
    const size_t capacity = (blockBytes - 6) / header.recordSize;
    const auto decoded = engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(written.data()), written.size(), path);
    const size_t headerBytes = written.size() - size_t{decoded.fileBlocks} * blockBytes;
    // Level 1 lies in the root when it fits, otherwise in blocks 2, 3, … of capacity − 1 entries.
    const auto entryAt = [&](const std::string& bytes, size_t i) {
      const size_t block = level1.size() <= capacity ? 1 : 2 + i / (capacity - 1);
      const size_t slot = level1.size() <= capacity ? i : i % (capacity - 1);
      const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + headerBytes + (block - 1) * blockBytes + 6 +
                      slot * header.recordSize;
      const size_t keyBytes = header.recordSize - 6u;
      return engine::TreeEntry{std::string(reinterpret_cast<const char*>(p), keyBytes),
                               static_cast<uint16_t>(engine::coding::DecodeFlippedInt(p + keyBytes, 2)),
                               static_cast<uint16_t>(engine::coding::DecodeFlippedInt(p + keyBytes + 2, 2)) |
                                   uint32_t{static_cast<uint16_t>(engine::coding::DecodeFlippedInt(p + keyBytes + 4, 2))} << 16};
    };
    const auto wholeTreeOf = [&](const std::string& bytes) {
      engine::TableHeader h;
      try {
        h = engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path);
      } catch (const engine::EDBEngineError&) {
        return false;
      }
      if (h.stamp2C != header.stamp2C || h.recordSize != header.recordSize || h.BlockBytes() != blockBytes) return false;
      std::vector<engine::TreeEntry> read;
      for (size_t i = 0; i < level1.size(); ++i) read.push_back(entryAt(bytes, i));
      testsupport::MemoryFileSystem whole;
      engine::WriteTreeFile(*whole.Open(path, engine::OpenMode::CreateTruncate), h, read);
      return whole.Contents(path) == bytes;
    };
    ASSERT_TRUE(wholeTreeOf(written));
    size_t taken = 0;
    for (size_t at = 0; at < written.size(); ++at) {
      std::string damaged = written;
      damaged[at] = static_cast<char>(damaged[at] ^ 0x21);
      fs.Put(path, damaged);
      engine::TreeFileImage image;
      std::vector<engine::BlockEntry> chain;
      const bool took = image.AdoptChain(fs, path, header.stamp2C, level1.size(), &chain);
      ASSERT_EQ(took, wholeTreeOf(damaged)) << "byte " << at;
      if (!took) continue;
      ++taken;
      ASSERT_EQ(chain.size(), level1.size());
      for (size_t i = 0; i < chain.size(); ++i) {
        ASSERT_EQ(chain[i].block, entryAt(damaged, i).child);
        ASSERT_EQ(chain[i].count, entryAt(damaged, i).count);
      }
    }
    EXPECT_GT(taken, 0u);  // some keys are no block's first
  }
}

}  // namespace
