#include "storage/data_file.h"

#include <algorithm>

#include "format/data_block.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "storage/chain_window.h"

namespace engine {

namespace {

constexpr size_t kMinCacheBlocks = 8;
constexpr uint32_t kMaxBlockNumber = 0xFFFF;

}  // namespace

DataFile::DataFile(std::unique_ptr<File> file, TableHeader header, size_t cacheBytes)
    : file_(std::move(file)), header_(std::move(header)), cacheBytes_(cacheBytes) {
  fileSize_ = file_->Size();
  Walk();
}

DataFile::DataFile(std::unique_ptr<File> file, TableHeader header,
                   const std::vector<std::pair<uint16_t, uint32_t>>& chain)
    : file_(std::move(file)), cacheBytes_(kCacheBytes) {
  std::vector<BlockEntry> blocks;
  uint32_t row = 0;
  for (const auto& [block, count] : chain) {
    blocks.push_back(BlockEntry{block, row, count});
    row += count;
  }
  Refresh(std::move(header), 0, blocks, {});
}

DataFile::~DataFile() = default;

const std::string& DataFile::Path() const { return file_->Path(); }

void DataFile::Walk() {
  const std::string& path = file_->Path();
  const uint32_t blockBytes = header_.BlockBytes();
  const uint32_t recordSize = header_.recordSize;
  if (recordSize > blockBytes - blk::kHeaderBytes)
    Fail(kErrCorrupt, path, "Die Datensatzlänge " + std::to_string(recordSize) +
                                " ist größer als ein Block.");
  const int capacity = static_cast<int>((blockBytes - blk::kHeaderBytes) / recordSize);
  std::vector<bool> visited(kMaxBlockNumber + 1, false);
  uint16_t block = header_.firstBlock;
  uint64_t total = 0;
  bool endedAtLastBlock = header_.firstBlock == 0;
  bool runsOn = false;
  uint32_t walked = 0;
  ChainWindow window(*file_, fileSize_, blockBytes);
  while (block != 0) {
    const std::string where = " (Block " + std::to_string(block) + ")";
    if (visited[block]) Fail(kErrCorrupt, path, "Die Blockkette enthält eine Schleife" + where + ".");
    visited[block] = true;
    ++walked;
    if (block > header_.fileBlocks || header_.BlockOffset(block) >= fileSize_)
      Fail(kErrCorrupt, path, "Die Blockkette verweist auf einen Block außerhalb der Datei" + where + ".");
    const BlockHeader bh = DecodeBlockHeader(window.At(header_.BlockOffset(block), blk::kHeaderBytes));
    const int count = bh.RecordCount(static_cast<uint16_t>(recordSize));
    if (count < 0 || count > capacity)
      Fail(kErrCorrupt, path, "Ungültige Satzanzahl im Blockkopf" + where + ".");
    if (count > 0) blocks_.push_back({block, static_cast<uint32_t>(total), static_cast<uint32_t>(count)});
    total += static_cast<uint64_t>(count);
    if (block == header_.lastBlock) {
      endedAtLastBlock = true;
      runsOn = bh.next != 0;
      break;
    }
    block = bh.next;
  }
  chainRecords_ = total;
  std::vector<std::string> notes;
  if (!endedAtLastBlock)
    notes.push_back("Die Blockkette endet nicht beim letzten Block laut Tabellenkopf.");
  if (runsOn)
    notes.push_back("Die Blockkette läuft über den letzten Block laut Tabellenkopf hinaus; "
                    "die weiteren Blöcke werden nicht gelesen.");
  if (walked != header_.usedBlocks)
    notes.push_back("Der Tabellenkopf nennt " + std::to_string(header_.usedBlocks) +
                    " belegte Blöcke, die Blockkette hat " + std::to_string(walked) + ".");
  if (total != header_.numRecords)
    notes.push_back("Der Tabellenkopf nennt " + std::to_string(header_.numRecords) +
                    " Datensätze, die Blöcke enthalten " + std::to_string(total) + ".");
  for (const auto& n : notes) inconsistency_ += (inconsistency_.empty() ? "" : " ") + n;

  // Cut to the header's count when the chain holds more.
  const uint64_t keep = std::min<uint64_t>(total, header_.numRecords);
  while (!blocks_.empty() && blocks_.back().firstRow >= keep) blocks_.pop_back();
  if (!blocks_.empty()) {
    BlockEntry& last = blocks_.back();
    last.count = static_cast<uint32_t>(std::min<uint64_t>(last.count, keep - last.firstRow));
  }
  recordCount_ = static_cast<uint32_t>(keep);
  NoteTruncation();
}

void DataFile::NoteTruncation() {
  truncation_.clear();
  if (header_.fileBlocks == 0 || fileSize_ >= header_.BlockOffset(header_.fileBlocks) + header_.BlockBytes())
    return;  // every block lies wholly in the file
  uint64_t cut = 0;
  std::string blocks;
  for (const BlockEntry& b : blocks_) {
    const uint64_t end = header_.BlockOffset(b.block) + blk::kHeaderBytes;
    const uint64_t recordsEnd = end + uint64_t{b.count} * header_.recordSize;
    if (recordsEnd <= fileSize_) continue;
    const uint64_t whole = fileSize_ > end ? (fileSize_ - end) / header_.recordSize : 0;
    cut += b.count - whole;
    blocks += (blocks.empty() ? "" : ", ") + std::to_string(b.block);
  }
  if (cut > 0)
    truncation_ = "Die Datei ist abgeschnitten: von den Datensätzen in Block " + blocks +
                  (cut == 1 ? " fehlt einer" : " fehlen " + std::to_string(cut)) + " ganz oder teilweise.";
}

void DataFile::FailCut(uint16_t block) const {
  Fail(kErrCorrupt, file_->Path(), "Die Datei endet innerhalb der Datensätze von Block " +
                                       std::to_string(block) + "; sie ist abgeschnitten.");
}

const DataFile::CachedBlock& DataFile::LoadBlock(size_t entryIndex) {
  const uint16_t block = blocks_[entryIndex].block;
  if (block < slotOf_.size() && slotOf_[block] >= 0) return cache_[static_cast<size_t>(slotOf_[block])];
  if (block >= slotOf_.size()) slotOf_.resize(std::max<size_t>(block + 1, header_.fileBlocks + 1), -1);
  lastRow_ = UINT32_MAX;  // its block may be the one replaced
  const bool streaming = entryIndex == lastLoadedEntry_ + 1 && inOrder_ >= kMinCacheBlocks;
  const size_t previous = lastLoadedEntry_ < blocks_.size() ? blocks_[lastLoadedEntry_].block : 0;
  inOrder_ = entryIndex == lastLoadedEntry_ + 1 ? inOrder_ + 1 : 0;
  lastLoadedEntry_ = entryIndex;
  const size_t slots = std::max(kMinCacheBlocks, cacheBytes_ / header_.BlockBytes());
  size_t slot = cache_.size();
  if (streaming && previous < slotOf_.size() && slotOf_[previous] >= 0) {
    slot = static_cast<size_t>(slotOf_[previous]);  // the previous block of this pass makes room
    slotOf_[previous] = -1;
  } else if (slot < slots) {
    cache_.emplace_back();
  } else {
    slot = nextVictim_;
    nextVictim_ = (nextVictim_ + 1) % slots;
    slotOf_[cache_[slot].block] = -1;
  }
  CachedBlock& entry = cache_[slot];
  entry.block = block;
  entry.bytes.resize(header_.BlockBytes());
  const uint64_t offset = header_.BlockOffset(block);
  size_t got = 0;
  if (offset < fileSize_)
    got = file_->ReadAt(offset, entry.bytes.data(), std::min<uint64_t>(entry.bytes.size(), fileSize_ - offset));
  std::fill(entry.bytes.begin() + static_cast<long>(got), entry.bytes.end(), 0);  // short last block
  entry.present = got;
  slotOf_[block] = static_cast<int32_t>(slot);
  return entry;
}

const uint8_t* DataFile::BlockRecords(size_t i) {
  const BlockEntry& b = blocks_.at(i);
  const CachedBlock& cached = LoadBlock(i);
  if (cached.present < blk::kHeaderBytes + size_t{b.count} * header_.recordSize) FailCut(b.block);
  return cached.bytes.data() + blk::kHeaderBytes;
}

const uint8_t* DataFile::Record(uint32_t row) {
  uint32_t present = 0;
  const uint8_t* record = Record(row, &present);
  if (present < header_.recordSize) FailCut(EntryOf(row).block);
  return record;
}

size_t DataFile::EntryIndexOf(uint32_t row) {
  auto holds = [&](size_t i) { return i < blocks_.size() && row - blocks_[i].firstRow < blocks_[i].count; };
  if (holds(lastEntry_)) return lastEntry_;
  if (holds(lastEntry_ + 1)) return ++lastEntry_;
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                             [](uint32_t r, const BlockEntry& b) { return r < b.firstRow; });
  lastEntry_ = static_cast<size_t>(it - blocks_.begin()) - 1;
  return lastEntry_;
}

