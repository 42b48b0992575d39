#include "storage/blob_file.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "format/blob_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "storage/chain_window.h"

namespace engine {

using namespace mb;

namespace {

using coding::GetU16;
using coding::GetU32;
using coding::PutU16;
using coding::PutU32;

size_t SlotOffset(int slot) { return kSlotTable + kSlotSize * static_cast<size_t>(slot); }

[[noreturn]] void Damaged(const std::string& path, const std::string& cause) {
  Fail(kErrBlobMissing, path, cause);
}

std::string Num(uint64_t v) { return std::to_string(v); }

// Data end (in chunks) of a sub-allocated block, the chunks its values use, and whether it has
// a free slot.
struct SubBlockUse {
  unsigned endChunk = kFirstDataChunk;
  unsigned usedChunks = 0;
  bool freeSlot = false;
};

// Use of the sub-allocated block at `offset` of the file `path`. Raises EDBEngineError naming
// the block and the slot when a used slot's data does not lie wholly in the block's data area.
SubBlockUse UseOf(const uint8_t* block, const std::string& path, uint64_t offset) {
  SubBlockUse use;
  for (int s = 0; s < kSlotCount; ++s) {
    const uint8_t* slot = block + SlotOffset(s);
    const unsigned chunk = slot[kSlotChunk];
    if (chunk == 0) {
      use.freeSlot = true;
      continue;
    }
    const unsigned chunks = slot[kSlotChunks];
    const unsigned lastLen = slot[kSlotLastLen];
    if (chunk < kFirstDataChunk || chunks == 0 || chunk + chunks > kChunksPerBlock || lastLen == 0 ||
        lastLen > kChunk)
      Damaged(path, "Der BLOb-Platz " + Num(static_cast<unsigned>(s)) + " im Block am Offset " +
                        Num(offset) + " reicht über seinen Block hinaus oder ist beschädigt.");
    use.endChunk = std::max(use.endChunk, chunk + chunks);
    use.usedChunks += chunks;
  }
  return use;
}

}  // namespace

struct BlobFile::Space {
  uint64_t end = kUnit;                       // file end, a multiple of 4 KiB
  std::map<uint64_t, uint16_t> freeRuns;      // offset -> length in units (type 4)
  std::map<uint64_t, unsigned> roomOf;        // sub-allocated block -> free chunks after its data
  std::set<std::pair<unsigned, uint64_t>> byRoom;  // (free chunks, block) for best fit
  std::map<uint64_t, unsigned> unusedOf;      // sub-allocated block -> all its free chunks
  std::vector<uint8_t> listed;                // the header's free-space list as last written

  // Records the use of the sub-allocated block at `block`; nullptr: the block is no longer one.
  void SetUse(uint64_t block, const SubBlockUse* use) {
    auto it = roomOf.find(block);
    if (it != roomOf.end()) {
      byRoom.erase({it->second, block});
      roomOf.erase(it);
    }
    unusedOf.erase(block);
    if (use) AddUse(block, *use);
  }

