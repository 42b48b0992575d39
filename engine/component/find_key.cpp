// TTable::FindKey: positions on the first record (current order) whose leading index fields
// equal given texts: a binary search over the rows in the current order, comparing sort keys
// as the order was built (byte order, upper-cased for case-insensitive indexes, reversed for
// descending fields).

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "format/code_page.h"
#include "io/fail.h"
#include "storage/secondary_index.h"
#include "component/table.h"
#include "family/table_cursor.h"
#include "format/value_codec.h"

namespace engine {

namespace {

std::string Trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

bool ParseInt(const std::string& text, long long* out) {
  const std::string t = Trimmed(text);
  if (t.empty()) return false;
  char* end = nullptr;
  *out = std::strtoll(t.c_str(), &end, 10);
  return *end == '\0';
}

bool ParseDouble(std::string text, double* out) {
  text = Trimmed(text);
  for (char& c : text)
    if (c == ',') c = '.';
  if (text.empty()) return false;
  char* end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return *end == '\0';
}

// Day number of a date typed after the short date pattern (its d, m, y order); two-digit years
// below 50 count as 20yy, others as 19yy.
bool ParseDate(const std::string& text, int32_t* dayNumber) {
  std::vector<int> numbers;
  std::vector<int> widths;
  for (size_t i = 0; i < text.size();) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    numbers.push_back(std::atoi(text.substr(i, j - i).c_str()));
    widths.push_back(static_cast<int>(j - i));
    i = j;
  }
  if (numbers.size() != 3) return false;
  std::string order;
  for (char c : ShortDateFormat()) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if ((c == 'd' || c == 'm' || c == 'y') && order.find(c) == std::string::npos) order += c;
  }
  if (order.size() != 3) order = "dmy";
  int d = 0, m = 0, y = 0;
  for (size_t k = 0; k < 3; ++k) {
    if (order[k] == 'd') d = numbers[k];
    if (order[k] == 'm') m = numbers[k];
    if (order[k] == 'y') {
      y = numbers[k];
      if (widths[k] <= 2) y += y < 50 ? 2000 : 1900;
    }
  }
  if (!IsValidCivilDate(y, m, d)) return false;
  *dayNumber = DayNumberFromCivil(y, m, d);
  return true;
}

bool ParseTime(const std::string& text, int64_t* ms) {
  int h = 0, m = 0, s = 0;
  const int n = std::sscanf(Trimmed(text).c_str(), "%d:%d:%d", &h, &m, &s);
  if (n < 2 || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return false;
  *ms = (static_cast<int64_t>(h) * 3600 + m * 60 + s) * 1000;
  return true;
}

// Encodes a typed key value into the field's record bytes; false when the text does not fit
// the field's type.
bool EncodeKeyText(const FieldLayout& f, const CodePage& cp, const std::string& text, uint8_t* out) {
  std::memset(out, 0, f.bytes);
  long long i = 0;
  double d = 0;
  switch (f.type) {
    case PxType::Alpha: {
      std::string bytes;
      return cp.FromUtf8(text, &bytes) && EncodeAlphaValue(bytes, out, f.bytes);
    }
    case PxType::Short:
      if (!ParseInt(text, &i) || i < -32767 || i > 32767) return false;
      EncodeIntValue(static_cast<int32_t>(i), out, f.bytes);
      return true;
    case PxType::Long: case PxType::AutoInc:
      if (!ParseInt(text, &i) || i < -2147483647LL || i > 2147483647LL) return false;
      EncodeIntValue(static_cast<int32_t>(i), out, f.bytes);
      return true;
    case PxType::Number: case PxType::Money:
      if (!ParseDouble(text, &d)) return false;
      EncodeDoubleValue(d, out);
      return true;
    case PxType::Bcd:
      return EncodeBcdValue(text, f.sizeByte, out);
    case PxType::Date: {
      int32_t day = 0;
      if (!ParseDate(text, &day)) return false;
      EncodeIntValue(day, out, f.bytes);
      return true;
    }
    case PxType::Time: {
      int64_t ms = 0;
      if (!ParseTime(text, &ms)) return false;
      EncodeIntValue(static_cast<int32_t>(ms), out, f.bytes);
      return true;
    }
    case PxType::Timestamp: {
      const std::string t = Trimmed(text);
      const size_t space = t.find(' ');
      int32_t day = 0;
      int64_t ms = 0;
      if (!ParseDate(t.substr(0, space), &day)) return false;
      if (space != std::string::npos && !ParseTime(t.substr(space + 1), &ms)) return false;
      EncodeDoubleValue(static_cast<double>(day) * kMsPerDay + static_cast<double>(ms), out);
      return true;
    }
    case PxType::Logical: {
      std::string t = Trimmed(text);
      for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (t != "true" && t != "false") return false;
      EncodeLogicalValue(t == "true", out);
      return true;
    }
    default:
      return false;
  }
}

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
    std::vector<uint8_t> bytes(f.bytes);
    if (!EncodeKeyText(f, c->Codepage(), values[k], bytes.data()))
      Fail(kErrInvalidValue, c->DataPath(),
           "„" + values[k] + "“ ist kein gültiger Wert für das Feld „" + c->FieldNames()[static_cast<size_t>(fields[k])] + "“.");
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
  const std::string target = IndexSortKey(order, c->Header(), probe.data());
  auto keyOf = [&](uint32_t row) { return IndexSortKey(order, c->Header(), c->RecordAt(row)); };

  // Binary search for the first row whose key is not below the target: O(log n) record reads.
  uint32_t lo = 0, hi = c->RowCount();
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (keyOf(mid) < target)
      lo = mid + 1;
    else
      hi = mid;
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
