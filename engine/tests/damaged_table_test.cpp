// Damaged and foreign files: each gives an EDBEngineError with a German message naming the file,
// or is read around where the data is still safe. Never a crash, a read outside the file or an
// endless loop.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <typeinfo>

#include "direct/table_files.h"
#include "family/table_cursor.h"
#include "format/field_type.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::CopyTable;
using testsupport::ReadBytes;
using testsupport::ReadText;
using testsupport::TableDumpText;
using testsupport::TempDir;
using testsupport::WriteBytes;

// The unkeyed sample: 75-byte records, 2 KiB blocks, 55 records in blocks 1 → 2 → 3.
constexpr size_t kUnkeyedHeader = 2048;
constexpr size_t kUnkeyedBlock = 2048;

size_t BlockStart(int block) { return kUnkeyedHeader + static_cast<size_t>(block - 1) * kUnkeyedBlock; }

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Whether `message` is the engine's German message naming a file of the folder `dir`:
// Datei „<dir>…“: <cause>.
bool NamesAFileIn(const std::string& message, const std::string& dir) {
  const std::string opening = "Datei \xE2\x80\x9E" + dir;
  const std::string closing = "\xE2\x80\x9C: ";
  if (message.rfind(opening, 0) != 0) return false;
  const size_t end = message.find(closing, opening.size());
  return end != std::string::npos && end + closing.size() < message.size();
}

struct Damage {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> change;
  uint16_t code;
  const char* cause;  // part of the German message
};

TEST(DamagedTable, EachDamageGivesAGermanErrorNamingTheFile) {
  SKIP_WITHOUT_FIXTURES();
  const std::vector<Damage> cases = {
      {"chain loop", [](auto& b) { coding::PutU16(&b[BlockStart(2)], 1); }, kErrCorrupt, "Schleife"},
      {"self loop", [](auto& b) { coding::PutU16(&b[BlockStart(2)], 2); }, kErrCorrupt, "Schleife"},
      {"next block beyond block count", [](auto& b) { coding::PutU16(&b[BlockStart(2)], 999); },
       kErrCorrupt, "außerhalb"},
      {"first block 0xFFFF", [](auto& b) { coding::PutU16(&b[0x0E], 0xFFFF); }, kErrCorrupt, "außerhalb"},
      {"block count larger than the file", [](auto& b) {
         coding::PutU16(&b[0x0C], 40);
         coding::PutU16(&b[BlockStart(3)], 40);
         coding::PutU16(&b[0x10], 40);
       }, kErrCorrupt, "außerhalb"},
      {"truncated inside the blocks", [](auto& b) { b.resize(BlockStart(2) + 100); }, kErrCorrupt, "außerhalb"},
      {"truncated inside the header", [](auto& b) { b.resize(300); }, kErrCorrupt, "unvollständig"},
      {"truncated after the used header", [](auto& b) { b.resize(1500); }, kErrCorrupt, "abgeschnitten"},
      {"truncated before the fixed header", [](auto& b) { b.resize(40); }, kErrNotATable, "zu kurz"},
      {"zero-length file", [](auto& b) { b.clear(); }, kErrNotATable, "leer"},
      {"version 2", [](auto& b) { b[0x39] = 2; }, kErrNotATable, "Dateiversion"},
      {"version 13", [](auto& b) { b[0x39] = 13; }, kErrNotATable, "Dateiversion"},
      {"file type 9", [](auto& b) { b[0x04] = 9; }, kErrNotATable, "Dateityp"},
      {"secondary index file type", [](auto& b) { b[0x04] = 3; }, kErrNotATable, "Indexdatei"},
      {"primary index file type", [](auto& b) { b[0x04] = 1; }, kErrNotATable, ""},
      {"block size 5", [](auto& b) { b[0x05] = 5; }, kErrNotATable, "Blockgröße"},
      {"record size disagrees with fields", [](auto& b) { coding::PutU16(&b[0], 74); }, kErrCorrupt, "Datensatzlänge"},
      {"record count offset not a multiple", [](auto& b) { coding::PutU16(&b[BlockStart(1) + 4], 77); },
       kErrCorrupt, "Satzanzahl"},
      {"more records than fit", [](auto& b) { coding::PutU16(&b[BlockStart(1) + 4], 75 * 40); },
       kErrCorrupt, "Satzanzahl"},
      {"negative record offset", [](auto& b) { coding::PutU16(&b[BlockStart(1) + 4], static_cast<uint16_t>(-150)); },
       kErrCorrupt, "Satzanzahl"},
      {"text file", [](auto& b) {
         const std::string text = "Name;Vorname\nMeier;Hans\nSchulz;Erika\n";
         b.assign(text.begin(), text.end());
       }, kErrNotATable, ""},
      {"encrypted level-4 header", [](auto& b) {
         coding::PutU32(&b[0x25], 0xFF00FF00u);
         coding::PutU32(&b[0x5C], 0x0A25E09Au);
       }, kErrPasswordProtected, "Kennwort"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
    auto bytes = ReadBytes(path);
    c.change(bytes);
    WriteBytes(path, bytes);
    try {
      TableDumpText(path);
      ADD_FAILURE() << c.name << ": kein Fehler";
    } catch (const EDBEngineError& e) {
      const std::string message = e.what();
      EXPECT_EQ(e.ErrorCode(), c.code) << c.name << ": " << message;
      EXPECT_NE(message.find(path), std::string::npos) << c.name << ": " << message;
      EXPECT_NE(message.find(c.cause), std::string::npos) << c.name << ": " << message;
    }
  }
}

TEST(DamagedTable, MissingFileIsNamed) {
  TempDir dir;
  try {
    TableDumpText(dir.Path() + "FEHLT.DB");
    ADD_FAILURE() << "kein Fehler";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrFileNotFound);
    EXPECT_NE(std::string(e.what()).find("FEHLT.DB"), std::string::npos) << e.what();
  }
}

