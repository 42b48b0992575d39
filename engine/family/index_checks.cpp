#include "family/index_checks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include "family/shared_gather.h"
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
  CheckTree(c.Fs(), path, c.Data().Blocks(), firstKeys, c.Header().KeyBytes(), problems);
}

// The data block holding row `row` (below the data's record count).
uint16_t BlockHolding(const DataFile& data, uint32_t row) {
  const auto& blocks = data.Blocks();
  const auto after = std::upper_bound(blocks.begin(), blocks.end(), row,
                                      [](uint32_t r, const BlockEntry& b) { return r < b.firstRow; });
  return after == blocks.begin() ? 0 : std::prev(after)->block;
}

// A maintained index entry ends in the number of the data block holding its record; names the
// first entry whose block number (`stored`, in file order) is wrong and how many are. An entry's
// number is right when its row lies in the block of that number: the blocks are looked up by
// number, a table small enough to stay in the cache, not through an array over all rows. The
// entries are taken through `split` (may be empty).
void CheckBlockHints(const std::string& path, const std::vector<uint16_t>& stored, const std::vector<uint32_t>& order,
                     const DataFile& data, std::vector<TableProblem>& problems, const SplitLoop& split) {
  // The rows of each block by its number; a block outside the chain holds none.
  struct Rows {
    uint32_t first = 0;
    uint32_t count = 0;
  };
  std::vector<Rows> byNumber;
  for (const BlockEntry& b : data.Blocks()) {
    if (b.block >= byNumber.size()) byNumber.resize(size_t{b.block} + 1);
    byNumber[b.block] = {b.firstRow, b.count};
  }
  std::atomic<uint64_t> wrong{0};
  std::atomic<size_t> first{SIZE_MAX};  // the first wrong entry
  const auto check = [&](size_t begin, size_t end) {
    uint64_t wrongHere = 0;
    size_t firstHere = SIZE_MAX;
    for (size_t entry = begin; entry < end; ++entry) {
      const uint32_t row = order[entry];
      const Rows named = stored[entry] < byNumber.size() ? byNumber[stored[entry]] : Rows{};
      if (row >= named.first && row - named.first < named.count) continue;
      if (wrongHere++ == 0) firstHere = entry;
    }
    if (wrongHere == 0) return;
    wrong.fetch_add(wrongHere);
    size_t seen = first.load();
    while (firstHere < seen && !first.compare_exchange_weak(seen, firstHere)) {
    }
  };
  const size_t entries = std::min(stored.size(), order.size());
  if (split)
    split(entries, check);
  else
    check(0, entries);
  if (wrong == 0) return;
  const size_t entry = first;
  problems.push_back({path, "", "Die Blocknummern von " + std::to_string(wrong.load()) + " Einträgen sind veraltet (Eintrag " +
                                    std::to_string(entry + 1) + " nennt Block " + std::to_string(stored[entry]) +
                                    ", sein Datensatz liegt in Block " + std::to_string(BlockHolding(data, order[entry])) +
                                    ")."});
}

// Reads what the checks need of the entries of the index file `x` when the order did not.
void ReadEntries(FileSystem& fs, DataFile& x, IndexEntriesRead& seen) {
  const uint16_t size = x.Header().recordSize;
  seen = {};
  seen.blocks = x.Blocks();
  SequentialBlocks blocks(fs, x);
  for (size_t b = 0; b < x.Blocks().size(); ++b) {
    const uint8_t* records = blocks.Records(b);
    seen.firstKeys.emplace_back(reinterpret_cast<const char*>(records), size - idx::kLastFieldBytes);
    for (uint32_t i = 0; i < x.Blocks()[b].count; ++i) {
      const uint8_t* number = records + static_cast<size_t>(i + 1) * size - idx::kBlockNumberBytes;
      seen.blockNumbers.push_back(static_cast<uint16_t>(coding::DecodeFlippedInt(number, idx::kBlockNumberBytes)));
    }
  }
  seen.complete = true;
}

