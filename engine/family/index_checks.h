#pragma once
// A check of a table's index files against its data: the primary index (.PX) of a keyed table
// and every secondary index (.Xnn/.XGn with the tree .Ynn/.YGn over it).

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "family/record_check.h"
#include "family/shared_gather.h"
#include "family/shared_loop.h"
#include "format/table_header.h"
#include "io/table_problem.h"
#include "storage/secondary_index.h"

namespace engine {

class FileSystem;
class TableCursor;

class IndexChecks {
 public:
  // Before the table at `dir` + `baseName` (its .DB's header `header`) is opened.
  IndexChecks(FileSystem& fs, const std::string& dir, const std::string& baseName, const TableHeader& header);
  ~IndexChecks();
  IndexChecks(const IndexChecks&) = delete;
  IndexChecks& operator=(const IndexChecks&) = delete;

  // Starts the checks of the secondary indexes on a thread of their own while the table's
  // chain is scanned and its records are checked. The thread reads the index files at once; it
  // waits for the open table (Open) before it reads the data itself, the rows for the first
  // index's order shared with the record check's pass (BlockSink); Run then helps it match the
  // entries with the rows. Not started when the file system cannot be read from two threads,
  // the table has no secondary index or no thread can be had, nor when the header counts more
  // records than the data file of `dataBytes` bytes can hold: the rows' memory is taken here,
  // before the chain is scanned, and a damaged count must not decide its size.
  void Start(uint64_t dataBytes);

  // Hands the thread the opened table: only one whose chain is walked and whose blocks lie
  // whole in the file (a chain the scan found sound), so that neither thread changes what the
  // other reads. Without it, Run checks the indexes itself.
  void Open(TableCursor& cursor);

  // For CheckRecords on the thread that called Start, after Open: takes the rows the thread
  // shares with the pass over the records; empty when nothing is shared.
  BlockRecordsFn BlockSink();

  // Appends what is wrong with the index files of the open table `cursor` to `problems`;
  // `firstKeys` are the key bytes of the first record of each data block (CheckRecords), whose
  // pass has ended.
  void Run(TableCursor& cursor, const std::vector<std::string>& firstKeys, std::vector<TableProblem>& problems);

 private:
  // The thread's work: the secondary checks, their matching shared with Run.
  void CheckAside();
  // The open table, once Open handed it over; raises Withdrawn when it will not be.
  TableCursor& OpenedTable();
  // The thread is told that no table comes.
  void Withdraw();

  FileSystem& fs_;
  std::string dir_, baseName_;
  TableHeader header_;
  std::vector<SecondaryIndex> secondaries_;  // found for the thread
  std::unique_ptr<SharedGather> shared_;     // while the thread runs, for the first secondary index
  std::thread aside_;
  SharedLoop matching_;
  std::vector<TableProblem> asideProblems_;
  std::exception_ptr fault_;  // what the thread raised other than an engine error
  std::mutex gate_;
  std::condition_variable gateChanged_;
  TableCursor* opened_ = nullptr;  // under gate_
  bool withdrawn_ = false;         // under gate_
};

}  // namespace engine
