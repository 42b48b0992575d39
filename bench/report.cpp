#include "bench/report.h"

#include <cmath>
#include <cstdio>
#include <iomanip>

namespace bench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Pads UTF-8 text to `width` characters (not bytes).
std::string Pad(const std::string& text, size_t width) {
  size_t chars = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  return text + std::string(chars < width ? width - chars : 1, ' ');
}

std::string Seconds(double s) {
  if (s < 0.01) return GermanNumber(s * 1000.0, 3) + " ms";
  return GermanNumber(s, 3) + " s";
}

}  // namespace

std::string GermanNumber(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(v));
  std::string digits = buf;
  std::string fraction;
  const size_t point = digits.find('.');
  if (point != std::string::npos) {
    fraction = "," + digits.substr(point + 1);
    digits.resize(point);
  }
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += '.';
    grouped += digits[i];
  }
  const bool negative = v < 0 && std::round(std::fabs(v) * std::pow(10, decimals)) != 0;
  return (negative ? "-" : "") + grouped + fraction;
}

void Report::Add(const std::string& label, double seconds, double count, const std::string& unit, Scale scale,
                 const std::string& key) {
  lines_.push_back({label, seconds, count, unit, scale, key});
}

bool Report::Ratios(const Line& l, double* vsRead, double* vsCopy) const {
  const double records = static_cast<double>(records_);
  if (l.scale == Scale::PerRecord && l.count > 0) {
    const double perOp = l.seconds / l.count;
    *vsRead = perOp / (rawRead_ / records);
    *vsCopy = perOp / (rawCopy_ / records);
    return true;
  }
  if (l.scale == Scale::WholeTable) {
    *vsRead = l.seconds / rawRead_;
    *vsCopy = l.seconds / rawCopy_;
    return true;
  }
  return false;
}

void Report::PrintTsv(std::ostream& out) const {
  for (const Line& l : lines_) {
    if (l.key.empty()) continue;
    double vsRead = 0, vsCopy = 0;
    const bool ratios = Ratios(l, &vsRead, &vsCopy);
    char line[256];
    std::snprintf(line, sizeof line, "%s\t%.6f\t%.0f\t", l.key.c_str(), l.seconds, l.count);
    out << line;
    if (ratios) {
      std::snprintf(line, sizeof line, "%.3f\t%.3f", vsRead, vsCopy);
      out << line;
    } else {
      out << '\t';
    }
    out << '\n';
  }
}

void Report::Print(std::ostream& out, uint64_t fileBytes) const {
  const double records = static_cast<double>(records_);
  out << "Kerbolt-Benchmark: " << GermanNumber(records, 0) << " Datensätze, .DB-Datei "
      << GermanNumber(static_cast<double>(fileBytes) / kMiB, 1) << " MiB\n";
  out << "Physikalische Grenze in diesem Lauf:\n";
  out << "  Rohes Lesen der .DB:   " << Seconds(rawRead_) << "  ("
      << GermanNumber(static_cast<double>(rawBytes_) / kMiB / rawRead_, 0) << " MiB/s, "
      << GermanNumber(records / rawRead_, 0) << " Sätze/s)\n";
  out << "  Rohes Kopieren der .DB: " << Seconds(rawCopy_) << "  ("
      << GermanNumber(static_cast<double>(rawBytes_) / kMiB / rawCopy_, 0) << " MiB/s, "
      << GermanNumber(records / rawCopy_, 0) << " Sätze/s)\n\n";
  out << Pad("Messung", 46) << Pad("Zeit", 14) << Pad("Rate", 26) << Pad("× Rohlesen", 14) << "× Rohkopie\n";
  for (const Line& l : lines_) {
    std::string vsRead = "–", vsCopy = "–";
    double read = 0, copy = 0;
    if (Ratios(l, &read, &copy)) {
      const int decimals = l.scale == Scale::WholeTable ? 2 : 1;
      vsRead = GermanNumber(read, decimals);
      vsCopy = GermanNumber(copy, decimals);
    }
    const double perSecond = l.seconds > 0 ? l.count / l.seconds : 0;
    const std::string rate =
        l.seconds > 0 ? GermanNumber(perSecond, perSecond < 100 ? 2 : 0) + " " + l.unit + "/s" : "–";
    out << Pad(l.label, 46) << Pad(Seconds(l.seconds), 14) << Pad(rate, 26) << Pad(vsRead, 14) << vsCopy << "\n";
  }
}

}  // namespace bench
