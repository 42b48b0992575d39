#pragma once
// Field values in records: decoding and encoding per physical type. Null is all-zero bytes for
// every type (alpha and bytes: the first byte 0; an empty alpha value and null are the same).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "format/blob_block.h"
#include "format/field_type.h"
#include "io/coding.h"

namespace engine {

// Day numbers of Date fields: 0001-01-01 (proleptic Gregorian) = 1.
int32_t DayNumberFromCivil(int year, int month, int day);
void CivilFromDayNumber(int32_t dayNumber, int* year, int* month, int* day);
bool IsValidCivilDate(int year, int month, int day);

constexpr int64_t kMsPerDay = 86400000;

inline bool IsNullValue(PxType type, const uint8_t* p, size_t n) {
  switch (type) {
    case PxType::Alpha:
    case PxType::Bcd:
    case PxType::Logical:
      return p[0] == 0;
    case PxType::Memo: case PxType::Blob: case PxType::FmtMemo: case PxType::Ole:
    case PxType::Graphic:
      // Null when the stored length (after the leader) is 0.
      return n < mb::kDescriptorSize || coding::GetU32(p + mb::LeaderBytes(n) + mb::kDescLength) == 0;
    default:
      return coding::AllZero(p, n);
  }
}

// S, I, +, D (day number), T (ms since midnight). Caller checks IsNullValue first.
inline int32_t DecodeIntValue(const uint8_t* p, size_t n) { return coding::DecodeFlippedInt(p, n); }
void EncodeIntValue(int32_t v, uint8_t* p, size_t n);
// N, $, @ (@: ms with the day numbering of dates).
inline double DecodeDoubleValue(const uint8_t* p) { return coding::DecodeFlippedDouble(p); }
void EncodeDoubleValue(double v, uint8_t* p);
// L: 0x80 false, 0x81 true.
bool DecodeLogicalValue(const uint8_t* p);
void EncodeLogicalValue(bool v, uint8_t* p);
// A: the bytes up to the first NUL (in the table's code page).
std::string DecodeAlphaValue(const uint8_t* p, size_t n);
// Stores text (code page bytes, must fit) NUL-padded; returns false when it is too long.
bool EncodeAlphaValue(const std::string& bytes, uint8_t* p, size_t n);

// BCD (#, 17 bytes, `decimals` places): "[-]digits[.decimals]" with no leading zeros and no sign
// on zero. nullopt when the stored bytes are not a decimal (a nibble above 9, or a decimal count
// that differs from the field's).
std::optional<std::string> DecodeBcdValue(const uint8_t* p, int decimals);
// Encodes a decimal text ("-12.5", "3", "0,25" accepted); false when it is not a number or has
// more than 32 digits after scaling to `decimals` places (extra decimals are rounded).
bool EncodeBcdValue(const std::string& text, int decimals, uint8_t* p);

// Text forms used by the dump: date YYYY-MM-DD, time HH:MM:SS.mmm, timestamp both.
std::string FormatIsoDate(int32_t dayNumber);
void AppendIsoDate(std::string& out, int32_t dayNumber);
std::string FormatIsoTime(int64_t msOfDay);
// nullopt for a timestamp that TimestampMilliseconds cannot read.
std::optional<std::string> FormatIsoTimestamp(double ms);
// Whole milliseconds of a timestamp value (@), rounded; nullopt when the value is not a finite
// number or its day does not fit the day numbers of dates (32 bits).
std::optional<int64_t> TimestampMilliseconds(double ms);
// printf("%.17g") in the C locale.
std::string FormatDouble17(double v);

}  // namespace engine
