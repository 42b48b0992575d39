#include "storage/secondary_index.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <memory>
#include <numeric>

#include "format/code_page.h"
#include "format/index_block.h"
#include "format/record_format.h"
#include "format/upper_case.h"
#include "io/coding.h"
#include "io/compare_bytes.h"
#include "io/copy_bytes.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/large_buffer.h"
#include "io/names.h"
#include "storage/data_file.h"
#include "storage/header_reader.h"
#include "storage/key_rows.h"
#include "storage/sequential_blocks.h"

namespace engine {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Kind of an index file name: 1 = .Xnn (field number in *number), 2 = .XGn (digit in *number).
int ClassifyIndexName(const std::string& name, const std::string& baseName, int* number) {
  const std::string upper = UpperAscii(name);
  const std::string prefix = UpperAscii(baseName) + ".X";
  if (upper.size() != prefix.size() + 2 || upper.compare(0, prefix.size(), prefix) != 0) return 0;
  const char a = upper[prefix.size()], b = upper[prefix.size() + 1];
  if (a == 'G') {
    const int d = HexDigit(b);
    if (d < 0) return 0;
    *number = d;
    return 2;
  }
  const int hi = HexDigit(a), lo = HexDigit(b);
  if (hi < 0 || lo < 0) return 0;
  *number = hi * 16 + lo;
  return 1;
}

bool ReadIndexHeader(FileSystem& fs, const std::string& path, TableHeader* out) {
  try {
    *out = ReadFileHeader(fs, path);
    return out->IsSecondaryData();
  } catch (const EDBEngineError&) {
    return false;
  }
}

// Number of index fields in an index file of the given type for a table with `keyFields`.
int IndexFieldCount(const TableHeader& x, int keyFields) {
  const int n = static_cast<int>(x.fields.size());
  const bool maintained = x.fileType == static_cast<uint8_t>(FileType::MaintainedX) ||
                          x.fileType == static_cast<uint8_t>(FileType::MaintainedXG);
  // Maintained: index fields, key fields, block number. Otherwise: index fields, record
  // number, block number, offset in the block.
  return maintained ? n - keyFields - static_cast<int>(idx::kMaintainedTrailerFields)
                    : n - static_cast<int>(idx::kTupleTrailerFields);
}

// Index bytes of a record: the index fields' stored bytes, alpha values compared up to their
// first NUL (what follows it is zeroed).
void RawIndexBytes(const SecondaryDef& index, const std::vector<FieldLayout>& layout,
                   const uint8_t* record, uint8_t* out) {
  for (int f : index.fields) {
    const FieldLayout& l = layout[static_cast<size_t>(f)];
    if (l.type == PxType::Alpha)
      CopyAlpha(out, record + l.offset, l.bytes);
    else
      CopyBytes(out, record + l.offset, l.bytes);
    out += l.bytes;
  }
}

// The same of an index file's entry, whose index fields come first, one after another.
void EntryIndexBytes(const SecondaryDef& index, const std::vector<FieldLayout>& layout,
                     const uint8_t* entry, uint8_t* out) {
  size_t at = 0;
  for (int f : index.fields) {
    const FieldLayout& l = layout[static_cast<size_t>(f)];
    if (l.type == PxType::Alpha)
      CopyAlpha(out + at, entry + at, l.bytes);
    else
      CopyBytes(out + at, entry + at, l.bytes);
    at += l.bytes;
  }
}

// Upper-cases the alpha fields of normalized index bytes in place for a case-insensitive index
// (whose index file stores its alpha values upper-cased).
void FoldCase(const SecondaryDef& index, const std::vector<FieldLayout>& layout, int codePage,
              uint8_t* p) {
  if (!index.caseInsensitive) return;
  const auto& upper = UpperCaseTable(codePage);
  for (int f : index.fields) {
    const FieldLayout& l = layout[static_cast<size_t>(f)];
    if (l.type == PxType::Alpha)
      for (size_t k = 0; k < l.bytes; ++k) p[k] = upper[p[k]];
    p += l.bytes;
  }
}

// Turns case-folded index bytes into sort-key bytes in place.
void ToSortKey(const SecondaryDef& index, const std::vector<FieldLayout>& layout, uint8_t* p) {
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const FieldLayout& l = layout[static_cast<size_t>(index.fields[i])];
    if (index.descending[i])
      for (size_t k = 0; k < l.bytes; ++k) p[k] = static_cast<uint8_t>(~p[k]);
    p += l.bytes;
  }
}

