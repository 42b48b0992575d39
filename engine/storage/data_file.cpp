#include "storage/data_file.h"

#include <algorithm>
#include <cstring>

#include "format/data_block.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"

namespace engine {

namespace {

constexpr size_t kCacheBlocks = 8;
constexpr uint32_t kMaxBlockNumber = 0xFFFF;

}  // namespace

DataFile::DataFile(std::unique_ptr<File> file, TableHeader header)
    : file_(std::move(file)), header_(std::move(header)) {
  fileSize_ = file_->Size();
  Walk();
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
  while (block != 0) {
    const std::string where = " (Block " + std::to_string(block) + ")";
    if (visited[block]) Fail(kErrCorrupt, path, "Die Blockkette enthält eine Schleife" + where + ".");
    visited[block] = true;
    ++walked;
    if (block > header_.fileBlocks || header_.BlockOffset(block) >= fileSize_)
      Fail(kErrCorrupt, path, "Die Blockkette verweist auf einen Block außerhalb der Datei" + where + ".");
    uint8_t raw[blk::kHeaderBytes] = {};
    const uint64_t offset = header_.BlockOffset(block);
    file_->ReadAt(offset, raw, std::min<uint64_t>(sizeof raw, fileSize_ - offset));
    const BlockHeader bh = DecodeBlockHeader(raw);
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

const DataFile::CachedBlock& DataFile::LoadBlock(uint16_t block) {
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    if (it->block == block) {
      if (it != cache_.begin()) cache_.splice(cache_.begin(), cache_, it);
      return cache_.front();
    }
  }
  CachedBlock entry;
  if (cache_.size() >= kCacheBlocks) {
    entry = std::move(cache_.back());
    cache_.pop_back();
  }
  entry.block = block;
  entry.bytes.resize(header_.BlockBytes());
  const uint64_t offset = header_.BlockOffset(block);
  size_t got = 0;
  if (offset < fileSize_)
    got = file_->ReadAt(offset, entry.bytes.data(), std::min<uint64_t>(entry.bytes.size(), fileSize_ - offset));
  std::fill(entry.bytes.begin() + static_cast<long>(got), entry.bytes.end(), 0);  // short last block
  entry.present = got;
  cache_.push_front(std::move(entry));
  return cache_.front();
}

const uint8_t* DataFile::BlockRecords(size_t i) {
  const BlockEntry& b = blocks_.at(i);
  const CachedBlock& cached = LoadBlock(b.block);
  if (cached.present < blk::kHeaderBytes + size_t{b.count} * header_.recordSize) FailCut(b.block);
  return cached.bytes.data() + blk::kHeaderBytes;
}

const uint8_t* DataFile::Record(uint32_t row) {
  uint32_t present = 0;
  const uint8_t* record = Record(row, &present);
  if (present < header_.recordSize) FailCut(EntryOf(row).block);
  return record;
}

const BlockEntry& DataFile::EntryOf(uint32_t row) const {
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                             [](uint32_t r, const BlockEntry& b) { return r < b.firstRow; });
  return *(it - 1);
}

const uint8_t* DataFile::Record(uint32_t row, uint32_t* present) {
  if (row >= recordCount_)
    Fail(kErrNotFound, file_->Path(), "Datensatz " + std::to_string(row + 1) + " existiert nicht.");
  const BlockEntry& b = EntryOf(row);
  const CachedBlock& cached = LoadBlock(b.block);
  const size_t start = blk::kHeaderBytes + static_cast<size_t>(row - b.firstRow) * header_.recordSize;
  *present = static_cast<uint32_t>(std::min<size_t>(cached.present > start ? cached.present - start : 0,
                                                    header_.recordSize));
  return cached.bytes.data() + start;
}

void DataFile::DropCache() { cache_.clear(); }

void DataFile::Refresh(TableHeader header, const std::vector<std::pair<uint16_t, uint32_t>>& chain) {
  header_ = std::move(header);
  fileSize_ = file_->Size();
  blocks_.clear();
  uint32_t total = 0;
  for (const auto& [block, count] : chain) {
    if (count > 0) blocks_.push_back({block, total, count});
    total += count;
  }
  recordCount_ = total;
  chainRecords_ = total;
  inconsistency_.clear();
  cache_.clear();
  NoteTruncation();
}

}  // namespace engine
