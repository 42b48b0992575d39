#include "family/index_checks.h"

#include <algorithm>
#include <utility>

#include "family/table_cursor.h"
#include "format/index_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/chain_scan.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "storage/secondary_index.h"
#include "storage/sequential_blocks.h"
#include "storage/tree_check.h"

namespace engine {

namespace {

void CheckPrimaryIndex(TableCursor& c, const std::vector<std::string>& firstKeys,
                       std::vector<TableProblem>& problems) {
  if (c.Header().primaryKeyFields == 0) return;
  const std::string name = FindFileIgnoringCase(c.Fs(), c.Directory(), c.BaseName() + ".PX");
  const std::string path = c.Directory() + name;
  if (!c.Fs().Exists(path)) {
    problems.push_back({path, "", "Der Primärindex der Tabelle mit Schlüssel fehlt."});
    return;
  }
  CheckTree(c.Fs(), path, c.Data(), firstKeys, c.Header().KeyBytes(), problems);
}

// The data block of every row.
std::vector<uint16_t> BlockOfEachRow(const DataFile& data) {
  std::vector<uint16_t> blocks(data.RecordCount());
  for (const BlockEntry& b : data.Blocks()) std::fill_n(blocks.begin() + b.firstRow, b.count, b.block);
  return blocks;
}

// A maintained index entry ends in the number of the data block holding its record; names the
// first entry whose block number is wrong and how many are. Fed the index file's blocks in order.
class BlockHintCheck {
 public:
  BlockHintCheck(const std::vector<uint32_t>& order, const DataFile& data, uint16_t entrySize)
      : order_(order), blockOf_(BlockOfEachRow(data)), size_(entrySize) {}

  void Block(const uint8_t* records, uint32_t count) {
    for (uint32_t i = 0; i < count && entry_ < order_.size(); ++i, ++entry_) {
      const uint8_t* hint = records + static_cast<size_t>(i + 1) * size_ - idx::kBlockNumberBytes;
      const auto stored = static_cast<uint16_t>(coding::DecodeFlippedInt(hint, idx::kBlockNumberBytes));
      const uint16_t actual = blockOf_[order_[entry_]];
      if (stored == actual) continue;
      if (wrong_++ == 0)
        first_ = "Eintrag " + std::to_string(entry_ + 1) + " nennt Block " + std::to_string(stored) +
                 ", sein Datensatz liegt in Block " + std::to_string(actual);
    }
  }

  void Report(const std::string& path, std::vector<TableProblem>& problems) const {
    if (wrong_ > 0)
      problems.push_back({path, "", "Die Blocknummern von " + std::to_string(wrong_) +
                                        " Einträgen sind veraltet (" + first_ + ")."});
  }

 private:
  const std::vector<uint32_t>& order_;
  const std::vector<uint16_t> blockOf_;
  uint16_t size_;
  size_t entry_ = 0;
  uint64_t wrong_ = 0;
  std::string first_;
};

// The tree file over a secondary data file: .X06 → .Y06, .XG0 → .YG0.
std::string TreePathOf(TableCursor& c, const std::string& dataPath) {
  std::string ext = ExtensionOf(FileNameOf(dataPath));
  if (!ext.empty()) ext[0] = ext[0] == 'x' ? 'y' : 'Y';
  return c.Directory() + FindFileIgnoringCase(c.Fs(), c.Directory(), c.BaseName() + "." + ext);
}

void CheckSecondary(TableCursor& c, const SecondaryIndex& index, std::optional<SecondaryRows>& gathered,
                    std::vector<TableProblem>& problems) {
  TableHeader xh;
  try {
    xh = ReadFileHeader(c.Fs(), index.path);
  } catch (const EDBEngineError& e) {
    problems.push_back({index.path, "", std::string("Die Indexdatei kann nicht gelesen werden: ") + e.what()});
    return;
  }
  auto file = c.Fs().Open(index.path, OpenMode::ReadOnly);
  ChainScan scan = ScanChain(*file, xh);
  problems.insert(problems.end(), scan.problems.begin(), scan.problems.end());
  if (scan.broken) return;
  std::string note;
  std::vector<uint32_t> order;
  try {
    order = gathered ? SecondaryOrder(c.Fs(), index, std::move(*gathered), c.Data().Blocks(), &note)
                     : SecondaryOrder(c.Fs(), index, c.Data(), &note);
  } catch (const EDBEngineError& e) {
    note = e.what();
  }
  if (!note.empty()) problems.push_back({index.path, "", note});
  DataFile x(std::move(file), xh);
  const std::string treePath = TreePathOf(c, index.path);
  const bool hasTree = c.Fs().Exists(treePath);
  const size_t keyBytes = xh.recordSize - idx::kLastFieldBytes;
  // One pass over the entries: their block numbers and the first key of each block for the tree.
  std::optional<BlockHintCheck> hints;
  if (note.empty() && index.maintained && c.RowCount() > 0) hints.emplace(order, c.Data(), xh.recordSize);
  std::vector<std::string> firstKeys;
  if (hints || hasTree) {
    SequentialBlocks blocks(c.Fs(), x);
    for (size_t b = 0; b < x.Blocks().size(); ++b) {
      const uint8_t* records = blocks.Records(b);
      if (hints) hints->Block(records, x.Blocks()[b].count);
      firstKeys.emplace_back(reinterpret_cast<const char*>(records), keyBytes);
    }
  }
  if (hints) hints->Report(x.Path(), problems);
  if (!hasTree) {
    if (index.maintained) problems.push_back({treePath, "", "Der Indexbaum zur Indexdatei fehlt."});
    return;
  }
  CheckTree(c.Fs(), treePath, x, firstKeys, keyBytes, problems);
}

}  // namespace

// Most bytes of rows gathered during the record pass for the secondary indexes together; an
// index beyond it reads the data again when it is checked.
constexpr size_t kGatheredBytes = size_t{128} << 20;

IndexChecks::IndexChecks(TableCursor& c) : c_(c) {
  size_t bytes = 0;
  for (const SecondaryIndex& index : c.Secondaries()) {
    auto& rows = gathered_.emplace_back();
    if (bytes > kGatheredBytes) continue;
    rows.emplace(index, c.Header(), c.RowCount());
    bytes += rows->Bytes();
    if (bytes > kGatheredBytes) rows.reset();
  }
}

void IndexChecks::Take(uint32_t row, const uint8_t* record) {
  for (auto& rows : gathered_)
    if (rows) rows->Add(row, record);
  ++taken_;
}

void IndexChecks::Run(const std::vector<std::string>& firstKeys, std::vector<TableProblem>& problems) {
  try {
    CheckPrimaryIndex(c_, firstKeys, problems);
  } catch (const EDBEngineError& e) {
    problems.push_back({c_.DataPath(), "", e.what()});
  }
  if (taken_ != c_.RowCount())
    for (auto& rows : gathered_) rows.reset();
  for (size_t i = 0; i < c_.Secondaries().size(); ++i) {
    const SecondaryIndex& index = c_.Secondaries()[i];
    try {
      CheckSecondary(c_, index, gathered_[i], problems);
    } catch (const EDBEngineError& e) {
      problems.push_back({index.path, "", e.what()});
    }
  }
}

}  // namespace engine
