#include "storage/tree_check.h"

#include <iterator>
#include <memory>
#include <set>

#include "format/data_block.h"
#include "format/index_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"

namespace engine {

namespace {

struct Entry {
  std::string key;
  uint16_t child = 0;
  uint64_t count = 0;
};

class TreeChecker {
 public:
  TreeChecker(FileSystem& fs, const std::string& path, const std::vector<BlockEntry>& blocks,
              const std::vector<std::string>& firstKeys, size_t keyBytes, std::vector<TableProblem>& problems)
      : fs_(fs), path_(path), blocks_(blocks), firstKeys_(firstKeys), keyBytes_(keyBytes), problems_(problems) {}

  void Run() {
    try {
      file_ = fs_.Open(path_, OpenMode::ReadOnly);
      h_ = ReadFileHeader(*file_, path_);
    } catch (const EDBEngineError& e) {
      Problem("", std::string("Der Kopf kann nicht gelesen werden: ") + e.what());
      return;
    }
    if (!h_.IsIndexTree() || h_.recordSize != keyBytes_ + idx::kTrailerBytes) {
      Problem("", "Die Datei ist kein Index über diese Daten (Art oder Satzlänge passen nicht).");
      return;
    }
    std::vector<Entry> level1;
    level1.reserve(blocks_.size());  // one entry per data block, in a sound tree
    if (h_.fileBlocks != 0 && h_.numIndexLevels != 0) {
      if (!Descend(h_.indexRoot, h_.numIndexLevels, "", &level1, nullptr)) return;
    }
    CompareWithData(level1);
    if (entries_ != h_.numRecords)
      Problem("", "Der Kopf nennt " + std::to_string(h_.numRecords) + " Indexeinträge, der Baum hat " +
                      std::to_string(entries_) + ".");
  }

 private:
  void Problem(const std::string& place, const std::string& text) { problems_.push_back({path_, place, text}); }
  // Places, worded only for a problem.
  static std::string BlockPlace(uint16_t block) { return "Block " + std::to_string(block); }
  static std::string EntryPlace(size_t i) { return "Eintrag " + std::to_string(i + 1); }

  // Reads the entries of tree block `block`; false (with a problem) when it cannot be read.
  bool ReadEntries(uint16_t block, std::vector<Entry>* out) {
    if (block == 0 || block > h_.fileBlocks || !visited_.insert(block).second) {
      Problem(BlockPlace(block), "Der Indexbaum verweist auf einen ungültigen oder schon besuchten Block.");
      return false;
    }
    std::vector<uint8_t> bytes(h_.BlockBytes());
    const size_t got = file_->ReadAt(h_.BlockOffset(block), bytes.data(), bytes.size());
    const int count = got < blk::kHeaderBytes ? -1 : DecodeBlockHeader(bytes.data()).RecordCount(h_.recordSize);
    if (count < 0 || blk::kHeaderBytes + static_cast<size_t>(count) * h_.recordSize > got) {
      Problem(BlockPlace(block), "Der Indexblock ist abgeschnitten oder sein Kopf ist beschädigt.");
      return false;
    }
    for (int i = 0; i < count; ++i) {
      const uint8_t* p = bytes.data() + blk::kHeaderBytes + static_cast<size_t>(i) * h_.recordSize;
      const uint8_t* t = p + keyBytes_;
      Entry e;
      e.key.assign(reinterpret_cast<const char*>(p), keyBytes_);
      e.child = static_cast<uint16_t>(coding::DecodeFlippedInt(t + idx::kTrailerChild, idx::kShortBytes));
      const auto low = static_cast<uint16_t>(coding::DecodeFlippedInt(t + idx::kTrailerCount, idx::kShortBytes));
      const auto high = static_cast<uint16_t>(coding::DecodeFlippedInt(t + idx::kTrailerCountHigh, idx::kShortBytes));
      e.count = uint64_t{high} << 16 | low;
      out->push_back(std::move(e));
    }
    entries_ += static_cast<uint64_t>(count);
    return true;
  }

  // Walks the subtree of `block` at `level`, appending its level-1 entries; checks that the
  // entry above it (`key`, `*count`) agrees with the block's first key and total count.
  bool Descend(uint16_t block, int level, const std::string& key, std::vector<Entry>* level1,
               const uint64_t* count) {
    std::vector<Entry> entries;
    if (!ReadEntries(block, &entries)) return false;
    uint64_t total = 0;
    for (const Entry& e : entries) total += e.count;
    if (count && (entries.empty() || entries.front().key != key || total != *count)) {
      Problem(BlockPlace(block),
              "Der Eintrag der Ebene darüber passt nicht zum ersten Schlüssel oder zur Satzzahl des Blocks.");
      return false;
    }
    if (level == 1) {
      level1->insert(level1->end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
      return true;
    }
    for (const Entry& e : entries)
      if (!Descend(e.child, level - 1, e.key, level1, &e.count)) return false;
    return true;
  }

  void CompareWithData(const std::vector<Entry>& level1) {
    const auto& blocks = blocks_;
    for (size_t i = 0; i < level1.size() && i < blocks.size(); ++i) {
      const Entry& e = level1[i];
      if (e.child != blocks[i].block || e.count != blocks[i].count) {
        Problem(EntryPlace(i), "Der Index nennt Block " + std::to_string(e.child) + " mit " + std::to_string(e.count) +
                                   " Datensätzen, die Daten haben an dieser Stelle Block " +
                                   std::to_string(blocks[i].block) + " mit " + std::to_string(blocks[i].count) + ".");
        return;
      }
      if (i >= firstKeys_.size() || firstKeys_[i] != e.key) {
        Problem(EntryPlace(i), "Der Schlüssel im Index ist nicht der des ersten Datensatzes von Block " +
                                   std::to_string(e.child) + ".");
        return;
      }
    }
    if (level1.size() != blocks.size())
      Problem("", "Der Index hat " + std::to_string(level1.size()) + " Einträge für Datenblöcke, die Daten haben " +
                      std::to_string(blocks.size()) + " Blöcke mit Datensätzen: er ist veraltet.");
  }

  FileSystem& fs_;
  const std::string& path_;
  const std::vector<BlockEntry>& blocks_;
  const std::vector<std::string>& firstKeys_;
  size_t keyBytes_;
  std::vector<TableProblem>& problems_;
  TableHeader h_;
  std::unique_ptr<File> file_;
  std::set<uint16_t> visited_;
  uint64_t entries_ = 0;
};

}  // namespace

void CheckTree(FileSystem& fs, const std::string& treePath, const std::vector<BlockEntry>& blocks,
               const std::vector<std::string>& firstKeys, size_t keyBytes, std::vector<TableProblem>& problems) {
  TreeChecker(fs, treePath, blocks, firstKeys, keyBytes, problems).Run();
}

}  // namespace engine
