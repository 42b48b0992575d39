#pragma once
// Where each field lies in a record and how its bytes read as text. Field offsets are the
// running sum of the fields' record bytes in field order, without padding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/field_type.h"

namespace engine {

class CodePage;
struct TableHeader;

struct FieldLayout {
  PxType type = PxType::Alpha;
  uint8_t sizeByte = 0;  // header size byte (BCD: decimal places)
  size_t offset = 0;     // from the start of the record
  size_t bytes = 0;      // bytes in the record
};

std::vector<FieldLayout> LayoutFields(const TableHeader& header);

// Type token of the dump format: A<n>, N, $, #<n>, S, I, +, L, D, T, @, M<n> ... Y<n>.
std::string TypeToken(const FieldLayout& f);

// Short date text for a day number after a pattern of d/dd, m/mm, yy/yyyy and separators
// (letters case-insensitive), e.g. "dd.mm.yyyy" → "04.05.1996".
std::string FormatShortDate(int32_t dayNumber, const std::string& pattern);

// Display text of a non-blob value (see TField::AsString); empty for null. BCD values that are
// not decimals and timestamps that are not a day and time read as "?".
std::string DisplayText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage,
                        const std::string& datePattern);

// Dump text of a non-blob value in the normalized dump format (ISO dates, %.17g numbers,
// escaped alpha, hex bytes); empty for null, "?" where DisplayText gives it.
std::string DumpText(const FieldLayout& f, const uint8_t* record, const CodePage& codePage);
// The same appended to `out`.
void AppendDumpText(std::string& out, const FieldLayout& f, const uint8_t* record, const CodePage& codePage);

// Escapes `\`, TAB, LF and CR as the dump format requires.
std::string EscapeDumpText(const std::string& utf8);

// FNV-1a 64 of the bytes as 16 lowercase hex digits.
std::string Fnv1a64Hex(const std::string& bytes);

}  // namespace engine
