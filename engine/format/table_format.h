#pragma once
// The physical format a table is written in: its level and block size.

namespace engine {

struct TableFormat {
  int level = 0;       // 3, 4, 5 or 7; 0 = keep (restructure) or the source's (copy)
  int blockBytes = 0;  // 1024, 2048, 4096, 16384 or 32768; 0 = keep / the source's
};

}  // namespace engine
