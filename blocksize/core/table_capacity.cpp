#include "blocksize/core/table_capacity.h"

namespace blocksize {

TableCapacity computeCapacity(int32_t recordSize, int32_t blockBytes) {
  TableCapacity capacity;
  if (recordSize <= 0 || blockBytes <= kBlockHeaderBytes) return capacity;
  const int32_t usable = blockBytes - kBlockHeaderBytes;
  capacity.RpB = usable / recordSize;
  if (capacity.RpB > 0) capacity.FreeX = (usable - capacity.RpB * recordSize) / capacity.RpB;
  capacity.Total = static_cast<int64_t>(capacity.RpB) * kMaxBlocks;
  return capacity;
}

std::optional<double> percentFull(int64_t used, int64_t total) {
  if (total <= 0) return std::nullopt;
  return static_cast<double>(used) / (static_cast<double>(total) / 100.0);
}

}  // namespace blocksize
