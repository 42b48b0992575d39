#pragma once
// Layout of the records in the blocks of index files; the blocks have the header of every block
// (data_block.h). Numbers in these records are encoded as record data: big-endian with the sign
// bit flipped (coding.h).
//
// Tree files (.PX, .Ynn, .YGn): an entry is the key bytes of the first record of its child block
// followed by a trailer of three shorts. Secondary data files (.Xnn, .XGn) are tables of their
// own whose records end in the fields that lead back to the table's record.

#include <cstddef>
#include <cstdint>

namespace engine::idx {

constexpr size_t kShortBytes = 2;
constexpr size_t kLongBytes = 4;

// Tree entry trailer, after the key bytes.
constexpr size_t kTrailerChild = 0;      // S, child block: a data block at level 1, else a tree block
constexpr size_t kTrailerCount = 2;      // S, records below the entry, low 16 bits
constexpr size_t kTrailerCountHigh = 4;  // S, high 16 bits of the count (0 below 32768)
constexpr size_t kTrailerBytes = 6;

// Record of a maintained secondary index (file types 5, 8): index fields, the table's key
// fields, then "Blk Num" (S): the number of the data block holding the record.
constexpr size_t kBlockNumberBytes = kShortBytes;
constexpr size_t kMaintainedTrailerFields = 1;
// Record of a non-maintained secondary index (file types 3, 6): index fields, then "Tup No"
// (I, record number in chain order from 1), "Blk Num" (S) and "Tup Offset" (S), placed after
// the index fields at these offsets.
constexpr size_t kTupleNumber = 0;
constexpr size_t kTupleBlock = 4;
constexpr size_t kTupleOffset = 6;
constexpr size_t kTupleTrailerBytes = 8;
constexpr size_t kTupleTrailerFields = 3;

// Every secondary data record ends in a short ("Blk Num" or "Tup Offset"); the key of the tree
// over the file is all the record's other fields.
constexpr size_t kLastFieldBytes = kShortBytes;

// Field-numbers entry of an index field in a secondary data file's header: the table's field
// number (from 1), with this bit set for a descending field.
constexpr uint16_t kDescendingBit = 0x8000;

// Index flags, header byte 0x55 of a secondary data file.
constexpr uint8_t kFlagCaseInsensitive = 0x01;
constexpr uint8_t kFlagDescending = 0x10;
constexpr uint8_t kFlagUnique = 0x20;

static_assert(kTrailerCountHigh + kShortBytes == kTrailerBytes);
static_assert(kTupleNumber + kLongBytes == kTupleBlock);
static_assert(kTupleBlock + kShortBytes == kTupleOffset);
static_assert(kTupleOffset + kShortBytes == kTupleTrailerBytes);

}  // namespace engine::idx
