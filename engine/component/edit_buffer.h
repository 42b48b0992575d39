#pragma once
// The record a table component is editing or inserting, kept apart from the files until Post.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace engine {

struct EditBuffer {
  std::vector<uint8_t> record;       // the record in the table's layout; empty while browsing
  std::map<int, std::string> blobs;  // pending whole contents of blob fields, by field position
  int returnRow = -1;                // insert: the row to return to when it is cancelled
  bool modified = false;             // a field was set since Edit, Append or Insert
  bool insertHere = false;           // Insert: a table without key takes the record before returnRow

  void Clear() { *this = EditBuffer(); }
};

}  // namespace engine
