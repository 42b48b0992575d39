#include "format/table_definition.h"

#include <algorithm>
#include <ctime>
#include <set>

#include "format/code_page.h"
#include "format/index_block.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/names.h"

namespace engine {

namespace {

constexpr size_t kMaxFields = 255;
constexpr size_t kMaxKeyFields = 16;
constexpr size_t kMaxFieldName = 25;
constexpr int kMaxCompositeIndexes = 16;
// Any nonzero value marks a keyed DB or an X file, as the run-time pointer there always is.
constexpr uint32_t kWorkspaceMark = 0x00000001;
// Counters of a freshly written family (DB 0x2D / 0x2E, X 0x2D).
constexpr uint8_t kFreshChangeCount1 = 2;
constexpr uint8_t kFreshChangeCount2 = 1;
constexpr uint8_t kFreshIndexCount = 1;

bool IsLevel5Type(PxType t) {
  switch (t) {
    case PxType::Long: case PxType::Time: case PxType::Timestamp: case PxType::Logical:
    case PxType::AutoInc: case PxType::Bcd: case PxType::Bytes:
      return true;
    default:
      return false;
  }
}

std::string LevelText(int level) { return std::to_string(level); }

bool AnyDescending(const SecondaryDef& ix) {
  return std::find(ix.descending.begin(), ix.descending.end(), true) != ix.descending.end();
}

bool BlockSizeAllowed(int level, uint8_t kib) {
  if (kib == 1 || kib == 2 || kib == 4) return true;
  return (kib == 16 || kib == 32) && level >= 5;
}

uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

}  // namespace

bool SecondaryDef::SingleFieldFile(const std::vector<FieldInfo>&, const std::string& fieldNameUtf8) const {
  return fields.size() == 1 && !descending.front() && !caseInsensitive && !unique &&
         (name.empty() || UpperAscii(name) == UpperAscii(fieldNameUtf8));
}

bool IsMaintained(const TableDefinition& def, const SecondaryDef& index) {
  return def.keyFields > 0 && !index.nonMaintained;
}

uint16_t TableDefinition::RecordSize() const {
  size_t n = 0;
  for (const auto& f : fields) n += f.RecordBytes();
  return static_cast<uint16_t>(std::min<size_t>(n, 0xFFFF));
}

size_t TableDefinition::KeyBytes() const {
  size_t n = 0;
  for (int i = 0; i < keyFields && i < static_cast<int>(fields.size()); ++i) n += fields[static_cast<size_t>(i)].RecordBytes();
  return n;
}

bool TableDefinition::HasBlobs() const {
  return std::any_of(fields.begin(), fields.end(), [](const FieldInfo& f) { return IsBlobType(f.type); });
}

int LowestLevel(const TableDefinition& def) {
  int level = 4;
  for (const auto& f : def.fields)
    if (IsLevel5Type(f.type)) level = 5;
  for (const auto& ix : def.indexes)
    if (AnyDescending(ix)) level = 7;
  return level;
}

uint8_t TreeBlockSize(uint16_t recordSize, int level) {
  for (uint8_t kib : {2, 4, 16, 32}) {
    if (!BlockSizeAllowed(level, kib)) continue;
    if ((kib * 1024u - 6) / recordSize >= 3) return kib;
  }
  return 0;
}

uint8_t DefaultBlockSize(const TableDefinition& def) {
  const unsigned perBlock = def.keyFields > 0 ? 3 : 1;
  const size_t size = std::max<size_t>(1, def.RecordSize());
  for (uint8_t kib : {2, 4, 16, 32}) {
    if (!BlockSizeAllowed(def.level, kib)) continue;
    if ((kib * 1024u - 6) / size >= perBlock) return kib;
  }
  return 0;
}

void CheckDefinition(const TableDefinition& def, const std::string& path) {
  const int level = def.level;
  if (level != 3 && level != 4 && level != 5 && level != 7)
    Fail(kErrUnsupported, path, "Die Tabellenstufe " + LevelText(level) +
                                    " gibt es nicht; möglich sind 3, 4, 5 und 7.");
  if (def.fields.empty()) Fail(kErrInvalidParam, path, "Die Tabelle hat keine Felder.");
  if (def.fields.size() > kMaxFields)
    Fail(kErrUnsupported, path, "Eine Tabelle kann höchstens 255 Felder haben, nicht " +
                                    std::to_string(def.fields.size()) + ".");
  const CodePage& cp = CodePage::Get(def.codePage);
  std::set<std::string> names;
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const FieldInfo& f = def.fields[i];
    const std::string shown = cp.ToUtf8(f.name);
    if (f.name.empty() || f.name.front() == ' ')
      Fail(kErrInvalidParam, path, "Feld " + std::to_string(i + 1) +
                                       ": Ein Feldname darf nicht leer sein oder mit einem Leerzeichen beginnen.");
    if (f.name.size() > kMaxFieldName)
      Fail(kErrInvalidParam, path, "Der Feldname „" + shown + "“ ist länger als 25 Zeichen.");
    if (f.name.find('\0') != std::string::npos)
      Fail(kErrInvalidParam, path, "Der Feldname „" + shown + "“ enthält ein Nullzeichen.");
    if (!names.insert(UpperAscii(f.name)).second)
      Fail(kErrInvalidParam, path, "Der Feldname „" + shown + "“ kommt doppelt vor.");
    const char letter = PxTypeLetter(f.type);
    if (level < 4 && (IsBlobType(f.type) || IsLevel5Type(f.type)))
      Fail(kErrUnsupported, path, std::string("Das Feld „") + shown + "“ vom Typ " + letter +
                                      " braucht mindestens Tabellenstufe " + (IsBlobType(f.type) ? "4" : "5") +
                                      "; die Tabelle hat Stufe " + LevelText(level) + ".");
    if (level < 5 && IsLevel5Type(f.type))
      Fail(kErrUnsupported, path, std::string("Das Feld „") + shown + "“ vom Typ " + letter +
                                      " braucht mindestens Tabellenstufe 5; die Tabelle hat Stufe " +
                                      LevelText(level) + ".");
    if (!SizeByteAllowed(f.type, f.size))
      Fail(kErrInvalidParam, path, "Das Feld „" + shown + "“ hat eine ungültige Größe (" +
                                       std::to_string(f.size) + ") für den Typ " + letter + ".");
  }
  if (def.keyFields < 0 || static_cast<size_t>(def.keyFields) > kMaxKeyFields ||
      static_cast<size_t>(def.keyFields) > def.fields.size())
    Fail(kErrUnsupported, path, "Ein Primärschlüssel kann höchstens 16 Felder umfassen.");
  for (int i = 0; i < def.keyFields; ++i)
    if (IsBlobType(def.fields[static_cast<size_t>(i)].type))
      Fail(kErrUnsupported, path, "Das Memo-/BLOb-Feld „" + cp.ToUtf8(def.fields[static_cast<size_t>(i)].name) +
                                      "“ kann nicht zum Primärschlüssel gehören.");
  if (!BlockSizeAllowed(level, def.blockSizeKiB))
    Fail(kErrUnsupported, path, "Tabellen der Stufe " + LevelText(level) + " erlauben keine Blockgröße von " +
                                    std::to_string(def.blockSizeKiB * 1024) +
                                    " Bytes (möglich: 1024, 2048, 4096" +
                                    (level >= 5 ? ", 16384, 32768" : "") + ").");
  const size_t recordSize = def.RecordSize();
  const size_t capacity = (def.blockSizeKiB * 1024u - 6) / std::max<size_t>(1, recordSize);
  if (capacity < 1)
    Fail(kErrUnsupported, path, "Ein Datensatz von " + std::to_string(recordSize) +
                                    " Bytes passt nicht in einen Block von " +
                                    std::to_string(def.blockSizeKiB * 1024) + " Bytes.");
  if (def.keyFields > 0 && capacity < 3)
    Fail(kErrUnsupported, path, "Ein Block von " + std::to_string(def.blockSizeKiB * 1024) +
                                    " Bytes fasst nur " + std::to_string(capacity) + " Datensätze von " +
                                    std::to_string(recordSize) +
                                    " Bytes; Tabellen mit Schlüssel brauchen mindestens drei je Block.");
  if (def.keyFields > 0 && TreeBlockSize(static_cast<uint16_t>(def.KeyBytes() + 6), level) == 0)
    Fail(kErrUnsupported, path, "Der Primärschlüssel ist mit " + std::to_string(def.KeyBytes()) +
                                    " Bytes zu lang für den Primärindex.");
  if (def.sortOrderId.size() > 30 && level >= 4)
    Fail(kErrInvalidParam, path, "Der Name des Sprachtreibers ist zu lang.");
  for (const auto& ix : def.indexes) {
    if (ix.fields.empty() || ix.fields.size() != ix.descending.size())
      Fail(kErrInvalidParam, path, "Der Index „" + ix.name + "“ nennt keine Felder.");
    if (ix.fields.size() > kMaxKeyFields)
      Fail(kErrUnsupported, path, "Der Index „" + ix.name + "“ hat mehr als 16 Felder.");
    for (int f : ix.fields) {
      if (f < 0 || static_cast<size_t>(f) >= def.fields.size())
        Fail(kErrInvalidParam, path, "Der Index „" + ix.name + "“ nennt ein unbekanntes Feld.");
      if (IsBlobType(def.fields[static_cast<size_t>(f)].type))
        Fail(kErrUnsupported, path, "Der Index „" + ix.name + "“ kann kein Memo-/BLOb-Feld enthalten.");
    }
    if (AnyDescending(ix) && level < 7)
      Fail(kErrUnsupported, path, "Der absteigende Index „" + ix.name +
                                      "“ braucht Tabellenstufe 7; die Tabelle hat Stufe " + LevelText(level) + ".");
    const bool single = ix.SingleFieldFile(def.fields, cp.ToUtf8(def.fields[static_cast<size_t>(ix.fields[0])].name));
    if (level < 4 && !single)
      Fail(kErrUnsupported, path, "Der Index „" + ix.name +
                                      "“ (zusammengesetzt, benannt oder ohne Groß-/Kleinschreibung) braucht mindestens Tabellenstufe 4.");
  }
}

