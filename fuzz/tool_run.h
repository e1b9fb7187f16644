// Shared by the whole-run targets: a scratch folder to run a tool in, the
// input written there as the image, and the checks that hold after any run.
//
// Layout: <base>/out is the working directory of every run and holds the
// image as IMAGE.D88, so a disk can name a file like the image (the tools must
// refuse to replace it). <base> itself must stay empty apart from out/: a
// file appearing there was written outside the starting folder.
#ifndef FUZZ_TOOL_RUN_H_
#define FUZZ_TOOL_RUN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d88fuzz {

constexpr char kImageName[] = "IMAGE.D88";

// Makes every path on libFuzzer's command line absolute and, unless one is
// given, puts the artifacts in the starting directory: the runs happen in the
// scratch folder, which is emptied after each input. For LLVMFuzzerInitialize.
void AnchorPaths(int* argc, char*** argv);

// Makes the scratch folder, enters it and discards the tools' console output
// (the tools write through stdout and the stderr stream; libFuzzer and the
// sanitizers keep the original standard error file descriptor).
void EnterScratchFolder();

// Writes the image that the next run reads.
void WriteImage(const uint8_t* data, size_t size);

// Checks what must hold after every run: an allowed exit status, the image
// unchanged, the run back where it started, nothing outside the scratch
// folder. Then empties the scratch folder (except the image) for the next run.
void CheckAndClean(int exitStatus, const uint8_t* image, size_t size);

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
