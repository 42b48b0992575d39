#include "engine/pxcheck/px_reader.h"

extern "C" {  // pxlib's header declares C functions without C linkage
#include <paradox.h>
}

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace pxcheck {

namespace {

void CollectMessage(pxdoc_t*, int type, const char* msg, void* data) {
  auto* messages = static_cast<std::vector<std::string>*>(data);
  messages->push_back((type == PX_Warning ? "warning: " : "error: ") + std::string(msg ? msg : ""));
}

// One pxlib document, deleted with its index documents.
class PxDoc {
 public:
  explicit PxDoc(std::vector<std::string>* messages)
      : doc_(PX_new3(CollectMessage, nullptr, nullptr, nullptr, messages)) {}
  ~PxDoc() {
    if (!doc_) return;
    if (opened_) PX_close(doc_);
    PX_delete(doc_);
  }
  PxDoc(const PxDoc&) = delete;
  PxDoc& operator=(const PxDoc&) = delete;

  bool Open(const std::string& path) {
    opened_ = doc_ && PX_open_file(doc_, path.c_str()) == 0;
    return opened_;
  }
  pxdoc_t* get() const { return doc_; }

 private:
  pxdoc_t* doc_;
  bool opened_ = false;
};

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

int KeyLength(pxdoc_t* doc) {
  int length = 0;
  for (int i = 0; i < doc->px_head->px_primarykeyfields; ++i) length += PX_get_field(doc, i)->px_flen;
  return length;
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

std::vector<std::string> CheckPrimaryIndex(const std::string& dbPath, const std::string& pxPath) {
  std::vector<std::string> problems;
  std::vector<std::string> messages;
  PxDoc db(&messages);
  PxDoc px(&messages);
  if (!db.Open(dbPath)) return {"pxlib cannot open " + dbPath};
  if (!px.Open(pxPath) || PX_read_primary_index(px.get()) != 0) return {"pxlib cannot read the index " + pxPath};
  pxdoc_t* doc = db.get();
  const int records = doc->px_head->px_numrecords;
  const int keyLength = KeyLength(doc);
  if (keyLength == 0) return {"the table has no key but an index file"};

  // The data blocks in chain order, as (block number, record count, first key).
  struct Block {
    int number;
    int count;
    std::string firstKey;
  };
  std::vector<Block> chain;
  std::string record(static_cast<size_t>(doc->px_head->px_recordsize), '\0');
  for (int r = 0; r < records; ++r) {
    int deleted = 0;
    pxdatablockinfo_t info{};
    if (PX_get_record2(doc, r, record.data(), &deleted, &info) == nullptr) {
      problems.push_back("record " + std::to_string(r) + " not readable");
      return problems;
    }
    if (chain.empty() || chain.back().number != info.number)
      chain.push_back({info.number, 0, record.substr(0, static_cast<size_t>(keyLength))});
    ++chain.back().count;
  }

  const auto* entries = static_cast<const pxpindex_t*>(px.get()->px_data);
  const int entryCount = px.get()->px_datalen;
  std::vector<const pxpindex_t*> level1;
  int topLevel = 0;
  for (int i = 0; i < entryCount; ++i) {
    if (entries[i].level == 1) level1.push_back(&entries[i]);
    topLevel = std::max(topLevel, entries[i].level);
  }
  if (level1.size() != chain.size())
    problems.push_back(std::to_string(level1.size()) + " level-1 entries for " + std::to_string(chain.size()) + " data blocks");
  for (size_t i = 0; i < std::min(level1.size(), chain.size()); ++i) {
    const pxpindex_t& e = *level1[i];
    const Block& b = chain[i];
    const std::string where = "entry " + std::to_string(i) + " (block " + std::to_string(b.number) + ")";
    if (e.blocknumber != b.number) problems.push_back(where + " names block " + std::to_string(e.blocknumber));
    if (e.numrecords != b.count)
      problems.push_back(where + " counts " + std::to_string(e.numrecords) + " records, the block holds " + std::to_string(b.count));
    if (std::string(e.data, static_cast<size_t>(keyLength)) != b.firstKey)
      problems.push_back(where + " does not hold the key of the block's first record");
  }

  // Upper levels: each entry sums the counts of the index block it names and carries its first key.
  long rootSum = 0;
  for (int i = 0; i < entryCount; ++i) {
    const pxpindex_t& e = entries[i];
    if (e.level == topLevel) rootSum += e.numrecords;
    if (e.level <= 1) continue;
    long sum = 0;
    const pxpindex_t* first = nullptr;
    for (int j = 0; j < entryCount; ++j) {
      if (entries[j].level != e.level - 1 || entries[j].myblocknumber != e.blocknumber) continue;
      if (!first) first = &entries[j];
      sum += entries[j].numrecords;
    }
    const std::string where = "level-" + std::to_string(e.level) + " entry for index block " + std::to_string(e.blocknumber);
    if (!first) {
      problems.push_back(where + " names an index block without entries");
      continue;
    }
    if (sum != e.numrecords)
      problems.push_back(where + " counts " + std::to_string(e.numrecords) + ", its block sums to " + std::to_string(sum));
    if (std::string(first->data, static_cast<size_t>(keyLength)) != std::string(e.data, static_cast<size_t>(keyLength)))
      problems.push_back(where + " does not hold the first key of its block");
  }
  if (entryCount > 0 && rootSum != records)
    problems.push_back("root entries count " + std::to_string(rootSum) + " records, the table has " + std::to_string(records));
  for (const std::string& m : messages) problems.push_back("pxlib " + m);
  return problems;
}

}  // namespace pxcheck
