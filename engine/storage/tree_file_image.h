#pragma once
// A .PX or .Y tree file that a table writer keeps up to date after its changes, holding after
// each exactly the bytes that writing the tree whole gives. A whole write writes only the parts
// that differ from the file (as read at the first write, then as last written); an existing
// file that agrees with its data file is taken as it is; an update of single level-1 entries
// rewrites just those entries and the entries above them, and one where entries joined or left
// lays level 1 out again from the first moved entry on while every level keeps its number of
// blocks, so that a change costs little on a large table. The file must not be changed by
// anyone else in between.
// Not thread-safe.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "format/table_header.h"
#include "storage/data_file.h"
#include "storage/index_builder.h"

namespace engine {

class FileSystem;

// A block that joined (or left) a data file's chain at `position`: a level-1 entry of its tree
// inserted there (or removed).
struct TreeEdit {
  size_t position = 0;
  bool joined = false;
};

class TreeFileImage {
 public:
  // Writes the tree of `header` (fields, block size, stamps) over `level1` to `path`, creating
  // the file when there is none, and flushes it; writes nothing when no byte changed.
  void Write(FileSystem& fs, const std::string& path, const TableHeader& header,
             const std::vector<TreeEntry>& level1);
  // Takes the tree file at `path` as it is when it bears `stamp` (header byte 0x2C), is laid
  // out as Write lays a tree out and its level-1 entries name the blocks and record counts of
  // `chain` in order (their keys are taken as they stand), so that later writes change only what
  // differs. False, nothing taken, otherwise.
  bool Adopt(FileSystem& fs, const std::string& path, uint8_t stamp, const std::vector<BlockEntry>& chain);
  // The same for a data file whose chain is not known yet: takes the tree file when it bears
  // `stamp` and is laid out as Write lays a tree over `blocks` level-1 entries, and gives the
  // chain those entries name (blocks, first rows and record counts, in order). False, nothing
  // taken and `chain` empty, otherwise. The data file's blocks are not looked at.
  bool AdoptChain(FileSystem& fs, const std::string& path, uint8_t stamp, size_t blocks,
                  std::vector<BlockEntry>* chain);
  // Sets the tree's stamp (header byte 0x2C), inserts and removes level-1 entries as `edits`
  // say (in order), sets the level-1 entries given by position, and writes and flushes what
  // changed. False (nothing done) when there was no write before, a position is beyond the
  // tree's entries or an inserted entry is not given: the caller then writes the whole tree.
  bool Update(FileSystem& fs, const std::string& path, uint8_t stamp, const std::vector<TreeEdit>& edits,
              const std::vector<std::pair<size_t, TreeEntry>>& changed);

 private:
  // Adopt's work: reads the level-1 entries of a tree over `entries` blocks into `chain` and takes
  // the file when all is as there said.
  bool Take(FileSystem& fs, const std::string& path, uint8_t stamp, size_t entries, std::vector<BlockEntry>* chain);
  // The file's bytes for `header` over `level1`, and the entries of every level kept for updates.
  std::vector<uint8_t> Lay(const TableHeader& header, std::vector<TreeEntry> level1);
  // Lay's keeping of the levels: the header, the geometry and every level's entries over
  // `level1`; gives the number of blocks.
  size_t Plan(const TableHeader& header, std::vector<TreeEntry> level1);
  // Whether `bytes` are what writing the planned tree whole gives (headerBytes_ set), taking
  // level 1's entries as read from them: the header, every block's header and zeros after its
  // entries, and the entries of the levels above.
  bool LaidOut(const std::vector<uint8_t>& bytes) const;
  // Lays level 1 (changed from entry `from` on, `before` entries before) out anew from that
  // entry on with the entries above, when every level keeps its number of blocks; false,
  // nothing written into the image, otherwise.
  bool Relay(size_t before, size_t from, std::vector<size_t>* pieces);
  // Writes an entry into the image at `offset` (zeros for none).
  void LayEntry(size_t offset, const TreeEntry* entry);
  // Writes level `level`'s entry `i` into the image (zeros for none) and notes its pieces.
  void PutEntry(size_t level, size_t i, const TreeEntry* entry, std::vector<size_t>* pieces);
  // Writes level 1's entries `from` to `to` (zeros past its last) block by block and notes their
  // pieces, as PutEntry for each would.
  void PutLevel1(size_t from, size_t to, std::vector<size_t>* pieces);
  void Touch(size_t offset, size_t n, std::vector<size_t>* pieces);
  void SetEntry(size_t level, size_t i, const TreeEntry& entry, std::vector<size_t>* pieces);
  // The entry of level `level + 1` over block `part` of level `level` as that block's entries
  // give it: their first key and record count.
  TreeEntry Above(size_t level, size_t part) const;
  size_t EntryOffset(size_t level, size_t i) const;
  void Flush(FileSystem& fs, const std::string& path, const std::vector<size_t>& pieces);

  std::vector<uint8_t> image_;  // the file's bytes as last written; empty before the first write
  TableHeader header_;          // as given to the last whole write
  // Entries by level from level 1 up; the last level is the root's (block 1). Entries of the
  // other levels lie in blocks of capacity − 1 entries starting at partStart_[level].
  std::vector<std::vector<TreeEntry>> levels_;
  std::vector<uint16_t> partStart_;
  size_t headerBytes_ = 0;
  size_t blockBytes_ = 0;
  size_t recordSize_ = 0;
  size_t capacity_ = 0;
};

}  // namespace engine
