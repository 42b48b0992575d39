#include "family/record_check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/code_page.h"
#include "format/code_page_check.h"
#include "format/value_codec.h"
#include "io/compare_bytes.h"
#include "io/copy_bytes.h"
#include "io/engine_error.h"
#include "io/file_system.h"
#include "io/names.h"
#include "storage/blob_check.h"
#include "storage/blob_file.h"
#include "storage/sequential_blocks.h"

namespace engine {

namespace {

class RecordChecker {
 public:
  RecordChecker(TableCursor& c, std::vector<TableProblem>& problems, const ProgressFn& progress,
                const BlockRecordsFn& blockRead)
      : c_(c), problems_(problems), progress_(progress), blockRead_(blockRead), layout_(c.Layout()), h_(c.Header()) {
    bytewise_ = KeysAreBytewise(h_);
    keyBytes_ = h_.primaryKeyFields > 0 ? h_.KeyBytes() : 0;
    for (size_t f = 0; f < layout_.size(); ++f) {
      const PxType type = layout_[f].type;
      if ((type == PxType::Alpha || type == PxType::Memo) && !textCheck_.FitsAnyText()) textFields_.push_back(f);
      if (IsBlobType(type) || type == PxType::Bcd || type == PxType::Timestamp) valueFields_.push_back(f);
    }
    for (size_t f = 0; f < h_.primaryKeyFields && f < layout_.size(); ++f) alphaKey_ |= layout_[f].type == PxType::Alpha;
    key_.resize(keyBytes_);
    previousKey_.resize(keyBytes_);
    for (const auto& f : layout_)
      if (IsBlobType(f.type)) {
        if (c.Fs().Exists(c.BlobPath())) blobs_ = std::make_unique<BlobCheck>(c.Fs(), c.BlobPath(), problems_);
        break;
      }
  }

  std::vector<std::string> Run() {
    std::vector<std::string> firstKeys;
    const auto& blocks = c_.Data().Blocks();
    if (keyBytes_ > 0) firstKeys.reserve(blocks.size());
    SequentialBlocks sequential(c_.Fs(), c_.Data());
    uint64_t record = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
      const uint8_t* records = nullptr;
      try {
        records = sequential.Records(b);
      } catch (const EDBEngineError& e) {
        if (blockRead_) blockRead_(b, nullptr);
        RecordProblem(c_.DataPath(), RecordPlace(record + 1, blocks[b].block), e.what());
        record += blocks[b].count;
        if (keyBytes_ > 0) firstKeys.emplace_back();
        continue;
      }
      if (blockRead_) blockRead_(b, records);
      if (keyBytes_ > 0) firstKeys.emplace_back(reinterpret_cast<const char*>(records), keyBytes_);
      for (uint32_t i = 0; i < blocks[b].count; ++i) {
        const uint8_t* rec = records + static_cast<size_t>(i) * h_.recordSize;
        ++record;
        CheckRecord(rec, record, blocks[b].block);
        if (progress_) progress_(record);
      }
    }
    if (blobs_) blobs_->Finish();
    if (foreignText_ > 0)
      problems_.push_back({c_.DataPath(), firstForeignText_,
                           std::to_string(foreignText_) + (foreignText_ == 1 ? " Textwert enthält" : " Textwerte enthalten") +
                               " Zeichen, die Codeseite " + std::to_string(c_.Codepage().Number()) +
                               " nicht kennt (zuerst hier); der Text ist wohl in einer anderen Codeseite gespeichert."});
    if (suppressed_ > 0)
      problems_.push_back({c_.DataPath(), "", "Weitere " + std::to_string(suppressed_) +
                                                  " Fehler in einzelnen Datensätzen werden nicht einzeln genannt."});
    return firstKeys;
  }

 private:
  void RecordProblem(const std::string& file, const std::string& place, const std::string& text) {
    if (listed_ >= kListedRecordProblems) {
      ++suppressed_;
      return;
    }
    ++listed_;
    problems_.push_back({file, place, text});
  }

  // Problems of record `record` in block `block`; its place is worded only for a problem.
  // Only the fields that can be wrong are looked at: text for its code page, blob references,
  // BCD values and timestamps.
  void CheckRecord(const uint8_t* rec, uint64_t record, uint16_t block) {
    if (keyBytes_ > 0) CheckKey(rec, record, block);
    for (size_t f : textFields_) CheckText(f, rec, record, block);
    for (size_t f : valueFields_) {
      const FieldLayout& l = layout_[f];
      if (IsBlobType(l.type)) {
        CheckBlobField(f, rec, record, block);
      } else if (!ValueIsReadable(l, rec)) {
        const std::string what = l.type == PxType::Bcd ? "Der BCD-Wert im Feld " : "Der Zeitstempel im Feld ";
        RecordProblem(c_.DataPath(), RecordPlace(record, block),
                      what + Quoted(c_.FieldNames()[f]) +
                          (l.type == PxType::Bcd ? " ist keine Dezimalzahl." : " ist kein Zeitpunkt."));
      }
    }
  }