// A field descriptor whose size byte its type does not allow is refused when the header is read,
// naming the field, even when the record length agrees with the sizes: a number read or written
// in fewer than 8 bytes, or a short in more than 2, would run past the field.
TEST(DamagedTable, FieldSizeItsTypeDoesNotAllowIsRefused) {
  SKIP_WITHOUT_FIXTURES();
  constexpr size_t kDescriptors = 0x78;  // level-5 data file: field descriptors after the extension
  struct Case {
    PxType type;
    uint8_t size;
  };
  const std::vector<Case> cases = {
      {PxType::Number, 4},  {PxType::Money, 2},  {PxType::Timestamp, 7}, {PxType::Timestamp, 16},
      {PxType::Short, 4},   {PxType::Long, 8},   {PxType::Date, 6},      {PxType::Time, 5},
      {PxType::AutoInc, 3}, {PxType::Logical, 2}, {PxType::Bcd, 33},     {PxType::Bcd, 255},
      {PxType::Memo, 251},  {PxType::Blob, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, PxTypeLetter(c.type)) + std::to_string(c.size));
    TempDir dir;
    const std::string path = CopyTable(fixtures::AllFieldTypes(), dir.Path());
    auto bytes = ReadBytes(path);
    const size_t fields = coding::GetU16(&bytes[0x21]);
    size_t field = 0;
    while (field < fields && bytes[kDescriptors + 2 * field] != static_cast<uint8_t>(c.type)) ++field;
    ASSERT_LT(field, fields) << "the sample has no such field";
    uint8_t& size = bytes[kDescriptors + 2 * field + 1];
    // The record length follows the size, so only the size itself is wrong.
    if (c.type != PxType::Bcd)
      coding::PutU16(&bytes[0], static_cast<uint16_t>(coding::GetU16(&bytes[0]) - size + c.size));
    size = c.size;
    WriteBytes(path, bytes);
    try {
      TableDumpText(path);
      ADD_FAILURE() << "kein Fehler";
    } catch (const EDBEngineError& e) {
      const std::string message = e.what();
      EXPECT_EQ(e.ErrorCode(), kErrCorrupt) << message;
      EXPECT_TRUE(NamesAFileIn(message, dir.Path())) << message;
      EXPECT_NE(message.find("Feld " + std::to_string(field + 1) + " "), std::string::npos) << message;
    }
  }
}

