#pragma once
// Whether the table's current record is in editing: changed in place or being inserted.

#include "component/table.h"

namespace app {

inline bool IsEditing(engine::TDataSetState state) {
  return state == engine::TDataSetState::dsEdit || state == engine::TDataSetState::dsInsert;
}

}  // namespace app
