// D88Image: read-only access to the disks of a D88 floppy-disk image file.
//
// A D88 file holds up to kMaxDisks disk images back to back. Each begins with
// a 688-byte DiskHeader (name, media type, disk size, track offset table);
// each track is a sequence of sectors, every one a 16-byte SectorHeader
// followed by its data. The class finds the disks, selects one at a time and
// reads sectors of the selected disk by their ID (C, H, R, N).
//
// The class prints nothing and reports every failure through its result: a
// boolean, or a byte count where 0, or less than asked, means failure.
#ifndef D88IMAGE_D88_IMAGE_H_
#define D88IMAGE_D88_IMAGE_H_

#include <cstdint>
#include <cstdio>

namespace d88 {

constexpr int kMaxDisks = 64;
constexpr int kTrackCount = 164;
constexpr int kDiskHeaderSize = 688;
constexpr int kSectorHeaderSize = 16;

// Byte offsets of the fields of the DiskHeader at the start of every disk.
struct DiskHeader {
  static constexpr int kNameOffset = 0x00;
  static constexpr int kNameSize = 16;
  static constexpr int kMediaTypeOffset = 0x1B;
  static constexpr int kDiskSizeOffset = 0x1C;
  static constexpr int kTrackTableOffset = 0x20;
};

// Byte offsets of the fields of the SectorHeader in front of every sector.
struct SectorHeader {
  static constexpr int kCylinderOffset = 0;
  static constexpr int kHeadOffset = 1;
  static constexpr int kRecordOffset = 2;
  static constexpr int kSizeCodeOffset = 3;
  static constexpr int kSectorCountOffset = 4;
  static constexpr int kDataLengthOffset = 14;
};

// A sector's ID as GetSectorIds lists it: 4 bytes C, H, R, N.
struct SectorId {
  uint8_t c;
  uint8_t h;
  uint8_t r;
  uint8_t n;
};
constexpr int kSectorIdSize = 4;

class D88Image {
 public:
  D88Image();
  ~D88Image();
  D88Image(const D88Image&) = delete;
  D88Image& operator=(const D88Image&) = delete;

  // Opens path for reading and finds its disks; with a null path closes the
  // file. True when closed, or when the file was opened (even with no disk).
  bool Open(const char* path);
  int GetDiskCount() const { return diskCount; }
  // Loads the header of disk index (counted from 0). False when no file is
  // open, or the index is out of range (the selection is then cleared).
  bool SelectDisk(int index);
  const char* GetDiskName() const { return diskName; }
  int GetMediaType() const { return mediaType; }

  // Sector numbers (R) of the first and last sector of every track, used
  // when a run steps from one track to the next.
  void SetSectorRange(int32_t first, int32_t last);
  // Finds the sector with ID (c, h, r, n) on track index track and copies at
  // most capacity bytes of its data to dest. Returns the bytes copied.
  int32_t ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, uint8_t* dest,
                     int32_t capacity);
  // Reads length bytes of consecutive sectors of size code n, starting with
  // sector (c, h, r, n) of track index track, stepping R within the sector
  // range and then to the next track index and head/cylinder. Returns the
  // bytes read in whole pieces, up to the first piece that came back short.
  int32_t ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, uint8_t* dest,
                      int32_t length);
  // Lists the IDs of the sectors of track index track, kSectorIdSize bytes
  // each, never more than capacity bytes. Returns the bytes written.
  int32_t GetSectorIds(int32_t track, uint8_t* dest, int32_t capacity);

 private:
  // Reads go through a window onto the file: a sector search moves back to
  // the start of its track for every sector and skips the data of the
  // sectors before it, and within the window those moves cost no system call.
  bool SeekTo(int64_t target);
  bool SeekToTrack(int32_t track);
  // Loads the window so that it holds readPosition; false when the file has
  // no byte there.
  bool FillWindow();
  // Copies length bytes from readPosition on; returns the bytes there were.
  int32_t Read(uint8_t* dest, int32_t length);
  bool ReadFully(uint8_t* dest, int32_t length);
  // The next length bytes (at most the window's size) in place in the
  // window, and the position moved past them; null when the file ends
  // before them. Valid until the next read.
  const uint8_t* Take(int32_t length);

  FILE* file;
  int32_t diskCount;
  int32_t firstSector;
  int32_t lastSector;
  int32_t diskOffsets[kMaxDisks];
  int32_t diskSize;
  int32_t diskOffset;
  int32_t trackOffsets[kTrackCount];
  int32_t mediaType;
  char diskName[DiskHeader::kNameSize + 1];
  // Length of the open file, so that no position past its end is used.
  int64_t fileLength;
  // Where the next read starts, where the last seek went, and the window:
  // window[0 .. windowLength) holds the file's bytes from windowStart on.
  // 64 KiB hold a dozen tracks.
  static constexpr int32_t kWindowSize = 64 * 1024;
  int64_t readPosition;
  int64_t seekTarget;
  int64_t windowStart;
  int32_t windowLength;
  uint8_t window[kWindowSize];
};

}  // namespace d88

#endif  // D88IMAGE_D88_IMAGE_H_
