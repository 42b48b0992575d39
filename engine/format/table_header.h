#pragma once
// The header shared by every file of a table family: the data file (.DB), the primary index
// (.PX) and the secondary index files (.Xnn/.XGn data, .Ynn/.YGn trees). Decoded into
// TableHeader field by field and encoded back the same way; no struct is laid over the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/field_type.h"

namespace engine {

// Byte offsets of the fixed part (all file types).
namespace hdr {
constexpr size_t kRecordSize = 0x00;        // u16
constexpr size_t kHeaderSize = 0x02;        // u16, bytes before block 1
constexpr size_t kFileType = 0x04;          // u8, see FileType
constexpr size_t kBlockSizeKiB = 0x05;      // u8, block size in KiB units
constexpr size_t kNumRecords = 0x06;        // u32 (PX/Y: entries over all levels)
constexpr size_t kUsedBlocks = 0x0A;        // u16, blocks in the chain
constexpr size_t kFileBlocks = 0x0C;        // u16, blocks allocated incl. free ones
constexpr size_t kFirstBlock = 0x0E;        // u16
constexpr size_t kLastBlock = 0x10;         // u16
constexpr size_t kUnknown12 = 0x12;         // u16
constexpr size_t kModifiedFlags1 = 0x14;    // u8, nonzero = rebuild required
constexpr size_t kIndexFieldNumber = 0x15;  // u8, X: first index field (1-based)
constexpr size_t kPrimaryIndexWorkspace = 0x16;  // u32 run-time pointer, nonzero for keyed DB/X
constexpr size_t kUnknownPtr1A = 0x1A;      // u32
constexpr size_t kIndexRoot = 0x1E;         // u16, PX/Y root block
constexpr size_t kNumIndexLevels = 0x20;    // u8, PX/Y depth
constexpr size_t kNumFields = 0x21;         // u16
constexpr size_t kPrimaryKeyFields = 0x23;  // u16
constexpr size_t kEncryption1 = 0x25;       // u32
// kEncryption1 of every level-4+ DB and X file, whose key lies in kEncryption2.
constexpr uint32_t kExtensionMark = 0xFF00FF00u;
constexpr size_t kSortOrder = 0x29;         // u8, language driver byte
constexpr size_t kModifiedFlags2 = 0x2A;    // u8
constexpr size_t kStamp2C = 0x2C;           // u8, PX: DB's 0x2D; Y: X's 0x2D; X: 0xFF
constexpr size_t kChangeCount1 = 0x2D;      // u8
constexpr size_t kChangeCount2 = 0x2E;      // u8
constexpr size_t kStamp2F = 0x2F;           // u8, X of a keyed table: PX's 0x2C
constexpr size_t kTableNamePtrPtr = 0x30;   // u32 run-time pointer
constexpr size_t kFieldInfoPtr = 0x34;      // u32 run-time pointer
constexpr size_t kWriteProtected = 0x38;    // u8
constexpr size_t kFileVersionId = 0x39;     // u8, 3..12
constexpr size_t kMaxBlocks = 0x3A;         // u16
constexpr size_t kAuxPasswords = 0x3D;      // u8
constexpr size_t kUnknown3E = 0x3E;         // 2 bytes, 1F 0F in unencrypted DB/X
constexpr size_t kCryptInfoStart = 0x40;    // u32
constexpr size_t kCryptInfoEnd = 0x44;      // u32
constexpr size_t kAutoInc = 0x49;           // u32, last auto-increment value assigned
constexpr size_t kFirstFreeBlock = 0x4D;    // u16
constexpr size_t kRealHeaderSize = 0x51;    // u16
constexpr size_t kIndexFlags = 0x55;        // u8, DB: referential integrity; X: index flags
constexpr size_t kUnknown56 = 0x56;         // u8, 0x20 in level-4+ DB/X
constexpr size_t kFixedPartEnd = 0x58;
// Extension of level-4+ DB and X files.
constexpr size_t kFileVerId2 = 0x58;        // u16, 0x0100 + version
constexpr size_t kFileVerId3 = 0x5A;        // u16
constexpr size_t kEncryption2 = 0x5C;       // u32, key of an encrypted table
constexpr size_t kFileUpdateTime = 0x60;    // u32
constexpr size_t kHiFieldId = 0x64;         // u16
constexpr size_t kFieldNumbersOffset = 0x66;  // u16, offset − 0x58
constexpr size_t kIndexNameOffset = 0x68;     // u16, offset − 0x58 or 0
constexpr size_t kCodePage = 0x6A;            // u16
constexpr size_t kUnknown6C = 0x6C;           // u8
constexpr size_t kUnknown6D = 0x6D;           // u8
constexpr size_t kSortOrderIdOffset = 0x6E;   // u16, offset − 0x58
constexpr size_t kChangeCount4 = 0x70;        // u16
constexpr size_t kExtensionEnd = 0x78;
// Variable part, from DataStart(): a field descriptor per field, the table-name pointer, (DB/X)
// a name pointer per field, the table-name area, (DB/X) the field names, (level-4+ DB/X) the
// field-numbers array and the names that follow it.
constexpr size_t kFieldDescType = 0;   // u8, PxType
constexpr size_t kFieldDescSize = 1;   // u8, size byte
constexpr size_t kFieldDescBytes = 2;
constexpr size_t kPointerBytes = 4;      // run-time pointer (table name, field names)
constexpr size_t kFieldNumberBytes = 2;  // u16 per field in the field-numbers array
constexpr size_t kTableNameArea = 79;    // bytes, zero-terminated; file version 12: kTableNameAreaV7
constexpr size_t kTableNameAreaV7 = 261;

static_assert(kUnknown56 + 2 == kFixedPartEnd, "the fixed part is 88 bytes");
static_assert(kChangeCount4 + 2 + 6 == kExtensionEnd, "the extension is 32 bytes");
static_assert(kFieldDescSize + 1 == kFieldDescBytes);
}  // namespace hdr

enum class FileType : uint8_t {
  KeyedDb = 0, PrimaryIndex = 1, UnkeyedDb = 2, NonMaintainedX = 3, SecondaryTree = 4,
  MaintainedX = 5, NonMaintainedXG = 6, CompositeTree = 7, MaintainedXG = 8,
};

// PX, Ynn, YGn: no names, no extension.
bool IsIndexTreeType(uint8_t fileType);
// Level-4+ DB/X layout with the extension block after the fixed part.
bool HasHeaderExtension(uint8_t fileType, uint8_t fileVersionId);

struct FieldInfo {
  PxType type = PxType::Alpha;
  uint8_t size = 0;      // size byte: record bytes, or decimal places for BCD
  std::string name;      // raw bytes in the table's code page (DB/X only)
  uint16_t number = 0;   // field-numbers entry (level-4+ DB/X); bit 0x8000 = descending
  // Bytes the field takes in a record (BCD: always 17).
  size_t RecordBytes() const { return type == PxType::Bcd ? 17 : size; }
};

struct TableHeader {
  uint16_t recordSize = 0;
  uint16_t headerSize = 0;
  uint8_t fileType = 0;
  uint8_t blockSizeKiB = 2;
  uint32_t numRecords = 0;
  uint16_t usedBlocks = 0;
  uint16_t fileBlocks = 0;
  uint16_t firstBlock = 0;
  uint16_t lastBlock = 0;
  uint16_t unknown12 = 0;
  uint8_t modifiedFlags1 = 0;
  uint8_t indexFieldNumber = 0;
  uint32_t primaryIndexWorkspace = 0;
  uint32_t unknownPtr1A = 0;
  uint16_t indexRoot = 0;
  uint8_t numIndexLevels = 0;
  uint16_t primaryKeyFields = 0;
  uint32_t encryption1 = 0;
  uint8_t sortOrder = 0;
  uint8_t modifiedFlags2 = 0;
  uint8_t stamp2C = 0;
  uint8_t changeCount1 = 0;
  uint8_t changeCount2 = 0;
  uint8_t stamp2F = 0;
  uint8_t writeProtected = 0;
  uint8_t fileVersionId = 12;
  uint16_t maxBlocks = 0;
  uint8_t auxPasswords = 0;
  uint8_t unknown3E[2] = {0, 0};
  uint32_t cryptInfoStart = 0;
  uint32_t cryptInfoEnd = 0;
  uint32_t autoInc = 0;
  uint16_t firstFreeBlock = 0;
  uint16_t realHeaderSize = 0;
  uint8_t indexFlags = 0;
  uint8_t unknown56 = 0;
  // Extension (level-4+ DB and X files).
  uint32_t encryption2 = 0;
  uint32_t fileUpdateTime = 0;
  uint16_t hiFieldId = 0;
  uint16_t codePage = 0;
  uint8_t unknown6C = 1;
  uint8_t unknown6D = 1;
  uint16_t changeCount4 = 0;

