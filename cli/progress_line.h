#pragma once
// Progress of long table work on a terminal: "… 300000 Datensätze" on stderr every 100,000
// records, rewritten in place; silent when stderr is not a terminal (scripts, tests).

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace cli {

class ProgressLine {
 public:
  ProgressLine() : shown_(::isatty(2) != 0) {}
  ~ProgressLine() {
    if (shown_ && printed_) std::fputs("\n", stderr);
  }
  // Records done so far; always goes on.
  bool operator()(uint64_t done) {
    last_ = done;
    if (shown_ && done % 100000 == 0) {
      std::fprintf(stderr, "\r… %llu Datensätze", static_cast<unsigned long long>(done));
      printed_ = true;
    }
    return true;
  }
  uint64_t Done() const { return last_; }

 private:
  bool shown_;
  bool printed_ = false;
  uint64_t last_ = 0;
};

}  // namespace cli
