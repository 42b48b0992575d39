// Writes the demo tables into a directory (the program directory at build time):
//   Kunden.DB   level 5, 2 KiB blocks: auto-increment key, secondary indexes "Name" and "Ort",
//               a date and a memo;
//   Artikel.DB  level 4, 4 KiB blocks: alpha key, money and short fields, a case-insensitive
//               index "Bezeichnung";
//   Journal.DB  level 7, 16 KiB blocks: timestamp key, logical field, a descending index
//               "Neueste" over the amount.
// Usage: kerbolt-demo-tables DIRECTORY/

#include <cstdio>
#include <string>

#include "io/engine_error.h"
#include "component/table.h"

namespace {

using engine::TTable;

void Create(TTable& t, const std::string& dir, const std::string& name, int level, int blockBytes) {
  t.SetDatabaseName(dir);
  t.SetTableName(name);
  t.SetCreateLevel(level);
  t.SetCreateBlockSize(blockBytes);
  t.CreateTable();
  t.Open();
}

void WriteCustomers(const std::string& dir) {
  TTable t;
  t.FieldDefs().Add({"Nr", engine::ftAutoInc, 0, false});
  t.FieldDefs().Add({"Name", engine::ftString, 30, false});
  t.FieldDefs().Add({"Vorname", engine::ftString, 20, false});
  t.FieldDefs().Add({"Ort", engine::ftString, 25, false});
  t.FieldDefs().Add({"Geburtstag", engine::ftDate, 0, false});
  t.FieldDefs().Add({"Notiz", engine::ftMemo, 30, false});
  t.IndexDefs().Add({"", "Nr", "", engine::ixPrimary | engine::ixUnique});
  t.IndexDefs().Add({"Name", "Name", "", 0});
  t.IndexDefs().Add({"Ort", "Ort", "", 0});
  Create(t, dir, "Kunden.DB", 0, 2048);
  const char* rows[][5] = {
      {"Müller", "Anna", "Hamburg", "12.03.1961", "Stammkundin seit 1990. Bevorzugt Lieferung am Vormittag."},
      {"Schmidt", "Bernd", "München", "01.07.1975", ""},
      {"Schneider", "Clara", "Köln", "23.11.1982", "Rückfragen bitte per Telefon."},
      {"Fischer", "Dieter", "Berlin", "05.05.1958", ""},
      {"Weber", "Eva", "Frankfurt", "30.09.1990", "Rechnung an die Firmenadresse senden; Kopie an die Buchhaltung."},
      {"Meyer", "Frank", "Stuttgart", "14.02.1969", ""},
      {"Wagner", "Gerda", "Düsseldorf", "08.08.1948", "Jahresvertrag, Verlängerung im Dezember prüfen."},
      {"Becker", "Hans", "Leipzig", "19.04.1977", ""},
      {"Schulz", "Ilse", "Dortmund", "27.12.1985", ""},
      {"Hoffmann", "Jürgen", "Essen", "03.06.1952", "Sammelt Sonderausgaben."},
      {"Koch", "Karin", "Bremen", "11.01.1993", ""},
      {"Richter", "Lutz", "Dresden", "22.10.1966", ""},
  };
  for (const auto& r : rows) {
    t.Append();
    t.FieldByName("Name").SetAsString(r[0]);
    t.FieldByName("Vorname").SetAsString(r[1]);
    t.FieldByName("Ort").SetAsString(r[2]);
    t.FieldByName("Geburtstag").SetAsString(r[3]);
    t.FieldByName("Notiz").SetAsString(r[4]);
    t.Post();
  }
  t.Close();
}

void WriteArticles(const std::string& dir) {
  TTable t;
  t.FieldDefs().Add({"Artikelnummer", engine::ftString, 10, false});
  t.FieldDefs().Add({"Bezeichnung", engine::ftString, 40, false});
  t.FieldDefs().Add({"Preis", engine::ftCurrency, 0, false});
  t.FieldDefs().Add({"Bestand", engine::ftSmallint, 0, false});
  t.IndexDefs().Add({"", "Artikelnummer", "", engine::ixPrimary | engine::ixUnique});
  t.IndexDefs().Add({"Bezeichnung", "Bezeichnung", "", engine::ixCaseInsensitive});
  Create(t, dir, "Artikel.DB", 4, 4096);
  const char* rows[][4] = {
      {"A-1001", "Schraube M4 x 20", "0,12", "1500"}, {"A-1002", "Mutter M4", "0,05", "3200"},
      {"A-2001", "Winkel verzinkt", "1,95", "240"},   {"B-0100", "akkuschrauber 18 V", "89,90", "12"},
      {"B-0200", "Bohrersatz HSS", "24,50", "35"},    {"C-0001", "Werkzeugkoffer", "59,00", "8"},
      {"C-0002", "Zollstock 2 m", "6,49", "60"},      {"D-0010", "Arbeitshandschuhe", "3,99", "150"},
  };
  for (const auto& r : rows) {
    t.Append();
    for (int i = 0; i < 4; ++i) t.Fields(i).SetAsString(r[i]);
    t.Post();
  }
  t.Close();
}

void WriteJournal(const std::string& dir) {
  TTable t;
  t.FieldDefs().Add({"Zeitpunkt", engine::ftDateTime, 0, false});
  t.FieldDefs().Add({"Buchungstext", engine::ftString, 60, false});
  t.FieldDefs().Add({"Betrag", engine::ftFloat, 0, false});
  t.FieldDefs().Add({"Geprüft", engine::ftBoolean, 0, false});
  t.IndexDefs().Add({"", "Zeitpunkt", "", engine::ixPrimary | engine::ixUnique});
  t.IndexDefs().Add({"Neueste", "Betrag", "Betrag", engine::ixDescending});
  Create(t, dir, "Journal.DB", 7, 16384);
  for (int i = 0; i < 40; ++i) {
    t.Append();
    char when[40];
    std::snprintf(when, sizeof when, "%02d.%02d.2024 %02d:%02d:00", 1 + i % 28, 1 + i % 12, 8 + i % 10, (i * 7) % 60);
    t.Fields(0).SetAsString(when);
    t.Fields(1).SetAsString("Buchung " + std::to_string(i + 1));
    t.Fields(2).SetAsFloat((i * 37 % 100) * 1.25 - 30.0);
    t.Fields(3).SetAsBoolean(i % 3 == 0);
    t.Post();
  }
  t.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Aufruf: kerbolt-demo-tables VERZEICHNIS/\n", stderr);
    return 2;
  }
  std::string dir = argv[1];
  if (dir.back() != '/') dir += '/';
  try {
    WriteCustomers(dir);
    WriteArticles(dir);
    WriteJournal(dir);
  } catch (const engine::EDBEngineError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
