#pragma once
// Waiting for a child made by fork in a test: a child that hangs is ended by the alarm it set
// itself, which shows here as a status that is not an exit status.

#include <sys/types.h>

namespace testsupport {

// The exit status of `child` once it has ended; -1 when a signal ended it or it cannot be waited for.
int WaitForExitStatus(pid_t child);

}  // namespace testsupport
