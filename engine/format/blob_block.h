#pragma once
// Layout of the .MB file and of the blob field that refers into it. All integers are
// little-endian.
//
// A blob field of n bytes in a record holds a leader of n − 10 bytes (a copy of the value's
// first bytes) and a 10-byte descriptor. The .MB is a sequence of blocks of whole 4 KiB units,
// not chained; block 0 is the header. A value longer than kSmallLimit gets a single-blob block
// of its own; shorter ones share sub-allocated blocks of one unit, in 16-byte chunks.

#include <cstddef>
#include <cstdint>

namespace engine::mb {

// Bytes of one unit; every block is a whole number of units and starts at a multiple of it.
constexpr uint64_t kUnit = 4096;

// Every block begins with its type and its length.
constexpr size_t kBlockType = 0x00;   // u8, one of the kType values below
constexpr size_t kBlockUnits = 0x01;  // u16, length of the block in units
constexpr size_t kBlockHeadBytes = 0x03;
constexpr uint8_t kTypeHeader = 0;
constexpr uint8_t kTypeSingle = 2;
constexpr uint8_t kTypeSubAllocated = 3;
constexpr uint8_t kTypeFree = 4;  // a run of free units; stale content after the head

// Header block (type 0).
constexpr uint16_t kHeaderUnits = 1;
constexpr size_t kHeaderModCounter = 0x03;     // u16, last modification number handed out
constexpr size_t kHeaderConstant1 = 0x05;      // kHeaderConstant1Bytes constant bytes
constexpr size_t kHeaderBaseSize = 0x0B;       // u16, kUnit
constexpr size_t kHeaderSubSize = 0x0D;        // u16, bytes of a sub-allocated block: kUnit
constexpr size_t kHeaderChunkSize = 0x10;      // u8, kChunk
constexpr size_t kHeaderSlotsPerBlock = 0x11;  // u16, kSlotCount
constexpr size_t kHeaderThreshold = 0x13;      // u16, kSmallLimit
constexpr size_t kHeaderConstant2 = 0x29;      // u16, kHeaderConstant2Value
constexpr size_t kHeaderFreeList = 0x38;       // free-space list up to the block end, see below
// Bytes a reader checks to recognise a .MB: up to and including the threshold.
constexpr size_t kHeaderMinBytes = 0x15;
constexpr uint8_t kHeaderConstant1Value[] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};
constexpr size_t kHeaderConstant1Bytes = sizeof kHeaderConstant1Value;
constexpr uint16_t kHeaderConstant2Value = 0x02A1;

// Free-space list of the header: one entry for every free area, in file order, zeros after
// the last. An entry is a u32 (the area's offset | its kind) and a u16 count: for a
// sub-allocated block its free chunks, holes included; for a run of free units its length.
constexpr size_t kFreeEntryBytes = 6;
constexpr size_t kFreeEntryCount = 4;
constexpr uint32_t kFreeKindSubAllocated = 2;
constexpr uint32_t kFreeKindRun = 3;
constexpr size_t kFreeListEntries = (kUnit - kHeaderFreeList) / kFreeEntryBytes;

// Single-blob block (type 2): the value after a 9-byte head, in as many units as it needs.
constexpr size_t kSingleLength = 0x03;  // u32, the value's length; equals the descriptor's
constexpr size_t kSingleMod = 0x07;     // u16, modification number
constexpr size_t kSingleData = 0x09;    // the value's bytes

// Sub-allocated block (type 3): a table of 64 slots of 5 bytes from 0x0C, the values
// in 16-byte chunks numbered kFirstDataChunk..255. Slot i lies at kSlotTable + i × kSlotSize.
constexpr uint16_t kSubAllocatedUnits = 1;
constexpr size_t kSlotTable = 0x0C;
constexpr size_t kSlotSize = 5;
constexpr int kSlotCount = 64;
constexpr size_t kSlotChunk = 0;    // u8, chunk number of the value's first byte; 0 = free slot
constexpr size_t kSlotChunks = 1;   // u8, chunks used
constexpr size_t kSlotMod = 2;      // u16, modification number
constexpr size_t kSlotLastLen = 4;  // u8, bytes used in the last chunk, 1..kChunk
constexpr unsigned kChunk = 16;
constexpr unsigned kFirstDataChunk = 21;
constexpr unsigned kChunksPerBlock = 256;

// Values up to this length (bytes) go into sub-allocated blocks, longer ones into their own.
constexpr uint32_t kSmallLimit = 2048;

// Descriptor at the end of a blob field, after the leader.
constexpr size_t kDescriptorSize = 10;
constexpr size_t kDescRef = 0;     // u32: block offset | slot (sub-allocated) or kRefSingle; 0 = in the leader
constexpr size_t kDescLength = 4;  // u32, the value's length (0 = null)
constexpr size_t kDescMod = 8;     // u16, modification number of the .MB entry; 0 in the leader
constexpr uint32_t kRefIndexMask = 0xFF;  // the low byte of a reference; the rest is the offset
constexpr uint32_t kRefSingle = 0xFF;     // reference index of a single-blob block

// Graphic and OLE values carry an 8-byte prefix in the .MB; the leader holds payload only.
constexpr size_t kPrefixSize = 8;

static_assert(kBlockUnits + 2 == kBlockHeadBytes);
static_assert(kHeaderConstant1 + kHeaderConstant1Bytes == kHeaderBaseSize);
static_assert(kHeaderThreshold + 2 == kHeaderMinBytes);
static_assert(kHeaderFreeList < kUnit);
static_assert(kFreeEntryCount + 2 == kFreeEntryBytes);
static_assert(kSingleMod + 2 == kSingleData);
static_assert(kSlotLastLen + 1 == kSlotSize);
static_assert(kSlotTable + kSlotSize * kSlotCount <= kFirstDataChunk * kChunk,
              "the slot table ends before the first data chunk");
static_assert(kChunk * kChunksPerBlock == kUnit);
static_assert(kSmallLimit <= (kChunksPerBlock - kFirstDataChunk) * kChunk,
              "a small value fits into an empty sub-allocated block");
static_assert(kDescMod + 2 == kDescriptorSize);

// Leader bytes of a blob field of `fieldBytes` bytes (0 for a field too short to be one).
constexpr size_t LeaderBytes(size_t fieldBytes) {
  return fieldBytes < kDescriptorSize ? 0 : fieldBytes - kDescriptorSize;
}

}  // namespace engine::mb
