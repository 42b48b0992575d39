#include "bench/report.h"

#include <charconv>
#include <cmath>
#include <cstdio>

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

// Shortest text that reads back as `v`, "." as decimal point whatever the locale.
std::string PlainNumber(double v) {
  char buf[64];
  // Fixed notation: counts print as whole numbers ("1000000", not "1e+06").
  const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed).ptr;
  return std::string(buf, end);
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

void Report::AddPeakMemory(const std::string& label, uint64_t bytes, uint64_t records) {
  memory_.push_back({label, bytes, records});
}

std::pair<double, double> Report::Ratios(const Measurement& m) const {
  const double records = static_cast<double>(records_);
  const double tableRecords = m.records ? static_cast<double>(m.records) : records;
  const double perOp = m.count > 0 ? m.seconds / m.count : 0;
  switch (m.basis) {
    case Basis::ReadPerRecord: return {perOp / (rawRead_ / records), -1};
    case Basis::ReadWhole: return {m.seconds / (rawRead_ / records * tableRecords), -1};
    case Basis::CopyPerRecord: return {-1, perOp / (rawCopy_ / records)};
    case Basis::CopyWhole: return {-1, m.seconds / (rawCopy_ / records * tableRecords)};
    case Basis::None: break;
  }
  return {-1, -1};
}

void Report::Print(std::ostream& out) const {
  const double records = static_cast<double>(records_);
  out << "Kerbolt-Benchmark: " << GermanNumber(records, 0) << " Datensätze, .DB-Datei "
      << GermanNumber(static_cast<double>(rawBytes_) / kMiB, 1) << " MiB\n";
  out << "Physikalische Grenze in diesem Lauf (für größere Tabellen linear hochgerechnet):\n";
  out << "  Rohes Lesen der .DB:   " << Seconds(rawRead_) << "  ("
      << GermanNumber(static_cast<double>(rawBytes_) / kMiB / rawRead_, 0) << " MiB/s, "
      << GermanNumber(records / rawRead_, 0) << " Sätze/s)\n";
  out << "  Rohes Kopieren der .DB: " << Seconds(rawCopy_) << "  ("
      << GermanNumber(static_cast<double>(rawBytes_) / kMiB / rawCopy_, 0) << " MiB/s, "
      << GermanNumber(records / rawCopy_, 0) << " Sätze/s)\n\n";
  out << Pad("Messung", 50) << Pad("Zeit", 14) << Pad("je Vorgang", 14) << Pad("Rate", 26)
      << Pad("× Rohlesen", 14) << "× Rohkopie\n";
  for (const Measurement& m : lines_) {
    const auto [vsRead, vsCopy] = Ratios(m);
    const double perSecond = m.seconds > 0 ? m.count / m.seconds : 0;
    const std::string rate =
        m.seconds > 0 ? GermanNumber(perSecond, perSecond < 100 ? 2 : 0) + " " + m.unit + "/s" : "–";
    const double perOp = m.count > 0 ? m.seconds / m.count : 0;
    const std::string each = perOp < 0.001 ? GermanNumber(perOp * 1e6, 2) + " µs" : Seconds(perOp);
    out << Pad(m.label, 50) << Pad(Seconds(m.seconds), 14) << Pad(each, 14) << Pad(rate, 26)
        << Pad(vsRead < 0 ? "–" : GermanNumber(vsRead, 1), 14) << (vsCopy < 0 ? "–" : GermanNumber(vsCopy, 1))
        << "\n";
  }
  if (!memory_.empty()) out << "\n";
  for (const Memory& m : memory_)
    out << Pad(m.label, 50) << GermanNumber(static_cast<double>(m.bytes) / kMiB, 1) << " MiB, "
        << GermanNumber(static_cast<double>(m.bytes) / static_cast<double>(m.records), 0) << " Bytes je Satz\n";
}

void Report::PrintTsv(std::ostream& out) const {
  for (const Measurement& m : lines_) {
    const auto [vsRead, vsCopy] = Ratios(m);
    out << m.key << '\t' << PlainNumber(m.seconds) << '\t' << PlainNumber(m.count) << '\t'
        << (vsRead < 0 ? "" : PlainNumber(vsRead)) << '\t' << (vsCopy < 0 ? "" : PlainNumber(vsCopy)) << '\n';
  }
}

}  // namespace bench
