// Checking tables without changing them: every sound sample reads as sound, the damaged samples
// and copies damaged on purpose are named with their file and place, and tables this engine
// wrote pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "component/bulk_table.h"
#include "direct/table_files.h"
#include "direct/table_verify.h"
#include "engine/tests/parts_table.h"
#include "engine/tests/table_damage.h"
#include "family/record_check.h"
#include "family/shared_gather.h"
#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/data_block.h"
#include "format/index_block.h"
#include "format/table_header.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/forwarding_file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"
#include "testsupport/threads_refused.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::CopyTable;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;
using namespace damage;

// Whether some problem lies in a file ending in `fileEnd`, at a place beginning with
// `placeStart`, and says `words`.
bool Names(const TableReport& report, const std::string& fileEnd, const std::string& placeStart,
           const std::string& words) {
  for (const auto& p : report.problems) {
    const bool file = p.file.size() >= fileEnd.size() &&
                      p.file.compare(p.file.size() - fileEnd.size(), fileEnd.size(), fileEnd) == 0;
    if (file && p.place.rfind(placeStart, 0) == 0 && p.text.find(words) != std::string::npos) return true;
  }
  return false;
}

// Samples that are damaged or inconsistent, with a file and words of the problem named.
const std::map<std::string, std::pair<std::string, std::string>>& DamagedSamples() {
  static const std::map<std::string, std::pair<std::string, std::string>> damaged = {
      {"celebithil_Rparadox/inst/extdata/mushrooms.db", {"mushrooms.mb", "gehört zu keinem Datensatz"}},
      {"grigoryvp_pyparadox/test.db", {"test.PX", "Primärindex der Tabelle mit Schlüssel fehlt"}},
      {"kymuweb_Paradox-Reader/ParadoxTest/data/zakazky.db", {"zakazky.XG0", "Blocknummern von 1 Einträgen"}},
      {"leonhad_paradoxdriver/history-9609c3f/src/test/resources/db/NOTE1251.DB",
       {"NOTE1251.DB", "2 Textwerte enthalten Zeichen, die Codeseite 936 nicht kennt"}},
      {"leonhad_paradoxdriver/history-d1b7269/src/test/resources/db/fields.db", {"fields.db", "BCD-Wert"}},
      {"leonhad_paradoxdriver/src/test/resources/areas/STATES.DB", {"STATES.PX", "Primärindex"}},
      {"leonhad_paradoxdriver/src/test/resources/areas/ZIPCODES.DB", {"ZIPCODES.DB", "1024 Bytes kürzer"}},
      {"leonhad_paradoxdriver/src/test/resources/fields/bcd.db", {"bcd.db", "BCD-Wert"}},
      {"steinm_pxlib/testdata/TypSammlung.DB", {"TypSammlung.DB", "BCD-Wert"}},
      {"t232006_Individual-dictionary/_QSQ1.DB", {"_QSQ1.DB", "über den letzten Block"}},
      {"t232006_Individual-dictionary/synch1.db", {"synch1.db", "nennt 4 Datensätze"}},
      {"teverett_paradoxReader/src/test/resources/examples/MEMBRE.DB", {"MEMBRE.MB", "Memo-/BLOb-Datei fehlt"}},
  };
  return damaged;
}

TEST(VerifyTable, SoundSamplesAreOkAndDamagedOnesNamed) {
  SKIP_WITHOUT_FIXTURES();
  int sound = 0;
  for (const auto& table : fixtures::All()) {
    const std::string relative = fixtures::Relative(table);
    TempDir dir;
    const std::string path = CopyTable(table, dir.Path());
    TableReport report;
    try {
      report = VerifyTable(DefaultFileSystem(), path);
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), kErrPasswordProtected) << relative << ": " << e.what();
      continue;
    }
    const auto damaged = DamagedSamples().find(relative);
    if (damaged == DamagedSamples().end()) {
      EXPECT_TRUE(report.problems.empty()) << relative << ":\n" << ProblemText(report);
      ++sound;
    } else {
      EXPECT_TRUE(Names(report, damaged->second.first, "", damaged->second.second))
          << relative << ":\n" << ProblemText(report);
    }
  }
  EXPECT_GT(sound, 80);
}