// Checks that an index file's fields are the index fields, the table's key fields and a block
// number, with the table's types and sizes.
bool IndexFileMatches(const TableHeader& x, const SecondaryDef& index, const TableHeader& table) {
  const size_t m = index.fields.size();
  const size_t k = table.primaryKeyFields;
  if (x.fields.size() != m + k + idx::kMaintainedTrailerFields) return false;
  auto same = [](const FieldInfo& a, const FieldInfo& b) { return a.type == b.type && a.size == b.size; };
  for (size_t i = 0; i < m; ++i)
    if (!same(x.fields[i], table.fields[static_cast<size_t>(index.fields[i])])) return false;
  for (size_t i = 0; i < k; ++i)
    if (!same(x.fields[m + i], table.fields[i])) return false;
  return x.fields.back().type == PxType::Short;
}

// True when the index file's order must equal byte order of the sort keys: no alpha field, or
// the table's language driver "ascii" (binary collation). Other drivers collate alpha values
// by their own tables.
bool OrderIsBytewise(const SecondaryDef& index, const TableHeader& table) {
  bool alpha = false;
  for (int f : index.fields) alpha |= table.fields[static_cast<size_t>(f)].type == PxType::Alpha;
  if (!alpha) return true;
  if (!table.HasExtension()) return table.sortOrder == 0;
  return UpperAscii(table.sortOrderId) == "ASCII";
}

