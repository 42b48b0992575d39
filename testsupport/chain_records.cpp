#include "testsupport/chain_records.h"

#include "format/data_block.h"
#include "format/table_header.h"
#include "testsupport/memory_file_system.h"

namespace testsupport {

std::vector<std::string> ChainRecords(MemoryFileSystem& fs, const std::string& path) {
  const std::string bytes = fs.Contents(path);
  const engine::TableHeader h =
      engine::DecodeTableHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path);
  std::vector<std::string> out;
  for (uint16_t b = h.firstBlock; b != 0 && out.size() < h.numRecords + 1;) {
    const size_t offset = h.BlockOffset(b);
    const auto bh = engine::DecodeBlockHeader(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
    for (int i = 0; i < bh.RecordCount(h.recordSize); ++i)
      out.push_back(bytes.substr(offset + engine::blk::kHeaderBytes + static_cast<size_t>(i) * h.recordSize,
                                 h.recordSize));
    if (b == h.lastBlock) break;
    b = bh.next;
  }
  return out;
}

}  // namespace testsupport
