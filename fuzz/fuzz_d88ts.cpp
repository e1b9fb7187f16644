// A whole d88ts run on the input as an image. The first byte picks the
// options, the rest is the image.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tool_run.h"

int D88tsMain(int argc, char** argv);

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  d88fuzz::PrepareScratchFolder(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t pick = data[0];
  std::vector<std::string> options;
  if (pick & 0x01) options.push_back("-d");
  if (pick & 0x02) options.push_back("-s");
  if (pick & 0x04) options.push_back("-h");
  // Options come in any order and number, and other words are ignored.
  if (pick & 0x08) options.insert(options.begin(), "-x");
  if (pick & 0x10) options.insert(options.end(), options.begin(), options.end());
  if (pick & 0x20) options.assign(options.rbegin(), options.rend());

  d88fuzz::EnterScratchFolder(data + 1, size - 1);
  d88fuzz::Argv args("d88ts", options);
  const int status = D88tsMain(args.argc(), args.argv());
  d88fuzz::CheckAndLeave(status, data + 1, size - 1);
  return 0;
}