// Order from a maintained index file; false (with *why) when the file cannot be trusted.
// `rowBytes` holds for every row its index bytes (normalized, case-folded), `rowKeys` its key
// bytes: together exactly what the row's index entry must begin with.
bool OrderFromIndexFile(FileSystem& fs, const SecondaryIndex& index, const TableHeader& table,
                        const std::vector<FieldLayout>& layout, const uint8_t* rowBytes, const uint8_t* rowKeys,
                        const std::vector<BlockEntry>& blocks, size_t width, size_t keyWidth, uint32_t rows, int codePage,
                        std::vector<uint32_t>* order, std::string* why, IndexEntriesRead* seen,
                        const std::function<void()>& rowsReady, const SplitLoop& split, const IndexFileWalk* walked) {
  TableHeader xh;
  const bool headerRead = walked ? walked->header.IsSecondaryData() : ReadIndexHeader(fs, index.path, &xh);
  if (walked) xh = walked->header;
  if (!headerRead || !IndexFileMatches(xh, index.def, table)) {
    *why = "Der Kopf der Indexdatei passt nicht zur Tabelle.";
    return false;
  }
  DataFile x = walked ? DataFile(fs.Open(index.path, OpenMode::ReadOnly), xh, walked->chain)
                      : DataFile(fs.Open(index.path, OpenMode::ReadOnly), xh);
  if (x.RecordCount() != rows || x.ChainRecordCount() != rows) {
    *why = "Die Indexdatei ist veraltet (" + std::to_string(x.ChainRecordCount()) +
           " Einträge für " + std::to_string(rows) + " Datensätze).";
    return false;
  }
  const size_t stride = width + keyWidth;
  // The entries are read in order, normalized as the rows are, and their order checked; then
  // every entry is matched with its row; then the verdict is taken entry by entry. The first
  // fault in file order decides what is reported, an entry out of order counting from the start
  // of its batch of kBatch entries of a block: it wins over an entry of that batch that matches
  // no row.
  constexpr size_t kBatch = 16;
  const bool checkOrder = OrderIsBytewise(index.def, table);
  const LargeBuffer entries = AllocateLargeBuffer(static_cast<size_t>(rows) * stride);  // filled as read
  size_t filled = 0;  // entries read; fewer than `read` after an entry out of order
  std::vector<uint16_t> hints(rows);
  std::vector<size_t> blockStarts;  // entry index of the first entry of each block read
  size_t read = 0;
  size_t unsortedBatchEnd = SIZE_MAX;  // end of the batch with the first entry out of order
  std::exception_ptr readFault;        // a block that could not be read ends the entries
  // Sort keys differ from the entries' bytes only in descending fields.
  const bool descending =
      std::find(index.def.descending.begin(), index.def.descending.end(), true) != index.def.descending.end();
  std::vector<uint8_t> previous(width), current(width);
  const uint8_t* previousKey = nullptr;
  SequentialBlocks sequential(fs, x);
  for (size_t b = 0; b < x.Blocks().size() && unsortedBatchEnd == SIZE_MAX; ++b) {
    const uint8_t* rec = nullptr;
    try {
      rec = sequential.Records(b);
    } catch (const EDBEngineError&) {
      readFault = std::current_exception();
      break;
    }
    blockStarts.push_back(read);
    if (seen) seen->firstKeys.emplace_back(reinterpret_cast<const char*>(rec), xh.recordSize - idx::kLastFieldBytes);
    const uint32_t count = x.Blocks()[b].count;
    for (uint32_t i = 0; i < count; ++i, ++read, rec += xh.recordSize) {
      uint8_t* e = entries.get() + read * stride;
      filled = read + 1;
      EntryIndexBytes(index.def, layout, rec, e);
      CopyBytes(e + width, rec + width, keyWidth);
      hints[read] = static_cast<uint16_t>(
          coding::DecodeFlippedInt(rec + xh.recordSize - idx::kBlockNumberBytes, idx::kBlockNumberBytes));
      FoldCase(index.def, layout, codePage, e);
      if (!checkOrder) continue;
      const uint8_t* key = e;
      if (descending) {
        std::memcpy(current.data(), e, width);
        ToSortKey(index.def, layout, current.data());
        key = current.data();
      }
      if (previousKey && CompareBytes(previousKey, key, width) > 0) {
        unsortedBatchEnd = read - i + std::min<size_t>(count, (i / kBatch + 1) * kBatch);
        read = unsortedBatchEnd;
        break;
      }
      if (descending) previous.swap(current);
      previousKey = descending ? previous.data() : e;
    }
  }
  // Each entry's row goes where the order will have it; the verdict below only checks them. Its
  // memory is made ready before the rows are waited for.
  order->resize(filled);
  rowsReady();
  const KeyRows keyRows(rowKeys, keyWidth, rows, blocks);
  keyRows.MatchAll(entries.get(), hints.data(), filled, rowBytes, width, order->data(), split);
  if (seen && !readFault && unsortedBatchEnd == SIZE_MAX) {
    seen->complete = true;
    seen->blocks = x.Blocks();
    seen->blockNumbers = std::move(hints);
  }
  std::vector<bool> used(rows, false);
  blockStarts.push_back(read);
  for (size_t b = 0; b + 1 < blockStarts.size(); ++b) {
    for (size_t batch = blockStarts[b]; batch < blockStarts[b + 1]; batch += kBatch) {
      const size_t end = std::min(batch + kBatch, blockStarts[b + 1]);
      if (end == unsortedBatchEnd) {
        *why = "Die Einträge der Indexdatei sind nicht sortiert.";
        return false;
      }
      for (size_t j = batch; j < end; ++j) {
        const uint32_t row = (*order)[j];
        if (row == KeyRows::kNoRow || used[row]) {
          *why = "Die Indexdatei ist veraltet (ein Eintrag passt zu keinem Datensatz).";
          return false;
        }
        used[row] = true;
      }
    }
  }
  if (readFault) std::rethrow_exception(readFault);
  return true;
}

}  // namespace

