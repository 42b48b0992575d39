#pragma once
// What a duplication needs of the main window: its open table and the program directory.

#include <QString>

#include <functional>

namespace engine {
class FileSystem;
class TTable;
}  // namespace engine

namespace duplicate {

struct DuplicationSource {
  engine::TTable* table = nullptr;  // open
  QString programDirectory;         // ends in "/"
  // Runs a change of the table's current index; the main window wraps it so that its grid
  // follows the new order. Empty: the change runs as it is.
  std::function<void(const std::function<void()>&)> aroundIndexChange;
  // The file system the duplicate is written through; null: the operating system's.
  engine::FileSystem* fileSystem = nullptr;
};

}  // namespace duplicate
