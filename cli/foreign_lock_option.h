#pragma once
// --ignore-foreign-locks of copy and restructure: lock files of other Paradox programs beside the
// table that no one holds are taken for left over, and the command goes on; a lock held by
// another program still refuses.

#include <memory>

#include "cli/table_path.h"
#include "family/foreign_locks.h"

namespace cli {

// With `ignore`, the consent to the lock files beside `table` now, named in a note on stderr
// (null when there are none); without, null. Held while the command runs.
std::unique_ptr<engine::ForeignLockConsent> ConsentToForeignLocks(bool ignore, const TablePath& table);

// After a refusal: when lock files that no one holds lie beside `table`, tells on stderr how to
// go on with the option.
void HintAtForeignLockOption(bool ignore, const TablePath& table);

}  // namespace cli
