#pragma once
// Block and record I/O goes through this small interface so that tests can substitute an
// in-memory or fault-injecting file system (fail the Nth write, then check the original table).
// All methods raise EDBEngineError (code kErrIo / kErrFileNotFound) with a German message naming
// the path on failure.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/file_mapping.h"

namespace engine {

class File {
 public:
  virtual ~File() = default;
  virtual const std::string& Path() const = 0;
  virtual uint64_t Size() const = 0;
  // Reads up to n bytes at offset into dst; returns the count read (short only at end of file).
  virtual size_t ReadAt(uint64_t offset, void* dst, size_t n) const = 0;
  virtual void WriteAt(uint64_t offset, const void* src, size_t n) = 0;
  virtual void Truncate(uint64_t size) = 0;
  // Flushes written data to stable storage.
  virtual void Sync() = 0;
  // Lets the system start writing the n bytes at offset to stable storage without waiting for
  // it, so that a later Sync has less to wait for. Durable only after Sync.
  virtual void StartWriteBack(uint64_t /*offset*/, uint64_t /*n*/) {}
  // Whether WriteAt and StartWriteBack may run on another thread than the caller's while the
  // caller goes on using other files of the same file system.
  virtual bool WritableFromAnyThread() const { return false; }
  // The first `bytes` bytes of the file mapped for reading in place (see io/file_mapping.h), or
  // nullptr where this file cannot be mapped and is read with ReadAt alone (the default).
  virtual std::unique_ptr<FileMapping> MapForReading(uint64_t /*bytes*/) const { return nullptr; }
};

enum class OpenMode { ReadOnly, ReadWrite, CreateTruncate };

// What the operating system tells of a file that programs other than this one may be using.
struct FileUseProbe {
  bool probed = false;           // the lock test could be made
  bool lockedElsewhere = false;  // another process or network client holds a byte-range lock on it
  bool hasModified = false;
  int64_t modifiedSeconds = 0;  // last change of the content, seconds since 1970 (when hasModified)
};

// The sharing lock of a table (rules in table_lock.h), held until destroyed.
class TableLock {
 public:
  virtual ~TableLock() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Atomically replaces `to` by `from` (same directory).
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Names (not paths) of the regular files in a directory.
  virtual std::vector<std::string> List(const std::string& dir) = 0;
  // Makes the directory's changes (creations, renames, removals) durable.
  virtual void SyncDir(const std::string& dir) = 0;
  // Takes the sharing lock of the table whose .DB is at `path`, shared or exclusive, as
  // table_lock.h describes; raises EDBEngineError(kErrLocked) with a German message naming the
  // table when it is refused. The file need not exist. A lock must not outlive its file system.
  virtual std::unique_ptr<TableLock> Lock(const std::string& path, bool exclusive) = 0;
  // One spelling per file or directory: two paths name the same one exactly when their
  // canonical paths are equal. Parts that do not exist (yet) are normalized by their text.
  // Never raises.
  virtual std::string CanonicalPath(const std::string& path) = 0;
  // Tests, without taking a lock and without changing the file, whether a byte-range lock of
  // someone else covers any part of the file at `path`, and reads when it last changed. File
  // systems without such locks know nothing (the default). Never raises.
  virtual FileUseProbe ProbeUse(const std::string& /*path*/) { return {}; }
  // Whether files of this file system may be synced from several threads at once.
  virtual bool SyncsInParallel() const { return false; }
  // The key with which this file system reads and writes password-protected tables in clear;
  // 0 when it reads them as they are stored (and the engine refuses them).
  virtual uint32_t CipherKey() const { return 0; }
  // Whether two threads may read at once: Open for reading, Exists and List, and ReadAt and
  // Size of files opened for reading. No unless the file system says so.
  virtual bool ConcurrentReads() const { return false; }
};

// The operating system's file system (POSIX).
FileSystem& DefaultFileSystem();

}  // namespace engine
