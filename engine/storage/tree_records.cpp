#include "storage/tree_records.h"

#include <vector>

#include "format/data_block.h"
#include "format/index_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "storage/header_reader.h"

namespace engine {

uint64_t TreeRecordCount(FileSystem& fs, const std::string& path) {
  const auto file = fs.Open(path, OpenMode::ReadOnly);
  const TableHeader h = ReadFileHeader(*file, path);
  if (h.fileBlocks == 0) return 0;
  const std::string where = " (Block " + std::to_string(h.indexRoot) + ")";
  if (h.indexRoot == 0 || h.indexRoot > h.fileBlocks || h.recordSize < idx::kTrailerBytes)
    Fail(kErrCorrupt, path, "Der Wurzelblock des Index ist ungültig" + where + ".");
  std::vector<uint8_t> block(h.BlockBytes());
  const size_t got = file->ReadAt(h.BlockOffset(h.indexRoot), block.data(), block.size());
  const int entries = DecodeBlockHeader(block.data()).RecordCount(h.recordSize);
  if (got < blk::kHeaderBytes || entries < 0 ||
      blk::kHeaderBytes + static_cast<size_t>(entries) * h.recordSize > got)
    Fail(kErrCorrupt, path, "Der Wurzelblock des Index ist abgeschnitten oder beschädigt" + where + ".");
  uint64_t records = 0;
  for (int e = 0; e < entries; ++e) {
    const uint8_t* trailer = block.data() + blk::kHeaderBytes + static_cast<size_t>(e + 1) * h.recordSize -
                             idx::kTrailerBytes;
    const auto low = static_cast<uint16_t>(coding::DecodeFlippedInt(trailer + idx::kTrailerCount, idx::kShortBytes));
    const auto high =
        static_cast<uint16_t>(coding::DecodeFlippedInt(trailer + idx::kTrailerCountHigh, idx::kShortBytes));
    records += uint64_t{high} << 16 | low;
  }
  return records;
}

}  // namespace engine
