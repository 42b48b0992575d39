#pragma once
// A check of a table's index files against its data: the primary index (.PX) of a keyed table
// and every secondary index (.Xnn/.XGn with the tree .Ynn/.YGn over it).

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "io/table_problem.h"
#include "storage/secondary_index.h"

namespace engine {

class TableCursor;

class IndexChecks {
 public:
  explicit IndexChecks(TableCursor& cursor);
  ~IndexChecks();
  IndexChecks(const IndexChecks&) = delete;
  IndexChecks& operator=(const IndexChecks&) = delete;

  // Starts the checks of the secondary indexes on a thread of their own, which reads the data
  // itself, so that they run beside the record pass; true when started. Only for a cursor whose
  // chain is walked and whose blocks lie whole in the file (a chain the scan found sound): then
  // neither thread changes what the other reads. Not started when the file system cannot be
  // read from two threads or some index would not be gathered in memory.
  bool Start();

  // Takes what the checks of the secondary indexes need of the record at `row` (counted from 0
  // in chain order), so that they need not read the data again: give it every record, in any
  // order. Without all of them the checks read the data themselves. Not after Start.
  void Take(uint32_t row, const uint8_t* record);

  // Appends what is wrong with the index files to `problems`; `firstKeys` are the key bytes of
  // the first record of each data block (CheckRecords).
  void Run(const std::vector<std::string>& firstKeys, std::vector<TableProblem>& problems);

 private:
  // The thread's work: every row gathered in a pass of its own, then the secondary checks.
  void CheckAside();
  void CheckSecondaries(std::vector<TableProblem>& problems);

  TableCursor& c_;
  std::vector<std::optional<SecondaryRows>> gathered_;  // per secondary index; none: read later
  uint64_t taken_ = 0;
  std::thread aside_;
  std::vector<TableProblem> asideProblems_;
  bool asideDone_ = false;     // the thread checked every secondary index
  std::exception_ptr fault_;  // what the thread raised other than an engine error
};

}  // namespace engine