// A header and a chain that disagree are read as far as both allow: the chain's records, cut
// to the header's count, and the disagreement noted, the same when the chain is walked as rows
// are asked for.
TEST(DamagedTable, HeaderAndChainDisagreementIsReadAround) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    uint32_t records;
  };
  const std::vector<Case> cases = {
      {"header claims more", [](auto& b) { coding::PutU32(&b[0x06], 500); }, 55},
      {"header claims fewer", [](auto& b) { coding::PutU32(&b[0x06], 30); }, 30},
      {"chain continues past the last block", [](auto& b) { coding::PutU16(&b[0x10], 2); coding::PutU32(&b[0x06], 54); }, 54},
      {"chain ends before the last block", [](auto& b) { coding::PutU16(&b[BlockStart(2)], 0); }, 54},
      {"empty block in the chain", [](auto& b) { coding::PutU16(&b[BlockStart(2) + 4], static_cast<uint16_t>(-75)); }, 28},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
    auto bytes = ReadBytes(path);
    c.change(bytes);
    WriteBytes(path, bytes);
    auto cursor = TableCursor::Open(DefaultFileSystem(), dir.Path(), "CONTACTS.DB");
    EXPECT_EQ(cursor->RowCount(), c.records) << c.name;
    EXPECT_FALSE(cursor->Notes().empty()) << c.name;
    EXPECT_EQ(CountLines(TableDumpText(path)), static_cast<int>(c.records) + 2) << c.name;
    DataFile browsing(DefaultFileSystem().Open(path, OpenMode::ReadOnly), ReadTableHeader(DefaultFileSystem(), path),
                      DataFile::kCacheBytes, DataAccess::kBrowse);
    EXPECT_TRUE(browsing.HasRecord(c.records - 1)) << c.name;
    EXPECT_FALSE(browsing.HasRecord(c.records)) << c.name;
    EXPECT_EQ(browsing.ChainRecordCount(), cursor->Data().ChainRecordCount()) << c.name;
    EXPECT_EQ(browsing.Inconsistency(), cursor->Data().Inconsistency()) << c.name;
  }
}

// A last block that the end of the file cuts short only past its last record reads whole.
TEST(DamagedTable, ShortLastBlockPastItsRecordsReadsWhole) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
  const std::string full = TableDumpText(path);
  auto bytes = ReadBytes(path);
  bytes.resize(bytes.size() - 1024);
  WriteBytes(path, bytes);
  EXPECT_EQ(TableDumpText(path), full);  // the last block's records all lie in its first KiB
}

// The records a plain walk of the block chain finds in the bytes of a table file, by the format's
// rules alone: from the header's first block along the next links up to its last block, each
// block holding the records its header counts, the whole cut to the header's record count, bytes
// past the end of the file read as zeros. Empty where the walk meets what no reader may read
// around: a record longer than a block, a loop, a block outside the file, or a record count that
// does not fit its block.
std::optional<std::vector<std::string>> ChainRecords(const std::vector<uint8_t>& bytes) {
  // Little-endian values at an offset of the file.
  const auto byteAt = [&](uint64_t offset) { return offset < bytes.size() ? bytes[offset] : uint8_t{0}; };
  const auto u16At = [&](uint64_t offset) { return static_cast<uint16_t>(byteAt(offset) | byteAt(offset + 1) << 8); };
  const auto u32At = [&](uint64_t offset) { return uint32_t{u16At(offset)} | uint32_t{u16At(offset + 2)} << 16; };
  const uint16_t recordSize = u16At(0x00);
  const uint16_t headerSize = u16At(0x02);
  const uint32_t blockBytes = byteAt(0x05) * 1024u;
  const uint32_t headerRecords = u32At(0x06);
  const uint16_t fileBlocks = u16At(0x0C);
  const uint16_t lastBlock = u16At(0x10);
  if (recordSize == 0 || blockBytes < 6 || recordSize > blockBytes - 6) return std::nullopt;
  std::vector<std::string> records;
  std::set<uint16_t> visited;
  uint16_t block = u16At(0x0E);
  while (block != 0) {
    const uint64_t start = headerSize + uint64_t{block - 1u} * blockBytes;
    if (!visited.insert(block).second || block > fileBlocks || start >= bytes.size()) return std::nullopt;
    const int lastOffset = static_cast<int16_t>(u16At(start + 4));
    if (lastOffset < -recordSize || lastOffset % recordSize != 0) return std::nullopt;
    const int count = lastOffset / recordSize + 1;
    if (count > static_cast<int>((blockBytes - 6) / recordSize)) return std::nullopt;
    for (int r = 0; r < count; ++r) {
      std::string record(recordSize, '\0');
      for (uint16_t b = 0; b < recordSize; ++b)
        record[b] = static_cast<char>(byteAt(start + 6 + static_cast<uint64_t>(r) * recordSize + b));
      records.push_back(std::move(record));
    }
    if (block == lastBlock) break;
    block = u16At(start);
  }
  if (records.size() > headerRecords) records.resize(headerRecords);
  return records;
}

