// The table component's reading side on sample tables: fields, records, navigation, index
// definitions and index choice, cell reads, key search, refusals, and the direct calls.

#include <gtest/gtest.h>

#include <filesystem>

#include "component/table.h"
#include "direct/database_handle.h"
#include "direct/direct_calls.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::CopyTable;
using testsupport::TempDir;

// Copies a sample table with its companions and opens the copy.
void OpenCopy(TTable& t, const std::filesystem::path& sample, const TempDir& dir) {
  CopyTable(sample, dir.Path());
  t.SetDatabaseName(dir.Path());
  t.SetTableName(sample.filename().string());
  t.Open();
}

template <typename F>
EDBEngineError Raised(F&& f) {
  try {
    f();
  } catch (const EDBEngineError& e) {
    return e;
  }
  ADD_FAILURE() << "kein EDBEngineError";
  return EDBEngineError(0, "");
}

TEST(TableRead, FieldsRecordsAndNavigation) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable t;
  OpenCopy(t, fixtures::KeyedWithBlobs(), dir);
  ASSERT_TRUE(t.Active());
  ASSERT_EQ(t.FieldCount(), 10);
  const std::vector<TFieldType> types = {ftAutoInc, ftString, ftString, ftString, ftString,
                                         ftString, ftString, ftString, ftMemo, ftDate};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(t.Fields(i).DataType(), types[static_cast<size_t>(i)]) << i;
  EXPECT_EQ(t.Fields(5).FieldName(), "City");
  EXPECT_EQ(t.Fields(5).Size(), 15);
  EXPECT_EQ(t.Fields(8).Size(), 100);  // memo leader
  EXPECT_EQ(t.RecordCount(), 20);
  EXPECT_EQ(t.FieldDefs().Count(), 10);
  EXPECT_EQ(t.FieldDefs()[9].DataType, ftDate);

  int visited = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    ++visited;
    EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), visited);
  }
  EXPECT_EQ(visited, 20);
  t.First();
  EXPECT_EQ(t.FieldByName("City").AsString(), "Santa Cruz");
  EXPECT_EQ(t.FieldByName("DateEntered").AsString(), "02.02.1996");
  EXPECT_EQ(t.FieldByName("Comments").AsString().size(), 32u);
  t.Next();
  EXPECT_EQ(t.FieldByName("city").AsString(), "Los Gatos");  // names match ignoring case
  EXPECT_EQ(Raised([&] { t.FieldByName("Nix"); }).ErrorCode(), kErrNotFound);
  // Cell reads of any row leave the cursor where it is.
  EXPECT_EQ(t.CellText(5, 5), "Scotts Valley");
  EXPECT_TRUE(t.CellIsNull(5, 8));
  EXPECT_EQ(t.RecNo(), 1);
  t.Last();
  EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), 20);
  t.Next();
  EXPECT_TRUE(t.Eof());
  t.Close();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(Raised([&] { t.RecordCount(); }).ErrorCode(), kErrNotOpen);
}

TEST(TableRead, DisplayTextOfEveryType) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable t;
  OpenCopy(t, fixtures::AllFieldTypes(), dir);
  t.First();
  const std::vector<std::string> first = {"1", "AAA", "111.11", "111.11", "111", "111", "111.11",
                                          "11.11.2011", "11:11:11", "11.11.2011 11:11:11", "True",
                                          "3132330000", "", "abc"};
  ASSERT_EQ(t.FieldCount(), static_cast<int>(first.size()));
  for (int i = 0; i < t.FieldCount(); ++i) {
    if (i != 13) {
      EXPECT_EQ(t.Fields(i).AsString(), first[static_cast<size_t>(i)]) << t.Fields(i).FieldName();
    }
  }
  EXPECT_EQ(t.Fields(13).AsString().size(), 3u);
  EXPECT_EQ(t.Fields(12).AsBytes().size(), 1u);
  EXPECT_DOUBLE_EQ(t.Fields(2).AsFloat(), 111.11);
  EXPECT_TRUE(t.Fields(10).AsBoolean());
  EXPECT_EQ(Raised([&] { t.Fields(2).AsInteger(); }).ErrorCode(), kErrInvalidValue);
  t.MoveTo(3);  // record 4: all empty but the alpha
  EXPECT_TRUE(t.Fields(2).IsNull());
  EXPECT_EQ(t.Fields(7).AsString(), "");
  EXPECT_EQ(t.Fields(2).AsInteger(), 0);
  SetShortDateFormat("yyyy-mm-dd");
  t.First();
  EXPECT_EQ(t.Fields(7).AsString(), "2011-11-11");
  SetShortDateFormat("dd.mm.yyyy");
}

