#pragma once
// The boxes about lock files of other Paradox programs beside a table (family/foreign_locks.h),
// through the dialog seam: the question before exclusive work and the warning before editing.

#include <memory>
#include <string>

#include "family/foreign_locks.h"

namespace tools {

// Before exclusive work on table `name` in `dir` (ending in "/"): when lock files that no one
// holds lie beside it, asks whether they are left over, naming them. Returns false when the user
// says no; *consent then stays null, otherwise it holds the consent to keep while the work runs
// (null when there was nothing to ask). Held locks are not asked about: the work refuses them.
bool ConfirmForeignLockFiles(const std::string& dir, const std::string& name,
                             std::unique_ptr<engine::ForeignLockConsent>* consent);

// Before editing table `name` in `dir`: a warning box when another program holds the table or
// its lock files lie beside it. Returns whether it was shown.
bool WarnOfForeignUse(const std::string& dir, const std::string& name);

}  // namespace tools
