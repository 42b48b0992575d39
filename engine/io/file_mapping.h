#pragma once
// A file's bytes mapped into memory for reading: the system's cached pages of the file are read
// in place, without copying them and without taking memory of our own for them.
//
// A mapped page that can no longer be read (another program shortened the file, or the disk
// failed to read it) would end the process with SIGBUS. A handler installed with the first
// mapping catches such a fault inside a mapping: it puts zeros in place of the pages from the
// fault to the end of that mapping, marks the mapping lost and lets the read go on. Read() reads
// the bytes it hands out once before, so that a cut is found there and raised; bytes read later
// (the file cut between) read as zeros until the next Read() raises. Faults outside every mapping
// go on to the handler that was there before (by default: the process ends, as without this one).
//
// Only files on local disks are mapped: on a network share the pages cached here need not
// show what other computers wrote, which reading with ReadAt asks the server for.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace engine {

class FileMapping {
 public:
  // Files smaller than this are read as fast without a mapping: readers map only larger ones.
  static constexpr uint64_t kWorthFromBytes = uint64_t{256} << 10;

  // The first `bytes` bytes of the open file `fd` at `path` (the file may be shorter: bytes past
  // its end are readable once it has grown over them); nullptr when the file lies on a network
  // share or on a file system not known as a local one, when too many mappings are open at once,
  // or when the system refuses the mapping. The descriptor may be closed afterwards.
  static std::unique_ptr<FileMapping> Map(int fd, uint64_t bytes, std::string path);
  ~FileMapping();
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  const uint8_t* Bytes() const { return bytes_; }
  uint64_t Size() const { return size_; }
  // Whether a read met a page that could not be read; from then on the rest of the mapping
  // reads as zeros.
  bool Lost() const { return lost_->load(std::memory_order_relaxed); }
  // The flag Lost() reads, for readers that keep it at hand.
  const std::atomic<bool>& LostFlag() const { return *lost_; }
  // The `n` bytes at `offset` (within Size() and within the file), read once page by page first;
  // raises EDBEngineError (kErrIo) naming the file when the mapping is lost.
  const uint8_t* Read(uint64_t offset, size_t n) const;
  // Raises as Read does when the mapping is lost, reading nothing.
  void CheckNotLost() const;
  // Gives back the process's hold on the pages from the one holding `offset` up to the end of
  // the last whole page within the `n` bytes there: they no longer count as this process's
  // memory, and a later read finds them in the system's cache again (or reads them from the
  // disk). Bytes handed out before stay readable.
  void Release(uint64_t offset, uint64_t n) const;

 private:
  FileMapping(const uint8_t* bytes, uint64_t size, std::string path, size_t slot, const std::atomic<bool>* lost)
      : bytes_(bytes), size_(size), path_(std::move(path)), slot_(slot), lost_(lost) {}

  const uint8_t* bytes_;
  uint64_t size_;
  std::string path_;
  size_t slot_;  // in the handler's table of mappings
  const std::atomic<bool>* lost_;
};

// Gives back the pages that reading forward through a mapping has left behind
// (FileMapping::Release), so that a pass over a large file does not hold all of it. Only a run
// read in order is given back: a chain that jumps about keeps what it read, for it may come back.
class PassedPages {
 public:
  // Reading has come to `offset` of `mapping`.
  void At(const FileMapping& mapping, uint64_t offset) {
    if (offset < last_ || offset > last_ + kStep) {
      from_ = offset;  // a jump: a new run starts here
    } else if (offset >= from_ + kKeptBehind + kStep) {
      mapping.Release(from_, offset - kKeptBehind - from_);
      from_ = offset - kKeptBehind;
    }
    last_ = offset;
  }

 private:
  // Bytes behind the reading kept, and bytes given back at once.
  static constexpr uint64_t kKeptBehind = uint64_t{1} << 20;
  static constexpr uint64_t kStep = uint64_t{2} << 20;
  uint64_t from_ = 0;  // where the run read in order since the last giving back starts
  uint64_t last_ = 0;  // the latest offset read
};

}  // namespace engine
