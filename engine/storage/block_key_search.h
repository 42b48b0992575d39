#pragma once
// Key search in a data file whose chain holds its records in key order (a keyed table in its
// stored order): the first row whose sort key is not below a target, found by a binary search
// over the blocks through the key of each block's first record, then within one block. The
// first keys are learned as searches read them and kept, so that after a few searches the
// search over the blocks reads no record and the whole search reads about log2(records per
// block) of them instead of log2(records).
//
// Valid for the data file's blocks as they are when it is made; the owner drops it when they
// change. Not thread-safe.

#include <cstdint>
#include <string>
#include <vector>

#include "storage/secondary_index.h"

namespace engine {

class DataFile;

class BlockKeySearch {
 public:
  // Searches `data` by the sort keys that `order` makes of its records (all of one width).
  BlockKeySearch(DataFile& data, const SecondaryDef& order);

  // The first row whose sort key, cut to the length of `target`, is not below `target`: the
  // sort key of leading fields of the order; RecordCount() when there is none.
  uint32_t LowerBound(const std::string& target);

 private:
  // The sort key of the first record of the i-th block that holds records.
  const uint8_t* FirstKey(size_t i);
  bool Below(uint32_t row, const std::string& target);

  DataFile& data_;
  SortKeyMaker keys_;
  std::vector<uint32_t> firstRows_;  // first row of each block that holds records, in chain order
  uint32_t rows_ = 0;
  std::vector<uint8_t> firstKeys_;   // keys_.Width() bytes per block, valid where known_
  std::vector<bool> known_;
  std::string key_;
};

}  // namespace engine