  // Counts text values with bytes the table's code page does not define. Of a memo, the copy of
  // its first bytes in the record is looked at, which needs no read of the .MB.
  void CheckText(size_t f, const uint8_t* rec, uint64_t record, uint16_t block) {
    const FieldLayout& l = layout_[f];
    const char* text = reinterpret_cast<const char*>(rec + l.offset);
    size_t length = 0;
    if (l.type == PxType::Alpha) {
      const void* end = std::memchr(text, '\0', l.bytes);
      length = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : l.bytes;
    }
    else {
      length = std::min<size_t>(c_.BlobLength(static_cast<int>(f), rec), mb::LeaderBytes(l.bytes));
    }
    if (textCheck_.Fits(text, length)) return;
    if (foreignText_++ == 0) firstForeignText_ = RecordPlace(record, block) + ", Feld " + Quoted(c_.FieldNames()[f]);
  }

  void CheckBlobField(size_t f, const uint8_t* rec, uint64_t record, uint16_t block) {
    const FieldLayout& l = layout_[f];
    if (BlobFile::InLeader(rec + l.offset, l.bytes)) return;  // most values: nothing to look up
    std::string text;
    if (blobs_)
      text = blobs_->CheckField(rec + l.offset, l.bytes, record, block);
    else if (c_.BlobLength(static_cast<int>(f), rec) > mb::LeaderBytes(l.bytes))
      text = "Die Memo-/BLOb-Datei fehlt; der Wert kann nicht gelesen werden.";
    if (!text.empty())
      RecordProblem(c_.BlobPath(), RecordPlace(record, block) + ", Feld " + Quoted(c_.FieldNames()[f]), text);
  }

  void CheckKey(const uint8_t* rec, uint64_t record, uint16_t block) {
    if (alphaKey_)
      NormalizeKey(rec, layout_, h_.primaryKeyFields, key_.data());
    else
      CopyBytes(key_.data(), rec, keyBytes_);  // the key fields come first
    if (havePrevious_) {
      const int c = CompareBytes(previousKey_.data(), key_.data(), keyBytes_);
      if (c == 0)
        RecordProblem(c_.DataPath(), RecordPlace(record, block), "Der Schlüssel kommt doppelt vor (wie im Datensatz davor).");
      else if (c > 0 && bytewise_)
        RecordProblem(c_.DataPath(), RecordPlace(record, block), "Der Schlüssel ist kleiner als der des Datensatzes davor.");
    }
    key_.swap(previousKey_);
    havePrevious_ = true;
  }

  TableCursor& c_;
  std::vector<TableProblem>& problems_;
  const ProgressFn& progress_;
  const BlockRecordsFn& blockRead_;
  const std::vector<FieldLayout>& layout_;
  const TableHeader& h_;
  bool bytewise_ = true;
  size_t keyBytes_ = 0;
  std::unique_ptr<BlobCheck> blobs_;
  std::vector<size_t> textFields_;   // alpha and memo, unless the code page takes any text
  std::vector<size_t> valueFields_;  // blob, BCD and timestamp
  std::vector<uint8_t> key_, previousKey_;
  bool havePrevious_ = false;
  bool alphaKey_ = false;  // a key with an alpha field is compared with its stale bytes cleared
  CodePageCheck textCheck_{c_.Codepage()};
  uint64_t foreignText_ = 0;
  std::string firstForeignText_;
  size_t listed_ = 0;
  uint64_t suppressed_ = 0;
};

}  // namespace

std::string RecordPlace(uint64_t record, uint16_t block) {
  return "Datensatz " + std::to_string(record) + " (Block " + std::to_string(block) + ")";
}

bool ValueIsReadable(const FieldLayout& l, const uint8_t* record) {
  const uint8_t* p = record + l.offset;
  if (l.type != PxType::Bcd && l.type != PxType::Timestamp) return true;
  if (IsNullValue(l.type, p, l.bytes)) return true;
  if (l.type == PxType::Bcd) return DecodeBcdValue(p, l.sizeByte).has_value();
  return TimestampMilliseconds(DecodeDoubleValue(p)).has_value();
}

bool KeysAreBytewise(const TableHeader& h) {
  for (size_t i = 0; i < h.primaryKeyFields && i < h.fields.size(); ++i)
    if (h.fields[i].type == PxType::Alpha)
      return h.HasExtension() ? UpperAscii(h.sortOrderId) == "ASCII" : h.sortOrder == 0;
  return true;
}

void NormalizeKey(const uint8_t* record, const std::vector<FieldLayout>& layout, size_t keyFields, uint8_t* out) {
  for (size_t f = 0; f < keyFields && f < layout.size(); ++f) {
    const FieldLayout& l = layout[f];
    if (l.type == PxType::Alpha)
      CopyAlpha(out, record + l.offset, l.bytes);
    else
      CopyBytes(out, record + l.offset, l.bytes);
    out += l.bytes;
  }
}

std::string NormalizedKey(const uint8_t* record, const std::vector<FieldLayout>& layout, size_t keyFields) {
  size_t bytes = 0;
  for (size_t f = 0; f < keyFields && f < layout.size(); ++f) bytes += layout[f].bytes;
  std::string key(bytes, '\0');
  NormalizeKey(record, layout, keyFields, reinterpret_cast<uint8_t*>(key.data()));
  return key;
}

std::vector<std::string> CheckRecords(TableCursor& cursor, std::vector<TableProblem>& problems,
                                      const ProgressFn& progress, const BlockRecordsFn& blockRead) {
  return RecordChecker(cursor, problems, progress, blockRead).Run();
}

}  // namespace engine
