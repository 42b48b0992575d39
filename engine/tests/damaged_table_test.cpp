// Damaged and foreign files: each gives an EDBEngineError with a German message naming the file,
// or is read around where the data is still safe. Never a crash, a read outside the file or an
// endless loop.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "component/table_cursor.h"
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

// A header and a chain that disagree are read as far as both allow: the chain's records, cut
// to the header's count, and the disagreement noted.
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
  }
}

// The last block cut short by the end of the file reads its missing bytes as zeros.
TEST(DamagedTable, ShortLastBlockReadsAsZeros) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
  const std::string full = TableDumpText(path);
  auto bytes = ReadBytes(path);
  bytes.resize(bytes.size() - 1024);
  WriteBytes(path, bytes);
  EXPECT_EQ(TableDumpText(path), full);  // the last block's records all lie in its first KiB
}

// Random byte changes in the header and the blocks never crash or hang the reader: every
// outcome is a dump or an EDBEngineError.
TEST(DamagedTable, RandomByteChangesNeverCrash) {
  SKIP_WITHOUT_FIXTURES();
  const std::vector<std::filesystem::path> tables = {fixtures::Unkeyed(), fixtures::KeyedWithBlobs(),
                                                     fixtures::KeyedWithGraphic(), fixtures::Level3Keyed(),
                                                     fixtures::AllFieldTypes()};
  std::mt19937 rng(20261208);
  int failures = 0, reads = 0;
  for (const auto& table : tables) {
    TempDir dir;
    const std::string path = CopyTable(table, dir.Path());
    const auto original = ReadBytes(path);
    for (int round = 0; round < 100; ++round) {
      auto bytes = original;
      const int changes = 1 + static_cast<int>(rng() % 8);
      for (int k = 0; k < changes; ++k) {
        // Mostly the header and the block headers, where the structure lives.
        const size_t limit = (rng() % 2) ? std::min<size_t>(bytes.size(), 0x100) : bytes.size();
        bytes[rng() % limit] = static_cast<uint8_t>(rng());
      }
      WriteBytes(path, bytes);
      try {
        TableDumpText(path);
        ++reads;
      } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find(dir.Path()), std::string::npos) << e.what();
        ++failures;
      }
    }
  }
  EXPECT_EQ(reads + failures, 500);
}

}  // namespace
}  // namespace engine
