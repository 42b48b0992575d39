#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/tests/allocation_failure.h"
#include "format/blob_block.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/file_mapping.h"
#include "io/file_system.h"
#include "storage/blob_file.h"
#include "testsupport/family_checks.h"
#include "testsupport/file_bytes.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/temp_dir.h"

namespace {

using engine::BlobFile;
using engine::PxType;

constexpr char kPath[] = "/mem/T.MB";

std::string Pattern(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i % 23);
  return s;
}

struct Field {
  explicit Field(size_t size) : bytes(size, 0) {}
  std::vector<uint8_t> bytes;
  uint8_t* data() { return bytes.data(); }
  size_t size() const { return bytes.size(); }
};

TEST(WriteBlobFile, ValuesOfEveryLengthReadBack) {
  testsupport::MemoryFileSystem fs;
  auto mb = BlobFile::Create(fs, kPath);
  // In the leader, exactly the leader, one chunk, chunk boundary, sub-allocation limit, own block.
  const std::vector<size_t> lengths = {0, 5, 20, 21, 36, 37, 2048, 2049, 4087, 4088, 70000};
  std::vector<Field> fields;
  for (size_t i = 0; i < lengths.size(); ++i) {
    fields.emplace_back(30);
    mb->Write(Pattern(lengths[i], static_cast<char>('a' + i)), PxType::Memo, fields.back().data(), 30);
  }
  auto reopened = BlobFile::Open(fs, kPath, false);
  for (size_t i = 0; i < lengths.size(); ++i) {
    SCOPED_TRACE(lengths[i]);
    EXPECT_EQ(BlobFile::StoredLength(fields[i].data(), 30), lengths[i]);
    EXPECT_EQ(reopened->Read(fields[i].data(), 30), Pattern(lengths[i], static_cast<char>('a' + i)));
    const bool inLeader = lengths[i] <= 20;
    std::string leader;
    EXPECT_EQ(BlobFile::ReadFromLeader(fields[i].data(), 30, &leader), inLeader);
    // The leader always holds the first bytes of the value.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fields[i].data()), std::min<size_t>(lengths[i], 20)),
              Pattern(lengths[i], static_cast<char>('a' + i)).substr(0, 20));
  }
  EXPECT_EQ(fs.Contents(kPath).size() % 4096, 0u);
}

TEST(WriteBlobFile, RebuiltFileHoldsEveryValueAndAnExactFreeListOnceSynced) {
  // Small values filling several sub-allocated blocks, with values in blocks of their own
  // between them: the blocks kept back for more small values and the free-space list are all
  // in the file after Sync.
  testsupport::MemoryFileSystem fs;
  auto mb = BlobFile::Create(fs, kPath, engine::BlobNumbering::AllOne);
  std::vector<std::string> values;
  std::vector<Field> fields;
  for (size_t i = 0; i < 300; ++i) {
    values.push_back(Pattern(i % 17 == 0 ? 5000 + i : 21 + (i * 37) % 400, static_cast<char>('a' + i % 26)));
    fields.emplace_back(30);
    mb->Write(values.back(), PxType::Memo, fields.back().data(), 30);
  }
  mb->Sync();
  auto reopened = BlobFile::Open(fs, kPath, false);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(reopened->Read(fields[i].data(), 30), values[i]) << i;
  testsupport::ExpectExactFreeList(fs, kPath);
}

TEST(WriteBlobFile, GraphicLeaderHoldsPayloadWithoutPrefix) {
  testsupport::MemoryFileSystem fs;
  auto mb = BlobFile::Create(fs, kPath);
  std::string value = std::string("\x01\x00\x00\x01\x04\x00\x00\x00", 8) + "BMxy";
  Field field(14);
  mb->Write(value, PxType::Graphic, field.data(), field.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(field.data()), 4), "BMxy");
  EXPECT_EQ(mb->Read(field.data(), field.size()), value);
}

