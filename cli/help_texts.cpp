#include "cli/help_texts.h"

#include <map>

namespace cli {

namespace {

constexpr char kReadStatuses[] =
    "Exit-Status: 0 gelesen, 1 Tabelle nicht lesbar, 2 falscher Aufruf,\n"
    "             3 gelesen, aber einzelne Werte nicht lesbar (Warnung je Ursache).\n";
constexpr char kForeignLockOption[] =
    "  --ignore-foreign-locks  Sperrdateien anderer Paradox-Programme (*.LCK, *.NET), die niemand\n"
    "                          hält, als veraltet übergehen; gehaltene Sperren verhindern den\n"
    "                          Befehl weiterhin\n\n";
constexpr char kChangeStatuses[] = "Exit-Status: 0 erledigt, 1 fehlgeschlagen (nichts geändert), 2 falscher Aufruf.\n";

const std::map<std::string, std::string>& Texts() {
  static const std::map<std::string, std::string> texts = {
      {"dump",
       std::string("Aufruf: kerbolt-cli dump TABELLE\n\n"
                   "Gibt die Tabelle als Text aus: Feldnamen, Feldtypen, dann je Datensatz eine Zeile\n"
                   "mit Tabulatoren (Datum ISO 8601, Zahlen mit Punkt, BLObs als Länge:Prüfsumme).\n\n") +
           kReadStatuses},
      {"info",
       std::string("Aufruf: kerbolt-cli info TABELLE\n\n"
                   "Zeigt die Kopfdaten der Tabelle: Stufe, Blockgröße, Felder, Schlüssel, Codeseite, Indizes.\n\n") +
           kReadStatuses},
      {"scan",
       "Aufruf: kerbolt-cli scan VERZEICHNIS\n\n"
       "Listet alle Tabellen des Verzeichnisses mit Blockgröße und Stufe, durch Tabulatoren getrennt.\n\n"
       "Exit-Status: 0 gelesen, 1 Verzeichnis nicht lesbar, 2 falscher Aufruf.\n"},
      {"copy",
       std::string("Aufruf: kerbolt-cli copy QUELLE ZIEL [--empty] [--level L] [--block-size N] [--ignore-foreign-locks]\n\n"
                   "Legt ZIEL als Kopie von QUELLE an (Felder, Schlüssel, Indizes, Datensätze).\n"
                   "  --empty          nur die Struktur, keine Datensätze\n"
                   "  --level L        Tabellenstufe 3, 4, 5 oder 7\n"
                   "  --block-size N   Blockgröße 1024, 2048, 4096, 16384 oder 32768 Bytes\n") +
           kForeignLockOption +
           kChangeStatuses},
      {"restructure",
       std::string("Aufruf: kerbolt-cli restructure TABELLE --block-size N | --level L [--ignore-foreign-locks]\n\n"
                   "Baut die Tabelle an Ort und Stelle mit anderer Blockgröße oder Stufe neu auf.\n"
                   "\n") +
           kForeignLockOption +
           kChangeStatuses},
      {"verify",
       "Aufruf: kerbolt-cli verify PFAD… [--json]\n\n"
       "Prüft Tabellen oder alle Tabellen eines Verzeichnisses, ohne etwas zu ändern: Kopf und\n"
       "Blockkette, jeden Datensatz, Schlüssel, Primär- und Sekundärindizes, BLOb-Verweise in die\n"
       ".MB-Datei, Codeseite, Begleitdateien ohne Tabelle. Je Tabelle eine Zeile „OK“ oder die\n"
       "Probleme mit Datei und Stelle (Block, Datensatz).\n"
       "  --json   ein JSON-Dokument für Skripte\n\n"
       "Exit-Status: 0 alles in Ordnung, 1 Probleme gefunden, 2 Prüfung nicht möglich\n"
       "             (Tabelle fehlt, gesperrt oder kennwortgeschützt; falscher Aufruf).\n"},
      {"rebuild",
       std::string("Aufruf: kerbolt-cli rebuild TABELLE [--ignore-foreign-locks]\n\n"
                   "Baut Primär- und Sekundärindizes neu auf, verkettet die Blöcke mit gültigen Datensätzen\n"
                   "neu und leert BLOb-Verweise, die ins Leere zeigen; nennt betroffene Datensätze. Die\n"
                   "ursprünglichen Dateien bleiben im Verzeichnis TABELLE.bak/ neben der Tabelle erhalten.\n"
                   "Tabellen, die anderswo geöffnet oder gesperrt sind, werden nicht angefasst.\n"
                   "\n") +
           kForeignLockOption +
           kChangeStatuses},
      {"export",
       "Aufruf: kerbolt-cli export TABELLE|VERZEICHNIS --csv DATEI|VERZEICHNIS | --sqlite DATEI\n\n"
       "Gibt die Datensätze einer Tabelle oder aller Tabellen eines Verzeichnisses aus; Text\n"
       "immer in UTF-8.\n"
       "  --csv DATEI      CSV mit Kopfzeile (RFC 4180), Datum ISO 8601, Zahlen mit Punkt;\n"
       "                   für ein Verzeichnis ein Zielverzeichnis mit einer Datei je Tabelle\n"
       "  --sqlite DATEI   SQLite-Datenbank mit einer Tabelle je Tabelle, Spaltentypen,\n"
       "                   Primärschlüssel und Indizes\n"
       "Die Zieldatei wird erst ersetzt, wenn alles geschrieben ist. Eine nicht lesbare Tabelle\n"
       "eines Verzeichnisses wird übersprungen, die übrigen werden ausgegeben.\n\n"
       "Exit-Status: 0 ausgegeben, 1 fehlgeschlagen (Ziel unverändert) oder Tabellen übersprungen,\n"
       "             2 falscher Aufruf,\n"
       "             3 ausgegeben, aber einzelne Werte nicht lesbar (leer bzw. NULL).\n"},
  };
  return texts;
}

}  // namespace

const std::string& OverviewHelp() {
  static const std::string text = [] {
    std::string t =
        "kerbolt-cli – Begleitprogramm von Kerbolt für Paradox-Tabellen\n\n"
        "Aufruf:\n";
    for (const auto& [name, help] : Texts()) t += "  " + help.substr(8, help.find('\n') - 8) + "\n";
    t += "  kerbolt-cli --help | --version\n\n"
         "„kerbolt-cli BEFEHL --help“ erklärt einen Befehl mit Optionen und Exit-Status.\n"
         "Pfade dürfen Tabellen in beliebiger Groß-/Kleinschreibung nennen.\n";
    return t;
  }();
  return text;
}

std::string CommandHelp(const std::string& command) {
  const auto it = Texts().find(command);
  return it == Texts().end() ? std::string() : it->second;
}

}  // namespace cli
