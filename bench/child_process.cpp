#include "bench/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "bench/stopwatch.h"

namespace bench {

namespace {

namespace fs = std::filesystem;

std::string ErrorText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SpawnFiles {
 public:
  SpawnFiles() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnFiles() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnFiles(const SpawnFiles&) = delete;
  SpawnFiles& operator=(const SpawnFiles&) = delete;
  void Redirect(int fd, const std::string& path) {
    posix_spawn_file_actions_addopen(&actions_, fd, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

ChildRun RunChild(const std::vector<std::string>& argv, const std::string& outputPath,
                  const std::string& errorPath) {
  // A spawned process runs in this one's memory until its program starts, and the kernel counts
  // this process's peak as its own. The measured program is therefore started by a fresh,
  // small run of this program, whose child it is.
  std::error_code error;
  const std::string self = fs::read_symlink("/proc/self/exe", error).string();
  if (error) throw std::runtime_error("/proc/self/exe: " + error.message());
  const std::string peakPath = errorPath + ".peak";
  std::vector<std::string> wrapped{self, kPeakChildOption, peakPath};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (const std::string& a : wrapped) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  SpawnFiles files;
  files.Redirect(STDOUT_FILENO, outputPath);
  files.Redirect(STDERR_FILENO, errorPath);
  const Stopwatch w;
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], files.get(), nullptr, args.data(), environ);
  if (spawned != 0) throw std::runtime_error(argv[0] + ": " + std::strerror(spawned));
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error(argv[0] + ": " + std::strerror(errno));
  ChildRun run;
  run.seconds = w.Seconds();
  uint64_t peakKiB = 0;
  std::ifstream(peakPath) >> peakKiB;
  fs::remove(peakPath, error);
  run.peakBytes = peakKiB * 1024;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(argv[0] + " " + argv.at(1) + " schlug fehl: " + ErrorText(errorPath));
  return run;
}

int RunPeakChild(int argc, char** argv) {
  if (argc < 4) return 2;
  const pid_t pid = ::fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    ::execv(argv[3], argv + 3);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR) return 127;
  std::ofstream(argv[2]) << usage.ru_maxrss << '\n';
  return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
}

std::string FindCli() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return "";
  for (const fs::path& candidate : {self.parent_path() / "kerbolt-cli", self.parent_path().parent_path() / "cli" / "kerbolt-cli"})
    if (fs::exists(candidate, error)) return candidate.string();
  return "";
}

}  // namespace bench