TEST(WriteBlobFile, FreedSpaceIsReusedAndEmptyTailTruncated) {
  testsupport::MemoryFileSystem fs;
  auto mb = BlobFile::Create(fs, kPath);
  Field a(10), b(10), c(10), big(10);
  mb->Write(Pattern(100, 'a'), PxType::Memo, a.data(), 10);
  mb->Write(Pattern(200, 'b'), PxType::Memo, b.data(), 10);
  mb->Write(Pattern(300, 'c'), PxType::Memo, c.data(), 10);
  mb->Write(Pattern(9000, 'd'), PxType::Blob, big.data(), 10);
  const size_t sizeBefore = fs.Contents(kPath).size();
  EXPECT_EQ(sizeBefore, 4096u * 5);
  // Freeing the first value compacts the block; the others stay readable.
  mb->Free(a.data(), 10);
  EXPECT_EQ(mb->Read(b.data(), 10), Pattern(200, 'b'));
  EXPECT_EQ(mb->Read(c.data(), 10), Pattern(300, 'c'));
  // The large value at the end goes away with the file's tail.
  mb->Free(big.data(), 10);
  EXPECT_EQ(fs.Contents(kPath).size(), 4096u * 2);
  mb->Write(Pattern(9000, 'e'), PxType::Blob, big.data(), 10);
  Field d(10);
  mb->Write(Pattern(1500, 'f'), PxType::Memo, d.data(), 10);
  EXPECT_EQ(mb->Read(d.data(), 10), Pattern(1500, 'f'));
  EXPECT_EQ(mb->Read(big.data(), 10), Pattern(9000, 'e'));
  // Freeing twice (a stale reference) changes nothing.
  const std::string snapshot = fs.Contents(kPath);
  mb->Free(a.data(), 10);
  EXPECT_EQ(fs.Contents(kPath), snapshot);
}

TEST(WriteBlobFile, FreeRunInTheMiddleIsReusedForALargeValue) {
  testsupport::MemoryFileSystem fs;
  auto mb = BlobFile::Create(fs, kPath);
  Field first(10), second(10), third(10);
  mb->Write(Pattern(10000, 'a'), PxType::Blob, first.data(), 10);
  mb->Write(Pattern(10000, 'b'), PxType::Blob, second.data(), 10);
  mb->Free(first.data(), 10);
  const size_t size = fs.Contents(kPath).size();
  mb->Write(Pattern(5000, 'c'), PxType::Blob, third.data(), 10);
  EXPECT_EQ(fs.Contents(kPath).size(), size);
  EXPECT_EQ(mb->Read(third.data(), 10), Pattern(5000, 'c'));
  EXPECT_EQ(mb->Read(second.data(), 10), Pattern(10000, 'b'));
}

TEST(WriteBlobFile, DamagedReferencesRaiseNamingTheFile) {
  testsupport::MemoryFileSystem fs;
  {
    auto mb = BlobFile::Create(fs, kPath);
  }
  struct Case {
    const char* what;
    uint32_t ref;
    uint32_t length;
  };
  Field small(10), large(10);
  {
    auto mb = BlobFile::Open(fs, kPath, true);
    mb->Write(Pattern(100, 'a'), PxType::Memo, small.data(), 10);
    mb->Write(Pattern(5000, 'b'), PxType::Memo, large.data(), 10);
  }
  const uint32_t smallRef = engine::coding::GetU32(small.data());
  const uint32_t largeRef = engine::coding::GetU32(large.data());
  const std::vector<Case> cases = {
      {"beyond the file", 0x100000 | 0xFF, 5000},
      {"header block", 0x0000 | 0x3F, 100},
      {"wrong slot", (smallRef & ~0xFFu) | 0x10, 100},
      {"length of a small value", smallRef, 101},
      {"length of a large value", largeRef, 4999},
      {"single block with slot index", (largeRef & ~0xFFu) | 0x3F, 5000},
  };
  auto mb = BlobFile::Open(fs, kPath, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Field f(10);
    engine::coding::PutU32(f.data(), c.ref);
    engine::coding::PutU32(f.data() + 4, c.length);
    try {
      mb->Read(f.data(), 10);
      ADD_FAILURE() << "no error";
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrBlobMissing);
      EXPECT_NE(std::string(e.what()).find(kPath), std::string::npos) << e.what();
    }
  }
}

