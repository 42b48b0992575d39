// Creating tables from field and index definitions: the level and block size chosen, the
// companion files replaced, and every definition the format cannot hold refused with a German
// message before anything is written.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "component/table.h"
#include "direct/direct_calls.h"
#include "format/table_header.h"
#include "io/engine_error.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/temp_dir.h"

namespace {

using engine::TTable;

engine::TableHeader HeaderOf(testsupport::MemoryFileSystem& fs, const std::string& path) {
  const std::string bytes = fs.Contents(path);
  return engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path);
}

void Name(TTable& t, testsupport::MemoryFileSystem& fs) {
  t.SetFileSystem(&fs);
  t.SetDatabaseName("/mem/");
  t.SetTableName("NEU.DB");
}

TEST(WriteCreate, LevelAndBlockSizeFollowWhatTheTableNeeds) {
  struct Case {
    const char* what;
    std::function<void(TTable&)> define;
    int fileVersion;
    int blockKiB;
  };
  const std::vector<Case> cases = {
      {"plain types: level 4, 2 KiB",
       [](TTable& t) { t.FieldDefs().Add({"A", engine::ftString, 20, false}); }, 9, 2},
      {"a long integer needs level 5",
       [](TTable& t) { t.FieldDefs().Add({"I", engine::ftInteger, 0, false}); }, 11, 2},
      {"a descending index needs level 7",
       [](TTable& t) {
         t.FieldDefs().Add({"K", engine::ftSmallint, 0, false});
         t.FieldDefs().Add({"A", engine::ftString, 10, false});
         t.IndexDefs().Add({"", "K", "", engine::ixPrimary});
         t.IndexDefs().Add({"Ab", "A", "A", engine::ixDescending});
       },
       12, 2},
      {"three keyed records of 1000 bytes need 4 KiB blocks",
       [](TTable& t) {
         t.FieldDefs().Add({"K", engine::ftString, 250, false});
         for (int i = 0; i < 3; ++i) t.FieldDefs().Add({"F" + std::to_string(i), engine::ftString, 250, false});
         t.IndexDefs().Add({"", "K", "", engine::ixPrimary});
       },
       9, 4},
      {"a requested level and block size",
       [](TTable& t) {
         t.FieldDefs().Add({"A", engine::ftString, 20, false});
         t.SetCreateLevel(7);
         t.SetCreateBlockSize(16384);
       },
       12, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::MemoryFileSystem fs;
    TTable t;
    Name(t, fs);
    c.define(t);
    t.CreateTable();
    const engine::TableHeader h = HeaderOf(fs, "/mem/NEU.DB");
    EXPECT_EQ(h.fileVersionId, c.fileVersion);
    EXPECT_EQ(h.blockSizeKiB, c.blockKiB);
  }
}

TEST(WriteCreate, RefusesWhatTheFormatCannotHoldWithoutWriting) {
  struct Case {
    const char* what;
    std::function<void(TTable&)> define;
    const char* fragment;  // part of the German message
  };
  const std::vector<Case> cases = {
      {"level 4 lacks long integers",
       [](TTable& t) {
         t.FieldDefs().Add({"I", engine::ftInteger, 0, false});
         t.SetCreateLevel(4);
       },
       "Tabellenstufe 5"},
      {"level 4 with 16 KiB blocks",
       [](TTable& t) {
         t.FieldDefs().Add({"A", engine::ftString, 10, false});
         t.SetCreateLevel(4);
         t.SetCreateBlockSize(16384);
       },
       "16384"},
      {"a record too big for the block",
       [](TTable& t) {
         for (int i = 0; i < 5; ++i) t.FieldDefs().Add({"F" + std::to_string(i), engine::ftString, 250, false});
         t.SetCreateBlockSize(1024);
       },
       "passt nicht"},
      {"more than 255 fields",
       [](TTable& t) {
         for (int i = 0; i < 256; ++i) t.FieldDefs().Add({"F" + std::to_string(i), engine::ftSmallint, 0, false});
       },
       "255"},
      {"key fields not leading",
       [](TTable& t) {
         t.FieldDefs().Add({"A", engine::ftString, 10, false});
         t.FieldDefs().Add({"K", engine::ftSmallint, 0, false});
         t.IndexDefs().Add({"", "K", "", engine::ixPrimary});
       },
       "ersten Felder"},
      {"a memo in the key",
       [](TTable& t) {
         t.FieldDefs().Add({"M", engine::ftMemo, 10, false});
         t.IndexDefs().Add({"", "M", "", engine::ixPrimary});
       },
       "Primärschlüssel"},
      {"duplicate field names",
       [](TTable& t) {
         t.FieldDefs().Add({"Name", engine::ftString, 10, false});
         t.FieldDefs().Add({"NAME", engine::ftString, 10, false});
       },
       "doppelt"},
      {"a field name over 25 characters",
       [](TTable& t) { t.FieldDefs().Add({std::string(26, 'x'), engine::ftString, 10, false}); },
       "25 Zeichen"},
      {"a type Paradox tables cannot hold",
       [](TTable& t) { t.FieldDefs().Add({"W", engine::ftWideString, 10, false}); },
       "Typ"},
      {"an index over an unknown field",
       [](TTable& t) {
         t.FieldDefs().Add({"A", engine::ftString, 10, false});
         t.IndexDefs().Add({"X", "B", "", 0});
       },
       "unbekannte Feld"},
      {"a descending index at level 5",
       [](TTable& t) {
         t.FieldDefs().Add({"K", engine::ftSmallint, 0, false});
         t.IndexDefs().Add({"", "K", "", engine::ixPrimary});
         t.IndexDefs().Add({"Ab", "K", "K", engine::ixDescending});
         t.SetCreateLevel(5);
       },
       "Tabellenstufe 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::MemoryFileSystem fs;
    fs.Put("/mem/NEU.DB", "alte Tabelle");
    TTable t;
    Name(t, fs);
    c.define(t);
    try {
      t.CreateTable();
      ADD_FAILURE() << "created";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs.Paths(), std::vector<std::string>{"/mem/NEU.DB"});
    EXPECT_EQ(fs.Contents("/mem/NEU.DB"), "alte Tabelle");
  }
}

TEST(WriteCreate, ReplacesTheOldTableWithAllItsCompanions) {
  testsupport::MemoryFileSystem fs;
  for (const char* name : {"neu.db", "NEU.PX", "neu.MB", "NEU.X02", "NEU.Y02", "NEU.VAL", "NEUER.DB"})
    fs.Put(std::string("/mem/") + name, "alt");
  TTable t;
  Name(t, fs);
  t.FieldDefs().Add({"A", engine::ftString, 10, false});
  t.CreateTable();
  EXPECT_EQ(fs.Paths(), (std::vector<std::string>{"/mem/NEU.DB", "/mem/NEUER.DB"}));
  t.Open();
  EXPECT_EQ(t.RecordCount(), 0);
}

// Descriptor of the restructure call with one option, as the block-size window builds it.
struct RestructureRequest {
  RestructureRequest(const std::string& table, const std::string& option, const std::string& value) {
    desc.assign(engine::kTblDescSize, 0);
    std::copy(table.begin(), table.end(), desc.begin() + engine::kTblDescNameOffset);
    const std::string type = "PARADOX";
    std::copy(type.begin(), type.end(), desc.begin() + engine::kTblDescTypeOffset);
    desc[engine::kTblDescOptParamsOffset] = 1;
    option_.assign(engine::kFldDescSize, 0);
    std::copy(option.begin(), option.end(), option_.begin() + engine::kFldDescNameOffset);
    option_[engine::kFldDescLengthOffset] = static_cast<uint8_t>(value.size() + 1);
    data_ = value;
    const uint8_t* optionAddress = option_.data();
    const char* dataAddress = data_.c_str();
    std::memcpy(desc.data() + engine::kTblDescOptDescPtrOffset, &optionAddress, sizeof optionAddress);
    std::memcpy(desc.data() + engine::kTblDescOptDataPtrOffset, &dataAddress, sizeof dataAddress);
  }
  std::vector<uint8_t> desc;

 private:
  std::vector<uint8_t> option_;
  std::string data_;
};

TEST(WriteCreate, RestructureCallRebuildsTheNamedTable) {
  const testsupport::TempDir tmp;
  const std::string dir = tmp.Path();
  TTable t;
  t.SetDatabaseName(dir);
  t.SetTableName("KUNDEN.DB");
  t.FieldDefs().Add({"Nr", engine::ftSmallint, 0, false});
  t.FieldDefs().Add({"Name", engine::ftString, 40, false});
  t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary});
  t.CreateTable();
  t.Open();
  for (int i = 1; i <= 100; ++i) {
    t.Append();
    t.Fields(0).SetAsInteger(i);
    t.Fields(1).SetAsString("Kunde " + std::to_string(i));
    t.Post();
  }
  engine::hDBIDb db = nullptr;
  ASSERT_EQ(engine::GetCursorDatabase(t.Handle(), engine::kObjDatabase, &db), engine::kOk);
  t.Close();
  struct Case {
    const char* option;
    const char* value;
    uint16_t result;
    int fileVersion;
    int blockKiB;
  };
  const std::vector<Case> cases = {
      {"BLOCK SIZE", "4096", engine::kOk, 9, 4},
      {"LEVEL", "7", engine::kOk, 12, 4},
      {"BLOCK SIZE", "16384", engine::kOk, 12, 16},
      {"LEVEL", "4", engine::kErrUnsupported, 12, 16},  // 16 KiB blocks need level 5 or 7
      {"LEVEL", "vier", engine::kErrInvalidParam, 12, 16},
      {"FARBE", "rot", engine::kErrInvalidParam, 12, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + "=" + c.value);
    RestructureRequest request("KUNDEN.DB", c.option, c.value);
    EXPECT_EQ(engine::RestructureTable(db, 1, request.desc.data(), nullptr, nullptr, nullptr, false), c.result);
    t.Open();
    EXPECT_EQ(t.RecordCount(), 100);
    t.Last();
    EXPECT_EQ(t.Fields(1).AsString(), "Kunde 100");
    t.Close();
    std::ifstream in(dir + "KUNDEN.DB", std::ios::binary);
    std::vector<char> head(0x58);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(head[0x39], c.fileVersion);
    EXPECT_EQ(head[0x05], c.blockKiB);
  }
  EXPECT_EQ(engine::RestructureTable(nullptr, 1, RestructureRequest("KUNDEN.DB", "LEVEL", "7").desc.data(), nullptr,
                                     nullptr, nullptr, false),
            engine::kErrInvalidHandle);
}

}  // namespace