  // Records the use of the sub-allocated block at `block`, which is not recorded yet; a block
  // past every one recorded (as a scan in file order finds them) goes in without a search.
  void AddUse(uint64_t block, const SubBlockUse& use) {
    const unsigned room = kChunksPerBlock - use.endChunk;
    if (use.freeSlot && room > 0) {
      roomOf.emplace_hint(roomOf.end(), block, room);
      byRoom.insert({room, block});
    }
    const unsigned unused = kChunksPerBlock - kFirstDataChunk - use.usedChunks;
    if (unused > 0) unusedOf.emplace_hint(unusedOf.end(), block, unused);
  }
};

BlobFile::BlobFile(std::unique_ptr<File> file, BlobNumbering numbering)
    : file_(std::move(file)), numbering_(numbering) {}
BlobFile::~BlobFile() = default;

const std::string& BlobFile::Path() const { return file_->Path(); }

const File& BlobFile::Stored() const { return *file_; }

std::unique_ptr<BlobFile> BlobFile::Open(FileSystem& fs, const std::string& path, bool writable) {
  if (!fs.Exists(path)) Damaged(path, "Die Memo-/BLOb-Datei fehlt.");
  std::unique_ptr<File> file = fs.Open(path, writable ? OpenMode::ReadWrite : OpenMode::ReadOnly);
  uint8_t head[kHeaderMinBytes] = {};
  const size_t got = file->ReadAt(0, head, sizeof head);
  if (got < sizeof head || head[kBlockType] != kTypeHeader || GetU16(head + kBlockUnits) != kHeaderUnits)
    Damaged(path, "Die Datei hat keinen gültigen Kopf einer Memo-/BLOb-Datei.");
  return std::unique_ptr<BlobFile>(new BlobFile(std::move(file), BlobNumbering::Counting));
}

std::unique_ptr<BlobFile> BlobFile::Create(FileSystem& fs, const std::string& path, BlobNumbering numbering) {
  std::unique_ptr<File> file = fs.Open(path, OpenMode::CreateTruncate);
  std::vector<uint8_t> head(kUnit, 0);
  head[kBlockType] = kTypeHeader;
  PutU16(&head[kBlockUnits], kHeaderUnits);
  PutU16(&head[kHeaderModCounter], 1);
  std::copy(kHeaderConstant1Value, kHeaderConstant1Value + kHeaderConstant1Bytes, head.begin() + kHeaderConstant1);
  PutU16(&head[kHeaderBaseSize], kUnit);
  PutU16(&head[kHeaderSubSize], kUnit);
  head[kHeaderChunkSize] = kChunk;
  PutU16(&head[kHeaderSlotsPerBlock], kSlotCount);
  PutU16(&head[kHeaderThreshold], kSmallLimit);
  PutU16(&head[kHeaderConstant2], kHeaderConstant2Value);
  file->WriteAt(0, head.data(), head.size());
  return std::unique_ptr<BlobFile>(new BlobFile(std::move(file), numbering));
}

uint32_t BlobFile::StoredLength(const uint8_t* field, size_t fieldSize) {
  if (fieldSize < kDescriptorSize) return 0;
  return GetU32(field + fieldSize - kDescriptorSize + kDescLength);
}

void BlobFile::EndLeaderValue(uint8_t* field, size_t fieldSize, uint32_t length) {
  std::fill(field + length, field + fieldSize, uint8_t{0});
  PutU32(field + LeaderBytes(fieldSize) + kDescLength, length);
}

bool BlobFile::InLeader(const uint8_t* field, size_t fieldSize) {
  return StoredLength(field, fieldSize) <= LeaderBytes(fieldSize);
}

bool BlobFile::ReadFromLeader(const uint8_t* field, size_t fieldSize, std::string* content) {
  if (!InLeader(field, fieldSize)) return false;
  content->assign(reinterpret_cast<const char*>(field), StoredLength(field, fieldSize));
  return true;
}

std::string BlobFile::Read(const uint8_t* field, size_t fieldSize) const { return Locate(field, fieldSize, true); }

void BlobFile::Check(const uint8_t* field, size_t fieldSize) const { Locate(field, fieldSize, false); }

std::string BlobFile::Locate(const uint8_t* field, size_t fieldSize, bool withContent) const {
  std::string content;
  if (ReadFromLeader(field, fieldSize, &content)) return content;
  const std::string& path = Path();
  const uint8_t* desc = field + fieldSize - kDescriptorSize;
  const uint32_t ref = GetU32(desc + kDescRef);
  const uint32_t length = GetU32(desc + kDescLength);
  const uint64_t offset = ref & ~kRefIndexMask;
  const unsigned index = ref & kRefIndexMask;
  // The entry's first unit in one read: its head, and most values whole. A read that comes
  // back short ends at the end of the file.
  uint8_t block[kUnit] = {};
  const size_t got = offset < kUnit || offset % kUnit != 0 ? 0 : file_->ReadAt(offset, block, kUnit);
  if (got == 0)
    Damaged(path, "Der BLOb-Verweis zeigt auf Offset " + Num(offset) +
                      ", der nicht auf einen Block der Datei fällt.");
  const uint8_t type = block[0];
  if (type == kTypeSingle) {
    if (index != kRefSingle || got < kSingleData)
      Damaged(path, "Der BLOb-Verweis auf Offset " + Num(offset) + " ist ungültig.");
    const uint32_t stored = GetU32(block + kSingleLength);
    const uint64_t units = GetU16(block + kBlockUnits);
    if (stored != length || units * kUnit < uint64_t{length} + kSingleData)
      Damaged(path, "Die BLOb-Länge am Offset " + Num(offset) + " (" + Num(stored) +
                        " Bytes) passt nicht zur Länge im Datensatz (" + Num(length) + " Bytes).");
    const uint64_t end = offset + kSingleData + length;
    const bool inUnit = end <= offset + got;
    if (!inUnit && (got < kUnit || end > file_->Size()))
      Damaged(path, "Der BLOb am Offset " + Num(offset) + " reicht über das Dateiende hinaus.");
    if (!withContent) return content;
    if (inUnit) {
      content.assign(reinterpret_cast<const char*>(block) + kSingleData, length);
      return content;
    }
    content.resize(length);
    if (file_->ReadAt(offset + kSingleData, content.data(), length) < length)
      Damaged(path, "Der BLOb am Offset " + Num(offset) + " konnte nicht ganz gelesen werden.");
    return content;
  }
  if (type == kTypeSubAllocated) {
    if (index >= static_cast<unsigned>(kSlotCount))
      Damaged(path, "Der BLOb-Verweis auf Offset " + Num(offset) + " nennt den ungültigen Platz " +
                        Num(index) + ".");
    const uint8_t* slot = block + SlotOffset(static_cast<int>(index));
    const unsigned chunk = slot[kSlotChunk];
    const unsigned chunks = slot[kSlotChunks];
    const unsigned lastLen = slot[kSlotLastLen];
    if (chunk < kFirstDataChunk || chunks == 0 || lastLen == 0 || lastLen > kChunk ||
        chunk + chunks > kChunksPerBlock)
      Damaged(path, "Der BLOb-Platz " + Num(index) + " im Block am Offset " + Num(offset) +
                        " ist frei oder beschädigt.");
    const uint32_t stored = (chunks - 1) * kChunk + lastLen;
    if (stored != length)
      Damaged(path, "Die BLOb-Länge am Offset " + Num(offset) + " (" + Num(stored) +
                        " Bytes) passt nicht zur Länge im Datensatz (" + Num(length) + " Bytes).");
    if (size_t{chunk} * kChunk + length > got)
      Damaged(path, "Der BLOb am Offset " + Num(offset) + " reicht über das Dateiende hinaus.");
    content.assign(reinterpret_cast<const char*>(block) + size_t{chunk} * kChunk, length);
    return content;
  }
  Damaged(path, "Am Offset " + Num(offset) + " liegt kein BLOb-Block (Blocktyp " + Num(type) + ").");
}

BlobFile::Space& BlobFile::WritableSpace() {
  if (space_) return *space_;
  if (spaceAhead_.valid()) {
    try {
      space_ = spaceAhead_.get();
      return *space_;
    } catch (...) {
      // Read again below, which raises what is wrong with the file.
    }
  }
  space_ = ScanSpace(*file_, Path());
  return *space_;
}

void BlobFile::ReadSpaceAhead(std::unique_ptr<File> copy) {
  spaceAhead_ = std::async(std::launch::async, [file = std::move(copy), path = Path()] {
    return ScanSpace(*file, path);
  });
}

std::unique_ptr<BlobFile::Space> BlobFile::ScanSpace(const File& file, const std::string& path) {
  auto space = std::make_unique<Space>();
  const uint64_t size = file.Size();
  const uint64_t wholeUnits = (size + kUnit - 1) / kUnit * kUnit;
  uint64_t offset = kUnit;
  // The blocks lie one after the other: read in large pieces, or in place from a large file
  // (no fresh memory to fill for it).
  ChainWindow window(file, size, kUnit, ChainWindow::Reading::kInPlaceWhenLarge);
  while (offset + kBlockHeadBytes <= size) {
    const uint8_t* head = window.At(offset, kBlockHeadBytes);
    const uint16_t units = GetU16(head + kBlockUnits);
    if (units == 0 || offset + uint64_t{units} * kUnit > wholeUnits) break;
    if (head[kBlockType] == kTypeFree) {
      space->freeRuns[offset] = units;
    } else if (head[kBlockType] == kTypeSubAllocated) {
      const uint8_t* block = window.At(offset, kUnit);
      space->AddUse(offset, UseOf(block, path, offset));
    }
    offset += units * kUnit;
  }
  // Past a damaged block length nothing is reused; new blocks go behind everything.
  space->end = wholeUnits;
  // Whatever list the header holds is unknown here: the first list written covers its whole
  // area (a content no list can equal).
  space->listed.assign(kUnit - kHeaderFreeList, 0xFF);
  return space;
}

void BlobFile::WriteFreeList() {
  Space& space = WritableSpace();
  std::vector<uint8_t> list;
  auto sub = space.unusedOf.begin();
  auto run = space.freeRuns.begin();
  while ((sub != space.unusedOf.end() || run != space.freeRuns.end()) &&
         list.size() < kFreeListEntries * kFreeEntryBytes) {
    const bool takeSub = run == space.freeRuns.end() || (sub != space.unusedOf.end() && sub->first < run->first);
    uint8_t entry[kFreeEntryBytes] = {};
    if (takeSub) {
      PutU32(entry, static_cast<uint32_t>(sub->first) | kFreeKindSubAllocated);
      PutU16(entry + kFreeEntryCount, static_cast<uint16_t>(sub->second));
      ++sub;
    } else {
      PutU32(entry, static_cast<uint32_t>(run->first) | kFreeKindRun);
      PutU16(entry + kFreeEntryCount, run->second);
      ++run;
    }
    list.insert(list.end(), entry, entry + kFreeEntryBytes);
  }
  if (list == space.listed) return;
  // Zeros over what the list written before held beyond the new one.
  std::vector<uint8_t> bytes = list;
  bytes.resize(std::max(list.size(), space.listed.size()), 0);
  file_->WriteAt(kHeaderFreeList, bytes.data(), bytes.size());
  space.listed = std::move(list);
}

uint16_t BlobFile::NextModificationNumber() {
  if (numbering_ == BlobNumbering::AllOne) return 1;
  uint8_t raw[2] = {};
  file_->ReadAt(kHeaderModCounter, raw, 2);
  uint16_t mod = static_cast<uint16_t>(GetU16(raw) + 1);
  if (mod == 0) mod = 1;
  PutU16(raw, mod);
  file_->WriteAt(kHeaderModCounter, raw, 2);
  return mod;
}

uint64_t BlobFile::AllocateRun(uint16_t units) {
  Space& space = WritableSpace();
  for (auto it = space.freeRuns.begin(); it != space.freeRuns.end(); ++it) {
    if (it->second < units) continue;
    const uint64_t offset = it->first;
    const uint16_t rest = static_cast<uint16_t>(it->second - units);
    space.freeRuns.erase(it);
    if (rest > 0) {
      const uint64_t tail = offset + uint64_t{units} * kUnit;
      uint8_t head[kBlockHeadBytes] = {kTypeFree, 0, 0};
      PutU16(head + kBlockUnits, rest);
      file_->WriteAt(tail, head, kBlockHeadBytes);
      space.freeRuns[tail] = rest;
    }
    return offset;
  }
  const uint64_t offset = space.end;
  space.end += uint64_t{units} * kUnit;
  return offset;
}

void BlobFile::ReleaseRun(uint64_t offset, uint16_t units) {
  Space& space = WritableSpace();
  uint64_t start = offset;
  uint64_t length = units;
  auto next = space.freeRuns.find(offset + uint64_t{units} * kUnit);
  if (next != space.freeRuns.end() && length + next->second <= 0xFFFF) {
    length += next->second;
    space.freeRuns.erase(next);
  }
  auto after = space.freeRuns.lower_bound(offset);
  if (after != space.freeRuns.begin()) {
    auto prev = std::prev(after);
    if (prev->first + uint64_t{prev->second} * kUnit == offset && prev->second + length <= 0xFFFF) {
      start = prev->first;
      length += prev->second;
      space.freeRuns.erase(prev);
    }
  }
  if (start + length * kUnit >= space.end) {
    space.end = start;
    file_->Truncate(start);
    return;
  }
  uint8_t head[kBlockHeadBytes] = {kTypeFree, 0, 0};
  PutU16(head + kBlockUnits, static_cast<uint16_t>(length));
  file_->WriteAt(start, head, kBlockHeadBytes);
  space.freeRuns[start] = static_cast<uint16_t>(length);
}

uint64_t BlobFile::WriteSmall(const std::string& content, uint16_t mod) {
  Space& space = WritableSpace();
  const unsigned chunks = static_cast<unsigned>((content.size() + kChunk - 1) / kChunk);
  uint8_t block[kUnit] = {};
  uint64_t offset = 0;
  auto fit = space.byRoom.lower_bound({chunks, 0});
  if (fit != space.byRoom.end() && fit->second == pendingOffset_) {
    offset = pendingOffset_;
    std::copy(pendingBlock_.begin(), pendingBlock_.end(), block);
  } else if (fit != space.byRoom.end()) {
    offset = fit->second;
    WritePendingBlock();
    file_->ReadAt(offset, block, kUnit);
  } else {
    WritePendingBlock();
    offset = AllocateRun(kSubAllocatedUnits);
    block[kBlockType] = kTypeSubAllocated;
    PutU16(block + kBlockUnits, kSubAllocatedUnits);
  }
  const SubBlockUse use = UseOf(block, Path(), offset);
  int slot = kSlotCount - 1;
  while (block[SlotOffset(slot) + kSlotChunk] != 0) --slot;
  const unsigned chunk = use.endChunk;
  std::copy(content.begin(), content.end(), block + size_t{chunk} * kChunk);
  std::fill(block + size_t{chunk} * kChunk + content.size(), block + size_t{chunk + chunks} * kChunk,
            uint8_t{0});
  uint8_t* entry = block + SlotOffset(slot);
  entry[kSlotChunk] = static_cast<uint8_t>(chunk);
  entry[kSlotChunks] = static_cast<uint8_t>(chunks);
  PutU16(entry + kSlotMod, mod);
  entry[kSlotLastLen] = static_cast<uint8_t>(content.size() - (chunks - 1) * kChunk);
  if (numbering_ == BlobNumbering::AllOne) {
    // The next small value most likely goes into the same block: it is written when another
    // block is taken, or on Sync.
    pendingBlock_.assign(block, block + kUnit);
    pendingOffset_ = offset;
  } else {
    file_->WriteAt(offset, block, kUnit);
  }
  const SubBlockUse after = UseOf(block, Path(), offset);
  space.SetUse(offset, &after);
  return offset | static_cast<uint64_t>(slot);
}

void BlobFile::Write(const std::string& content, PxType type, uint8_t* field, size_t fieldSize) {
  if (fieldSize < kDescriptorSize)
    Fail(kErrInvalidParam, Path(), "Das BLOb-Feld ist kürzer als sein Deskriptor.");
  std::fill(field, field + fieldSize, uint8_t{0});
  if (content.empty()) return;
  const size_t leader = fieldSize - kDescriptorSize;
  uint8_t* desc = field + leader;
  if (content.size() > 0xFFFFFFF0u)
    Fail(kErrInvalidValue, Path(), "Der BLOb-Wert ist zu groß.");
  const uint32_t length = static_cast<uint32_t>(content.size());
  PutU32(desc + kDescLength, length);
  if (length <= leader) {
    std::copy(content.begin(), content.end(), field);
    return;
  }
  WritableSpace();  // refuses a damaged .MB before anything is written
  const uint16_t mod = NextModificationNumber();
  uint64_t ref = 0;
  if (length > kSmallLimit) {
    const uint64_t units64 = (uint64_t{length} + kSingleData + kUnit - 1) / kUnit;
    if (units64 > 0xFFFF) Fail(kErrInvalidValue, Path(), "Der BLOb-Wert ist zu groß.");
    const uint16_t units = static_cast<uint16_t>(units64);
    const uint64_t offset = AllocateRun(units);
    if (offset + units64 * kUnit > 0xFFFFFFFFull)
      Fail(kErrUnsupported, Path(), "Die Memo-/BLOb-Datei hat ihre Höchstgröße von 4 GB erreicht.");
    std::vector<uint8_t> block(units64 * kUnit, 0);
    block[kBlockType] = kTypeSingle;
    PutU16(&block[kBlockUnits], units);
    PutU32(&block[kSingleLength], length);
    PutU16(&block[kSingleMod], mod);
    std::copy(content.begin(), content.end(), block.begin() + kSingleData);
    file_->WriteAt(offset, block.data(), block.size());
    ref = offset | kRefSingle;
  } else {
    ref = WriteSmall(content, mod);
    if (ref > 0xFFFFFFFFull)
      Fail(kErrUnsupported, Path(), "Die Memo-/BLOb-Datei hat ihre Höchstgröße von 4 GB erreicht.");
  }
  // A rebuilt table's .MB is written from start to end before anyone reads it: its list is
  // written once, on Sync.
  if (numbering_ == BlobNumbering::AllOne)
    listPending_ = true;
  else
    WriteFreeList();
  PutU32(desc + kDescRef, static_cast<uint32_t>(ref));
  PutU16(desc + kDescMod, mod);
  const bool prefixed = type == PxType::Graphic || type == PxType::Ole;
  const size_t from = prefixed ? std::min(kPrefixSize, content.size()) : 0;
  const size_t copy = std::min(leader, content.size() - from);
  std::copy(content.begin() + static_cast<std::ptrdiff_t>(from),
            content.begin() + static_cast<std::ptrdiff_t>(from + copy), field);
}

void BlobFile::FreeSlot(uint64_t offset, int index, uint8_t* block) {
  uint8_t* entry = block + SlotOffset(index);
  std::fill(entry, entry + kSlotSize, uint8_t{0});
  // Compact: move the remaining values down so the free chunks lie together at the end.
  std::vector<std::pair<unsigned, int>> used;
  for (int s = 0; s < kSlotCount; ++s)
    if (block[SlotOffset(s) + kSlotChunk] != 0) used.push_back({block[SlotOffset(s) + kSlotChunk], s});
  if (used.empty()) {
    WritableSpace().SetUse(offset, nullptr);
    ReleaseRun(offset, kSubAllocatedUnits);
    return;
  }
  std::sort(used.begin(), used.end());
  unsigned next = kFirstDataChunk;
  for (const auto& [chunk, s] : used) {
    uint8_t* e = block + SlotOffset(s);
    const unsigned n = e[kSlotChunks];
    if (chunk != next) {
      std::copy(block + size_t{chunk} * kChunk, block + size_t{chunk + n} * kChunk,
                block + size_t{next} * kChunk);
      e[kSlotChunk] = static_cast<uint8_t>(next);
    }
    next += n;
  }
  std::fill(block + size_t{next} * kChunk, block + kUnit, uint8_t{0});
  file_->WriteAt(offset, block, kUnit);
  const SubBlockUse use = UseOf(block, Path(), offset);
  WritableSpace().SetUse(offset, &use);
}

std::optional<BlobFile::Entry> BlobFile::EntryToFree(const uint8_t* field, size_t fieldSize, uint8_t* block) const {
  if (fieldSize < kDescriptorSize) return std::nullopt;
  const uint8_t* desc = field + fieldSize - kDescriptorSize;
  const uint32_t length = GetU32(desc + kDescLength);
  if (length <= fieldSize - kDescriptorSize) return std::nullopt;
  const uint32_t ref = GetU32(desc + kDescRef);
  const uint16_t mod = GetU16(desc + kDescMod);
  const uint64_t offset = ref & ~kRefIndexMask;
  const unsigned index = ref & kRefIndexMask;
  // A reference that does not match its entry exactly (length and modification number) may
  // point at space that now belongs to another value, so it is left alone.
  const uint64_t size = file_->Size();
  if (offset < kUnit || offset % kUnit != 0 || offset >= size) return std::nullopt;
  if (index == kRefSingle) {
    uint8_t head[kSingleData] = {};
    if (file_->ReadAt(offset, head, sizeof head) < sizeof head || head[kBlockType] != kTypeSingle ||
        GetU32(head + kSingleLength) != length || GetU16(head + kSingleMod) != mod)
      return std::nullopt;
    const uint16_t units = GetU16(head + kBlockUnits);
    const uint64_t wholeUnits = (size + kUnit - 1) / kUnit * kUnit;
    if (uint64_t{units} * kUnit < uint64_t{length} + kSingleData || offset + uint64_t{units} * kUnit > wholeUnits)
      Damaged(Path(), "Der BLOb-Block am Offset " + Num(offset) + " gibt eine Länge von " + Num(units) +
                          " Einheiten an, die nicht zu seinem Wert und zur Datei passt.");
    return Entry{offset, units, -1};
  }
  if (file_->ReadAt(offset, block, kUnit) < kUnit || block[kBlockType] != kTypeSubAllocated ||
      index >= static_cast<unsigned>(kSlotCount))
    return std::nullopt;
  UseOf(block, Path(), offset);
  const uint8_t* entry = block + SlotOffset(static_cast<int>(index));
  const unsigned chunks = entry[kSlotChunks];
  if (entry[kSlotChunk] == 0 || (chunks - 1) * kChunk + entry[kSlotLastLen] != length ||
      GetU16(entry + kSlotMod) != mod)
    return std::nullopt;
  return Entry{offset, kSubAllocatedUnits, static_cast<int>(index)};
}

void BlobFile::CheckFree(const uint8_t* field, size_t fieldSize) const {
  uint8_t block[kUnit] = {};
  EntryToFree(field, fieldSize, block);
}

void BlobFile::Free(const uint8_t* field, size_t fieldSize) {
  WritePendingBlock();
  uint8_t block[kUnit] = {};
  const std::optional<Entry> entry = EntryToFree(field, fieldSize, block);
  if (!entry) return;
  WritableSpace();
  if (entry->slot < 0)
    ReleaseRun(entry->offset, entry->units);
  else
    FreeSlot(entry->offset, entry->slot, block);
  WriteFreeList();
}

void BlobFile::WritePendingBlock() {
  if (pendingOffset_ == 0) return;
  file_->WriteAt(pendingOffset_, pendingBlock_.data(), pendingBlock_.size());
  pendingOffset_ = 0;
}

void BlobFile::Sync() {
  WritePendingBlock();
  if (listPending_) WriteFreeList();
  listPending_ = false;
  file_->Sync();
}

}  // namespace engine
