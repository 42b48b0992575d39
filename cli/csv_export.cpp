#include "cli/csv_export.h"

namespace cli {

namespace {

std::string Quote(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

}  // namespace

std::string CsvCell(const engine::Cell& cell) {
  switch (cell.kind) {
    case engine::CellKind::Null: return "";
    case engine::CellKind::Bytes: return Hex(cell.text);
    default: return Quote(engine::CellText(cell));
  }
}

void WriteCsvHeader(std::ostream& out, const engine::TableShape& shape) {
  std::string line;
  for (size_t i = 0; i < shape.columns.size(); ++i) line += (i ? "," : "") + Quote(shape.columns[i].name);
  out << line << "\r\n";
}

void WriteCsvRow(std::ostream& out, const std::vector<engine::Cell>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) line += ',';
    line += CsvCell(cells[i]);
  }
  out << line << "\r\n";
}

}  // namespace cli
