// TBulkRow::Assign: a bulk-written table filled field by field from another open table reads
// back as the source, every field type, null and blob content included; blob values set
// directly read back whatever their length.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "component/bulk_table.h"
#include "component/table.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;

// Every value of the table in its primary order, as the component gives it: memos as text (a
// copy in another code page holds other bytes for the same text), other blobs and bytes fields
// as their stored bytes, null marked.
std::vector<std::vector<std::string>> Values(const std::string& dir, const std::string& name) {
  TTable t;
  t.SetDatabaseName(dir);
  t.SetTableName(name);
  t.Open();
  std::vector<std::vector<std::string>> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::vector<std::string> row;
    for (int f = 0; f < t.FieldCount(); ++f) {
      TField& field = t.Fields(f);
      const TFieldType type = field.DataType();
      const bool raw = type == ftBlob || type == ftGraphic || type == ftFmtMemo || type == ftParadoxOle ||
                       type == ftBytes || type == ftTypedBinary;
      row.push_back(field.IsNull() ? "<null>" : raw ? field.AsBytes() : field.AsString());
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(BulkRowAssign, CopiesEveryFieldTypeAsTheSourceHoldsIt) {
  SKIP_WITHOUT_FIXTURES();
  for (const fs::path& sample : {fixtures::AllFieldTypes(), fixtures::AllFieldTypesLevel7(),
                                 fixtures::KeyedWithGraphic(), fixtures::KeyedWithBlobs()}) {
    SCOPED_TRACE(sample.filename().string());
    testsupport::TempDir src, dest;
    const std::string name = fs::path(testsupport::CopyTable(sample, src.Path())).filename().string();
    TTable source;
    source.SetDatabaseName(src.Path());
    source.SetTableName(name);
    source.Open();
    source.FieldDefs().Update();
    source.First();
    CreateTableInBulk(DefaultFileSystem(), dest.Path(), name, source.FieldDefs(), source.IndexDefs(), 0,
                      [&](TBulkRow& row) {
                        if (source.Eof()) return false;
                        for (int f = 0; f < source.FieldCount(); ++f) row.Assign(f, source.Fields(f));
                        source.Next();
                        return true;
                      });
    source.Close();
    EXPECT_EQ(Values(dest.Path(), name), Values(src.Path(), name));
  }
}

TEST(BulkRowAssign, RefusesAFieldOfAnotherType) {
  testsupport::TempDir dir;
  TTable source;
  source.SetDatabaseName(dir.Path());
  source.SetTableName("QUELLE.DB");
  source.FieldDefs().Add({"Text", ftString, 10, false});
  source.CreateTable();
  source.Open();
  source.Append();
  source.Fields(0).SetAsString("abc");
  source.Post();
  TFieldDefs numbers;
  numbers.Add({"Zahl", ftInteger, 0, false});
  EXPECT_THROW(CreateTableInBulk(DefaultFileSystem(), dir.Path(), "ZIEL.DB", numbers, TIndexDefs(), 0,
                                 [&](TBulkRow& row) {
                                   row.Assign(0, source.Fields(0));
                                   return true;
                                 }),
               EDBEngineError);
}

TEST(BulkRowSetBlob, ValuesOfEveryLengthReadBackAndTheLastOneSetWins) {
  // A memo with a 10-byte leader: null, in the leader, exactly the leader, one byte more, long;
  // then a field set long and again short, and one set short and again long.
  testsupport::TempDir dir;
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Notiz", ftMemo, 10, false});
  const std::vector<std::string> once = {"", "kurz", std::string(10, 'g'), std::string(11, 'u'),
                                         std::string(5000, 'l')};
  std::vector<std::string> expected;
  for (const std::string& v : once) expected.push_back(v.empty() ? "<null>" : v);
  expected.push_back("kurz danach");
  expected.push_back(std::string(300, 'x'));
  size_t next = 0;
  CreateTableInBulk(DefaultFileSystem(), dir.Path(), "MEMO.DB", fields, TIndexDefs(), 0, [&](TBulkRow& row) {
    if (next == expected.size()) return false;
    row.SetInteger(0, static_cast<int32_t>(next));
    if (next < once.size()) {
      row.SetBlob(1, once[next]);
    } else if (next == once.size()) {
      row.SetBlob(1, std::string(300, 'x'));
      row.SetBlob(1, "kurz danach");
    } else {
      row.SetBlob(1, "kurz");
      row.SetBlob(1, std::string(300, 'x'));
    }
    ++next;
    return true;
  });
  std::vector<std::string> memos;
  for (const auto& row : Values(dir.Path(), "MEMO.DB")) memos.push_back(row[1]);
  EXPECT_EQ(memos, expected);
}

}  // namespace
}  // namespace engine
