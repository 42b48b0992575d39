#include "direct/table_properties.h"

#include <algorithm>
#include <cstring>

#include "io/coding.h"

namespace engine {

void FillCurProps(const TableHeader& header, const std::string& tableName, CURProps& props) {
  props.fill(0);
  std::memcpy(props.data() + kCurPropsNameOffset, tableName.data(),
              std::min(tableName.size(), kCurPropsNameBytes - 1));
  static const char kType[] = "PARADOX";
  std::memcpy(props.data() + kCurPropsTableTypeOffset, kType, sizeof kType);
  coding::PutU16(props.data() + kCurPropsFieldCountOffset, static_cast<uint16_t>(header.fields.size()));
  coding::PutU16(props.data() + kCurPropsRecordSizeOffset, header.recordSize);
  coding::PutU16(props.data() + kCurPropsLevelOffset, static_cast<uint16_t>(header.Level()));
  coding::PutU16(props.data() + kCurPropsBlockSizeOffset, header.blockSizeKiB);
}

}  // namespace engine