TEST(VerifyTable, DamagedChainsAreNamedWithTheirBlock) {
  SKIP_WITHOUT_FIXTURES();
  // The unkeyed sample's blocks 1 → 2 → 3 hold 27, 27 and 1 records.
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&, const TableHeader&)> change;
    const char* place;
    const char* words;
  };
  const std::vector<Case> cases = {
      {"dropped block",
       [](auto& b, const TableHeader& h) {
         coding::PutU16(&b[h.BlockOffset(1) + blk::kNext], 3);
         coding::PutU16(&b[h.BlockOffset(3) + blk::kPrev], 1);
       },
       "Block 2", "weder zur Blockkette noch zur Freiliste"},
      {"looped chain", [](auto& b, const TableHeader& h) { coding::PutU16(&b[h.BlockOffset(2) + blk::kNext], 1); },
       "Block 2", "Schleife zurück zu Block 1"},
      {"chain leaving the file",
       [](auto& b, const TableHeader& h) { coding::PutU16(&b[h.BlockOffset(2) + blk::kNext], 900); }, "Block 2",
       "Block 900 außerhalb der Datei"},
      {"bad record count",
       [](auto& b, const TableHeader& h) { coding::PutU16(&b[h.BlockOffset(2) + blk::kLastRecordOffset], 7); },
       "Block 2", "ungültige Satzanzahl"},
      {"wrong back link", [](auto& b, const TableHeader& h) { coding::PutU16(&b[h.BlockOffset(3) + blk::kPrev], 1); },
       "Block 3", "Rückverweis"},
      {"header record count", [](auto& b, const TableHeader&) { coding::PutU32(&b[hdr::kNumRecords], 56); }, "",
       "nennt 56 Datensätze"},
      {"truncated file", [](auto& b, const TableHeader& h) { b.resize(h.BlockOffset(3)); }, "",
       "Bytes kürzer"},
      {"free list loop",
       [](auto& b, const TableHeader& h) {
         // An empty block 4 heads a free list that points back at itself.
         b.resize(h.BlockOffset(5), 0);
         coding::PutU16(&b[hdr::kFileBlocks], 4);
         coding::PutU16(&b[hdr::kFirstFreeBlock], 4);
         coding::PutU16(&b[h.BlockOffset(4) + blk::kNext], 4);
         coding::PutU16(&b[h.BlockOffset(4) + blk::kLastRecordOffset], static_cast<uint16_t>(-h.recordSize));
       },
       "Block 4", "Freiliste enthält eine Schleife"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = CopyTable(fixtures::Unkeyed(), dir.Path());
    Damage(path, [&](auto& b) { c.change(b, HeaderOf(b)); });
    const TableReport report = VerifyTable(DefaultFileSystem(), path);
    EXPECT_TRUE(Names(report, "CONTACTS.DB", c.place, c.words)) << c.name << ":\n" << ProblemText(report);
  }
}

TEST(VerifyTable, StaleOrDisorderedKeysAreNamed) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&, const TableHeader&, const std::vector<uint64_t>&)> change;
    const char* file;
    const char* place;
    const char* words;
  };
  const std::vector<Case> cases = {
      {"record removed behind the .PX's back",
       [](auto& b, const TableHeader& h, const auto&) {
         const size_t at = h.BlockOffset(h.lastBlock) + blk::kLastRecordOffset;
         coding::PutU16(&b[at], static_cast<uint16_t>(coding::GetS16(&b[at]) - h.recordSize));
         coding::PutU32(&b[hdr::kNumRecords], h.numRecords - 1);
       },
       "ORDERS.PX", "Eintrag", "Datensätzen, die Daten haben an dieser Stelle"},
      {"duplicate key",
       [](auto& b, const TableHeader& h, const auto& records) {
         std::copy_n(&b[records[0]], h.KeyBytes(), &b[records[1]]);
       },
       "ORDERS.DB", "Datensatz 2 (Block 1)", "doppelt"},
      {"keys out of order",
       [](auto& b, const TableHeader& h, const auto& records) {
         std::swap_ranges(&b[records[4]], &b[records[4]] + h.recordSize, &b[records[5]]);
       },
       "ORDERS.DB", "Datensatz 6 (Block 1)", "kleiner als der des Datensatzes davor"},
      {"unknown code page", [](auto& b, const TableHeader&, const auto&) { coding::PutU16(&b[hdr::kCodePage], 9999); },
       "ORDERS.DB", "", "Codeseite 9999"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = CopyTable(fixtures::KeyedWithoutSecondaryIndex(), dir.Path());
    const auto records = RecordOffsets(path);
    Damage(path, [&](auto& b) { c.change(b, HeaderOf(b), records); });
    const TableReport report = VerifyTable(DefaultFileSystem(), path);
    EXPECT_TRUE(Names(report, c.file, c.place, c.words)) << c.name << ":\n" << ProblemText(report);
  }
}

