#include "storage/cipher_file_system.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "format/table_cipher.h"
#include "format/table_header.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/fail.h"
#include "io/names.h"

namespace engine {

namespace {

// Laid: a file with a header and numbered blocks (.DB, .PX, .Xnn/.XGn, .Ynn/.YGn).
enum class Kind { Laid, Blob, Other };

bool IsIndexNumber(const std::string& ext, char letter) {
  if (ext.size() != 3 || ext[0] != letter) return false;
  const bool generic = ext[1] == 'G' && std::isdigit(static_cast<unsigned char>(ext[2]));
  const bool numbered =
      std::isdigit(static_cast<unsigned char>(ext[1])) && std::isdigit(static_cast<unsigned char>(ext[2]));
  return generic || numbered;
}

// The family extension among the dot-separated parts after the base name, so that a temporary
// name ending in a suffix of its own counts as the file it becomes.
Kind KindOf(const std::string& path) {
  const std::string name = UpperAscii(FileNameOf(path));
  size_t at = name.find('.');
  while (at != std::string::npos) {
    const size_t next = name.find('.', at + 1);
    const std::string part = name.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    if (part == "DB" || part == "PX" || IsIndexNumber(part, 'X') || IsIndexNumber(part, 'Y')) return Kind::Laid;
    if (part == "MB") return Kind::Blob;
    at = next;
  }
  return Kind::Other;
}

constexpr size_t kHeadBytes = hdr::kExtensionEnd;
constexpr size_t kVersionBytes = hdr::kFileVersionId + 1;
constexpr size_t kBlobMarkAt = 5;
constexpr std::array<uint8_t, 6> kClearBlobMark = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};

class CipherFile : public File {
 public:
  CipherFile(std::unique_ptr<File> base, uint32_t key, Kind kind, bool fresh)
      : base_(std::move(base)), key_(key), kind_(kind) {
    known_ = fresh ? 0 : base_->ReadAt(0, head_.data(), head_.size());
    if (kind_ == Kind::Blob) state_ = fresh || known_ == 0 || !LooksClear() ? State::Scrambled : State::Clear;
    if (kind_ == Kind::Laid && known_ > 0)
      state_ = LooksLikeHeader() && StoredKey() != 0 ? State::Scrambled : State::Clear;
  }

