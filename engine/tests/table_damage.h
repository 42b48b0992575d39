#pragma once
// Damaging copies of sample tables on purpose, for the tests of checking and rebuilding: where a
// table's records and blob descriptors lie, and changing a file's bytes in place.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "direct/table_verify.h"
#include "family/table_cursor.h"
#include "format/blob_block.h"
#include "format/data_block.h"
#include "format/table_header.h"
#include "io/file_system.h"
#include "testsupport/file_bytes.h"

namespace engine::damage {

// All problems of a report in one text, for messages and searching.
inline std::string ProblemText(const TableReport& report) {
  std::string text;
  for (const auto& p : report.problems) text += p.file + " | " + p.place + " | " + p.text + "\n";
  return text;
}

inline TableHeader HeaderOf(const std::vector<uint8_t>& bytes) {
  return DecodeTableHeader(bytes.data(), bytes.size(), "test");
}

// File offsets of a table's records in chain order.
inline std::vector<uint64_t> RecordOffsets(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  auto cursor = TableCursor::Open(DefaultFileSystem(), path.substr(0, path.size() - name.size()), name);
  std::vector<uint64_t> offsets;
  const TableHeader& h = cursor->Header();
  for (const auto& b : cursor->Data().Blocks())
    for (uint32_t i = 0; i < b.count; ++i)
      offsets.push_back(h.BlockOffset(b.block) + blk::kHeaderBytes + uint64_t{i} * h.recordSize);
  return offsets;
}

// Changes the bytes of a file in place.
inline void Damage(const std::string& path, const std::function<void(std::vector<uint8_t>&)>& change) {
  std::vector<uint8_t> bytes = testsupport::ReadBytes(path);
  change(bytes);
  testsupport::WriteBytes(path, bytes);
}

// Offset in the file of the blob descriptor of the first `count` records of the keyed sample
// with memos whose value lies in the .MB.
inline std::vector<uint64_t> MemoDescriptors(const std::string& path, size_t count) {
  const std::string name = std::filesystem::path(path).filename().string();
  auto cursor = TableCursor::Open(DefaultFileSystem(), path.substr(0, path.size() - name.size()), name);
  size_t field = 0;
  while (!IsBlobType(cursor->Layout()[field].type)) ++field;
  const FieldLayout& f = cursor->Layout()[field];
  std::vector<uint64_t> found;
  const auto offsets = RecordOffsets(path);
  for (uint32_t row = 0; row < cursor->RowCount() && found.size() < count; ++row)
    if (cursor->BlobLength(static_cast<int>(field), cursor->Data().Record(row)) > mb::LeaderBytes(f.bytes))
      found.push_back(offsets[row] + f.offset + f.bytes - mb::kDescriptorSize);
  return found;
}

}  // namespace engine::damage
