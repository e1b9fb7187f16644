// Running a built tool in a fresh folder and looking at what it did.
#ifndef TESTS_SUPPORT_CLI_RUNNER_H_
#define TESTS_SUPPORT_CLI_RUNNER_H_

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "d88_builder.h"

namespace d88test {

// A fresh, empty folder under the system's temporary folder, removed (with
// everything in it) when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int exitCode = -1;  // -1 when the tool did not exit normally
  std::string out;    // standard output, bytes as written
  std::string err;    // standard error, bytes as written
};

// A user and group to run a tool as, for runs that must not have root's
// powers (root writes into folders without write permission).
struct RunAs {
  uid_t uid;
  gid_t gid;
};

// Runs tool with args (argv[0] is tool itself) in the folder cwd, with no
// standard input; captures both output streams. With runAs the tool runs
// with that user and group only (this needs root); if they cannot be taken
// the exit code is 127, as when the tool cannot be started.
RunResult RunTool(const std::string& tool, const std::vector<std::string>& args,
                  const std::filesystem::path& cwd,
                  const std::optional<RunAs>& runAs = std::nullopt);

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadBytes(const std::filesystem::path& path);

// Every entry below root by its path relative to root ("000/GAME.BIN"):
// files with their contents, folders with a trailing '/' and no contents.
// Symbolic links are listed, not followed.
std::map<std::string, Bytes> Tree(const std::filesystem::path& root);

// Paths to the built tools.
std::string D88tsPath();
std::string D88cpmPath();

}  // namespace d88test

#endif  // TESTS_SUPPORT_CLI_RUNNER_H_