  const std::string& Path() const override { return base_->Path(); }
  uint64_t Size() const override { return base_->Size(); }
  void Truncate(uint64_t size) override { base_->Truncate(size); }
  void Sync() override { base_->Sync(); }

  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
    const uint64_t clearEnd = ClearEnd();
    if (n == 0 || !Scrambled() || offset + n <= clearEnd) return base_->ReadAt(offset, dst, n);
    auto* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    if (offset < clearEnd) {
      done = static_cast<size_t>(clearEnd - offset);
      const size_t got = base_->ReadAt(offset, out, done);
      if (got < done) return got;
    }
    const uint64_t from = offset + done;
    const uint64_t first = ChunkStart(from);
    const uint64_t last = ChunkStart(offset + n - 1) + kCipherChunk;
    std::vector<uint8_t> buf(static_cast<size_t>(last - first));
    const size_t got = base_->ReadAt(first, buf.data(), buf.size());
    // A chunk that the end of the file cuts off cannot be unscrambled and is given as stored.
    for (size_t at = 0; at + kCipherChunk <= got; at += kCipherChunk) Transform(buf.data() + at, first + at, false);
    const size_t skip = static_cast<size_t>(from - first);
    if (got <= skip) return done;
    const size_t take = std::min(n - done, got - skip);
    std::memcpy(out + done, buf.data() + skip, take);
    return done + take;
  }

  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    std::vector<uint8_t> bytes(static_cast<const uint8_t*>(src), static_cast<const uint8_t*>(src) + n);
    if (state_ == State::Pending) Settle(offset, bytes);
    NoteHeader(offset, bytes);
    if (n == 0 || !Scrambled()) {
      base_->WriteAt(offset, bytes.data(), n);
      return;
    }
    const uint64_t clearEnd = ClearEnd();
    if (offset + n <= clearEnd) {
      base_->WriteAt(offset, bytes.data(), n);
      return;
    }
    size_t done = 0;
    if (offset < clearEnd) {
      done = static_cast<size_t>(clearEnd - offset);
      base_->WriteAt(offset, bytes.data(), done);
    }
    const uint64_t from = offset + done;
    const uint64_t first = ChunkStart(from);
    const uint64_t last = ChunkStart(offset + n - 1) + kCipherChunk;
    std::vector<uint8_t> buf(static_cast<size_t>(last - first), 0);
    const bool headPartial = first != from;
    const bool tailPartial = last != offset + n;
    if (headPartial) ReadClearChunk(first, buf.data());
    if (tailPartial && !(headPartial && last - kCipherChunk == first))
      ReadClearChunk(last - kCipherChunk, buf.data() + buf.size() - kCipherChunk);
    std::memcpy(buf.data() + (from - first), bytes.data() + done, n - done);
    for (size_t at = 0; at < buf.size(); at += kCipherChunk) Transform(buf.data() + at, first + at, true);
    base_->WriteAt(first, buf.data(), buf.size());
  }

 private:
  // What a new file with a family name is, told by its first write: the header of a family file
  // (scrambled from then on) or anything else, such as the list of a commit (left clear). Blocks
  // written before the header could not be scrambled and are refused.
  void Settle(uint64_t offset, const std::vector<uint8_t>& bytes) {
    if (offset != 0)
      Fail(kErrInvalidState, Path(), "Die Blöcke einer geschützten Tabelle können nicht vor ihrem Tabellenkopf "
                                     "geschrieben werden.");
    std::memcpy(head_.data(), bytes.data(), std::min(bytes.size(), head_.size()));
    known_ = std::min(bytes.size(), head_.size());
    state_ = LooksLikeHeader() ? State::Scrambled : State::Clear;
  }

  // Whether the first bytes are a family file's header, whose layout the blocks follow.
  bool LooksLikeHeader() const {
    if (known_ < kVersionBytes) return false;
    const uint8_t version = head_[hdr::kFileVersionId];
    const uint8_t blockKiB = head_[hdr::kBlockSizeKiB];
    return coding::GetU16(head_.data() + hdr::kRecordSize) > 0 && HeaderSize() >= hdr::kFixedPartEnd &&
           head_[hdr::kFileType] <= static_cast<uint8_t>(FileType::MaintainedXG) && blockKiB >= 1 &&
           blockKiB <= 32 && version >= 3 && version <= 12;
  }
  uint16_t HeaderSize() const { return coding::GetU16(head_.data() + hdr::kHeaderSize); }
  uint32_t BlockBytes() const { return head_[hdr::kBlockSizeKiB] * 1024u; }
  bool HasExtension() const { return HasHeaderExtension(head_[hdr::kFileType], head_[hdr::kFileVersionId]); }

  // The key the header carries, 0 when it carries none.
  uint32_t StoredKey() const {
    if (known_ < kVersionBytes) return 0;
    const uint32_t first = coding::GetU32(head_.data() + hdr::kEncryption1);
    if (!HasExtension()) return first;
    if (known_ < hdr::kEncryption2 + 4 || first != hdr::kExtensionMark) return 0;
    return coding::GetU32(head_.data() + hdr::kEncryption2);
  }

  bool LooksClear() const {
    return known_ >= kBlobMarkAt + kClearBlobMark.size() && head_[0] == 0 &&
           std::equal(kClearBlobMark.begin(), kClearBlobMark.end(), head_.begin() + kBlobMarkAt);
  }

  bool Scrambled() const { return state_ == State::Scrambled; }

  // Bytes from the start of the file that are never scrambled: the header of a family file.
  uint64_t ClearEnd() const { return kind_ == Kind::Blob ? 0 : HeaderSize(); }

  uint64_t ChunkStart(uint64_t offset) const {
    const uint64_t base = ClearEnd();
    const uint64_t rel = offset - base;
    if (kind_ == Kind::Blob) return rel - rel % kCipherChunk;
    const uint64_t block = rel / BlockBytes();
    const uint64_t inBlock = rel % BlockBytes();
    return base + block * BlockBytes() + inBlock - inBlock % kCipherChunk;
  }

  void Transform(uint8_t* chunk, uint64_t start, bool encrypt) const {
    if (kind_ == Kind::Blob) {
      encrypt ? EncryptBlobChunk(chunk, key_) : DecryptBlobChunk(chunk, key_);
      return;
    }
    const uint64_t rel = start - ClearEnd();
    const auto block = static_cast<uint32_t>(rel / BlockBytes() + 1);
    const size_t index = static_cast<size_t>(rel % BlockBytes() / kCipherChunk);
    encrypt ? EncryptBlockChunk(chunk, key_, block, index) : DecryptBlockChunk(chunk, key_, block, index);
  }

  // The clear content of the chunk at `start`; zeros where the file has no whole chunk yet.
  void ReadClearChunk(uint64_t start, uint8_t* chunk) const {
    if (base_->ReadAt(start, chunk, kCipherChunk) == kCipherChunk)
      Transform(chunk, start, false);
    else
      std::memset(chunk, 0, kCipherChunk);
  }

  // Keeps the copy of the header's first bytes up to date and, in a scrambled file, puts the
  // key into every header written.
  void NoteHeader(uint64_t offset, std::vector<uint8_t>& bytes) {
    if (kind_ == Kind::Blob || kind_ == Kind::Other || offset >= head_.size()) return;
    const size_t at = static_cast<size_t>(offset);
    const size_t n = std::min(bytes.size(), head_.size() - at);
    if (at > known_) return;  // a gap: what lies before is not known
    std::memcpy(head_.data() + at, bytes.data(), n);
    known_ = std::max(known_, at + n);
    if (!Scrambled()) return;
    if (HasExtension()) {
      coding::PutU32(head_.data() + hdr::kEncryption1, hdr::kExtensionMark);
      coding::PutU32(head_.data() + hdr::kEncryption2, key_);
    } else {
      coding::PutU32(head_.data() + hdr::kEncryption1, key_);
    }
    head_[hdr::kUnknown3E] = 0;
    head_[hdr::kUnknown3E + 1] = 0;
    std::memcpy(bytes.data(), head_.data() + at, std::min(n, known_ - at));
  }

  std::unique_ptr<File> base_;
  uint32_t key_;
  Kind kind_;
  // A file with a family name opened new stays Pending until its first write tells what it is.
  enum class State { Pending, Clear, Scrambled };
  State state_ = State::Pending;
  std::array<uint8_t, kHeadBytes> head_{};
  size_t known_ = 0;
};

}  // namespace

std::unique_ptr<File> CipherFileSystem::Open(const std::string& path, OpenMode mode) {
  std::unique_ptr<File> file = Base().Open(path, mode);
  const Kind kind = KindOf(path);
  if (kind == Kind::Other) return file;
  return std::make_unique<CipherFile>(std::move(file), key_, kind, mode == OpenMode::CreateTruncate);
}

FileSystem& StoredFiles(FileSystem& fs) {
  auto* cipher = dynamic_cast<CipherFileSystem*>(&fs);
  return cipher ? cipher->Base() : fs;
}

std::unique_ptr<FileSystem> WithKeyOf(FileSystem& fs, FileSystem& layer) {
  auto* cipher = dynamic_cast<CipherFileSystem*>(&fs);
  if (!cipher) return nullptr;
  return std::make_unique<CipherFileSystem>(layer, cipher->CipherKey());
}

}  // namespace engine
