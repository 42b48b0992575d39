// Reading files mapped into memory: a mapping shows the file's bytes and what the file grows
// over, a page that another program cut off reads as zeros and marks the mapping lost instead
// of ending the process, and other bus errors still end it. A browsing cursor and a pass over the
// whole table that read a large table in place give the bytes that copied reads give, also after
// rows were appended through the cursor, and raise when the table is cut short behind them.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "component/table.h"
#include "io/engine_error.h"
#include "io/file_mapping.h"
#include "io/file_system.h"
#include "parts_table.h"
#include "storage/chain_window.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "storage/sequential_blocks.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

constexpr size_t kPage = 4096;

std::vector<uint8_t> Pattern(size_t bytes, uint8_t seed) {
  std::vector<uint8_t> out(bytes);
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(seed + i * 31 + i / 251);
  return out;
}

// Enough records that the data file is mapped when browsed.
constexpr int kMappedRecords = 30000;

std::string MappedPartsTable(const std::string& dir) {
  const std::string path = parts::CreatePartsTable(dir, kMappedRecords);
  EXPECT_GE(std::filesystem::file_size(path), FileMapping::kWorthFromBytes);
  return path;
}

void OpenParts(TTable& t, const std::string& dir) {
  t.SetDatabaseName(dir);
  t.SetTableName("TEILE.DB");
  t.Open();
}

// Kilobytes of mapped files this process holds in memory, counted exactly from its page tables.
int64_t MappedFileKilobytes() {
  std::ifstream rollup("/proc/self/smaps_rollup");
  int64_t resident = -1, anonymous = -1;
  for (std::string line; std::getline(rollup, line);) {
    if (line.rfind("Rss:", 0) == 0) resident = std::stoll(line.substr(4));
    if (line.rfind("Anonymous:", 0) == 0) anonymous = std::stoll(line.substr(10));
  }
  if (resident < 0 || anonymous < 0) ADD_FAILURE() << "no Rss or Anonymous in /proc/self/smaps_rollup";
  return resident - anonymous;
}

// Whether `offset` is one at which a test of a pass looks at the memory held (every 256 KiB).
bool LookHere(uint64_t offset) { return offset % (uint64_t{256} << 10) == 0; }

}  // namespace

TEST(FileMapping, ShowsTheFileAndWhatItGrowsOverWithinTheMappedLength) {
  testsupport::TempDir dir;
  const std::string path = dir.Path() + "BYTES.BIN";
  const std::vector<uint8_t> first = Pattern(3 * kPage + 100, 7);
  testsupport::WriteBytes(path, first);
  auto file = DefaultFileSystem().Open(path, OpenMode::ReadWrite);
  const auto mapping = file->MapForReading(8 * kPage);
  ASSERT_NE(mapping, nullptr) << "the test folder lies on a local disk";
  EXPECT_EQ(mapping->Size(), 8 * kPage);
  EXPECT_EQ(std::memcmp(mapping->Bytes(), first.data(), first.size()), 0);

  // Written through the file after mapping: in place, and past the old end once the file holds it.
  const std::vector<uint8_t> more = Pattern(2 * kPage, 99);
  file->WriteAt(kPage + 10, more.data(), more.size());
  EXPECT_EQ(std::memcmp(mapping->Bytes() + kPage + 10, more.data(), more.size()), 0);
  file->WriteAt(6 * kPage, more.data(), more.size());
  EXPECT_EQ(std::memcmp(mapping->Bytes() + 6 * kPage, more.data(), more.size()), 0);
  EXPECT_FALSE(mapping->Lost());
}

