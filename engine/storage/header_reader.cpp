#include "storage/header_reader.h"

#include <algorithm>
#include <vector>

#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"

namespace engine {

namespace {

// Most headers fit in their first block of this size; a longer one is read on once its length
// is known.
constexpr size_t kFirstHeaderRead = 2048;

}  // namespace

TableHeader ReadFileHeader(File& file, const std::string& path) {
  const uint64_t fileSize = std::min<uint64_t>(file.Size(), kMaxHeaderBytes);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(fileSize, kFirstHeaderRead)));
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  if (bytes.size() >= hdr::kHeaderSize + 2) {
    const size_t whole = static_cast<size_t>(std::min<uint64_t>(fileSize, coding::GetU16(&bytes[hdr::kHeaderSize])));
    const size_t got = bytes.size();
    if (whole > got) {
      bytes.resize(whole);
      bytes.resize(got + file.ReadAt(got, bytes.data() + got, whole - got));
    }
  }
  return DecodeTableHeader(bytes.data(), bytes.size(), path);
}

TableHeader ReadFileHeader(FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, OpenMode::ReadOnly);
  return ReadFileHeader(*file, path);
}

void CheckUnlocked(const FileSystem& fs, const TableHeader& h, const std::string& path) {
  if (h.Encrypted() && fs.CipherKey() != h.StoredKey())
    Fail(kErrPasswordProtected, path, "Die Tabelle ist durch ein Kennwort geschützt; das Kennwort fehlt oder ist falsch.");
}

TableHeader ReadTableFigures(FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, OpenMode::ReadOnly);
  const uint64_t size = file->Size();
  if (size == 0) Fail(kErrNotATable, path, "Die Datei ist leer.");
  // An index file's fields lie elsewhere in its header, so its kind is told before they are read.
  uint8_t type = 0;
  file->ReadAt(hdr::kFileType, &type, 1);
  if (type <= static_cast<uint8_t>(FileType::MaintainedXG) && type != static_cast<uint8_t>(FileType::KeyedDb) &&
      type != static_cast<uint8_t>(FileType::UnkeyedDb))
    Fail(kErrNotATable, path, "Die Datei ist eine Indexdatei, keine Tabelle.");
  TableHeader h = ReadFileHeader(*file, path);
  if (h.headerSize > size)
    Fail(kErrCorrupt, path, "Die Datei ist kürzer als ihr Tabellenkopf (abgeschnitten).");
  if (h.fileType == static_cast<uint8_t>(FileType::UnkeyedDb) && h.primaryKeyFields != 0)
    Fail(kErrCorrupt, path, "Der Tabellenkopf nennt Schlüsselfelder für eine Tabelle ohne Schlüssel.");
  return h;
}

TableHeader ReadTableHeader(FileSystem& fs, const std::string& path) {
  TableHeader h = ReadTableFigures(fs, path);
  CheckUnlocked(fs, h, path);
  return h;
}

TableHeader ExistingIndexHeader(FileSystem& fs, const std::string& path, const TableHeader& fallback) {
  try {
    if (!fs.Exists(path)) return fallback;
    TableHeader h = ReadFileHeader(fs, path);
    if (h.fileType != fallback.fileType || h.recordSize != fallback.recordSize ||
        h.fields.size() != fallback.fields.size())
      return fallback;
    return h;
  } catch (const EDBEngineError&) {
    return fallback;
  }
}

}  // namespace engine