  std::vector<FieldInfo> fields;  // numFields entries
  std::string tableName;          // file name at creation
  std::string sortOrderId;        // language driver name (level-4+ DB/X)
  std::string indexName;          // .XGn index name (may be empty)

  bool IsIndexTree() const { return IsIndexTreeType(fileType); }
  bool IsSecondaryData() const;   // Xnn / XGn
  bool HasExtension() const { return HasHeaderExtension(fileType, fileVersionId); }
  size_t DataStart() const { return HasExtension() ? hdr::kExtensionEnd : hdr::kFixedPartEnd; }
  size_t TableNameArea() const { return fileVersionId >= 12 ? hdr::kTableNameAreaV7 : hdr::kTableNameArea; }
  // Table level: 3 (versions 3, 4), 4 (5..9), 5 (10, 11), 7 (12).
  int Level() const;
  bool Encrypted() const;
  // The key of a password-protected file, 0 when the file is not protected.
  uint32_t StoredKey() const;
  uint32_t BlockBytes() const { return static_cast<uint32_t>(blockSizeKiB) * 1024u; }
  uint64_t BlockOffset(uint16_t block) const {
    return headerSize + static_cast<uint64_t>(block - 1) * BlockBytes();
  }
  size_t KeyBytes() const;        // bytes of the first primaryKeyFields fields (DB)
};

// Bytes of a header that DecodeTableHeader may need; read at most this much (or the file).
constexpr size_t kMaxHeaderBytes = 0x10000;

// Decodes a header from the start of a file. size = bytes available. Raises EDBEngineError
// (kErrNotATable / kErrCorrupt) naming `path` when the bytes are not a valid header.
TableHeader DecodeTableHeader(const uint8_t* data, size_t size, const std::string& path);

// Encodes a header: the fixed part, the extension when HasExtension(), and the variable part.
// Derived values are computed here: run-time pointers, realHeaderSize, the extension's offsets,
// and headerSize when it is 0 (realHeaderSize rounded up to a multiple of 2048, at least 2048).
// The result is exactly headerSize bytes, zero-filled after the used part.
std::vector<uint8_t> EncodeTableHeader(TableHeader h);

// File version id written for a table level (3 → 4, 4 → 9, 5 → 11, 7 → 12).
uint8_t FileVersionForLevel(int level);

}  // namespace engine