TEST(FileMapping, BytesCutOffByAnotherProgramReadAsZerosAndMarkTheMappingLost) {
  testsupport::TempDir dir;
  const std::string path = dir.Path() + "BYTES.BIN";
  const std::vector<uint8_t> bytes = Pattern(16 * kPage, 3);
  testsupport::WriteBytes(path, bytes);
  auto file = DefaultFileSystem().Open(path, OpenMode::ReadOnly);
  const auto mapping = file->MapForReading(bytes.size());
  const auto other = file->MapForReading(bytes.size());
  ASSERT_NE(mapping, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(std::memcmp(mapping->Bytes(), bytes.data(), bytes.size()), 0);

  ASSERT_EQ(::truncate(path.c_str(), 5 * kPage), 0);
  // The bytes before the cut stay; the first read past it finds zeros, as does the rest.
  EXPECT_EQ(std::memcmp(mapping->Bytes(), bytes.data(), 5 * kPage), 0);
  EXPECT_FALSE(mapping->Lost());
  const volatile uint8_t* cut = mapping->Bytes();
  EXPECT_EQ(cut[9 * kPage + 17], 0);
  EXPECT_TRUE(mapping->Lost());
  EXPECT_EQ(cut[15 * kPage], 0);
  // Only the mapping that met the cut knows of it; the other still reads what lies before it.
  EXPECT_FALSE(other->Lost());
  EXPECT_EQ(std::memcmp(other->Bytes() + kPage, bytes.data() + kPage, kPage), 0);
}

TEST(FileMappingDeathTest, ABusErrorOutsideEveryMappingStillEndsTheProcess) {
  testsupport::TempDir dir;
  const std::string path = dir.Path() + "BYTES.BIN";
  testsupport::WriteBytes(path, Pattern(kPage, 1));
  EXPECT_EXIT(
      {
        auto file = DefaultFileSystem().Open(path, OpenMode::ReadOnly);
        const auto mapping = file->MapForReading(kPage);  // the handler is in place
        ::raise(SIGBUS);
      },
      ::testing::KilledBySignal(SIGBUS), "");
}

TEST(MappedBrowsing, RowsReadInPlaceEqualRowsReadThroughTheCache) {
  testsupport::TempDir dir;
  const std::string path = MappedPartsTable(dir.Path());
  testsupport::FaultFileSystem unmapped(DefaultFileSystem());  // its files read with ReadAt alone
  DataFile cached(unmapped.Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path),
                  DataFile::kCacheBytes, DataAccess::kBrowse);
  DataFile mapped(DefaultFileSystem().Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path),
                  DataFile::kCacheBytes, DataAccess::kBrowse);
  ASSERT_TRUE(mapped.ReadsInPlace()) << "the test folder lies on a local disk";
  ASSERT_FALSE(cached.ReadsInPlace());
  const size_t recordSize = mapped.Header().recordSize;
  auto same = [&](uint32_t row) {
    const std::vector<uint8_t> a(cached.Record(row), cached.Record(row) + recordSize);
    return std::memcmp(mapped.Record(row), a.data(), recordSize) == 0;
  };
  // Rows asked for before the chain is walked to them, then in order, then anywhere.
  ASSERT_TRUE(same(kMappedRecords - 1));
  ASSERT_EQ(mapped.RecordCount(), cached.RecordCount());
  for (uint32_t row = 0; row < mapped.RecordCount(); ++row) ASSERT_TRUE(same(row)) << "row " << row;
  std::mt19937 random(5);
  for (int k = 0; k < 5000; ++k) {
    const uint32_t row = random() % mapped.RecordCount();
    ASSERT_TRUE(same(row)) << "row " << row;
  }
  ASSERT_EQ(mapped.Blocks().size(), cached.Blocks().size());
  for (size_t i = 0; i < mapped.Blocks().size(); i += 37)
    ASSERT_EQ(std::memcmp(mapped.BlockRecords(i), cached.BlockRecords(i), mapped.Blocks()[i].count * recordSize), 0);
}