// A browsed row's texts are read straight from its record; a row in edit state reads them from
// the edit buffer. Both give the same text for every type, null and code page.
TEST(TableRead, BrowsedTextsAreTheTextsOfTheSameRowInEditState) {
  SKIP_WITHOUT_FIXTURES();
  for (const auto& sample : {fixtures::AllFieldTypes(), fixtures::AllFieldTypesLevel7(), fixtures::KeyedWithBlobs(),
                             fixtures::Level3()}) {
    TempDir dir;
    TTable t;
    OpenCopy(t, sample, dir);
    for (t.First(); !t.Eof(); t.Next()) {
      std::vector<std::string> browsed;
      for (int i = 0; i < t.FieldCount(); ++i) browsed.push_back(t.Fields(i).AsString());
      t.Edit();
      for (int i = 0; i < t.FieldCount(); ++i)
        EXPECT_EQ(t.Fields(i).AsString(), browsed[static_cast<size_t>(i)])
            << sample << " Zeile " << t.RecNo() << " Feld " << t.Fields(i).FieldName();
      t.Cancel();
    }
  }
}

TEST(TableRead, IndexDefinitionsAndIndexChoice) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable t;
  OpenCopy(t, fixtures::KeyedWithBlobs(), dir);
  ASSERT_EQ(t.IndexDefs().Count(), 2);
  EXPECT_EQ(t.IndexDefs()[0].Name, "");
  EXPECT_EQ(t.IndexDefs()[0].Fields, "CustNo");
  EXPECT_TRUE(t.IndexDefs()[0].Options & ixPrimary);
  EXPECT_EQ(t.IndexDefs()[1].Name, "City");
  EXPECT_EQ(t.IndexDefs()[1].Fields, "City");

  t.MoveTo(3);  // CustNo 4
  t.SetIndexName("City");
  EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), 4) << "stays on the same record";
  std::string previous;
  int rows = 0;
  for (t.First(); !t.Eof(); t.Next(), ++rows) {
    const std::string city = t.FieldByName("City").AsString();
    EXPECT_LE(previous, city);
    previous = city;
  }
  EXPECT_EQ(rows, 20);
  EXPECT_EQ(Raised([&] { t.SetIndexName("Gibtsnicht"); }).ErrorCode(), kErrNotFound);
  t.SetIndexName("");
  t.First();
  EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), 1);

  // Definitions can be read while closed; the chosen index applies on the next open.
  t.Close();
  t.IndexDefs().Clear();
  t.IndexDefs().Update();
  EXPECT_EQ(t.IndexDefs().Count(), 2);
  t.SetIndexName("City");
  t.Open();
  EXPECT_EQ(t.FieldByName("City").AsString(), "Aptos");
}