TEST(VerifyTable, BrokenBlobReferencesAreNamedWithTheirRecord) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* name;
    std::function<void(const std::string& db, const std::string& mbPath, const std::vector<uint64_t>&)> change;
    const char* file;
    const char* words;
  };
  const std::vector<Case> cases = {
      {"pointer past the file",
       [](const auto& db, const auto&, const auto& desc) {
         Damage(db, [&](auto& b) { coding::PutU32(&b[desc[0] + mb::kDescRef], 0x7FFFF0FF); });
       },
       "CUSTOMER.MB", "nicht auf einen Block"},
      {"truncated .MB", [](const auto&, const auto& mbPath, const auto&) { Damage(mbPath, [](auto& b) { b.resize(4096); }); },
       "CUSTOMER.MB", "nicht auf einen Block"},
      {"two records share a blob",
       [](const auto& db, const auto&, const auto& desc) {
         Damage(db, [&](auto& b) { std::copy_n(&b[desc[0]], mb::kDescriptorSize, &b[desc[1]]); });
       },
       "CUSTOMER.MB", "gehört schon zu Datensatz"},
      {"modification number",
       [](const auto& db, const auto&, const auto& desc) {
         Damage(db, [&](auto& b) { coding::PutU16(&b[desc[0] + mb::kDescMod], 77); });
       },
       "CUSTOMER.MB", "Änderungsnummer"},
      {"missing .MB", [](const auto&, const auto& mbPath, const auto&) { std::filesystem::remove(mbPath); },
       "CUSTOMER.MB", "Memo-/BLOb-Datei fehlt"},
      {"length disagrees",
       [](const auto& db, const auto&, const auto& desc) {
         Damage(db, [&](auto& b) { coding::PutU32(&b[desc[0] + mb::kDescLength], coding::GetU32(&b[desc[0] + mb::kDescLength]) + 1); });
       },
       "CUSTOMER.MB", "passt nicht zur Länge im Datensatz"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
    const auto desc = MemoDescriptors(path, 2);
    ASSERT_EQ(desc.size(), 2u);
    c.change(path, dir.Path() + "CUSTOMER.MB", desc);
    const TableReport report = VerifyTable(DefaultFileSystem(), path);
    EXPECT_TRUE(Names(report, c.file, "Datensatz", c.words)) << c.name << ":\n" << ProblemText(report);
  }
}

