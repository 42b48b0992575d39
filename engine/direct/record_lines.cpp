#include "direct/record_lines.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "direct/value_causes.h"
#include "family/table_cursor.h"
#include "format/code_page.h"
#include "format/field_type.h"
#include "format/number_text.h"
#include "format/record_format.h"
#include "io/coding.h"
#include "io/engine_error.h"
#include "io/names.h"
#include "storage/blob_file.h"

namespace engine {

namespace {

void AppendBlobCell(std::string& out, TableCursor& c, int field, const uint8_t* record, UnreadableCauses& causes) {
  const uint32_t length = c.BlobLength(field, record);
  if (length == 0) return;
  const FieldLayout& f = c.Layout()[static_cast<size_t>(field)];
  if (BlobFile::InLeader(record + f.offset, f.bytes)) {  // the whole value in the record: hashed where it stands
    AppendPadded(out, length, 0);
    out += ':';
    AppendHex64(out, coding::Fnv1a64(record + f.offset, length));
    return;
  }
  try {
    const std::string content = c.ReadBlob(field, record);
    AppendPadded(out, length, 0);
    out += ':';
    AppendFnv1a64Hex(out, content);
  } catch (const EDBEngineError& e) {
    causes.Add(e.what());
    out += '?';
  }
}

void AppendValueCell(std::string& out, TableCursor& c, size_t field, const uint8_t* record, UnreadableCauses& causes) {
  const FieldLayout& f = c.Layout()[field];
  const size_t start = out.size();
  try {
    AppendDumpText(out, f, record, c.Codepage());
    // The dump text of a BCD value is "?" only when its bytes are not a decimal.
    if (f.type == PxType::Bcd && out.compare(start, std::string::npos, "?") == 0)
      causes.Add("Datei " + Quoted(c.DataPath()) + ": Der BCD-Wert im Feld " + Quoted(c.FieldNames()[field]) +
                 " ist keine Dezimalzahl.");
  } catch (const EDBEngineError& e) {
    causes.Add(e.what());
    out.resize(start);
    out += '?';
  }
}

// The dump line of a record (without line end) appended to `text`.
void AppendRecordLine(std::string& text, TableCursor& c, const uint8_t* record, uint32_t present,
                      UnreadableCauses& causes) {
  const auto& layout = c.Layout();
  for (size_t i = 0; i < layout.size(); ++i) {
    if (i) text += '\t';
    if (layout[i].offset + layout[i].bytes > present)
      text += '?';  // cut off by the end of the file, noted once above
    else if (IsBlobType(layout[i].type))
      AppendBlobCell(text, c, static_cast<int>(i), record, causes);
    else
      AppendValueCell(text, c, i, record, causes);
  }
}

// Stored rows copied out of the data file, and their lines once built.
struct RowRun {
  std::vector<uint8_t> records;   // recordSize bytes a row
  std::vector<uint32_t> present;  // bytes of each row that the file holds
  std::string text;
  UnreadableCauses causes;
  std::exception_ptr failure;  // raised while building the lines; text holds the lines before

  void Clear() {
    records.clear();
    present.clear();
    text.clear();
    causes = UnreadableCauses();
    failure = nullptr;
  }

  // Builds the lines of the rows; touches nothing of the cursor but what reading values needs.
  void Build(TableCursor& c) {
    const uint32_t recordSize = c.Header().recordSize;
    size_t done = 0;
    try {
      text.reserve(records.size() * 2);
      for (size_t row = 0; row < present.size(); ++row) {
        AppendRecordLine(text, c, records.data() + row * recordSize, present[row], causes);
        text += '\n';
        done = text.size();
      }
    } catch (...) {
      text.resize(done);
      failure = std::current_exception();
    }
  }
};

// Copies the rows from `*row` on into `run` until it holds about `runBytes` or the rows end,
// whole blocks at a time when no record is cut; `*row` moves on past the rows copied.
void ReadRun(TableCursor& c, uint32_t* row, size_t* entry, size_t runBytes, RowRun& run) {
  DataFile& data = c.Data();
  const uint32_t recordSize = c.Header().recordSize;
  const uint32_t total = c.RowCount();
  const bool whole = data.Truncation().empty();
  while (*row < total && run.records.size() < runBytes) {
    if (whole) {
      const BlockEntry& b = data.Blocks()[*entry];
      const uint8_t* records = data.BlockRecords(*entry);
      run.records.insert(run.records.end(), records, records + size_t{b.count} * recordSize);
      run.present.insert(run.present.end(), b.count, recordSize);
      *row += b.count;
      ++*entry;
      continue;
    }
    uint32_t present = 0;
    const uint8_t* stored = data.Record(*row, &present);
    run.records.insert(run.records.end(), stored, stored + recordSize);
    run.present.push_back(present);
    ++*row;
  }
}

// One thread kept for a whole dump that builds the lines of the runs handed to it, one at a time,
// while the caller's thread reads, builds and gives out the others.
class RunBuilder {
 public:
  // Raises std::system_error when no thread can be had.
  explicit RunBuilder(TableCursor& c) : c_(c), thread_([this] { Serve(); }) {}
  ~RunBuilder() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!begun_) job_ = nullptr;  // a run handed over but not begun is no longer wanted
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  RunBuilder(const RunBuilder&) = delete;
  RunBuilder& operator=(const RunBuilder&) = delete;