TEST(TableRead, PriorBofAndRefreshFromDisk) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable t;
  OpenCopy(t, fixtures::Unkeyed(), dir);
  int scrolls = 0;
  t.AfterScroll = [&](TTable&) { ++scrolls; };
  t.Last();
  int visited = 1;
  for (t.Prior(); !t.Bof(); t.Prior()) ++visited;
  EXPECT_EQ(visited, 55);
  EXPECT_EQ(t.RecNo(), 0);
  EXPECT_GE(scrolls, 55);

  // Another program changes the first record's first field on disk; Refresh shows it.
  const std::string before = t.Fields(0).AsString();
  auto bytes = testsupport::ReadBytes(dir.Path() + "CONTACTS.DB");
  bytes[2048 + 6] = 'Q';
  testsupport::WriteBytes(dir.Path() + "CONTACTS.DB", bytes);
  t.Refresh();
  EXPECT_EQ(t.RecNo(), 0);
  EXPECT_EQ(t.Fields(0).AsString(), "Q" + before.substr(1));
}

// Loops over First/Next/Eof and Last/Prior/Bof visit every record once, for any count.
TEST(TableRead, LoopsVisitEveryRecordOnce) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    std::filesystem::path table;
    int records;
  };
  const std::vector<Case> cases = {
      {fixtures::Empty(), 0},
      {fixtures::OneRecord(), 1},
      {fixtures::ThreeRecords(), 3},
  };
  for (const auto& c : cases) {
    TempDir dir;
    TTable t;
    OpenCopy(t, c.table, dir);
    int forward = 0, backward = 0;
    for (t.First(); !t.Eof(); t.Next()) ++forward;
    for (t.Last(); !t.Bof(); t.Prior()) ++backward;
    EXPECT_EQ(forward, c.records) << c.table;
    EXPECT_EQ(backward, c.records) << c.table;
    t.MoveTo(c.records - 1);
    EXPECT_EQ(t.Eof(), c.records == 0) << c.table << ": landing on the last record is not Eof";
  }
}

TEST(TableRead, TableWithoutKeyHasNoIndexDefinitions) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable t;
  OpenCopy(t, fixtures::Unkeyed(), dir);
  EXPECT_EQ(t.IndexDefs().Count(), 0);
  EXPECT_EQ(t.RecordCount(), 55);
}

TEST(TableRead, FindKeyWithAnEmptyDateFindsTheRecordWithoutADate) {
  TempDir dir;
  TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("TAGE.DB");
  t.FieldDefs().Add({"Name", ftString, 10, false});
  t.FieldDefs().Add({"Tag", ftDate, 0, false});
  t.IndexDefs().Add({"", "Name;Tag", "", ixPrimary});
  t.CreateTable();
  t.Open();
  for (const char* day : {"02.01.2000", "", "01.01.1990"}) {
    t.Append();
    t.FieldByName("Name").SetAsString("A");
    t.FieldByName("Tag").SetAsString(day);
    t.Post();
  }
  t.Last();
  EXPECT_TRUE(t.FindKey({"A", ""}));
  EXPECT_TRUE(t.FieldByName("Tag").IsNull());
  EXPECT_EQ(t.RecNo(), 0) << "no date sorts first";
  EXPECT_TRUE(t.FindKey({"A", " "}));
  EXPECT_TRUE(t.FindKey({"A", "02.01.2000"}));
  EXPECT_EQ(t.RecNo(), 2);
  // A text that is no date is still refused.
  EXPECT_EQ(Raised([&] { t.FindKey({"A", "kein Tag"}); }).ErrorCode(), kErrInvalidValue);
}

