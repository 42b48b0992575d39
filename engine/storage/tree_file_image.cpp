#include "storage/tree_file_image.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "format/data_block.h"
#include "format/index_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/whole_file_reads.h"

namespace engine {

namespace {

// Bytes compared and written as one piece: small enough that one changed entry writes little.
constexpr size_t kPiece = 512;

// A file in memory that collects what the tree writer writes.
class MemoryFile : public File {
 public:
  explicit MemoryFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const override { return path_; }
  uint64_t Size() const override { return bytes.size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    if (offset >= bytes.size()) return 0;
    const size_t got = std::min<size_t>(n, bytes.size() - static_cast<size_t>(offset));
    std::memcpy(dst, bytes.data() + offset, got);
    return got;
  }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    if (bytes.size() < offset + n) bytes.resize(static_cast<size_t>(offset + n), 0);
    std::memcpy(bytes.data() + offset, src, n);
  }
  void Truncate(uint64_t size) override { bytes.resize(static_cast<size_t>(size), 0); }
  void Sync() override {}

  std::vector<uint8_t> bytes;

 private:
  std::string path_;
};

std::vector<uint8_t> FileBytes(FileSystem& fs, const std::string& path) {
  return AllBytes(*fs.Open(path, OpenMode::ReadOnly));
}

// Writes the pieces numbered in `pieces` (ascending) of `bytes`, runs of neighbours in one write.
void WritePieces(File& file, const std::vector<uint8_t>& bytes, const std::vector<size_t>& pieces) {
  for (size_t i = 0; i < pieces.size();) {
    size_t end = i + 1;
    while (end < pieces.size() && pieces[end] == pieces[end - 1] + 1) ++end;
    const size_t at = pieces[i] * kPiece;
    file.WriteAt(at, bytes.data() + at, std::min(pieces[end - 1] * kPiece + kPiece, bytes.size()) - at);
    i = end;
  }
}

bool SameEntry(const TreeEntry& a, const TreeEntry& b) {
  return a.key == b.key && a.child == b.child && a.count == b.count;
}

}  // namespace

std::vector<uint8_t> TreeFileImage::Lay(const TableHeader& header, std::vector<TreeEntry> level1) {
  MemoryFile built("");
  WriteTreeFile(built, header, level1);
  headerBytes_ = built.bytes.size() - Plan(header, std::move(level1)) * blockBytes_;
  return std::move(built.bytes);
}

size_t TreeFileImage::Plan(const TableHeader& header, std::vector<TreeEntry> level1) {
  // The same layout as WriteTreeFile's: block 1 is the root; below it the levels' blocks follow
  // level by level from level 1 up.
  header_ = header;
  recordSize_ = header.recordSize;
  blockBytes_ = header.BlockBytes();
  capacity_ = (blockBytes_ - blk::kHeaderBytes) / recordSize_;
  levels_.clear();
  levels_.push_back(std::move(level1));
  partStart_.clear();
  size_t blocks = levels_.front().empty() ? 0 : 1;
  uint16_t nextBlock = 2;
  while (levels_.back().size() > capacity_) {
    partStart_.push_back(nextBlock);
    std::vector<TreeEntry> upper;
    const std::vector<TreeEntry>& current = levels_.back();
    for (size_t i = 0; i < current.size(); i += capacity_ - 1) {
      const size_t end = std::min(current.size(), i + capacity_ - 1);
      uint32_t sum = 0;
      for (size_t k = i; k < end; ++k) sum += current[k].count;
      upper.push_back({current[i].key, nextBlock++, sum});
      ++blocks;
    }
    levels_.push_back(std::move(upper));
  }
  return blocks;
}

