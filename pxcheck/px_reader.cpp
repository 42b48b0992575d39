#include "pxcheck/px_reader.h"

#include "pxcheck/px_doc.h"


#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace pxcheck {

namespace {

// pxlib frees strings it hands out with its own free procedure.
std::string TakeString(pxdoc_t* doc, char* value, size_t length) {
  std::string s(value, length);
  doc->free(doc, value);
  return s;
}

std::string TypeToken(const pxfield_t& f) {
  const std::string len = std::to_string(f.px_flen);
  switch (f.px_ftype) {
    case pxfAlpha: return "A" + len;
    case pxfDate: return "D";
    case pxfShort: return "S";
    case pxfLong: return "I";
    case pxfCurrency: return "$";
    case pxfNumber: return "N";
    case pxfLogical: return "L";
    case pxfMemoBLOb: return "M" + len;
    case pxfBLOb: return "B" + len;
    case pxfFmtMemoBLOb: return "F" + len;
    case pxfOLE: return "O" + len;
    case pxfGraphic: return "G" + len;
    case pxfTime: return "T";
    case pxfTimestamp: return "@";
    case pxfAutoInc: return "+";
    case pxfBCD: return "#" + std::to_string(f.px_fdc);
    case pxfBytes: return "Y" + len;
    default: return "?" + std::to_string(static_cast<int>(f.px_ftype));
  }
}

bool AllZero(const char* data, int length) {
  for (int i = 0; i < length; ++i)
    if (data[i] != 0) return false;
  return true;
}

std::string Cell(pxdoc_t* doc, const pxfield_t& f, char* data, int codePage, bool level3) {
  switch (f.px_ftype) {
    case pxfAlpha: {
      char* value = nullptr;
      if (PX_get_data_alpha(doc, data, f.px_flen, &value) <= 0) return "";
      const std::string raw = TakeString(doc, value, std::strlen(value));
      return DecodeText(raw, codePage, level3);
    }
    case pxfShort: {
      if (AllZero(data, f.px_flen)) return "";
      short value = 0;
      return PX_get_data_short(doc, data, f.px_flen, &value) > 0 ? std::to_string(value) : "";
    }
    case pxfLong:
    case pxfAutoInc:
    case pxfDate:
    case pxfTime: {
      // pxlib 0.6.8 reads an all-zero integer as its most negative value; all zero is empty.
      if (AllZero(data, f.px_flen)) return "";
      long value = 0;
      if (PX_get_data_long(doc, data, f.px_flen, &value) <= 0) return "";
      if (f.px_ftype == pxfDate) return FormatDate(value);
      if (f.px_ftype == pxfTime) return FormatTime(value);
      return std::to_string(value);
    }
    case pxfNumber:
    case pxfCurrency:
    case pxfTimestamp: {
      double value = 0;
      if (PX_get_data_double(doc, data, f.px_flen, &value) <= 0) return "";
      return f.px_ftype == pxfTimestamp ? FormatTimestamp(value) : FormatDouble(value);
    }
    case pxfLogical: {
      char value = 0;
      if (PX_get_data_byte(doc, data, f.px_flen, &value) <= 0) return "";
      return value ? "true" : "false";
    }
    case pxfBCD: {
      char* value = nullptr;
      if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(data), f.px_fdc, &value) <= 0) return "";
      return NormalizeDecimal(TakeString(doc, value, std::strlen(value)), f.px_fdc);
    }
    case pxfBytes: {
      char* value = nullptr;
      if (PX_get_data_bytes(doc, data, f.px_flen, &value) <= 0) return "";
      return HexBytes(TakeString(doc, value, static_cast<size_t>(f.px_flen)));
    }
    default:
      return "?";  // blobs: not read
  }
}

}  // namespace

PxReading ReadWithPxlib(const std::string& dbPath, const std::string& pxPath) {
  PxReading reading;
  PxDoc db(&reading.messages);
  if (!db.Open(dbPath)) return reading;
  std::unique_ptr<PxDoc> index;
  if (!pxPath.empty()) {
    index = std::make_unique<PxDoc>(&reading.messages);
    if (!index->Open(pxPath) || PX_read_primary_index(index->get()) != 0 ||
        PX_add_primary_index(db.get(), index->get()) != 0) {
      reading.messages.push_back("error: primary index not usable: " + pxPath);
      return reading;
    }
  }
  reading.opened = true;
  pxdoc_t* doc = db.get();
  const pxhead_t* head = doc->px_head;
  const bool level3 = head->px_fileversion < 40;
  for (int i = 0; i < head->px_numfields; ++i) {
    const pxfield_t* f = PX_get_field(doc, i);
    reading.dump.names.push_back(DecodeText(f->px_fname, head->px_doscodepage, level3));
    reading.dump.types.push_back(TypeToken(*f));
  }
  std::string record(static_cast<size_t>(head->px_recordsize), '\0');
  for (int r = 0; r < head->px_numrecords; ++r) {
    if (PX_get_record(doc, r, record.data()) == nullptr) {
      reading.messages.push_back("error: record " + std::to_string(r) + " not readable");
      break;
    }
    std::vector<std::string> cells;
    int offset = 0;
    for (int i = 0; i < head->px_numfields; ++i) {
      const pxfield_t* f = PX_get_field(doc, i);
      cells.push_back(Cell(doc, *f, record.data() + offset, head->px_doscodepage, level3));
      offset += f->px_flen;
    }
    reading.dump.rows.push_back(std::move(cells));
  }
  return reading;
}

}  // namespace pxcheck