TEST(VerifyTable, BlobsSharedByManyRecordsNameTheirFirstUserAndTheLeftOverBlobsInFileOrder) {
  // 30 records with blobs in the .MB; records 2 to 26 are made to refer to the blob of record 1,
  // which leaves their own 25 blobs to no record.
  TempDir dir;
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Notiz", ftMemo, 10, false});
  int next = 0;
  CreateTableInBulk(DefaultFileSystem(), dir.Path(), "NOTIZEN.DB", fields, TIndexDefs(), 0, [&](TBulkRow& row) {
    if (next == 30) return false;
    row.SetInteger(0, next);
    row.SetBlob(1, "Notiz " + std::to_string(next) + std::string(static_cast<size_t>(20 + next * 150), '.'));
    ++next;
    return true;
  });
  const std::string path = dir.Path() + "NOTIZEN.DB";
  const auto desc = damage::MemoDescriptors(path, 30);
  ASSERT_EQ(desc.size(), 30u);
  std::vector<uint32_t> leftOver;  // the blobs of records 2 to 26 by their offset in the .MB
  Damage(path, [&](auto& b) {
    for (size_t r = 1; r <= 25; ++r) {
      leftOver.push_back(coding::GetU32(&b[desc[r] + mb::kDescRef]) & ~mb::kRefIndexMask);
      std::copy_n(&b[desc[0]], mb::kDescriptorSize, &b[desc[r]]);
    }
  });
  std::sort(leftOver.begin(), leftOver.end());
  const TableReport report = VerifyTable(DefaultFileSystem(), path);
  const std::string firstUser = "Der BLOb am Offset " +
                                std::to_string(coding::GetU32(&ReadBytes(path)[desc[0] + mb::kDescRef]) & ~mb::kRefIndexMask) +
                                " gehört schon zu Datensatz 1 (Block 1).";
  std::vector<std::string> shared, orphans;
  for (const auto& p : report.problems) {
    if (p.text == firstUser) shared.push_back(p.place);
    if (p.text.find("gehört zu keinem Datensatz") != std::string::npos) orphans.push_back(p.place);
  }
  ASSERT_EQ(shared.size(), kListedRecordProblems) << ProblemText(report);
  EXPECT_EQ(shared[0], "Datensatz 2 (Block 1), Feld „Notiz“");
  EXPECT_TRUE(Names(report, "NOTIZEN.DB", "", "Weitere 5 Fehler")) << ProblemText(report);
  ASSERT_EQ(orphans.size(), 20u) << ProblemText(report);
  for (size_t i = 0; i < orphans.size(); ++i)
    EXPECT_EQ(orphans[i].rfind("Offset " + std::to_string(leftOver[i]), 0), 0u) << orphans[i];
  EXPECT_TRUE(Names(report, "NOTIZEN.MB", "", "Weitere 5 BLObs gehören zu keinem Datensatz.")) << ProblemText(report);
}

TEST(VerifyTable, StaleSecondaryIndexIsNamed) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  // The .X06 loses its last entry, its tree keeps it.
  Damage(dir.Path() + "CUSTOMER.X06", [](auto& b) {
    const TableHeader h = HeaderOf(b);
    const size_t at = h.BlockOffset(h.lastBlock) + blk::kLastRecordOffset;
    coding::PutU16(&b[at], static_cast<uint16_t>(coding::GetS16(&b[at]) - h.recordSize));
    coding::PutU32(&b[hdr::kNumRecords], h.numRecords - 1);
  });
  const TableReport report = VerifyTable(DefaultFileSystem(), path);
  EXPECT_TRUE(Names(report, "CUSTOMER.X06", "", "veraltet")) << ProblemText(report);
  EXPECT_TRUE(Names(report, "CUSTOMER.Y06", "Eintrag", "Datensätzen")) << ProblemText(report);
}

TEST(VerifyTable, AHeaderCountingFarMoreRecordsThanTheFileHoldsIsNamedWithoutTakingMemoryForThem) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  const std::string path = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  // Memory for this many rows of the secondary index would be hundreds of gigabytes.
  Damage(path, [](auto& b) { coding::PutU32(&b[hdr::kNumRecords], 0xFFFFFFF0u); });
  const TableReport report = VerifyTable(DefaultFileSystem(), path);
  EXPECT_TRUE(Names(report, "CUSTOMER.DB", "", "nennt 4294967280 Datensätze")) << ProblemText(report);
}

// Problems in a form that compares whole: file, place and text of each, in order.
std::vector<std::string> ProblemLines(const TableReport& report) {
  std::vector<std::string> lines;
  for (const auto& p : report.problems) lines.push_back(p.file + " | " + p.place + " | " + p.text);
  return lines;
}

