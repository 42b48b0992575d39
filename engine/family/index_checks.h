#pragma once
// A check of a table's index files against its data: the primary index (.PX) of a keyed table
// and every secondary index (.Xnn/.XGn with the tree .Ynn/.YGn over it).

#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "family/record_check.h"
#include "family/shared_gather.h"
#include "family/shared_loop.h"
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

  // Starts the checks of the secondary indexes on a thread of their own, beside the check of
  // the records. The thread reads the index files and the data itself, the rows for the first
  // index's order shared with the record check's pass (BlockSink); Run then helps it match the
  // entries with the rows. Only for a cursor whose chain is walked and whose blocks lie whole in
  // the file (a chain the scan found sound): then neither thread changes what the other reads.
  // Not started when the file system cannot be read from two threads, the table has no
  // secondary index or no thread can be had.
  void Start();

  // For CheckRecords on the thread that called Start: takes the rows the thread shares with the
  // pass over the records; empty when nothing is shared.
  BlockRecordsFn BlockSink();

  // Appends what is wrong with the index files to `problems`; `firstKeys` are the key bytes of
  // the first record of each data block (CheckRecords), whose pass has ended.
  void Run(const std::vector<std::string>& firstKeys, std::vector<TableProblem>& problems);

 private:
  // The thread's work: the secondary checks, their matching shared with Run.
  void CheckAside();
  void CheckSecondaries(std::vector<TableProblem>& problems, const SplitLoop& split);

  TableCursor& c_;
  std::unique_ptr<SharedGather> shared_;  // while the thread runs, for the first secondary index
  std::thread aside_;
  SharedLoop matching_;
  std::vector<TableProblem> asideProblems_;
  std::exception_ptr fault_;  // what the thread raised other than an engine error
};

}  // namespace engine