std::vector<SecondaryIndex> DiscoverSecondaryIndexes(FileSystem& fs, const std::string& dir,
                                                     const std::string& baseName,
                                                     const TableHeader& table) {
  struct Candidate {
    int kind;
    int number;
    std::string name;
  };
  std::vector<Candidate> found;
  std::vector<std::string> names;
  try {
    names = fs.List(dir.empty() ? "." : dir);
  } catch (const EDBEngineError&) {
    // A directory that cannot be listed shows no index files; the table itself is still read.
  }
  for (const auto& name : names) {
    int number = 0;
    const int kind = ClassifyIndexName(name, baseName, &number);
    if (kind != 0) found.push_back({kind, number, name});
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
  });
  const int fieldCount = static_cast<int>(table.fields.size());
  const CodePage& cp = CodePage::ForHeader(table);
  std::vector<SecondaryIndex> out;
  for (const auto& c : found) {
    SecondaryIndex ix;
    ix.path = dir + c.name;
    TableHeader xh;
    const bool readable = ReadIndexHeader(fs, ix.path, &xh);
    int m = readable ? IndexFieldCount(xh, table.primaryKeyFields) : 0;
    bool valid = readable && m >= 1;
    for (int i = 0; valid && i < m; ++i) {
      const int number = xh.fields[static_cast<size_t>(i)].number & ~idx::kDescendingBit;
      if (number < 1 || number > fieldCount) valid = false;
    }
    if (valid) {
      for (int i = 0; i < m; ++i) {
        const uint16_t number = xh.fields[static_cast<size_t>(i)].number;
        ix.def.fields.push_back((number & ~idx::kDescendingBit) - 1);
        ix.def.descending.push_back((number & idx::kDescendingBit) != 0);
      }
      ix.def.caseInsensitive = (xh.indexFlags & idx::kFlagCaseInsensitive) != 0;
      ix.def.unique = (xh.indexFlags & idx::kFlagUnique) != 0;
      ix.maintained = xh.fileType == static_cast<uint8_t>(FileType::MaintainedX) ||
                      xh.fileType == static_cast<uint8_t>(FileType::MaintainedXG);
      ix.def.nonMaintained = !ix.maintained;
      ix.def.name = c.kind == 2 ? cp.ToUtf8(xh.indexName) : cp.ToUtf8(table.fields[ix.def.fields[0]].name);
      if (ix.def.name.empty()) ix.def.name = c.name.substr(baseName.size() + 1);
    } else if (c.kind == 1 && c.number >= 1 && c.number <= fieldCount) {
      ix.def.fields = {c.number - 1};
      ix.def.descending = {false};
      ix.def.name = cp.ToUtf8(table.fields[static_cast<size_t>(c.number - 1)].name);
    } else {
      continue;
    }
    ix.def.extension = UpperAscii(ExtensionOf(c.name));
    out.push_back(std::move(ix));
  }
  return out;
}

SortKeyMaker::SortKeyMaker(const SecondaryDef& index, const TableHeader& table)
    : index_(index), layout_(LayoutFields(table)), codePage_(CodePage::ForHeader(table).Number()) {
  for (int f : index_.fields) width_ += layout_[static_cast<size_t>(f)].bytes;
}

void SortKeyMaker::Make(const uint8_t* record, std::string* key) const {
  key->resize(width_);
  auto* p = reinterpret_cast<uint8_t*>(key->data());
  RawIndexBytes(index_, layout_, record, p);
  FoldCase(index_, layout_, codePage_, p);
  ToSortKey(index_, layout_, p);
}

std::string IndexSortKey(const SecondaryDef& index, const TableHeader& table,
                         const uint8_t* record) {
  std::string key;
  SortKeyMaker(index, table).Make(record, &key);
  return key;
}

SecondaryRows::SecondaryRows(const SecondaryIndex& index, const TableHeader& table, uint32_t rows)
    : def_(index.def),
      table_(table),
      layout_(LayoutFields(table)),
      rows_(rows),
      keyWidth_(table.KeyBytes()),
      useFile_(index.maintained && keyWidth_ > 0),
      codePage_(CodePage::ForHeader(table).Number()) {
  for (int f : def_.fields) width_ += layout_[static_cast<size_t>(f)].bytes;
  // Every row is added before use.
  bytes_ = AllocateLargeBuffer(static_cast<size_t>(rows) * width_);
  if (useFile_) keys_ = AllocateLargeBuffer(static_cast<size_t>(rows) * keyWidth_);
}