const uint8_t* DataFile::Record(uint32_t row, uint32_t* present) {
  if (row == lastRow_) {
    *present = lastPresent_;
    return lastRecord_;
  }
  if (row >= recordCount_)
    Fail(kErrNotFound, file_->Path(), "Datensatz " + std::to_string(row + 1) + " existiert nicht.");
  const size_t entry = EntryIndexOf(row);
  const BlockEntry& b = blocks_[entry];
  const CachedBlock& cached = LoadBlock(entry);
  const size_t start = blk::kHeaderBytes + static_cast<size_t>(row - b.firstRow) * header_.recordSize;
  *present = static_cast<uint32_t>(std::min<size_t>(cached.present > start ? cached.present - start : 0,
                                                    header_.recordSize));
  lastRow_ = row;
  lastRecord_ = cached.bytes.data() + start;
  lastPresent_ = *present;
  return lastRecord_;
}

void DataFile::DropCache() {
  cache_.clear();
  slotOf_.clear();
  nextVictim_ = 0;
  lastRow_ = UINT32_MAX;
  lastLoadedEntry_ = SIZE_MAX;
  inOrder_ = 0;
}

void DataFile::Refresh(TableHeader header, uint32_t keptRows, const std::vector<BlockEntry>& tail,
                       const std::vector<uint16_t>& written) {
  header_ = std::move(header);
  fileSize_ = file_->Size();
  const auto kept = std::lower_bound(blocks_.begin(), blocks_.end(), keptRows,
                                     [](const BlockEntry& b, uint32_t row) { return b.firstRow < row; });
  blocks_.erase(kept, blocks_.end());
  for (const BlockEntry& b : tail)
    if (b.count > 0) blocks_.push_back(b);
  recordCount_ = header_.numRecords;
  chainRecords_ = header_.numRecords;
  inconsistency_.clear();
  for (uint16_t block : written)
    if (block < slotOf_.size() && slotOf_[block] >= 0) {
      cache_[static_cast<size_t>(slotOf_[block])].block = 0;
      slotOf_[block] = -1;
    }
  lastRow_ = UINT32_MAX;
  lastLoadedEntry_ = SIZE_MAX;
  inOrder_ = 0;
  lastEntry_ = 0;
  NoteTruncation();
}

}  // namespace engine
