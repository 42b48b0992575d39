#pragma once
// A file's bytes mapped into memory for reading: the system's cached pages of the file are read
// in place, without copying them and without taking memory of our own for them.
//
// A mapped page that can no longer be read (another program shortened the file, or the disk
// failed to read it) would end the process with SIGBUS. A handler installed with the first
// mapping catches such a fault inside a mapping: it puts zeros in place of the pages from the
// fault to the end of that mapping, marks the mapping lost and lets the read go on. A reader
// asks Lost() before it trusts bytes it is about to read and fails then; the read that met the
// fault has seen zeros. Faults outside every mapping go on to the handler that was there before
// (by default: the process ends, as without this one).
//
// Only files on local disks are mapped: on a network share the pages cached here need not
// show what other computers wrote, which reading with ReadAt asks the server for.

#include <atomic>
#include <cstdint>
#include <memory>

namespace engine {

class FileMapping {
 public:
  // The first `bytes` bytes of the open file `fd` (the file may be shorter: bytes past its end
  // are readable once it has grown over them); nullptr when the file lies on a network share or
  // on a file system not known as a local one, when too many mappings are open at once, or when
  // the system refuses the mapping. The descriptor may be closed afterwards.
  static std::unique_ptr<FileMapping> Map(int fd, uint64_t bytes);
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

 private:
  FileMapping(const uint8_t* bytes, uint64_t size, size_t slot, const std::atomic<bool>* lost)
      : bytes_(bytes), size_(size), slot_(slot), lost_(lost) {}

  const uint8_t* bytes_;
  uint64_t size_;
  size_t slot_;  // in the handler's table of mappings
  const std::atomic<bool>* lost_;
};

}  // namespace engine
