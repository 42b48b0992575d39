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

namespace engine {

namespace {

struct OpenedTable {
  std::unique_ptr<TableLock> lock;
  std::unique_ptr<TableCursor> cursor;
};

OpenedTable OpenForReading(FileSystem& fs, const std::string& path) {
  const std::string name = FileNameOf(path);
  const std::string dir = path.substr(0, path.size() - name.size());
  OpenedTable t;
  t.lock = LockTableSettled(fs, dir, name, false);
  // After a recovery may have put the .DB back: raises "not found" naming the file.
  if (!fs.Exists(path)) fs.Open(path, OpenMode::ReadOnly);
  t.cursor = TableCursor::Open(fs, dir, name);
  return t;
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
  ForEachRecordLine(c, [&](const std::string& record) { out << record << '\n'; }, found.unreadable);
  if (findings) *findings = std::move(found);
}

void DescribeTable(FileSystem& fs, const std::string& path, std::ostream& out, ReadFindings* findings) {
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