// The tree file over a secondary data file: .X06 → .Y06, .XG0 → .YG0.
std::string TreePathOf(TableCursor& c, const std::string& dataPath) {
  std::string ext = ExtensionOf(FileNameOf(dataPath));
  if (!ext.empty()) ext[0] = ext[0] == 'x' ? 'y' : 'Y';
  return c.Directory() + FindFileIgnoringCase(c.Fs(), c.Directory(), c.BaseName() + "." + ext);
}

// The open table, once it is there.
using OpenTable = std::function<TableCursor&()>;

// Reads the index file through `fs` before it waits for the table (`table`). `shared` (may be
// null): the rows of this index, gathered with the record check's pass.
void CheckSecondary(FileSystem& fs, const OpenTable& table, const SecondaryIndex& index,
                    std::vector<TableProblem>& problems, const SplitLoop& split, SharedGather* shared) {
  std::unique_ptr<File> file;
  TableHeader xh;
  try {
    file = fs.Open(index.path, OpenMode::ReadOnly);
    xh = ReadFileHeader(*file, index.path);
  } catch (const EDBEngineError& e) {
    problems.push_back({index.path, "", std::string("Die Indexdatei kann nicht gelesen werden: ") + e.what()});
    return;
  }
  ChainScan scan = ScanChain(*file, xh);
  problems.insert(problems.end(), scan.problems.begin(), scan.problems.end());
  if (scan.broken) return;
  std::optional<IndexFileWalk> walked;
  if (scan.problems.empty()) walked.emplace(IndexFileWalk{xh, ChainWithCounts(scan)});
  std::string note;
  std::vector<uint32_t> order;
  IndexEntriesRead seen;
  try {
    std::optional<SecondaryRows> own;
    SecondaryRows& rows = shared ? shared->Rows() : own.emplace(index, table().Header(), table().RowCount());
    const std::vector<BlockEntry>& blocks = shared ? shared->Blocks() : table().Data().Blocks();
    const auto gather = [&] {
      TableCursor& c = table();
      shared ? shared->Gather() : GatherRows(c, rows);
    };
    order = SecondaryOrder(fs, index, rows, blocks, &note, &seen, gather, split, walked ? &*walked : nullptr);
  } catch (const EDBEngineError& e) {
    note = e.what();
  }
  if (!note.empty()) problems.push_back({index.path, "", note});
  TableCursor& c = table();
  const std::string treePath = TreePathOf(c, index.path);
  const bool hasTree = c.Fs().Exists(treePath);
  const bool checkHints = note.empty() && index.maintained && c.RowCount() > 0;
  if (!seen.complete && (checkHints || hasTree)) {
    // A chain the scan found sound is not walked again.
    DataFile x = walked ? DataFile(std::move(file), xh, walked->chain) : DataFile(std::move(file), xh);
    ReadEntries(c.Fs(), x, seen);
  }
  if (checkHints) CheckBlockHints(index.path, seen.blockNumbers, order, c.Data(), problems, split);
  if (!hasTree) {
    if (index.maintained) problems.push_back({treePath, "", "Der Indexbaum zur Indexdatei fehlt."});
    return;
  }
  CheckTree(c.Fs(), treePath, seen.blocks, seen.firstKeys, xh.recordSize - idx::kLastFieldBytes, problems);
}

// The checks of `indexes`, each on its own: an engine error of one is its problem.
void CheckSecondaries(FileSystem& fs, const OpenTable& table, const std::vector<SecondaryIndex>& indexes,
                      std::vector<TableProblem>& problems, const SplitLoop& split, SharedGather* shared) {
  for (const SecondaryIndex& index : indexes) {
    try {
      CheckSecondary(fs, table, index, problems, split, shared && &index == &shared->Index() ? shared : nullptr);
    } catch (const EDBEngineError& e) {
      problems.push_back({index.path, "", e.what()});
    }
  }
}

