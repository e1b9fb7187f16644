// A small builder of D88 images for tests, the sample images, the fuzz seeds
// and the benchmarks: disks, track tables and sectors with any header values,
// so that each image reads as the case it shows.
#ifndef TESTS_SUPPORT_D88_BUILDER_H_
#define TESTS_SUPPORT_D88_BUILDER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace d88test {

using Bytes = std::vector<uint8_t>;

// One sector as it is stored: a 16-byte header and its data.
struct Sector {
  uint8_t c = 0;
  uint8_t h = 0;
  uint8_t r = 0;
  uint8_t n = 0;
  uint16_t sectorCount = 0;
  Bytes data;
  // The header's data length; the size of data unless set, so that a header
  // can claim more or fewer bytes than follow it.
  std::optional<uint16_t> dataLength;
};

// The sectors of track index t as a formatter lays them out: records
// firstRecord.. with C = t / 2, H = t % 2, size code n, all carrying the
// count. content fills the sectors in order, the rest is zero.
std::vector<Sector> StandardTrack(int trackIndex, int count, int sizeCode, const Bytes& content = {},
                                  int firstRecord = 1);

// One disk image: a header and tracks stored in the order they were added.
class DiskBuilder {
 public:
  DiskBuilder& SetName(const std::string& name);  // raw bytes, at most 16 used
  DiskBuilder& SetMediaType(uint8_t mediaType);
  DiskBuilder& SetTrack(int trackIndex, std::vector<Sector> sectors);
  std::vector<Sector>& Track(int trackIndex);  // to change a track's sectors in place
  DiskBuilder& RemoveTrack(int trackIndex);
  // Raw header values written over what the layout gives.
  DiskBuilder& OverrideTrackOffset(int trackIndex, uint32_t offset);
  DiskBuilder& OverrideDiskSize(uint32_t size);

  Bytes Build() const;

 private:
  std::string name_;
  uint8_t mediaType_ = 0;
  std::map<int, std::vector<Sector>> tracks_;
  std::vector<int> order_;
  std::map<int, uint32_t> trackOffsetOverrides_;
  std::optional<uint32_t> diskSizeOverride_;
};

Bytes Concat(const std::vector<Bytes>& disks);

// The bytes of sectors as a track stores them, each header followed by its
// data: to place a track where no track table points.
Bytes TrackBytes(const std::vector<Sector>& sectors);

// A disk of the track-sector kind: 5 sectors of 1024 bytes a track, the
// directory in records 1 and 2 of track index 1.
class TsDiskBuilder {
 public:
  static constexpr int kSectorSize = 1024;
  static constexpr int kSectorsPerTrack = 5;

  TsDiskBuilder();
  TsDiskBuilder& SetName(const std::string& name);
  // A raw 16-byte entry in the next free slot.
  TsDiskBuilder& AddEntry(const Bytes& entry);
  // An entry from its fields; name and extension are padded with spaces.
  TsDiskBuilder& AddEntry(const std::string& name, const std::string& extension, int startTrack,
                          int startSector, int fileSectors, int lastSectorBytes);
  TsDiskBuilder& AddEndMark();
  // Stores data in the sector run that starts at (track, record), stepping
  // records 1 to 5 and then the next track index, as the reader does.
  TsDiskBuilder& PutData(int track, int record, const Bytes& data);
  // An entry for data placed at (track, record), sized by its length.
  TsDiskBuilder& AddFile(const std::string& name, const std::string& extension, int track,
                         int record, const Bytes& data);

  DiskBuilder ToDisk() const;  // to damage it further
  Bytes Build() const { return ToDisk().Build(); }

 private:
  std::string name_;
  Bytes directory_;
  int entries_ = 0;
  std::map<int, Bytes> tracks_;  // track index -> 5 KiB of sector data
};

// A disk of the CP/M kind: 16 sectors of 256 bytes a track, the directory on
// track index 4, 2048-byte blocks numbered from the directory's track on.
class CpmDiskBuilder {
 public:
  static constexpr int kSectorSize = 256;
  static constexpr int kSectorsPerTrack = 16;
  static constexpr int kBlockSize = 2048;

  CpmDiskBuilder();
  CpmDiskBuilder& SetName(const std::string& name);
  // A raw 32-byte entry in the next free slot (the rest of the directory is
  // 0xE5, so the walk ends after the last entry added).
  CpmDiskBuilder& AddEntry(const Bytes& entry);
  // An entry from its fields; name and extension are padded with spaces.
  CpmDiskBuilder& AddEntry(uint8_t user, const std::string& name, const std::string& extension,
                           uint8_t recordCount, const std::vector<int>& blocks);
  CpmDiskBuilder& PutBlock(int block, const Bytes& data);
  // A file as CP/M stores it: blocks from the next free one on, entries of
  // up to 16 blocks, each but the last with a full record count (0x80).
  CpmDiskBuilder& AddFile(uint8_t user, const std::string& name, const std::string& extension,
                          const Bytes& data);

  DiskBuilder ToDisk() const;
  Bytes Build() const { return ToDisk().Build(); }

 private:
  std::string name_;
  Bytes directory_;
  int entries_ = 0;
  int nextBlock_ = 2;  // blocks 0 and 1 are the directory's track
  std::map<int, Bytes> tracks_;
};

// Writes an image to a file; false when it could not be written in full.
bool WriteImageFile(const std::string& path, const Bytes& image);

// Bytes 0, 1, 2, ... with a seed, so each file's content is recognisable.
Bytes Pattern(size_t size, uint8_t seed);

}  // namespace d88test

#endif  // TESTS_SUPPORT_D88_BUILDER_H_