bool TreeFileImage::LaidOut(const std::vector<uint8_t>& bytes) const {
  size_t total = 0;
  for (const auto& level : levels_) total += level.size();
  const size_t blocks = (bytes.size() - headerBytes_) / blockBytes_;
  const std::vector<uint8_t> head = TreeFileHead(header_, static_cast<uint16_t>(blocks), static_cast<uint32_t>(total),
                                                 static_cast<uint8_t>(levels_.size()));
  if (head.size() != headerBytes_ || std::memcmp(head.data(), bytes.data(), headerBytes_) != 0) return false;
  std::vector<uint8_t> expected(blockBytes_);
  for (size_t level = 0; level < levels_.size(); ++level) {
    const std::vector<TreeEntry>& entries = levels_[level];
    const bool root = level + 1 == levels_.size();
    const size_t perBlock = root ? entries.size() : capacity_ - 1;
    for (size_t first = 0; first < entries.size(); first += perBlock) {
      const size_t n = std::min(perBlock, entries.size() - first);
      const size_t block = root ? 1 : partStart_[level] + first / perBlock;
      const uint8_t* at = bytes.data() + headerBytes_ + (block - 1) * blockBytes_;
      PutTreeBlockHeader(expected.data(), static_cast<uint16_t>(block), static_cast<uint16_t>(blocks), n,
                         static_cast<uint16_t>(recordSize_));
      // Level 1's entries were read from these very bytes, which give them back unchanged; the
      // entries above them are made from theirs.
      size_t laid = blk::kHeaderBytes;
      if (level > 0) {
        for (size_t k = first; k < first + n; ++k, laid += recordSize_) {
          const size_t keyBytes = recordSize_ - idx::kTrailerBytes;
          std::memset(expected.data() + laid, 0, recordSize_);
          std::memcpy(expected.data() + laid, entries[k].key.data(), std::min(keyBytes, entries[k].key.size()));
          PutTreeTrailer(expected.data() + laid + keyBytes, entries[k].child, entries[k].count);
        }
      }
      std::memset(expected.data() + blk::kHeaderBytes + n * recordSize_, 0,
                  blockBytes_ - blk::kHeaderBytes - n * recordSize_);
      if (std::memcmp(expected.data(), at, laid) != 0 ||
          std::memcmp(expected.data() + blk::kHeaderBytes + n * recordSize_, at + blk::kHeaderBytes + n * recordSize_,
                      blockBytes_ - blk::kHeaderBytes - n * recordSize_) != 0)
        return false;
    }
  }
  return true;
}

void TreeFileImage::Write(FileSystem& fs, const std::string& path, const TableHeader& header,
                          const std::vector<TreeEntry>& level1) {
  std::vector<uint8_t> next = Lay(header, level1);
  const bool exists = fs.Exists(path);
  if (exists && image_.empty()) image_ = FileBytes(fs, path);  // only what differs from the file is written
  if (!exists || next != image_) {
    auto file = fs.Open(path, exists ? OpenMode::ReadWrite : OpenMode::CreateTruncate);
    std::vector<size_t> pieces;
    for (size_t at = 0; at < next.size(); at += kPiece) {
      const size_t n = std::min(kPiece, next.size() - at);
      if (at + n > image_.size() || std::memcmp(next.data() + at, image_.data() + at, n) != 0)
        pieces.push_back(at / kPiece);
    }
    WritePieces(*file, next, pieces);
    if (file->Size() > next.size()) file->Truncate(next.size());
    file->Sync();
  }
  image_ = std::move(next);
}

bool TreeFileImage::Adopt(FileSystem& fs, const std::string& path, uint8_t stamp, const std::vector<BlockEntry>& chain) {
  std::vector<BlockEntry> named;
  if (!Take(fs, path, stamp, chain.size(), &named)) return false;
  for (size_t i = 0; i < chain.size(); ++i)
    if (named[i].block != chain[i].block || named[i].count != chain[i].count) {
      *this = TreeFileImage();
      return false;
    }
  return true;
}

bool TreeFileImage::AdoptChain(FileSystem& fs, const std::string& path, uint8_t stamp, size_t blocks,
                               std::vector<BlockEntry>* chain) {
  chain->clear();
  if (Take(fs, path, stamp, blocks, chain)) return true;
  chain->clear();
  return false;
}