void AssignIndexFiles(TableDefinition& def, const std::string& path) {
  const CodePage& cp = CodePage::Get(def.codePage);
  static const char* hex = "0123456789ABCDEF";
  int composite = 0;
  std::set<int> singleFields;
  for (auto& ix : def.indexes) {
    const int first = ix.fields.empty() ? 0 : ix.fields.front();
    const std::string fieldName = cp.ToUtf8(def.fields[static_cast<size_t>(first)].name);
    if (!ix.fields.empty() && ix.SingleFieldFile(def.fields, fieldName) && singleFields.insert(first).second) {
      const int number = first + 1;
      ix.extension = std::string("X") + hex[(number >> 4) & 0xF] + hex[number & 0xF];
      ix.name = fieldName;
      continue;
    }
    if (composite >= kMaxCompositeIndexes)
      Fail(kErrUnsupported, path, "Eine Tabelle kann höchstens 16 zusammengesetzte oder benannte Sekundärindizes haben.");
    if (ix.name.empty())
      Fail(kErrInvalidParam, path, "Ein zusammengesetzter Sekundärindex braucht einen Namen.");
    ix.extension = std::string("XG") + hex[composite++];
  }
}

TableHeader DataHeader(const TableDefinition& def, const std::string& fileName) {
  TableHeader h;
  h.fileVersionId = FileVersionForLevel(def.level);
  h.recordSize = def.RecordSize();
  h.headerSize = 0;
  h.fileType = static_cast<uint8_t>(def.keyFields > 0 ? FileType::KeyedDb : FileType::UnkeyedDb);
  h.blockSizeKiB = def.blockSizeKiB;
  h.unknown12 = 12;
  h.primaryIndexWorkspace = def.keyFields > 0 ? kWorkspaceMark : 0;
  h.primaryKeyFields = static_cast<uint16_t>(def.keyFields);
  h.encryption1 = def.level >= 4 ? hdr::kExtensionMark : 0;
  h.sortOrder = def.sortOrder;
  h.changeCount1 = kFreshChangeCount1;
  h.changeCount2 = kFreshChangeCount2;
  h.unknown3E[0] = 0x1F;
  h.unknown3E[1] = 0x0F;
  h.autoInc = def.autoInc;
  h.indexFlags = def.integrityParent;
  h.unknown56 = def.level >= 4 ? 0x20 : 0;
  h.fileUpdateTime = Now();
  h.unknown6C = def.integrityChild;
  h.hiFieldId = static_cast<uint16_t>(def.fields.size() + 1);
  h.codePage = def.codePage;
  h.changeCount4 = 1;
  h.fields = def.fields;
  h.tableName = fileName;
  h.sortOrderId = def.sortOrderId;
  return h;
}

