#include "ts_directory.h"

#include <cstdio>
#include <cstring>

#include "little_endian.h"
#include "messages.h"
#include "output_name.h"

namespace d88 {
namespace {

constexpr uint8_t kEndMark = 0xFF;
constexpr uint8_t kEmptySlot = 0x00;
// lastSectorBytes 0xFFFF: no byte count; the file is its sectors in full.
constexpr int32_t kNoLastSectorBytes = 0xFFFF;

// Large enough for the longest run an entry can ask for:
// 254 sectors plus a last-sector count just below 0xFFFF.
constexpr int32_t kTransferBufferSize = 409600;
uint8_t transferBuffer[kTransferBufferSize];

// Name bytes up to the first space, then '.' and the extension bytes up to
// the first space; the dot is there whenever the extension field does not
// begin with a space. A zero byte ends the name as a string.
std::string BuildFileName(const uint8_t* entry) {
  char name[TsDirEntry::kNameSize + 1 + TsDirEntry::kExtensionSize + 1];
  size_t length = 0;
  for (int i = 0; i < TsDirEntry::kNameSize; ++i) {
    const uint8_t byte = entry[TsDirEntry::kNameOffset + i];
    if (byte == ' ') break;
    name[length++] = static_cast<char>(byte);
  }
  if (entry[TsDirEntry::kExtensionOffset] != ' ') name[length++] = '.';
  for (int i = 0; i < TsDirEntry::kExtensionSize; ++i) {
    const uint8_t byte = entry[TsDirEntry::kExtensionOffset + i];
    if (byte == ' ') break;
    name[length++] = static_cast<char>(byte);
  }
  name[length] = '\0';
  return SafeOutputName(name);
}

int32_t ComputedSize(int32_t fileSectors, int32_t lastSectorBytes, bool sectorMode) {
  if (sectorMode || lastSectorBytes == kNoLastSectorBytes || lastSectorBytes == 0) {
    return fileSectors * kTsSectorSize;
  }
  // A count above 1024 is added in full: the file runs past its sectors.
  return (fileSectors - 1) * kTsSectorSize + lastSectorBytes;
}

// The test is on the raw fields: the name need only begin with "PCM".
bool IsPcmFile(const uint8_t* entry) {
  return std::memcmp(entry + TsDirEntry::kNameOffset, "PCM", 3) == 0 &&
         std::memcmp(entry + TsDirEntry::kExtensionOffset, "DAT", 3) == 0;
}

}  // namespace

bool ExtractFile(TsDisk& disk, const std::string& fileName, int32_t track, int32_t cylinder,
                 int32_t head, int32_t record, int32_t sizeCode, int32_t skip, int32_t size,
                 bool* complete) {
  const int32_t wanted = skip + size;
  *complete = true;
  if (wanted <= 0) return false;
  // Bytes that no read delivers must not carry an earlier file's data.
  std::memset(transferBuffer, 0, static_cast<size_t>(wanted));
  const int32_t got =
      disk.image.ReadSectors(track, cylinder, head, record, sizeCode, transferBuffer, wanted);
  *complete = got >= wanted;
  if (got == 0) return false;
  return disk.output.WriteFile(disk.folder, fileName, transferBuffer + skip,
                               static_cast<size_t>(size));
}

void WalkTsDirectory(TsDisk& disk, const uint8_t* directory, bool sectorMode, bool cutPcmHeader) {
  for (int k = 0; k < kTsDirEntryCount; ++k) {
    const uint8_t* entry = directory + kTsDirEntrySize * k;
    if (entry[0] == kEndMark) break;
    if (entry[0] == kEmptySlot) continue;

    const std::string fileName = BuildFileName(entry);
    const int32_t track = entry[TsDirEntry::kStartTrackOffset];
    const int32_t record = entry[TsDirEntry::kStartSectorOffset];
    const int32_t fileSectors = entry[TsDirEntry::kFileSectorsOffset];
    const int32_t lastSectorBytes = ReadLe16(entry + TsDirEntry::kLastSectorBytesOffset);
    int32_t size = ComputedSize(fileSectors, lastSectorBytes, sectorMode);

    // PCM*.DAT files start with an ADPCM header that players do not want.
    // A file shorter than that header is kept whole.
    int32_t skip = 0;
    if (cutPcmHeader && IsPcmFile(entry) && size >= kPcmHeaderSize) {
      skip = kPcmHeaderSize;
      size -= kPcmHeaderSize;
    }

    bool complete = true;
    if (ExtractFile(disk, fileName, track, track / 2, track % 2, record, kTsSizeCode, skip, size,
                    &complete)) {
      printf("%-12s  TRK:%02x SEC:%02x SIZE:%6x%s", fileName.c_str(),
             static_cast<unsigned>(track), static_cast<unsigned>(record),
             static_cast<unsigned>(size), skip != 0 ? " [PCM HEADER CUT]\n" : "\n");
    }
    if (!complete) PrintError(kReadFailedFormat, fileName.c_str());
  }
}

}  // namespace d88
