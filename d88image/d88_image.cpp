#include "d88_image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include "little_endian.h"

namespace d88 {
namespace {

constexpr int32_t kMaxSizeCode = 23;  // 128 << 23 is the largest positive int32 piece.

int64_t FileLength(FILE* file) {
#if defined(_WIN32)
  if (_fseeki64(file, 0, SEEK_END) != 0) return std::numeric_limits<int64_t>::max();
  const int64_t length = _ftelli64(file);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return std::numeric_limits<int64_t>::max();
  const int64_t length = static_cast<int64_t>(ftello(file));
#endif
  return length < 0 ? std::numeric_limits<int64_t>::max() : length;
}

}  // namespace

D88Image::D88Image()
    : file(nullptr),
      diskCount(0),
      firstSector(1),
      lastSector(16),
      diskOffsets(),
      diskSize(0),
      diskOffset(0),
      trackOffsets(),
      mediaType(-1),
      diskName(),
      fileLength(0),
      readPosition(0),
      seekTarget(0),
      windowStart(0),
      windowLength(0),
      window() {}

D88Image::~D88Image() {
  if (file != nullptr) fclose(file);
}

bool D88Image::SeekTo(int64_t target) {
  if (file == nullptr || target < 0 || target > fileLength) return false;
  readPosition = target;
  seekTarget = target;
  return true;
}

bool D88Image::FillWindow() {
  // A sector search goes back to the start of its track for every sector:
  // when the window has to move on within a track, it starts at the track
  // again, as long as the position stays well inside the window.
  int64_t start = readPosition;
  if (seekTarget <= readPosition && readPosition - seekTarget <= kWindowSize / 2) {
    start = seekTarget;
  }
  windowStart = start;
  windowLength = 0;
#if defined(_WIN32)
  if (_fseeki64(file, start, SEEK_SET) != 0) return false;
#else
  if (fseeko(file, static_cast<off_t>(start), SEEK_SET) != 0) return false;
#endif
  windowLength = static_cast<int32_t>(fread(window, 1, sizeof window, file));
  return readPosition - windowStart < windowLength;
}

int32_t D88Image::Read(uint8_t* dest, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    const int64_t offset = readPosition - windowStart;
    if (offset < 0 || offset >= windowLength) {
      // Past the end of the file nothing more arrives.
      if (!FillWindow()) break;
      continue;
    }
    const int32_t count =
        static_cast<int32_t>(std::min<int64_t>(windowLength - offset, length - done));
    std::memcpy(dest + done, window + offset, static_cast<size_t>(count));
    done += count;
    readPosition += count;
  }
  return done;
}

bool D88Image::ReadFully(uint8_t* dest, int32_t length) { return Read(dest, length) == length; }

const uint8_t* D88Image::Take(int32_t length) {
  int64_t offset = readPosition - windowStart;
  if (offset < 0 || offset > windowLength - length) {
    if (!FillWindow()) return nullptr;
    offset = readPosition - windowStart;
    if (offset > windowLength - length) return nullptr;
  }
  readPosition += length;
  return window + offset;
}

bool D88Image::Open(const char* path) {
  if (path == nullptr) {
    if (file != nullptr) fclose(file);
    file = nullptr;
    diskCount = 0;
    mediaType = -1;
    return true;
  }
  // Reopening without closing would leak the earlier stream; once closed it
  // is gone, also when the new path then fails.
  if (file != nullptr) fclose(file);
  file = nullptr;
  // A folder opens as a stream on some hosts but holds no image: it is a
  // path that cannot be opened, not an image without disks.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return false;
  file = fopen(path, "rb");
  if (file == nullptr) return false;
  // The reader buffers the file itself, in its window.
  setvbuf(file, nullptr, _IONBF, 0);
  fileLength = FileLength(file);
  windowStart = 0;
  windowLength = 0;
  readPosition = 0;
  seekTarget = 0;

  // Disks follow each other: the next header starts where this disk ends.
  // The running total is kept wide so that no sum of header values can
  // overflow; a start outside the range of a signed 32-bit offset ends the scan.
  int64_t total = 0;
  diskCount = 0;
  while (diskCount < kMaxDisks) {
    if (total < 0 || total > std::numeric_limits<int32_t>::max()) break;
    diskOffsets[diskCount] = static_cast<int32_t>(total);
    uint8_t header[kDiskHeaderSize];
    if (!SeekTo(total) || !ReadFully(header, kDiskHeaderSize)) break;
    total += ReadLe32Signed(header + DiskHeader::kDiskSizeOffset);
    ++diskCount;
  }
  return true;
}

