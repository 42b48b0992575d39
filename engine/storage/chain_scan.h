#pragma once
// A walk of the block chain of a .DB or .Xnn/.XGn file that goes on past damage instead of
// stopping: it checks the header's block figures against the file and the chain, the free
// list, and finds blocks that neither holds, so that a check can name every fault and a
// rebuild can re-link the blocks that still hold records.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "format/table_header.h"
#include "io/table_problem.h"

namespace engine {

class File;

struct ChainScan {
  // Blocks reached from the header's first block up to its last block (or up to the first
  // fault), with a valid record count, in chain order.
  std::vector<uint16_t> chain;
  std::vector<uint32_t> counts;  // record count of each block of `chain`
  // Blocks of the file in neither the chain nor the free list that hold records, by number.
  std::vector<uint16_t> lost;
  // Whether the chain stops at a fault (a loop, a block outside the file, a bad count).
  bool broken = false;
  std::vector<TableProblem> problems;
};

// The scanned chain as (block, records) pairs in chain order.
std::vector<std::pair<uint16_t, uint32_t>> ChainWithCounts(const ChainScan& scan);

// Walks `file`, whose decoded header is `header`. Never raises for damage; raises only when
// the file cannot be read.
ChainScan ScanChain(const File& file, const TableHeader& header);

// Records in the block at `block` of `file` by its block header; -1 when the count is invalid
// or the block lies beyond the end of the file.
int BlockRecordCount(const File& file, const TableHeader& header, uint16_t block);

}  // namespace engine
