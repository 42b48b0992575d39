#pragma once
// A table as CSV: UTF-8, a header row of the field names, RFC 4180 quoting and CRLF line ends,
// dates and times in ISO 8601, numbers with "." as decimal point, logical values as true/false,
// binary values in lowercase hex, nulls as empty cells.

#include <ostream>
#include <string>
#include <vector>

#include "direct/table_rows.h"

namespace cli {

// The cell as CSV text, quoted when it holds a comma, a quote or a line break.
std::string CsvCell(const engine::Cell& cell);

// Writes the header row of `shape`.
void WriteCsvHeader(std::ostream& out, const engine::TableShape& shape);
// Writes one record.
void WriteCsvRow(std::ostream& out, const std::vector<engine::Cell>& cells);

}  // namespace cli
