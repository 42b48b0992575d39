#include "storage/index_builder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <system_error>

#include "format/code_page.h"
#include "format/data_block.h"
#include "format/index_block.h"
#include "format/upper_case.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"

namespace engine {

void PutTreeTrailer(uint8_t* p, uint16_t child, uint32_t count) {
  coding::EncodeFlippedInt(static_cast<int16_t>(child), p + idx::kTrailerChild, idx::kShortBytes);
  coding::EncodeFlippedInt(static_cast<int16_t>(count & 0xFFFF), p + idx::kTrailerCount, idx::kShortBytes);
  coding::EncodeFlippedInt(static_cast<int16_t>(count >> 16), p + idx::kTrailerCountHigh, idx::kShortBytes);
}

namespace {

size_t FieldOffset(const TableDefinition& def, int field) {
  size_t offset = 0;
  for (int i = 0; i < field; ++i) offset += def.fields[static_cast<size_t>(i)].RecordBytes();
  return offset;
}

}  // namespace

void WriteLayoutFirst(File& file, const TableHeader& header) {
  const std::vector<uint8_t> head = EncodeTableHeader(header);
  file.WriteAt(0, head.data(), head.size());
}

namespace {

// Blocks gathered for one write: about 1 MiB, at least one block.
uint32_t BatchBlocks(uint32_t blockBytes) { return std::max<uint32_t>(1, (uint32_t{1} << 20) / blockBytes); }

}  // namespace

BulkBlockWriter::BulkBlockWriter(File& file, uint16_t recordSize, uint32_t blockBytes,
                                 uint32_t headerSize, size_t keyBytes)
    : file_(file),
      recordSize_(recordSize),
      blockBytes_(blockBytes),
      headerSize_(headerSize),
      capacity_((blockBytes - blk::kHeaderBytes) / recordSize),
      keyBytes_(std::min<size_t>(keyBytes, recordSize)),
      batchBlocks_(BatchBlocks(blockBytes)),
      batch_(size_t{batchBlocks_} * blockBytes, 0) {}

BulkBlockWriter::~BulkBlockWriter() {
  if (writing_.valid()) writing_.wait();
}

void BulkBlockWriter::AwaitWrite() {
  if (!writing_.valid()) return;
  try {
    writing_.get();
  } catch (const EDBEngineError& e) {
    RecordFailure(e.ErrorCode(), e.what());  // this thread's failure text, as if raised here
    throw;
  }
}

void BulkBlockWriter::WriteBatch(uint64_t offset, size_t bytes) {
  AwaitWrite();
  const auto write = [&file = file_, offset, bytes](const uint8_t* data) {
    file.WriteAt(offset, data, bytes);
    file.StartWriteBack(offset, bytes);
  };
  if (file_.WritableFromAnyThread()) {
    if (spare_.size() != batch_.size()) spare_.resize(batch_.size());
    try {
      writing_ = std::async(std::launch::async, write, batch_.data());
      batch_.swap(spare_);
      return;
    } catch (const std::system_error&) {
      // No thread to be had: written here.
    }
  }
  write(batch_.data());
}

uint8_t* BulkBlockWriter::CurrentBlock() { return batch_.data() + size_t{inBatch_} * blockBytes_; }

void BulkBlockWriter::FlushBlock(bool last) {
  BlockHeader bh;
  bh.next = last ? 0 : static_cast<uint16_t>(current_ + 1);
  bh.prev = static_cast<uint16_t>(current_ - 1);
  bh.lastRecordOffset = BlockHeader::OffsetFor(inBlock_, recordSize_);
  uint8_t* block = CurrentBlock();
  EncodeBlockHeader(bh, block);
  const size_t used = blk::kHeaderBytes + size_t{recordSize_} * static_cast<size_t>(inBlock_);
  std::memset(block + used, 0, blockBytes_ - used);  // what an earlier batch left there
  counts_.push_back(static_cast<uint32_t>(inBlock_));
  inBlock_ = 0;
  if (++inBatch_ < batchBlocks_ && !last) return;
  // The batch's blocks are consecutive, ending with the current one.
  const size_t bytes = size_t{inBatch_} * blockBytes_;
  const uint64_t first = current_ + 1u - inBatch_;
  WriteBatch(headerSize_ + (first - 1) * blockBytes_, bytes);
  inBatch_ = 0;
}

uint16_t BulkBlockWriter::Add(const uint8_t* record, int* slot) {
  if (current_ == 0 || static_cast<uint32_t>(inBlock_) == capacity_) {
    // Block numbers are 16 bits: one more block would be numbered 0 and land before the file.
    if (current_ == UINT16_MAX)
      Fail(kErrUnsupported, file_.Path(), "Die Tabelle bräuchte mehr als 65535 Blöcke; eine größere Blockgröße ist nötig.");
    if (current_ != 0) FlushBlock(false);
    ++current_;
    firstKeys_.append(reinterpret_cast<const char*>(record), keyBytes_);
  }
  std::memcpy(CurrentBlock() + blk::kHeaderBytes + size_t{recordSize_} * static_cast<size_t>(inBlock_), record,
              recordSize_);
  if (slot) *slot = inBlock_;
  ++inBlock_;
  ++records_;
  return current_;
}

std::vector<TreeEntry> BulkBlockWriter::Finish(size_t keyBytes) {
  if (current_ != 0) FlushBlock(true);
  AwaitWrite();
  // Room for what is written next.
  std::vector<uint8_t>().swap(spare_);
  std::vector<uint8_t>().swap(batch_);
  std::vector<TreeEntry> entries;
  entries.reserve(counts_.size());
  for (size_t i = 0; i < counts_.size(); ++i) {
    std::string key = firstKeys_.substr(i * keyBytes_, std::min(keyBytes, keyBytes_));
    key.resize(keyBytes);
    entries.push_back({std::move(key), static_cast<uint16_t>(i + 1), counts_[i]});
  }
  std::string().swap(firstKeys_);
  std::vector<uint32_t>().swap(counts_);
  return entries;
}

namespace {

// Counters of a file whose n blocks form the chain 1 → 2 → … → n with no free block.
void SetChainCounters(TableHeader& header, uint16_t n, uint32_t records) {
  header.numRecords = records;
  header.usedBlocks = n;
  header.fileBlocks = n;
  header.maxBlocks = n;
  header.firstBlock = n ? 1 : 0;
  header.lastBlock = n;
  header.firstFreeBlock = 0;
}

}  // namespace

void SetBulkCounters(TableHeader& header, const std::vector<TreeEntry>& blocks, uint32_t records) {
  SetChainCounters(header, static_cast<uint16_t>(blocks.size()), records);
}

std::vector<uint8_t> TreeFileHead(TableHeader header, uint16_t blocks, uint32_t entries, uint8_t levels) {
  SetChainCounters(header, blocks, entries);
  header.indexRoot = 1;
  header.numIndexLevels = levels;
  return EncodeTableHeader(header);
}

void PutTreeBlockHeader(uint8_t* p, uint16_t block, uint16_t blocks, size_t entries, uint16_t recordSize) {
  BlockHeader bh;
  bh.next = block < blocks ? static_cast<uint16_t>(block + 1) : 0;
  bh.prev = static_cast<uint16_t>(block - 1);
  bh.lastRecordOffset = BlockHeader::OffsetFor(static_cast<int>(entries), recordSize);
  EncodeBlockHeader(bh, p);
}

void WriteTreeFile(File& file, TableHeader header, const std::vector<TreeEntry>& level1) {
  const uint16_t recordSize = header.recordSize;
  const uint32_t blockBytes = header.BlockBytes();
  const size_t keyBytes = recordSize - idx::kTrailerBytes;
  const size_t capacity = (blockBytes - blk::kHeaderBytes) / recordSize;
  // The entries of one block: a stretch of a level.
  struct Stretch {
    const std::vector<TreeEntry>* level;
    size_t begin;
    size_t end;
  };
  // Blocks in file order; block 1 is the root. The levels above the first are built here.
  std::vector<Stretch> blocks;
  std::vector<std::unique_ptr<std::vector<TreeEntry>>> upperLevels;
  uint32_t total = static_cast<uint32_t>(level1.size());
  uint8_t levels = level1.empty() ? 0 : 1;
  const std::vector<TreeEntry>* current = &level1;
  if (current->size() > capacity) {
    blocks.push_back({});  // the root, filled last
    while (current->size() > capacity) {
      auto upper = std::make_unique<std::vector<TreeEntry>>();
      for (size_t i = 0; i < current->size(); i += capacity - 1) {
        const size_t end = std::min(current->size(), i + capacity - 1);
        uint32_t sum = 0;
        for (size_t k = i; k < end; ++k) sum += (*current)[k].count;
        upper->push_back({(*current)[i].key, static_cast<uint16_t>(blocks.size() + 1), sum});
        blocks.push_back({current, i, end});
      }
      total += static_cast<uint32_t>(upper->size());
      ++levels;
      current = upper.get();
      upperLevels.push_back(std::move(upper));
    }
    blocks.front() = {current, 0, current->size()};
  } else if (!current->empty()) {
    blocks.push_back({current, 0, current->size()});
  }
  const uint16_t n = static_cast<uint16_t>(blocks.size());
  const std::vector<uint8_t> head = TreeFileHead(header, n, total, levels);
  file.Truncate(0);
  file.WriteAt(0, head.data(), head.size());
  std::vector<uint8_t> block(blockBytes);
  for (uint16_t b = 1; b <= n; ++b) {
    std::fill(block.begin(), block.end(), uint8_t{0});
    const Stretch& entries = blocks[b - 1u];
    PutTreeBlockHeader(block.data(), b, n, entries.end - entries.begin, recordSize);
    uint8_t* p = block.data() + blk::kHeaderBytes;
    for (size_t k = entries.begin; k < entries.end; ++k) {
      const TreeEntry& e = (*entries.level)[k];
      std::memcpy(p, e.key.data(), std::min(keyBytes, e.key.size()));
      PutTreeTrailer(p + keyBytes, e.child, e.count);
      p += recordSize;
    }
    file.WriteAt(head.size() + uint64_t{b - 1u} * blockBytes, block.data(), block.size());
  }
}

size_t IndexFieldBytes(const TableDefinition& def, const SecondaryDef& index) {
  size_t n = 0;
  for (int f : index.fields) n += def.fields[static_cast<size_t>(f)].RecordBytes();
  return n;
}

SecondaryRecordLayout::SecondaryRecordLayout(const TableDefinition& def, const SecondaryDef& index)
    : upper_(index.caseInsensitive ? &UpperCaseTable(CodePage::Get(def.codePage).Number()) : nullptr),
      maintained_(IsMaintained(def, index)),
      keyBytes_(def.KeyBytes()),
      recordSize_(def.RecordSize()) {
  for (int field : index.fields) {
    const FieldInfo& f = def.fields[static_cast<size_t>(field)];
    fields_.push_back({FieldOffset(def, field), f.RecordBytes(), f.type == PxType::Alpha && upper_ != nullptr});
  }
}

void SecondaryRecordLayout::Encode(const uint8_t* record, uint16_t block, int slot, uint32_t recordNumber,
                                   uint8_t* out) const {
  uint8_t* p = out;
  for (const Field& f : fields_) {
    std::memcpy(p, record + f.offset, f.bytes);
    // A case-insensitive index holds its alpha values upper-cased and cut at their end, as its
    // readers search them.
    if (f.fold) {
      uint8_t* end = std::find(p, p + f.bytes, uint8_t{0});
      std::fill(end, p + f.bytes, uint8_t{0});
      for (uint8_t* c = p; c != end; ++c) *c = (*upper_)[*c];
    }
    p += f.bytes;
  }
  if (maintained_) {
    std::memcpy(p, record, keyBytes_);
    coding::EncodeFlippedInt(static_cast<int16_t>(block), p + keyBytes_, idx::kBlockNumberBytes);
  } else {
    coding::EncodeFlippedInt(static_cast<int32_t>(recordNumber + 1), p + idx::kTupleNumber, idx::kLongBytes);
    coding::EncodeFlippedInt(static_cast<int16_t>(block), p + idx::kTupleBlock, idx::kShortBytes);
    const int offset = slot * recordSize_;  // the record's byte offset in its block
    coding::EncodeFlippedInt(static_cast<int16_t>(offset), p + idx::kTupleOffset, idx::kShortBytes);
  }
}

SecondaryRecord MakeSecondaryRecord(const TableDefinition& def, const SecondaryDef& index,
                                    const TableHeader& x, const uint8_t* record, uint16_t block,
                                    int slot, uint32_t recordNumber) {
  SecondaryRecord out;
  out.bytes.assign(x.recordSize, '\0');
  SecondaryRecordLayout(def, index).Encode(record, block, slot, recordNumber, reinterpret_cast<uint8_t*>(out.bytes.data()));
  const std::array<uint8_t, 256>* upper =
      index.caseInsensitive ? &UpperCaseTable(CodePage::Get(def.codePage).Number()) : nullptr;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const int field = index.fields[i];
    const FieldInfo& f = def.fields[static_cast<size_t>(field)];
    std::string key(reinterpret_cast<const char*>(record + FieldOffset(def, field)), f.RecordBytes());
    if (f.type == PxType::Alpha) {
      const size_t end = key.find('\0');
      if (end != std::string::npos) std::fill(key.begin() + static_cast<long>(end), key.end(), '\0');
      if (upper)
        for (char& c : key) c = static_cast<char>((*upper)[static_cast<uint8_t>(c)]);
    }
    if (index.descending[i])
      for (char& c : key) c = static_cast<char>(~static_cast<uint8_t>(c));
    out.sortKey += key;
  }
  if (IsMaintained(def, index)) {
    out.sortKey.append(reinterpret_cast<const char*>(record), def.KeyBytes());
  } else {
    uint8_t number[idx::kLongBytes];
    coding::EncodeFlippedInt(static_cast<int32_t>(recordNumber), number, idx::kLongBytes);
    out.sortKey.append(reinterpret_cast<const char*>(number), idx::kLongBytes);
  }
  return out;
}

bool SortSecondaryRecords(std::vector<SecondaryRecord>& records, bool unique, size_t indexBytes) {
  std::sort(records.begin(), records.end(),
            [](const SecondaryRecord& a, const SecondaryRecord& b) { return a.sortKey < b.sortKey; });
  if (!unique) return true;
  for (size_t i = 1; i < records.size(); ++i)
    if (records[i].sortKey.compare(0, indexBytes, records[i - 1].sortKey, 0, indexBytes) == 0) return false;
  return true;
}

}  // namespace engine