// Raised on the index thread when the table it waits for will not come.
struct Withdrawn {};

}  // namespace

IndexChecks::IndexChecks(FileSystem& fs, const std::string& dir, const std::string& baseName, const TableHeader& header)
    : fs_(fs), dir_(dir), baseName_(baseName), header_(header) {}

IndexChecks::~IndexChecks() {
  Withdraw();
  if (shared_) shared_->PassEnded();  // the thread may wait for rows the pass will not give
  if (aside_.joinable()) aside_.join();
}

void IndexChecks::Start(uint64_t dataBytes) {
  if (!fs_.ConcurrentReads()) return;
  if (uint64_t{header_.numRecords} * header_.recordSize > dataBytes) return;
  secondaries_ = DiscoverSecondaryIndexes(fs_, dir_, baseName_, header_);
  if (secondaries_.empty()) return;
  shared_ = std::make_unique<SharedGather>(secondaries_.front(), header_, header_.numRecords);
  try {
    aside_ = std::thread([this] { CheckAside(); });
  } catch (const std::system_error&) {
    // No thread to be had: Run checks the indexes itself.
    shared_.reset();
  }
}

void IndexChecks::Open(TableCursor& cursor) {
  if (!aside_.joinable()) return;
  // The rows were counted by the header; a sound chain holds as many.
  if (cursor.RowCount() != header_.numRecords) return;
  shared_->Open(cursor);
  {
    const std::lock_guard<std::mutex> lock(gate_);
    opened_ = &cursor;
  }
  gateChanged_.notify_all();
}

TableCursor& IndexChecks::OpenedTable() {
  std::unique_lock<std::mutex> lock(gate_);
  gateChanged_.wait(lock, [this] { return opened_ || withdrawn_; });
  if (!opened_) throw Withdrawn{};
  return *opened_;
}

void IndexChecks::Withdraw() {
  {
    const std::lock_guard<std::mutex> lock(gate_);
    if (opened_) return;
    withdrawn_ = true;
  }
  gateChanged_.notify_all();
}

BlockRecordsFn IndexChecks::BlockSink() {
  {
    const std::lock_guard<std::mutex> lock(gate_);
    if (!opened_) return {};
  }
  return [shared = shared_.get()](size_t b, const uint8_t* records) { shared->FromPass(b, records); };
}

void IndexChecks::CheckAside() {
  try {
    CheckSecondaries(
        fs_, [this]() -> TableCursor& { return OpenedTable(); }, secondaries_, asideProblems_,
        [this](size_t n, const std::function<void(size_t, size_t)>& body) { matching_.Run(n, body); }, shared_.get());
  } catch (...) {
    fault_ = std::current_exception();
  }
  matching_.Finish();
}

void IndexChecks::Run(TableCursor& cursor, const std::vector<std::string>& firstKeys,
                      std::vector<TableProblem>& problems) {
  if (shared_) shared_->PassEnded();
  try {
    CheckPrimaryIndex(cursor, firstKeys, problems);
  } catch (const EDBEngineError& e) {
    problems.push_back({cursor.DataPath(), "", e.what()});
  }
  Withdraw();  // a table not handed over by now never is
  bool handedOver = false;
  {
    const std::lock_guard<std::mutex> lock(gate_);
    handedOver = opened_ != nullptr;
  }
  if (!handedOver) {
    // What the thread found without the table is dropped: the checks run here from the start.
    if (aside_.joinable()) aside_.join();
    CheckSecondaries(cursor.Fs(), [&]() -> TableCursor& { return cursor; }, cursor.Secondaries(), problems, {},
                     nullptr);
    return;
  }
  matching_.Help();
  aside_.join();
  if (fault_) std::rethrow_exception(fault_);
  problems.insert(problems.end(), asideProblems_.begin(), asideProblems_.end());
}

}  // namespace engine
