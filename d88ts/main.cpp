// d88ts: extracts the files of the track-sector disks in a D88 image.
//
//   d88ts IMAGE [-d] [-s] [-h]
//
// Each disk's files go into a folder named by the disk's index (000, 001,
// ...), or with -d into the current directory.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "d88_image.h"
#include "extract_output.h"
#include "messages.h"
#include "ts_directory.h"

namespace {

// "       -s  : ファイルサイズを参照せず、セクタ単位に切り出す\n":
// -s: cut files out in whole sectors without looking at the file size.
constexpr char kUsageSectorModeLine[] =
    "       -s  : \x83t\x83@\x83" "C\x83\x8B\x83T\x83" "C\x83Y\x82\xF0\x8EQ\x8F\xC6\x82\xB9\x82\xB8"
    "\x81" "A\x83Z\x83N\x83^\x92P\x88\xCA\x82\xC9\x90\xD8\x82\xE8\x8Fo\x82\xB7\n";
// "       -h  : PCM*.DATのADPCMヘッダを切り落とさない\n":
// -h: do not cut off the ADPCM header of PCM*.DAT.
constexpr char kUsageKeepPcmHeaderLine[] =
    "       -h  : PCM*.DAT\x82\xCC" "ADPCM\x83w\x83" "b\x83_\x82\xF0\x90\xD8\x82\xE8\x97\x8E\x82\xC6\x82"
    "\xB3\x82\xC8\x82\xA2\n";

// The directory: records 1 and 2 of track index 1 (cylinder 0, head 1).
constexpr int32_t kDirectoryTrack = 1;
constexpr int32_t kDirectoryCylinder = 0;
constexpr int32_t kDirectoryHead = 1;
constexpr int32_t kDirectoryRecord = 1;

d88::D88Image image;
uint8_t directoryBuffer[d88::kTsDirectorySize];

}  // namespace

int main(int argc, char** argv) {
  bool createFolders = true;
  bool sectorMode = false;
  bool cutPcmHeader = true;

  if (argc < 2) {
    d88::PrintError("Usage: %s [d88file] [-d][-s][-h]\n", argc > 0 ? argv[0] : "d88ts");
    d88::PrintError("%s%s%s", d88::kUsageNoFoldersLine, kUsageSectorModeLine,
                    kUsageKeepPcmHeaderLine);
    return 1;
  }
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-d") == 0) createFolders = false;
    if (std::strcmp(argv[i], "-s") == 0) sectorMode = true;
    if (std::strcmp(argv[i], "-h") == 0) cutPcmHeader = false;
  }

  if (!image.Open(argv[1])) {
    d88::PrintError("%s", d88::kOpenFailedText);
    return 1;
  }
  d88::ExtractOutput output(argv[1]);
  const int diskCount = image.GetDiskCount();
  for (int j = 0; j < diskCount; ++j) {
    image.SelectDisk(j);
    image.SetSectorRange(d88::kTsFirstSector, d88::kTsLastSector);
    std::memset(directoryBuffer, 0, sizeof directoryBuffer);
    if (image.ReadSectors(kDirectoryTrack, kDirectoryCylinder, kDirectoryHead, kDirectoryRecord,
                          d88::kTsSizeCode, directoryBuffer,
                          d88::kTsDirectorySize) != d88::kTsDirectorySize) {
      d88::PrintError(d88::kDirectoryReadFailedFormat, j + 1);
      return output.ExitStatus();
    }
    d88::TsDisk disk{image, output, ""};
    if (createFolders) {
      if (!output.PrepareDiskFolder(j, &disk.folder)) continue;
      printf("\n[%s] -> %s\n", image.GetDiskName(), disk.folder.c_str());
    }
    d88::WalkTsDirectory(disk, directoryBuffer, sectorMode, cutPcmHeader);
  }
  return output.ExitStatus();
}
