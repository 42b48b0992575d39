#include "io/file_mapping.h"

#include <linux/magic.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>

#include "io/engine_error.h"
#include "io/fail.h"

namespace engine {

namespace {

// ZFS has no constant in the system's headers.
constexpr long kZfsMagic = 0x2FC12FC1;

// Mappings open at once; one more is refused (the reader then reads with ReadAt).
constexpr size_t kSlots = 1024;

// A mapping as the signal handler sees it: only atomics, read without a lock.
struct GuardedRange {
  std::atomic<bool> taken{false};
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> lost{false};
};

std::array<GuardedRange, kSlots> g_ranges;
struct sigaction g_previous {};
uintptr_t g_pageBytes = 4096;  // the system's, once the handler is installed

bool OnLocalDisk(int fd) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC: case XFS_SUPER_MAGIC: case BTRFS_SUPER_MAGIC: case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC: case OVERLAYFS_SUPER_MAGIC: case kZfsMagic:
      return true;
    default:
      return false;
  }
}

// What the handler before ours does with a fault that is not in a mapping; with no handler
// before, the default action ends the process.
void PassOn(int signal, siginfo_t* info, void* context) {
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction) {
      g_previous.sa_sigaction(signal, info, context);
      return;
    }
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(signal);
    return;
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // delivered once the handler returns
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedRange& range : g_ranges) {
    // A range is set up end first and taken down begin first: a begin read as set has its end.
    const uintptr_t begin = range.begin.load(std::memory_order_acquire);
    if (begin == 0 || at < begin) continue;
    const uintptr_t end = range.end.load(std::memory_order_acquire);
    if (at >= end) continue;
    // Zero pages over the rest of the mapping; the faulting read is made again on them. mmap is
    // a plain system call here, safe in a handler.
    const uintptr_t page = at & ~(g_pageBytes - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                         -1, 0);
    if (zeros == MAP_FAILED) break;
    range.lost.store(true, std::memory_order_relaxed);
    return;
  }
  PassOn(signal, info, context);
}

void InstallHandlerOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_pageBytes = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
  });
}

}  // namespace

std::unique_ptr<FileMapping> FileMapping::Map(int fd, uint64_t bytes, std::string path) {
  if (bytes == 0 || bytes > SIZE_MAX || !OnLocalDisk(fd)) return nullptr;
  InstallHandlerOnce();
  size_t slot = 0;
  for (bool expected = false; slot < kSlots; ++slot, expected = false)
    if (g_ranges[slot].taken.compare_exchange_strong(expected, true)) break;
  if (slot == kSlots) return nullptr;
  void* mapped = ::mmap(nullptr, static_cast<size_t>(bytes), PROT_READ, MAP_SHARED, fd, 0);
  GuardedRange& range = g_ranges[slot];
  if (mapped == MAP_FAILED) {
    range.taken.store(false);
    return nullptr;
  }
  range.lost.store(false);
  range.end.store(reinterpret_cast<uintptr_t>(mapped) + static_cast<uintptr_t>(bytes), std::memory_order_release);
  range.begin.store(reinterpret_cast<uintptr_t>(mapped), std::memory_order_release);
  return std::unique_ptr<FileMapping>(new FileMapping(static_cast<const uint8_t*>(mapped), bytes, std::move(path), slot, &range.lost));
}

const uint8_t* FileMapping::Read(uint64_t offset, size_t n) const {
  // The first byte, then the first byte of every further page that the bytes reach into.
  const volatile uint8_t* file = bytes_;
  if (n > 0) (void)file[offset];
  for (uint64_t page = (offset / g_pageBytes + 1) * g_pageBytes; page < offset + n; page += g_pageBytes)
    (void)file[page];
  CheckNotLost();
  return bytes_ + offset;
}

void FileMapping::CheckNotLost() const {
  if (Lost())
    Fail(kErrIo, path_,
         "Die Datei ist nicht mehr vollständig lesbar: Sie wurde während des Lesens von einem anderen Programm "
         "verkürzt, oder der Datenträger meldete einen Lesefehler.");
}

void FileMapping::Release(uint64_t offset, uint64_t n) const {
  const uint64_t begin = offset / g_pageBytes * g_pageBytes;
  const uint64_t end = std::min(offset + n, size_) / g_pageBytes * g_pageBytes;
  if (begin < end)
    ::madvise(const_cast<uint8_t*>(bytes_ + begin), static_cast<size_t>(end - begin), MADV_DONTNEED);
}

FileMapping::~FileMapping() {
  GuardedRange& range = g_ranges[slot_];
  range.begin.store(0, std::memory_order_release);
  range.end.store(0, std::memory_order_release);
  ::munmap(const_cast<uint8_t*>(bytes_), static_cast<size_t>(size_));
  range.taken.store(false);
}

}  // namespace engine
