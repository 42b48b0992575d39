#include "format/field_type.h"

namespace engine {

TFieldType ToFieldType(PxType t) {
  switch (t) {
    case PxType::Alpha: return ftString;
    case PxType::Date: return ftDate;
    case PxType::Short: return ftSmallint;
    case PxType::Long: return ftInteger;
    case PxType::Money: return ftCurrency;
    case PxType::Number: return ftFloat;
    case PxType::Logical: return ftBoolean;
    case PxType::Memo: return ftMemo;
    case PxType::Blob: return ftBlob;
    case PxType::FmtMemo: return ftFmtMemo;
    case PxType::Ole: return ftParadoxOle;
    case PxType::Graphic: return ftGraphic;
    case PxType::Time: return ftTime;
    case PxType::Timestamp: return ftDateTime;
    case PxType::AutoInc: return ftAutoInc;
    case PxType::Bcd: return ftBCD;
    case PxType::Bytes: return ftBytes;
  }
  return ftUnknown;
}

bool ToPxType(TFieldType t, PxType* out) {
  switch (t) {
    case ftString: *out = PxType::Alpha; return true;
    case ftDate: *out = PxType::Date; return true;
    case ftSmallint: *out = PxType::Short; return true;
    case ftInteger: *out = PxType::Long; return true;
    case ftCurrency: *out = PxType::Money; return true;
    case ftFloat: *out = PxType::Number; return true;
    case ftBoolean: *out = PxType::Logical; return true;
    case ftMemo: *out = PxType::Memo; return true;
    case ftBlob: *out = PxType::Blob; return true;
    case ftFmtMemo: *out = PxType::FmtMemo; return true;
    case ftParadoxOle: *out = PxType::Ole; return true;
    case ftGraphic: *out = PxType::Graphic; return true;
    case ftTime: *out = PxType::Time; return true;
    case ftDateTime: *out = PxType::Timestamp; return true;
    case ftAutoInc: *out = PxType::AutoInc; return true;
    case ftBCD: *out = PxType::Bcd; return true;
    case ftBytes: *out = PxType::Bytes; return true;
    default: return false;
  }
}

char PxTypeLetter(PxType t) {
  switch (t) {
    case PxType::Alpha: return 'A';
    case PxType::Date: return 'D';
    case PxType::Short: return 'S';
    case PxType::Long: return 'I';
    case PxType::Money: return '$';
    case PxType::Number: return 'N';
    case PxType::Logical: return 'L';
    case PxType::Memo: return 'M';
    case PxType::Blob: return 'B';
    case PxType::FmtMemo: return 'F';
    case PxType::Ole: return 'O';
    case PxType::Graphic: return 'G';
    case PxType::Time: return 'T';
    case PxType::Timestamp: return '@';
    case PxType::AutoInc: return '+';
    case PxType::Bcd: return '#';
    case PxType::Bytes: return 'Y';
  }
  return '?';
}

uint8_t FixedFieldBytes(PxType t) {
  switch (t) {
    case PxType::Date: case PxType::Long: case PxType::Time: case PxType::AutoInc: return 4;
    case PxType::Short: return 2;
    case PxType::Money: case PxType::Number: case PxType::Timestamp: return 8;
    case PxType::Logical: return 1;
    default: return 0;
  }
}

bool SizeByteAllowed(PxType t, uint8_t size) {
  switch (t) {
    case PxType::Alpha: case PxType::Bytes: return size >= 1;
    case PxType::Bcd: return size <= kMaxBcdDecimals;
    case PxType::Memo: return size >= 11 && size <= 250;
    case PxType::Blob: case PxType::FmtMemo: case PxType::Ole: case PxType::Graphic:
      return size >= 10 && size <= 250;
    default: return size == FixedFieldBytes(t);
  }
}

}  // namespace engine
