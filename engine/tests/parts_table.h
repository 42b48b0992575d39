#pragma once
// A keyed table of many small blocks with a maintained secondary index, for the tests of work
// shared between threads over a table's blocks: TEILE.DB, records "Nr" 1, 2, ... in 1 KiB
// blocks of kPartsPerBlock records, each in one of 97 groups ("Gruppe", indexed), spread evenly.

#include <string>

#include "component/bulk_table.h"
#include "io/file_system.h"

namespace engine::parts {

// Records a 1 KiB block of the table holds.
constexpr int kPartsPerBlock = (1024 - 6) / 14;

// Creates the table in `dir` with `records` records; returns its path.
inline std::string CreatePartsTable(const std::string& dir, int records) {
  TFieldDefs fields;
  fields.Add({"Nr", ftInteger, 0, false});
  fields.Add({"Gruppe", ftString, 10, false});
  TIndexDefs indexes;
  indexes.Add({"", "Nr", "", ixPrimary | ixUnique});
  indexes.Add({"Gruppe", "Gruppe", "", 0});
  int next = 0;
  CreateTableInBulk(DefaultFileSystem(), dir, "TEILE.DB", fields, indexes, 1024, [&](TBulkRow& row) {
    if (next == records) return false;
    row.SetInteger(0, next + 1);
    row.SetString(1, "G" + std::to_string(next * 7919 % 97));
    ++next;
    return true;
  });
  return dir + "TEILE.DB";
}

}  // namespace engine::parts