TEST(VerifyTable, TheIndexesCheckedBesideTheRecordsReportAsOnOneThread) {
  SKIP_WITHOUT_FIXTURES();
  // A file system that does not allow reads from two threads makes the check run on one.
  ForwardingFileSystem oneThread(DefaultFileSystem());
  auto same = [&](const std::string& path, const std::string& what) -> std::string {
    TableReport aside, alone;
    try {
      aside = VerifyTable(DefaultFileSystem(), path);
    } catch (const EDBEngineError& e) {
      EXPECT_THROW(VerifyTable(oneThread, path), EDBEngineError) << what << ": " << e.what();
      return "";
    }
    alone = VerifyTable(oneThread, path);
    EXPECT_EQ(ProblemLines(aside), ProblemLines(alone)) << what;
    return ProblemText(alone);
  };
  for (const auto& table : fixtures::All()) {
    TempDir dir;
    same(CopyTable(table, dir.Path()), fixtures::Relative(table));
  }
  // Stale in different ways: an entry naming another block, and two entries swapped (this
  // table's language driver orders its text by its own rules, so the index tree tells it).
  for (const int change : {0, 1}) {
    TempDir dir;
    const std::string path = CopyTable(fixtures::LargeWithSecondaryIndex(), dir.Path());
    std::vector<std::string> namedFirst;  // how the damaged entry of each index file is named
    for (const auto& x : std::filesystem::directory_iterator(dir.Path())) {
      const std::string ext = x.path().extension().string();
      if (ext.size() != 4 || (ext[1] != 'X' && ext[1] != 'x')) continue;
      Damage(x.path().string(), [&](auto& b) {
        const TableHeader h = HeaderOf(b);
        const size_t first = h.BlockOffset(h.firstBlock) + blk::kHeaderBytes;
        if (change == 0) {
          const uint8_t* number = &b[first + h.recordSize - idx::kBlockNumberBytes];
          const auto block = static_cast<uint16_t>(coding::DecodeFlippedInt(number, idx::kBlockNumberBytes));
          namedFirst.push_back("Eintrag 1 nennt Block " + std::to_string(block ^ 1) + ", sein Datensatz liegt in Block " +
                               std::to_string(block));
          b[first + h.recordSize - 1] ^= 1;  // the block number of the first entry
        } else
          std::swap_ranges(&b[first], &b[first] + h.recordSize, &b[first + 2 * h.recordSize]);
      });
    }
    const std::string problems = same(path, change == 0 ? "block number" : "swap");
    {
      const testsupport::ThreadsRefused refused;  // no second thread to be had: checked on one
      EXPECT_EQ(ProblemText(VerifyTable(DefaultFileSystem(), path)), problems);
    }
    EXPECT_NE(problems.find(change == 0 ? "Blocknummern von 2 Einträgen" : "nicht der des ersten Datensatzes"), std::string::npos)
        << problems;
    if (change == 0) {
      EXPECT_TRUE(std::any_of(namedFirst.begin(), namedFirst.end(),
                              [&](const std::string& named) { return problems.find(named) != std::string::npos; }))
          << problems;
    }
  }
}

