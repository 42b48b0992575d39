#pragma once
// The physical limit of table work: reading a file sequentially, and copying it (read, write,
// flush to the disk), with plain system calls and 1 MiB buffers; and the floor of a durable
// change, one block written in place and flushed to the disk.

#include <cstdint>
#include <string>

namespace bench {

// Reads the whole file; returns the bytes read. Throws std::runtime_error on failure.
uint64_t RawRead(const std::string& path);
// Copies `from` to `to` and flushes the copy to the disk; returns the bytes copied.
uint64_t RawCopy(const std::string& from, const std::string& to);
// Writes a 2 KiB block in place into the scratch file `path` and flushes it to the disk, `count`
// times (over 16 blocks in turn, which are made and flushed first), then removes the file; returns
// the seconds of the writes in place alone.
double RawDurableWrites(const std::string& path, int64_t count);

}  // namespace bench