TableHeader PrimaryIndexHeader(const TableDefinition& def, const std::string& fileName) {
  TableHeader h;
  h.fileVersionId = FileVersionForLevel(def.level);
  h.fileType = static_cast<uint8_t>(FileType::PrimaryIndex);
  h.recordSize = static_cast<uint16_t>(def.KeyBytes() + 6);
  h.headerSize = 0;
  h.blockSizeKiB = TreeBlockSize(h.recordSize, def.level);
  h.unknown12 = 17;
  h.indexRoot = 1;
  h.sortOrder = def.sortOrder;
  h.stamp2C = kFreshChangeCount1;
  h.autoInc = 1;
  h.fields.assign(def.fields.begin(), def.fields.begin() + def.keyFields);
  h.tableName = fileName;
  return h;
}

TableHeader SecondaryDataHeader(const TableDefinition& def, const SecondaryDef& index,
                                const std::string& fileName) {
  TableHeader h;
  const bool keyed = def.keyFields > 0;
  const bool maintained = IsMaintained(def, index);
  const bool composite = index.extension.size() > 1 && index.extension[1] == 'G';
  h.fileVersionId = FileVersionForLevel(def.level);
  if (maintained)
    h.fileType = static_cast<uint8_t>(composite ? FileType::MaintainedXG : FileType::MaintainedX);
  else
    h.fileType = static_cast<uint8_t>(composite ? FileType::NonMaintainedXG : FileType::NonMaintainedX);
  h.headerSize = 0;
  h.blockSizeKiB = def.blockSizeKiB;
  h.unknown12 = 12;
  h.indexFieldNumber = static_cast<uint8_t>(index.fields.front() + 1);
  h.primaryIndexWorkspace = kWorkspaceMark;
  h.encryption1 = def.level >= 4 ? hdr::kExtensionMark : 0;
  h.sortOrder = def.sortOrder;
  h.stamp2C = 0xFF;
  h.changeCount1 = kFreshIndexCount;
  h.changeCount2 = kFreshChangeCount2;
  h.stamp2F = keyed ? kFreshChangeCount1 : 0;
  h.unknown3E[0] = 0x1F;
  h.unknown3E[1] = 0x0F;
  uint8_t flags = 0;
  if (index.caseInsensitive) flags |= idx::kFlagCaseInsensitive;
  if (AnyDescending(index)) flags |= idx::kFlagDescending;
  if (index.unique) flags |= idx::kFlagUnique;
  h.indexFlags = flags;
  h.unknown56 = def.level >= 4 ? 0x20 : 0;
  h.fileUpdateTime = Now();
  h.codePage = def.codePage;
  h.changeCount4 = 0;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    FieldInfo f = def.fields[static_cast<size_t>(index.fields[i])];
    f.number = static_cast<uint16_t>((index.fields[i] + 1) | (index.descending[i] ? idx::kDescendingBit : 0));
    h.fields.push_back(f);
  }
  auto append = [&h](PxType type, uint8_t size, const std::string& name) {
    FieldInfo f;
    f.type = type;
    f.size = size;
    f.name = name;
    f.number = static_cast<uint16_t>(h.fields.size() + 1);
    h.fields.push_back(f);
  };
  if (maintained) {
    for (int k = 0; k < def.keyFields; ++k) {
      const FieldInfo& kf = def.fields[static_cast<size_t>(k)];
      append(kf.type, kf.size, kf.name);
    }
    append(PxType::Short, 2, "Blk Num");
  } else {
    append(PxType::Long, 4, "Tup No");
    append(PxType::Short, 2, "Blk Num");
    append(PxType::Short, 2, "Tup Offset");
  }
  size_t recordSize = 0;
  for (const auto& f : h.fields) recordSize += f.RecordBytes();
  h.recordSize = static_cast<uint16_t>(recordSize);
  h.primaryKeyFields = static_cast<uint16_t>(h.fields.size() - 1);
  h.hiFieldId = static_cast<uint16_t>(h.fields.size() + 1);
  h.tableName = fileName;
  h.sortOrderId = def.sortOrderId;
  if (composite) CodePage::Get(def.codePage).FromUtf8(index.name, &h.indexName);
  return h;
}

