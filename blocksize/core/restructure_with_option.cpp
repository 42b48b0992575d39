#include "blocksize/core/restructure_with_option.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "blocksize/core/cur_props.h"
#include "direct/direct_calls.h"
#include "io/engine_error.h"

namespace blocksize {

namespace {

constexpr const char* kParadoxType = "PARADOX";

void putText(std::vector<uint8_t>& record, size_t offset, size_t capacity,
             const std::string& text) {
  if (text.size() >= capacity) {
    throw engine::EDBEngineError(engine::kErrInvalidParam, "Name too long: " + text);
  }
  std::memcpy(&record[offset], text.data(), text.size());
}

void putU16(std::vector<uint8_t>& record, size_t offset, uint16_t value) {
  record[offset] = static_cast<uint8_t>(value & 0xFF);
  record[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void putAddress(std::vector<uint8_t>& record, size_t offset, const void* address) {
  auto value = reinterpret_cast<uintptr_t>(address);
  for (size_t i = 0; i < sizeof(void*); ++i) {
    record[offset + i] = static_cast<uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

}  // namespace

void RestructureWithOption(engine::TTable& table, const std::string& optionName,
                           const std::string& value) {
  if (!table.Active()) throw engine::EDBEngineError(engine::kErrNotOpen, "Table is not opened");
  if (!table.Exclusive()) {
    throw engine::EDBEngineError(engine::kErrInvalidState, "Table must be opened exclusively");
  }
  engine::CURProps props{};
  engine::Check(engine::GetCursorProperties(table.Handle(), props));
  if (curPropsTableType(props) != kParadoxType) {
    throw engine::EDBEngineError(engine::kErrNotATable, "Table must be of type PARADOX");
  }
  engine::hDBIDb database = nullptr;
  engine::Check(engine::GetCursorDatabase(table.Handle(), engine::kObjDatabase, &database));

  // The option data: the value text and its terminating zero.
  std::vector<uint8_t> optionData(value.begin(), value.end());
  optionData.push_back(0);
  std::vector<uint8_t> optionDesc(engine::kFldDescSize, 0);
  putText(optionDesc, engine::kFldDescNameOffset, engine::kFldDescNameBytes, optionName);
  putU16(optionDesc, engine::kFldDescOffsetOffset, 0);
  putU16(optionDesc, engine::kFldDescLengthOffset, static_cast<uint16_t>(optionData.size()));
  std::vector<uint8_t> tableDesc(engine::kTblDescSize, 0);
  putText(tableDesc, engine::kTblDescNameOffset, engine::kTblDescNameBytes, table.TableName());
  putText(tableDesc, engine::kTblDescTypeOffset, engine::kTblDescTypeBytes, kParadoxType);
  putU16(tableDesc, engine::kTblDescOptParamsOffset, 1);
  putAddress(tableDesc, engine::kTblDescOptDescPtrOffset, optionDesc.data());
  putAddress(tableDesc, engine::kTblDescOptDataPtrOffset, optionData.data());

  table.Close();
  uint16_t status = engine::kOk;
  try {
    status = engine::RestructureTable(database, 1, tableDesc.data(), nullptr, nullptr, nullptr,
                                      false);
  } catch (...) {
    try {
      table.Open();
    } catch (const std::exception&) {
      // The restructure's own failure is the one to report.
    }
    throw;
  }
  if (status == engine::kOk) {
    table.Open();
    return;
  }
  try {
    table.Open();
  } catch (const std::exception&) {
    // The restructure's own failure is the one to report.
  }
  engine::Check(status);
}

}  // namespace blocksize
