// Password-protected tables: the key a password gives, reading the protected sample tables
// with and without their password, and every way of writing one (copy, new format, posts,
// deletes, blobs, secondary indexes) keeping it protected with no record in clear on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "component/table.h"
#include "direct/table_files.h"
#include "format/code_page.h"
#include "format/table_cipher.h"
#include "format/table_header.h"
#include "io/engine_error.h"
#include "io/names.h"
#include "storage/cipher_file_system.h"
#include "storage/header_reader.h"
#include "storage/table_key.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/file_bytes.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/memory_file_system.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"

namespace engine {
namespace {

namespace fixtures = testsupport::fixtures;
using testsupport::MemoryFileSystem;
using testsupport::TableDumpText;

constexpr char kPassword[] = "123";
constexpr char kDir[] = "/mem/";

// A file that hands every write to a log before passing it on.
class LoggedFile : public File {
 public:
  LoggedFile(std::unique_ptr<File> base, std::string* log) : base_(std::move(base)), log_(log) {}
  const std::string& Path() const override { return base_->Path(); }
  uint64_t Size() const override { return base_->Size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) const override { return base_->ReadAt(offset, dst, n); }
  void WriteAt(uint64_t offset, const void* src, size_t n) override {
    log_->append(static_cast<const char*>(src), n);
    base_->WriteAt(offset, src, n);
  }
  void Truncate(uint64_t size) override { base_->Truncate(size); }
  void Sync() override { base_->Sync(); }

 private:
  std::unique_ptr<File> base_;
  std::string* log_;
};

// A memory file system that keeps every byte ever written to any file (temporary ones too).
class WriteLog : public MemoryFileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    return std::make_unique<LoggedFile>(MemoryFileSystem::Open(path, mode), &written_[path]);
  }
  // The paths below `dir` of the files whose written bytes contain `text`.
  std::vector<std::string> Holding(const std::string& text, const std::string& dir) const {
    std::vector<std::string> found;
    for (const auto& [path, bytes] : written_)
      if (path.rfind(dir, 0) == 0 && bytes.find(text) != std::string::npos) found.push_back(path);
    return found;
  }
  std::set<std::string> Written() const {
    std::set<std::string> paths;
    for (const auto& entry : written_) paths.insert(entry.first);
    return paths;
  }

 private:
  std::map<std::string, std::string> written_;
};

std::string Loaded(FileSystem& fs, const std::filesystem::path& sample) {
  testsupport::LoadTableFromDisk(fs, sample, kDir);
  return kDir + sample.filename().string();
}

std::string Dump(FileSystem& fs, const std::string& path) { return TableDumpText(path, fs); }

EDBEngineError Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDBEngineError& e) {
    return e;
  }
  ADD_FAILURE() << "keine EDBEngineError";
  return EDBEngineError(0, "");
}

// Names `t` as table `name` in kDir on `fs`, with `password` for its next Open.
void Name(TTable& t, FileSystem& fs, const std::string& name, const std::string& password = kPassword) {
  t.SetFileSystem(&fs);
  t.SetDatabaseName(kDir);
  t.SetTableName(name);
  t.SetPassword(password);
}

// The texts of at least five characters that a table's records hold (alpha and memo values),
// read with the password.
std::vector<std::string> RecordTexts(FileSystem& fs, const std::string& path) {
  TTable t;
  Name(t, fs, FileNameOf(path));
  t.Open();
  std::vector<std::string> texts;
  for (t.First(); !t.Eof(); t.Next())
    for (int f = 0; f < t.FieldCount(); ++f) {
      const TFieldType type = t.FieldDefs()[f].DataType;
      const std::string value = t.Fields(f).AsString();
      if ((type == ftString || type == ftMemo) && value.size() >= 5) texts.push_back(value.substr(0, 24));
    }
  return texts;
}