bool TreeFileImage::Take(FileSystem& fs, const std::string& path, uint8_t stamp, size_t entries,
                         std::vector<BlockEntry>* chain) {
  if (entries == 0 || !fs.Exists(path)) return false;
  std::vector<uint8_t> bytes = FileBytes(fs, path);
  TableHeader header;
  try {
    header = DecodeTableHeader(bytes.data(), bytes.size(), path);
  } catch (const EDBEngineError&) {
    return false;
  }
  const size_t recordSize = header.recordSize;
  const size_t blockBytes = header.BlockBytes();
  if (header.stamp2C != stamp || recordSize <= idx::kTrailerBytes || blockBytes < blk::kHeaderBytes + 3 * recordSize) return false;
  // Where the level-1 entries of a tree over as many blocks lie: in the root when they fit,
  // otherwise in blocks 2, 3, … of capacity − 1 entries each, after which the upper levels follow.
  const size_t capacity = (blockBytes - blk::kHeaderBytes) / recordSize;
  size_t blocks = 1;
  for (size_t n = entries; n > capacity; n = (n + capacity - 2) / (capacity - 1)) blocks += (n + capacity - 2) / (capacity - 1);
  if (blocks > 0xFFFF || bytes.size() <= blocks * blockBytes) return false;  // block numbers are 16 bits
  const size_t headerBytes = bytes.size() - blocks * blockBytes;
  const size_t keyBytes = recordSize - idx::kTrailerBytes;
  std::vector<TreeEntry> level1;
  level1.reserve(entries);
  chain->reserve(entries);
  uint32_t firstRow = 0;
  const size_t perBlock = entries <= capacity ? entries : capacity - 1;
  for (size_t first = 0; first < entries; first += perBlock) {
    const size_t block = entries <= capacity ? 1 : 2 + first / perBlock;
    const uint8_t* p = bytes.data() + headerBytes + (block - 1) * blockBytes + blk::kHeaderBytes;
    for (size_t i = first; i < std::min(entries, first + perBlock); ++i, p += recordSize) {
      const uint8_t* trailer = p + keyBytes;
      const auto child = static_cast<uint16_t>(coding::DecodeFlippedInt(trailer + idx::kTrailerChild, idx::kShortBytes));
      const uint32_t count =
          static_cast<uint16_t>(coding::DecodeFlippedInt(trailer + idx::kTrailerCount, idx::kShortBytes)) |
          uint32_t{static_cast<uint16_t>(coding::DecodeFlippedInt(trailer + idx::kTrailerCountHigh, idx::kShortBytes))} << 16;
      level1.push_back({std::string(reinterpret_cast<const char*>(p), keyBytes), child, count});
      chain->push_back({child, firstRow, count});
      firstRow += count;
    }
  }
  headerBytes_ = headerBytes;
  if (Plan(header, std::move(level1)) != blocks || !LaidOut(bytes)) {
    *this = TreeFileImage();
    return false;
  }
  image_ = std::move(bytes);
  return true;
}

size_t TreeFileImage::EntryOffset(size_t level, size_t i) const {
  const bool root = level + 1 == levels_.size();
  const size_t block = root ? 1 : partStart_[level] + i / (capacity_ - 1);
  const size_t slot = root ? i : i % (capacity_ - 1);
  return headerBytes_ + (block - 1) * blockBytes_ + blk::kHeaderBytes + slot * recordSize_;
}

void TreeFileImage::Touch(size_t offset, size_t n, std::vector<size_t>* pieces) {
  for (size_t piece = offset / kPiece; piece <= (offset + n - 1) / kPiece; ++piece)
    if (pieces->empty() || pieces->back() != piece) pieces->push_back(piece);  // neighbours come in order
}

void TreeFileImage::LayEntry(size_t offset, const TreeEntry* entry) {
  uint8_t* p = image_.data() + offset;
  std::memset(p, 0, recordSize_);
  if (entry) {
    const size_t keyBytes = recordSize_ - idx::kTrailerBytes;
    std::memcpy(p, entry->key.data(), std::min(keyBytes, entry->key.size()));
    PutTreeTrailer(p + keyBytes, entry->child, entry->count);
  }
}

void TreeFileImage::PutEntry(size_t level, size_t i, const TreeEntry* entry, std::vector<size_t>* pieces) {
  const size_t offset = EntryOffset(level, i);
  LayEntry(offset, entry);
  Touch(offset, recordSize_, pieces);
}

void TreeFileImage::PutLevel1(size_t from, size_t to, std::vector<size_t>* pieces) {
  const std::vector<TreeEntry>& entries = levels_[0];
  const size_t perBlock = levels_.size() == 1 ? to : capacity_ - 1;  // the root holds them all
  for (size_t i = from; i < to;) {
    const size_t end = std::min(to, (i / perBlock + 1) * perBlock);
    const size_t first = EntryOffset(0, i);
    for (size_t k = i; k < end; ++k) LayEntry(first + (k - i) * recordSize_, k < entries.size() ? &entries[k] : nullptr);
    Touch(first, (end - i) * recordSize_, pieces);
    i = end;
  }
}

void TreeFileImage::SetEntry(size_t level, size_t i, const TreeEntry& entry, std::vector<size_t>* pieces) {
  TreeEntry& old = levels_[level][i];
  if (SameEntry(old, entry)) return;
  old = entry;
  PutEntry(level, i, &entry, pieces);
  if (level + 1 == levels_.size()) return;
  const size_t part = i / (capacity_ - 1);
  SetEntry(level + 1, part, Above(level, part), pieces);
}

TreeEntry TreeFileImage::Above(size_t level, size_t part) const {
  const std::vector<TreeEntry>& here = levels_[level];
  const size_t begin = part * (capacity_ - 1);
  const size_t end = std::min(here.size(), begin + capacity_ - 1);
  uint32_t sum = 0;
  for (size_t k = begin; k < end; ++k) sum += here[k].count;
  return {here[begin].key, levels_[level + 1][part].child, sum};
}