TEST(VerifyTable, ATableOfManyBlocksReportsAsOnOneThread) {
  // Blocks enough that the record check and the index thread each gather part of the rows and
  // match entries with rows in many pieces. Two entries, the first and the last, name another
  // block; in a second case a record far into the table also changes its group behind the
  // index's back. The index thread starts before the chain is scanned: in a third case the
  // header counts one record too many (the chain is read around it), in a fourth a block far
  // into the chain points outside the file (the records and indexes are not checked).
  for (const int change : {0, 1, 2, 3}) {
    const bool recordChanged = change == 1;
    TempDir dir;
    const std::string path =
        parts::CreatePartsTable(dir.Path(), static_cast<int>(SharedGather::kChunkBlocks * 3) * parts::kPartsPerBlock);
    const auto offsets = RecordOffsets(path);
    if (recordChanged) Damage(path, [&](auto& b) { b[offsets[offsets.size() * 2 / 3] + 5] ^= 0x01; });  // a digit
    if (change == 2) Damage(path, [](auto& b) { coding::PutU32(&b[hdr::kNumRecords], coding::GetU32(&b[hdr::kNumRecords]) + 1); });
    if (change == 3)
      Damage(path, [&](auto& b) {
        const TableHeader h = HeaderOf(b);
        const size_t block = h.BlockOffset(static_cast<uint16_t>(h.fileBlocks * 2 / 3));
        coding::PutU16(&b[block + blk::kNext], static_cast<uint16_t>(h.fileBlocks + 9));
      });
    std::string firstNamed;
    Damage(dir.Path() + "TEILE.X02", [&](auto& b) {
      const TableHeader h = HeaderOf(b);
      const size_t first = h.BlockOffset(h.firstBlock) + blk::kHeaderBytes + h.recordSize - 1;
      const size_t last = h.BlockOffset(h.lastBlock) + blk::kHeaderBytes + h.recordSize - 1;
      firstNamed = "Eintrag 1 nennt Block " + std::to_string((b[first] ^ 1) | (b[first - 1] ^ 0x80) << 8);
      b[first] ^= 1;
      b[last] ^= 1;
    });
    ForwardingFileSystem oneThread(DefaultFileSystem());
    const TableReport alone = VerifyTable(oneThread, path);
    EXPECT_EQ(ProblemLines(VerifyTable(DefaultFileSystem(), path)), ProblemLines(alone));
    if (change == 3) {
      EXPECT_TRUE(Names(alone, "TEILE.DB", "Block", "außerhalb der Datei")) << ProblemText(alone);
      continue;
    }
    const std::string expected = recordChanged ? "veraltet (ein Eintrag passt zu keinem Datensatz)"
                                 : change == 2 ? "veraltet ("
                                               : "Die Blocknummern von 2 Einträgen sind veraltet (" + firstNamed + ",";
    EXPECT_TRUE(Names(alone, "TEILE.X02", "", expected)) << expected << "\n" << ProblemText(alone);
  }
}

TEST(VerifyTable, TextOutsideTheCodePageIsNamed) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  // Code page 1252 leaves 0x81 undefined; the first name follows the 4-byte customer number.
  const std::string path = CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  const auto records = RecordOffsets(path);
  Damage(path, [&](auto& b) { b[records[3] + 4] = 0x81; });
  const TableReport report = VerifyTable(DefaultFileSystem(), path);
  EXPECT_TRUE(Names(report, "CUSTOMER.DB", "Datensatz 4 (Block 1), Feld „FirstName“",
                    "1 Textwert enthält Zeichen, die Codeseite 1252 nicht kennt"))
      << ProblemText(report);
}

TEST(VerifyTable, TablesThisEngineWroteAreSound) {
  SKIP_WITHOUT_FIXTURES();
  for (const auto& source : {fixtures::KeyedWithBlobs(), fixtures::AllFieldTypes(),
                             fixtures::LargeWithSecondaryIndex(), fixtures::CompositeSecondaryIndex()}) {
    TempDir dir;
    const std::string src = CopyTable(source, dir.Path());
    const std::string name = std::filesystem::path(src).filename().string();
    CopyTable(DefaultFileSystem(), dir.Path(), name, dir.Path(), "COPY.DB", false, TableFormat{});
    const TableReport report = VerifyTable(DefaultFileSystem(), dir.Path() + "COPY.DB");
    EXPECT_TRUE(report.problems.empty()) << source << ":\n" << ProblemText(report);
  }
}

TEST(VerifyTable, StrayCompanionsAndMissingTablesAreTold) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path(), "GONE");
  std::filesystem::remove(dir.Path() + "GONE.DB");
  const auto strays = StrayCompanionFiles(DefaultFileSystem(), dir.Path());
  std::vector<std::string> names;
  for (const auto& s : strays) names.push_back(std::filesystem::path(s.table).filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"GONE.MB", "GONE.PX", "GONE.X06", "GONE.Y06"}));
  EXPECT_EQ(TableFilesIn(DefaultFileSystem(), dir.Path()), std::vector<std::string>{"CUSTOMER.DB"});
  try {
    VerifyTable(DefaultFileSystem(), dir.Path() + "NIRGENDS.DB");
    ADD_FAILURE() << "a missing table was checked";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrFileNotFound) << e.what();
  }
}

}  // namespace
}  // namespace engine
