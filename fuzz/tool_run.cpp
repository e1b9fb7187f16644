#include "tool_run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace d88fuzz {
namespace {

fs::path startFolder;
fs::path baseFolder;
fs::path workFolder;

std::vector<std::string> argvWords;
std::vector<char*> argvPointers;

// A failed check is a finding: abort so that libFuzzer keeps the input.
void Check(bool condition, const char* what) {
  if (condition) return;
  const std::string line = std::string("fuzz check failed: ") + what + "\n";
  // The stderr stream is discarded; file descriptor 2 still reaches the user.
  const ssize_t ignored = write(2, line.data(), line.size());
  (void)ignored;
  abort();
}

std::vector<uint8_t> ReadWhole(const fs::path& path) {
  std::vector<uint8_t> bytes;
  if (FILE* in = fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, in)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(in);
  }
  return bytes;
}

// Descriptors open on files in the scratch folder. Between runs only the
// image may be open (the tool keeps it for its next Open); anything else is
// a file the run forgot to close. Other descriptors (libFuzzer's, the
// symbolizer's pipes) are not the tool's business.
std::vector<std::string> ScratchDescriptors() {
  std::vector<std::string> open;
  std::error_code ec;
  for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
    const fs::path target = fs::read_symlink(fd.path(), ec);
    if (!ec && target.string().rfind(baseFolder.string() + "/", 0) == 0) open.push_back(target);
  }
  return open;
}

void RemoveScratch() {
  std::error_code ignored;
  fs::current_path(startFolder, ignored);
  fs::remove_all(baseFolder, ignored);
}

// Adds -artifact_prefix=<starting directory>/ unless one is given.
void AnchorArtifacts(int* argc, char*** argv) {
  argvWords.assign(*argv, *argv + *argc);
  for (const std::string& word : argvWords) {
    if (word.rfind("-artifact_prefix=", 0) == 0 || word.rfind("-exact_artifact_path=", 0) == 0) {
      return;
    }
  }
  argvWords.push_back("-artifact_prefix=" + startFolder.string() + "/");
  for (auto& w : argvWords) argvPointers.push_back(w.data());
  argvPointers.push_back(nullptr);
  *argc = static_cast<int>(argvWords.size());
  *argv = argvPointers.data();
}

}  // namespace

void PrepareScratchFolder(int* argc, char*** argv) {
  startFolder = fs::current_path();
  AnchorArtifacts(argc, argv);
  // Memory-backed when available: every run writes and removes files.
  std::string pattern = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
  pattern += "/d88fuzz.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) abort();
  baseFolder = pattern;
  workFolder = baseFolder / "out";
  fs::create_directory(workFolder);
  atexit(RemoveScratch);

  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  // Only the stream moves: libFuzzer and the sanitizers report on descriptor 2.
  FILE* discard = fopen("/dev/null", "w");
  if (discard == nullptr) abort();
  stderr = discard;
}

void EnterScratchFolder(const uint8_t* image, size_t size) {
  FILE* out = fopen((workFolder / kImageName).c_str(), "wb");
  if (out == nullptr) abort();
  if (size != 0 && fwrite(image, 1, size, out) != size) abort();
  if (fclose(out) != 0) abort();
  fs::current_path(workFolder);
}

void CheckAndLeave(int exitStatus, const uint8_t* image, size_t size) {
  Check(exitStatus == 0 || exitStatus == 2, "exit status other than 0 or 2");
  std::error_code ec;
  Check(fs::current_path(ec) == workFolder, "run ended in another directory");
  fs::current_path(startFolder);
  const std::vector<uint8_t> after = ReadWhole(workFolder / kImageName);
  Check(after.size() == size && std::equal(after.begin(), after.end(), image), "image changed");
  const std::vector<std::string> open = ScratchDescriptors();
  Check(open.size() <= 1 && (open.empty() || open[0] == (workFolder / kImageName).string()),
        "file descriptor left open");
  for (const auto& entry : fs::directory_iterator(baseFolder)) {
    Check(entry.path() == workFolder, "something written outside the starting folder");
  }
  for (const auto& entry : fs::directory_iterator(workFolder)) {
    if (entry.path().filename() == kImageName) continue;
    // A run may leave a folder without write or search permission.
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(entry.path(), ec);
    Check(!ec, "scratch folder could not be emptied");
  }
}

Argv::Argv(const char* program, std::vector<std::string> options) {
  words_.push_back(program);
  words_.push_back(kImageName);
  for (auto& o : options) words_.push_back(std::move(o));
  for (auto& w : words_) pointers_.push_back(w.data());
  pointers_.push_back(nullptr);
}

}  // namespace d88fuzz
