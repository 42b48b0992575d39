#pragma once
// The benchmark's result table. Every figure is set against the raw sequential read or the raw
// copy of the same .DB file measured in the same run:
//  - per-record work (scans, lookups, writes): its time per operation divided by the raw time per
//    record (file time / records), i.e. how many times slower than the bytes alone;
//  - whole-table work (open, dump, copy, restructure): its time divided by the raw time of the
//    whole file.
// Print writes German text (1.234.567,8); PrintTsv one tab-separated line per measurement for
// scripts: key, seconds, operations, ratio to the raw read, ratio to the raw copy, with "." as
// decimal point and an empty field where a ratio does not apply.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

// What a measurement is set against.
enum class Basis {
  ReadPerRecord,   // a read operation, per operation against the raw read per record
  ReadWhole,       // a read of the whole table against the raw read of the file
  CopyPerRecord,   // a write operation, per operation against the raw copy per record
  CopyWhole,       // a rewrite of the whole table against the raw copy of the file
  None,
};

struct Measurement {
  std::string key;    // name in the --tsv output
  std::string label;  // German name in the table
  double seconds = 0;
  double count = 0;   // operations done in `seconds`
  std::string unit;   // German name of one operation, plural
  Basis basis = Basis::None;
  uint64_t records = 0;  // records of the table measured on (the raw figures' size when 0)
};

class Report {
 public:
  explicit Report(int64_t records) : records_(records) {}
  void SetRawRead(double seconds, uint64_t bytes) { rawRead_ = seconds; rawBytes_ = bytes; }
  void SetRawCopy(double seconds) { rawCopy_ = seconds; }
  void Add(Measurement m) { lines_.push_back(std::move(m)); }
  // Peak memory of a whole process working on the table, shown per record.
  void AddPeakMemory(const std::string& label, uint64_t bytes, uint64_t records);
  void Print(std::ostream& out) const;
  void PrintTsv(std::ostream& out) const;

 private:
  // Ratio of `m` to the raw read (first) and the raw copy (second); negative where none applies.
  std::pair<double, double> Ratios(const Measurement& m) const;

  struct Memory {
    std::string label;
    uint64_t bytes;
    uint64_t records;
  };
  int64_t records_;
  double rawRead_ = 0;
  double rawCopy_ = 0;
  uint64_t rawBytes_ = 0;
  std::vector<Measurement> lines_;
  std::vector<Memory> memory_;
};

// German number text with `decimals` places: 1234567.89 → "1.234.567,89".
std::string GermanNumber(double v, int decimals);

}  // namespace bench
