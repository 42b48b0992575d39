#include "component/definitions.h"

#include <algorithm>

#include "format/blob_block.h"
#include "format/code_page.h"
#include "io/fail.h"
#include "io/names.h"

namespace engine {

namespace {

// Names of `fields` of `table` in UTF-8, separated by ";"; with `onlyDescending` just those
// that descend.
std::string JoinFieldNames(const TableHeader& table, const SecondaryDef& index, bool onlyDescending) {
  const CodePage& cp = CodePage::ForHeader(table);
  std::string out;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    if (onlyDescending && !index.descending[i]) continue;
    if (!out.empty()) out += ";";
    out += cp.ToUtf8(table.fields[static_cast<size_t>(index.fields[i])].name);
  }
  return out;
}

}  // namespace

TFieldDef FieldDefOf(const FieldInfo& f, const CodePage& cp) {
  TFieldDef d;
  d.Name = cp.ToUtf8(f.name);
  d.DataType = ToFieldType(f.type);
  switch (f.type) {
    case PxType::Alpha: case PxType::Bytes: case PxType::Bcd:
      d.Size = f.size;
      break;
    case PxType::Memo: case PxType::Blob: case PxType::FmtMemo: case PxType::Ole:
    case PxType::Graphic:
      d.Size = static_cast<int>(mb::LeaderBytes(f.size));
      break;
    default:
      d.Size = 0;
  }
  return d;
}

TIndexDef IndexDefOf(const SecondaryDef& index, const TableHeader& table) {
  TIndexDef d;
  d.Name = index.name;
  d.Fields = JoinFieldNames(table, index, false);
  d.DescFields = JoinFieldNames(table, index, true);
  if (index.unique) d.Options |= ixUnique;
  if (index.caseInsensitive) d.Options |= ixCaseInsensitive;
  if (!d.DescFields.empty()) d.Options |= ixDescending;
  return d;
}

std::vector<TIndexDef> IndexDefsOf(const TableHeader& h, const std::vector<SecondaryIndex>& secondaries) {
  std::vector<TIndexDef> defs;
  if (h.primaryKeyFields > 0) {
    const CodePage& cp = CodePage::ForHeader(h);
    TIndexDef primary;
    for (size_t i = 0; i < h.primaryKeyFields; ++i)
      primary.Fields += (i ? ";" : "") + cp.ToUtf8(h.fields[i].name);
    primary.Options = ixPrimary | ixUnique;
    defs.push_back(primary);
  }
  for (const auto& s : secondaries) defs.push_back(IndexDefOf(s.def, h));
  return defs;
}

