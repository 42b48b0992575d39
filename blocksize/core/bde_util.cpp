#include "blocksize/core/bde_util.h"

#include "blocksize/core/cur_props.h"
#include "io/engine_error.h"

namespace blocksize {

TBDEUtil::TBDEUtil() { engine::Check(engine::TUInit(&SessionHandle)); }

TBDEUtil::~TBDEUtil() noexcept(false) { engine::Check(engine::TUExit(SessionHandle)); }

bool TBDEUtil::ReadTableProps(const std::string& path) {
  try {
    return engine::TUFillCURProps(SessionHandle, path.c_str(), Props) == engine::kOk;
  } catch (const std::exception&) {
    return false;
  }
}

uint16_t TBDEUtil::fieldCount() const {
  return curPropsU16(Props, engine::kCurPropsFieldCountOffset);
}

uint16_t TBDEUtil::recordSize() const {
  return curPropsU16(Props, engine::kCurPropsRecordSizeOffset);
}

uint16_t TBDEUtil::level() const {
  return curPropsU16(Props, engine::kCurPropsLevelOffset);
}

uint16_t TBDEUtil::blockSizeKiB() const {
  return curPropsU16(Props, engine::kCurPropsBlockSizeOffset);
}

}  // namespace blocksize
