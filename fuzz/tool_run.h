// Shared by the whole-run targets: a scratch folder to run a tool in, the
// input written there as the image, and the checks that hold after any run.
//
// Layout: <base>/out is the working directory of every run and holds the
// image as IMAGE.D88, so a disk can name a file like the image (the tools must
// refuse to replace it). <base> itself must stay empty apart from out/: a
// file appearing there was written outside the starting folder.
//
// The scratch folder is entered for each run and left after it, so that
// libFuzzer's own work between runs (corpus, merging, starting itself again)
// happens where it was started.
#ifndef FUZZ_TOOL_RUN_H_
#define FUZZ_TOOL_RUN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d88fuzz {

constexpr char kImageName[] = "IMAGE.D88";

// For LLVMFuzzerInitialize: makes the scratch folder and discards the tools'
// console output (the tools write through stdout and the stderr stream;
// libFuzzer and the sanitizers keep the original standard error descriptor).
// Unless the command line names one, crash inputs go to the starting
// directory: a crash inside a run happens in the scratch folder.
void PrepareScratchFolder(int* argc, char*** argv);

// Writes the image that the next run reads and enters the scratch folder.
void EnterScratchFolder(const uint8_t* image, size_t size);

// Checks what must hold after every run: an allowed exit status, the image
// unchanged, the run back where it started, nothing outside the scratch
// folder, no file descriptor left open. Then leaves the scratch folder and
// empties it (except the image) for the next run.
void CheckAndLeave(int exitStatus, const uint8_t* image, size_t size);

// argv for a tool's main: argv[0], the image, then the words given.
class Argv {
 public:
  Argv(const char* program, std::vector<std::string> options);
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

}  // namespace d88fuzz

#endif  // FUZZ_TOOL_RUN_H_
