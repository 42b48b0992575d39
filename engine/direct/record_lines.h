#pragma once
// The dump lines of a table's records: every value read that can be read, "?" for the others,
// and the causes of what could not be read gathered into a few German lines.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine {

class TableCursor;
class UnreadableCauses;

// Calls `each` with every record of `cursor` in stored order: its row, a copy of its bytes and
// how many of them the file holds (fewer for a record the end of the file cuts off). Appends to
// `unreadable` the cut records once, then the causes `each` gathered.
void ForEachStoredRecord(
    TableCursor& cursor, std::vector<std::string>& unreadable,
    const std::function<void(uint32_t row, const uint8_t* record, uint32_t present, UnreadableCauses& causes)>& each);

// Calls `line` with the dump line of each record of `cursor` in stored order (TAB-separated
// values, no line end). A value that cannot be read (a blob whose .MB entry is missing or
// damaged, a field that the end of the file cuts off) gives "?". Appends to `unreadable` one
// line per cause, each naming its file: the cut records once, other causes with the number of
// values they spoil, the rarest beyond the first few summed up in a last line.
void ForEachRecordLine(TableCursor& cursor, const std::function<void(const std::string&)>& line,
                       std::vector<std::string>& unreadable);

// The same lines, each ended by a line feed, given to `piece` a run of at most about a megabyte
// of records at a time, in stored order. Two threads build the text of two runs at once when
// the blob values need no file reads (see TableCursor::PrepareBlobReads, .MB of up to
// `blobBytesInMemory`); the text is the same either way. When reading fails, the lines of the
// records before the failure are given, then the failure is raised.
void ForEachRecordLinePiece(TableCursor& cursor, uint64_t blobBytesInMemory,
                            const std::function<void(const std::string&)>& piece,
                            std::vector<std::string>& unreadable);

}  // namespace engine
