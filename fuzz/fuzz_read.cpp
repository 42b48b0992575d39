// libFuzzer target over the reading path. The input is a table with its companions (fuzz_input.h)
// in a file system in memory, read every way a user can: open, every field of every record as
// text in every index order, the cursor properties, the dump, the description and the check. A
// refusal with the engine's error is an answer; any other exception, a crash or a sanitizer report
// is a fault, and so is a check that reports otherwise on two threads than on one.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "component/table.h"
#include "direct/direct_calls.h"
#include "direct/table_files.h"
#include "direct/table_verify.h"
#include "fuzz/fuzz_input.h"
#include "io/engine_error.h"
#include "io/forwarding_file_system.h"

namespace {

// Every field of every record in the table's current order, as the grid and the fields read it.
void ReadEveryField(engine::TTable& table) {
  for (int row = 0; row < table.RecordCount(); ++row) {
    for (int f = 0; f < table.FieldCount(); ++f) {
      try {
        table.CellText(row, f);
        table.CellIsNull(row, f);
      } catch (const engine::EDBEngineError&) {
      }
    }
  }
  try {
    for (table.First(); !table.Eof(); table.Next())
      for (int f = 0; f < table.FieldCount(); ++f) {
        try {
          table.Fields(f).AsString();
          table.Fields(f).AsBytes();
        } catch (const engine::EDBEngineError&) {
        }
      }
  } catch (const engine::EDBEngineError&) {
  }
}

void ReadThroughTheComponent(testsupport::MemoryFileSystem& fs) {
  engine::TTable table;
  if (!fuzz::OpenTable(table, fs)) return;
  // Open reads no further than the first row: damage further on is met by the first count or
  // move that reaches it.
  try {
    engine::CURProps props;
    engine::GetCursorProperties(table.Handle(), props);
    ReadEveryField(table);
    const int indexes = table.IndexDefs().Count();
    for (int i = 0; i < indexes; ++i) {
      try {
        table.SetIndexName(table.IndexDefs()[i].Name);
        ReadEveryField(table);
      } catch (const engine::EDBEngineError&) {
      }
    }
  } catch (const engine::EDBEngineError&) {
  }
  table.Close();
}

// The memory file system's files may be read from two threads at once as long as nothing writes:
// this lets the check run its index thread, as it does on the operating system's files.
class ConcurrentMemoryReads : public engine::ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  bool ConcurrentReads() const override { return true; }
};

// The check's report as one text; none when the check refused to run.
std::optional<std::string> CheckReport(engine::FileSystem& fs) {
  try {
    std::string text;
    for (const auto& p : engine::VerifyTable(fs, fuzz::kDir + fuzz::kTable).problems)
      text += p.file + "|" + p.place + "|" + p.text + "\n";
    return text;
  } catch (const engine::EDBEngineError&) {
    return std::nullopt;
  }
}

void CheckOnOneThreadAndOnTwo(testsupport::MemoryFileSystem& fs) {
  const std::optional<std::string> alone = CheckReport(fs);
  ConcurrentMemoryReads concurrent(fs);
  if (CheckReport(concurrent) != alone) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testsupport::MemoryFileSystem fs;
  fuzz::PutTable(fs, data, size);
  ReadThroughTheComponent(fs);
  CheckOnOneThreadAndOnTwo(fs);
  for (const bool describe : {false, true}) {
    std::ostringstream out;
    engine::ReadFindings findings;
    try {
      if (describe)
        engine::DescribeTable(fs, fuzz::kDir + fuzz::kTable, out, &findings);
      else
        engine::DumpTable(fs, fuzz::kDir + fuzz::kTable, out, &findings);
    } catch (const engine::EDBEngineError&) {
    }
  }
  return 0;
}