TableHeader SecondaryTreeHeader(const TableDefinition& def, const TableHeader& x,
                                const std::string& fileName) {
  TableHeader h;
  const bool composite = x.fileType == static_cast<uint8_t>(FileType::MaintainedXG) ||
                         x.fileType == static_cast<uint8_t>(FileType::NonMaintainedXG);
  h.fileVersionId = x.fileVersionId;
  h.fileType = static_cast<uint8_t>(composite ? FileType::CompositeTree : FileType::SecondaryTree);
  // The tree's key is the X records' key fields; a damaged count is held to the fields there are.
  const size_t keyFields = std::min<size_t>(x.primaryKeyFields, x.fields.size());
  h.fields.assign(x.fields.begin(), x.fields.begin() + static_cast<long>(keyFields));
  for (auto& f : h.fields) f.name.clear();
  size_t key = 0;
  for (const auto& f : h.fields) key += f.RecordBytes();
  h.recordSize = static_cast<uint16_t>(key + 6);
  h.headerSize = 0;
  h.blockSizeKiB = TreeBlockSize(h.recordSize, def.level);
  h.unknown12 = 17;
  h.indexRoot = 1;
  h.sortOrder = def.sortOrder;
  h.stamp2C = x.changeCount1;
  h.autoInc = 1;
  h.tableName = FileNameOf(fileName);
  return h;
}

}  // namespace engine
