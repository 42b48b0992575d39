#include "testsupport/family_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "format/blob_block.h"
#include "format/code_page.h"
#include "format/index_block.h"
#include "format/upper_case.h"
#include "io/coding.h"
#include "io/names.h"
#include "testsupport/chain_records.h"
#include "testsupport/memory_file_system.h"

namespace testsupport {

namespace {

using engine::coding::GetU16;
using engine::coding::GetU32;

// Where each field of a table lies in its records.
std::vector<size_t> FieldOffsets(const engine::TableHeader& h) {
  std::vector<size_t> offsets;
  size_t offset = 0;
  for (const auto& f : h.fields) {
    offsets.push_back(offset);
    offset += f.RecordBytes();
  }
  return offsets;
}

// Index fields (table positions) of an index file: its first fields that are not the trailer.
std::vector<int> IndexFields(const engine::TableHeader& x, size_t trailerFields) {
  std::vector<int> fields;
  for (size_t i = 0; i + trailerFields < x.fields.size(); ++i)
    fields.push_back((x.fields[i].number & ~engine::idx::kDescendingBit) - 1);
  return fields;
}

// The value an index file must hold for a field of a record: alpha upper-cased when the index
// is case-insensitive, up to the first NUL.
std::string Expected(const engine::TableHeader& db, const engine::TableHeader& x, int field, const uint8_t* record) {
  const size_t at = FieldOffsets(db)[static_cast<size_t>(field)];
  std::string value(reinterpret_cast<const char*>(record) + at, db.fields[static_cast<size_t>(field)].RecordBytes());
  if (db.fields[static_cast<size_t>(field)].type != engine::PxType::Alpha) return value;
  value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
  if (x.indexFlags & engine::idx::kFlagCaseInsensitive) {
    const auto& upper = engine::UpperCaseTable(engine::CodePage::ForHeader(db).Number());
    for (char& c : value) c = static_cast<char>(upper[static_cast<uint8_t>(c)]);
  }
  return value;
}

// The index values of an entry, each cut like Expected's.
std::string EntryValue(const engine::TableHeader& db, int field, const std::string& entry, size_t at) {
  std::string value = entry.substr(at, db.fields[static_cast<size_t>(field)].RecordBytes());
  if (db.fields[static_cast<size_t>(field)].type == engine::PxType::Alpha && value.find('\0') != std::string::npos)
    value.resize(value.find('\0'));
  return value;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

engine::TableHeader FileHeader(MemoryFileSystem& fs, const std::string& path) {
  const std::string bytes = fs.Contents(path);
  return engine::DecodeTableHeader(Bytes(bytes), bytes.size(), path);
}

std::string PathIgnoringCase(MemoryFileSystem& fs, const std::string& path) {
  for (const std::string& p : fs.Paths())
    if (engine::EqualsIgnoringCase(p, path)) return p;
  return "";
}

int ExpectMaintainedEntries(MemoryFileSystem& fs, const std::string& db, const std::string& x) {
  const engine::TableHeader h = FileHeader(fs, db);
  const engine::TableHeader xh = FileHeader(fs, x);
  EXPECT_TRUE(xh.fileType == 5 || xh.fileType == 8) << x;
  const size_t keyBytes = h.KeyBytes();
  std::map<std::string, std::string> byKey;
  for (const std::string& r : ChainRecords(fs, db)) byKey[r.substr(0, keyBytes)] = r;
  const std::vector<int> fields = IndexFields(xh, h.primaryKeyFields + engine::idx::kMaintainedTrailerFields);
  int folded = 0;
  for (const std::string& entry : ChainRecords(fs, x)) {
    size_t at = 0;
    for (int f : fields) at += h.fields[static_cast<size_t>(f)].RecordBytes();
    const auto record = byKey.find(entry.substr(at, keyBytes));
    if (record == byKey.end()) {
      ADD_FAILURE() << x << ": an entry names no record";
      continue;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(record->second.data());
    at = 0;
    for (int f : fields) {
      const std::string want = Expected(h, xh, f, bytes);
      const std::string held = EntryValue(h, f, entry, at);
      EXPECT_EQ(held, want) << x << ", field " << f;
      if (held == want && want != EntryValue(h, f, record->second, FieldOffsets(h)[static_cast<size_t>(f)])) ++folded;
      at += h.fields[static_cast<size_t>(f)].RecordBytes();
    }
  }
  return folded;
}

void ExpectTupleEntries(MemoryFileSystem& fs, const std::string& db, const std::string& x) {
  SCOPED_TRACE(x);
  const engine::TableHeader h = FileHeader(fs, db);
  const engine::TableHeader xh = FileHeader(fs, x);
  EXPECT_TRUE(xh.fileType == 3 || xh.fileType == 6) << "kind " << int{xh.fileType};
  const std::string bytes = fs.Contents(db);
  const std::vector<std::string> chain = ChainRecords(fs, db);
  const std::vector<int> fields = IndexFields(xh, engine::idx::kTupleTrailerFields);
  size_t indexBytes = 0;
  for (int f : fields) indexBytes += h.fields[static_cast<size_t>(f)].RecordBytes();
  const std::vector<std::string> entries = ChainRecords(fs, x);
  EXPECT_EQ(entries.size(), chain.size());
  for (const std::string& entry : entries) {
    const auto* trailer = reinterpret_cast<const uint8_t*>(entry.data()) + indexBytes;
    using engine::coding::DecodeFlippedInt;
    const int64_t number = DecodeFlippedInt(trailer + engine::idx::kTupleNumber, engine::idx::kLongBytes);
    const int64_t block = DecodeFlippedInt(trailer + engine::idx::kTupleBlock, engine::idx::kShortBytes);
    const int64_t offset = DecodeFlippedInt(trailer + engine::idx::kTupleOffset, engine::idx::kShortBytes);
    ASSERT_TRUE(number >= 1 && static_cast<size_t>(number) <= chain.size()) << number;
    ASSERT_EQ(offset % h.recordSize, 0) << offset;
    const std::string atPlace = bytes.substr(h.BlockOffset(static_cast<uint16_t>(block)) + 6 + static_cast<size_t>(offset),
                                             h.recordSize);
    EXPECT_TRUE(atPlace == chain[static_cast<size_t>(number - 1)]) << "record " << number;
    size_t at = 0;
    for (int f : fields) {
      EXPECT_EQ(EntryValue(h, f, entry, at), Expected(h, xh, f, reinterpret_cast<const uint8_t*>(atPlace.data())));
      at += h.fields[static_cast<size_t>(f)].RecordBytes();
    }
  }
}

std::vector<FreeArea> ListedFreeAreas(const std::string& mb) {
  std::vector<FreeArea> areas;
  size_t at = engine::mb::kHeaderFreeList;
  for (; at + engine::mb::kFreeEntryBytes <= engine::mb::kUnit; at += engine::mb::kFreeEntryBytes) {
    const uint32_t word = GetU32(Bytes(mb) + at);
    const uint16_t count = GetU16(Bytes(mb) + at + engine::mb::kFreeEntryCount);
    if (word == 0 && count == 0) break;
    areas.emplace_back(word & ~engine::mb::kRefIndexMask, word & engine::mb::kRefIndexMask, count);
  }
  EXPECT_TRUE(std::all_of(mb.begin() + static_cast<long>(at), mb.begin() + engine::mb::kUnit,
                          [](char c) { return c == 0; }))
      << "bytes after the free-space list";
  return areas;
}

std::vector<FreeArea> WalkedFreeAreas(const std::string& mb) {
  using namespace engine::mb;
  std::vector<FreeArea> areas;
  for (size_t offset = kUnit; offset + kBlockHeadBytes <= mb.size();) {
    const uint16_t units = GetU16(Bytes(mb) + offset + kBlockUnits);
    if (units == 0) break;
    if (mb[offset] == kTypeFree) areas.emplace_back(offset, kFreeKindRun, units);
    if (mb[offset] == kTypeSubAllocated) {
      unsigned used = 0;
      for (int s = 0; s < kSlotCount; ++s)
        if (mb[offset + kSlotTable + kSlotSize * static_cast<size_t>(s) + kSlotChunk] != 0)
          used += static_cast<uint8_t>(mb[offset + kSlotTable + kSlotSize * static_cast<size_t>(s) + kSlotChunks]);
      const unsigned free = kChunksPerBlock - kFirstDataChunk - used;
      if (free > 0) areas.emplace_back(offset, kFreeKindSubAllocated, free);
    }
    offset += size_t{units} * kUnit;
  }
  return areas;
}

void ExpectExactFreeList(MemoryFileSystem& fs, const std::string& mbPath) {
  const std::string mb = fs.Contents(mbPath);
  EXPECT_EQ(ListedFreeAreas(mb), WalkedFreeAreas(mb)) << mbPath;
  EXPECT_EQ(mb.size() % engine::mb::kUnit, 0u) << mbPath;
}

}  // namespace testsupport
