#pragma once
// TBDEUtil: one session of the table utility library together with one table-properties record.
// The session is open from construction until Close or destruction.

#include <cstdint>
#include <string>

#include "direct/direct_calls.h"

namespace blocksize {

class TBDEUtil {
 public:
  // Opens the utility session; raises engine::EDBEngineError when it can't be opened.
  TBDEUtil();
  // Closes a session still open. A failure to close it is dropped: it can only mean that the
  // session was ended elsewhere, and it stays the last failure that engine::Check reports.
  ~TBDEUtil();
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

  // Closes the session; raises engine::EDBEngineError when it can't be closed. Afterwards (also
  // after a failure) the object holds no session; a second Close does nothing.
  void Close();
  // The session's handle for further table utility calls; 0 once closed.
  uint16_t sessionHandle() const { return SessionHandle; }

  engine::CURProps Props{};

 private:
  uint16_t SessionHandle = 0;
};

}  // namespace blocksize
