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

fs::path baseFolder;
fs::path workFolder;

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

void RemoveScratch() {
  std::error_code ignored;
  fs::current_path(fs::temp_directory_path(ignored), ignored);
  fs::remove_all(baseFolder, ignored);
}

std::vector<std::string> anchoredWords;
std::vector<char*> anchoredArgv;

}  // namespace

void AnchorPaths(int* argc, char*** argv) {
  const fs::path start = fs::current_path();
  const auto absolute = [&](const std::string& path) {
    return path.empty() || path[0] == '/' ? path : (start / path).string();
  };
  bool artifactPrefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string word = (*argv)[i];
    const size_t equals = word.find('=');
    if (i == 0 && word.find('/') != std::string::npos) {
      word = absolute(word);  // merging and minimizing run the target again
    } else if (i > 0 && word[0] != '-') {
      word = absolute(word);  // an input file or corpus folder
    } else if (word[0] == '-' && equals != std::string::npos) {
      const std::string flag = word.substr(1, equals - 1);
      if (flag == "artifact_prefix") artifactPrefix = true;
      // The flags that name files or folders.
      if (flag == "artifact_prefix" || flag == "exact_artifact_path" || flag == "dict" ||
          flag == "merge_control_file" || flag == "features_dir") {
        word = "-" + flag + "=" + absolute(word.substr(equals + 1));
      }
    }
    anchoredWords.push_back(word);
  }
  if (!artifactPrefix) anchoredWords.push_back("-artifact_prefix=" + start.string() + "/");
  for (auto& w : anchoredWords) anchoredArgv.push_back(w.data());
  anchoredArgv.push_back(nullptr);
  *argc = static_cast<int>(anchoredWords.size());
  *argv = anchoredArgv.data();
}

void EnterScratchFolder() {
  // Memory-backed when available: every run writes and removes files.
  std::string pattern = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
  pattern += "/d88fuzz.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) abort();
  baseFolder = pattern;
  workFolder = baseFolder / "out";
  fs::create_directory(workFolder);
  fs::current_path(workFolder);
  atexit(RemoveScratch);

  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  // Only the stream moves: libFuzzer and the sanitizers report on descriptor 2.
  FILE* discard = fopen("/dev/null", "w");
  if (discard == nullptr) abort();
  stderr = discard;
}

void WriteImage(const uint8_t* data, size_t size) {
  FILE* out = fopen(kImageName, "wb");
  if (out == nullptr) abort();
  if (size != 0 && fwrite(data, 1, size, out) != size) abort();
  if (fclose(out) != 0) abort();
}

void CheckAndClean(int exitStatus, const uint8_t* image, size_t size) {
  Check(exitStatus == 0 || exitStatus == 2, "exit status other than 0 or 2");
  std::error_code ec;
  Check(fs::current_path(ec) == workFolder, "run ended in another directory");
  const std::vector<uint8_t> after = ReadWhole(workFolder / kImageName);
  Check(after.size() == size && std::equal(after.begin(), after.end(), image), "image changed");
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