TEST(MappedBrowsing, AFileGrownPastTheMappedRoomIsMappedAgainWithTheSameRows) {
  testsupport::TempDir dir;
  const std::string path = MappedPartsTable(dir.Path());
  DataFile data(DefaultFileSystem().Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path),
                DataFile::kCacheBytes, DataAccess::kBrowse);
  const size_t recordSize = data.Header().recordSize;
  std::vector<uint8_t> rows;
  for (uint32_t row = 0; row < data.RecordCount(); ++row)
    rows.insert(rows.end(), data.Record(row), data.Record(row) + recordSize);
  const uint8_t* firstBefore = data.Record(0);

  // Far more than the room mapped past the end; the rows stay where they were.
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(std::filesystem::file_size(path) + (uint64_t{64} << 20))), 0);
  TableHeader same = data.Header();
  data.Refresh(same, data.RecordCount(), {}, {});
  ASSERT_TRUE(data.ReadsInPlace());
  EXPECT_NE(data.Record(0), firstBefore) << "read from a new mapping";
  for (uint32_t row = data.RecordCount(); row-- > 0;)
    ASSERT_EQ(std::memcmp(data.Record(row), rows.data() + size_t{row} * recordSize, recordSize), 0) << "row " << row;
}

TEST(MappedPass, BlocksReadInPlaceEqualCopiedOnesAndACutRaises) {
  testsupport::TempDir dir;
  const std::string path = MappedPartsTable(dir.Path());
  testsupport::FaultFileSystem unmapped(DefaultFileSystem());
  DataFile data(DefaultFileSystem().Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path));
  const size_t recordSize = data.Header().recordSize;
  {
    SequentialBlocks inPlace(DefaultFileSystem(), data);
    SequentialBlocks copied(unmapped, data);
    for (size_t i = 0; i < data.Blocks().size(); ++i) {
      const size_t bytes = data.Blocks()[i].count * recordSize;
      const std::vector<uint8_t> expected(copied.Records(i), copied.Records(i) + bytes);
      ASSERT_EQ(std::memcmp(inPlace.Records(i), expected.data(), bytes), 0) << "block " << i;
    }
  }
  SequentialBlocks inPlace(DefaultFileSystem(), data);
  inPlace.Records(0);
  ASSERT_EQ(::truncate(path.c_str(), 64 * 1024), 0);
  try {
    for (size_t i = 0; i < data.Blocks().size(); ++i) inPlace.Records(i);
    FAIL() << "every block was read from a file cut to 64 KiB";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrIo) << e.what();
  }
}

TEST(MappedPass, APassInPlaceGivesBackThePagesBehindItAndReadsThemAgainWhenTheChainJumpsBack) {
  testsupport::TempDir dir;
  const std::string path = dir.Path() + "GROSS.BIN";
  constexpr size_t kBlock = 4096;
  const std::vector<uint8_t> bytes = Pattern(size_t{48} << 20, 3);
  testsupport::WriteBytes(path, bytes);
  auto file = DefaultFileSystem().Open(path, OpenMode::ReadOnly);
  ChainWindow window(*file, bytes.size(), kBlock, ChainWindow::Reading::kInPlaceWhenLarge);
  ASSERT_TRUE(window.ReadsInPlace());
  const int64_t before = MappedFileKilobytes();
  int64_t most = 0;
  for (size_t at = 0; at < bytes.size(); at += kBlock) {
    ASSERT_EQ(std::memcmp(window.At(at, kBlock), bytes.data() + at, kBlock), 0) << "at " << at;
    if (LookHere(at)) most = std::max(most, MappedFileKilobytes() - before);
  }
  EXPECT_LT(most, 8 * 1024) << "kilobytes of the 48 MiB file held at once";
  for (size_t at : {size_t{0}, size_t{20} << 20, bytes.size() - kBlock})
    EXPECT_EQ(std::memcmp(window.At(at, kBlock), bytes.data() + at, kBlock), 0) << "at " << at;
}

