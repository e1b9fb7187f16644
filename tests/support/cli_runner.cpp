#include "cli_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace d88test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "d88test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Tests may leave folders without write permission behind.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(path_, ec);
}

RunResult RunTool(const std::string& tool, const std::vector<std::string>& args,
                  const fs::path& cwd, const std::optional<RunAs>& runAs) {
  static int counter = 0;
  const fs::path outPath = fs::temp_directory_path() /
                           ("d88run-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
  const std::string outFile = outPath.string() + ".out";
  const std::string errFile = outPath.string() + ".err";

  std::vector<std::string> argvStrings{tool};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        (runAs && (setgroups(0, nullptr) != 0 || setgid(runAs->gid) != 0 ||
                   setuid(runAs->uid) != 0)) ||
        chdir(cwd.c_str()) != 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const Bytes out = ReadBytes(outFile);
  const Bytes err = ReadBytes(errFile);
  result.out.assign(out.begin(), out.end());
  result.err.assign(err.begin(), err.end());
  std::remove(outFile.c_str());
  std::remove(errFile.c_str());
  return result;
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file.good()) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::map<std::string, Bytes> Tree(const fs::path& root) {
  std::map<std::string, Bytes> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
    // Lexical: fs::relative would resolve a link and list it under its target.
    const std::string relative = it->path().lexically_relative(root).generic_string();
    if (it->is_symlink()) {
      tree[relative + "@"] = {};
    } else if (it->is_directory()) {
      tree[relative + "/"] = {};
    } else {
      tree[relative] = ReadBytes(it->path());
    }
  }
  return tree;
}

std::string D88tsPath() { return D88TS_PATH; }
std::string D88cpmPath() { return D88CPM_PATH; }

}  // namespace d88test
