#pragma once
// Capacity figures of a Paradox table: how many records its block size lets it hold.
// A table has at most 65 536 data blocks; each block loses 6 bytes to its header and holds
// whole records only.

#include <cstdint>
#include <optional>

#include "format/data_block.h"

namespace blocksize {

constexpr int32_t kBlockHeaderBytes = static_cast<int32_t>(engine::blk::kHeaderBytes);
constexpr int64_t kMaxBlocks = 65536;

struct TableCapacity {
  int32_t RpB = 0;    // records per block: (blockBytes − 6) div recordSize
  int32_t FreeX = 0;  // spare bytes of a full block per record, the remainder dropped
  int64_t Total = 0;  // records the table can hold: RpB × 65 536
};

// For a block size in bytes and a record size in bytes. A block size of 0, a record size of 0
// and a record that does not fit a block give RpB 0, FreeX 0 and Total 0.
TableCapacity computeCapacity(int32_t recordSize, int32_t blockBytes);

// Fill level in per cent of `used` records out of `total`; nullopt when total is not positive
// (no fill level can be given for a table that can hold no record).
std::optional<double> percentFull(int64_t used, int64_t total);

}  // namespace blocksize
