#include "cli/verify_output.h"

#include <iostream>

#include "cli/json_text.h"

namespace cli {

VerifyOutput::VerifyOutput(std::ostream& out, bool json) : out_(out), json_(json) {
  if (json_) out_ << "{\"tables\": [";
}

void VerifyOutput::Separate() {
  if (json_ && !first_) out_ << ',';
  if (json_) out_ << "\n  ";
  first_ = false;
}

void VerifyOutput::Report(const engine::TableReport& report) {
  problems_ |= !report.problems.empty();
  Separate();
  if (json_) {
    out_ << "{\"table\": " << JsonString(report.table) << ", \"checked\": true, \"ok\": "
         << (report.problems.empty() ? "true" : "false") << ", \"problems\": [";
    for (size_t i = 0; i < report.problems.size(); ++i) {
      const auto& p = report.problems[i];
      out_ << (i ? ", " : "") << "{\"file\": " << JsonString(p.file) << ", \"place\": " << JsonString(p.place)
           << ", \"text\": " << JsonString(p.text) << '}';
    }
    out_ << "]}";
    return;
  }
  if (report.problems.empty()) {
    out_ << report.table << ": OK\n";
    return;
  }
  const size_t n = report.problems.size();
  out_ << report.table << ": " << n << (n == 1 ? " Problem\n" : " Probleme\n");
  for (const auto& p : report.problems)
    out_ << "  " << p.file << (p.place.empty() ? "" : ", " + p.place) << ": " << p.text << '\n';
}

void VerifyOutput::NotChecked(const std::string& path, const std::string& reason) {
  notChecked_ = true;
  Separate();
  if (json_)
    out_ << "{\"table\": " << JsonString(path) << ", \"checked\": false, \"error\": " << JsonString(reason) << '}';
  else
    std::cerr << path << ": nicht geprüft: " << reason << '\n';
}

int VerifyOutput::Finish() {
  if (json_) out_ << "\n]}\n";
  out_.flush();
  if (notChecked_) return 2;
  return problems_ ? 1 : 0;
}

}  // namespace cli
