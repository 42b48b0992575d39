// kerbolt-cli copy and restructure as a user runs them: the copy and the rebuilt table dump
// like the source, refusals and usage errors give their exit status and German message and
// leave the files alone.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kerbolt-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern + "/";
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

CliRun RunCli(const std::vector<std::string>& args, const TempDir& dir) {
  std::string command = std::string(KERBOLT_BIN_DIR) + "/kerbolt-cli";
  for (const auto& a : args) command += " '" + a + "'";
  command += " >" + dir.Path() + "out.txt 2>" + dir.Path() + "err.txt";
  CliRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(dir.Path() + "out.txt");
  r.err = ReadFile(dir.Path() + "err.txt");
  return r;
}

std::string Fixtures() {
  const fs::path dir(KERBOLT_FIXTURES_DIR);
  return fs::is_directory(dir / "tables") ? dir.string() + "/" : "";
}

// Copies a sample table with its companions into dir; returns the copy's path.
std::string CopyTable(const std::string& relative, const std::string& dir) {
  const fs::path source = fs::path(Fixtures()) / "tables" / relative;
  for (const auto& e : fs::directory_iterator(source.parent_path()))
    if (e.path().stem() == source.stem()) fs::copy_file(e.path(), fs::path(dir) / e.path().filename());
  return dir + source.filename().string();
}

std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() != ".txt") files[e.path().filename().string()] = ReadFile(e.path().string());
  return files;
}

constexpr char kCustomer[] = "leonhad_paradoxdriver/src/test/resources/db/CUSTOMER.DB";

TEST(CliCopy, CopyAndRestructureKeepTheDump) {
  if (Fixtures().empty()) GTEST_SKIP() << "Beispieltabellen fehlen: " << KERBOLT_FIXTURES_DIR;
  TempDir src, dest;
  const std::string table = CopyTable(kCustomer, src.Path());
  const std::string expected = ReadFile(Fixtures() + "expected/" + kCustomer + ".tsv");
  CliRun r = RunCli({"copy", table, dest.Path() + "KOPIE.DB", "--block-size", "4096"}, dest);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("20 Datensätze"), std::string::npos) << r.out;
  r = RunCli({"dump", dest.Path() + "KOPIE.DB"}, dest);
  EXPECT_EQ(r.out, expected);
  r = RunCli({"restructure", dest.Path() + "KOPIE.DB", "--block-size", "16384"}, dest);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli({"dump", dest.Path() + "KOPIE.DB"}, dest);
  EXPECT_EQ(r.out, expected);
  r = RunCli({"copy", table, dest.Path() + "LEER.DB", "--empty"}, dest);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("0 Datensätze"), std::string::npos) << r.out;
}

TEST(CliCopy, RefusalsAndUsageErrorsLeaveTheFilesAlone) {
  if (Fixtures().empty()) GTEST_SKIP() << "Beispieltabellen fehlen: " << KERBOLT_FIXTURES_DIR;
  TempDir dir;
  const std::string table = CopyTable(kCustomer, dir.Path());
  const auto before = Files(dir.Path());
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"restructure", table, "--level", "4"}, 1, "Tabellenstufe 5"},
      {{"restructure", table, "--block-size", "8192"}, 1, "8192"},
      {{"restructure", table, "--level", "5", "--block-size", "1024"}, 1, "mindestens drei"},
      {{"restructure", table}, 2, "Aufruf"},
      {{"restructure", table, "--level"}, 2, "braucht einen Wert"},
      {{"restructure", table, "--level", "sieben"}, 2, "keine ganze Zahl"},
      {{"restructure", dir.Path() + "FEHLT.DB", "--level", "7"}, 1, "nicht gefunden"},
      {{"copy", table}, 2, "Aufruf"},
      {{"copy", table, dir.Path() + "X.DB", "--tempo", "3"}, 2, "Unbekannte Option"},
      {{"copy", table, dir.Path() + "customer.db"}, 1, "auf sich selbst"},
      {{"copy", table, dir.Path() + "NEU.DB", "--level", "4"}, 1, "Tabellenstufe 5"},
  };
  for (const auto& c : cases) {
    const CliRun r = RunCli(c.args, dir);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.size();
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(Files(dir.Path()) == before) << r.err;
  }
}

}  // namespace
