#include "storage/blob_check.h"

#include <algorithm>

#include "format/blob_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/whole_file_reads.h"
#include "storage/blob_file.h"

namespace engine {

using namespace mb;
using coding::GetU16;
using coding::GetU32;

namespace {

constexpr uint64_t kInMemoryBytes = uint64_t{64} << 20;

std::string OffsetPlace(uint64_t offset) { return "Offset " + std::to_string(offset); }

std::string EntryPlace(const std::pair<uint64_t, unsigned>& entry) {
  return OffsetPlace(entry.first) + (entry.second == kRefSingle ? "" : ", Platz " + std::to_string(entry.second));
}

}  // namespace

BlobCheck::BlobCheck(FileSystem& fs, const std::string& path, std::vector<TableProblem>& problems)
    : path_(path), problems_(problems) {
  try {
    // Each blob field looks its entry up in a few small reads: from memory, for a .MB that fits.
    WholeFileReads reads(fs, kInMemoryBytes);
    blobs_ = BlobFile::Open(reads, path, false);
    file_ = &blobs_->Stored();
  } catch (const EDBEngineError& e) {
    Problem("", e.what());
    return;
  }
  WalkBlocks();
  users_.assign(entries_.size(), User{0, 0});
  CheckFreeList();
}

BlobCheck::~BlobCheck() = default;

void BlobCheck::Problem(const std::string& place, const std::string& text) {
  problems_.push_back({path_, place, text});
}

void BlobCheck::WalkBlocks() {
  const uint64_t size = file_->Size();
  if (size % kUnit != 0)
    Problem("", "Die Dateilänge " + std::to_string(size) + " ist kein Vielfaches von 4096 Bytes.");
  uint64_t offset = kUnit;
  while (offset + kBlockHeadBytes <= size) {
    uint8_t head[kBlockHeadBytes] = {};
    file_->ReadAt(offset, head, sizeof head);
    const uint8_t type = head[kBlockType];
    const uint16_t units = GetU16(head + kBlockUnits);
    if ((type != kTypeSingle && type != kTypeSubAllocated && type != kTypeFree) || units == 0 ||
        offset + uint64_t{units} * kUnit > size + kUnit - 1) {
      Problem(OffsetPlace(offset), "Der Block hat den ungültigen Typ " + std::to_string(type) + " oder die Länge " +
                                       std::to_string(units) + " reicht über das Dateiende; die Blöcke danach "
                                       "werden nicht geprüft.");
      return;
    }
    blocks_[offset] = {type, units};
    if (type == kTypeSingle) entries_.emplace_back(offset, kRefSingle);
    if (type == kTypeSubAllocated) {
      uint8_t block[kUnit] = {};
      file_->ReadAt(offset, block, kUnit);
      for (int slot = 0; slot < kSlotCount; ++slot)
        if (block[kSlotTable + static_cast<size_t>(slot) * kSlotSize + kSlotChunk] != 0)
          entries_.emplace_back(offset, static_cast<unsigned>(slot));
    }
    offset += uint64_t{units} * kUnit;
  }
}

BlobCheck::User& BlobCheck::UserOf(const Entry& entry) {
  const auto at = std::lower_bound(entries_.begin(), entries_.end(), entry);
  if (at != entries_.end() && *at == entry) return users_[static_cast<size_t>(at - entries_.begin())];
  return otherUsers_.try_emplace(entry, User{0, 0}).first->second;
}

void BlobCheck::CheckFreeList() {
  uint8_t header[kUnit] = {};
  file_->ReadAt(0, header, kUnit);
  for (size_t at = kHeaderFreeList; at + kFreeEntryBytes <= kUnit; at += kFreeEntryBytes) {
    const uint32_t word = GetU32(header + at);
    if (word == 0) break;
    const uint64_t offset = word & ~kRefIndexMask;
    const uint32_t kind = word & kRefIndexMask;
    const uint16_t count = GetU16(header + at + kFreeEntryCount);
    auto it = blocks_.find(offset);
    const std::string place = "Freiliste im Kopf, " + OffsetPlace(offset);
    if (kind == kFreeKindRun && (it == blocks_.end() || it->second.first != kTypeFree || it->second.second != count))
      Problem(place, "Die Freiliste nennt dort " + std::to_string(count) +
                         " freie Einheiten, die Datei hat dort keinen freien Block dieser Länge.");
    if (kind == kFreeKindSubAllocated && (it == blocks_.end() || it->second.first != kTypeSubAllocated))
      Problem(place, "Die Freiliste nennt dort freien Platz in einem Block für kleine BLObs, den es nicht gibt.");
  }
}

uint16_t BlobCheck::EntryModification(uint64_t offset, unsigned index) const {
  uint8_t raw[2] = {};
  const uint64_t at = index == kRefSingle ? offset + kSingleMod : offset + kSlotTable + index * kSlotSize + kSlotMod;
  file_->ReadAt(at, raw, sizeof raw);
  return GetU16(raw);
}

std::string BlobCheck::CheckField(const uint8_t* field, size_t fieldSize, uint64_t record, uint16_t block) {
  const uint32_t length = BlobFile::StoredLength(field, fieldSize);
  if (length <= LeaderBytes(fieldSize)) return "";
  if (!blobs_) return "Der Wert liegt in der Memo-/BLOb-Datei, die nicht gelesen werden kann.";
  try {
    blobs_->Check(field, fieldSize);
  } catch (const EDBEngineError& e) {
    return e.what();
  }
  const uint8_t* desc = field + fieldSize - kDescriptorSize;
  const uint32_t ref = GetU32(desc + kDescRef);
  const Entry entry{ref & ~kRefIndexMask, ref & kRefIndexMask};
  User& user = UserOf(entry);
  if (user.first != 0)
    return "Der BLOb am " + OffsetPlace(entry.first) + " gehört schon zu Datensatz " + std::to_string(user.first) +
           " (Block " + std::to_string(user.second) + ").";
  user = {record, block};
  const uint16_t stored = EntryModification(entry.first, entry.second);
  const uint16_t mod = GetU16(desc + kDescMod);
  if (stored != mod)
    return "Die Änderungsnummer des BLOb am " + OffsetPlace(entry.first) + " (" + std::to_string(stored) +
           ") passt nicht zu der im Datensatz (" + std::to_string(mod) + ").";
  return "";
}

void BlobCheck::Finish() {
  if (!file_) return;
  constexpr size_t kListed = 20;
  size_t orphans = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (users_[i].first != 0) continue;
    if (++orphans <= kListed)
      Problem(EntryPlace(entry), "Der BLOb gehört zu keinem Datensatz; sein Platz ist weder frei noch genutzt.");
  }
  if (orphans > kListed)
    Problem("", "Weitere " + std::to_string(orphans - kListed) + " BLObs gehören zu keinem Datensatz.");
}

}  // namespace engine
