#include "family/table_dump.h"

#include "format/code_page.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "component/table_cursor.h"

namespace engine {

namespace {

struct OpenedTable {
  std::unique_ptr<TableLock> lock;
  std::unique_ptr<TableCursor> cursor;
};

OpenedTable OpenForReading(FileSystem& fs, const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  OpenedTable t;
  if (!fs.Exists(path)) fs.Open(path, OpenMode::ReadOnly);  // raises "not found" naming the file
  t.lock = fs.Lock(path, false);
  t.cursor = TableCursor::Open(fs, dir, name);
  return t;
}

std::string BlobCell(TableCursor& c, int field, const uint8_t* record) {
  const uint32_t length = c.BlobLength(field, record);
  if (length == 0) return "";
  try {
    return std::to_string(length) + ":" + Fnv1a64Hex(c.ReadBlob(field, record));
  } catch (const EDBEngineError&) {
    return "?";
  }
}

}  // namespace

void DumpTable(FileSystem& fs, const std::string& path, std::ostream& out,
               std::vector<std::string>* notes) {
  OpenedTable t = OpenForReading(fs, path);
  TableCursor& c = *t.cursor;
  if (notes) *notes = c.Notes();
  const TableHeader& h = c.Header();
  const auto& layout = c.Layout();
  std::string line;
  for (size_t i = 0; i < h.fields.size(); ++i)
    line += (i ? "\t" : "") + EscapeDumpText(c.Codepage().ToUtf8(h.fields[i].name));
  out << line << '\n';
  line.clear();
  for (size_t i = 0; i < layout.size(); ++i) line += (i ? "\t" : "") + TypeToken(layout[i]);
  out << line << '\n';
  std::vector<uint8_t> record(h.recordSize);
  for (uint32_t row = 0; row < c.RowCount(); ++row) {
    const uint8_t* stored = c.Data().Record(row);
    record.assign(stored, stored + h.recordSize);
    line.clear();
    for (size_t i = 0; i < layout.size(); ++i) {
      if (i) line += '\t';
      if (IsBlobType(layout[i].type))
        line += BlobCell(c, static_cast<int>(i), record.data());
      else
        line += DumpText(layout[i], record.data(), c.Codepage());
    }
    out << line << '\n';
  }
}

void DescribeTable(FileSystem& fs, const std::string& path, std::ostream& out) {
  OpenedTable t = OpenForReading(fs, path);
  TableCursor& c = *t.cursor;
  const TableHeader& h = c.Header();
  const CodePage& cp = c.Codepage();
  out << "Tabelle:\t" << path << '\n';
  out << "Level:\t" << h.Level() << " (Dateiversion " << static_cast<int>(h.fileVersionId) << ")\n";
  out << "Blockgröße:\t" << h.BlockBytes() << " Bytes (" << static_cast<int>(h.blockSizeKiB) << " KB)\n";
  out << "Datensatzlänge:\t" << h.recordSize << '\n';
  out << "Felder:\t" << h.fields.size() << '\n';
  out << "Datensätze:\t" << c.RowCount() << '\n';
  out << "Schlüsselfelder:\t" << h.primaryKeyFields << '\n';
  out << "Codepage:\t" << cp.Number();
  if (h.HasExtension()) out << " (Kopf: " << h.codePage << ", Sortierfolge „" << h.sortOrderId << "“)";
  out << '\n';
  for (size_t i = 0; i < h.fields.size(); ++i)
    out << "Feld " << (i + 1) << ":\t" << cp.ToUtf8(h.fields[i].name) << '\t'
        << TypeToken(c.Layout()[i]) << '\n';
  if (h.primaryKeyFields > 0) {
    std::string fields;
    for (size_t i = 0; i < h.primaryKeyFields; ++i)
      fields += (i ? ";" : "") + cp.ToUtf8(h.fields[i].name);
    out << "Index (Primärschlüssel):\t" << fields << '\n';
  }
  for (const auto& ix : c.Secondaries()) {
    out << "Index „" << ix.def.Name << "“:\t" << ix.def.Fields;
    if (!ix.def.DescFields.empty()) out << "\tabsteigend: " << ix.def.DescFields;
    if (ix.caseInsensitive) out << "\tohne Groß-/Kleinschreibung";
    const size_t slash = ix.path.rfind('/');
    out << "\t(" << ix.path.substr(slash == std::string::npos ? 0 : slash + 1) << ")\n";
  }
  // Reading each index's order brings out stale or damaged index files.
  for (size_t k = 0; k < c.Secondaries().size(); ++k) c.SelectOrder(static_cast<int>(k));
  for (const auto& note : c.Notes()) out << "Hinweis:\t" << note << '\n';
}

}  // namespace engine
