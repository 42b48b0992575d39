// A tree file changed entry by entry as blocks join and leave its data file's chain must hold
// exactly the bytes that writing it whole gives, also over three levels and when a level would
// gain or lose a block.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "format/table_header.h"
#include "io/file_system.h"
#include "storage/index_builder.h"
#include "storage/tree_file_image.h"
#include "testsupport/memory_file_system.h"

namespace {

// A tree of 200-byte entries over 1 KiB blocks: five entries to the root, four to other blocks.
engine::TableHeader NarrowTree() {
  engine::TableHeader h;
  h.fileVersionId = 12;
  h.fileType = static_cast<uint8_t>(engine::FileType::PrimaryIndex);
  h.recordSize = 200;
  h.blockSizeKiB = 1;
  engine::FieldInfo f;
  f.type = engine::PxType::Alpha;
  f.size = 194;
  h.fields = {f};
  h.tableName = "T.PX";
  return h;
}

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

}  // namespace