  // Hands `run` over to be built; the caller leaves it alone until Finish returns.
  void Start(RowRun& run) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = &run;
    }
    changed_.notify_all();
  }
  // Returns once the run handed over is built: by the caller itself when the second thread has
  // not begun it yet (on a busy machine it may not have had its turn), so that no one waits for it.
  void Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (job_ != nullptr && !begun_) {
      RowRun& run = *job_;
      job_ = nullptr;
      lock.unlock();
      run.Build(c_);
      return;
    }
    changed_.wait(lock, [this] { return job_ == nullptr; });
  }

 private:
  void Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stop_ || job_ != nullptr; });
      if (job_ == nullptr) return;  // stopped with nothing left to build
      begun_ = true;
      RowRun& run = *job_;
      lock.unlock();
      run.Build(c_);
      lock.lock();
      job_ = nullptr;
      begun_ = false;
      changed_.notify_all();
    }
  }

  TableCursor& c_;
  std::mutex mutex_;
  std::condition_variable changed_;
  RowRun* job_ = nullptr;
  bool begun_ = false;  // the second thread is building job_
  bool stop_ = false;
  std::thread thread_;  // last, so that it starts on members made
};

// Names the records that the end of the data file cuts, once, as the first unreadable cause.
void NoteTruncation(TableCursor& c, std::vector<std::string>& unreadable) {
  if (!c.Data().Truncation().empty())
    unreadable.push_back("Datei " + Quoted(c.DataPath()) + ": " + c.Data().Truncation());
}

}  // namespace

void ForEachRecordLinePiece(TableCursor& c, uint64_t blobBytesInMemory,
                            const std::function<void(const std::string&)>& piece,
                            std::vector<std::string>& unreadable) {
  NoteTruncation(c, unreadable);
  UnreadableCauses causes;
  uint32_t row = 0;
  size_t entry = 0;
  std::exception_ptr readFailure;
  // A read that fails ends the reading; the rows read before it are built and given first.
  auto read = [&](RowRun& run, size_t runBytes) {
    run.Clear();
    if (readFailure) return;
    try {
      ReadRun(c, &row, &entry, runBytes, run);
    } catch (...) {
      readFailure = std::current_exception();
    }
  };
  auto give = [&](RowRun& run) {
    if (!run.text.empty()) piece(run.text);
    causes.Merge(run.causes);
    if (run.failure) std::rethrow_exception(run.failure);
  };
  // Built here, and by the second thread where there is one. Made before it, so that they outlive
  // a run it is building when a failure leaves this function.
  RowRun mine, theirs;
  std::unique_ptr<RunBuilder> builder;
  bool twoThreads = c.PrepareBlobReads(blobBytesInMemory);
  // This thread reads every run besides building its own, so its runs are smaller.
  constexpr size_t kTheirRunBytes = size_t{1} << 20;
  const size_t myRunBytes = twoThreads ? kTheirRunBytes * 5 / 8 : kTheirRunBytes;
  read(mine, myRunBytes);
  while (!mine.present.empty()) {
    read(theirs, kTheirRunBytes);
    // The second thread is started for the first run it can have: a small table needs none.
    if (twoThreads && !builder && !theirs.present.empty()) {
      try {
        builder = std::make_unique<RunBuilder>(c);
      } catch (const std::system_error&) {
        twoThreads = false;  // no thread to be had: every run is built here
      }
    }
    const bool handed = builder && !theirs.present.empty();
    if (handed) builder->Start(theirs);
    mine.Build(c);
    give(mine);
    read(mine, myRunBytes);  // the next run, while theirs is being built
    if (handed)
      builder->Finish();
    else
      theirs.Build(c);
    give(theirs);
  }
  if (readFailure) std::rethrow_exception(readFailure);
  causes.AppendTo(unreadable);
}

void ForEachStoredRecord(
    TableCursor& c, std::vector<std::string>& unreadable,
    const std::function<void(uint32_t row, const uint8_t* record, uint32_t present, UnreadableCauses& causes)>& each) {
  NoteTruncation(c, unreadable);
  UnreadableCauses causes;
  const uint32_t recordSize = c.Header().recordSize;
  std::vector<uint8_t> record(recordSize);
  for (uint32_t row = 0; row < c.RowCount(); ++row) {
    uint32_t present = 0;
    const uint8_t* stored = c.Data().Record(row, &present);
    record.assign(stored, stored + recordSize);
    each(row, record.data(), present, causes);
  }
  causes.AppendTo(unreadable);
}

void ForEachRecordLine(TableCursor& c, const std::function<void(const std::string&)>& line,
                       std::vector<std::string>& unreadable) {
  std::string text;
  ForEachStoredRecord(c, unreadable, [&](uint32_t, const uint8_t* record, uint32_t present, UnreadableCauses& causes) {
    text.clear();
    AppendRecordLine(text, c, record, present, causes);
    line(text);
  });
}

}  // namespace engine
