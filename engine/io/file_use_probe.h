#pragma once
// The operating system's view of a file that other programs may be using: a byte-range lock
// test over the whole file and its time of last change. The test takes no lock and opens the
// file for reading only, so it changes nothing that other programs see; on a network mount the
// client asks the server, which also knows the locks of other clients.

#include <string>

#include "io/file_system.h"

namespace engine {

// Probes the file at `path`; what cannot be learnt (no such file, no permission, a file system
// without byte-range locks) stays unset. Never raises.
FileUseProbe ProbeFileUse(const std::string& path);

}  // namespace engine