// A sub-allocated slot whose data does not lie in its block's data area is refused before a
// change uses it: writing a new value next to it, freeing a value it shares the block with, or
// freeing it, each raises naming the file, and the file stays as it was.
TEST(WriteBlobFile, DamagedSlotsAreRefusedOnWriteAndFree) {
  constexpr size_t kBlock = 4096;            // the sub-allocated block holding both values
  constexpr size_t kSlot62 = kBlock + 12 + 5 * 62;  // slot of the second value
  struct Damage {
    const char* what;
    uint8_t chunk, chunks, lastLen;
  };
  const std::vector<Damage> damages = {
      {"runs past the block", 250, 20, 16},
      {"ends one chunk past the block", 240, 17, 16},
      {"starts in the slot table", 3, 2, 16},
      {"no chunk", 40, 0, 16},
      {"last chunk longer than a chunk", 40, 2, 17},
  };
  enum class Change { WriteAnother, FreeNeighbour, FreeItself };
  for (const Damage& d : damages) {
    for (Change change : {Change::WriteAnother, Change::FreeNeighbour, Change::FreeItself}) {
      SCOPED_TRACE(std::string(d.what) + ", change " + std::to_string(static_cast<int>(change)));
      testsupport::MemoryFileSystem fs;
      Field first(10), second(10);
      {
        auto mb = BlobFile::Create(fs, kPath);
        mb->Write(Pattern(100, 'a'), PxType::Memo, first.data(), 10);
        mb->Write(Pattern(200, 'b'), PxType::Memo, second.data(), 10);
      }
      std::string bytes = fs.Contents(kPath);
      bytes[kSlot62] = static_cast<char>(d.chunk);
      bytes[kSlot62 + 1] = static_cast<char>(d.chunks);
      bytes[kSlot62 + 4] = static_cast<char>(d.lastLen);
      fs.Put(kPath, bytes);
      // The second value's reference names its damaged slot with the length the slot gives.
      engine::coding::PutU32(second.data() + 4, (d.chunks == 0 ? 0u : d.chunks - 1u) * 16u + d.lastLen);
      auto mb = BlobFile::Open(fs, kPath, true);
      try {
        Field third(10);
        switch (change) {
          case Change::WriteAnother: mb->Write(Pattern(50, 'c'), PxType::Memo, third.data(), 10); break;
          case Change::FreeNeighbour: mb->Free(first.data(), 10); break;
          case Change::FreeItself: mb->Free(second.data(), 10); break;
        }
        ADD_FAILURE() << "no error";
      } catch (const engine::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), engine::kErrBlobMissing);
        EXPECT_NE(std::string(e.what()).find(kPath), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Offset 4096"), std::string::npos) << e.what();
      }
      EXPECT_EQ(fs.Contents(kPath).substr(kBlock), bytes.substr(kBlock));
    }
  }
}

// A single-blob block whose length runs past the file is not released: freeing its value would
// otherwise cut off the values behind it.
TEST(WriteBlobFile, SingleBlockLongerThanTheFileIsNotReleased) {
  testsupport::MemoryFileSystem fs;
  Field large(10), after(10);
  {
    auto mb = BlobFile::Create(fs, kPath);
    mb->Write(Pattern(9000, 'a'), PxType::Blob, large.data(), 10);
    mb->Write(Pattern(9000, 'b'), PxType::Blob, after.data(), 10);
  }
  const uint32_t offset = engine::coding::GetU32(large.data()) & ~0xFFu;
  std::string bytes = fs.Contents(kPath);
  bytes[offset + 1] = '\xFF';
  bytes[offset + 2] = '\xFF';
  fs.Put(kPath, bytes);
  auto mb = BlobFile::Open(fs, kPath, true);
  EXPECT_THROW(mb->Free(large.data(), 10), engine::EDBEngineError);
  EXPECT_EQ(mb->Read(after.data(), 10), Pattern(9000, 'b'));
}