TEST(TableRead, FindKeyOnPrimaryAndSecondaryIndex) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable t;
  OpenCopy(t, fixtures::KeyedWithBlobs(), dir);
  EXPECT_TRUE(t.FindKey({"7"}));
  EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), 7);
  EXPECT_FALSE(t.FindKey({"999"}));
  EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), 7) << "stays put";
  // Texts that are no value of the key field are refused naming the field; the cursor stays.
  for (const char* text : {"sieben", "", " ", "7x"}) {
    const EDBEngineError e = Raised([&] { t.FindKey({text}); });
    EXPECT_EQ(e.ErrorCode(), kErrInvalidValue) << "„" << text << "“";
    EXPECT_NE(std::string(e.what()).find("„CustNo“"), std::string::npos) << e.what();
  }
  EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), 7);
  EXPECT_TRUE(t.FindKey({" 12 "})) << "blanks around a number are ignored";
  EXPECT_EQ(t.FieldByName("CustNo").AsInteger(), 12);
  t.SetIndexName("City");
  EXPECT_TRUE(t.FindKey({"Los Gatos"}));
  EXPECT_EQ(t.FieldByName("City").AsString(), "Los Gatos");
  EXPECT_EQ(Raised([&] { t.FindKey({"a", "b"}); }).ErrorCode(), kErrInvalidParam);

  // A case-insensitive index finds the value in any letter case.
  TTable codes;
  TempDir other;
  OpenCopy(codes, fixtures::BlockSize16K(), other);
  codes.SetIndexName("ste");
  EXPECT_TRUE(codes.FindKey({"nj"}));
  EXPECT_EQ(codes.FieldByName("State").AsString(), "NJ");
  EXPECT_FALSE(codes.FindKey({"xx"}));
}

TEST(TableRead, RefusalsNameTheTable) {
  SKIP_WITHOUT_FIXTURES();
  for (const auto& table : fixtures::PasswordProtectedTables()) {
    TempDir dir;
    TTable t;
    const EDBEngineError e = Raised([&] { OpenCopy(t, table, dir); });
    EXPECT_EQ(e.ErrorCode(), kErrPasswordProtected) << table;
    EXPECT_NE(std::string(e.what()).find(dir.Path()), std::string::npos) << e.what();
    EXPECT_FALSE(t.Active());
  }
  TempDir dir;
  TTable missing;
  missing.SetDatabaseName(dir.Path());
  missing.SetTableName("KUNDEN.DB");
  const EDBEngineError e = Raised([&] { missing.Open(); });
  EXPECT_EQ(e.ErrorCode(), kErrFileNotFound);
  EXPECT_NE(std::string(e.what()).find("KUNDEN.DB"), std::string::npos);
}

TEST(TableRead, ExclusiveOpenLocksOthersOut) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable a, b;
  a.SetExclusive(true);
  OpenCopy(a, fixtures::Unkeyed(), dir);
  b.SetDatabaseName(dir.Path());
  b.SetTableName("contacts.db");  // another spelling of the same file
  EXPECT_EQ(Raised([&] { b.Open(); }).ErrorCode(), kErrLocked);
  a.Close();
  b.Open();
  EXPECT_EQ(b.RecordCount(), 55);
}

TEST(TableRead, MissingBlobFileOpensAndFailsOnlyOnTheValue) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  CopyTable(fixtures::KeyedWithBlobs(), dir.Path());
  std::filesystem::remove(dir.Path() + "CUSTOMER.MB");
  TTable t;
  t.SetDatabaseName(dir.Path());
  t.SetTableName("CUSTOMER.DB");
  t.Open();
  t.First();  // 32-byte memo: lies in the 100-byte leader
  EXPECT_EQ(t.FieldByName("Comments").AsString().size(), 32u);
  t.MoveTo(3);  // 56864-byte memo: needs the .MB
  const EDBEngineError e = Raised([&] { t.FieldByName("Comments").AsString(); });
  EXPECT_EQ(e.ErrorCode(), kErrBlobMissing);
  EXPECT_NE(std::string(e.what()).find("CUSTOMER.MB"), std::string::npos) << e.what();
  EXPECT_EQ(Raised([&] { t.CellText(3, 8); }).ErrorCode(), kErrBlobMissing);
  EXPECT_EQ(t.FieldByName("City").AsString(), "Santa Cruz");
}