void SecondaryRows::Add(uint32_t row, const uint8_t* record) {
  uint8_t* out = bytes_.get() + static_cast<size_t>(row) * width_;
  RawIndexBytes(def_, layout_, record, out);
  FoldCase(def_, layout_, codePage_, out);
  if (useFile_) CopyBytes(keys_.get() + static_cast<size_t>(row) * keyWidth_, record, keyWidth_);
}

std::vector<uint32_t> SecondaryOrder(FileSystem& fs, const SecondaryIndex& index, DataFile& data,
                                     std::string* note) {
  SecondaryRows rows(index, data.Header(), data.RecordCount());
  for (size_t b = 0; b < data.Blocks().size(); ++b) {
    const BlockEntry& e = data.Blocks()[b];
    const uint8_t* rec = data.BlockRecords(b);
    for (uint32_t i = 0; i < e.count; ++i, rec += data.Header().recordSize) rows.Add(e.firstRow + i, rec);
  }
  return SecondaryOrder(fs, index, rows, data.Blocks(), note);
}

std::vector<uint32_t> SecondaryOrder(FileSystem& fs, const SecondaryIndex& index, SecondaryRows& gathered,
                                     const std::vector<BlockEntry>& blocks, std::string* note, IndexEntriesRead* seen,
                                     const std::function<void()>& makeRowsReady, const SplitLoop& split,
                                     const IndexFileWalk* walked) {
  // Asked for by the index file's reading and again when that falls back to the data: the rows
  // are made ready once, and a failure to make them is raised again without another try.
  bool ready = false;
  std::exception_ptr notReady;
  const std::function<void()> rowsReady = [&] {
    if (notReady) std::rethrow_exception(notReady);
    if (ready || !makeRowsReady) return;
    try {
      makeRowsReady();
    } catch (...) {
      notReady = std::current_exception();
      throw;
    }
    ready = true;
  };
  const TableHeader& table = gathered.table_;
  const auto& layout = gathered.layout_;
  const uint32_t rows = gathered.rows_;
  const size_t width = gathered.width_;
  const size_t keyWidth = gathered.keyWidth_;
  const bool useFile = gathered.useFile_;
  const int codePage = gathered.codePage_;
  uint8_t* rowBytes = gathered.bytes_.get();

  std::vector<uint32_t> order;
  std::string why = "Die Indexdatei wird nicht gepflegt.";
  if (useFile) {
    try {
      if (OrderFromIndexFile(fs, index, table, layout, rowBytes, gathered.keys_.get(), blocks, width, keyWidth, rows,
                             codePage, &order, &why, seen, rowsReady, split, walked))
        return order;
    } catch (const EDBEngineError& e) {
      why = e.what();
    }
  }
  if (note && useFile) *note = "Index „" + index.def.name + "“: " + why + " Die Reihenfolge wurde aus den Daten gebildet.";
  rowsReady();

  auto keyOf = [&](uint32_t r) { return rowBytes + static_cast<size_t>(r) * width; };
  for (uint32_t r = 0; r < rows; ++r) ToSortKey(index.def, layout, keyOf(r));
  // Bytes that all keys share decide nothing; after them, a big-endian 8-byte prefix of each
  // key makes most comparisons one integer compare.
  size_t common = width;
  for (uint32_t r = 1; r < rows && common > 0; ++r) {
    size_t i = 0;
    while (i < common && keyOf(0)[i] == keyOf(r)[i]) ++i;
    common = i;
  }
  std::vector<uint64_t> prefix(rows, 0);
  for (uint32_t r = 0; r < rows; ++r) {
    const uint8_t* k = keyOf(r) + common;
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v = (v << 8) | (common + i < width ? k[i] : 0);
    prefix[r] = v;
  }
  const size_t restOffset = std::min(width, common + 8);
  order.resize(rows);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    if (prefix[a] != prefix[b]) return prefix[a] < prefix[b];
    if (restOffset < width) {
      const int c = std::memcmp(keyOf(a) + restOffset, keyOf(b) + restOffset, width - restOffset);
      if (c != 0) return c < 0;
    }
    return a < b;
  });
  return order;
}

}  // namespace engine
