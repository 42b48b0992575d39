#pragma once
// The main window's word about other Paradox programs when a table is opened for editing.

#include "component/table.h"

// Shows the warning box of tools::WarnOfForeignUse for `table` unless *warned, and sets *warned
// when it was shown: once per opening of a table, which resets *warned.
void WarnForeignLocksOnce(const engine::TTable& table, bool* warned);
