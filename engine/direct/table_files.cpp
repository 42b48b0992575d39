#include "direct/table_files.h"

#include "component/definitions.h"
#include "direct/record_lines.h"
#include "family/primary_index_note.h"
#include "family/restructure.h"
#include "family/table_access.h"
#include "family/table_cursor.h"
#include "format/code_page.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"
#include "format/record_format.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

struct OpenedTable {
  std::unique_ptr<TableLock> lock;
  std::unique_ptr<TableCursor> cursor;
};

// The table locked for reading, its cursor still to open.
OpenedTable LockForReading(FileSystem& fs, const std::string& path) {
  const std::string name = FileNameOf(path);
  OpenedTable t;
  t.lock = LockTableSettled(fs, path.substr(0, path.size() - name.size()), name, false);
  // After a recovery may have put the .DB back: raises "not found" naming the file.
  if (!fs.Exists(path)) fs.Open(path, OpenMode::ReadOnly);
  return t;
}

void OpenCursor(FileSystem& fs, const std::string& path, OpenedTable& t) {
  const std::string name = FileNameOf(path);
  t.cursor = TableCursor::Open(fs, path.substr(0, path.size() - name.size()), name);
}

OpenedTable OpenForReading(FileSystem& fs, const std::string& path) {
  OpenedTable t = LockForReading(fs, path);
  OpenCursor(fs, path, t);
  return t;
}

// The figures and fields of a table as its header gives them, and its primary key.
void DescribeHeader(const std::string& path, const TableHeader& h, const CodePage& cp,
                    const std::vector<FieldLayout>& layout, uint64_t records, std::ostream& out) {
  out << "Tabelle:\t" << path << '\n';
  out << "Level:\t" << h.Level() << " (Dateiversion " << static_cast<int>(h.fileVersionId) << ")\n";
  out << "Blockgröße:\t" << h.BlockBytes() << " Bytes (" << static_cast<int>(h.blockSizeKiB) << " KB)\n";
  out << "Datensatzlänge:\t" << h.recordSize << '\n';
  out << "Felder:\t" << h.fields.size() << '\n';
  out << "Datensätze:\t" << records << '\n';
  out << "Schlüsselfelder:\t" << h.primaryKeyFields << '\n';
  out << "Codepage:\t" << cp.Number();
  if (h.HasExtension()) out << " (Kopf: " << h.codePage << ", Sortierfolge „" << h.sortOrderId << "“)";
  out << '\n';
  for (size_t i = 0; i < h.fields.size(); ++i)
    out << "Feld " << (i + 1) << ":\t" << cp.ToUtf8(h.fields[i].name) << '\t' << TypeToken(layout[i]) << '\n';
  if (h.primaryKeyFields > 0) {
    std::string fields;
    for (size_t i = 0; i < h.primaryKeyFields; ++i)
      fields += (i ? ";" : "") + cp.ToUtf8(h.fields[i].name);
    out << "Index (Primärschlüssel):\t" << fields << '\n';
  }
}

}  // namespace

void DumpTable(FileSystem& fs, const std::string& path, std::ostream& out, ReadFindings* findings) {
  OpenedTable t = OpenForReading(fs, path);
  TableCursor& c = *t.cursor;
  ReadFindings found;
  found.notes = c.Notes();
  const TableHeader& h = c.Header();
  const auto& layout = c.Layout();
  std::string line;
  for (size_t i = 0; i < h.fields.size(); ++i)
    line += (i ? "\t" : "") + EscapeDumpText(c.Codepage().ToUtf8(h.fields[i].name));
  out << line << '\n';
  line.clear();
  for (size_t i = 0; i < layout.size(); ++i) line += (i ? "\t" : "") + TypeToken(layout[i]);
  out << line << '\n';
  // A .MB up to this size is read whole, so that two threads can build the lines.
  constexpr uint64_t kBlobBytesInMemory = uint64_t{64} << 20;
  ForEachRecordLinePiece(
      c, kBlobBytesInMemory,
      [&](const std::string& piece) { out.write(piece.data(), static_cast<std::streamsize>(piece.size())); },
      found.unreadable);
  if (findings) *findings = std::move(found);
}

void DescribeTable(FileSystem& fs, const std::string& path, std::ostream& out, ReadFindings* findings) {
  OpenedTable t = LockForReading(fs, path);
  const TableHeader figures = ReadTableFigures(fs, path);
  if (figures.Encrypted() && fs.CipherKey() != figures.StoredKey()) {
    DescribeHeader(path, figures, CodePage::ForHeader(figures), LayoutFields(figures), figures.numRecords, out);
    out << "Geschützt:\tja, durch ein Kennwort (ohne das Kennwort sind nur die Angaben des Kopfes lesbar)\n";
    if (findings) *findings = ReadFindings();
    return;
  }
  OpenCursor(fs, path, t);
  TableCursor& c = *t.cursor;
  const TableHeader& h = c.Header();
  DescribeHeader(path, h, c.Codepage(), c.Layout(), c.RowCount(), out);
  if (h.Encrypted()) out << "Geschützt:\tja, durch ein Kennwort\n";
  for (const auto& ix : c.Secondaries()) {
    const TIndexDef def = IndexDefOf(ix.def, h);
    out << "Index " << Quoted(def.Name) << ":\t" << def.Fields;
    if (!def.DescFields.empty()) out << "\tabsteigend: " << def.DescFields;
    if (ix.def.caseInsensitive) out << "\tohne Groß-/Kleinschreibung";
    out << "\t(" << FileNameOf(ix.path) << ")\n";
  }
  ReadFindings found;
  // Reading each index's order brings out stale or damaged index files.
  for (size_t k = 0; k < c.Secondaries().size(); ++k) {
    try {
      c.SelectOrder(static_cast<int>(k));
    } catch (const EDBEngineError& e) {
      found.unreadable.push_back(e.what());  // the order of a table whose records are cut off
    }
  }
  found.notes = c.Notes();
  if (std::string note = PrimaryIndexNote(c); !note.empty()) found.notes.push_back(std::move(note));
  for (const auto& note : found.notes) out << "Hinweis:\t" << note << '\n';
  ForEachRecordLine(c, [](const std::string&) {}, found.unreadable);
  if (findings) *findings = std::move(found);
}

void CopyTable(FileSystem& fs, const std::string& srcDir, const std::string& srcName, const std::string& destDir,
               const std::string& destName, bool empty, const TableFormat& format, const ProgressFn& progress) {
  CopyTableFiles(fs, srcDir, srcName, destDir, destName, empty, format, progress);
}

void ChangeTableFormat(FileSystem& fs, const std::string& dir, const std::string& tableName,
                       const TableFormat& format, const ProgressFn& progress) {
  RestructureTableFiles(fs, dir, tableName, format, progress);
}

void SettleTablesInDirectory(FileSystem& fs, const std::string& dir) { SettleTablesIn(fs, WithSlash(dir)); }

}  // namespace engine
