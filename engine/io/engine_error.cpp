#include "io/engine_error.h"

#include "io/fail.h"
#include "io/names.h"

namespace engine {

namespace {

// Text of the last failure on this thread, so that Check() of a direct call's result can give
// the same detailed message that the failing operation produced.
thread_local uint16_t lastCode = 0;
thread_local std::string lastMessage;

std::string GenericText(uint16_t code) {
  switch (code) {
    case kErrFileNotFound: return "Die Datei wurde nicht gefunden.";
    case kErrNotATable: return "Die Datei ist keine Paradox-Tabelle.";
    case kErrCorrupt: return "Die Tabelle ist beschädigt.";
    case kErrBlobMissing: return "Die Memo-/BLOb-Datei (.MB) fehlt oder ist beschädigt.";
    case kErrPasswordProtected: return "Die Tabelle ist durch ein Kennwort geschützt.";
    case kErrLocked: return "Die Tabelle ist von einem anderen Benutzer gesperrt.";
    case kErrIo: return "Ein- oder Ausgabefehler.";
    case kErrNotOpen: return "Die Tabelle ist nicht geöffnet.";
    case kErrNotFound: return "Nicht gefunden.";
    case kErrKeyViolation: return "Schlüsselverletzung.";
    case kErrRequired: return "Ein Feld muss einen Wert haben.";
    case kErrInvalidValue: return "Ungültiger Wert.";
    case kErrEmptyDataSet: return "Operation bei leerer Datenmenge nicht ausführbar";
    case kErrInvalidState: return "Die Datenmenge ist nicht im passenden Zustand.";
    case kErrUnsupported: return "Das Tabellenformat erlaubt diese Angabe nicht.";
    case kErrInvalidHandle: return "Ungültiges Handle.";
    case kErrInvalidParam: return "Ungültiger Parameter.";
    default: return "Datenbank-Engine-Fehler.";
  }
}

}  // namespace

void RecordFailure(uint16_t code, const std::string& message) {
  lastMessage = message;  // first: when copying the text fails, the code stays with its own text
  lastCode = code;
}

void FailPlain(uint16_t code, const std::string& message) {
  RecordFailure(code, message);
  throw EDBEngineError(code, message);
}

void Fail(uint16_t code, const std::string& path, const std::string& cause) {
  FailPlain(code, "Datei " + Quoted(path) + ": " + cause);
}

void Check(uint16_t result) {
  if (result == kOk) return;
  const std::string text = (result == lastCode && !lastMessage.empty())
                               ? lastMessage
                               : GenericText(result);
  throw EDBEngineError(result, text + " (Fehlercode $" + [&] {
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (int shift = 12; shift >= 0; shift -= 4) s += hex[(result >> shift) & 0xF];
    return s;
  }() + ")");
}

}  // namespace engine
