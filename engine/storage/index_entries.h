#pragma once
// The records of one secondary index file (.Xnn/.XGn) gathered while a table is written in bulk:
// the X records alone, packed one after the other in one buffer, put into index order in place.
//
// Index order is the order of the X records' bytes read as: each index field in turn (an alpha
// value up to its first NUL, what follows it counting as zeros; a descending field reversed),
// then the key fields (maintained index) or the record number (the order the records came in).
// Each record then has its own place, so the order does not depend on how it is reached.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/table_definition.h"
#include "storage/index_builder.h"

namespace engine {

class SecondaryEntries {
 public:
  // Records of `index` of `def`, `recordSize` bytes each (the X file's record size).
  SecondaryEntries(const TableDefinition& def, const SecondaryDef& index, uint16_t recordSize);
  ~SecondaryEntries();
  SecondaryEntries(const SecondaryEntries&) = delete;
  SecondaryEntries& operator=(const SecondaryEntries&) = delete;
  SecondaryEntries(SecondaryEntries&& other) noexcept;
  SecondaryEntries& operator=(SecondaryEntries&&) = delete;

  // Adds the X record of table record `record`, stored at `slot` of `block` as the
  // `recordNumber`th record (from 0).
  void Add(const uint8_t* record, uint16_t block, int slot, uint32_t recordNumber);
  // Puts the records into index order; false when `unique` and two of them have equal index
  // values.
  bool Sort(bool unique);
  // Puts the records into the order of `keys` (key-field bytes, one per record); false, changing
  // nothing, when the keys do not name every record exactly once.
  bool KeepOrder(const std::vector<std::string>& keys);
  size_t Count() const { return count_; }
  const uint8_t* At(size_t i) const { return data_ + i * recordSize_; }
  // Gives back the memory.
  void Clear();

 private:
  // A stretch of the X record compared as a unit: an index field or the tie breaker.
  struct Part {
    size_t offset;
    size_t bytes;
    bool alpha;
    bool descending;
  };
  struct Range;
  uint8_t* Record(size_t i) { return data_ + i * recordSize_; }
  // <0, 0, >0 as record a goes before, with or after record b, over parts [first, parts).
  int Compare(const uint8_t* a, const uint8_t* b, size_t first, size_t parts) const;
  // Sorts records [begin, end), which agree on the parts before `first`.
  void InsertionSort(size_t begin, size_t end, size_t first);
  // How many of records [begin, end) have each value of the byte at `column` (record 0's).
  std::array<size_t, 256> Histogram(const uint8_t* column, size_t begin, size_t end) const;
  // Sorts [begin, end) by one byte position and hands out the buckets still to sort.
  void SortByByte(const Range& range, std::vector<Range>& todo);
  void Swap(size_t a, size_t b);

  const TableDefinition& def_;
  SecondaryRecordLayout layout_;
  size_t recordSize_;
  size_t keyOffset_ = 0;  // where the key fields start in a record of a maintained index
  std::vector<Part> parts_;
  size_t fieldParts_ = 0;  // parts_ that are index fields; the last part is the tie breaker
  uint8_t* data_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};

}  // namespace engine
