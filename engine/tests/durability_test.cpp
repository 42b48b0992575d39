// What a component posts is in the table file at once: a fresh component, and a process that
// holds no state of the writer's, read it back while the writer still has the table open.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "component/table.h"
#include "io/engine_error.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

// All records of the table as "Nr|Text|Notiz" lines, read by a component of its own.
std::string ReadAll(const std::string& dir, const std::string& name) {
  TTable t;
  t.SetDatabaseName(dir);
  t.SetTableName(name);
  t.Open();
  std::string out;
  for (t.First(); !t.Eof(); t.Next())
    out += t.Fields(0).AsString() + "|" + t.Fields(1).AsString() + "|" + t.Fields(2).AsString() + "\n";
  return out;
}

// A process forked before the test writes anything, so it shares no engine state with the
// writer; on each Query it reads the table afresh and sends back what it saw.
class ReaderProcess {
 public:
  ReaderProcess(const std::string& dir, const std::string& name) {
    int request[2], reply[2];
    if (::pipe(request) != 0 || ::pipe(reply) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(request[1]);
      ::close(reply[0]);
      char c;
      while (::read(request[0], &c, 1) == 1) {
        std::string text;
        try {
          text = ReadAll(dir, name);
        } catch (const EDBEngineError& e) {
          text = std::string("Fehler: ") + e.what();
        }
        const uint32_t n = static_cast<uint32_t>(text.size());
        if (::write(reply[1], &n, sizeof n) != sizeof n ||
            ::write(reply[1], text.data(), n) != static_cast<ssize_t>(n))
          ::_exit(2);
      }
      ::_exit(0);
    }
    ::close(request[0]);
    ::close(reply[1]);
    requestFd_ = request[1];
    replyFd_ = reply[0];
  }
  ~ReaderProcess() {
    ::close(requestFd_);
    ::close(replyFd_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  std::string Query() {
    const char c = 'q';
    uint32_t n = 0;
    if (::write(requestFd_, &c, 1) != 1 || !ReadFully(&n, sizeof n)) return "keine Antwort";
    std::string text(n, '\0');
    return ReadFully(text.data(), n) ? text : "keine Antwort";
  }

 private:
  bool ReadFully(void* dst, size_t n) {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::read(replyFd_, static_cast<char*>(dst) + done, n - done);
      if (r <= 0) return false;
      done += static_cast<size_t>(r);
    }
    return true;
  }
  pid_t pid_ = 0;
  int requestFd_ = -1;
  int replyFd_ = -1;
};

TEST(Durability, PostedChangesAreSeenByAFreshComponentAndAFreshProcess) {
  testsupport::TempDir dir;
  const std::string name = "DAUER.DB";
  {
    TTable t;
    t.SetDatabaseName(dir.Path());
    t.SetTableName(name);
    t.FieldDefs().Add({"Nr", ftInteger, 0, true});
    t.FieldDefs().Add({"Text", ftString, 20, false});
    t.FieldDefs().Add({"Notiz", ftMemo, 10, false});
    t.IndexDefs().Add({"", "Nr", "", ixPrimary | ixUnique});
    t.CreateTable();
  }
  ReaderProcess reader(dir.Path(), name);

  TTable writer;
  writer.SetDatabaseName(dir.Path());
  writer.SetTableName(name);
  writer.Open();
  const std::string longMemo(300, 'm');  // beyond the leader: lives in the .MB
  const std::pair<int, std::string> records[] = {{2, "zwei"}, {1, "eins"}, {3, "drei"}};
  for (const auto& [nr, text] : records) {
    writer.Append();
    writer.FieldByName("Nr").SetAsInteger(nr);
    writer.FieldByName("Text").SetAsString(text);
    writer.FieldByName("Notiz").SetAsString(nr == 3 ? longMemo : "kurz");
    writer.Post();
  }
  const std::string afterAppend = "1|eins|kurz\n2|zwei|kurz\n3|drei|" + longMemo + "\n";
  EXPECT_EQ(ReadAll(dir.Path(), name), afterAppend);
  EXPECT_EQ(reader.Query(), afterAppend);

  ASSERT_TRUE(writer.FindKey({"2"}));
  writer.Edit();
  writer.FieldByName("Text").SetAsString("zwei neu");
  writer.FieldByName("Notiz").SetAsString(longMemo + "!");
  writer.Post();
  ASSERT_TRUE(writer.FindKey({"1"}));
  writer.Delete();
  const std::string afterEdit = "2|zwei neu|" + longMemo + "!\n3|drei|" + longMemo + "\n";
  EXPECT_EQ(ReadAll(dir.Path(), name), afterEdit);
  EXPECT_EQ(reader.Query(), afterEdit);
  EXPECT_TRUE(writer.Active());
}

}  // namespace
}  // namespace engine
