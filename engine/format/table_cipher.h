#pragma once
// The scrambling of password-protected tables. A protected table stores a 32-bit key in its
// header (derived from the password); data is scrambled in 256-byte chunks by three fixed
// substitution tables, each chunk on its own: a chunk of a .DB/.Xnn data block depends on the
// block number and the chunk's place in the block, a chunk of a .MB file on nothing but the key.
// Pure functions over bytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

constexpr size_t kCipherChunk = 256;

// Scrambles / unscrambles chunk `chunk` (0-based) of data block `block` (1-based) in place.
void EncryptBlockChunk(uint8_t* bytes, uint32_t key, uint32_t block, size_t chunk);
void DecryptBlockChunk(uint8_t* bytes, uint32_t key, uint32_t block, size_t chunk);

// The same for a chunk of a .MB file (any place).
void EncryptBlobChunk(uint8_t* bytes, uint32_t key);
void DecryptBlobChunk(uint8_t* bytes, uint32_t key);

// The key that `password` (bytes in the table's code page) gives; 0 for the empty password,
// which protects nothing. Only the first 256 bytes count.
uint32_t KeyOfPassword(const std::string& password);

}  // namespace engine
