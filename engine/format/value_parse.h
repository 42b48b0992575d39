#pragma once
// Reading typed field values from text, the inverse of the display texts of TField::AsString:
// whole numbers, decimals with "." or "," as the separator, dates after the short date pattern
// (or ISO YYYY-MM-DD), times hh:nn[:ss[.zzz]], timestamps as date and time, logical values
// (True/False, Ja/Nein, 1/0). Empty text is null.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "format/record_format.h"

namespace engine {

class CodePage;

// Encodes `text` (UTF-8) into the field's record bytes at `out` (f.bytes long). Returns an
// empty string on success, else a German reason ("keine gültige Zahl", ...). Not for blobs.
std::string EncodeTextValue(const FieldLayout& f, const std::string& text, const CodePage& codePage,
                            const std::string& datePattern, uint8_t* out);

// Day number of a date text after the pattern (d/dd, m/mm, yy/yyyy); nullopt when invalid.
std::optional<int32_t> ParseDateValue(const std::string& text, const std::string& pattern);
// A number in the C form ("-12.5", "1e3"; blanks before it allowed), the whole text, whatever
// the process's locale: under a German one the C library's strtod would stop at the ".".
std::optional<double> ParseCNumber(std::string_view text);
// Milliseconds since midnight of hh:nn[:ss[.zzz]]; nullopt when invalid.
std::optional<int32_t> ParseTimeValue(const std::string& text);

}  // namespace engine
