#include "bench/bench_table.h"

#include <cstdio>

#include "family/family_writer.h"
#include "io/file_system.h"
#include "format/record_format.h"
#include "family/table_definition.h"
#include "format/value_codec.h"

namespace bench {

namespace {

constexpr int kMemoField = 5;

int32_t DayOf(int64_t i) { return engine::DayNumberFromCivil(1990, 1, 1) + static_cast<int32_t>(i % 12000); }

}  // namespace

std::string NameOf(int64_t i) { return "Kunde " + std::to_string(i * 7 % 1000003); }
std::string GroupOf(int64_t i) { return "G" + std::to_string(i * 7919 % 500); }
double AmountOf(int64_t i) { return static_cast<double>(i % 100000) / 100.0; }
std::string MemoOf(int64_t i) {
  if (i % 50 == 0) return "Ausfuehrliche Notiz zu Datensatz " + std::to_string(i) + std::string(90, '.');
  return "N" + std::to_string(i % 100000000);
}

void BuildTable(const std::string& dir, int64_t records, const std::function<void(uint64_t)>& progress) {
  engine::TFieldDefs fields;
  fields.Add({"Nr", engine::ftInteger, 0, false});
  fields.Add({"Name", engine::ftString, 30, false});
  fields.Add({"Gruppe", engine::ftString, 10, false});
  fields.Add({"Betrag", engine::ftCurrency, 0, false});
  fields.Add({"Datum", engine::ftDate, 0, false});
  fields.Add({"Notiz", engine::ftMemo, 10, false});
  engine::TIndexDefs indexes;
  indexes.Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
  indexes.Add({kSecondaryIndex, "Gruppe", "", 0});

  const std::string path = dir + kTableName;
  engine::TableDefinition def = engine::DefinitionFromDefs(fields, indexes, 0, 2048, path);
  engine::AssignIndexFiles(def, path);
  const auto layout = engine::LayoutFields(engine::DataHeader(def, kTableName));
  const size_t recordSize = def.RecordSize();

  int64_t next = 0;
  const engine::RecordSource source = [&](engine::SourceRecord& rec) {
    if (next == records) return false;
    const int64_t i = next++;
    rec.bytes.assign(recordSize, 0);
    uint8_t* r = rec.bytes.data();
    engine::EncodeIntValue(static_cast<int32_t>(i + 1), r + layout[0].offset, layout[0].bytes);
    engine::EncodeAlphaValue(NameOf(i), r + layout[1].offset, layout[1].bytes);
    engine::EncodeAlphaValue(GroupOf(i), r + layout[2].offset, layout[2].bytes);
    engine::EncodeDoubleValue(AmountOf(i), r + layout[3].offset);
    engine::EncodeIntValue(DayOf(i), r + layout[4].offset, layout[4].bytes);
    rec.blobs.clear();
    rec.blobs[kMemoField] = MemoOf(i);
    return true;
  };
  const engine::ProgressFn onProgress = [&](uint64_t done) {
    if (done % 100000 == 0) progress(done);
    return true;
  };
  engine::WriteFamily(engine::DefaultFileSystem(), def, dir, kTableName, "", source, onProgress);
}

void FillRecord(engine::TTable& table, int64_t i) {
  table.Fields(0).SetAsInteger(static_cast<int32_t>(i + 1));
  table.Fields(1).SetAsString(NameOf(i));
  table.Fields(2).SetAsString(GroupOf(i));
  table.Fields(3).SetAsFloat(AmountOf(i));
  int y, m, d;
  engine::CivilFromDayNumber(DayOf(i), &y, &m, &d);
  char date[16];
  std::snprintf(date, sizeof date, "%02d.%02d.%04d", d, m, y);  // the short date format "dd.mm.yyyy"
  table.Fields(4).SetAsString(date);
  table.Fields(5).SetAsString(MemoOf(i));
}

}  // namespace bench
