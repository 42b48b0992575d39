#pragma once
// A file system seen through the key of a password-protected table: the files of a table family
// read in clear and are written scrambled, block by block, so no reader or writer of the engine
// needs to know about protection and no clear block of a protected table reaches the disk.
//
// Which files are scrambled, decided per file by its name's family extension (also under a
// temporary name such as KUNDEN.DB.~kbnew):
//   .DB/.PX/.Xnn/.XGn/.Ynn/.YGn  the blocks, when the existing file's header carries a key, and
//                  always in a file made new through this file system; every header written
//                  to such a file carries the key. Index files are scrambled too: their keys
//                  are values of the records.
//   .MB            the whole file, unless an existing file has the header block of a clear one.
// Every other file (lists of a commit, companions such as .VAL) passes unchanged.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/forwarding_file_system.h"

namespace engine {

class CipherFileSystem : public ForwardingFileSystem {
 public:
  CipherFileSystem(FileSystem& base, uint32_t key) : ForwardingFileSystem(base), key_(key) {}

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  uint32_t CipherKey() const override { return key_; }

 private:
  uint32_t key_;
};

// A layer that keeps changes and journals the bytes they overwrite belongs below the key, so
// that what it keeps and journals are the stored, scrambled bytes, and a rollback needs no key:
// StoredFiles gives the file system below `fs` when `fs` is a CipherFileSystem (else `fs`), and
// WithKeyOf gives `layer` seen through that key (nullptr when `fs` has none).
FileSystem& StoredFiles(FileSystem& fs);
std::unique_ptr<FileSystem> WithKeyOf(FileSystem& fs, FileSystem& layer);

}  // namespace engine
