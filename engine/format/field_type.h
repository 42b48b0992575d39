#pragma once
// Field type codes shared by the engine and the windows (numbering fixed, see TFieldType) and
// the physical Paradox field types stored in a table header.

#include <cstdint>

namespace engine {

enum TFieldType : uint8_t {
  ftUnknown = 0, ftString = 1, ftSmallint = 2, ftInteger = 3, ftWord = 4, ftBoolean = 5,
  ftFloat = 6, ftCurrency = 7, ftBCD = 8, ftDate = 9, ftTime = 10, ftDateTime = 11,
  ftBytes = 12, ftVarBytes = 13, ftAutoInc = 14, ftBlob = 15, ftMemo = 16, ftGraphic = 17,
  ftFmtMemo = 18, ftParadoxOle = 19, ftDBaseOle = 20, ftTypedBinary = 21, ftCursor = 22,
  ftFixedChar = 23, ftWideString = 24, ftLargeint = 25, ftADT = 26, ftArray = 27,
  ftReference = 28, ftDataSet = 29,
};

// Physical field type byte of the table header (fieldInfo[i].type).
enum class PxType : uint8_t {
  Alpha = 0x01, Date = 0x02, Short = 0x03, Long = 0x04, Money = 0x05, Number = 0x06,
  Logical = 0x09, Memo = 0x0C, Blob = 0x0D, FmtMemo = 0x0E, Ole = 0x0F, Graphic = 0x10,
  Time = 0x14, Timestamp = 0x15, AutoInc = 0x16, Bcd = 0x17, Bytes = 0x18,
};

// Mapping between the two. Alpha→ftString, Short→ftSmallint, Long→ftInteger, Money→ftCurrency,
// Number→ftFloat, Logical→ftBoolean, Memo→ftMemo, Blob→ftBlob, FmtMemo→ftFmtMemo,
// Ole→ftParadoxOle, Graphic→ftGraphic, Time→ftTime, Timestamp→ftDateTime, AutoInc→ftAutoInc,
// Bcd→ftBCD, Bytes→ftBytes, Date→ftDate.
TFieldType ToFieldType(PxType t);
// Inverse mapping; returns false for field types that Paradox tables cannot hold.
bool ToPxType(TFieldType t, PxType* out);
// Type letter as in "A", "N", "$", "#", "S", "I", "+", "L", "D", "T", "@", "M", "F", "B", "O", "G", "Y".
char PxTypeLetter(PxType t);
// True for Memo, Blob, FmtMemo, Ole, Graphic (values stored through the .MB file).
inline bool IsBlobType(PxType t) {
  return t == PxType::Memo || t == PxType::Blob || t == PxType::FmtMemo || t == PxType::Ole ||
         t == PxType::Graphic;
}
// Most decimal places of a BCD field (its size byte); the 17 record bytes hold 32 digits.
constexpr uint8_t kMaxBcdDecimals = 32;
// Record bytes of the types whose size byte the user does not choose (0 for the others).
uint8_t FixedFieldBytes(PxType t);
// Whether a field of type t may have the size byte `size`: the fixed record bytes of its type,
// 1..255 bytes (alpha, bytes), a leader of 1..240 (memo) or 0..240 (other blobs) bytes plus the
// 10-byte descriptor, or 0..32 decimal places (BCD).
bool SizeByteAllowed(PxType t, uint8_t size);

}  // namespace engine
