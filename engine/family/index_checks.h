#pragma once
// A check of a table's index files against its data: the primary index (.PX) of a keyed table
// and every secondary index (.Xnn/.XGn with the tree .Ynn/.YGn over it).

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
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

  // Starts the checks of the secondary indexes on a thread of their own, so that they read the
  // index files while the records are checked and gathered (Take), and match the entries with
  // the rows once Run hands the rows over; true when started. Only for a cursor whose chain is
  // walked and whose blocks lie whole in the file (a chain the scan found sound): then neither
  // thread changes what the other reads. Not started when the file system cannot be read from
  // two threads, some index would not be gathered in memory or no thread can be had.
  bool Start();

  // Takes what the checks of the secondary indexes need of the record at `row` (counted from 0
  // in chain order), so that they need not read the data again: give it every record, in any
  // order. Without all of them the checks read the data themselves.
  void Take(uint32_t row, const uint8_t* record);

  // Appends what is wrong with the index files to `problems`; `firstKeys` are the key bytes of
  // the first record of each data block (CheckRecords). After the last Take.
  void Run(const std::vector<std::string>& firstKeys, std::vector<TableProblem>& problems);

 private:
  // The thread's work: the secondary checks, whose matching waits for the rows.
  void CheckAside();
  void CheckSecondaries(std::vector<TableProblem>& problems, const std::function<void()>& rowsReady);
  // Hands the rows taken so far to the thread; waiting for them on the thread, raises when they
  // are not all there.
  void HandRows();
  void WaitForRows();

  TableCursor& c_;
  std::vector<std::optional<SecondaryRows>> gathered_;  // per secondary index; none: read later
  uint64_t taken_ = 0;
  std::thread aside_;
  std::mutex mutex_;
  std::condition_variable handedChanged_;
  bool handed_ = false;  // Take is over: the thread may read the rows
  std::vector<TableProblem> asideProblems_;
  bool asideDone_ = false;     // the thread checked every secondary index
  std::exception_ptr fault_;  // what the thread raised other than an engine error
};

}  // namespace engine
