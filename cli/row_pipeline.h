#pragma once
// The rows of a table read and decoded on a thread of their own while the caller stores them:
// batches of rows go through a short queue, so that reading and storing overlap on two
// processor cores. Rows come in stored order, as engine::ReadTableRows gives them.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "direct/table_rows.h"

namespace cli {

class RowPipeline {
 public:
  // Starts reading the table at `path`, whose rows have `columns` cells, as
  // engine::ReadTableRows does; `findings` (may be null) is filled once the last batch is taken.
  // `fs` is used by the reading thread only until the end.
  RowPipeline(engine::FileSystem& fs, const std::string& path, size_t columns, engine::ReadFindings* findings);
  // Stops the reading where it is and waits for the thread.
  ~RowPipeline();
  RowPipeline(const RowPipeline&) = delete;
  RowPipeline& operator=(const RowPipeline&) = delete;

  // The cells of the next rows, row after row, their number in *rows; none (0) after the last
  // row. Valid until the next call. Raises, after the rows before it, what the reading raised.
  const engine::Cell* Next(size_t* rows);

 private:
  struct Batch {
    std::vector<engine::Cell> cells;  // room for kBatchRows rows, their text kept for reuse
    size_t rows = 0;
  };
  // Raised inside the reading to end it early.
  struct Stopped {};

  void Read(engine::FileSystem& fs, const std::string& path, engine::ReadFindings* findings);
  // A batch to fill, waiting while all are full; raises Stopped once the reading is to end.
  size_t FreeBatch();
  void Hand(size_t batch);

  size_t columns_;
  std::vector<Batch> batches_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<size_t> free_, full_;
  size_t taken_ = SIZE_MAX;  // the batch the caller holds
  bool done_ = false;        // the reading ended: no more batches come
  bool stop_ = false;        // the caller wants no more rows
  std::exception_ptr fault_;
  std::thread reader_;
};

}  // namespace cli
