#pragma once
// The .MB file of a table: storage of memo, formatted memo, BLOb, OLE and graphic values.
// A blob field in a record holds a leader (a copy of the first bytes) followed by a 10-byte
// descriptor (u32 ref, u32 length, u16 modification number, little-endian). Values that fit in
// the leader live there entirely and never touch the .MB.

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/field_type.h"

namespace engine {

class File;
class FileSystem;

// How a .MB numbers the values written to it: counting on from the header's counter, as edits
// do, or all 1, as in a rebuilt table. A rebuilt table's .MB is written from start to end and
// read only after Sync: its free-space list and the sub-allocated block that takes the next
// small values reach the file on Sync (or when another block is taken), not after every value.
enum class BlobNumbering { Counting, AllOne };

// Every change keeps the header's free-space list exact: each free run and each sub-allocated
// block with free chunks, in file order.
class BlobFile {
 public:
  // Opens an existing .MB; raises EDBEngineError (kErrBlobMissing) naming the file when it is
  // missing or its header is not that of a .MB file.
  static std::unique_ptr<BlobFile> Open(FileSystem& fs, const std::string& path, bool writable);
  // Creates a new, empty .MB (4 KiB header block), replacing any existing file.
  static std::unique_ptr<BlobFile> Create(FileSystem& fs, const std::string& path,
                                          BlobNumbering numbering = BlobNumbering::Counting);
  ~BlobFile();

  // Stored length of the value whose field bytes are given (0 = null).
  static uint32_t StoredLength(const uint8_t* field, size_t fieldSize);
  // Makes the field's first `length` bytes (at most its leader) a value held in the leader:
  // zeros after them and the length in the descriptor, no .MB reference.
  static void EndLeaderValue(uint8_t* field, size_t fieldSize, uint32_t length);
  // True when the value lies wholly in the record (length <= leader): its bytes are the field's
  // first StoredLength bytes.
  static bool InLeader(const uint8_t* field, size_t fieldSize);
  // True when the value lies wholly in the record; then *content is set.
  static bool ReadFromLeader(const uint8_t* field, size_t fieldSize, std::string* content);

  // Whole stored content of a value (graphic/OLE with their 8-byte prefix). Raises
  // EDBEngineError (kErrBlobMissing/kErrCorrupt) when the .MB entry is damaged.
  std::string Read(const uint8_t* field, size_t fieldSize) const;
  // Raises as Read does when the value cannot be read, without reading its content.
  void Check(const uint8_t* field, size_t fieldSize) const;
  // Stores content for a field of the given type and fills the field bytes (leader and
  // descriptor). Empty content gives a null field.
  void Write(const std::string& content, PxType type, uint8_t* field, size_t fieldSize);
  // Releases the .MB space of the value in the field bytes (no-op for null/in-leader values and
  // for a reference that does not match its entry). Raises EDBEngineError (kErrBlobMissing)
  // naming the file when the entry's block is damaged.
  void Free(const uint8_t* field, size_t fieldSize);
  // Raises as Free would, changing nothing: lets a caller refuse a change before it begins.
  void CheckFree(const uint8_t* field, size_t fieldSize) const;
  void Sync();
  // Reads the free space on another thread from `copy`, the same file opened on its own, so that
  // the first change finds it ready. The first change waits for the reading, and nothing may
  // write the file before it; a reading that fails is made again by the first change, which
  // then raises as it would have.
  void ReadSpaceAhead(std::unique_ptr<File> copy);
  const std::string& Path() const;
  // The .MB file itself, for reading its blocks raw.
  const File& Stored() const;

 private:
  // Read and Check: follows the reference and checks the entry; the content only when asked.
  std::string Locate(const uint8_t* field, size_t fieldSize, bool withContent) const;
  // Free space known to the writer: free runs and sub-allocated blocks with room. Collected by
  // one scan of the file on the first change (or ahead of it, ReadSpaceAhead), then kept up to date.
  struct Space;
  BlobFile(std::unique_ptr<File> file, BlobNumbering numbering);
  Space& WritableSpace();
  static std::unique_ptr<Space> ScanSpace(const File& file, const std::string& path);
  // Writes the header's free-space list from the known free space.
  void WriteFreeList();
  uint16_t NextModificationNumber();
  uint64_t AllocateRun(uint16_t units);
  void ReleaseRun(uint64_t offset, uint16_t units);
  uint64_t WriteSmall(const std::string& content, uint16_t mod);
  // What freeing a value releases: a run of `units` at `offset`, or the slot `slot` (>= 0) of
  // the sub-allocated block at `offset`.
  struct Entry {
    uint64_t offset;
    uint16_t units;
    int slot;
  };
  // The entry of the value in the field bytes, its sub-allocated block read into `block`
  // (kUnit bytes); nullopt when there is nothing to free. Raises when the entry is damaged.
  std::optional<Entry> EntryToFree(const uint8_t* field, size_t fieldSize, uint8_t* block) const;
  void FreeSlot(uint64_t offset, int slot, uint8_t* block);
  std::unique_ptr<File> file_;
  BlobNumbering numbering_;
  std::unique_ptr<Space> space_;
  std::future<std::unique_ptr<Space>> spaceAhead_;  // ReadSpaceAhead's reading
  // Writes the sub-allocated block kept back for more small values, if any.
  void WritePendingBlock();
  bool listPending_ = false;  // the header's free-space list still to be written
  std::vector<uint8_t> pendingBlock_;
  uint64_t pendingOffset_ = 0;  // where pendingBlock_ goes; 0 (the header's place): none
};

}  // namespace engine
