// The engine's layers as the includes show them: each folder includes only its own and lower
// layers, no two headers include each other, and code outside the engine includes nothing but
// the public headers.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kLayers = {"io", "format", "storage", "family", "component", "direct"};

int RankOf(const std::string& layer) {
  for (size_t i = 0; i < kLayers.size(); ++i)
    if (kLayers[i] == layer) return static_cast<int>(i);
  return -1;
}

// The quoted includes of a file.
std::vector<std::string> IncludesOf(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  static const std::regex include(R"re(#include "([^"]+)")re");
  std::vector<std::string> out;
  for (auto it = std::sregex_iterator(s.begin(), s.end(), include); it != std::sregex_iterator(); ++it)
    out.push_back((*it)[1]);
  return out;
}

std::string LayerOf(const std::string& include) { return include.substr(0, include.find('/')); }

const fs::path kSource = KERBOLT_SOURCE_DIR;

TEST(IncludeLayers, EngineIncludesRunDownwardOnly) {
  std::vector<std::string> upward;
  std::map<std::string, std::set<std::string>> headerIncludes;
  for (const std::string& layer : kLayers) {
    for (const auto& entry : fs::directory_iterator(kSource / "engine" / layer)) {
      const std::string name = layer + "/" + entry.path().filename().string();
      for (const std::string& include : IncludesOf(entry.path())) {
        const int rank = RankOf(LayerOf(include));
        if (rank < 0 || rank > RankOf(layer)) upward.push_back(name + " → " + include);
        if (entry.path().extension() == ".h") headerIncludes[name].insert(include);
      }
    }
  }
  EXPECT_TRUE(upward.empty()) << ::testing::PrintToString(upward);
  for (const auto& [header, includes] : headerIncludes)
    for (const std::string& other : includes)
      EXPECT_FALSE(headerIncludes[other].count(header)) << header << " und " << other << " schließen sich gegenseitig ein";
}

TEST(IncludeLayers, OtherCodeSeesOnlyThePublicHeaders) {
  const fs::path api = KERBOLT_ENGINE_API_DIR;
  ASSERT_TRUE(fs::is_directory(api)) << api;
  std::vector<std::string> hidden;
  for (const char* folder : {"app", "blocksize", "cli", "bench", "demo", "duplicate", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(kSource / folder)) {
      if (!entry.is_regular_file()) continue;
      const std::string relative = fs::relative(entry.path(), kSource).string();
      if (relative.find("/tests/") != std::string::npos || relative.find("/testsupport/") != std::string::npos)
        continue;
      for (const std::string& include : IncludesOf(entry.path())) {
        const bool engineHeader = RankOf(LayerOf(include)) >= 0 || include.rfind("engine/", 0) == 0;
        if (engineHeader && !fs::exists(api / include)) hidden.push_back(relative + " → " + include);
      }
    }
  }
  EXPECT_TRUE(hidden.empty()) << ::testing::PrintToString(hidden);
}

}  // namespace
