#include "storage/chain_scan.h"

#include "format/data_block.h"
#include "io/file_system.h"
#include "storage/chain_window.h"

namespace engine {

namespace {

std::string BlockPlace(uint16_t block) { return "Block " + std::to_string(block); }

// Records a block header gives, -1 when its count is invalid or more than a block holds.
int CountIn(const BlockHeader& bh, const TableHeader& h) {
  const uint32_t room = h.BlockBytes() - static_cast<uint32_t>(blk::kHeaderBytes);
  if (h.recordSize == 0 || h.recordSize > room) return -1;
  const int count = bh.RecordCount(h.recordSize);
  return count > static_cast<int>(room / h.recordSize) ? -1 : count;
}

BlockHeader ReadBlockHeader(const File& file, const TableHeader& h, uint16_t block) {
  uint8_t raw[blk::kHeaderBytes] = {};
  file.ReadAt(h.BlockOffset(block), raw, sizeof raw);
  return DecodeBlockHeader(raw);
}

class Scanner {
 public:
  Scanner(const File& file, const TableHeader& header)
      : file_(file),
        h_(header),
        fileSize_(file.Size()),
        window_(file, fileSize_, header.BlockBytes(), ChainWindow::Reading::kInPlaceWhenLarge),
        state_(size_t{header.fileBlocks} + 1, kUnseen) {}

  ChainScan Run() {
    CheckSize();
    WalkChain();
    WalkFreeList();
    FindLost();
    return std::move(scan_);
  }

 private:
  enum State : uint8_t { kUnseen, kChain, kPastLast, kFree };

  void Problem(const std::string& place, const std::string& text) {
    scan_.problems.push_back({file_.Path(), place, text});
  }

  bool InFile(uint16_t block) const {
    return block >= 1 && block <= h_.fileBlocks && h_.BlockOffset(block) + blk::kHeaderBytes <= fileSize_;
  }

  // Only for blocks in the file (InFile).
  BlockHeader HeaderOf(uint16_t block) { return DecodeBlockHeader(window_.At(h_.BlockOffset(block), blk::kHeaderBytes)); }
  int CountOf(const BlockHeader& bh) const { return CountIn(bh, h_); }

  void CheckSize() {
    const uint64_t expected = h_.headerSize + uint64_t{h_.fileBlocks} * h_.BlockBytes();
    if (fileSize_ < expected)
      Problem("", "Die Datei ist " + std::to_string(expected - fileSize_) + " Bytes kürzer, als der Kopf mit " +
                      std::to_string(h_.fileBlocks) + " Blöcken angibt.");
    else if (fileSize_ >= expected + h_.BlockBytes())
      Problem("", "Die Datei ist " + std::to_string(fileSize_ - expected) + " Bytes länger, als der Kopf mit " +
                      std::to_string(h_.fileBlocks) + " Blöcken angibt.");
    if (h_.usedBlocks > h_.fileBlocks)
      Problem("", "Der Kopf nennt mehr belegte Blöcke (" + std::to_string(h_.usedBlocks) + ") als Blöcke (" +
                      std::to_string(h_.fileBlocks) + ").");
  }

