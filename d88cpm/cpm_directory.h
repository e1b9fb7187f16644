// The CP/M-style directory of d88cpm disks, and the assembly of its files.
//
// The directory is 128 entries of 32 bytes in the 16 sectors of track
// index 4. An entry (extent) lists up to 16 allocation blocks of 2048 bytes;
// a file longer than one extent continues in the following entries, each of
// which but the last has bit 7 of its record count set.
#ifndef D88CPM_CPM_DIRECTORY_H_
#define D88CPM_CPM_DIRECTORY_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "d88_image.h"
#include "extract_output.h"

namespace d88 {

constexpr int kCpmDirEntrySize = 32;
constexpr int kCpmDirEntryCount = 128;
constexpr int kCpmDirectorySize = kCpmDirEntrySize * kCpmDirEntryCount;
constexpr int kCpmSectorSize = 256;
constexpr int kCpmSizeCode = 1;
constexpr int kCpmFirstSector = 1;
constexpr int kCpmLastSector = 16;
constexpr int kCpmDirectoryTrack = 4;
constexpr int kCpmSectorsPerBlock = 8;

// Byte offsets of the fields of one directory entry.
struct CpmDirEntry {
  static constexpr int kUserOffset = 0;
  static constexpr int kNameOffset = 1;
  static constexpr int kNameSize = 8;
  static constexpr int kExtensionOffset = 9;
  static constexpr int kExtensionSize = 3;
  static constexpr int kRecordCountOffset = 15;
  static constexpr int kAllocationOffset = 16;
  static constexpr int kAllocationSize = 16;
};

// Assembles files from the directories of all disks of one run. A file may
// go on from one disk's directory into the next, so the accumulated length
// and the file being assembled live as long as the run.
class CpmExtractor {
 public:
  CpmExtractor(D88Image& image, ExtractOutput& output);

  // Walks one disk's directory; folder is where its files go ("" for the
  // current directory).
  void WalkCpmDirectory(const uint8_t* directory, const std::string& folder);

  // Writes a file still continuing after the last disk.
  void FinishRun();

 private:
  using FileKey = std::array<uint8_t, 1 + CpmDirEntry::kNameSize + CpmDirEntry::kExtensionSize>;

  void HandleEntry(const uint8_t* entry, const std::string& folder);
  void ReadBlocks(const uint8_t* entry, uint8_t recordCount);
  void ReadBlock(int block, int sectorCount);
  void FinishPendingFile();
  void SaveFile(const std::string& fileName, const std::string& folder);

  D88Image& image_;
  ExtractOutput& output_;
  // The file being assembled: its bytes run from the start of the transfer
  // buffer to the accumulated length.
  std::vector<uint8_t> transferBuffer_;
  size_t accumulatedLength_ = 0;

  // An extent whose record count has bit 7 set leaves its file pending until
  // an entry of another file (or the end of the run) shows it is complete.
  bool pending_ = false;
  FileKey pendingKey_{};
  uint8_t pendingRecordCount_ = 0;
  std::string pendingName_;
  std::string pendingFolder_;
};

}  // namespace d88

#endif  // D88CPM_CPM_DIRECTORY_H_
