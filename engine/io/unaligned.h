#pragma once
// Whole machine words read from and written to byte strings at any alignment, in the machine's
// own byte order: one load or store each once compiled.

#include <cstdint>
#include <cstring>

namespace engine {

template <typename T>
T LoadUnaligned(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void StoreUnaligned(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace engine
