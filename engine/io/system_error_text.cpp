#include "io/system_error_text.h"

#include <cerrno>

namespace engine {

std::string SystemErrorText(int err) {
  switch (err) {
    case ENOENT: return "Datei oder Verzeichnis nicht vorhanden";
    case EACCES: return "Zugriff verweigert";
    case EPERM: return "Vorgang nicht erlaubt";
    case EROFS: return "Das Dateisystem ist nur lesbar";
    case ENOSPC: return "Kein Platz mehr auf dem Datenträger";
    case EDQUOT: return "Das Speicherkontingent ist erschöpft";
    case EIO: return "Ein-/Ausgabefehler des Datenträgers";
    case EEXIST: return "Die Datei ist bereits vorhanden";
    case ENOTDIR: return "Ein Teil des Pfades ist kein Verzeichnis";
    case EISDIR: return "Das Ziel ist ein Verzeichnis";
    case EXDEV: return "Quelle und Ziel liegen auf verschiedenen Dateisystemen";
    case EBUSY: return "Die Datei ist belegt";
    case ETXTBSY: return "Die Datei wird gerade ausgeführt";
    case ENOTEMPTY: return "Das Verzeichnis ist nicht leer";
    case ENAMETOOLONG: return "Der Dateiname ist zu lang";
    case EMFILE:
    case ENFILE: return "Zu viele offene Dateien";
    case ELOOP: return "Zu viele Ebenen symbolischer Verknüpfungen";
    case EINVAL: return "Ungültiger Aufruf";
    case EFBIG: return "Die Datei wäre zu groß";
    case ESTALE: return "Die Datei auf dem Netzlaufwerk ist nicht mehr gültig";
    case ENOMEM: return "Nicht genügend Arbeitsspeicher";
    case EBADF: return "Ungültiger Dateideskriptor";
    default: return "Systemfehler Nr. " + std::to_string(err);
  }
}

}  // namespace engine
