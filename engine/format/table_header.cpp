#include "format/table_header.h"

#include <algorithm>

#include "format/index_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"

namespace engine {

using coding::GetU16;
using coding::GetU32;
using coding::PutU16;
using coding::PutU32;

namespace {

constexpr size_t kLevel35Trailer = 6;  // zero bytes after the field names of a version-4 DB

bool IsValidBlockCode(uint8_t code) {
  return code == 1 || code == 2 || code == 3 || code == 4 || code == 16 || code == 32;
}

bool IsValidFieldType(uint8_t t) {
  switch (static_cast<PxType>(t)) {
    case PxType::Alpha: case PxType::Date: case PxType::Short: case PxType::Long:
    case PxType::Money: case PxType::Number: case PxType::Logical: case PxType::Memo:
    case PxType::Blob: case PxType::FmtMemo: case PxType::Ole: case PxType::Graphic:
    case PxType::Time: case PxType::Timestamp: case PxType::AutoInc: case PxType::Bcd:
    case PxType::Bytes:
      return true;
  }
  return false;
}

// Sequential reader over the variable part that refuses to run past the available bytes.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size, size_t pos, const std::string& path)
      : data_(data), size_(size), pos_(pos), path_(path) {}
  const uint8_t* Take(size_t n) {
    if (pos_ + n > size_) Fail(kErrCorrupt, path_, "Der Tabellenkopf ist unvollständig.");
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  std::string TakeCString(size_t limit) {
    std::string s;
    while (true) {
      const uint8_t c = *Take(1);
      if (c == 0) break;
      if (s.size() >= limit) Fail(kErrCorrupt, path_, "Ein Name im Tabellenkopf ist zu lang.");
      s.push_back(static_cast<char>(c));
    }
    return s;
  }
  size_t Pos() const { return pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_;
  const std::string& path_;
};

std::string FixedString(const uint8_t* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

bool HasNames(const TableHeader& h) { return !h.IsIndexTree(); }

}  // namespace

bool IsIndexTreeType(uint8_t fileType) {
  return fileType == static_cast<uint8_t>(FileType::PrimaryIndex) ||
         fileType == static_cast<uint8_t>(FileType::SecondaryTree) ||
         fileType == static_cast<uint8_t>(FileType::CompositeTree);
}

bool HasHeaderExtension(uint8_t fileType, uint8_t fileVersionId) {
  return !IsIndexTreeType(fileType) && fileVersionId >= 5;
}

bool TableHeader::IsSecondaryData() const {
  return fileType == static_cast<uint8_t>(FileType::NonMaintainedX) ||
         fileType == static_cast<uint8_t>(FileType::MaintainedX) ||
         fileType == static_cast<uint8_t>(FileType::NonMaintainedXG) ||
         fileType == static_cast<uint8_t>(FileType::MaintainedXG);
}

int TableHeader::Level() const {
  if (fileVersionId <= 4) return 3;
  if (fileVersionId <= 9) return 4;
  if (fileVersionId <= 11) return 5;
  return 7;
}

bool TableHeader::Encrypted() const {
  if (HasExtension()) return encryption1 == hdr::kExtensionMark && encryption2 != 0;
  return encryption1 != 0;
}

uint32_t TableHeader::StoredKey() const {
  if (!Encrypted()) return 0;
  return HasExtension() ? encryption2 : encryption1;
}

size_t TableHeader::KeyBytes() const {
  size_t n = 0;
  for (size_t i = 0; i < primaryKeyFields && i < fields.size(); ++i) n += fields[i].RecordBytes();
  return n;
}

uint8_t FileVersionForLevel(int level) {
  switch (level) {
    case 3: return 4;
    case 4: return 9;
    case 5: return 11;
    default: return 12;
  }
}

TableHeader DecodeTableHeader(const uint8_t* d, size_t size, const std::string& path) {
  if (size < hdr::kFixedPartEnd) Fail(kErrNotATable, path, "Die Datei ist zu kurz für eine Paradox-Tabelle.");
  TableHeader h;
  h.recordSize = GetU16(d + hdr::kRecordSize);
  h.headerSize = GetU16(d + hdr::kHeaderSize);
  h.fileType = d[hdr::kFileType];
  h.blockSizeKiB = d[hdr::kBlockSizeKiB];
  h.numRecords = GetU32(d + hdr::kNumRecords);
  h.usedBlocks = GetU16(d + hdr::kUsedBlocks);
  h.fileBlocks = GetU16(d + hdr::kFileBlocks);
  h.firstBlock = GetU16(d + hdr::kFirstBlock);
  h.lastBlock = GetU16(d + hdr::kLastBlock);
  h.unknown12 = GetU16(d + hdr::kUnknown12);
  h.modifiedFlags1 = d[hdr::kModifiedFlags1];
  h.indexFieldNumber = d[hdr::kIndexFieldNumber];
  h.primaryIndexWorkspace = GetU32(d + hdr::kPrimaryIndexWorkspace);
  h.unknownPtr1A = GetU32(d + hdr::kUnknownPtr1A);
  h.indexRoot = GetU16(d + hdr::kIndexRoot);
  h.numIndexLevels = d[hdr::kNumIndexLevels];
  const uint16_t numFields = GetU16(d + hdr::kNumFields);
  h.primaryKeyFields = GetU16(d + hdr::kPrimaryKeyFields);
  h.encryption1 = GetU32(d + hdr::kEncryption1);
  h.sortOrder = d[hdr::kSortOrder];
  h.modifiedFlags2 = d[hdr::kModifiedFlags2];
  h.stamp2C = d[hdr::kStamp2C];
  h.changeCount1 = d[hdr::kChangeCount1];
  h.changeCount2 = d[hdr::kChangeCount2];
  h.stamp2F = d[hdr::kStamp2F];
  h.writeProtected = d[hdr::kWriteProtected];
  h.fileVersionId = d[hdr::kFileVersionId];
  h.maxBlocks = GetU16(d + hdr::kMaxBlocks);
  h.auxPasswords = d[hdr::kAuxPasswords];
  h.unknown3E[0] = d[hdr::kUnknown3E];
  h.unknown3E[1] = d[hdr::kUnknown3E + 1];
  h.cryptInfoStart = GetU32(d + hdr::kCryptInfoStart);
  h.cryptInfoEnd = GetU32(d + hdr::kCryptInfoEnd);
  h.autoInc = GetU32(d + hdr::kAutoInc);
  h.firstFreeBlock = GetU16(d + hdr::kFirstFreeBlock);
  h.realHeaderSize = GetU16(d + hdr::kRealHeaderSize);
  h.indexFlags = d[hdr::kIndexFlags];
  h.unknown56 = d[hdr::kUnknown56];

  if (h.fileType > static_cast<uint8_t>(FileType::MaintainedXG))
    Fail(kErrNotATable, path, "Unbekannter Dateityp " + std::to_string(h.fileType) + " im Tabellenkopf.");
  if (h.fileVersionId < 3 || h.fileVersionId > 12)
    Fail(kErrNotATable, path, "Unbekannte Dateiversion " + std::to_string(h.fileVersionId) + ".");
  if (!IsValidBlockCode(h.blockSizeKiB))
    Fail(kErrNotATable, path, "Ungültige Blockgröße " + std::to_string(h.blockSizeKiB) + " KB.");
  if (h.recordSize == 0) Fail(kErrNotATable, path, "Die Datensatzlänge ist 0.");
  if (h.headerSize < hdr::kFixedPartEnd)
    Fail(kErrNotATable, path, "Die Kopflänge " + std::to_string(h.headerSize) + " ist ungültig.");
  if (numFields == 0 || numFields > 255)
    Fail(kErrNotATable, path, "Ungültige Feldanzahl " + std::to_string(numFields) + ".");
  if (h.primaryKeyFields > numFields && !h.IsSecondaryData())
    Fail(kErrCorrupt, path, "Mehr Schlüsselfelder als Felder im Tabellenkopf.");

  const size_t avail = std::min<size_t>(size, h.headerSize);
  if (h.HasExtension()) {
    if (avail < hdr::kExtensionEnd) Fail(kErrCorrupt, path, "Der Tabellenkopf ist unvollständig.");
    h.encryption2 = GetU32(d + hdr::kEncryption2);
    h.fileUpdateTime = GetU32(d + hdr::kFileUpdateTime);
    h.hiFieldId = GetU16(d + hdr::kHiFieldId);
    h.codePage = GetU16(d + hdr::kCodePage);
    h.unknown6C = d[hdr::kUnknown6C];
    h.unknown6D = d[hdr::kUnknown6D];
    h.changeCount4 = GetU16(d + hdr::kChangeCount4);
  }

  Cursor c(d, avail, h.DataStart(), path);
  h.fields.resize(numFields);
  size_t recordBytes = 0;
  for (size_t i = 0; i < h.fields.size(); ++i) {
    FieldInfo& f = h.fields[i];
    const uint8_t* p = c.Take(hdr::kFieldDescBytes);
    const uint8_t type = p[hdr::kFieldDescType];
    if (!IsValidFieldType(type))
      Fail(kErrNotATable, path, "Unbekannter Feldtyp " + std::to_string(type) + " im Tabellenkopf.");
    f.type = static_cast<PxType>(type);
    f.size = p[hdr::kFieldDescSize];
    if (!SizeByteAllowed(f.type, f.size))
      Fail(kErrCorrupt, path, "Feld " + std::to_string(i + 1) + " vom Typ " + PxTypeLetter(f.type) +
                                  " hat im Tabellenkopf die ungültige Größe " + std::to_string(f.size) + ".");
    recordBytes += f.RecordBytes();
  }
  // Index trees end each record in three shorts; every other file is just its fields.
  const size_t expected = h.IsIndexTree() ? recordBytes + idx::kTrailerBytes : recordBytes;
  if (expected != h.recordSize)
    Fail(kErrCorrupt, path, "Die Datensatzlänge im Kopf (" + std::to_string(h.recordSize) +
                                ") passt nicht zu den Feldern (" + std::to_string(expected) + ").");
  c.Take(hdr::kPointerBytes);  // table name pointer (run-time value)
  if (HasNames(h)) c.Take(hdr::kPointerBytes * static_cast<size_t>(numFields));  // field name pointers
  h.tableName = FixedString(c.Take(h.TableNameArea()), h.TableNameArea());
  if (!HasNames(h)) return h;
  for (auto& f : h.fields) f.name = c.TakeCString(255);
  if (!h.HasExtension()) {
    for (size_t i = 0; i < h.fields.size(); ++i) h.fields[i].number = static_cast<uint16_t>(i + 1);
    return h;
  }
  for (auto& f : h.fields) f.number = GetU16(c.Take(hdr::kFieldNumberBytes));
  h.sortOrderId = c.TakeCString(64);
  const uint16_t indexNameOffset = GetU16(d + hdr::kIndexNameOffset);
  if (h.IsSecondaryData() && indexNameOffset != 0) {
    Cursor n(d, avail, hdr::kFixedPartEnd + indexNameOffset, path);
    h.indexName = n.TakeCString(255);
  }
  return h;
}

std::vector<uint8_t> EncodeTableHeader(TableHeader h) {
  const size_t n = h.fields.size();
  const size_t dataStart = h.DataStart();
  // Lay out the variable part first so that the fixed part can point into it.
  std::vector<uint8_t> var;
  auto put16 = [&var](uint16_t v) { var.push_back(static_cast<uint8_t>(v)); var.push_back(static_cast<uint8_t>(v >> 8)); };
  auto put32 = [&var](uint32_t v) { for (int i = 0; i < 4; ++i) var.push_back(static_cast<uint8_t>(v >> (8 * i))); };
  for (const auto& f : h.fields) {
    uint8_t desc[hdr::kFieldDescBytes];
    desc[hdr::kFieldDescType] = static_cast<uint8_t>(f.type);
    desc[hdr::kFieldDescSize] = f.size;
    var.insert(var.end(), desc, desc + hdr::kFieldDescBytes);
  }
  const size_t tableNamePtrPos = var.size();
  put32(0);
  const size_t fieldNamePtrPos = var.size();
  if (HasNames(h))
    for (size_t i = 0; i < n; ++i) put32(0);
  const size_t tableNamePos = var.size();
  var.resize(var.size() + h.TableNameArea(), 0);
  std::copy_n(h.tableName.begin(), std::min(h.tableName.size(), h.TableNameArea() - 1),
              var.begin() + static_cast<long>(tableNamePos));
  PutU32(var.data() + tableNamePtrPos, static_cast<uint32_t>(dataStart + tableNamePos));
  size_t fieldNumbersPos = 0, sortOrderIdPos = 0, indexNamePos = 0;
  if (HasNames(h)) {
    for (size_t i = 0; i < n; ++i) {
      PutU32(var.data() + fieldNamePtrPos + hdr::kPointerBytes * i, static_cast<uint32_t>(dataStart + var.size()));
      var.insert(var.end(), h.fields[i].name.begin(), h.fields[i].name.end());
      var.push_back(0);
    }
    if (!h.HasExtension() && h.fileVersionId == 4) var.resize(var.size() + kLevel35Trailer, 0);
    if (h.HasExtension()) {
      fieldNumbersPos = var.size();
      for (const auto& f : h.fields) put16(f.number);
      sortOrderIdPos = var.size();
      var.insert(var.end(), h.sortOrderId.begin(), h.sortOrderId.end());
      var.push_back(0);
      if (h.IsSecondaryData() && !h.indexName.empty()) {
        indexNamePos = var.size();
        var.insert(var.end(), h.indexName.begin(), h.indexName.end());
        var.push_back(0);
      }
    }
  }
  const size_t used = dataStart + var.size();
  h.realHeaderSize = h.fileVersionId == 3 ? 0 : static_cast<uint16_t>(used);
  if (h.headerSize == 0) {
    if (h.fileVersionId == 3)
      h.headerSize = static_cast<uint16_t>(used);
    else
      h.headerSize = static_cast<uint16_t>(std::max<size_t>(2048, (used + 2047) / 2048 * 2048));
  }
  std::vector<uint8_t> out(std::max<size_t>(h.headerSize, used), 0);
  uint8_t* d = out.data();
  PutU16(d + hdr::kRecordSize, h.recordSize);
  PutU16(d + hdr::kHeaderSize, h.headerSize);
  d[hdr::kFileType] = h.fileType;
  d[hdr::kBlockSizeKiB] = h.blockSizeKiB;
  PutU32(d + hdr::kNumRecords, h.numRecords);
  PutU16(d + hdr::kUsedBlocks, h.usedBlocks);
  PutU16(d + hdr::kFileBlocks, h.fileBlocks);
  PutU16(d + hdr::kFirstBlock, h.firstBlock);
  PutU16(d + hdr::kLastBlock, h.lastBlock);
  PutU16(d + hdr::kUnknown12, h.unknown12);
  d[hdr::kModifiedFlags1] = h.modifiedFlags1;
  d[hdr::kIndexFieldNumber] = h.indexFieldNumber;
  PutU32(d + hdr::kPrimaryIndexWorkspace, h.primaryIndexWorkspace);
  PutU32(d + hdr::kUnknownPtr1A, h.unknownPtr1A);
  PutU16(d + hdr::kIndexRoot, h.indexRoot);
  d[hdr::kNumIndexLevels] = h.numIndexLevels;
  PutU16(d + hdr::kNumFields, static_cast<uint16_t>(n));
  PutU16(d + hdr::kPrimaryKeyFields, h.primaryKeyFields);
  PutU32(d + hdr::kEncryption1, h.encryption1);
  d[hdr::kSortOrder] = h.sortOrder;
  d[hdr::kModifiedFlags2] = h.modifiedFlags2;
  d[hdr::kStamp2C] = h.stamp2C;
  d[hdr::kChangeCount1] = h.changeCount1;
  d[hdr::kChangeCount2] = h.changeCount2;
  d[hdr::kStamp2F] = h.stamp2F;
  PutU32(d + hdr::kTableNamePtrPtr, static_cast<uint32_t>(dataStart + hdr::kFieldDescBytes * n));
  PutU32(d + hdr::kFieldInfoPtr, static_cast<uint32_t>(dataStart));
  d[hdr::kWriteProtected] = h.writeProtected;
  d[hdr::kFileVersionId] = h.fileVersionId;
  PutU16(d + hdr::kMaxBlocks, h.maxBlocks);
  d[hdr::kAuxPasswords] = h.auxPasswords;
  d[hdr::kUnknown3E] = h.unknown3E[0];
  d[hdr::kUnknown3E + 1] = h.unknown3E[1];
  PutU32(d + hdr::kCryptInfoStart, h.cryptInfoStart);
  PutU32(d + hdr::kCryptInfoEnd, h.cryptInfoEnd);
  PutU32(d + hdr::kAutoInc, h.autoInc);
  PutU16(d + hdr::kFirstFreeBlock, h.firstFreeBlock);
  PutU16(d + hdr::kRealHeaderSize, h.realHeaderSize);
  d[hdr::kIndexFlags] = h.indexFlags;
  d[hdr::kUnknown56] = h.unknown56;
  if (h.HasExtension()) {
    const uint16_t verId = static_cast<uint16_t>(0x0100 + h.fileVersionId);
    PutU16(d + hdr::kFileVerId2, verId);
    PutU16(d + hdr::kFileVerId3, verId);
    PutU32(d + hdr::kEncryption2, h.encryption2);
    PutU32(d + hdr::kFileUpdateTime, h.fileUpdateTime);
    PutU16(d + hdr::kHiFieldId, h.hiFieldId);
    PutU16(d + hdr::kFieldNumbersOffset, static_cast<uint16_t>(dataStart + fieldNumbersPos - hdr::kFixedPartEnd));
    PutU16(d + hdr::kIndexNameOffset,
           indexNamePos ? static_cast<uint16_t>(dataStart + indexNamePos - hdr::kFixedPartEnd) : 0);
    PutU16(d + hdr::kCodePage, h.codePage);
    d[hdr::kUnknown6C] = h.unknown6C;
    d[hdr::kUnknown6D] = h.unknown6D;
    PutU16(d + hdr::kSortOrderIdOffset, static_cast<uint16_t>(dataStart + sortOrderIdPos - hdr::kFixedPartEnd));
    PutU16(d + hdr::kChangeCount4, h.changeCount4);
  }
  std::copy(var.begin(), var.end(), out.begin() + static_cast<long>(dataStart));
  return out;
}

}  // namespace engine
