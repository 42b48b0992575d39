#include "blocksize/core/bde_util.h"

#include "blocksize/core/cur_props.h"
#include "io/engine_error.h"

namespace blocksize {

TBDEUtil::TBDEUtil() { engine::Check(engine::TUInit(&SessionHandle)); }

TBDEUtil::~TBDEUtil() {
  if (SessionHandle != 0) engine::TUExit(SessionHandle);
}

void TBDEUtil::Close() {
  if (SessionHandle == 0) return;
  const uint16_t session = SessionHandle;
  SessionHandle = 0;
  engine::Check(engine::TUExit(session));
}

bool TBDEUtil::ReadTableProps(const std::string& path) {
  return engine::TUFillCURProps(SessionHandle, path.c_str(), Props) == engine::kOk;
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