TEST(MappedPass, AWholeFilePassReadsInPlaceWhatCopiedReadsGiveHoldingOnlyThePagesNearIt) {
  testsupport::TempDir dir;
  const std::string path = parts::CreatePartsTable(dir.Path(), 1500000);
  ASSERT_GT(std::filesystem::file_size(path), uint64_t{20} << 20);
  testsupport::FaultFileSystem unmapped(DefaultFileSystem());
  const int64_t before = MappedFileKilobytes();
  DataFile inPlace(DefaultFileSystem().Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path));
  ASSERT_TRUE(inPlace.ReadsInPlace());
  int64_t most = MappedFileKilobytes() - before;
  DataFile copied(unmapped.Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path));
  ASSERT_EQ(inPlace.Blocks().size(), copied.Blocks().size());
  const size_t recordSize = inPlace.Header().recordSize;
  for (size_t i = 0; i < inPlace.Blocks().size(); ++i) {
    const size_t bytes = inPlace.Blocks()[i].count * recordSize;
    ASSERT_EQ(std::memcmp(inPlace.BlockRecords(i), copied.BlockRecords(i), bytes), 0) << "block " << i;
    if (LookHere(inPlace.Header().BlockOffset(inPlace.Blocks()[i].block)))
      most = std::max(most, MappedFileKilobytes() - before);
  }
  EXPECT_LT(most, 8 * 1024) << "kilobytes of the table's file held at once";
  for (uint32_t row : {0u, inPlace.RecordCount() / 2, inPlace.RecordCount() - 1})
    EXPECT_EQ(std::memcmp(inPlace.Record(row), copied.Record(row), recordSize), 0) << "row " << row;
}

TEST(MappedBrowsing, RowsAppendedThroughTheCursorAreReadFromTheGrownFile) {
  testsupport::TempDir dir;
  const std::string path = MappedPartsTable(dir.Path());
  TTable t;
  OpenParts(t, dir.Path());
  t.Last();
  const uintmax_t before = std::filesystem::file_size(path);
  for (int k = 0; k < 400; ++k) {
    t.Append();
    t.Fields(0).SetAsInteger(kMappedRecords + 1 + k);
    t.Fields(1).SetAsString("Neu" + std::to_string(k));
    t.Post();
  }
  ASSERT_GT(std::filesystem::file_size(path), before);
  TTable fresh;
  OpenParts(fresh, dir.Path());
  ASSERT_EQ(t.RecordCount(), kMappedRecords + 400);
  ASSERT_EQ(fresh.RecordCount(), t.RecordCount());
  for (t.First(), fresh.First(); !fresh.Eof(); t.Next(), fresh.Next()) {
    ASSERT_EQ(t.Fields(0).AsString(), fresh.Fields(0).AsString());
    ASSERT_EQ(t.Fields(1).AsString(), fresh.Fields(1).AsString());
  }
}

TEST(MappedBrowsing, ATableCutShortBehindAnOpenCursorRaisesInsteadOfEndingTheProcess) {
  testsupport::TempDir dir;
  const std::string path = MappedPartsTable(dir.Path());
  TTable t;
  OpenParts(t, dir.Path());
  ASSERT_EQ(t.Fields(0).AsString(), "1");
  ASSERT_EQ(::truncate(path.c_str(), 64 * 1024), 0);

  // Reaching the cut (by the chain walk or by reading a row) raises, and so does every later read.
  auto readsToTheEnd = [&] {
    for (t.First(); !t.Eof(); t.Next()) t.Fields(1).AsString();
  };
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      readsToTheEnd();
      FAIL() << "the whole table was read from a file cut to 64 KiB";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), kErrIo);
      EXPECT_NE(std::string(e.what()).find("verkürzt"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("TEILE.DB"), std::string::npos) << e.what();
    }
  }
}

TEST(MappedBrowsing, RowsWalkedBeforeTheCutRaiseWhenReadOrEditedAfterIt) {
  testsupport::TempDir dir;
  const std::string path = MappedPartsTable(dir.Path());
  TTable t;
  OpenParts(t, dir.Path());
  ASSERT_EQ(t.RecordCount(), kMappedRecords);  // the whole chain walked
  ASSERT_EQ(::truncate(path.c_str(), 64 * 1024), 0);
  t.MoveTo(kMappedRecords - 10);
  EXPECT_THROW(t.Fields(0).AsString(), EDBEngineError);
  t.MoveTo(kMappedRecords - 2000);
  EXPECT_THROW(t.Edit(), EDBEngineError);
  EXPECT_NE(t.State(), TDataSetState::dsEdit);
}

}  // namespace engine
