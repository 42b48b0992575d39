// Rows gathered by a pass from the front and another thread from the back: wherever the two
// meet, whichever comes first, and when the pass cannot give a block, the rows are those one
// pass of their own gathers, and the order read from the index file through them is sound.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/tests/parts_table.h"
#include "family/shared_gather.h"
#include "family/table_cursor.h"
#include "io/file_system.h"
#include "storage/sequential_blocks.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

// A keyed table with a maintained index on "Gruppe" over two and a half chunks of blocks.
class SharedGatherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parts::CreatePartsTable(dir_.Path(), static_cast<int>(SharedGather::kChunkBlocks * 5 / 2) * parts::kPartsPerBlock);
    cursor_ = TableCursor::Open(DefaultFileSystem(), dir_.Path(), "TEILE.DB");
    ASSERT_GT(cursor_->Data().Blocks().size(), 2 * SharedGather::kChunkBlocks);
    ASSERT_EQ(cursor_->Secondaries().size(), 1u);
    SecondaryRows rows(Index(), cursor_->Header(), cursor_->RowCount());
    GatherRows(*cursor_, rows);
    expected_ = OrderOf(rows);
  }

  const SecondaryIndex& Index() const { return cursor_->Secondaries().front(); }

  std::vector<uint32_t> OrderOf(SecondaryRows& rows) {
    std::string note;
    const std::vector<uint32_t> order =
        SecondaryOrder(DefaultFileSystem(), Index(), rows, cursor_->Data().Blocks(), &note);
    EXPECT_EQ(note, "");
    return order;
  }

  // Gives the pass's blocks [begin, end) to `gather`; `unreadable` is given as not read.
  void Pass(SharedGather& gather, size_t begin, size_t end, size_t unreadable = SIZE_MAX) {
    SequentialBlocks blocks(DefaultFileSystem(), cursor_->Data());
    for (size_t b = begin; b < end; ++b) gather.FromPass(b, b == unreadable ? nullptr : blocks.Records(b));
  }

  size_t Blocks() const { return cursor_->Data().Blocks().size(); }

  // Rows made ready before the table is open, then given the open table.
  std::unique_ptr<SharedGather> Opened() {
    auto gather = std::make_unique<SharedGather>(Index(), cursor_->Header(), cursor_->RowCount());
    gather->Open(*cursor_);
    return gather;
  }

  testsupport::TempDir dir_;
  std::unique_ptr<TableCursor> cursor_;
  std::vector<uint32_t> expected_;
};

TEST_F(SharedGatherTest, ThePassGivesEveryBlockBeforeTheOtherThreadComes) {
  const auto opened = Opened();
  SharedGather& gather = *opened;
  Pass(gather, 0, Blocks());
  gather.PassEnded();
  gather.Gather();
  EXPECT_EQ(OrderOf(gather.Rows()), expected_);
}

TEST_F(SharedGatherTest, TheOtherThreadGathersEveryBlockWhenThePassEndsAtOnce) {
  const auto opened = Opened();
  SharedGather& gather = *opened;
  gather.PassEnded();
  gather.FromPass(0, nullptr);  // after its end the pass gives nothing, not even a failure
  gather.Gather();
  EXPECT_EQ(OrderOf(gather.Rows()), expected_);
}

TEST_F(SharedGatherTest, TheTwoMeetWhereverTheOtherThreadComes) {
  for (size_t before : {size_t{0}, size_t{1}, SharedGather::kChunkBlocks, SharedGather::kChunkBlocks + 3, Blocks()}) {
    const auto opened = Opened();
    SharedGather& gather = *opened;
    Pass(gather, 0, before);
    std::thread other([&] { gather.Gather(); });
    Pass(gather, before, Blocks());
    gather.PassEnded();
    other.join();
    EXPECT_EQ(OrderOf(gather.Rows()), expected_) << before << " blocks before the other thread";
  }
}

TEST_F(SharedGatherTest, APassEndingWithinAChunkMakesTheOtherThreadGatherEveryRow) {
  for (size_t given : {size_t{6}, SharedGather::kChunkBlocks + 1, Blocks() - 1}) {
    const auto opened = Opened();
    SharedGather& gather = *opened;
    Pass(gather, 0, given);
    gather.PassEnded();
    gather.Gather();
    EXPECT_EQ(OrderOf(gather.Rows()), expected_) << given << " blocks given";
  }
}

TEST_F(SharedGatherTest, ABlockThePassCouldNotReadMakesTheOtherThreadGatherEveryRow) {
  for (size_t unreadable : {size_t{0}, size_t{5}, SharedGather::kChunkBlocks + 1}) {
    const auto opened = Opened();
    SharedGather& gather = *opened;
    Pass(gather, 0, SharedGather::kChunkBlocks + 2, unreadable);
    gather.PassEnded();
    gather.Gather();
    EXPECT_EQ(OrderOf(gather.Rows()), expected_) << "block " << unreadable << " not read";
  }
}

}  // namespace
}  // namespace engine
