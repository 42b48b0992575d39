#pragma once
// Paths of network shares as programs on the tables' home platform write them
// ("\\server\share\dir\"), found on this system below the mount point of the mounted share.

#include <string>

namespace engine {

// Whether `path` begins with two separators ("\\server\share", "//server/share").
bool IsNetworkPath(const std::string& path);

// The local path of `uncPath` (backslashes or slashes, any letter case of server, share and
// folders) below the mount point of a share mounted from that server, as the lines of
// `mountTable` (the text of /proc/mounts) list them: source, mount point, type, ... with octal
// escapes. A share mounted from one of its folders serves the paths below that folder. Empty
// when `uncPath` is no network path or no mounted share holds it.
std::string LocalPathOfNetworkPath(const std::string& uncPath, const std::string& mountTable);

}  // namespace engine