bool TreeFileImage::Update(FileSystem& fs, const std::string& path, uint8_t stamp, const std::vector<TreeEdit>& edits,
                           const std::vector<std::pair<size_t, TreeEntry>>& changed) {
  if (image_.size() <= hdr::kStamp2C || levels_.empty() || !fs.Exists(path)) return false;
  if (!edits.empty()) {
    // Entries joined or left: level 1 moves from the first of them on. The entries kept here
    // are changed in place; when that fails half way the caller's whole write lays them anew.
    size_t count = levels_[0].size();
    size_t from = count;
    for (const TreeEdit& e : edits) {
      if (e.position > count || (!e.joined && e.position == count)) return false;
      count = e.joined ? count + 1 : count - 1;
      from = std::min(from, e.position);
    }
    for (const auto& [i, entry] : changed) {
      if (i >= count) return false;
      from = std::min(from, i);
    }
    std::vector<TreeEntry>& level1 = levels_[0];
    const size_t before = level1.size();
    for (const TreeEdit& e : edits) {
      if (e.joined)
        level1.insert(level1.begin() + static_cast<long>(e.position), TreeEntry{});
      else
        level1.erase(level1.begin() + static_cast<long>(e.position));
    }
    for (const auto& [i, entry] : changed) level1[i] = entry;
    if (std::any_of(level1.begin() + static_cast<long>(from), level1.end(), [](const TreeEntry& e) { return e.child == 0; }))
      return false;
    std::vector<size_t> pieces;
    if (!Relay(before, from, &pieces)) {
      TableHeader header = header_;
      header.stamp2C = stamp;
      const std::vector<TreeEntry> entries = level1;
      Write(fs, path, header, entries);
      return true;
    }
    image_[hdr::kStamp2C] = stamp;
    pieces.push_back(hdr::kStamp2C / kPiece);
    Flush(fs, path, pieces);
    return true;
  }
  for (const auto& [i, entry] : changed)
    if (i >= levels_[0].size()) return false;
  std::vector<size_t> pieces;
  if (image_[hdr::kStamp2C] != stamp) {
    image_[hdr::kStamp2C] = stamp;
    pieces.push_back(hdr::kStamp2C / kPiece);
  }
  for (const auto& [i, entry] : changed) SetEntry(0, i, entry, &pieces);
  Flush(fs, path, pieces);
  return true;
}

bool TreeFileImage::Relay(size_t before, size_t from, std::vector<size_t>* pieces) {
  const std::vector<TreeEntry>& entries = levels_[0];
  // As many blocks on every level as before: the blocks stay where they are.
  std::vector<size_t> sizes{entries.size()};
  while (sizes.back() > capacity_) sizes.push_back((sizes.back() + capacity_ - 2) / (capacity_ - 1));
  if (entries.empty() || before == 0 || sizes.size() != levels_.size()) return false;
  for (size_t k = 1; k < sizes.size(); ++k)
    if (sizes[k] != levels_[k].size()) return false;
  PutLevel1(from, std::max(before, entries.size()), pieces);
  if (entries.size() != before) {
    // The last level-1 block holds a different number of entries.
    const size_t slots = levels_.size() == 1 ? entries.size() : (entries.size() - 1) % (capacity_ - 1) + 1;
    const size_t block = EntryOffset(0, entries.size() - 1) - blk::kHeaderBytes - (slots - 1) * recordSize_;
    coding::PutU16(image_.data() + block + blk::kLastRecordOffset,
                   static_cast<uint16_t>(BlockHeader::OffsetFor(static_cast<int>(slots), static_cast<uint16_t>(recordSize_))));
    Touch(block + blk::kLastRecordOffset, 2, pieces);
    size_t total = 0;
    for (const auto& level : levels_) total += level.size();
    coding::PutU32(image_.data() + hdr::kNumRecords, static_cast<uint32_t>(total));
    Touch(hdr::kNumRecords, 4, pieces);
  }
  // The entries above the blocks from the first changed one on: their first keys and counts.
  for (size_t level = 0; level + 1 < levels_.size(); ++level) {
    from /= capacity_ - 1;
    for (size_t part = from; part < levels_[level + 1].size(); ++part) {
      TreeEntry& above = levels_[level + 1][part];
      const TreeEntry entry = Above(level, part);
      if (SameEntry(above, entry)) continue;
      above = entry;
      PutEntry(level + 1, part, &above, pieces);
    }
  }
  return true;
}

void TreeFileImage::Flush(FileSystem& fs, const std::string& path, const std::vector<size_t>& pieces) {
  if (pieces.empty()) return;
  std::vector<size_t> sorted = pieces;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  auto file = fs.Open(path, OpenMode::ReadWrite);
  WritePieces(*file, image_, sorted);
  file->Sync();
}

}  // namespace engine