bool D88Image::SelectDisk(int index) {
  if (file == nullptr) return false;
  diskOffset = -1;
  mediaType = -1;
  diskSize = 0;
  diskName[0] = '\0';
  if (index < 0 || index >= diskCount) return false;

  uint8_t header[kDiskHeaderSize];
  // The file may have shrunk since Open; a header not read whole is not used.
  if (!SeekTo(diskOffsets[index]) || !ReadFully(header, kDiskHeaderSize)) return false;
  diskOffset = diskOffsets[index];
  for (int t = 0; t < kTrackCount; ++t) {
    trackOffsets[t] = ReadLe32Signed(header + DiskHeader::kTrackTableOffset + 4 * t);
  }
  mediaType = header[DiskHeader::kMediaTypeOffset];
  diskSize = ReadLe32Signed(header + DiskHeader::kDiskSizeOffset);
  int length = 0;
  while (length < DiskHeader::kNameSize && header[DiskHeader::kNameOffset + length] != 0) {
    ++length;
  }
  std::memcpy(diskName, header + DiskHeader::kNameOffset, static_cast<size_t>(length));
  std::memset(diskName + length, 0, static_cast<size_t>(DiskHeader::kNameSize - length));
  return true;
}

void D88Image::SetSectorRange(int32_t first, int32_t last) {
  firstSector = first;
  lastSector = last;
}

bool D88Image::SeekToTrack(int32_t track) {
  if (file == nullptr || track < 0 || track >= kTrackCount) return false;
  const int32_t offset = trackOffsets[track];
  // An offset equal to the disk size still passes: such a track starts at
  // the first byte after the disk.
  if (offset == 0 || offset > diskSize) return false;
  return SeekTo(static_cast<int64_t>(diskOffset) + offset);
}

int32_t D88Image::ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                             uint8_t* dest, int32_t capacity) {
  if (!SeekToTrack(track)) return 0;
  for (int64_t position = 1;; ++position) {
    const uint8_t* header = Take(kSectorHeaderSize);
    if (header == nullptr) return 0;
    // A count of 0 ends the search before the ID is compared.
    const uint16_t sectorCount = ReadLe16(header + SectorHeader::kSectorCountOffset);
    if (sectorCount == 0) return 0;
    const uint16_t dataLength = ReadLe16(header + SectorHeader::kDataLengthOffset);
    if (header[SectorHeader::kCylinderOffset] == c && header[SectorHeader::kHeadOffset] == h &&
        header[SectorHeader::kRecordOffset] == r && header[SectorHeader::kSizeCodeOffset] == n) {
      const int32_t wanted = std::min<int32_t>(dataLength, capacity);
      if (wanted <= 0) return 0;
      // Data cut short by the end of the file delivers only what is there.
      return Read(dest, wanted);
    }
    readPosition += dataLength;
    // Each header's own count decides whether the track ends after it.
    if (position == sectorCount) return 0;
  }
}

int32_t D88Image::ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                              uint8_t* dest, int32_t length) {
  if (length <= 0 || n < 0 || n > kMaxSizeCode) return 0;
  const int32_t sectorSize = int32_t{128} << n;
  // Stepped in 64 bits so that no step can overflow; a value that no sector
  // header can carry ends the run as a missing sector would.
  int64_t t = track, cyl = c, head = h, rec = r;
  int32_t total = 0;
  while (total < length) {
    if (t < 0 || t >= kTrackCount || cyl < 0 || cyl > 0xFF || head < 0 || head > 0xFF ||
        rec < 0 || rec > 0xFF) {
      return total;
    }
    const int32_t piece = std::min(sectorSize, length - total);
    const int32_t got = ReadSector(static_cast<int32_t>(t), static_cast<int32_t>(cyl),
                                   static_cast<int32_t>(head), static_cast<int32_t>(rec), n,
                                   dest + total, piece);
    if (got < piece) return total;
    total += piece;
    // Track index and C/H step side by side; neither is derived from the other.
    if (rec == lastSector) {
      ++t;
      if (head == 0) {
        head = 1;
      } else {
        head = 0;
        ++cyl;
      }
      rec = firstSector;
    } else {
      ++rec;
    }
  }
  return total;
}

int32_t D88Image::GetSectorIds(int32_t track, uint8_t* dest, int32_t capacity) {
  if (!SeekToTrack(track)) return 0;
  int32_t written = 0;
  for (int32_t i = 0; capacity - written >= kSectorIdSize; ++i) {
    uint8_t header[kSectorHeaderSize];
    if (!ReadFully(header, kSectorHeaderSize)) break;
    std::memcpy(dest + written, header, kSectorIdSize);
    written += kSectorIdSize;
    readPosition += ReadLe16(header + SectorHeader::kDataLengthOffset);
    if (ReadLe16(header + SectorHeader::kSectorCountOffset) == i + 1) break;
  }
  return written;
}

}  // namespace d88
