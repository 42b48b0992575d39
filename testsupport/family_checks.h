#pragma once
// Checks of the conventions every real table family follows, for files written into a file
// system in memory: secondary index entries that lead back to their records and hold their
// values as real index files do (alpha upper-cased in a case-insensitive index; record number,
// block and byte offset in a non-maintained one), and a .MB header that lists every free area.
// Failures are reported as test failures naming the file.

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "format/table_header.h"

namespace testsupport {

class MemoryFileSystem;

engine::TableHeader FileHeader(MemoryFileSystem& fs, const std::string& path);

// The stored path that equals `path` ignoring letter case; "" when there is none.
std::string PathIgnoringCase(MemoryFileSystem& fs, const std::string& path);

// Every entry of the maintained index file `x` of the keyed table `db` holds its record's index
// values (upper-cased in a case-insensitive index). Returns how many of them differ from the
// record's only by being upper-cased.
int ExpectMaintainedEntries(MemoryFileSystem& fs, const std::string& db, const std::string& x);

// Every entry of the non-maintained index file `x` gives the record number from 1 (in chain
// order), the block and the byte offset of its record in `db`, and the record's index values.
void ExpectTupleEntries(MemoryFileSystem& fs, const std::string& db, const std::string& x);

// A free area of a .MB: offset, kind (2 = free chunks of a sub-allocated block, holes
// included; 3 = a run of free units) and count.
using FreeArea = std::tuple<uint32_t, uint32_t, uint16_t>;

// The header's free-space list (the bytes after it must be zero), and the free areas a walk
// over the blocks finds.
std::vector<FreeArea> ListedFreeAreas(const std::string& mb);
std::vector<FreeArea> WalkedFreeAreas(const std::string& mb);

// The .MB at `mbPath` lists exactly the free areas it has and is whole units long.
void ExpectExactFreeList(MemoryFileSystem& fs, const std::string& mbPath);

}  // namespace testsupport
