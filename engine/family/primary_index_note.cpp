#include "family/primary_index_note.h"

#include "family/table_cursor.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/tree_records.h"

namespace engine {

std::string PrimaryIndexNote(const TableCursor& c) {
  if (c.Header().primaryKeyFields == 0) return "";
  const std::string name = FindFileIgnoringCase(c.Fs(), c.Directory(), c.BaseName() + ".PX");
  const std::string path = c.Directory() + name;
  if (!c.Fs().Exists(path)) return "";
  try {
    const uint64_t counted = TreeRecordCount(c.Fs(), path);
    if (counted == c.RowCount()) return "";
    return "Der Primärindex " + Quoted(name) + " zählt " + std::to_string(counted) + " Datensätze, die Tabelle hat " +
           std::to_string(c.RowCount()) + ": er ist veraltet.";
  } catch (const EDBEngineError& e) {
    return "Der Primärindex " + Quoted(name) + " kann nicht gelesen werden: " + e.what();
  }
}

}  // namespace engine
