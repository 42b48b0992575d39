#include "family/foreign_locks.h"

#include <cstring>
#include <ctime>
#include <mutex>
#include <set>

#include "format/code_page.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/names.h"
#include "io/network_paths.h"

namespace engine {

namespace {

constexpr char kDirectoryLockName[] = "PDOXUSRS.LCK";
constexpr char kDosLockName[] = "PARADOX.LCK";
constexpr char kNetFileName[] = "PDOXUSRS.NET";
constexpr char kDosNetFileName[] = "PARADOX.NET";

// The layout figures of PDOXUSRS.LCK: a stub, the net directory as a zero-terminated path, the
// count of its 1 KiB blocks and the id of the net file it belongs to.
constexpr uint8_t kLockStub[] = {0x23, 0x00, 0x00, 0x02};
constexpr size_t kNetDirectoryOffset = 0x6E;
constexpr size_t kBlockCountOffset = 0x108;
constexpr size_t kNetFileIdOffset = 0x10D;
constexpr size_t kLockFactsBytes = kNetFileIdOffset + 4;
constexpr uint64_t kLockBlockBytes = 1024;
// The net file keeps the same id at this offset.
constexpr size_t kNetFileIdOffsetInNet = 0x08;
// Where this system lists its mounts, and how much of it is read at the most.
constexpr char kMountTable[] = "/proc/mounts";
constexpr size_t kMountTableBytes = 1 << 20;
// The code page of the programs that write these files; the path text is decoded with it.
constexpr int kLockFileCodePage = 850;

// Reads up to `n` bytes from the start of the file at `path`, and its size into `size` when
// given; empty when it cannot be read.
std::vector<uint8_t> ReadStart(FileSystem& fs, const std::string& path, size_t n, uint64_t* size = nullptr) {
  std::vector<uint8_t> bytes(n);
  try {
    const auto file = fs.Open(path, OpenMode::ReadOnly);
    if (size) *size = file->Size();
    bytes.resize(file->ReadAt(0, bytes.data(), n));
    return bytes;
  } catch (const EDBEngineError&) {
    return {};
  }
}

// The zero-terminated path at the start of `bytes`, in UTF-8, control characters shown as "?".
std::string NetDirectoryText(const uint8_t* bytes, size_t capacity) {
  std::string raw;
  for (size_t i = 0; i < capacity && bytes[i] != 0; ++i)
    raw.push_back(bytes[i] < 0x20 ? '?' : static_cast<char>(bytes[i]));
  return CodePage::Get(kLockFileCodePage).ToUtf8(raw);
}

// The net directory as a path of this system: itself when it is one, the place of a network path
// below the mount point of its share, empty when it cannot be reached from here (a drive letter).
std::string LocalNetDirectory(FileSystem& fs, const std::string& netDirectory) {
  if (IsNetworkPath(netDirectory)) {
    const std::vector<uint8_t> mounts = ReadStart(fs, kMountTable, kMountTableBytes);
    return LocalPathOfNetworkPath(netDirectory, std::string(mounts.begin(), mounts.end()));
  }
  return !netDirectory.empty() && netDirectory.front() == '/' ? WithSlash(netDirectory) : std::string();
}

// The net file to check a PDOXUSRS.LCK against: in the net directory it names when that can be
// reached from here, else one beside the table (where the net directory is often the data folder
// itself); empty when none is there.
std::string ReachableNetFile(FileSystem& fs, const std::string& dir, const std::string& netDirectory) {
  const std::string netDir = LocalNetDirectory(fs, netDirectory);
  if (!netDir.empty()) {
    const std::string path = netDir + FindFileIgnoringCase(fs, netDir, kNetFileName);
    if (fs.Exists(path)) return path;
  }
  const std::string beside = dir + FindFileIgnoringCase(fs, dir, kNetFileName);
  return fs.Exists(beside) ? beside : std::string();
}

// Reads the safe facts of a PDOXUSRS.LCK into `file`.
void ReadDirectoryLockFacts(FileSystem& fs, const std::string& dir, ForeignLockFile& file) {
  const std::string path = dir + file.name;
  uint64_t size = 0;
  const std::vector<uint8_t> bytes = ReadStart(fs, path, kLockFactsBytes, &size);
  if (bytes.size() < kLockFactsBytes || size % kLockBlockBytes != 0) return;
  if (std::memcmp(bytes.data(), kLockStub, sizeof kLockStub) != 0) return;
  if (coding::GetU16(&bytes[kBlockCountOffset]) != size / kLockBlockBytes) return;
  file.layoutKnown = true;
  file.netDirectory = NetDirectoryText(&bytes[kNetDirectoryOffset], kBlockCountOffset - kNetDirectoryOffset);
  file.netFileId = coding::GetU32(&bytes[kNetFileIdOffset]);
  file.netFilePath = ReachableNetFile(fs, dir, file.netDirectory);
  if (file.netFilePath.empty()) return;
  const std::vector<uint8_t> net = ReadStart(fs, file.netFilePath, kNetFileIdOffsetInNet + 4);
  if (net.size() < kNetFileIdOffsetInNet + 4) return;
  file.netFile = coding::GetU32(&net[kNetFileIdOffsetInNet]) == file.netFileId ? NetFileMatch::Same
                                                                                 : NetFileMatch::Different;
}

// --- Consents --------------------------------------------------------------------------------

struct Consent {
  uint64_t id;
  std::string table;             // canonical path of the .DB
  std::set<std::string> names;  // upper-case names of the files the user saw
};

struct Consents {
  std::mutex mutex;
  std::vector<Consent> list;
  uint64_t nextId = 1;
};

Consents& TheConsents() {
  static Consents consents;
  return consents;
}

bool Consented(FileSystem& fs, const ForeignUse& use) {
  const std::string table = fs.CanonicalPath(use.tablePath);
  Consents& consents = TheConsents();
  const std::lock_guard<std::mutex> guard(consents.mutex);
  for (const Consent& consent : consents.list) {
    if (consent.table != table) continue;
    bool covered = true;
    for (const ForeignLockFile& file : use.files) covered = covered && consent.names.count(UpperAscii(file.name)) > 0;
    if (covered) return true;
  }
  return false;
}

}  // namespace

bool ForeignUse::Held() const {
  if (table.lockedElsewhere) return true;
  for (const ForeignLockFile& file : files)
    if (file.probe.lockedElsewhere) return true;
  return false;
}

bool IsForeignLockFileName(const std::string& name) {
  const std::string ext = UpperAscii(ExtensionOf(name));
  return name.find('.') != std::string::npos && (ext == "LCK" || ext == "NET");
}

ForeignUse FindForeignUse(FileSystem& fs, const std::string& dirIn, const std::string& dbName) {
  const std::string dir = WithSlash(dirIn);
  ForeignUse use;
  use.tablePath = dir + FindFileIgnoringCase(fs, dir, dbName);
  use.table = fs.ProbeUse(use.tablePath);
  const std::string tableLockName = UpperAscii(BaseNameOf(dbName)) + ".LCK";
  for (const std::string& name : fs.List(ListableDir(dir))) {
    const std::string upper = UpperAscii(name);
    if (upper != kDirectoryLockName && upper != kDosLockName && upper != tableLockName && upper != kNetFileName &&
        upper != kDosNetFileName)
      continue;
    ForeignLockFile file;
    file.name = name;
    file.probe = fs.ProbeUse(dir + name);
    if (upper == kDirectoryLockName) ReadDirectoryLockFacts(fs, dir, file);
    use.files.push_back(std::move(file));
  }
  return use;
}

void RefuseForeignUse(FileSystem& fs, const std::string& dirIn, const std::string& dbName) {
  const std::string dir = WithSlash(dirIn);
  if (!fs.Exists(dir + FindFileIgnoringCase(fs, dir, dbName))) return;
  const ForeignUse use = FindForeignUse(fs, dir, dbName);
  if (use.Held() || (use.Present() && !Consented(fs, use)))
    Fail(kErrLocked, use.tablePath, ForeignUseText(use, static_cast<int64_t>(std::time(nullptr))));
}

ForeignLockConsent::ForeignLockConsent(FileSystem& fs, const ForeignUse& seen) {
  Consent consent;
  consent.table = fs.CanonicalPath(seen.tablePath);
  for (const ForeignLockFile& file : seen.files) consent.names.insert(UpperAscii(file.name));
  Consents& consents = TheConsents();
  const std::lock_guard<std::mutex> guard(consents.mutex);
  id_ = consent.id = consents.nextId++;
  consents.list.push_back(std::move(consent));
}

ForeignLockConsent::~ForeignLockConsent() {
  Consents& consents = TheConsents();
  const std::lock_guard<std::mutex> guard(consents.mutex);
  for (auto it = consents.list.begin(); it != consents.list.end(); ++it) {
    if (it->id != id_) continue;
    consents.list.erase(it);
    return;
  }
}

}  // namespace engine
