// The track-sector directory of d88ts disks, and the extraction of its files.
//
// The directory is 128 entries of 16 bytes in records 1 and 2 of track
// index 1. An entry names a file and gives its first sector (track index and
// record) and its length in 1024-byte sectors plus the bytes used in the last.
#ifndef D88TS_TS_DIRECTORY_H_
#define D88TS_TS_DIRECTORY_H_

#include <cstdint>
#include <string>

#include "d88_image.h"
#include "extract_output.h"

namespace d88 {

constexpr int kTsDirEntrySize = 16;
constexpr int kTsDirEntryCount = 128;
constexpr int kTsDirectorySize = kTsDirEntrySize * kTsDirEntryCount;
constexpr int kTsSectorSize = 1024;
constexpr int kTsSizeCode = 3;
constexpr int kTsFirstSector = 1;
constexpr int kTsLastSector = 5;
constexpr int kPcmHeaderSize = 4;

// Byte offsets of the fields of one directory entry.
struct TsDirEntry {
  static constexpr int kNameOffset = 0;
  static constexpr int kNameSize = 8;
  static constexpr int kExtensionOffset = 8;
  static constexpr int kExtensionSize = 3;
  static constexpr int kStartTrackOffset = 11;
  static constexpr int kStartSectorOffset = 12;
  static constexpr int kFileSectorsOffset = 13;
  static constexpr int kLastSectorBytesOffset = 14;
};

// What the walk of one disk works with.
struct TsDisk {
  D88Image& image;
  ExtractOutput& output;
  std::string folder;  // where the disk's files go: "" (current directory) or "000"
};

// Walks the entries of one disk's directory up to the end mark, writes each
// file and prints its listing line.
void WalkTsDirectory(TsDisk& disk, const uint8_t* directory, bool sectorMode, bool cutPcmHeader);

// Reads skip + size bytes of the sector run that starts at the given sector
// and writes size of them, from offset skip, to the file fileName. Bytes no
// read delivered are written as zeros. *complete tells whether the read
// delivered everything asked for. True when the file was written.
bool ExtractFile(TsDisk& disk, const std::string& fileName, int32_t track, int32_t cylinder,
                 int32_t head, int32_t record, int32_t sizeCode, int32_t skip, int32_t size,
                 bool* complete);

}  // namespace d88

#endif  // D88TS_TS_DIRECTORY_H_
