#pragma once
// Makes several files durable at once. The syncs of files that do not depend on each other (the
// files of one change, once its journal is durable) need not wait for one another: a disk that
// takes several flushes at a time finishes them together in about the time of one. Each file is
// synced on a thread of its own from a small set kept for the process (started on first need,
// started anew in a child process after a fork), the last one on the calling thread.

#include <vector>

namespace engine {

class File;

// Syncs every file of `files` and returns when all are durable; with `together`, at the same
// time, else one after the other. Raises the failure of the first file in `files` whose sync
// failed, after every sync has ended.
void SyncFiles(const std::vector<File*>& files, bool together);

}  // namespace engine
