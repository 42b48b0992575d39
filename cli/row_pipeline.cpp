#include "cli/row_pipeline.h"

#include <algorithm>
#include <system_error>

#include "io/engine_error.h"

namespace cli {

namespace {

// Rows per batch, and batches in turn: enough to keep both threads busy, little memory.
constexpr size_t kBatchRows = 512;
constexpr size_t kBatches = 4;

}  // namespace

RowPipeline::RowPipeline(engine::FileSystem& fs, const std::string& path, size_t columns,
                         engine::ReadFindings* findings)
    : columns_(columns), batches_(kBatches) {
  for (size_t b = 0; b < kBatches; ++b) {
    batches_[b].cells.resize(kBatchRows * columns);
    free_.push_back(b);
  }
  try {
    reader_ = std::thread([this, &fs, path, findings] { Read(fs, path, findings); });
  } catch (const std::system_error&) {
    throw engine::EDBEngineError(engine::kErrIo,
                                 "Zum Lesen der Tabelle konnte kein zweiter Thread gestartet werden (das System gibt "
                                 "keinen weiteren her). Die Ausgabe wurde nicht geschrieben.");
  }
}

RowPipeline::~RowPipeline() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  reader_.join();
}

void RowPipeline::Read(engine::FileSystem& fs, const std::string& path, engine::ReadFindings* findings) {
  size_t batch = SIZE_MAX;
  try {
    engine::ReadTableRows(fs, path, [](const engine::TableShape&) { return true; },
                          [&](const std::vector<engine::Cell>& cells) {
                            if (batch == SIZE_MAX) {
                              batch = FreeBatch();
                              batches_[batch].rows = 0;
                            }
                            Batch& out = batches_[batch];
                            std::copy(cells.begin(), cells.end(), out.cells.data() + out.rows++ * columns_);
                            if (out.rows < kBatchRows) return;
                            Hand(batch);
                            batch = SIZE_MAX;
                          }, findings);
    if (batch != SIZE_MAX) Hand(batch);
  } catch (const Stopped&) {
  } catch (...) {
    const std::lock_guard<std::mutex> lock(mutex_);
    fault_ = std::current_exception();
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
}

size_t RowPipeline::FreeBatch() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return stop_ || !free_.empty(); });
  if (stop_) throw Stopped{};
  const size_t batch = free_.front();
  free_.pop_front();
  return batch;
}

void RowPipeline::Hand(size_t batch) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    full_.push_back(batch);
  }
  changed_.notify_all();
}

const engine::Cell* RowPipeline::Next(size_t* rows) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (taken_ != SIZE_MAX) {
    free_.push_back(taken_);
    taken_ = SIZE_MAX;
    changed_.notify_all();
  }
  changed_.wait(lock, [this] { return done_ || !full_.empty(); });
  *rows = 0;
  if (full_.empty()) {
    if (fault_) std::rethrow_exception(fault_);
    return nullptr;
  }
  taken_ = full_.front();
  full_.pop_front();
  *rows = batches_[taken_].rows;
  return batches_[taken_].cells.data();
}

}  // namespace cli