void ExpectNoTextInClear(const WriteLog& log, const std::vector<std::string>& texts, const std::string& dir = kDir) {
  for (const auto& text : texts)
    for (const auto& path : log.Holding(text, dir)) ADD_FAILURE() << "„" << text << "“ unverschlüsselt in " << path;
}

TEST(TableCipher, PasswordGivesTheStoredKey) {
  EXPECT_EQ(KeyOfPassword("123"), 0x0A25E09Au);
  EXPECT_EQ(KeyOfPassword(""), 0u);
  EXPECT_NE(KeyOfPassword("124"), KeyOfPassword("123"));
  EXPECT_NE(KeyOfPassword("1234"), KeyOfPassword("123"));
  // Passwords are case-sensitive; only the first 256 bytes count.
  EXPECT_NE(KeyOfPassword("abc"), KeyOfPassword("ABC"));
  EXPECT_EQ(KeyOfPassword(std::string(256, 'x') + "y"), KeyOfPassword(std::string(256, 'x') + "z"));
}

// A typed password counts as the bytes of the table's code page, not as its UTF-8 bytes.
TEST(ProtectedTable, PasswordIsTakenInTheTablesCodePage) {
  SKIP_WITHOUT_FIXTURES();
  MemoryFileSystem fs;
  const TableHeader h = ReadTableFigures(fs, Loaded(fs, fixtures::PasswordProtected()));
  ASSERT_EQ(CodePage::ForHeader(h).Number(), 850);
  EXPECT_EQ(PasswordKey(h, "123"), 0x0A25E09Au);
  EXPECT_EQ(PasswordKey(h, "Kennw\xC3\xB6rter"), KeyOfPassword("Kennw\x94rter"));  // ö is 0x94 in 850
  EXPECT_EQ(PasswordKey(h, "\xE2\x82\xAC"), 0u);  // no euro sign in 850: no key at all
}

