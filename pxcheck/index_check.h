#pragma once
// Index files of a table checked against its data file as pxlib reads both. Each check returns
// the problems found (empty when the index is consistent), pxlib's own messages included.

#include <string>
#include <vector>

namespace pxcheck {

// The primary index (.PX): one level-1 entry per data block, in chain order, each naming its
// block, that block's record count and the key of its first record; every upper-level entry
// sums the counts of the index block it names and carries that block's first key; the root
// entries add up to the table's records.
std::vector<std::string> CheckPrimaryIndex(const std::string& dbPath, const std::string& pxPath);

// A maintained secondary index's data file (.Xnn / .XGn) of a keyed table: one record per table
// record, made of the record's index fields (by name) and primary key, then "Blk Num", the data
// block that holds the record; records in ascending order where the index fields are not text
// (text order follows the table's language driver, which this check does not model); text of a
// case-insensitive index held upper-cased in the table's code page. Of an index that is not
// maintained (file types 3 and 6) only the record count is checked. The tree file over it
// (.Ynn / .YGn) is not checked: pxlib reads no such tree.
std::vector<std::string> CheckSecondaryIndex(const std::string& dbPath, const std::string& xPath);

}  // namespace pxcheck