// A length that the single-blob block and the record agree on but the file cannot hold is
// refused before room for it is taken: reading many such values stays quick and small.
TEST(WriteBlobFile, LengthPastTheFileIsRefusedBeforeAllocating) {
  testsupport::MemoryFileSystem fs;
  Field large(10);
  {
    auto mb = BlobFile::Create(fs, kPath);
    mb->Write(Pattern(5000, 'a'), PxType::Blob, large.data(), 10);
  }
  const uint32_t offset = engine::coding::GetU32(large.data()) & ~0xFFu;
  const uint32_t claimed = 0xFFFFu * 4096u - 9u;  // the most a block of 0xFFFF units holds
  std::string bytes = fs.Contents(kPath);
  engine::coding::PutU16(reinterpret_cast<uint8_t*>(&bytes[offset + 1]), 0xFFFF);
  engine::coding::PutU32(reinterpret_cast<uint8_t*>(&bytes[offset + 3]), claimed);
  fs.Put(kPath, bytes);
  engine::coding::PutU32(large.data() + 4, claimed);
  auto mb = BlobFile::Open(fs, kPath, false);
  engine_test::TakeLargestAllocation();
  try {
    mb->Read(large.data(), 10);
    ADD_FAILURE() << "no error";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrBlobMissing);
    EXPECT_NE(std::string(e.what()).find("Dateiende"), std::string::npos) << e.what();
  }
  EXPECT_LT(engine_test::TakeLargestAllocation(), 64u * 1024u);
}

TEST(WriteBlobFile, OpenRefusesMissingOrForeignFiles) {
  testsupport::MemoryFileSystem fs;
  fs.Put("/mem/X.MB", std::string(4096, '\x02'));
  for (const char* path : {"/mem/NONE.MB", "/mem/X.MB"}) {
    try {
      BlobFile::Open(fs, path, false);
      ADD_FAILURE() << path;
    } catch (const engine::EDBEngineError& e) {
      EXPECT_EQ(e.ErrorCode(), engine::kErrBlobMissing);
    }
  }
}

// Where a value's entry starts in the .MB, from its field's descriptor.
uint64_t EntryOffset(const Field& field) {
  return engine::coding::GetU32(field.bytes.data() + field.size() - engine::mb::kDescriptorSize + engine::mb::kDescRef) &
         ~engine::mb::kRefIndexMask;
}

TEST(WriteBlobFile, AValueCutByTheEndOfTheFileIsRefusedWhereverTheCutFalls) {
  testsupport::MemoryFileSystem fs;
  Field small(30), large(30);
  {
    auto mb = BlobFile::Create(fs, kPath);
    mb->Write(Pattern(3000, 's'), PxType::Memo, small.data(), 30);   // within its entry's first unit
    mb->Write(Pattern(70000, 'l'), PxType::Memo, large.data(), 30);  // over many units
  }
  const std::string whole = fs.Contents(kPath);
  const uint64_t smallAt = EntryOffset(small), largeAt = EntryOffset(large);
  ASSERT_LT(smallAt, largeAt);
  struct Cut {
    uint64_t at;
    Field* field;
    const char* text;
  };
  const std::vector<Cut> cuts = {
      {largeAt + 4096 + 100, &large, "reicht über das Dateiende hinaus"},  // after the first unit
      {largeAt + 100, &large, "reicht über das Dateiende hinaus"},         // within it
      {largeAt, &large, "nicht auf einen Block der Datei"},                // before the entry
      {smallAt + 1000, &small, "reicht über das Dateiende hinaus"},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.at);
    fs.Put(kPath, whole.substr(0, cut.at));
    auto mb = BlobFile::Open(fs, kPath, false);
    for (const bool content : {true, false}) {
      try {
        content ? (void)mb->Read(cut.field->data(), 30) : mb->Check(cut.field->data(), 30);
        ADD_FAILURE() << "nicht abgelehnt";
      } catch (const engine::EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find(cut.text), std::string::npos) << e.what();
      }
    }
  }
  fs.Put(kPath, whole.substr(0, largeAt + 4096));  // the small value stays whole
  EXPECT_EQ(BlobFile::Open(fs, kPath, false)->Read(small.data(), 30), Pattern(3000, 's'));
}

}  // namespace

