#pragma once
// The undo journal of a change made in place to a table's files (a post or a delete): for every
// file the change touches, its size before the change and the bytes the change overwrites, or
// that the change creates the file. The journal is written and made durable before the first
// byte of the table's files changes, and made void (its first bytes overwritten) once every
// changed file is durable; a writer keeps its journal file from one change to the next and
// removes it when it is done with the table. A journal that is whole therefore tells of a change
// that may have been cut off half way: rolling it back gives the table exactly as it was. One
// that is not whole was made void or cut off while being written, before anything changed.
//
// A journal written by StagedFileSystem also holds each file's size after the change and
// checksums of the bytes the change leaves (AfterRegions), so that the void need not be made
// durable before the change returns: a whole journal whose files all hold the change in full
// tells of a change that was completed, and is kept; one whose .DB header holds a byte that is
// neither as before nor as after the change tells of a later change by someone else, which is
// not undone either.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace engine {

class FileSystem;

struct JournalFile {
  std::string name;      // file name in the table's directory
  bool created = false;  // the change creates the file; undone by removing it
  uint64_t oldSize = 0;
  std::vector<std::pair<uint64_t, std::string>> ranges;  // offset and bytes before the change
  // What the change leaves, when known: the file's size, and a checksum of each piece of
  // kAfterPiece bytes of AfterRegions in order (a piece cut short by the end of its region).
  bool afterKnown = false;
  uint64_t newSize = 0;
  std::vector<uint32_t> afterSums{};
  // The bytes the change leaves in the first piece of a range at the file's start (empty when
  // there is none): a header that holds a byte found neither before nor after the change was
  // changed by someone else since, for a change cut off leaves each byte as before or as after.
  std::string afterHead{};
};

constexpr uint64_t kAfterPiece = 512;

// The parts of a file, as offset and length, whose bytes after the change the checksums cover:
// every range below the new size, and what the change adds past the old size.
std::vector<std::pair<uint64_t, uint64_t>> AfterRegions(const JournalFile& f);
// Checksum of one piece.
uint32_t PieceChecksum(const uint8_t* bytes, size_t n);

// How a whole journal finds the table's files.
enum class JournalOutcome {
  kCutOff,        // the change may be half in place: roll it back
  kCompleted,     // every file holds the change in full
  kChangedSince,  // a byte of the .DB header is neither as before nor as after: someone changed the table since
};
JournalOutcome OutcomeOf(FileSystem& fs, const std::string& dir, const std::vector<JournalFile>& files);

std::string EncodeJournal(const std::vector<JournalFile>& files);
// False when `bytes` is not a whole journal of files of the table whose base name is `base`
// (compared ignoring case), with ranges inside each file's old size.
bool DecodeJournal(const std::string& bytes, const std::string& base, std::vector<JournalFile>* files);

// How many zero bytes at the start of a journal make it void.
size_t VoidedJournalBytes();

// Reads the journal `journalName` in `dir` of table `dbName`; false when it is not whole.
bool ReadJournal(FileSystem& fs, const std::string& dir, const std::string& dbName, const std::string& journalName,
                 std::vector<JournalFile>* files);

// Puts the files in `dir` back as `files` describe them and makes them durable.
void UndoJournal(FileSystem& fs, const std::string& dir, const std::vector<JournalFile>& files);

// Rolls back the journal `journalName` in `dir` of table `dbName` when it is whole and its
// change may have been cut off (OutcomeOf), then removes it.
void RollBackJournal(FileSystem& fs, const std::string& dir, const std::string& dbName,
                     const std::string& journalName);

}  // namespace engine
