#include "testsupport/temp_dir.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace engine::testing {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kerbolt-engine-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string FixturesDir() {
  const fs::path dir(KERBOLT_FIXTURES_DIR);
  return fs::is_directory(dir / "tables") ? dir.string() + "/" : "";
}

std::vector<std::string> FixtureTables() {
  std::vector<std::string> out;
  const std::string root = FixturesDir();
  if (root.empty()) return out;
  const fs::path tables = fs::path(root) / "tables";
  for (const auto& e : fs::recursive_directory_iterator(tables)) {
    if (!e.is_regular_file()) continue;
    if (Upper(e.path().extension().string()) != ".DB") continue;
    out.push_back(fs::relative(e.path(), tables).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string CopyFamily(const std::string& relative, const std::string& dir) {
  const fs::path source = fs::path(FixturesDir()) / "tables" / relative;
  const std::string base = Upper(source.stem().string());
  for (const auto& e : fs::directory_iterator(source.parent_path())) {
    if (!e.is_regular_file()) continue;
    if (Upper(e.path().stem().string()) != base) continue;
    fs::copy_file(e.path(), fs::path(dir) / e.path().filename(), fs::copy_options::overwrite_existing);
  }
  return dir + source.filename().string();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace engine::testing
