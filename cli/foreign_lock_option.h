#pragma once
// --ignore-foreign-locks of copy and restructure: lock files of other Paradox programs beside the
// table that no one holds are taken for left over, and the command goes on; a lock held by
// another program still refuses.

#include <memory>

#include "cli/table_path.h"
#include "family/foreign_locks.h"
#include "io/engine_error.h"

namespace cli {

// With `ignore`, the consent to the lock files beside `table` now, named in a note on stderr
// (null when there are none); without, null. Held while the command runs.
std::unique_ptr<engine::ForeignLockConsent> ConsentToForeignLocks(bool ignore, const TablePath& table);

// A change of `table` that failed with `error`: the message on stderr and, after a refusal
// while lock files that no one holds lie beside the table, how to go on with the option.
// Returns the exit status of a failed change.
int ReportFailedChange(const engine::EDBEngineError& error, bool ignore, const TablePath& table);

}  // namespace cli
