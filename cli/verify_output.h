#pragma once
// The output of kerbolt-cli verify: per table a line "PATH: OK" or "PATH: n Probleme" followed by
// one indented line per problem ("file, place: text"); with --json one JSON document for
// scripts. Tracks the exit status: 0 all sound, 1 problems found, 2 a table could not be checked.

#include <ostream>
#include <string>

#include "direct/table_verify.h"

namespace cli {

constexpr char kVerifyUsage[] = "Aufruf: kerbolt-cli verify PFAD… [--json]\n";
constexpr int kExitUsage = 2;

class VerifyOutput {
 public:
  VerifyOutput(std::ostream& out, bool json);
  void Report(const engine::TableReport& report);
  // A table or directory that could not be checked, with the reason.
  void NotChecked(const std::string& path, const std::string& reason);
  // Ends the output; returns the exit status.
  int Finish();

 private:
  void Separate();
  std::ostream& out_;
  bool json_;
  bool first_ = true;
  bool problems_ = false;
  bool notChecked_ = false;
};

}  // namespace cli
