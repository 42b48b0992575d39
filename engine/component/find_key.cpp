// TTable::FindKey: positions on the first record (current order) whose leading index fields
// equal given texts: a binary search in the current order (through the blocks' first keys in
// the stored order), comparing sort keys as the order was built (byte order, upper-cased for
// case-insensitive indexes, reversed for descending fields).

#include <cstring>

#include "component/table.h"
#include "family/table_cursor.h"
#include "format/code_page.h"
#include "format/value_parse.h"
#include "io/fail.h"
#include "io/names.h"
#include "storage/secondary_index.h"

namespace engine {

namespace {

// True when rows of this order may be sorted by a collation other than byte order: an alpha
// field under a language driver other than "ascii" (level-3 tables: sort-order byte 0).
bool OrderMayDifferFromBytes(TableCursor& c, const SecondaryDef& order) {
  const TableHeader& h = c.Header();
  const bool ascii = h.HasExtension() ? h.sortOrderId == "ascii" : h.sortOrder == 0;
  if (ascii) return false;
  for (int f : order.fields)
    if (c.Layout()[static_cast<size_t>(f)].type == PxType::Alpha) return true;
  return false;
}

}  // namespace

bool TTable::FindKey(const std::vector<std::string>& values) {
  TableCursor* c = &OpenCursor();
  SettleEdit();
  std::vector<int> fields;
  if (c->SelectedOrder() >= 0) {
    fields = c->Secondaries()[static_cast<size_t>(c->SelectedOrder())].def.fields;
  } else {
    for (int i = 0; i < c->Header().primaryKeyFields; ++i) fields.push_back(i);
  }
  if (values.empty() || values.size() > fields.size())
    Fail(kErrInvalidParam, c->DataPath(),
         "Für die Schlüsselsuche sind 1 bis " + std::to_string(fields.size()) + " Werte nötig.");
  std::vector<std::vector<uint8_t>> wanted;
  for (size_t k = 0; k < values.size(); ++k) {
    const FieldLayout& f = c->Layout()[static_cast<size_t>(fields[k])];
    std::vector<uint8_t> bytes(f.bytes);  // all zero: the empty value
    // An empty alpha or date key searches for records without a value there; other types need
    // a value.
    const bool blank = values[k].find_first_not_of(' ') == std::string::npos;
    if (blank && f.type == PxType::Date) {
      wanted.push_back(std::move(bytes));
      continue;
    }
    if ((blank && f.type != PxType::Alpha) || !EncodeTextValue(f, values[k], c->Codepage(), ShortDateFormat(), bytes.data()).empty())
      Fail(kErrInvalidValue, c->DataPath(),
           Quoted(values[k]) + " ist kein gültiger Wert für das Feld " + Quoted(c->FieldNames()[static_cast<size_t>(fields[k])]) + ".");
    wanted.push_back(std::move(bytes));
  }

  // The sort key of the current order over the searched fields: the primary key fields for the
  // stored order of a keyed table, else the chosen secondary index.
  SecondaryDef order;
  if (c->SelectedOrder() >= 0) {
    order = c->Secondaries()[static_cast<size_t>(c->SelectedOrder())].def;
  } else {
    order.fields = fields;
    order.descending.assign(fields.size(), false);
  }
  order.fields.resize(wanted.size());
  order.descending.resize(wanted.size());
  std::vector<uint8_t> probe(c->NullRecord(), c->NullRecord() + c->Header().recordSize);
  for (size_t k = 0; k < wanted.size(); ++k) {
    const FieldLayout& f = c->Layout()[static_cast<size_t>(fields[k])];
    std::memcpy(probe.data() + f.offset, wanted[k].data(), f.bytes);
  }
  const SortKeyMaker keys(order, c->Header());
  std::string target, key;
  keys.Make(probe.data(), &target);
  auto keyOf = [&](uint32_t row) -> const std::string& {
    keys.Make(c->RecordAt(row), &key);
    return key;
  };

  // In the stored order of a keyed table the search goes through the blocks' first keys, which
  // the cursor keeps from search to search; in a secondary order it reads rows.
  uint32_t lo = 0;
  if (c->SelectedOrder() < 0) {
    lo = c->PrimaryKeySearch().LowerBound(target);
  } else {
    // Binary search for the first row whose key is not below the target: O(log n) record reads.
    uint32_t hi = c->RowCount();
    while (lo < hi) {
      const uint32_t mid = lo + (hi - lo) / 2;
      if (keyOf(mid) < target)
        lo = mid + 1;
      else
        hi = mid;
    }
  }
  if (lo < c->RowCount() && keyOf(lo) == target) {
    MoveTo(static_cast<int>(lo));
    return true;
  }
  if (!OrderMayDifferFromBytes(*c, order)) return false;
  // Alpha keys under a language driver other than "ascii" follow that driver's collation,
  // which byte order does not reproduce: find the first matching row in order by reading them.
  for (uint32_t row = 0; row < c->RowCount(); ++row) {
    if (keyOf(row) == target) {
      MoveTo(static_cast<int>(row));
      return true;
    }
  }
  return false;
}

}  // namespace engine
