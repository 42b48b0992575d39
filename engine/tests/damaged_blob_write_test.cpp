// Changes to memo values of a sample table whose .MB is damaged where the change would use it:
// refused with a German message naming the .MB, every file of the table left as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "component/table.h"
#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/record_format.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;

// Row and field of the first memo value that lies in a sub-allocated block, with its reference.
struct SubAllocatedMemo {
  int row = -1;
  int field = -1;
  uint32_t ref = 0;
};

SubAllocatedMemo FindSubAllocatedMemo(const std::string& dir, const std::string& name) {
  auto cursor = TableCursor::Open(DefaultFileSystem(), dir, name);
  const std::vector<FieldLayout> layout = LayoutFields(cursor->Header());
  for (uint32_t row = 0; row < cursor->RowCount(); ++row) {
    for (size_t f = 0; f < layout.size(); ++f) {
      if (layout[f].type != PxType::Memo) continue;
      const uint8_t* desc = cursor->Data().Record(row) + layout[f].offset + mb::LeaderBytes(layout[f].bytes);
      const uint32_t length = coding::GetU32(desc + mb::kDescLength);
      const uint32_t ref = coding::GetU32(desc + mb::kDescRef);
      if (length > mb::LeaderBytes(layout[f].bytes) && (ref & mb::kRefIndexMask) != mb::kRefSingle)
        return {static_cast<int>(row), static_cast<int>(f), ref};
    }
  }
  return {};
}

std::map<std::filesystem::path, std::vector<uint8_t>> FamilyBytes(const std::string& table) {
  std::map<std::filesystem::path, std::vector<uint8_t>> out;
  for (const auto& file : testsupport::TableFamily(table)) out[file] = testsupport::ReadBytes(file);
  return out;
}

// A free slot of the memo's block made to claim chunks past the block's end: editing the memo
// (which frees its slot and stores the new text) and deleting its record (which frees the slot)
// are both refused before anything is written.
TEST(DamagedBlobWrite, SlotPastItsBlockRefusesMemoEditAndDelete) {
  SKIP_WITHOUT_FIXTURES();
  for (const bool remove : {false, true}) {
    SCOPED_TRACE(remove ? "delete" : "edit");
    testsupport::TempDir dir;
    const std::string path = testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
    const std::string name = std::filesystem::path(path).filename().string();
    const SubAllocatedMemo memo = FindSubAllocatedMemo(dir.Path(), name);
    ASSERT_GE(memo.row, 0) << "the sample has no memo in a sub-allocated block";
    std::filesystem::path mbPath;
    for (const auto& file : testsupport::TableFamily(path))
      if (file.extension() == ".MB" || file.extension() == ".mb") mbPath = file;
    auto mbBytes = testsupport::ReadBytes(mbPath);
    const size_t block = memo.ref & ~mb::kRefIndexMask;
    int free = mb::kSlotCount - 1;
    while (free >= 0 && mbBytes[block + mb::kSlotTable + mb::kSlotSize * static_cast<size_t>(free)] != 0) --free;
    ASSERT_GE(free, 0) << "the memo's block has no free slot";
    uint8_t* slot = &mbBytes[block + mb::kSlotTable + mb::kSlotSize * static_cast<size_t>(free)];
    slot[mb::kSlotChunk] = 250;
    slot[mb::kSlotChunks] = 20;
    slot[mb::kSlotLastLen] = 16;
    testsupport::WriteBytes(mbPath, mbBytes);
    const auto before = FamilyBytes(path);

    TTable t;
    t.SetDatabaseName(dir.Path());
    t.SetTableName(name);
    t.Open();
    t.MoveTo(memo.row);
    try {
      if (remove) {
        t.Delete();
      } else {
        t.Edit();
        t.Fields(memo.field).SetAsString(std::string(300, 'x'));
        t.Post();
      }
      ADD_FAILURE() << "changed";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), kErrBlobMissing) << e.what();
      EXPECT_NE(std::string(e.what()).find(mbPath.string()), std::string::npos) << e.what();
    }
    t.Close();
    const auto after = FamilyBytes(path);
    for (const auto& [file, bytes] : before) {
      const auto it = after.find(file);
      EXPECT_TRUE(it != after.end() && it->second == bytes) << file;
    }
    EXPECT_EQ(after.size(), before.size());
  }
}

}  // namespace
}  // namespace engine
