// Direct calls on an open table's cursor: its properties and its database (directory).

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "direct/database_handle.h"
#include "direct/direct_call.h"
#include "direct/direct_calls.h"
#include "direct/table_properties.h"
#include "family/table_cursor.h"
#include "io/fail.h"
#include "io/names.h"

namespace engine {

namespace {

std::mutex databaseMutex;
std::map<std::string, std::unique_ptr<DatabaseHandle>>& Databases() {
  static std::map<std::string, std::unique_ptr<DatabaseHandle>> databases;
  return databases;
}

}  // namespace

DatabaseHandle* DatabaseHandleFor(const std::string& directory) {
  std::lock_guard<std::mutex> guard(databaseMutex);
  auto& slot = Databases()[directory];
  if (!slot) slot = std::make_unique<DatabaseHandle>(DatabaseHandle{directory});
  return slot.get();
}

const DatabaseHandle* FindDatabaseHandle(hDBIDb db) {
  std::lock_guard<std::mutex> guard(databaseMutex);
  for (const auto& [dir, handle] : Databases())
    if (handle.get() == db) return handle.get();
  return nullptr;
}

uint16_t GetCursorProperties(hDBICur cursor, CURProps& props) {
  return DirectCall("GetCursorProperties", [&] {
    if (!TableCursor::IsLive(cursor))
      FailPlain(kErrInvalidHandle, "Ungültiges Cursor-Handle: die Tabelle ist nicht geöffnet.");
    const TableCursor& c = *static_cast<const TableCursor*>(cursor);
    FillCurProps(c.Header(), FileNameOf(c.DataPath()), props);
  });
}

uint16_t GetCursorDatabase(hDBICur cursor, uint16_t objectKind, hDBIDb* database) {
  return DirectCall("GetCursorDatabase", [&] {
    if (!database) FailPlain(kErrInvalidParam, "GetCursorDatabase: kein Platz für das Datenbank-Handle.");
    *database = nullptr;
    if (objectKind != kObjDatabase)
      FailPlain(kErrInvalidParam, "GetCursorDatabase: Objektart " + std::to_string(objectKind) +
                                      " wird nicht unterstützt (nur 4 = Datenbank).");
    if (!TableCursor::IsLive(cursor))
      FailPlain(kErrInvalidHandle, "Ungültiges Cursor-Handle: die Tabelle ist nicht geöffnet.");
    *database = DatabaseHandleFor(static_cast<const TableCursor*>(cursor)->Directory());
  });
}

}  // namespace engine