namespace {

// A .MB with free runs, sub-allocated blocks with room and a full one, from `values` values.
std::string FileWithHoles(int values = 40) {
  testsupport::MemoryFileSystem fs;
  auto mb = BlobFile::Create(fs, kPath);
  std::vector<Field> fields;
  for (int i = 0; i < values; ++i) {
    fields.emplace_back(10);
    const size_t length = i % 7 == 0 ? 6000 + 100 * i : 40 + 37 * i;
    mb->Write(Pattern(length, static_cast<char>('a' + i % 20)), PxType::Memo, fields.back().data(), 10);
  }
  for (int i = 0; i < values; i += 3) mb->Free(fields[static_cast<size_t>(i)].data(), 10);
  return fs.Contents(kPath);
}

// Writes the same 30 values, some of them large, into `a` and `b`; each must get the same field.
void WriteTheSameValues(BlobFile& a, BlobFile& b) {
  for (int i = 0; i < 30; ++i) {
    SCOPED_TRACE(i);
    const std::string value = Pattern(i % 5 == 0 ? 5000 + 300 * i : 30 + 61 * i, static_cast<char>('A' + i));
    Field x(10), y(10);
    a.Write(value, PxType::Memo, x.data(), 10);
    b.Write(value, PxType::Memo, y.data(), 10);
    EXPECT_EQ(x.bytes, y.bytes);
  }
}

}  // namespace

TEST(WriteBlobFile, SpaceReadAheadPlacesValuesAsTheFirstChangeReadingIt) {
  const std::string start = FileWithHoles();
  testsupport::MemoryFileSystem plain, ahead;
  plain.Put(kPath, start);
  ahead.Put(kPath, start);
  auto a = BlobFile::Open(plain, kPath, true);
  auto b = BlobFile::Open(ahead, kPath, true);
  b->ReadSpaceAhead(ahead.Open(kPath, engine::OpenMode::ReadOnly));
  WriteTheSameValues(*a, *b);
  EXPECT_EQ(plain.Contents(kPath), ahead.Contents(kPath));
}

// A large .MB on disk has its space read in place from the mapped file: the values go where
// reading the same bytes from memory puts them.
TEST(WriteBlobFile, SpaceReadInPlaceFromALargeFileOnDiskPlacesValuesAsReadFromMemory) {
  const std::string start = FileWithHoles(400);
  ASSERT_GE(start.size(), engine::FileMapping::kWorthFromBytes);
  testsupport::TempDir dir;
  const std::string path = dir.Path() + "T.MB";
  testsupport::WriteBytes(path, std::vector<uint8_t>(start.begin(), start.end()));
  ASSERT_NE(engine::DefaultFileSystem().Open(path, engine::OpenMode::ReadOnly)->MapForReading(start.size()), nullptr)
      << "the test folder lies on a local disk";
  testsupport::MemoryFileSystem memory;
  memory.Put(kPath, start);
  auto a = BlobFile::Open(memory, kPath, true);
  auto b = BlobFile::Open(engine::DefaultFileSystem(), path, true);
  b->ReadSpaceAhead(engine::DefaultFileSystem().Open(path, engine::OpenMode::ReadOnly));
  WriteTheSameValues(*a, *b);
  b.reset();
  EXPECT_EQ(memory.Contents(kPath), testsupport::ReadText(path));
}

TEST(WriteBlobFile, DamageFoundAheadIsRaisedByTheFirstChange) {
  std::string bytes = FileWithHoles();
  bytes[12288 + 12 + 5 * 63 + 1] = 0;  // a used slot of the first sub-allocated block without chunks
  testsupport::MemoryFileSystem fs;
  fs.Put(kPath, bytes);
  auto mb = BlobFile::Open(fs, kPath, true);
  mb->ReadSpaceAhead(fs.Open(kPath, engine::OpenMode::ReadOnly));
  Field field(10);
  try {
    mb->Write(Pattern(50, 'c'), PxType::Memo, field.data(), 10);
    ADD_FAILURE() << "no error";
  } catch (const engine::EDBEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), engine::kErrBlobMissing);
    EXPECT_NE(std::string(e.what()).find("Offset 12288"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fs.Contents(kPath), bytes);
}