TEST(DirectCalls, CursorPropertiesAndDatabase) {
  SKIP_WITHOUT_FIXTURES();
  TempDir dir;
  TTable t;
  OpenCopy(t, fixtures::KeyedWithBlobs(), dir);
  CURProps props;
  ASSERT_EQ(GetCursorProperties(t.Handle(), props), kOk);
  EXPECT_STREQ(reinterpret_cast<const char*>(props.data() + kCurPropsTableTypeOffset), "PARADOX");
  EXPECT_EQ(coding::GetU16(props.data() + kCurPropsFieldCountOffset), 10);
  EXPECT_EQ(coding::GetU16(props.data() + kCurPropsRecordSizeOffset), 394);
  EXPECT_EQ(coding::GetU16(props.data() + kCurPropsLevelOffset), 7);
  EXPECT_EQ(coding::GetU16(props.data() + kCurPropsBlockSizeOffset), 2);

  hDBIDb db = nullptr;
  ASSERT_EQ(GetCursorDatabase(t.Handle(), kObjDatabase, &db), kOk);
  ASSERT_NE(FindDatabaseHandle(db), nullptr);
  EXPECT_EQ(FindDatabaseHandle(db)->directory, dir.Path());
  EXPECT_EQ(GetCursorDatabase(t.Handle(), 3, &db), kErrInvalidParam);

  void* stale = t.Handle();
  t.Close();
  const uint16_t result = GetCursorProperties(stale, props);
  EXPECT_EQ(result, kErrInvalidHandle);
  try {
    Check(result);
    ADD_FAILURE() << "Check hat nicht ausgelöst";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrInvalidHandle);
    EXPECT_NE(std::string(e.what()).find("Cursor-Handle"), std::string::npos) << e.what();
  }
  EXPECT_NO_THROW(Check(kOk));
}

TEST(DirectCalls, UtilityPropertiesFromTheHeaderAlone) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    std::filesystem::path table;
    uint16_t fields, recordSize, level, blockKiB;
  };
  const std::vector<Case> cases = {
      {fixtures::Level3Keyed(), 10, 60, 3, 1},
      {fixtures::Level35(), 1, 4, 3, 2},
      {fixtures::StalePrimaryIndex(), 3, 32, 4, 2},
      {fixtures::Level5(), 3, 37, 5, 2},
      {fixtures::BlockSize16K(), 3, 165, 7, 16},
      {fixtures::BlockSize32K(), 128, 10206, 7, 32},
      {fixtures::PasswordProtected(), 2, 34, 5, 2},
  };
  uint16_t session = 0;
  ASSERT_EQ(TUInit(&session), kOk);
  for (const auto& c : cases) {
    CURProps props;
    const std::string path = c.table.string();
    ASSERT_EQ(TUFillCURProps(session, path.c_str(), props), kOk) << c.table;
    EXPECT_STREQ(reinterpret_cast<const char*>(props.data() + kCurPropsTableTypeOffset), "PARADOX");
    EXPECT_EQ(coding::GetU16(props.data() + kCurPropsFieldCountOffset), c.fields) << c.table;
    EXPECT_EQ(coding::GetU16(props.data() + kCurPropsRecordSizeOffset), c.recordSize) << c.table;
    EXPECT_EQ(coding::GetU16(props.data() + kCurPropsLevelOffset), c.level) << c.table;
    EXPECT_EQ(coding::GetU16(props.data() + kCurPropsBlockSizeOffset), c.blockKiB) << c.table;
  }
  CURProps props;
  TempDir dir;
  EXPECT_EQ(TUFillCURProps(session, (dir.Path() + "FEHLT.DB").c_str(), props), kErrFileNotFound);
  EXPECT_EQ(TUFillCURProps(session, nullptr, props), kErrInvalidParam);
  EXPECT_EQ(TUFillCURProps(static_cast<uint16_t>(session + 100), "x", props), kErrInvalidHandle);
  EXPECT_EQ(TUExit(session), kOk);
  EXPECT_EQ(TUExit(session), kErrInvalidHandle);
}

}  // namespace
}  // namespace engine
