#include "testsupport/table_files.h"

#include <strings.h>

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

std::vector<fs::path> TableFamily(const fs::path& table) {
  const std::string stem = table.stem().string();
  std::vector<fs::path> family;
  for (const auto& entry : fs::directory_iterator(table.parent_path())) {
    if (!entry.is_regular_file()) continue;
    if (strcasecmp(entry.path().stem().string().c_str(), stem.c_str()) == 0) family.push_back(entry.path());
  }
  std::sort(family.begin(), family.end());
  return family;
}

std::string CopyTable(const fs::path& table, const std::string& dir, const std::string& stem) {
  if (!fs::is_regular_file(table)) throw std::runtime_error("table to copy not found: " + table.string());
  std::string copied;
  for (const fs::path& file : TableFamily(table)) {
    const std::string name = (stem.empty() ? file.stem().string() : stem) + file.extension().string();
    const fs::path target = fs::path(dir) / name;
    fs::copy_file(file, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    if (file.filename() == table.filename()) copied = target.string();
  }
  return copied;
}

}  // namespace testsupport
