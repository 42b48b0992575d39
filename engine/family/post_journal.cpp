#include "family/post_journal.h"

#include <algorithm>
#include <cstdint>

#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/file_system.h"
#include "io/names.h"

namespace engine {

namespace {

// Magic, the body's length and checksum, then the body. Bytes after the body are ignored: a
// journal file is written over from the start again and again without being cut back.
constexpr char kAfterMagic[] = "KBUNDO04";  // with what the change leaves
constexpr char kMagic[] = "KBUNDO03";
constexpr char kByteSummedMagic[] = "KBUNDO02";  // the same journal with a checksum taken byte by byte
constexpr size_t kMagicBytes = 8;
constexpr size_t kHeadBytes = kMagicBytes + 8;

// The little-endian word of the fewer than 8 bytes at p[i] before p[n], filled up with zeros.
uint64_t ShortWordAt(const uint8_t* p, size_t i, size_t n) {
  uint64_t word = 0;
  for (size_t k = 0; i + k < n; ++k) word |= uint64_t{p[i + k]} << (8 * k);
  return word;
}

// The little-endian word of the up to 8 bytes at p[i] before p[n] (filled up with zeros). Small
// enough to be inlined into the checksum loops, which run over every byte of a journal.
inline uint64_t WordAt(const uint8_t* p, size_t i, size_t n) {
  if (i + 8 <= n) return coding::GetU32(p + i) | uint64_t{coding::GetU32(p + i + 4)} << 32;
  return ShortWordAt(p, i, n);
}

// FNV-1a over 8-byte words (the last one filled up with zeros), folded to 32 bits.
uint32_t Checksum(const uint8_t* p, size_t n) {
  uint64_t h = 14695981039346656037u;
  for (size_t i = 0; i < n; i += 8) h = (h ^ WordAt(p, i, n)) * 1099511628211u;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

uint32_t ByteChecksum(const uint8_t* p, size_t n) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

void PutU32(std::string& out, uint32_t v) {
  uint8_t raw[4];
  coding::PutU32(raw, v);
  out.append(reinterpret_cast<const char*>(raw), 4);
}

void PutU64(std::string& out, uint64_t v) {
  PutU32(out, static_cast<uint32_t>(v));
  PutU32(out, static_cast<uint32_t>(v >> 32));
}

// Reads little-endian numbers and byte strings, refusing to run past the end.
class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool U8(uint8_t* v) { return Take(1) && (*v = p_[at_ - 1], true); }
  bool U32(uint32_t* v) { return Take(4) && (*v = coding::GetU32(p_ + at_ - 4), true); }
  bool U64(uint64_t* v) {
    uint32_t lo = 0, hi = 0;
    if (!U32(&lo) || !U32(&hi)) return false;
    *v = uint64_t{hi} << 32 | lo;
    return true;
  }
  bool Bytes(uint64_t n, std::string* v) {
    if (n > n_ - at_) return false;
    v->assign(reinterpret_cast<const char*>(p_ + at_), static_cast<size_t>(n));
    at_ += static_cast<size_t>(n);
    return true;
  }
  bool AtEnd() const { return at_ == n_; }

 private:
  bool Take(size_t n) {
    if (n > n_ - at_) return false;
    at_ += n;
    return true;
  }
  const uint8_t* p_;
  size_t n_;
  size_t at_ = 0;
};

// A plain file name of the table: no directory part, the table's base name.
bool NamesTableFile(const std::string& name, const std::string& base) {
  return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name.find('.') != std::string::npos && EqualsIgnoringCase(BaseNameOf(name), base);
}

bool ReadFile(Reader& in, const std::string& base, bool withAfter, JournalFile* f) {
  uint32_t nameBytes = 0, rangeCount = 0;
  uint8_t created = 0;
  if (!in.U32(&nameBytes) || !in.Bytes(nameBytes, &f->name) || !NamesTableFile(f->name, base)) return false;
  if (!in.U8(&created) || created > 1 || !in.U64(&f->oldSize) || !in.U32(&rangeCount)) return false;
  f->created = created == 1;
  for (uint32_t r = 0; r < rangeCount; ++r) {
    uint64_t offset = 0, length = 0;
    std::string bytes;
    if (!in.U64(&offset) || !in.U64(&length) || !in.Bytes(length, &bytes)) return false;
    if (offset > f->oldSize || length > f->oldSize - offset) return false;
    f->ranges.emplace_back(offset, std::move(bytes));
  }
  if (withAfter) {
    uint32_t sums = 0;
    if (!in.U64(&f->newSize) || !in.U32(&sums)) return false;
    f->afterKnown = true;
    uint64_t pieces = 0;
    for (const auto& [offset, length] : AfterRegions(*f)) pieces += (length + kAfterPiece - 1) / kAfterPiece;
    if (pieces != sums) return false;
    for (uint32_t k = 0; k < sums; ++k) {
      uint32_t sum = 0;
      if (!in.U32(&sum)) return false;
      f->afterSums.push_back(sum);
    }
    uint32_t headBytes = 0;
    if (!in.U32(&headBytes) || !in.Bytes(headBytes, &f->afterHead)) return false;
    if (!f->afterHead.empty() && (f->ranges.empty() || f->ranges.front().first != 0 ||
                                  f->afterHead.size() > f->ranges.front().second.size()))
      return false;
  }
  return !f->created || (f->oldSize == 0 && f->ranges.empty());
}

// Whether `file` holds, in the piece of `length` bytes at `offset`, bytes with checksum `sum`.
bool PieceIs(const File& file, uint64_t offset, size_t length, uint32_t sum) {
  std::vector<uint8_t> bytes(length);
  return file.ReadAt(offset, bytes.data(), length) == length && PieceChecksum(bytes.data(), length) == sum;
}

bool HoldsChange(FileSystem& fs, const std::string& dir, const JournalFile& f) {
  const std::string path = dir + f.name;
  if (!fs.Exists(path)) return false;
  auto file = fs.Open(path, OpenMode::ReadOnly);
  if (file->Size() != f.newSize) return false;
  size_t k = 0;
  for (const auto& [offset, length] : AfterRegions(f))
    for (uint64_t at = 0; at < length; at += kAfterPiece, ++k)
      if (!PieceIs(*file, offset + at, static_cast<size_t>(std::min(kAfterPiece, length - at)), f.afterSums[k]))
        return false;
  return true;
}

// Whether a byte of the .DB's header is neither as before nor as after the change.
bool HeaderChangedSince(FileSystem& fs, const std::string& dir, const JournalFile& f) {
  if (f.afterHead.empty() || !EqualsIgnoringCase(ExtensionOf(f.name), "DB") || !fs.Exists(dir + f.name)) return false;
  const std::string& before = f.ranges.front().second;
  const std::string& after = f.afterHead;
  std::string now(after.size(), '\0');
  now.resize(fs.Open(dir + f.name, OpenMode::ReadOnly)->ReadAt(0, now.data(), now.size()));
  for (size_t i = 0; i < now.size(); ++i)
    if (now[i] != before[i] && now[i] != after[i]) return true;
  return false;
}

}  // namespace

std::vector<std::pair<uint64_t, uint64_t>> AfterRegions(const JournalFile& f) {
  std::vector<std::pair<uint64_t, uint64_t>> regions;
  for (const auto& [offset, bytes] : f.ranges)
    if (offset < f.newSize) regions.emplace_back(offset, std::min<uint64_t>(bytes.size(), f.newSize - offset));
  const uint64_t grown = f.created ? 0 : f.oldSize;
  if (f.newSize > grown) regions.emplace_back(grown, f.newSize - grown);
  return regions;
}

// Unlike the journal's own checksum, every bit of a word reaches every bit of the result: a piece
// whose old and new bytes differ only in high bits (two sign bits flipped, say) must not read as
// new.
uint32_t PieceChecksum(const uint8_t* bytes, size_t n) {
  uint64_t h = 0x9E3779B97F4A7C15u ^ n;
  for (size_t i = 0; i < n; i += 8) {
    h = (h ^ WordAt(bytes, i, n)) * 0xFF51AFD7ED558CCDu;
    h ^= h >> 31;
  }
  h *= 0xC4CEB9FE1A85EC53u;
  h ^= h >> 33;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

JournalOutcome OutcomeOf(FileSystem& fs, const std::string& dir, const std::vector<JournalFile>& files) {
  bool known = !files.empty();
  for (const JournalFile& f : files) known = known && f.afterKnown;
  if (!known) return JournalOutcome::kCutOff;
  bool completed = true;
  for (const JournalFile& f : files) {
    if (HeaderChangedSince(fs, dir, f)) return JournalOutcome::kChangedSince;
    completed = completed && HoldsChange(fs, dir, f);
  }
  return completed ? JournalOutcome::kCompleted : JournalOutcome::kCutOff;
}

std::string EncodeJournal(const std::vector<JournalFile>& files) {
  bool withAfter = !files.empty();
  for (const JournalFile& f : files) withAfter = withAfter && f.afterKnown;
  std::string body;
  PutU32(body, static_cast<uint32_t>(files.size()));
  for (const JournalFile& f : files) {
    PutU32(body, static_cast<uint32_t>(f.name.size()));
    body += f.name;
    body += static_cast<char>(f.created ? 1 : 0);
    PutU64(body, f.oldSize);
    PutU32(body, static_cast<uint32_t>(f.ranges.size()));
    for (const auto& [offset, bytes] : f.ranges) {
      PutU64(body, offset);
      PutU64(body, bytes.size());
      body += bytes;
    }
    if (withAfter) {
      PutU64(body, f.newSize);
      PutU32(body, static_cast<uint32_t>(f.afterSums.size()));
      for (uint32_t sum : f.afterSums) PutU32(body, sum);
      PutU32(body, static_cast<uint32_t>(f.afterHead.size()));
      body += f.afterHead;
    }
  }
  if (body.size() > UINT32_MAX)
    FailPlain(kErrUnsupported, "Die Änderung ist zu groß, um sie sicher zu speichern (mehr als 4 GiB alte Daten).");
  std::string out;
  out.reserve(kHeadBytes + body.size());
  out.assign(withAfter ? kAfterMagic : kMagic, kMagicBytes);
  PutU32(out, static_cast<uint32_t>(body.size()));
  PutU32(out, Checksum(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
  out += body;
  return out;
}

bool DecodeJournal(const std::string& text, const std::string& base, std::vector<JournalFile>* files) {
  files->clear();
  if (text.size() < kHeadBytes) return false;
  const bool byteSummed = text.compare(0, kMagicBytes, kByteSummedMagic) == 0;
  const bool withAfter = text.compare(0, kMagicBytes, kAfterMagic) == 0;
  if (!byteSummed && !withAfter && text.compare(0, kMagicBytes, kMagic) != 0) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint32_t bodyBytes = coding::GetU32(p + kMagicBytes);
  if (bodyBytes > text.size() - kHeadBytes) return false;
  const uint32_t sum = byteSummed ? ByteChecksum(p + kHeadBytes, bodyBytes) : Checksum(p + kHeadBytes, bodyBytes);
  if (coding::GetU32(p + kMagicBytes + 4) != sum) return false;
  Reader in(p + kHeadBytes, bodyBytes);
  uint32_t count = 0;
  if (!in.U32(&count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    JournalFile f;
    if (!ReadFile(in, base, withAfter, &f)) return false;
    files->push_back(std::move(f));
  }
  return in.AtEnd();
}

size_t VoidedJournalBytes() { return kMagicBytes; }

void UndoJournal(FileSystem& fs, const std::string& dir, const std::vector<JournalFile>& files) {
  for (const JournalFile& f : files) {
    const std::string path = dir + f.name;
    if (f.created) {
      if (fs.Exists(path)) fs.Remove(path);
      continue;
    }
    if (!fs.Exists(path))
      Fail(kErrCorrupt, path,
           "Die Datei fehlt; eine abgebrochene Änderung der Tabelle kann nicht zurückgenommen werden.");
    auto file = fs.Open(path, OpenMode::ReadWrite);
    for (const auto& [offset, bytes] : f.ranges) file->WriteAt(offset, bytes.data(), bytes.size());
    if (file->Size() != f.oldSize) file->Truncate(f.oldSize);
    file->Sync();
  }
  fs.SyncDir(ListableDir(dir));
}

bool ReadJournal(FileSystem& fs, const std::string& dir, const std::string& dbName, const std::string& journalName,
                 std::vector<JournalFile>* files) {
  std::string text;
  auto file = fs.Open(dir + journalName, OpenMode::ReadOnly);
  text.resize(static_cast<size_t>(file->Size()));
  text.resize(file->ReadAt(0, text.data(), text.size()));
  return DecodeJournal(text, BaseNameOf(dbName), files);
}

void RollBackJournal(FileSystem& fs, const std::string& dir, const std::string& dbName,
                     const std::string& journalName) {
  const std::string path = dir + journalName;
  std::vector<JournalFile> files;
  if (ReadJournal(fs, dir, dbName, journalName, &files) && OutcomeOf(fs, dir, files) == JournalOutcome::kCutOff)
    UndoJournal(fs, dir, files);
  fs.Remove(path);
  fs.SyncDir(ListableDir(dir));
}

}  // namespace engine
