#pragma once
// The structure of a table family as the writing side needs it: fields, key, secondary indexes,
// level, block size and language driver. Made from the component's field and index definitions
// (new tables) or read from an existing table (copy, restructure, posts), checked against what
// the format can hold, and turned into the headers of the family's files.

#include <cstdint>
#include <string>
#include <vector>

#include "format/table_header.h"

namespace engine {

// A secondary index: what it orders by and how, and the file that holds it.
struct SecondaryDef {
  std::string name;               // UTF-8; a .Xnn index carries its field's name
  std::vector<int> fields;        // positions of the index fields in the table (from 0)
  std::vector<bool> descending;   // per index field
  bool caseInsensitive = false;
  bool unique = false;
  // Kept as a non-maintained index (file type 3 or 6) although the table has a key: its records
  // lead back to the table's by record number and place, as those of a table without key do.
  bool nonMaintained = false;
  std::string extension;          // "X02", "XG0", ...; set by AssignIndexFiles
  // A .Xnn index: one ascending, case-sensitive field, named like that field, not unique.
  bool SingleFieldFile(const std::vector<FieldInfo>& fields, const std::string& fieldNameUtf8) const;
};

struct TableDefinition {
  std::vector<FieldInfo> fields;  // names as code-page bytes; number = position + 1
  std::vector<bool> required;     // per field
  int keyFields = 0;              // the first keyFields fields form the primary key
  std::vector<SecondaryDef> indexes;
  int level = 4;                  // 3, 4, 5 or 7
  uint8_t blockSizeKiB = 2;
  uint8_t sortOrder = 0;          // language driver byte
  std::string sortOrderId = "ascii";
  uint16_t codePage = 437;
  uint32_t autoInc = 0;           // last auto-increment value assigned
  // Referential-integrity marks of the data file's header: 0x55 (2 in a table others refer to)
  // and 0x6C (2 in a table that refers to another). They belong with the .VAL that holds the
  // relation, so a new table starts without them.
  uint8_t integrityParent = 0;
  uint8_t integrityChild = 1;

  uint16_t RecordSize() const;
  size_t KeyBytes() const;
  bool HasBlobs() const;
};

// Whether the index is maintained (file type 5 or 8): the table has a key and the index was not
// kept non-maintained.
bool IsMaintained(const TableDefinition& def, const SecondaryDef& index);

// Lowest level that holds the field types and indexes of the definition (at least 4).
int LowestLevel(const TableDefinition& def);

// Raises EDBEngineError (kErrUnsupported / kErrInvalidParam) with a German message naming
// `path` when the format cannot hold the definition at its level and block size.
void CheckDefinition(const TableDefinition& def, const std::string& path);

// Smallest block size (KiB code) from 2 KiB up that holds the records: one per block without
// key, three with key; 0 when none does at the level.
uint8_t DefaultBlockSize(const TableDefinition& def);

// Chooses the file extension of every secondary index (.Xnn for single-field plain indexes,
// .XG0, .XG1, ... for the others); raises when there are more than 16 of the latter.
void AssignIndexFiles(TableDefinition& def, const std::string& path);

// Headers of the family's files (no blocks yet; counters, stamps and dates set for a fresh
// family). `fileName` is the file's own name ("KUNDEN.DB", "KUNDEN.PX", "KUNDEN.XG0").
TableHeader DataHeader(const TableDefinition& def, const std::string& fileName);
TableHeader PrimaryIndexHeader(const TableDefinition& def, const std::string& fileName);
TableHeader SecondaryDataHeader(const TableDefinition& def, const SecondaryDef& index,
                                const std::string& fileName);
TableHeader SecondaryTreeHeader(const TableDefinition& def, const TableHeader& secondaryData,
                                const std::string& fileName);

// Block size (KiB code) of a PX or Y file with records of `recordSize`: 2 KiB, more only when
// three records would not fit.
uint8_t TreeBlockSize(uint16_t recordSize, int level);

}  // namespace engine
