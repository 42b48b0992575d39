// The German description of other programs' use of a table (foreign_locks.h).

#include <string>
#include <vector>

#include "family/foreign_locks.h"
#include "io/names.h"

namespace engine {

namespace {

std::string Count(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "vor 5 Minuten" for a change `seconds` ago; a time ahead of this computer's clock (that of a
// file server whose clock runs fast) counts as just now.
std::string AgoText(int64_t seconds) {
  if (seconds < 60) return seconds <= 0 ? "gerade eben" : "vor " + Count(seconds, "Sekunde", "Sekunden");
  if (seconds < 3600) return "vor " + Count(seconds / 60, "Minute", "Minuten");
  if (seconds < 86400) return "vor " + Count(seconds / 3600, "Stunde", "Stunden");
  return "vor " + Count(seconds / 86400, "Tag", "Tagen");
}

// The facts of a file in parentheses, those that are known, joined by commas.
std::string InParentheses(const std::vector<std::string>& facts) {
  std::string text;
  for (const std::string& fact : facts)
    if (!fact.empty()) text += (text.empty() ? "" : ", ") + fact;
  return text.empty() ? "" : " (" + text + ")";
}

std::string ChangedText(const FileUseProbe& probe, int64_t nowSeconds) {
  return probe.hasModified ? AgoText(nowSeconds - probe.modifiedSeconds) + " geändert" : "";
}

std::string LockFileFacts(const ForeignLockFile& file) {
  if (UpperAscii(file.name) != "PDOXUSRS.LCK") return "";
  if (!file.layoutKnown) return "Aufbau unbekannt";
  std::string facts = "Netzverzeichnis " + Quoted(file.netDirectory);
  if (file.netFile == NetFileMatch::Same) facts += ", gehört zur Netzdatei " + Quoted(file.netFilePath);
  if (file.netFile == NetFileMatch::Different)
    facts += ", passt nicht zur Netzdatei " + Quoted(file.netFilePath) + " (womöglich veraltet)";
  return facts;
}

}  // namespace

std::string ForeignUseFacts(const ForeignUse& use, int64_t nowSeconds) {
  std::string facts;
  if (use.table.lockedElsewhere)
    facts = FileNameOf(use.tablePath) + InParentheses({"gesperrt", ChangedText(use.table, nowSeconds)});
  for (const ForeignLockFile& file : use.files)
    facts += (facts.empty() ? "" : "; ") + file.name +
             InParentheses({file.probe.lockedElsewhere ? "gesperrt" : "", LockFileFacts(file),
                            ChangedText(file.probe, nowSeconds)});
  return facts;
}

std::string ForeignUseText(const ForeignUse& use, int64_t nowSeconds) {
  if (use.Held())
    return "Die Tabelle wird gerade von einem anderen Programm benutzt und wird deshalb nicht verändert: " +
           ForeignUseFacts(use, nowSeconds) +
           ". Schließen Sie die Tabelle in dem anderen Programm (oder beenden Sie es) und versuchen Sie es dann "
           "erneut.";
  return "Neben der Tabelle liegen Sperrdateien anderer Paradox-Programme: " + ForeignUseFacts(use, nowSeconds) +
         ". Keine davon ist gerade gesperrt: Sie können von einem beendeten Programm übrig sein, ein "
         "anderes Programm kann die Tabelle aber auch noch geöffnet haben. Schließen Sie alle anderen "
         "Programme, die diese Tabelle benutzen, und bestätigen Sie dann ausdrücklich, dass sie trotzdem "
         "verändert werden soll.";
}

}  // namespace engine
