#include "storage/data_file.h"

#include <algorithm>

#include "format/data_block.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"

namespace engine {

namespace {

constexpr size_t kMinCacheChunks = 8;
// A pass in order takes turns with this many slots once it has read kStreamAfter chunks in a
// row; a few, so that a chain that jumps back and forth between two places keeps both.
constexpr size_t kStreamSlots = 4;
constexpr size_t kStreamAfter = 2;
constexpr uint32_t kMaxBlockNumber = 0xFFFF;
// Room mapped past the end of a browsed file, so that rows appended to it are read in place too.
constexpr uint64_t kMinMappedGrowth = uint64_t{16} << 20;
const std::atomic<bool> kNeverLost{false};

}  // namespace

DataFile::DataFile(std::unique_ptr<File> file, TableHeader header, size_t cacheBytes, DataAccess access)
    : file_(std::move(file)),
      header_(std::move(header)),
      cacheBytes_(cacheBytes),
      browsing_(access == DataAccess::kBrowse),
      mappingLost_(&kNeverLost) {
  fileSize_ = file_->Size();
  MapWhenWorthIt();
  SizeChunks();
  StartWalk();
  if (access == DataAccess::kWhole) WalkAll();
}

DataFile::DataFile(std::unique_ptr<File> file, TableHeader header,
                   const std::vector<std::pair<uint16_t, uint32_t>>& chain)
    : file_(std::move(file)),
      header_(std::move(header)),
      cacheBytes_(kCacheBytes),
      browsing_(false),
      mappingLost_(&kNeverLost) {
  fileSize_ = file_->Size();
  SizeChunks();
  std::vector<BlockEntry> blocks;
  blocks.reserve(chain.size());
  uint32_t row = 0;
  for (const auto& [block, count] : chain) {
    blocks.push_back(BlockEntry{block, row, count});
    row += count;
  }
  TableHeader walked = header_;
  Refresh(std::move(walked), 0, std::move(blocks), {});
}

void DataFile::SizeChunks() {
  const uint32_t blockBytes = header_.BlockBytes();
  if (header_.recordSize > blockBytes - blk::kHeaderBytes)
    Fail(kErrCorrupt, file_->Path(), "Die Datensatzlänge " + std::to_string(header_.recordSize) +
                                         " ist größer als ein Block.");
  chunkBlocks_ = static_cast<uint32_t>(
      std::max<size_t>(1, std::min(kChunkBytes, cacheBytes_ / kMinCacheChunks) / blockBytes));
}

void DataFile::MapWhenWorthIt() {
  if (mapRefused_ || fileSize_ < FileMapping::kWorthFromBytes ||
      (mapping_ && mapping_->Size() >= fileSize_))
    return;
  mappingLost_ = &kNeverLost;
  mapping_ = file_->MapForReading(fileSize_ + std::max(fileSize_ / 4, kMinMappedGrowth));
  mapRefused_ = mapping_ == nullptr;
  if (mapping_) mappingLost_ = &mapping_->LostFlag();
}

DataFile::~DataFile() = default;

const uint8_t* DataFile::InPlaceChecked(const uint8_t* bytes, size_t n) const {
  if (!mapping_ || bytes < mapping_->Bytes() || bytes >= mapping_->Bytes() + mapping_->Size()) return bytes;
  return mapping_->Read(static_cast<uint64_t>(bytes - mapping_->Bytes()), n);
}

const std::string& DataFile::Path() const { return file_->Path(); }

void DataFile::StartWalk() {
  blocks_.clear();
  chainRecords_ = 0;
  walk_ = WalkState();
  walk_.visited.assign(kMaxBlockNumber + 1, false);
  walk_.next = header_.firstBlock;
  walk_.endedAtLastBlock = header_.firstBlock == 0;
  walkDone_ = false;
  if (walk_.next == 0) FinishWalk();
}

bool DataFile::WalkStep(Reading reading) const {
  if (walkDone_) return false;
  const std::string& path = file_->Path();
  if (!walk_.failure.empty()) Fail(kErrCorrupt, path, walk_.failure);
  const uint16_t block = walk_.next;
  auto fail = [&](const std::string& why) {
    walk_.failure = why + " (Block " + std::to_string(block) + ").";
    Fail(kErrCorrupt, path, walk_.failure);
  };
  if (walk_.visited[block]) fail("Die Blockkette enthält eine Schleife");
  if (block > header_.fileBlocks || header_.BlockOffset(block) >= fileSize_)
    fail("Die Blockkette verweist auf einen Block außerhalb der Datei");
  // A read that fails leaves the walk where it was, so that asking again reads the block again.
  const BlockHeader bh = DecodeBlockHeader(LoadBlock(block, reading).bytes);
  walk_.visited[block] = true;
  ++walk_.walked;
  const int count = bh.RecordCount(static_cast<uint16_t>(header_.recordSize));
  const int capacity = static_cast<int>((header_.BlockBytes() - blk::kHeaderBytes) / header_.recordSize);
  if (count < 0 || count > capacity) fail("Ungültige Satzanzahl im Blockkopf");
  if (count > 0)
    blocks_.push_back({block, static_cast<uint32_t>(chainRecords_), static_cast<uint32_t>(count)});
  chainRecords_ += static_cast<uint64_t>(count);
  walk_.next = bh.next;
  if (block == header_.lastBlock) {
    walk_.endedAtLastBlock = true;
    walk_.runsOn = bh.next != 0;
    walk_.next = 0;
  }
  if (walk_.next == 0) FinishWalk();
  return true;
}

void DataFile::FinishWalk() const {
  const uint64_t total = chainRecords_;
  std::vector<std::string> notes;
  if (!walk_.endedAtLastBlock)
    notes.push_back("Die Blockkette endet nicht beim letzten Block laut Tabellenkopf.");
  if (walk_.runsOn)
    notes.push_back("Die Blockkette läuft über den letzten Block laut Tabellenkopf hinaus; "
                    "die weiteren Blöcke werden nicht gelesen.");
  if (walk_.walked != header_.usedBlocks)
    notes.push_back("Der Tabellenkopf nennt " + std::to_string(header_.usedBlocks) +
                    " belegte Blöcke, die Blockkette hat " + std::to_string(walk_.walked) + ".");
  if (total != header_.numRecords)
    notes.push_back("Der Tabellenkopf nennt " + std::to_string(header_.numRecords) +
                    " Datensätze, die Blöcke enthalten " + std::to_string(total) + ".");
  inconsistency_.clear();
  for (const auto& n : notes) inconsistency_ += (inconsistency_.empty() ? "" : " ") + n;

  // Cut to the header's count when the chain holds more.
  const uint64_t keep = std::min<uint64_t>(total, header_.numRecords);
  while (!blocks_.empty() && blocks_.back().firstRow >= keep) blocks_.pop_back();
  if (!blocks_.empty()) {
    BlockEntry& last = blocks_.back();
    last.count = static_cast<uint32_t>(std::min<uint64_t>(last.count, keep - last.firstRow));
  }
  recordCount_ = static_cast<uint32_t>(keep);
  walk_ = WalkState();
  walkDone_ = true;
  NoteTruncation();
  stepsFrom_ = 0;
}

void DataFile::IndexRowSteps(size_t from) const {
  if (blocks_.empty()) {
    rowSteps_.clear();
    rowStepShift_ = 0;
    return;
  }
  // Steps of about half the records of an average block.
  const uint32_t average = recordCount_ / static_cast<uint32_t>(blocks_.size());
  uint32_t shift = 0;
  while ((uint32_t{2} << shift) <= average / 2) ++shift;
  // The steps of rows in entries before `from` still hold; a shift off by one costs a lookup a
  // step more or half the steps, which is cheaper than indexing every row again on each change.
  size_t step = 0;
  if (from > 0 && shift + 1 >= rowStepShift_ && shift <= rowStepShift_ + 1)
    step = static_cast<size_t>(std::lower_bound(rowSteps_.begin(), rowSteps_.end(), from) - rowSteps_.begin());
  else
    rowStepShift_ = shift;
  rowSteps_.resize(step);
  rowSteps_.reserve((recordCount_ >> rowStepShift_) + 1);
  size_t entry = step > 0 ? rowSteps_.back() : 0;
  for (uint64_t row = uint64_t{step} << rowStepShift_; row < recordCount_; row += uint64_t{1} << rowStepShift_) {
    while (row - blocks_[entry].firstRow >= blocks_[entry].count) ++entry;
    rowSteps_.push_back(static_cast<uint32_t>(entry));
  }
}

bool DataFile::WalkToRecord(uint32_t row) const {
  // The header's count caps the rows whatever the chain holds.
  if (row >= header_.numRecords) return false;
  // The block walked to is read next for its rows: a browsing cursor keeps it like them.
  const Reading reading = KeepsPasses() ? Reading::kInOrder : Reading::kWalk;
  while (!walkDone_ && chainRecords_ <= row) WalkStep(reading);
  return !walkDone_ || row < recordCount_;
}

void DataFile::NoteTruncation() const {
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

void DataFile::ForgetRun(size_t slot) const {
  CachedRun& run = cache_[slot];
  for (uint32_t c = run.first; c < run.first + run.chunks; ++c)
    if (slotOf_[c] == static_cast<int32_t>(slot)) slotOf_[c] = -1;
  run.chunks = 0;
}

DataFile::BlockBytes DataFile::LoadBlock(uint16_t block, Reading reading) const {
  const size_t blockBytes = header_.BlockBytes();
  const size_t chunkBytes = chunkBlocks_ * blockBytes;
  const uint32_t chunk = (block - 1u) / chunkBlocks_;
  const size_t inChunk = static_cast<size_t>(block - 1u - chunk * chunkBlocks_) * blockBytes;
  auto bytesOf = [&](const CachedRun& run) {
    const size_t at = (chunk - run.first) * chunkBytes + inChunk;
    return BlockBytes{run.bytes.get() + at, run.present > at ? std::min(run.present - at, blockBytes) : 0};
  };
  if (mapping_) {
    const uint64_t at = header_.BlockOffset(block);
    if (at + blockBytes <= std::min(fileSize_, mapping_->Size())) {
      // A pass over the whole file holds only the pages near where it reads; a browsing cursor
      // keeps what it has read for the rows it comes back to.
      if (!browsing_ && reading != Reading::kRandom) passed_.At(*mapping_, at);
      // Read once first as far as the reading will go: a walk its header, a pass in order the
      // whole block; a random row its record alone (InPlaceChecked), so that touching the rest
      // of the block costs it no further memory access.
      if (reading == Reading::kRandom) {
        mapping_->CheckNotLost();
        return BlockBytes{mapping_->Bytes() + at, blockBytes};
      }
      return BlockBytes{mapping_->Read(at, reading == Reading::kWalk ? blk::kHeaderBytes : blockBytes), blockBytes};
    }
  }
  if (chunk < slotOf_.size() && slotOf_[chunk] >= 0) return bytesOf(cache_[static_cast<size_t>(slotOf_[chunk])]);
  // Its run may be the one replaced.
  loaded_ = LoadedRows();
  inOrder_ = reading == Reading::kRandom ? 0 : inOrder_ + 1;
  const bool streaming = inOrder_ > kStreamAfter && (reading == Reading::kWalk || !KeepsPasses());
  const size_t slots = std::max(kMinCacheChunks, cacheBytes_ / chunkBytes);
  size_t slot = 0;
  if (streaming && streamSlots_.size() == kStreamSlots) {
    slot = streamSlots_[nextStreamSlot_];
    nextStreamSlot_ = (nextStreamSlot_ + 1) % kStreamSlots;
  } else {
    if (cache_.size() < slots) {
      slot = cache_.size();
      cache_.emplace_back();
    } else {
      slot = nextVictim_;
      nextVictim_ = (nextVictim_ + 1) % slots;
    }
    if (streaming) streamSlots_.push_back(slot);
  }
  ForgetRun(slot);  // unused until the read below succeeds
  CachedRun& run = cache_[slot];
  const uint64_t offset = header_.BlockOffset(static_cast<uint16_t>(chunk * chunkBlocks_ + 1));
  const uint64_t left = fileSize_ > offset ? fileSize_ - offset : 0;
  const uint64_t chunksLeft = std::max<uint64_t>(1, (left + chunkBytes - 1) / chunkBytes);
  // A pass in order reads runs of chunks: a browsing cursor keeps them, up to the next chunk it
  // already holds, so that no chunk is held twice.
  const size_t runBytes = inOrder_ <= kStreamAfter ? chunkBytes : streaming ? kStreamBytes : kKeptRunBytes;
  const uint64_t runChunks = std::max<size_t>(1, runBytes / chunkBytes);
  uint64_t chunks = std::min<uint64_t>(runChunks, chunksLeft);
  if (!streaming)
    for (uint32_t c = chunk + 1; c < chunk + chunks; ++c)
      if (c < slotOf_.size() && slotOf_[c] >= 0) chunks = c - chunk;
  if (run.size != chunks * chunkBytes) {
    const size_t size = chunks * chunkBytes;
    // A pass in order that keeps its runs takes new memory for each: the next is made ready ahead.
    const bool kept = inOrder_ > kStreamAfter && !streaming;
    // The next run is as long as this one, or what is left of the file after it.
    const size_t nextSize = static_cast<size_t>(std::min(runChunks, chunksLeft - chunks) * chunkBytes);
    LargeBuffer bytes = kept ? ahead_.Take(size, nextSize) : AllocateLargeBuffer(size);
    run.bytes = std::move(bytes);
    run.size = size;  // only once the memory is there: a failed allocation leaves the slot as it was
  }
  const size_t got = left > 0 ? file_->ReadAt(offset, run.bytes.get(), std::min<uint64_t>(run.size, left)) : 0;
  std::fill(run.bytes.get() + got, run.bytes.get() + run.size, 0);  // short last chunk
  run.present = got;
  run.first = chunk;
  run.chunks = static_cast<uint32_t>(chunks);
  if (slotOf_.size() < chunk + run.chunks) slotOf_.resize(chunk + run.chunks, -1);
  for (uint32_t c = chunk; c < chunk + run.chunks; ++c) slotOf_[c] = static_cast<int32_t>(slot);
  return bytesOf(run);
}

DataFile::BlockBytes DataFile::LoadEntry(size_t entry) {
  const Reading reading = entry == lastLoadedEntry_ + 1 ? Reading::kInOrder : Reading::kRandom;
  lastLoadedEntry_ = entry;
  return LoadBlock(blocks_[entry].block, reading);
}

const uint8_t* DataFile::BlockRecords(size_t i) {
  const BlockEntry& b = Blocks().at(i);
  const BlockBytes loaded = LoadEntry(i);
  if (loaded.present < blk::kHeaderBytes + size_t{b.count} * header_.recordSize) FailCut(b.block);
  return InPlaceChecked(loaded.bytes + blk::kHeaderBytes, size_t{b.count} * header_.recordSize);
}

const uint8_t* DataFile::RecordAfterSearch(uint32_t row) {
  uint32_t present = 0;
  const uint8_t* record = Record(row, &present);
  if (present < header_.recordSize) FailCut(blocks_[EntryIndexOf(row)].block);
  return record;
}

size_t DataFile::EntryIndexOf(uint32_t row) {
  auto holds = [&](size_t i) { return i < blocks_.size() && row - blocks_[i].firstRow < blocks_[i].count; };
  if (holds(lastEntry_)) return lastEntry_;
  if (holds(lastEntry_ + 1)) return ++lastEntry_;
  if (walkDone_ && stepsFrom_ != SIZE_MAX) {
    IndexRowSteps(stepsFrom_);
    stepsFrom_ = SIZE_MAX;
  }
  if (walkDone_ && (row >> rowStepShift_) < rowSteps_.size()) {
    size_t entry = rowSteps_[row >> rowStepShift_];
    while (entry + 1 < blocks_.size() && !holds(entry)) ++entry;
    return lastEntry_ = entry;
  }
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                             [](uint32_t r, const BlockEntry& b) { return r < b.firstRow; });
  lastEntry_ = static_cast<size_t>(it - blocks_.begin()) - 1;
  return lastEntry_;
}

const uint8_t* DataFile::Record(uint32_t row, uint32_t* present) {
  if (const uint8_t* record = LoadedRecord(row)) {
    *present = header_.recordSize;
    return record;
  }
  if (!HasRecord(row))
    Fail(kErrNotFound, file_->Path(), "Datensatz " + std::to_string(row + 1) + " existiert nicht.");
  const size_t entry = EntryIndexOf(row);
  const BlockEntry& b = blocks_[entry];
  const BlockBytes loaded = LoadEntry(entry);
  const size_t start = blk::kHeaderBytes + static_cast<size_t>(row - b.firstRow) * header_.recordSize;
  *present = static_cast<uint32_t>(std::min<size_t>(loaded.present > start ? loaded.present - start : 0,
                                                    header_.recordSize));
  // Rows the file holds whole, and (while the walk may still cut the block) that the header counts.
  const size_t recordBytes = loaded.present > blk::kHeaderBytes ? loaded.present - blk::kHeaderBytes : 0;
  const uint64_t rows = std::min<uint64_t>({b.count, recordBytes / header_.recordSize,
                                            header_.numRecords > b.firstRow ? header_.numRecords - b.firstRow : 0});
  loaded_ = LoadedRows{b.firstRow, static_cast<uint32_t>(rows), loaded.bytes + blk::kHeaderBytes};
  return InPlaceChecked(loaded.bytes + start, header_.recordSize);
}

void DataFile::DropCache() {
  cache_.clear();
  slotOf_.clear();
  streamSlots_.clear();
  nextVictim_ = 0;
  nextStreamSlot_ = 0;
  loaded_ = LoadedRows();
  lastLoadedEntry_ = SIZE_MAX;
  inOrder_ = 0;
}

void DataFile::Refresh(TableHeader header, uint32_t keptRows, std::vector<BlockEntry> tail,
                       const std::vector<uint16_t>& written) {
  header_ = std::move(header);
  fileSize_ = file_->Size();
  MapWhenWorthIt();  // pointers into a mapping replaced here go with the rows forgotten below
  if (!walkDone_ && keptRows > 0) {
    // Rows not walked yet: the walk starts again on what the writer committed.
    DropCache();
    StartWalk();
    return;
  }
  walkDone_ = true;
  walk_ = WalkState();
  const auto kept = std::lower_bound(blocks_.begin(), blocks_.end(), keptRows,
                                     [](const BlockEntry& b, uint32_t row) { return b.firstRow < row; });
  const size_t changedFrom = static_cast<size_t>(kept - blocks_.begin());
  if (changedFrom == 0) {
    blocks_ = std::move(tail);
  } else {
    blocks_.erase(kept, blocks_.end());
    blocks_.insert(blocks_.end(), tail.begin(), tail.end());
  }
  blocks_.erase(std::remove_if(blocks_.begin() + static_cast<long>(changedFrom), blocks_.end(),
                               [](const BlockEntry& b) { return b.count == 0; }),
                blocks_.end());
  recordCount_ = header_.numRecords;
  chainRecords_ = header_.numRecords;
  inconsistency_.clear();
  // A written block's whole run goes.
  for (uint16_t block : written) {
    const uint32_t chunk = (block - 1u) / chunkBlocks_;
    if (block != 0 && chunk < slotOf_.size() && slotOf_[chunk] >= 0)
      ForgetRun(static_cast<size_t>(slotOf_[chunk]));
  }
  loaded_ = LoadedRows();
  lastLoadedEntry_ = SIZE_MAX;
  inOrder_ = 0;
  lastEntry_ = 0;
  NoteTruncation();
  stepsFrom_ = std::min(stepsFrom_, changedFrom);
}

}  // namespace engine
