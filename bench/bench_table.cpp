#include "bench/bench_table.h"

#include <chrono>
#include <cstdio>

#include "component/bulk_table.h"
#include "io/file_system.h"

namespace bench {

namespace {

constexpr int kMemoField = 5;

std::chrono::year_month_day DayOf(int64_t i) {
  using namespace std::chrono;
  return year_month_day{sys_days{year{1990} / 1 / 1} + days{i % 12000}};
}

}  // namespace

std::string NameOf(int64_t i) { return "Kunde " + std::to_string(i * 7 % 1000003); }
std::string GroupOf(int64_t i) { return "G" + std::to_string(i * 7919 % 500); }
double AmountOf(int64_t i) { return static_cast<double>(i % 100000) / 100.0; }
std::string MemoOf(int64_t i) {
  if (i % 50 == 0) return "Ausfuehrliche Notiz zu Datensatz " + std::to_string(i) + std::string(90, '.');
  return "N" + std::to_string(i % 100000000);
}

void BuildTable(const std::string& dir, int64_t records, uint16_t blockBytes,
                const std::function<void(uint64_t)>& progress) {
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

  const engine::TBulkRowSource source = [&, next = int64_t{0}](engine::TBulkRow& row) mutable {
    if (next == records) return false;
    const int64_t i = next++;
    row.SetInteger(0, static_cast<int32_t>(i + 1));
    row.SetString(1, NameOf(i));
    row.SetString(2, GroupOf(i));
    row.SetFloat(3, AmountOf(i));
    const auto day = DayOf(i);
    row.SetDate(4, static_cast<int>(day.year()), static_cast<int>(static_cast<unsigned>(day.month())),
                static_cast<int>(static_cast<unsigned>(day.day())));
    row.SetBlob(kMemoField, MemoOf(i));
    return true;
  };
  const engine::ProgressFn onProgress = [&](uint64_t done) {
    if (done % 100000 == 0) progress(done);
    return true;
  };
  engine::CreateTableInBulk(engine::DefaultFileSystem(), dir, kTableName, fields, indexes, blockBytes, source, onProgress);
}

void FillRecord(engine::TTable& table, int64_t i) {
  table.Fields(0).SetAsInteger(static_cast<int32_t>(i + 1));
  table.Fields(1).SetAsString(NameOf(i));
  table.Fields(2).SetAsString(GroupOf(i));
  table.Fields(3).SetAsFloat(AmountOf(i));
  const auto day = DayOf(i);
  char date[16];
  std::snprintf(date, sizeof date, "%02u.%02u.%04d", static_cast<unsigned>(day.day()),
                static_cast<unsigned>(day.month()), static_cast<int>(day.year()));  // the short date format "dd.mm.yyyy"
  table.Fields(4).SetAsString(date);
  table.Fields(5).SetAsString(MemoOf(i));
}

}  // namespace bench
