#pragma once
// Upper case of the bytes of a code page, as case-insensitive secondary indexes store and
// compare their alpha values: the index file holds them upper-cased by this map, and the
// reader, the index builder and the upkeep after posts all fold by it.

#include <array>
#include <cstdint>

namespace engine {

// Byte-to-byte upper-case map of a code page: each byte's letter upper-cased (Latin, Greek,
// Cyrillic) and converted back when the code page has the upper-case letter. The multi-byte
// page 936 maps ASCII only.
const std::array<uint8_t, 256>& UpperCaseTable(int codePage);

}  // namespace engine
