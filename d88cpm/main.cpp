// d88cpm: extracts the files of the CP/M-style disks in a D88 image.
//
//   d88cpm IMAGE [-d]
//
// Each disk's files go into a folder named by the disk's index (000, 001,
// ...), or with -d into the current directory.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cpm_directory.h"
#include "d88_image.h"
#include "extract_output.h"
#include "messages.h"

namespace {

// The directory: sectors 1 to 16 of track index 4 (cylinder 2, head 0).
constexpr int32_t kDirectoryCylinder = 2;
constexpr int32_t kDirectoryHead = 0;

d88::D88Image image;
uint8_t directoryBuffer[d88::kCpmDirectorySize];

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    d88::PrintError("Usage: %s [d88file] [-d]\n%s", argc > 0 ? argv[0] : "d88cpm",
                    d88::kUsageNoFoldersLine);
    return 1;
  }
  bool createFolders = true;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-d") == 0) createFolders = false;
  }

  if (!image.Open(argv[1])) {
    d88::PrintError("%s", d88::kOpenFailedText);
    return 1;
  }
  d88::ExtractOutput output(argv[1]);
  d88::CpmExtractor extractor(image, output);
  const int diskCount = image.GetDiskCount();
  for (int i = 0; i < diskCount; ++i) {
    image.SelectDisk(i);
    image.SetSectorRange(d88::kCpmFirstSector, d88::kCpmLastSector);
    const int32_t got =
        image.ReadSectors(d88::kCpmDirectoryTrack, kDirectoryCylinder, kDirectoryHead,
                          d88::kCpmFirstSector, d88::kCpmSizeCode, directoryBuffer,
                          d88::kCpmDirectorySize);
    if (got < d88::kCpmDirectorySize) {
      d88::PrintError(d88::kDirectoryReadFailedFormat, i + 1);
      // Entries not read in full read as deleted, which ends the walk there.
      std::memset(directoryBuffer + got, 0xE5, static_cast<size_t>(d88::kCpmDirectorySize - got));
      if (got == 0) continue;
    }
    std::string folder;
    if (createFolders && !output.PrepareDiskFolder(i, &folder)) continue;
    extractor.WalkCpmDirectory(directoryBuffer, folder);
  }
  extractor.FinishRun();
  return output.ExitStatus();
}