  void WalkChain() {
    uint16_t block = h_.firstBlock;
    uint16_t previous = 0;
    uint32_t walked = 0;
    uint64_t records = 0;
    bool reachedLast = h_.firstBlock == 0;
    if (h_.firstBlock == 0 && h_.numRecords != 0)
      Problem("", "Der Kopf nennt " + std::to_string(h_.numRecords) + " Datensätze, aber keinen ersten Block.");
    while (block != 0) {
      if (!InFile(block)) {
        Problem(BlockPlace(previous), "Die Blockkette verweist auf Block " + std::to_string(block) +
                                          " außerhalb der Datei.");
        scan_.broken = true;
        break;
      }
      if (state_[block] != kUnseen) {
        Problem(BlockPlace(previous), "Die Blockkette enthält eine Schleife zurück zu Block " +
                                          std::to_string(block) + ".");
        scan_.broken = true;
        break;
      }
      const BlockHeader bh = HeaderOf(block);
      const int count = CountOf(bh);
      if (count < 0) {
        Problem(BlockPlace(block), "Der Blockkopf nennt eine ungültige Satzanzahl.");
        scan_.broken = true;
        break;
      }
      if (bh.prev != previous)
        Problem(BlockPlace(block), "Der Rückverweis nennt Block " + std::to_string(bh.prev) + " statt " +
                                       std::to_string(previous) + ".");
      state_[block] = kChain;
      scan_.chain.push_back(block);
      scan_.counts.push_back(static_cast<uint32_t>(count));
      ++walked;
      records += static_cast<uint64_t>(count);
      if (block == h_.lastBlock) {
        reachedLast = true;
        if (bh.next != 0) {
          Problem(BlockPlace(block), "Die Blockkette läuft über den letzten Block laut Kopf hinaus.");
          MarkPastLast(bh.next);
        }
        break;
      }
      previous = block;
      block = bh.next;
    }
    if (!scan_.broken && !reachedLast)
      Problem("", "Die Blockkette endet vor dem letzten Block laut Kopf (Block " + std::to_string(h_.lastBlock) + ").");
    if (scan_.broken) return;
    if (walked != h_.usedBlocks)
      Problem("", "Der Kopf nennt " + std::to_string(h_.usedBlocks) + " belegte Blöcke, die Blockkette hat " +
                      std::to_string(walked) + ".");
    if (records != h_.numRecords)
      Problem("", "Der Kopf nennt " + std::to_string(h_.numRecords) + " Datensätze, die Blockkette enthält " +
                      std::to_string(records) + ".");
  }

  // Blocks a chain reaches after the header's last block: left over from a later, unsaved state.
  void MarkPastLast(uint16_t block) {
    while (block != 0 && InFile(block) && state_[block] == kUnseen) {
      state_[block] = kPastLast;
      block = HeaderOf(block).next;
    }
  }

  void WalkFreeList() {
    uint16_t block = h_.firstFreeBlock;
    uint16_t previous = 0;
    while (block != 0) {
      const std::string where = previous == 0 ? std::string() : BlockPlace(previous);
      if (!InFile(block)) {
        Problem(where, "Die Freiliste verweist auf Block " + std::to_string(block) + " außerhalb der Datei.");
        return;
      }
      if (state_[block] == kFree) {
        Problem(where, "Die Freiliste enthält eine Schleife zurück zu Block " + std::to_string(block) + ".");
        return;
      }
      if (state_[block] == kChain) {
        Problem(BlockPlace(block), "Der Block steht zugleich in der Blockkette und in der Freiliste.");
        return;
      }
      state_[block] = kFree;
      previous = block;
      block = HeaderOf(block).next;
    }
  }

  void FindLost() {
    for (uint32_t b = 1; b <= h_.fileBlocks; ++b) {
      const auto block = static_cast<uint16_t>(b);
      if (state_[b] != kUnseen || !InFile(block)) continue;
      const int count = CountOf(HeaderOf(block));
      if (count <= 0) continue;  // an empty block outside the lists holds nothing to lose
      scan_.lost.push_back(block);
      Problem(BlockPlace(block), "Der Block mit " + std::to_string(count) +
                                     (count == 1 ? " Datensatz" : " Datensätzen") + " gehört weder zur Blockkette noch zur Freiliste.");
    }
  }

  const File& file_;
  const TableHeader& h_;
  uint64_t fileSize_;
  ChainWindow window_;
  std::vector<State> state_;
  ChainScan scan_;
};

}  // namespace

ChainScan ScanChain(const File& file, const TableHeader& header) { return Scanner(file, header).Run(); }

std::vector<std::pair<uint16_t, uint32_t>> ChainWithCounts(const ChainScan& scan) {
  std::vector<std::pair<uint16_t, uint32_t>> out;
  out.reserve(scan.chain.size());
  for (size_t i = 0; i < scan.chain.size(); ++i) out.emplace_back(scan.chain[i], scan.counts[i]);
  return out;
}

int BlockRecordCount(const File& file, const TableHeader& header, uint16_t block) {
  if (block == 0 || header.BlockOffset(block) + blk::kHeaderBytes > file.Size()) return -1;
  return CountIn(ReadBlockHeader(file, header, block), header);
}

}  // namespace engine
