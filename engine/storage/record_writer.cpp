#include "storage/record_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <set>

#include "format/data_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "storage/chain_window.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

constexpr uint16_t kMaxBlockNumber = 0xFFFF;

}  // namespace

namespace {

// Header of a data or secondary index file; refuses a protected file that `fs` cannot write
// with its key.
TableHeader ReadWritableHeader(const FileSystem& fs, File& file, const std::string& path) {
  TableHeader h = ReadFileHeader(file, path);
  if (h.IsIndexTree()) Fail(kErrNotATable, path, "Die Datei ist ein Indexbaum, keine Tabelle.");
  CheckUnlocked(fs, h, path);
  return h;
}

std::vector<uint8_t> FixedPart(File& file) {
  std::vector<uint8_t> bytes(hdr::kFixedPartEnd, 0);
  file.ReadAt(0, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace

RecordWriter::RecordWriter(FileSystem& fs, const std::string& dbPath, const DataFile* seen,
                           const ChainFromTree& fromTree)
    : fs_(fs), path_(dbPath) {
  file_ = fs.Open(dbPath, OpenMode::ReadWrite);
  header_ = ReadWritableHeader(fs, *file_, dbPath);
  if (header_.writeProtected) Fail(kErrUnsupported, path_, "Die Tabelle ist schreibgeschützt.");
  if (header_.modifiedFlags1 || header_.modifiedFlags2)
    Fail(kErrUnsupported, path_, "Die Tabelle ist als reparaturbedürftig markiert und wird nicht geändert.");
  // A reader's walk of the file as it is now, with every block holding records and every
  // record the header counts, gives the chain as walking it again would.
  const bool walked = seen && seen->Walked() && SameFileState(seen->Header(), header_) &&
                      seen->Inconsistency().empty() && seen->Truncation().empty() &&
                      seen->Blocks().size() == header_.usedBlocks && seen->RecordCount() == header_.numRecords;
  if (walked) {
    Load(&seen->Blocks());
    return;
  }
  std::vector<BlockEntry> chain;
  if (fromTree && header_.numRecords > 0 && fromTree(header_, &chain) && FitsHeader(chain, file_->Size())) {
    Load(&chain);
    expected_.assign(size_t{header_.fileBlocks} + 1, Expected());
    for (size_t i = 0; i < chain.size(); ++i)
      expected_[chain[i].block] = {true, i + 1 < chain.size() ? chain[i + 1].block : uint16_t{0}, chain[i].count};
    return;
  }
  Load(nullptr);
}

bool RecordWriter::FitsHeader(const std::vector<BlockEntry>& chain, uint64_t size) const {
  if (chain.size() != header_.usedBlocks || chain.empty() || chain.front().block != header_.firstBlock ||
      chain.back().block != header_.lastBlock)
    return false;
  const uint32_t capacity = (header_.BlockBytes() - blk::kHeaderBytes) / header_.recordSize;
  std::vector<uint8_t> seen(size_t{header_.fileBlocks} + 1, 0);
  uint64_t records = 0;
  for (const BlockEntry& e : chain) {
    if (e.block == 0 || e.block > header_.fileBlocks || seen[e.block] || header_.BlockOffset(e.block) >= size ||
        e.count == 0 || e.count > capacity)
      return false;
    seen[e.block] = true;
    records += e.count;
  }
  return records == header_.numRecords;
}

void RecordWriter::CheckTaken(uint16_t block, const std::vector<uint8_t>& bytes) {
  Expected& e = expected_[block];
  e.unread = false;
  const BlockHeader bh = DecodeBlockHeader(bytes.data());
  // The walk ends at the last block whatever it names as next.
  if (bh.RecordCount(header_.recordSize) != static_cast<int>(e.count) || (e.next != 0 && bh.next != e.next))
    Fail(kErrCorrupt, path_, "Die Blockkette ist beschädigt (Block " + std::to_string(block) +
                                 "); die Tabelle wird nicht geändert.");
}

bool SameFileState(const TableHeader& a, const TableHeader& b) {
  return a.numRecords == b.numRecords && a.firstBlock == b.firstBlock && a.lastBlock == b.lastBlock &&
         a.usedBlocks == b.usedBlocks && a.fileBlocks == b.fileBlocks && a.firstFreeBlock == b.firstFreeBlock &&
         a.changeCount1 == b.changeCount1 && a.changeCount2 == b.changeCount2 && a.stamp2F == b.stamp2F &&
         a.autoInc == b.autoInc && a.fileUpdateTime == b.fileUpdateTime;
}

RecordWriter::~RecordWriter() = default;

void RecordWriter::Load(const std::vector<BlockEntry>* known) {
  lastFixedPart_ = FixedPart(*file_);
  moved_.clear();
  blocks_.clear();
  dirty_.clear();
  chain_.clear();
  ChainChanged(0, true);
  committed_.clear();
  edits_.clear();
  editsKnown_ = true;
  truncateToHeader_ = false;
  const uint16_t recordSize = header_.recordSize;
  if (recordSize > header_.BlockBytes() - blk::kHeaderBytes)
    Fail(kErrCorrupt, path_, "Die Datensatzlänge " + std::to_string(recordSize) +
                                 " ist größer als ein Block; die Datei wird nicht geändert.");
  capacity_ = (header_.BlockBytes() - blk::kHeaderBytes) / recordSize;
  count_ = 0;
  std::vector<uint8_t> seen(size_t{header_.fileBlocks} + 1, 0);
  uint16_t b = header_.firstBlock;
  const uint64_t size = file_->Size();
  chainTaken_ = known != nullptr;
  if (known) {
    chain_.reserve(known->size());
    // The chain as a reader just walked it; first records are read when needed.
    for (const BlockEntry& e : *known) {
      seen[e.block] = true;
      chain_.push_back({e.block, e.count, std::string(), false});
      count_ += e.count;
    }
    b = 0;
  }
  ChainWindow window(*file_, size, header_.BlockBytes());
  while (b != 0 && header_.numRecords > 0) {
    if (b > header_.fileBlocks || seen[b] || header_.BlockOffset(b) >= size)
      Fail(kErrCorrupt, path_, "Die Blockkette ist beschädigt (Block " + std::to_string(b) +
                                   "); die Tabelle wird nicht geändert.");
    seen[b] = true;
    const uint8_t* head = window.At(header_.BlockOffset(b), blk::kHeaderBytes + recordSize);
    const BlockHeader bh = DecodeBlockHeader(head);
    const int n = bh.RecordCount(recordSize);
    if (n < 0 || static_cast<uint32_t>(n) > capacity_)
      Fail(kErrCorrupt, path_, "Block " + std::to_string(b) + " hat eine ungültige Satzanzahl.");
    const char* first = reinterpret_cast<const char*>(head + blk::kHeaderBytes);
    chain_.push_back({b, static_cast<uint32_t>(n), n > 0 ? std::string(first, recordSize) : std::string(), true});
    count_ += static_cast<uint32_t>(n);
    if (b == header_.lastBlock) break;
    b = bh.next;
  }
  CheckFreeBlocks(seen, size);
  if (count_ != header_.numRecords)
    Fail(kErrCorrupt, path_, "Die Blockkette enthält " + std::to_string(count_) + " Datensätze, der Tabellenkopf nennt " +
                                 std::to_string(header_.numRecords) +
                                 "; die Tabelle wird nicht geändert (Umstrukturieren repariert sie).");
}

void RecordWriter::CheckFreeBlocks(const std::vector<uint8_t>& chain, uint64_t size) const {
  // New blocks are appended after the header's block count, so it must end within the file.
  if (header_.fileBlocks > 0 && header_.BlockOffset(header_.fileBlocks) >= size)
    Fail(kErrCorrupt, path_, "Der Tabellenkopf nennt " + std::to_string(header_.fileBlocks) +
                                 " Blöcke, die Datei endet vor dem letzten; die Tabelle wird nicht geändert.");
  std::set<uint16_t> seen;
  for (uint16_t b = header_.firstFreeBlock; b != 0;) {
    std::string why;
    if (b > header_.fileBlocks || header_.BlockOffset(b) >= size)
      why = "liegt außerhalb der Datei";
    else if (chain[b])
      why = "gehört zur Blockkette";
    else if (!seen.insert(b).second)
      why = "kommt in der Liste zweimal vor";
    if (!why.empty())
      Fail(kErrCorrupt, path_, "Die Liste der freien Blöcke ist beschädigt: Block " + std::to_string(b) + " " + why +
                                   "; die Tabelle wird nicht geändert (Umstrukturieren repariert sie).");
    uint8_t next[2] = {};
    file_->ReadAt(header_.BlockOffset(b) + blk::kNext, next, sizeof next);
    b = coding::GetU16(next);
  }
}

void RecordWriter::Reload() {
  header_ = ReadWritableHeader(fs_, *file_, path_);
  expected_.clear();
  Load(nullptr);
}

bool RecordWriter::Current() { return FixedPart(*file_) == lastFixedPart_; }

std::vector<std::pair<std::string, uint16_t>> RecordWriter::TakeMoved() {
  std::vector<std::pair<std::string, uint16_t>> out;
  out.swap(moved_);
  return out;
}

void RecordWriter::RefreshFirst(size_t ci) {
  ChainBlock& c = chain_[ci];
  const uint8_t* first = Block(c.block).data() + blk::kHeaderBytes;
  c.first = c.count > 0 ? std::string(reinterpret_cast<const char*>(first), header_.recordSize) : std::string();
  c.firstKnown = true;
}

const std::string& RecordWriter::First(size_t ci) {
  ChainBlock& c = chain_[ci];
  if (!c.firstKnown) {
    c.first.assign(c.count > 0 ? header_.recordSize : 0, '\0');
    file_->ReadAt(header_.BlockOffset(c.block) + blk::kHeaderBytes, c.first.data(), c.first.size());
    c.firstKnown = true;
  }
  return c.first;
}

void RecordWriter::ChainChanged(size_t ci, bool joinedOrLeft) {
  firstRowsValid_ = std::min(firstRowsValid_, joinedOrLeft ? ci : ci + 1);
  changedFrom_ = std::min(changedFrom_, ci);
  if (joinedOrLeft) chainChanged_ = true;
}

void RecordWriter::NoteMoved(uint16_t block, uint32_t from, uint32_t count) {
  const uint8_t* base = Block(block).data() + blk::kHeaderBytes;
  for (uint32_t i = from; i < from + count; ++i)
    moved_.push_back({std::string(reinterpret_cast<const char*>(base + size_t{i} * header_.recordSize), header_.recordSize),
                      block});
}

std::vector<uint8_t>& RecordWriter::Block(uint16_t block) {
  auto it = blocks_.find(block);
  if (it != blocks_.end()) return it->second;
  std::vector<uint8_t> bytes(header_.BlockBytes(), 0);
  file_->ReadAt(header_.BlockOffset(block), bytes.data(), bytes.size());
  if (block < expected_.size() && expected_[block].unread) CheckTaken(block, bytes);
  return blocks_.emplace(block, std::move(bytes)).first->second;
}

void RecordWriter::UpdateFirstRows() const {
  // A chain that lost its last blocks leaves their entries behind: they go whatever else is valid.
  firstRows_.resize(chain_.size());
  // Only the entries from the first changed block on are worked out again.
  for (size_t i = firstRowsValid_; i < chain_.size(); ++i)
    firstRows_[i] = i == 0 ? 0 : firstRows_[i - 1] + chain_[i - 1].count;
  firstRowsValid_ = chain_.size();
}

size_t RecordWriter::ChainIndex(uint32_t row, uint32_t* firstRow) const {
  UpdateFirstRows();
  // The last block starting at or before `row`; an empty block shares its start with the next.
  const auto after = std::upper_bound(firstRows_.begin(), firstRows_.end(), row);
  if (after != firstRows_.begin()) {
    const size_t i = static_cast<size_t>(after - firstRows_.begin()) - 1;
    if (row < firstRows_[i] + chain_[i].count) {
      *firstRow = firstRows_[i];
      return i;
    }
  }
  FailPlain(kErrNotFound, "Datensatz " + std::to_string(row + 1) + " existiert nicht.");
}

uint32_t RecordWriter::PartitionPoint(const std::function<bool(const uint8_t*)>& before) {
  UpdateFirstRows();
  // First block whose first record does not go before; an empty block counts as the next
  // block that is not.
  size_t lo = 0, hi = chain_.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    size_t probe = mid;
    while (probe < hi && chain_[probe].count == 0) ++probe;
    if (probe < hi && before(reinterpret_cast<const uint8_t*>(First(probe).data())))
      lo = probe + 1;
    else
      hi = mid;
  }
  if (lo == 0) return 0;
  // The point lies in the block before it, after that block's first record.
  const ChainBlock& c = chain_[lo - 1];
  const uint8_t* records = Block(c.block).data() + blk::kHeaderBytes;
  uint32_t first = 1, last = c.count;
  while (first < last) {
    const uint32_t mid = first + (last - first) / 2;
    if (before(records + size_t{mid} * header_.recordSize))
      first = mid + 1;
    else
      last = mid;
  }
  return firstRows_[lo - 1] + first;
}

void RecordWriter::Locate(uint32_t row, uint16_t* block, int* slot) const {
  uint32_t first = 0;
  const size_t i = ChainIndex(row, &first);
  *block = chain_[i].block;
  *slot = static_cast<int>(row - first);
}

const uint8_t* RecordWriter::Record(uint32_t row) {
  uint32_t first = 0;
  const size_t i = ChainIndex(row, &first);
  return Block(chain_[i].block).data() + blk::kHeaderBytes + size_t{row - first} * header_.recordSize;
}

void RecordWriter::SetCount(size_t ci, uint32_t count) {
  const uint16_t block = chain_[ci].block;
  std::vector<uint8_t>& bytes = Block(block);
  coding::PutU16(bytes.data() + blk::kLastRecordOffset,
                 static_cast<uint16_t>(BlockHeader::OffsetFor(static_cast<int>(count), header_.recordSize)));
  chain_[ci].count = count;
  ChainChanged(ci, false);
  dirty_[block] = true;
  RefreshFirst(ci);
}

uint16_t RecordWriter::NewBlock() {
  uint16_t b = header_.firstFreeBlock;
  if (b != 0) {
    std::vector<uint8_t>& bytes = Block(b);
    header_.firstFreeBlock = coding::GetU16(bytes.data() + blk::kNext);
    std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  } else {
    if (header_.fileBlocks >= kMaxBlockNumber)
      Fail(kErrUnsupported, path_, "Die Tabelle hat die Höchstzahl von 65535 Blöcken erreicht; eine größere Blockgröße ist nötig.");
    b = ++header_.fileBlocks;
    header_.maxBlocks = header_.fileBlocks;
    blocks_[b] = std::vector<uint8_t>(header_.BlockBytes(), 0);
  }
  dirty_[b] = true;
  return b;
}

void RecordWriter::FreeBlock(uint16_t block) {
  std::vector<uint8_t>& bytes = Block(block);
  BlockHeader bh;
  bh.next = header_.firstFreeBlock;
  bh.prev = 0;
  bh.lastRecordOffset = static_cast<int16_t>(-static_cast<int>(header_.recordSize));
  EncodeBlockHeader(bh, bytes.data());
  header_.firstFreeBlock = block;
  dirty_[block] = true;
}

void RecordWriter::LinkAfter(size_t ci, uint16_t block) {
  const uint16_t prev = chain_[ci].block;
  const uint16_t next = ci + 1 < chain_.size() ? chain_[ci + 1].block : 0;
  std::vector<uint8_t>& bytes = Block(block);
  coding::PutU16(bytes.data() + blk::kPrev, prev);
  coding::PutU16(bytes.data() + blk::kNext, next);
  coding::PutU16(Block(prev).data() + blk::kNext, block);
  dirty_[prev] = true;
  if (next != 0) {
    coding::PutU16(Block(next).data() + blk::kPrev, block);
    dirty_[next] = true;
  }
  chain_.insert(chain_.begin() + static_cast<long>(ci + 1), {block, 0, std::string(), true});
  ChainChanged(ci + 1, true);
  edits_.push_back({ci + 1, true});
  SetCount(ci + 1, 0);
}

void RecordWriter::Insert(uint32_t row, const uint8_t* record) {
  if (row > count_) FailPlain(kErrInvalidParam, "Einfügeposition außerhalb der Tabelle.");
  const size_t rs = header_.recordSize;
  truncateToHeader_ = false;
  if (chain_.empty()) {
    const uint16_t b = NewBlock();
    std::vector<uint8_t>& bytes = Block(b);
    BlockHeader bh;
    EncodeBlockHeader(bh, bytes.data());
    chain_.push_back({b, 0, std::string(), true});
    ChainChanged(0, true);
    edits_.push_back({0, true});
    SetCount(0, 0);
  }
  size_t ci;
  uint32_t slot;
  if (row == count_) {
    ci = chain_.size() - 1;
    slot = chain_[ci].count;
  } else {
    uint32_t first = 0;
    ci = ChainIndex(row, &first);
    slot = row - first;
    // Into the block of the key predecessor, keeping the first keys of the blocks.
    if (slot == 0 && ci > 0) {
      --ci;
      slot = chain_[ci].count;
    }
  }
  if (chain_[ci].count >= capacity_) {
    const uint16_t fresh = NewBlock();
    LinkAfter(ci, fresh);
    if (ci + 2 == chain_.size() && slot == chain_[ci].count) {
      // Appending behind a full last block: the new block takes the record.
      ++ci;
      slot = 0;
    } else {
      const uint32_t count = chain_[ci].count;
      const uint32_t half = count / 2;
      std::vector<uint8_t>& from = Block(chain_[ci].block);
      std::vector<uint8_t>& to = Block(fresh);
      std::memcpy(to.data() + blk::kHeaderBytes, from.data() + blk::kHeaderBytes + half * rs, (count - half) * rs);
      SetCount(ci + 1, count - half);
      SetCount(ci, half);
      NoteMoved(fresh, 0, count - half);
      if (slot > half) {
        ++ci;
        slot -= half;
      }
    }
  }
  const uint16_t b = chain_[ci].block;
  std::vector<uint8_t>& bytes = Block(b);
  uint8_t* base = bytes.data() + blk::kHeaderBytes;
  const uint32_t count = chain_[ci].count;
  std::memmove(base + (slot + 1) * rs, base + slot * rs, (count - slot) * rs);
  std::memcpy(base + slot * rs, record, rs);
  SetCount(ci, count + 1);
  ++count_;
}

void RecordWriter::Replace(uint32_t row, const uint8_t* record) {
  uint32_t first = 0;
  const size_t ci = ChainIndex(row, &first);
  std::vector<uint8_t>& bytes = Block(chain_[ci].block);
  std::memcpy(bytes.data() + blk::kHeaderBytes + size_t{row - first} * header_.recordSize, record, header_.recordSize);
  dirty_[chain_[ci].block] = true;
  if (row == first) RefreshFirst(ci);
}

void RecordWriter::Remove(uint32_t row) {
  uint32_t first = 0;
  const size_t ci = ChainIndex(row, &first);
  const size_t rs = header_.recordSize;
  const uint16_t b = chain_[ci].block;
  const uint32_t slot = row - first;
  const uint32_t count = chain_[ci].count;
  uint8_t* base = Block(b).data() + blk::kHeaderBytes;
  std::memmove(base + slot * rs, base + (slot + 1) * rs, (count - slot - 1) * rs);
  std::memset(base + (count - 1) * rs, 0, rs);
  SetCount(ci, count - 1);
  --count_;
  if (count > 1) {
    MergeWithNext(ci);
    return;
  }
  if (chain_.size() == 1) {
    // The last record went: back to a table without blocks.
    chain_.clear();
    ChainChanged(0, true);
    editsKnown_ = false;
    blocks_.clear();
    dirty_.clear();
    header_.fileBlocks = 0;
    header_.maxBlocks = 0;
    header_.firstFreeBlock = 0;
    truncateToHeader_ = true;
    return;
  }
  size_t gone = ci;
  if (ci == 0) {
    // The chain's first block stays; the second block's records move into it.
    const uint16_t second = chain_[1].block;
    const uint32_t n = chain_[1].count;
    std::memcpy(Block(b).data() + blk::kHeaderBytes, Block(second).data() + blk::kHeaderBytes, n * rs);
    SetCount(0, n);
    NoteMoved(b, 0, n);
    gone = 1;
  }
  const uint16_t victim = chain_[gone].block;
  const uint16_t prev = gone > 0 ? chain_[gone - 1].block : 0;
  const uint16_t next = gone + 1 < chain_.size() ? chain_[gone + 1].block : 0;
  if (prev) {
    coding::PutU16(Block(prev).data() + blk::kNext, next);
    dirty_[prev] = true;
  }
  if (next) {
    coding::PutU16(Block(next).data() + blk::kPrev, prev);
    dirty_[next] = true;
  }
  chain_.erase(chain_.begin() + static_cast<long>(gone));
  ChainChanged(gone, true);
  edits_.push_back({gone, false});
  FreeBlock(victim);
}

void RecordWriter::MergeWithNext(size_t ci) {
  // A block down to a quarter takes in its successor when both fit in half a block, so that
  // deletes do not leave long runs of nearly empty blocks.
  if (ci + 1 >= chain_.size()) return;
  const uint32_t here = chain_[ci].count;
  const uint32_t there = chain_[ci + 1].count;
  if (here > capacity_ / 4 || here + there > capacity_ / 2) return;
  const size_t rs = header_.recordSize;
  const uint16_t b = chain_[ci].block;
  const uint16_t victim = chain_[ci + 1].block;
  std::memcpy(Block(b).data() + blk::kHeaderBytes + here * rs, Block(victim).data() + blk::kHeaderBytes, there * rs);
  SetCount(ci, here + there);
  NoteMoved(b, here, there);
  const uint16_t next = ci + 2 < chain_.size() ? chain_[ci + 2].block : 0;
  coding::PutU16(Block(b).data() + blk::kNext, next);
  if (next) {
    coding::PutU16(Block(next).data() + blk::kPrev, b);
    dirty_[next] = true;
  }
  chain_.erase(chain_.begin() + static_cast<long>(ci + 1));
  ChainChanged(ci + 1, true);
  edits_.push_back({ci + 1, false});
  FreeBlock(victim);
}

std::vector<BlockEntry> RecordWriter::EntriesFrom(size_t from) const {
  UpdateFirstRows();
  std::vector<BlockEntry> out;
  out.reserve(chain_.size() - std::min(from, chain_.size()));
  for (size_t i = from; i < chain_.size(); ++i) out.push_back({chain_[i].block, firstRows_[i], chain_[i].count});
  return out;
}

std::vector<BlockEntry> RecordWriter::Blocks() const { return EntriesFrom(0); }

std::vector<TreeEntry> RecordWriter::BlockEntries(size_t keyBytes) {
  std::vector<TreeEntry> out;
  out.reserve(chain_.size());
  for (size_t i = 0; i < chain_.size(); ++i) out.push_back({First(i).substr(0, keyBytes), chain_[i].block, chain_[i].count});
  return out;
}

RecordWriter::CommittedChain RecordWriter::LastCommit() const {
  CommittedChain out;
  out.written = written_;
  out.keptRows = count_;
  if (committedFrom_ >= chain_.size()) return out;
  out.tail = EntriesFrom(committedFrom_);
  out.keptRows = out.tail.front().firstRow;
  return out;
}

bool RecordWriter::ChangedEntries(size_t keyBytes, std::vector<TreeEdit>* edits,
                                  std::vector<std::pair<size_t, TreeEntry>>* out) {
  out->clear();
  edits->clear();
  if (chainChanged_) {
    positions_.assign(size_t{header_.fileBlocks} + 1, SIZE_MAX);
    for (size_t i = 0; i < chain_.size(); ++i) positions_[chain_[i].block] = i;
    chainChanged_ = false;
  }
  const bool known = editsKnown_;
  editsKnown_ = true;
  edits->swap(edits_);
  edits_.clear();
  if (!known) {
    edits->clear();
    committed_.clear();
    return false;
  }
  for (uint16_t block : committed_) {
    if (block >= positions_.size() || positions_[block] == SIZE_MAX) continue;  // a free block
    const size_t i = positions_[block];
    out->push_back({i, {First(i).substr(0, keyBytes), chain_[i].block, chain_[i].count}});
  }
  committed_.clear();
  return true;
}

void RecordWriter::Commit(int changeCount2, int stamp2F, bool keysChanged) {
  written_.clear();
  for (const auto& [block, isDirty] : dirty_) {
    if (!isDirty) continue;
    const std::vector<uint8_t>& bytes = blocks_.at(block);
    file_->WriteAt(header_.BlockOffset(block), bytes.data(), bytes.size());
    committed_.insert(block);
    written_.push_back(block);
  }
  dirty_.clear();
  committedFrom_ = changedFrom_;
  changedFrom_ = SIZE_MAX;
  file_->Sync();
  header_.numRecords = count_;
  header_.usedBlocks = static_cast<uint16_t>(chain_.size());
  header_.firstBlock = chain_.empty() ? 0 : chain_.front().block;
  header_.lastBlock = chain_.empty() ? 0 : chain_.back().block;
  if (keysChanged) header_.changeCount1 = static_cast<uint8_t>(header_.changeCount1 + 1);
  header_.changeCount2 = static_cast<uint8_t>(changeCount2 >= 0 ? changeCount2 : header_.changeCount2 + 1);
  if (stamp2F >= 0) header_.stamp2F = static_cast<uint8_t>(stamp2F);
  header_.fileUpdateTime = static_cast<uint32_t>(std::time(nullptr));
  // Only the fixed part and the extension change; the rest of the header stays byte for byte.
  const size_t patched = header_.HasExtension() ? hdr::kExtensionEnd : hdr::kFixedPartEnd;
  std::vector<uint8_t> head(patched, 0);
  file_->ReadAt(0, head.data(), head.size());
  uint8_t* d = head.data();
  coding::PutU32(d + hdr::kNumRecords, header_.numRecords);
  coding::PutU16(d + hdr::kUsedBlocks, header_.usedBlocks);
  coding::PutU16(d + hdr::kFileBlocks, header_.fileBlocks);
  coding::PutU16(d + hdr::kFirstBlock, header_.firstBlock);
  coding::PutU16(d + hdr::kLastBlock, header_.lastBlock);
  coding::PutU16(d + hdr::kMaxBlocks, header_.maxBlocks);
  coding::PutU16(d + hdr::kFirstFreeBlock, header_.firstFreeBlock);
  coding::PutU32(d + hdr::kAutoInc, header_.autoInc);
  d[hdr::kChangeCount1] = header_.changeCount1;
  d[hdr::kChangeCount2] = header_.changeCount2;
  d[hdr::kStamp2F] = header_.stamp2F;
  if (header_.HasExtension()) coding::PutU32(d + hdr::kFileUpdateTime, header_.fileUpdateTime);
  file_->WriteAt(0, head.data(), head.size());
  file_->Sync();
  if (truncateToHeader_) {
    file_->Truncate(header_.headerSize);
    file_->Sync();
    truncateToHeader_ = false;
  }
  lastFixedPart_.assign(head.begin(), head.begin() + hdr::kFixedPartEnd);
  blocks_.clear();  // on disk now; keeping every block read would grow with the table
}

}  // namespace engine
