#pragma once
// The benchmark table: a keyed customer table with a secondary index and a memo field,
// written in one pass by the engine's bulk table writer (the path of copy and restructure).
//
//   Nr      I    key, record i has key i + 1
//   Name    A30
//   Gruppe  A10  secondary index "Gruppe", 500 distinct values
//   Betrag  $
//   Datum   D
//   Notiz   M    10-byte leader; every 50th memo is longer and lives in the .MB

#include <cstdint>
#include <functional>
#include <string>

#include "component/table.h"

namespace bench {

constexpr const char* kTableName = "BENCH.DB";
constexpr const char* kSecondaryIndex = "Gruppe";

std::string NameOf(int64_t i);
std::string GroupOf(int64_t i);
double AmountOf(int64_t i);
std::string MemoOf(int64_t i);

// Writes `records` records in blocks of `blockBytes` into dir + kTableName, replacing any table
// there. `progress` is called with the records written so far.
void BuildTable(const std::string& dir, int64_t records, uint16_t blockBytes,
                const std::function<void(uint64_t)>& progress);

// Sets the fields of the current record (in insert or edit state) to record i's values.
void FillRecord(engine::TTable& table, int64_t i);

}  // namespace bench
