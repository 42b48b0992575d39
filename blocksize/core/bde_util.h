#pragma once
// TBDEUtil: one session of the table utility library together with one table-properties record.
// The session is open for the object's whole life.

#include <cstdint>
#include <string>

#include "direct/direct_calls.h"

namespace blocksize {

class TBDEUtil {
 public:
  // Opens the utility session; raises engine::EDBEngineError when it can't be opened.
  TBDEUtil();
  // Closes the session; raises engine::EDBEngineError when it can't be closed.
  ~TBDEUtil() noexcept(false);
  TBDEUtil(const TBDEUtil&) = delete;
  TBDEUtil& operator=(const TBDEUtil&) = delete;

  // Fills Props from the header of the table file at `path` (directory with its trailing "/"
  // and the file name with its extension) without opening the table. False when the file's
  // properties can't be read; Props is then not to be used. Never raises.
  bool ReadTableProps(const std::string& path);

  // The five figures of Props after a successful ReadTableProps.
  uint16_t fieldCount() const;
  uint16_t recordSize() const;  // physical record size in bytes
  uint16_t level() const;       // table level: 3, 4, 5 or 7
  uint16_t blockSizeKiB() const;

  engine::CURProps Props{};

 private:
  uint16_t SessionHandle = 0;
};

}  // namespace blocksize
