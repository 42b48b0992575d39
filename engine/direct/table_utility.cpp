// The table utility calls: a session, and table properties read from the header alone.

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

#include "direct/direct_call.h"
#include "direct/direct_calls.h"
#include "direct/table_properties.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

std::mutex sessionMutex;
std::set<uint16_t>& Sessions() {
  static std::set<uint16_t> sessions;
  return sessions;
}
uint16_t nextSession = 1;

bool IsSession(uint16_t session) {
  std::lock_guard<std::mutex> guard(sessionMutex);
  return Sessions().count(session) != 0;
}

}  // namespace

uint16_t TUInit(uint16_t* session) {
  return DirectCall("TUInit", [&] {
    if (!session) FailPlain(kErrInvalidParam, "TUInit: kein Platz für das Sitzungs-Handle.");
    std::lock_guard<std::mutex> guard(sessionMutex);
    while (nextSession == 0 || Sessions().count(nextSession)) ++nextSession;
    *session = nextSession++;
    Sessions().insert(*session);
  });
}

uint16_t TUFillCURProps(uint16_t session, const char* tablePath, CURProps& props) {
  return DirectCall("TUFillCURProps", [&] {
    if (!IsSession(session)) FailPlain(kErrInvalidHandle, "Ungültiges Sitzungs-Handle " + std::to_string(session) + ".");
    if (!tablePath || !*tablePath) FailPlain(kErrInvalidParam, "TUFillCURProps: kein Tabellenpfad angegeben.");
    const std::string path = tablePath;
    const TableHeader h = ReadFileHeader(DefaultFileSystem(), path);
    if (h.fileType != static_cast<uint8_t>(FileType::KeyedDb) &&
        h.fileType != static_cast<uint8_t>(FileType::UnkeyedDb))
      Fail(kErrNotATable, path, "Die Datei ist eine Indexdatei, keine Tabelle.");
    FillCurProps(h, FileNameOf(path), props);
  });
}

uint16_t TUExit(uint16_t session) {
  return DirectCall("TUExit", [&] {
    std::lock_guard<std::mutex> guard(sessionMutex);
    if (Sessions().erase(session) == 0)
      FailPlain(kErrInvalidHandle, "Ungültiges Sitzungs-Handle " + std::to_string(session) + ".");
  });
}

}  // namespace engine