TEST(ProtectedTable, OpensOnlyWithItsPassword) {
  SKIP_WITHOUT_FIXTURES();
  for (const auto& sample : fixtures::PasswordProtectedTables()) {
    MemoryFileSystem fs;
    const std::string path = Loaded(fs, sample);
    EXPECT_TRUE(IsTableProtected(fs, path));
    for (const std::string password : {"", "124", "12", "1234"}) {
      TTable t;
      Name(t, fs, sample.filename().string(), password);
      const EDBEngineError e = Raised([&] { t.Open(); });
      EXPECT_EQ(e.ErrorCode(), kErrPasswordProtected) << sample << " " << password;
      EXPECT_NE(std::string(e.what()).find("Kennwort"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_FALSE(t.Active());
    }
    EXPECT_EQ(Raised([&] { UnlockedTableFiles(fs, path, "124"); }).ErrorCode(), kErrPasswordProtected);
    EXPECT_EQ(Raised([&] { Dump(fs, path); }).ErrorCode(), kErrPasswordProtected);
    TTable t;
    Name(t, fs, sample.filename().string());
    t.Open();
    EXPECT_GT(t.RecordCount(), 0) << sample;
    EXPECT_EQ(Raised([&] { t.SetPassword("x"); }).ErrorCode(), kErrInvalidState);
  }
}

TEST(ProtectedTable, DescriptionWithoutPasswordGivesTheHeaderFigures) {
  SKIP_WITHOUT_FIXTURES();
  MemoryFileSystem fs;
  const std::string path = Loaded(fs, fixtures::PasswordProtected());
  std::ostringstream locked;
  DescribeTable(fs, path, locked);
  EXPECT_NE(locked.str().find("Datensätze:\t4\n"), std::string::npos) << locked.str();
  EXPECT_NE(locked.str().find("Geschützt:\tja"), std::string::npos) << locked.str();
  EXPECT_NE(locked.str().find("Feld 2:\tText\tA30"), std::string::npos) << locked.str();
  std::ostringstream unlocked;
  DescribeTable(*UnlockedTableFiles(fs, path, kPassword), path, unlocked);
  EXPECT_NE(unlocked.str().find("Datensätze:\t4\n"), std::string::npos) << unlocked.str();
  EXPECT_NE(unlocked.str().find("Geschützt:\tja, durch ein Kennwort\n"), std::string::npos) << unlocked.str();
}

// Copies and new formats of every protected sample: protected with the same password, equal
// records, refused without the password, and no record text in any file written on the way.
TEST(ProtectedTable, CopiesAndNewFormatsStayProtected) {
  SKIP_WITHOUT_FIXTURES();
  for (const auto& sample : fixtures::PasswordProtectedTables()) {
    WriteLog log;
    const std::string path = Loaded(log, sample);
    const std::unique_ptr<FileSystem> files = UnlockedTableFiles(log, path, kPassword);
    ASSERT_TRUE(files);
    const std::string dump = Dump(*files, path);
    const std::vector<std::string> texts = RecordTexts(log, path);
    ASSERT_FALSE(texts.empty()) << sample;

    CopyTable(*files, kDir, FileNameOf(path), kDir, "KOPIE.DB", false, TableFormat{});
    ChangeTableFormat(*files, kDir, FileNameOf(path), TableFormat{0, 4096});
    for (const std::string& written : {std::string(kDir) + "KOPIE.DB", path}) {
      EXPECT_TRUE(IsTableProtected(log, written)) << written;
      EXPECT_EQ(Dump(*UnlockedTableFiles(log, written, kPassword), written), dump) << written;
      EXPECT_EQ(Raised([&] { Dump(log, written); }).ErrorCode(), kErrPasswordProtected) << written;
    }
    ExpectNoTextInClear(log, texts);
    EXPECT_GE(log.Written().size(), 4u) << sample;  // the copy, and the temporary and final new files
  }
}

// Every sample table with blobs copied with a password: protected, read back with it as its
// plain copy reads, and not one of its texts (alpha values, memos) in any file written for it.
TEST(ProtectedTable, EverySampleWithBlobsCopiesProtected) {
  SKIP_WITHOUT_FIXTURES();
  const std::string target = "/mem/ziel/";
  int copied = 0;
  for (const auto& sample : fixtures::All()) {
    const auto family = testsupport::TableFamily(sample);
    const bool blobs = std::any_of(family.begin(), family.end(),
                                   [](const auto& f) { return UpperAscii(f.extension().string()) == ".MB"; });
    if (!blobs) continue;
    SCOPED_TRACE(fixtures::Relative(sample));
    WriteLog log;
    const std::string path = Loaded(log, sample);
    const std::string name = sample.filename().string();
    const std::unique_ptr<FileSystem> files = IsTableProtected(log, path)
                                                  ? UnlockedTableFiles(log, path, kPassword)
                                                  : ProtectingTableFiles(log, path, kPassword);
    try {
      CopyTable(log, kDir, name, "/mem/klar/", name, false, TableFormat{});
    } catch (const EDBEngineError&) {
      continue;  // a table that cannot be copied at all (blobs that cannot be read)
    }
    CopyTable(*files, kDir, name, target, name, false, TableFormat{});
    ASSERT_TRUE(IsTableProtected(log, target + name));
    EXPECT_EQ(Dump(*UnlockedTableFiles(log, target + name, kPassword), target + name),
              Dump(log, "/mem/klar/" + name));
    ExpectNoTextInClear(log, RecordTexts(*files, path), target);
    ++copied;
  }
  EXPECT_GE(copied, 14);  // all samples with a .MB but one whose blobs cannot be read
}

// A table protected by copying it with a password, then changed with the password: posts,
// deletes, small and large memos, a secondary index; read back equal, nothing in clear.
TEST(ProtectedTable, ChangesAreWrittenProtected) {
  WriteLog log;
  {
    TTable plain;
    plain.SetFileSystem(&log);
    plain.SetDatabaseName(kDir);
    plain.SetTableName("KLAR.DB");
    plain.FieldDefs().Add({"Nr", ftInteger, 0, false});
    plain.FieldDefs().Add({"Name", ftString, 30, false});
    plain.FieldDefs().Add({"Notiz", ftMemo, 10, false});
    plain.IndexDefs().Add({"", "Nr", "", ixPrimary});
    plain.IndexDefs().Add({"NachName", "Name", "", ixCaseInsensitive});
    plain.CreateTable();
  }
  const std::unique_ptr<FileSystem> protecting = ProtectingTableFiles(log, std::string(kDir) + "KLAR.DB", kPassword);
  CopyTable(*protecting, kDir, "KLAR.DB", kDir, "GEHEIM.DB", false, TableFormat{});
  ASSERT_TRUE(IsTableProtected(log, std::string(kDir) + "GEHEIM.DB"));

  const std::string large(6000, 'L');
  TTable t;
  Name(t, log, "GEHEIM.DB");
  t.Open();
  for (int i = 1; i <= 300; ++i) {
    t.Append();
    t.FieldByName("Nr").SetAsString(std::to_string(i));
    t.FieldByName("Name").SetAsString("Kundin Nummer " + std::to_string(1000 - i));
    t.FieldByName("Notiz").SetAsString(i == 7 ? "Geheime Notiz " + large : "Notiz zu Kundin " + std::to_string(i));
    t.Post();
  }
  ASSERT_TRUE(t.FindKey({"5"}));
  t.Edit();
  t.FieldByName("Name").SetAsString("Geänderte Kundin");
  t.Post();
  ASSERT_TRUE(t.FindKey({"6"}));
  t.Delete();
  t.Close();

  t.SetIndexName("NachName");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 299);
  t.First();
  EXPECT_EQ(t.FieldByName("Name").AsString(), "Geänderte Kundin");
  t.Last();
  EXPECT_EQ(t.FieldByName("Name").AsString(), "Kundin Nummer 999");
  t.Close();
  t.SetIndexName("");
  t.Open();
  ASSERT_TRUE(t.FindKey({"7"}));
  EXPECT_EQ(t.FieldByName("Notiz").AsString(), "Geheime Notiz " + large);
  EXPECT_FALSE(t.FindKey({"6"}));
  t.Close();

  TTable locked;
  Name(locked, log, "GEHEIM.DB", "");
  EXPECT_EQ(Raised([&] { locked.Open(); }).ErrorCode(), kErrPasswordProtected);
  // Only the clear source table may hold its own (empty) records' texts; it has none.
  ExpectNoTextInClear(log, {"Kundin Nummer", "Geänderte", "Notiz zu Kundin", "Geheime Notiz", "LLLLLLLL"});
}

// A post to a protected table killed after any of its changes to the disk: the next open with
// the password, which rolls back a journal left behind without needing the key, finds the
// table wholly old or wholly new. The journal holds the stored bytes, no record text in clear.
TEST(ProtectedTable, PostKilledAtEveryChangeLeavesTheTableOldOrNew) {
  SKIP_WITHOUT_FIXTURES();
  WriteLog memory;
  const std::string path = Loaded(memory, fixtures::PasswordProtected());
  const auto original = memory.Snapshot();
  const auto post = [&](FileSystem& fs) {
    TTable t;
    Name(t, fs, FileNameOf(path));
    t.Open();
    t.Append();
    t.FieldByName("Text").SetAsString("Abgebrochener Wert");
    t.Post();
  };
  const auto dump = [&] { return Dump(*UnlockedTableFiles(memory, path, kPassword), path); };
  const std::string oldDump = dump();
  testsupport::FaultFileSystem counter(memory);
  post(counter);
  const int changes = counter.Count(testsupport::FaultKind::Mutation);
  const std::string newDump = dump();
  ASSERT_NE(newDump, oldDump);
  ASSERT_GT(changes, 3);
  bool journaled = false;
  for (const auto& written : memory.Written()) journaled |= written.find(".~kbjrn") != std::string::npos;
  EXPECT_TRUE(journaled);
  ExpectNoTextInClear(memory, {"Abgebrochener", "Value 1", "Last one"});
  for (int k = 0; k < changes; ++k) {
    SCOPED_TRACE("Abbruch nach Änderung " + std::to_string(k));
    memory.Restore(original);
    {
      testsupport::FaultFileSystem dying(memory);
      dying.StopDeadAfter(k);
      try {
        post(dying);
      } catch (const EDBEngineError&) {
      }
    }
    TTable next;
    Name(next, memory, FileNameOf(path));
    next.Open();
    next.Close();
    const std::string found = dump();
    EXPECT_TRUE(found == oldDump || found == newDump) << found;
  }
}

// A table component working through a protected table's file system (as a duplicate of the
// open table is made) creates, opens and fills a new table protected by the same password.
TEST(ProtectedTable, TablesMadeThroughItsFileSystemAreProtected) {
  SKIP_WITHOUT_FIXTURES();
  WriteLog log;
  const std::string path = Loaded(log, fixtures::PasswordProtected());
  const std::unique_ptr<FileSystem> files = UnlockedTableFiles(log, path, kPassword);
  EXPECT_EQ(UnlockedTableFiles(*files, path, ""), nullptr);
  TTable made;
  made.SetFileSystem(files.get());
  made.SetDatabaseName(kDir);
  made.SetTableName("DUPLIKAT.DB");
  made.FieldDefs().Add({"Text", ftString, 30, false});
  made.FieldDefs().Add({"Notiz", ftMemo, 10, false});
  made.CreateTable();
  made.Open();
  made.Append();
  made.FieldByName("Text").SetAsString("Abgeschriebener Wert");
  made.FieldByName("Notiz").SetAsString("Abgeschriebene Notiz");
  made.Post();
  made.Close();
  const std::string duplicate = std::string(kDir) + "DUPLIKAT.DB";
  EXPECT_TRUE(IsTableProtected(log, duplicate));
  EXPECT_NE(Dump(*UnlockedTableFiles(log, duplicate, kPassword), duplicate).find("Abgeschriebener Wert"),
            std::string::npos);
  ExpectNoTextInClear(log, {"Abgeschriebene"});
}

// The file system scrambles by the layout in a file's header: blocks of a new file written
// before its header would reach the disk in clear and are refused; a file with a family name
// that holds no header (the list of a commit) and every other file pass unchanged.
TEST(ProtectedTable, FilesAreScrambledByTheirHeader) {
  MemoryFileSystem memory;
  CipherFileSystem fs(memory, KeyOfPassword(kPassword));
  auto file = fs.Open("/mem/NEU.DB.~tmp", OpenMode::CreateTruncate);
  const std::string block(2048, 'k');
  EXPECT_EQ(Raised([&] { file->WriteAt(4096, block.data(), block.size()); }).ErrorCode(), kErrInvalidState);
  EXPECT_EQ(memory.Contents("/mem/NEU.DB.~tmp").find("kkkk"), std::string::npos);
  std::string list;
  for (int i = 0; i < 20; ++i) list += "GEHEIM.X" + std::to_string(10 + i) + "\n";
  for (const std::string path : {"/mem/GEHEIM.DB.~kblist", "/mem/LISTE.TXT"}) {
    fs.Open(path, OpenMode::CreateTruncate)->WriteAt(0, list.data(), list.size());
    EXPECT_EQ(memory.Contents(path), list) << path;
    std::string read(list.size(), '\0');
    fs.Open(path, OpenMode::ReadOnly)->ReadAt(0, read.data(), read.size());
    EXPECT_EQ(read, list) << path;
  }
}

}  // namespace
}  // namespace engine
