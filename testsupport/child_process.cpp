#include "testsupport/child_process.h"

#include <sys/wait.h>

namespace testsupport {

int WaitForExitStatus(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testsupport
