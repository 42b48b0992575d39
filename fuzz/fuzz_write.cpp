// libFuzzer target over the writing path. The input is a table with its companions and an "OPS"
// section (fuzz_input.h) whose bytes choose the steps done on the open table: moves, edits and
// inserts with field values (long ones for blob fields), posts, cancels, deletes and refreshes.
// Afterwards the table is opened again and read whole. A refusal with the engine's error is an
// answer; any other exception, a crash or a sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "component/table.h"
#include "direct/table_files.h"
#include "fuzz/fuzz_input.h"
#include "io/engine_error.h"

namespace {

// Values longer than a blob field's leader reach the .MB; small and large blocks both.
constexpr size_t kMaxValueBytes = 6000;

enum Step : uint8_t { kMove, kEdit, kInsert, kAppend, kSetField, kPost, kCancel, kDelete, kRefresh, kSteps };

void SetSomeField(engine::TTable& table, FuzzedDataProvider& ops) {
  if (table.FieldCount() == 0) return;
  engine::TField& field = table.Fields(ops.ConsumeIntegralInRange(0, table.FieldCount() - 1));
  switch (ops.ConsumeIntegralInRange(0, 3)) {
    case 0:
      field.SetAsString(ops.ConsumeRandomLengthString(40));
      break;
    case 1:
      field.SetAsBytes(std::string(ops.ConsumeIntegralInRange<size_t>(0, kMaxValueBytes),
                                   static_cast<char>(ops.ConsumeIntegral<uint8_t>())));
      break;
    case 2:
      field.SetAsInteger(ops.ConsumeIntegral<int32_t>());
      break;
    default:
      field.Clear();
  }
}

void DoStep(engine::TTable& table, FuzzedDataProvider& ops) {
  switch (ops.ConsumeIntegralInRange<uint8_t>(0, kSteps - 1)) {
    case kMove:
      table.MoveTo(ops.ConsumeIntegralInRange(0, table.RecordCount()));
      break;
    case kEdit:
      table.Edit();
      SetSomeField(table, ops);
      break;
    case kInsert:
      table.Insert();
      SetSomeField(table, ops);
      break;
    case kAppend:
      table.Append();
      SetSomeField(table, ops);
      break;
    case kSetField:
      SetSomeField(table, ops);
      break;
    case kPost:
      table.Post();
      break;
    case kCancel:
      table.Cancel();
      break;
    case kDelete:
      table.Delete();
      break;
    default:
      table.Refresh();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testsupport::MemoryFileSystem fs;
  const std::string steps = fuzz::PutTable(fs, data, size);
  {
    engine::TTable table;
    if (!fuzz::OpenTable(table, fs)) return 0;
    FuzzedDataProvider ops(reinterpret_cast<const uint8_t*>(steps.data()), steps.size());
    while (ops.remaining_bytes() > 0) {
      try {
        DoStep(table, ops);
      } catch (const engine::EDBEngineError&) {
      }
    }
    try {
      table.Close();
    } catch (const engine::EDBEngineError&) {
    }
  }
  std::ostringstream out;
  try {
    engine::DumpTable(fs, fuzz::kDir + fuzz::kTable, out);
  } catch (const engine::EDBEngineError&) {
  }
  return 0;
}
