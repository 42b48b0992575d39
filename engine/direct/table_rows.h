#pragma once
// The values of a table's records as typed cells, for exports into other formats: text in
// UTF-8 whatever the table's code page, dates and times as ISO 8601 text, numbers as numbers,
// BCD as exact decimal text, binary values as their bytes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "direct/table_files.h"
#include "format/field_type.h"
#include "io/progress.h"

namespace engine {

class FileSystem;

// How a column's values are best stored elsewhere.
enum class ColumnKind { Integer, Real, Numeric, Text, Binary };

struct ColumnShape {
  std::string name;  // UTF-8
  PxType type = PxType::Alpha;
  ColumnKind kind = ColumnKind::Text;
};

struct IndexShape {
  std::string name;          // UTF-8; a single-field index carries its field's name
  std::vector<int> fields;   // column positions
  std::vector<bool> descending;
  bool unique = false;
  bool caseInsensitive = false;
};

struct TableShape {
  std::vector<ColumnShape> columns;
  int keyFields = 0;  // the first keyFields columns form the primary key
  std::vector<IndexShape> indexes;
  uint32_t records = 0;
};

enum class CellKind { Null, Integer, Logical, Real, Decimal, Text, Bytes };

struct Cell {
  CellKind kind = CellKind::Null;
  int64_t integer = 0;  // Integer; Logical: 0 or 1
  double real = 0;      // Real
  // Decimal: "[-]digits[.digits]"; Text: UTF-8; Bytes: the raw bytes; empty for the others.
  std::string text;
};

// The cell as the dump writes it (unescaped): integers in decimal, reals with 17 significant
// digits and "." as decimal point, logical values as true/false, the text of the others; empty
// for Null.
std::string CellText(const Cell& cell);

// Reads the table at `path` under a shared lock: calls `begin` with its shape and, unless it
// returns false, `row` with the cells of each record in stored order. A value that cannot be read is a Null cell, its
// cause in `findings->unreadable` (one line per cause, with the number of values it spoils).
void ReadTableRows(FileSystem& fs, const std::string& path, const std::function<bool(const TableShape&)>& begin,
                   const std::function<void(const std::vector<Cell>&)>& row, ReadFindings* findings = nullptr,
                   const ProgressFn& progress = {});

}  // namespace engine
