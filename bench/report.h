#pragma once
// The benchmark's result table. Every figure is set against the raw sequential read and the
// raw copy of the same .DB file measured in the same run:
//  - per-record work (scans, lookups, writes): its time per record divided by the raw time per
//    record (file time / records), i.e. how many times slower than the bytes alone;
//  - whole-table work (open, index switch): its time divided by the raw time of the whole file.
// Numbers are written in German notation (1.234.567,8); PrintTsv gives the keyed lines for
// scripts: key, seconds, operations, ratio to the raw read, ratio to the raw copy (empty where
// it does not apply), tab-separated, "." as decimal point.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

enum class Scale { PerRecord, WholeTable, None };

class Report {
 public:
  explicit Report(int64_t records) : records_(records) {}
  void SetRawRead(double seconds, uint64_t bytes) { rawRead_ = seconds; rawBytes_ = bytes; }
  void SetRawCopy(double seconds) { rawCopy_ = seconds; }
  // `count` operations of `unit` took `seconds`; `key` names the line in the tab-separated
  // output (lines without key are left out there).
  void Add(const std::string& label, double seconds, double count, const std::string& unit,
           Scale scale = Scale::PerRecord, const std::string& key = {});
  void Print(std::ostream& out, uint64_t fileBytes) const;
  // One line per keyed measurement: key, seconds, operations, ratio to the raw read, ratio to
  // the raw copy (empty where it does not apply), tab-separated, "." as decimal point.
  void PrintTsv(std::ostream& out) const;

 private:
  struct Line {
    std::string key;
    std::string label;
    double seconds;
    double count;
    std::string unit;
    Scale scale;
  };
  // The line's ratios to the raw read and the raw copy; false when they do not apply.
  bool Ratios(const Line& l, double* vsRead, double* vsCopy) const;

  int64_t records_;
  double rawRead_ = 0;
  double rawCopy_ = 0;
  uint64_t rawBytes_ = 0;
  std::vector<Line> lines_;
};

// German number text with `decimals` places: 1234567.89 → "1.234.567,89".
std::string GermanNumber(double v, int decimals);

}  // namespace bench
