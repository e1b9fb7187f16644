#include "cpm_directory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "output_name.h"

namespace d88 {
namespace {

constexpr uint8_t kDeletedEntry = 0xE5;
constexpr uint8_t kUnusedNameByte = 0x20;
// A full extent: 128 records of 128 bytes, every block full.
constexpr uint8_t kFullExtent = 0x80;
constexpr uint8_t kContinuesBit = 0x80;
constexpr uint8_t kAttributeBit = 0x80;
constexpr size_t kInitialTransferBufferSize = 327680;

// CP/M keeps attribute flags in bit 7 of the name bytes: names are 7-bit.
std::string BuildFileName(const uint8_t* entry) {
  char name[CpmDirEntry::kNameSize + 1 + CpmDirEntry::kExtensionSize + 1];
  size_t length = 0;
  for (int i = 0; i < CpmDirEntry::kNameSize; ++i) {
    const uint8_t c = entry[CpmDirEntry::kNameOffset + i] & ~kAttributeBit & 0xFF;
    if (c == ' ') break;
    name[length++] = static_cast<char>(c);
  }
  // The raw byte decides the dot: 0xA0 (a flagged space) still gives one.
  if (entry[CpmDirEntry::kExtensionOffset] != ' ') name[length++] = '.';
  for (int i = 0; i < CpmDirEntry::kExtensionSize; ++i) {
    const uint8_t c = entry[CpmDirEntry::kExtensionOffset + i] & ~kAttributeBit & 0xFF;
    if (c == ' ') break;
    name[length++] = static_cast<char>(c);
  }
  name[length] = '\0';
  return SafeOutputName(name);
}

}  // namespace

CpmExtractor::CpmExtractor(D88Image& image, ExtractOutput& output)
    : image_(image), output_(output), transferBuffer_(kInitialTransferBufferSize) {}

void CpmExtractor::WalkCpmDirectory(const uint8_t* directory, const std::string& folder) {
  for (int j = 0; j < kCpmDirEntryCount; ++j) {
    const uint8_t* entry = directory + kCpmDirEntrySize * j;
    // The space test comes first: an entry of 0xE5 and a space is skipped.
    if (entry[CpmDirEntry::kNameOffset] == kUnusedNameByte) continue;
    if (entry[CpmDirEntry::kUserOffset] == kDeletedEntry) break;
    HandleEntry(entry, folder);
  }
}

void CpmExtractor::HandleEntry(const uint8_t* entry, const std::string& folder) {
  FileKey key;
  key[0] = entry[CpmDirEntry::kUserOffset];
  for (size_t i = 1; i < key.size(); ++i) key[i] = entry[i] & ~kAttributeBit & 0xFF;
  // An entry of another file shows that the pending one is complete.
  if (pending_ && key != pendingKey_) FinishPendingFile();

  const std::string fileName = BuildFileName(entry);
  const uint8_t recordCount = entry[CpmDirEntry::kRecordCountOffset];
  if (recordCount != kFullExtent) printf("%-12s", fileName.c_str());
  ReadBlocks(entry, recordCount);

  if ((recordCount & kContinuesBit) != 0) {
    pending_ = true;
    pendingKey_ = key;
    pendingRecordCount_ = recordCount;
    pendingName_ = fileName;
    pendingFolder_ = folder;
    return;
  }
  pending_ = false;
  printf(" %5lld\n", static_cast<long long>(accumulatedLength_));
  SaveFile(fileName, folder);
}

void CpmExtractor::ReadBlocks(const uint8_t* entry, uint8_t recordCount) {
  // Sectors the record count still covers; a record is half a sector.
  uint8_t remainingSectors = static_cast<uint8_t>((recordCount + 1) / 2);
  const uint8_t* blocks = entry + CpmDirEntry::kAllocationOffset;
  for (int i = 0; i < CpmDirEntry::kAllocationSize && blocks[i] != 0; ++i) {
    const bool last = i == CpmDirEntry::kAllocationSize - 1 || blocks[i + 1] == 0;
    const int sectorCount = (!last || recordCount == kFullExtent || remainingSectors >= 8)
                                ? kCpmSectorsPerBlock
                                : remainingSectors;
    ReadBlock(blocks[i], sectorCount);
    // Wraps below 0 when an entry lists more blocks than its records cover;
    // every later block is then read in full.
    remainingSectors = static_cast<uint8_t>(remainingSectors - kCpmSectorsPerBlock);
  }
}

void CpmExtractor::ReadBlock(int block, int sectorCount) {
  const size_t bytes = static_cast<size_t>(sectorCount) * kCpmSectorSize;
  const size_t needed = accumulatedLength_ + bytes;
  if (needed > transferBuffer_.size()) {
    transferBuffer_.resize(std::max(needed, transferBuffer_.size() * 2));
  }
  uint8_t* destination = transferBuffer_.data() + accumulatedLength_;
  // Bytes that no read delivers must not carry an earlier file's data.
  std::memset(destination, 0, bytes);
  // Two blocks fill one track: the directory's track is block 0 and 1.
  const int track = kCpmDirectoryTrack + block / 2;
  const int record = block % 2 == 0 ? kCpmFirstSector : kCpmFirstSector + kCpmSectorsPerBlock;
  if (image_.ReadSectors(track, track / 2, track % 2, record, kCpmSizeCode, destination,
                         static_cast<int32_t>(bytes)) == 0) {
    printf("!");
  }
  // A block counts in full toward the file whatever the read delivered.
  accumulatedLength_ = needed;
}

void CpmExtractor::FinishPendingFile() {
  if (pendingRecordCount_ == kFullExtent) printf("%-12s", pendingName_.c_str());
  printf(" %5lld\n", static_cast<long long>(accumulatedLength_));
  pending_ = false;
  SaveFile(pendingName_, pendingFolder_);
}

void CpmExtractor::FinishRun() {
  if (pending_) FinishPendingFile();
}

void CpmExtractor::SaveFile(const std::string& fileName, const std::string& folder) {
  output_.WriteFile(folder, fileName, transferBuffer_.data(), accumulatedLength_);
  accumulatedLength_ = 0;
}

}  // namespace d88
