// RestructureTable: the direct call behind the block-size window's "BLOCK SIZE" and "LEVEL"
// changes. Reads the table descriptor with its optional parameters and rebuilds the table, a
// password-protected one with the session's password for it.

#include <cstring>
#include <string>

#include "direct/database_handle.h"
#include "direct/direct_call.h"
#include "direct/direct_calls.h"
#include "direct/session_passwords.h"
#include "family/restructure.h"
#include "io/coding.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"

namespace engine {

namespace {

// Longest option value read, in bytes with its zero byte.
constexpr size_t kMaxOptionValue = 32;

std::string FixedText(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

const uint8_t* Address(const uint8_t* at) {
  const uint8_t* ptr = nullptr;
  std::memcpy(&ptr, at, sizeof ptr);
  return ptr;
}

int ParseNumber(const std::string& text, const std::string& option) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    FailPlain(kErrInvalidParam, "Der Wert „" + text + "“ der Option „" + option + "“ ist keine Zahl.");
  return std::stoi(text);
}

}  // namespace

uint16_t RestructureTable(hDBIDb database, uint16_t descCount, const uint8_t* tableDesc,
                          const char* saveAs, void* keyViol, void* problems, bool analyzeOnly) {
  return DirectCall("RestructureTable", [&] {
    const DatabaseHandle* db = FindDatabaseHandle(database);
    if (!db) FailPlain(kErrInvalidHandle, "RestructureTable: ungültiges Datenbank-Handle.");
    if (descCount != 1 || !tableDesc)
      FailPlain(kErrInvalidParam, "RestructureTable: genau eine Tabellenbeschreibung wird erwartet.");
    if (saveAs || keyViol || problems || analyzeOnly)
      FailPlain(kErrInvalidParam,
                "RestructureTable: Sicherungsname, Fehlertabellen und reine Prüfung werden nicht unterstützt.");
    const std::string tableName = FixedText(tableDesc + kTblDescNameOffset, kTblDescNameBytes);
    const std::string type = FixedText(tableDesc + kTblDescTypeOffset, kTblDescTypeBytes);
    if (tableName.empty()) FailPlain(kErrInvalidParam, "RestructureTable: kein Tabellenname angegeben.");
    if (!type.empty() && type != "PARADOX")
      FailPlain(kErrUnsupported, "RestructureTable: Tabellentyp „" + type + "“ wird nicht unterstützt.");
    const uint16_t count = coding::GetU16(tableDesc + kTblDescOptParamsOffset);
    const uint8_t* descs = Address(tableDesc + kTblDescOptDescPtrOffset);
    const uint8_t* data = Address(tableDesc + kTblDescOptDataPtrOffset);
    if (count > 0 && (!descs || !data))
      FailPlain(kErrInvalidParam, "RestructureTable: Optionen ohne Beschreibung oder Daten.");
    TableFormat format;
    for (uint16_t i = 0; i < count; ++i) {
      const uint8_t* d = descs + size_t{i} * kFldDescSize;
      const std::string name = FixedText(d + kFldDescNameOffset, kFldDescNameBytes);
      const uint16_t offset = coding::GetU16(d + kFldDescOffsetOffset);
      const uint16_t length = coding::GetU16(d + kFldDescLengthOffset);
      const std::string value = FixedText(data + offset, std::min<size_t>(length, kMaxOptionValue));
      if (name == "BLOCK SIZE") {
        format.blockBytes = ParseNumber(value, name);
        if (format.blockBytes == 0) FailPlain(kErrInvalidParam, "Die Blockgröße 0 ist nicht möglich.");
      } else if (name == "LEVEL") {
        format.level = ParseNumber(value, name);
        if (format.level == 0) FailPlain(kErrInvalidParam, "Die Tabellenstufe 0 gibt es nicht.");
      } else {
        FailPlain(kErrInvalidParam, "RestructureTable: unbekannte Option „" + name + "“.");
      }
    }
    FileSystem& disk = DefaultFileSystem();
    const std::string path = db->directory + FindFileIgnoringCase(disk, db->directory, tableName);
    const std::unique_ptr<FileSystem> unlocked = disk.Exists(path) ? UnlockWithSessionPasswords(disk, path) : nullptr;
    RestructureTableFiles(unlocked ? *unlocked : disk, db->directory, tableName, format);
  });
}

}  // namespace engine
