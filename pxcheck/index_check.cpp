#include "pxcheck/index_check.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "pxcheck/px_doc.h"
#include "pxcheck/upper_text.h"

namespace pxcheck {

namespace {

// Header byte of an index data file with its flags; bit 0x01 = case-insensitive.
constexpr long kIndexFlagsOffset = 0x55;
constexpr unsigned char kCaseInsensitive = 0x01;

unsigned char IndexFlags(const std::string& xPath) {
  std::FILE* f = std::fopen(xPath.c_str(), "rb");
  if (!f) return 0;
  int c = EOF;
  if (std::fseek(f, kIndexFlagsOffset, SEEK_SET) == 0) c = std::fgetc(f);
  std::fclose(f);
  return c == EOF ? 0 : static_cast<unsigned char>(c);
}

// Index data files of keyed tables (file types 5 and 8) carry the table's key and the block.
constexpr int kMaintainedIndex = 5;
constexpr int kMaintainedCompositeIndex = 8;

}  // namespace

std::vector<std::string> CheckPrimaryIndex(const std::string& dbPath, const std::string& pxPath) {
  std::vector<std::string> problems;
  std::vector<std::string> messages;
  PxDoc db(&messages);
  PxDoc px(&messages);
  if (!db.Open(dbPath)) return {"pxlib cannot open " + dbPath};
  if (!px.Open(pxPath) || PX_read_primary_index(px.get()) != 0) return {"pxlib cannot read the index " + pxPath};
  pxdoc_t* doc = db.get();
  const int records = doc->px_head->px_numrecords;
  const int keyLength = db.FieldBytes(doc->px_head->px_primarykeyfields);
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

std::vector<std::string> CheckSecondaryIndex(const std::string& dbPath, const std::string& xPath) {
  std::vector<std::string> problems;
  std::vector<std::string> messages;
  PxDoc db(&messages);
  PxDoc x(&messages);
  if (!db.Open(dbPath)) return {"pxlib cannot open " + dbPath};
  if (!x.Open(xPath)) return {"pxlib cannot open " + xPath};
  const int records = db.Head().px_numrecords;
  if (x.Head().px_numrecords != records)
    problems.push_back(std::to_string(x.Head().px_numrecords) + " index records for " + std::to_string(records) + " records");
  const int type = x.Head().px_filetype;
  if (type != kMaintainedIndex && type != kMaintainedCompositeIndex) return problems;  // only the count is known
  const bool caseInsensitive = (IndexFlags(xPath) & kCaseInsensitive) != 0;
  const int codePage = db.Head().px_doscodepage;
  const bool level3 = db.Head().px_fileversion < 40;
  const int keyFields = db.Head().px_primarykeyfields;
  const int keyLength = db.FieldBytes(keyFields);
  const int xFields = x.Head().px_numfields;
  const int indexFields = xFields - keyFields - 1;
  if (keyFields == 0 || indexFields < 1) return {"not a maintained index of a keyed table: " + xPath};

  // Where each index field lies in a table record, found by name.
  struct Place {
    int offset;
    int length;
    bool text;
  };
  std::vector<Place> places;
  for (int i = 0; i < indexFields; ++i) {
    const std::string name = x.Field(i).px_fname;
    int offset = 0;
    bool found = false;
    for (int f = 0; f < db.Head().px_numfields && !found; ++f) {
      if (name == db.Field(f).px_fname) {
        places.push_back({offset, db.Field(f).px_flen, db.Field(f).px_ftype == pxfAlpha});
        found = true;
      }
      offset += db.Field(f).px_flen;
    }
    if (!found) return {"index field " + name + " is not a field of the table"};
  }

  // The table's records by primary key, with the number of the block holding each.
  struct Held {
    std::string record;
    int block;
    bool indexed = false;
  };
  std::map<std::string, Held> byKey;
  std::string record(static_cast<size_t>(db.Head().px_recordsize), '\0');
  for (int r = 0; r < records; ++r) {
    int deleted = 0;
    pxdatablockinfo_t info{};
    if (PX_get_record2(db.get(), r, record.data(), &deleted, &info) == nullptr) return {"record " + std::to_string(r) + " not readable"};
    byKey[record.substr(0, static_cast<size_t>(keyLength))] = {record, info.number};
  }

  bool ordered = true;
  for (const Place& p : places) ordered &= !p.text;
  std::string previous;
  std::string entry(static_cast<size_t>(x.Head().px_recordsize), '\0');
  const int blockOffset = x.FieldBytes(xFields - 1);
  const int indexLength = x.FieldBytes(indexFields);
  for (int r = 0; r < x.Head().px_numrecords && problems.size() < 20; ++r) {
    if (PX_get_record(x.get(), r, entry.data()) == nullptr) return {"index record " + std::to_string(r) + " not readable"};
    const std::string where = "index record " + std::to_string(r);
    const auto it = byKey.find(entry.substr(static_cast<size_t>(indexLength), static_cast<size_t>(keyLength)));
    if (it == byKey.end()) {
      problems.push_back(where + " names a key the table does not hold");
      continue;
    }
    Held& held = it->second;
    if (held.indexed) problems.push_back(where + " repeats a record already indexed");
    held.indexed = true;
    int offset = 0;
    for (size_t i = 0; i < places.size(); ++i) {
      const std::string indexed = entry.substr(static_cast<size_t>(offset), static_cast<size_t>(places[i].length));
      std::string stored = held.record.substr(static_cast<size_t>(places[i].offset), static_cast<size_t>(places[i].length));
      // A case-insensitive index holds its text upper-cased.
      if (caseInsensitive && places[i].text) stored = UpperText(stored, codePage, level3);
      if (indexed != stored)
        problems.push_back(where + ": field " + x.Field(static_cast<int>(i)).px_fname + " differs from the record's" +
                           (caseInsensitive && places[i].text ? " upper-cased" : ""));
      offset += places[i].length;
    }
    short block = 0;
    if (PX_get_data_short(x.get(), entry.data() + blockOffset, 2, &block) <= 0 || block != held.block)
      problems.push_back(where + " gives block " + std::to_string(block) + ", the record is in block " + std::to_string(held.block));
    const std::string sortKey = entry.substr(0, static_cast<size_t>(blockOffset));
    if (ordered && r > 0 && sortKey < previous) problems.push_back(where + " is out of order");
    previous = sortKey;
  }
  for (const std::string& m : messages) problems.push_back("pxlib " + m);
  return problems;
}

}  // namespace pxcheck
