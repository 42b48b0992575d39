#pragma once
// The 6-byte header of every block of a .DB, .PX, .X or .Y file, followed by the records packed
// from byte 6. Bytes after the last record are stale and never read.

#include <cstddef>
#include <cstdint>

#include "io/coding.h"

namespace engine {

namespace blk {
constexpr size_t kNext = 0;              // u16, next block in the chain (0 = last)
constexpr size_t kPrev = 2;              // u16, previous block (0 = first)
constexpr size_t kLastRecordOffset = 4;  // s16, (records − 1) × recordSize; −recordSize = empty
constexpr size_t kHeaderBytes = 6;
static_assert(kPrev == kNext + 2 && kLastRecordOffset == kPrev + 2 && kHeaderBytes == kLastRecordOffset + 2,
              "three 16-bit words, records from byte 6");
}  // namespace blk

struct BlockHeader {
  uint16_t next = 0;
  uint16_t prev = 0;
  int16_t lastRecordOffset = 0;

  // Records in the block, or -1 when the offset is not a whole multiple of the record size.
  int RecordCount(uint16_t recordSize) const {
    const int off = lastRecordOffset;
    if (off < -static_cast<int>(recordSize) || off % recordSize != 0) return -1;
    return off / recordSize + 1;
  }
  static int16_t OffsetFor(int records, uint16_t recordSize) {
    return static_cast<int16_t>((records - 1) * static_cast<int>(recordSize));
  }
};

inline BlockHeader DecodeBlockHeader(const uint8_t* p) {
  BlockHeader b;
  b.next = coding::GetU16(p + blk::kNext);
  b.prev = coding::GetU16(p + blk::kPrev);
  b.lastRecordOffset = coding::GetS16(p + blk::kLastRecordOffset);
  return b;
}

inline void EncodeBlockHeader(const BlockHeader& b, uint8_t* p) {
  coding::PutU16(p + blk::kNext, b.next);
  coding::PutU16(p + blk::kPrev, b.prev);
  coding::PutU16(p + blk::kLastRecordOffset, static_cast<uint16_t>(b.lastRecordOffset));
}

}  // namespace engine