TableDefinition DefinitionFromDefs(const TFieldDefs& fieldDefs, const TIndexDefs& indexDefs,
                                   int level, int blockBytes, const std::string& path) {
  TableDefinition def;
  const CodePage& cp = CodePage::Get(def.codePage);
  std::vector<std::string> utf8Names;
  for (const TFieldDef& fd : fieldDefs.Items()) {
    FieldInfo f;
    PxType type;
    if (!ToPxType(fd.DataType, &type))
      Fail(kErrUnsupported, path, "Das Feld „" + fd.Name + "“ hat einen Typ (" +
                                      std::to_string(static_cast<int>(fd.DataType)) +
                                      "), den Paradox-Tabellen nicht speichern können.");
    f.type = type;
    if (!cp.FromUtf8(fd.Name, &f.name))
      Fail(kErrInvalidParam, path, "Der Feldname „" + fd.Name + "“ enthält Zeichen, die Codeseite 437 nicht kennt.");
    switch (type) {
      case PxType::Alpha: case PxType::Bytes:
        if (fd.Size < 1 || fd.Size > 255)
          Fail(kErrInvalidParam, path, "Das Feld „" + fd.Name + "“ braucht eine Länge von 1 bis 255.");
        f.size = static_cast<uint8_t>(fd.Size);
        break;
      case PxType::Bcd:
        if (fd.Size < 0 || fd.Size > 32)
          Fail(kErrInvalidParam, path, "Das Feld „" + fd.Name + "“ braucht 0 bis 32 Nachkommastellen.");
        f.size = static_cast<uint8_t>(fd.Size);
        break;
      case PxType::Memo: case PxType::Blob: case PxType::FmtMemo: case PxType::Ole: case PxType::Graphic:
        if (fd.Size < (type == PxType::Memo ? 1 : 0) || fd.Size > 240)
          Fail(kErrInvalidParam, path, "Das Feld „" + fd.Name + "“ braucht eine Länge von " +
                                           (type == PxType::Memo ? "1" : "0") + " bis 240.");
        f.size = static_cast<uint8_t>(fd.Size + mb::kDescriptorSize);
        break;
      default: f.size = FixedFieldBytes(type); break;
    }
    f.number = static_cast<uint16_t>(def.fields.size() + 1);
    def.fields.push_back(f);
    def.required.push_back(fd.Required);
    utf8Names.push_back(fd.Name);
  }
  auto fieldIndex = [&](const std::string& name, const std::string& indexName) {
    for (size_t i = 0; i < utf8Names.size(); ++i)
      if (UpperAscii(utf8Names[i]) == UpperAscii(name)) return static_cast<int>(i);
    Fail(kErrInvalidParam, path, "Der Index „" + indexName + "“ nennt das unbekannte Feld „" + name + "“.");
  };
  auto splitNames = [](const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
      const size_t semi = list.find(';', start);
      std::string part = list.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
      while (!part.empty() && part.front() == ' ') part.erase(part.begin());
      while (!part.empty() && part.back() == ' ') part.pop_back();
      if (!part.empty()) out.push_back(part);
      if (semi == std::string::npos) break;
      start = semi + 1;
    }
    return out;
  };
  for (const TIndexDef& id : indexDefs.Items()) {
    const std::vector<std::string> names = splitNames(id.Fields);
    if (id.Options & ixPrimary) {
      if (def.keyFields > 0)
        Fail(kErrInvalidParam, path, "Die Tabelle hat mehr als einen Primärindex.");
      for (size_t k = 0; k < names.size(); ++k)
        if (fieldIndex(names[k], "Primärindex") != static_cast<int>(k))
          Fail(kErrUnsupported, path, "Die Schlüsselfelder müssen die ersten Felder der Tabelle sein, in ihrer Reihenfolge; „" +
                                          names[k] + "“ ist es nicht.");
      if (names.empty()) Fail(kErrInvalidParam, path, "Der Primärindex nennt keine Felder.");
      if (id.Options & (ixDescending | ixCaseInsensitive))
        Fail(kErrUnsupported, path, "Der Primärindex kann nicht absteigend oder ohne Groß-/Kleinschreibung sein.");
      def.keyFields = static_cast<int>(names.size());
      continue;
    }
    SecondaryDef ix;
    ix.name = id.Name;
    const std::vector<std::string> desc = splitNames(id.DescFields);
    for (const auto& n : names) {
      ix.fields.push_back(fieldIndex(n, id.Name));
      bool d = (id.Options & ixDescending) && desc.empty();
      for (const auto& dn : desc)
        if (UpperAscii(dn) == UpperAscii(n)) d = true;
      ix.descending.push_back(d);
    }
    for (const auto& dn : desc)
      if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return UpperAscii(n) == UpperAscii(dn); }))
        Fail(kErrInvalidParam, path, "Der Index „" + id.Name + "“ nennt das absteigende Feld „" + dn +
                                         "“, das nicht zu ihm gehört.");
    ix.caseInsensitive = (id.Options & ixCaseInsensitive) != 0;
    ix.unique = (id.Options & ixUnique) != 0;
    if (ix.fields.empty()) Fail(kErrInvalidParam, path, "Der Index „" + id.Name + "“ nennt keine Felder.");
    def.indexes.push_back(std::move(ix));
  }
  const int lowest = LowestLevel(def);
  if (level == 0) {
    def.level = blockBytes > 4096 ? std::max(lowest, 5) : lowest;
  } else {
    def.level = level;
    if (level < lowest) {
      CheckDefinition(def, path);  // names the field or index that needs the higher level
      Fail(kErrUnsupported, path, "Die Tabelle braucht mindestens Stufe " + std::to_string(lowest) + ".");
    }
  }
  if (blockBytes == 0) {
    def.blockSizeKiB = DefaultBlockSize(def);
    if (def.blockSizeKiB == 0) def.blockSizeKiB = def.level >= 5 ? 32 : 4;
  } else {
    if (blockBytes % 1024 != 0 || blockBytes / 1024 > 32 || blockBytes <= 0)
      Fail(kErrUnsupported, path, "Die Blockgröße " + std::to_string(blockBytes) +
                                      " ist nicht möglich (1024, 2048, 4096, 16384 oder 32768).");
    def.blockSizeKiB = static_cast<uint8_t>(blockBytes / 1024);
  }
  AssignIndexFiles(def, path);
  CheckDefinition(def, path);
  return def;
}

}  // namespace engine
