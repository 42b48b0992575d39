// Every failure inside a direct call comes back as its result: an exception that is no engine
// error (a refused allocation, another library's exception, anything thrown) becomes a non-zero
// result whose German message, naming the call, Check() reports. No exception leaves the call.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>
#include <stdexcept>

#include "component/table.h"
#include "direct/direct_call.h"
#include "direct/direct_calls.h"
#include "direct/table_files.h"
#include "engine/tests/allocation_failure.h"
#include "family/family_swap.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "testsupport/temp_dir.h"

namespace engine {
namespace {

using engine_test::AllocationFailed;
using engine_test::FailAllocation;

std::string CheckMessage(uint16_t result) {
  try {
    Check(result);
  } catch (const EDBEngineError& e) {
    return e.what();
  }
  return "";
}

bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

TEST(DirectCall, AnyExceptionBecomesAResultWithAMessageNamingTheCall) {
  struct Case {
    const char* what;
    std::function<void()> body;
    uint16_t result;
    const char* message;
  };
  const Case cases[] = {
      {"engine error", [] { throw EDBEngineError(kErrCorrupt, "Block 7 fehlt."); }, kErrCorrupt, nullptr},
      {"refused allocation", [] { throw std::bad_alloc(); }, kErrIo, "Probe: Nicht genügend Arbeitsspeicher."},
      {"library exception", [] { throw std::out_of_range("Index 7"); }, kErrIo,
       "Probe: Unerwarteter Fehler (Index 7)."},
      {"anything else", [] { throw 7; }, kErrIo, "Probe: Unerwarteter Fehler."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint16_t result = DirectCall("Probe", c.body);
    EXPECT_EQ(result, c.result);
    if (c.message) {
      EXPECT_TRUE(StartsWith(CheckMessage(result), c.message)) << CheckMessage(result);
    }
  }
}

// Longer than a short string's inner buffer, so that copying the name allocates.
constexpr char kTable[] = "EIN_RECHT_LANGER_TABELLENNAME.DB";

class DirectCallAllocation : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.SetDatabaseName(dir_.Path());
    table_.SetTableName(kTable);
    table_.FieldDefs().Add({"Nr", ftSmallint, 0, false});
    table_.FieldDefs().Add({"Name", ftString, 40, false});
    table_.IndexDefs().Add({"", "Nr", "", ixPrimary});
    table_.CreateTable();
    table_.Open();
    for (int i = 1; i <= 3; ++i) {
      table_.Append();
      table_.Fields(0).SetAsInteger(i);
      table_.Fields(1).SetAsString("Kunde " + std::to_string(i));
      table_.Post();
    }
  }
  std::string Dump() {
    std::ostringstream out;
    DumpTable(DefaultFileSystem(), dir_.Path() + kTable, out);
    return out.str();
  }
  testsupport::TempDir dir_;
  TTable table_;
};

TEST_F(DirectCallAllocation, EveryCallReportsARefusedAllocationAsItsResult) {
  uint16_t session = 0;
  ASSERT_EQ(TUInit(&session), kOk);
  CURProps props{};
  const std::string path = dir_.Path() + kTable;
  struct Case {
    const char* call;
    std::function<uint16_t()> run;
  };
  const Case cases[] = {
      {"TUInit", [] { uint16_t s = 0; return TUInit(&s); }},
      {"TUFillCURProps", [&] { return TUFillCURProps(session, path.c_str(), props); }},
      {"GetCursorProperties", [&] { return GetCursorProperties(table_.Handle(), props); }},
      // The directory's first handle: the call allocates it.
      {"GetCursorDatabase", [&] { hDBIDb db = nullptr; return GetCursorDatabase(table_.Handle(), kObjDatabase, &db); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    FailAllocation(1);
    const uint16_t result = c.run();
    ASSERT_TRUE(AllocationFailed()) << "the call allocated nothing";
    EXPECT_EQ(result, kErrIo);
    const std::string message = CheckMessage(result);
    EXPECT_TRUE(StartsWith(message, std::string(c.call) + ": Nicht genügend Arbeitsspeicher.")) << message;
  }
  EXPECT_EQ(TUExit(session), kOk);
}

TEST_F(DirectCallAllocation, RestructureLeavesTheTableWholeWhereverAnAllocationFails) {
  hDBIDb db = nullptr;
  ASSERT_EQ(GetCursorDatabase(table_.Handle(), kObjDatabase, &db), kOk);
  table_.Close();
  const std::string before = Dump();
  std::vector<uint8_t> desc(kTblDescSize, 0);
  std::copy(std::begin(kTable), std::end(kTable) - 1, desc.begin() + kTblDescNameOffset);
  const auto restructure = [&] { return RestructureTable(db, 1, desc.data(), nullptr, nullptr, nullptr, false); };
  // The nth allocation fails, for each n until the restructure makes fewer than n.
  for (long n = 1;; ++n) {
    SCOPED_TRACE("Allokation " + std::to_string(n));
    FailAllocation(n);
    const uint16_t result = restructure();
    if (!AllocationFailed()) {
      EXPECT_EQ(result, kOk);
      break;
    }
    if (result != kOk) {
      EXPECT_NE(CheckMessage(result), "");
    }
    RecoverTableFamily(DefaultFileSystem(), dir_.Path(), kTable);
    EXPECT_EQ(Dump(), before);
    for (const std::string& name : DefaultFileSystem().List(dir_.Path()))
      EXPECT_EQ(name.find(".~kb"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace engine