// Random byte changes, half of them in the header's first 256 bytes where the structure lives,
// never crash or hang the reader. Each damaged table either reads with exactly the records that
// a plain walk of its block chain finds, dumping all of them, or is refused with an
// EDBEngineError whose German message names the file; never another exception.
TEST(DamagedTable, RandomByteChangesReadAsTheChainOrAreRefused) {
  SKIP_WITHOUT_FIXTURES();
  const std::vector<std::filesystem::path> tables = {fixtures::Unkeyed(), fixtures::KeyedWithBlobs(),
                                                     fixtures::KeyedWithGraphic(), fixtures::Level3Keyed(),
                                                     fixtures::AllFieldTypes()};
  std::mt19937 rng(20261208);
  int refusals = 0, reads = 0;
  for (const auto& table : tables) {
    TempDir dir;
    const std::string path = CopyTable(table, dir.Path());
    const std::string name = table.filename().string();
    const auto original = ReadBytes(path);
    // The walk reads the undamaged sample as its independent dump does.
    const auto walked = ChainRecords(original);
    ASSERT_TRUE(walked.has_value()) << table;
    ASSERT_EQ(static_cast<int>(walked->size()) + 2, CountLines(ReadText(fixtures::ExpectedDump(table)))) << table;
    for (int round = 0; round < 100; ++round) {
      SCOPED_TRACE(name + ", round " + std::to_string(round));
      auto bytes = original;
      const int changes = 1 + static_cast<int>(rng() % 8);
      for (int k = 0; k < changes; ++k) {
        const size_t limit = (rng() % 2) ? std::min<size_t>(bytes.size(), 0x100) : bytes.size();
        bytes[rng() % limit] = static_cast<uint8_t>(rng());
      }
      WriteBytes(path, bytes);
      const auto expected = ChainRecords(bytes);
      try {
        auto cursor = TableCursor::Open(DefaultFileSystem(), dir.Path(), name);
        std::vector<std::string> records;
        for (uint32_t r = 0; r < cursor->RowCount(); ++r)
          records.emplace_back(reinterpret_cast<const char*>(cursor->Data().Record(r)), cursor->Header().recordSize);
        const std::string dump = TableDumpText(path);
        ++reads;
        ASSERT_TRUE(expected.has_value()) << "read although the block chain cannot be read around";
        EXPECT_EQ(records.size(), expected->size());
        EXPECT_TRUE(records == *expected) << "other records than the block chain holds";
        EXPECT_EQ(CountLines(dump), static_cast<int>(records.size()) + 2);
      } catch (const EDBEngineError& e) {
        ++refusals;
        EXPECT_TRUE(NamesAFileIn(e.what(), dir.Path())) << e.what();
      } catch (const std::exception& e) {
        ADD_FAILURE() << "not an EDBEngineError: " << typeid(e).name() << ": " << e.what();
      }
    }
  }
  // The seed damages the samples both ways; a reader that refused or read everything fails here.
  EXPECT_GT(reads, 0);
  EXPECT_GT(refusals, 0);
}

}  // namespace
}  // namespace engine
