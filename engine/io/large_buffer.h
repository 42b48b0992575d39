#pragma once
// Memory for large buffers that a read fills at once (runs of a table's blocks kept in memory):
// buffers of a few megabytes are aligned so that the system may back them with huge pages, and
// filling them then costs a page fault per 2 MiB instead of one per 4 KiB.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace engine {

struct LargeBufferFree {
  void operator()(uint8_t* bytes) const;
};
using LargeBuffer = std::unique_ptr<uint8_t[], LargeBufferFree>;

// `bytes` bytes, not cleared.
LargeBuffer AllocateLargeBuffer(size_t bytes);

// `count` values of a trivially copyable type in a large buffer, not cleared: for arrays of
// millions of values that are all written before they are read.
template <typename T>
class LargeArray {
 public:
  explicit LargeArray(size_t count) : bytes_(AllocateLargeBuffer(count * sizeof(T))) {}
  T* data() { return reinterpret_cast<T*>(bytes_.get()); }
  const T* data() const { return reinterpret_cast<const T*>(bytes_.get()); }
  T& operator[](size_t i) { return data()[i]; }
  const T& operator[](size_t i) const { return data()[i]; }

 private:
  LargeBuffer bytes_;
};

}  // namespace engine
