#include "d88_builder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace d88test {
namespace {

constexpr int kDiskHeaderSize = 688;
constexpr int kTrackCount = 164;
constexpr int kSectorHeaderSize = 16;

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string Padded(const std::string& s, size_t size) {
  std::string padded = s.substr(0, size);
  padded.resize(size, ' ');
  return padded;
}

// Visits the sectors of a run as the reader steps through them: records
// first..last, then record first of the next track index.
template <typename Visit>
void ForEachRunSector(int track, int record, int lastRecord, size_t sectors, Visit visit) {
  for (size_t i = 0; i < sectors; ++i) {
    visit(track, record, i);
    if (record == lastRecord) {
      ++track;
      record = 1;
    } else {
      ++record;
    }
  }
}

}  // namespace

std::vector<Sector> StandardTrack(int trackIndex, int count, int sizeCode, const Bytes& content,
                                  int firstRecord) {
  const size_t size = size_t{128} << sizeCode;
  std::vector<Sector> sectors;
  for (int i = 0; i < count; ++i) {
    Sector s;
    s.c = static_cast<uint8_t>(trackIndex / 2);
    s.h = static_cast<uint8_t>(trackIndex % 2);
    s.r = static_cast<uint8_t>(firstRecord + i);
    s.n = static_cast<uint8_t>(sizeCode);
    s.sectorCount = static_cast<uint16_t>(count);
    s.data.assign(size, 0);
    const size_t begin = i * size;
    if (begin < content.size()) {
      std::copy(content.begin() + static_cast<std::ptrdiff_t>(begin),
                content.begin() + static_cast<std::ptrdiff_t>(std::min(content.size(), begin + size)),
                s.data.begin());
    }
    sectors.push_back(std::move(s));
  }
  return sectors;
}

DiskBuilder& DiskBuilder::SetName(const std::string& name) {
  name_ = name;
  return *this;
}

DiskBuilder& DiskBuilder::SetMediaType(uint8_t mediaType) {
  mediaType_ = mediaType;
  return *this;
}

DiskBuilder& DiskBuilder::SetTrack(int trackIndex, std::vector<Sector> sectors) {
  if (tracks_.count(trackIndex) == 0) order_.push_back(trackIndex);
  tracks_[trackIndex] = std::move(sectors);
  return *this;
}

std::vector<Sector>& DiskBuilder::Track(int trackIndex) {
  if (tracks_.count(trackIndex) == 0) throw std::out_of_range("no such track");
  return tracks_[trackIndex];
}

DiskBuilder& DiskBuilder::RemoveTrack(int trackIndex) {
  tracks_.erase(trackIndex);
  order_.erase(std::remove(order_.begin(), order_.end(), trackIndex), order_.end());
  return *this;
}

DiskBuilder& DiskBuilder::OverrideTrackOffset(int trackIndex, uint32_t offset) {
  trackOffsetOverrides_[trackIndex] = offset;
  return *this;
}

DiskBuilder& DiskBuilder::OverrideDiskSize(uint32_t size) {
  diskSizeOverride_ = size;
  return *this;
}

Bytes DiskBuilder::Build() const {
  Bytes image(kDiskHeaderSize, 0);
  std::copy_n(name_.begin(), std::min<size_t>(name_.size(), 16), image.begin());
  image[0x1B] = mediaType_;
  for (int t : order_) {
    if (t >= 0 && t < kTrackCount) PutLe32(&image[0x20 + 4 * t], static_cast<uint32_t>(image.size()));
    const Bytes track = TrackBytes(tracks_.at(t));
    image.insert(image.end(), track.begin(), track.end());
  }
  for (const auto& [t, offset] : trackOffsetOverrides_) PutLe32(&image[0x20 + 4 * t], offset);
  PutLe32(&image[0x1C], diskSizeOverride_ ? *diskSizeOverride_ : static_cast<uint32_t>(image.size()));
  return image;
}

Bytes TrackBytes(const std::vector<Sector>& sectors) {
  Bytes track;
  for (const Sector& s : sectors) {
    uint8_t header[kSectorHeaderSize] = {s.c, s.h, s.r, s.n};
    PutLe16(header + 4, s.sectorCount);
    PutLe16(header + 14, s.dataLength ? *s.dataLength : static_cast<uint32_t>(s.data.size()));
    track.insert(track.end(), header, header + kSectorHeaderSize);
    track.insert(track.end(), s.data.begin(), s.data.end());
  }
  return track;
}

Bytes Concat(const std::vector<Bytes>& disks) {
  Bytes all;
  for (const Bytes& d : disks) all.insert(all.end(), d.begin(), d.end());
  return all;
}

TsDiskBuilder::TsDiskBuilder() : directory_(2048, 0) { tracks_[1]; }

TsDiskBuilder& TsDiskBuilder::SetName(const std::string& name) {
  name_ = name;
  return *this;
}

TsDiskBuilder& TsDiskBuilder::AddEntry(const Bytes& entry) {
  if (entries_ >= 128 || entry.size() != 16) throw std::length_error("bad directory entry");
  std::copy(entry.begin(), entry.end(), directory_.begin() + 16 * entries_++);
  return *this;
}

TsDiskBuilder& TsDiskBuilder::AddEntry(const std::string& name, const std::string& extension,
                                       int startTrack, int startSector, int fileSectors,
                                       int lastSectorBytes) {
  const std::string text = Padded(name, 8) + Padded(extension, 3);
  Bytes entry(text.begin(), text.end());
  entry.push_back(static_cast<uint8_t>(startTrack));
  entry.push_back(static_cast<uint8_t>(startSector));
  entry.push_back(static_cast<uint8_t>(fileSectors));
  entry.push_back(static_cast<uint8_t>(lastSectorBytes));
  entry.push_back(static_cast<uint8_t>(lastSectorBytes >> 8));
  return AddEntry(entry);
}

TsDiskBuilder& TsDiskBuilder::AddEndMark() {
  Bytes entry(16, 0);
  entry[0] = 0xFF;
  return AddEntry(entry);
}

TsDiskBuilder& TsDiskBuilder::PutData(int track, int record, const Bytes& data) {
  const size_t sectors = (data.size() + kSectorSize - 1) / kSectorSize;
  ForEachRunSector(track, record, kSectorsPerTrack, sectors, [&](int t, int r, size_t i) {
    if (r < 1 || r > kSectorsPerTrack) throw std::out_of_range("record outside the track");
    Bytes& trackData = tracks_[t];
    trackData.resize(kSectorSize * kSectorsPerTrack, 0);
    const size_t begin = i * kSectorSize;
    const size_t end = std::min(data.size(), begin + kSectorSize);
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(begin),
              data.begin() + static_cast<std::ptrdiff_t>(end),
              trackData.begin() + (r - 1) * kSectorSize);
  });
  return *this;
}

TsDiskBuilder& TsDiskBuilder::AddFile(const std::string& name, const std::string& extension,
                                      int track, int record, const Bytes& data) {
  const int sectors = static_cast<int>((data.size() + kSectorSize - 1) / kSectorSize);
  const int lastBytes = static_cast<int>(data.size() - (sectors > 0 ? (sectors - 1) * kSectorSize : 0));
  PutData(track, record, data);
  return AddEntry(name, extension, track, record, sectors, lastBytes == kSectorSize ? 0 : lastBytes);
}

DiskBuilder TsDiskBuilder::ToDisk() const {
  DiskBuilder disk;
  disk.SetName(name_);
  for (const auto& [t, data] : tracks_) {
    Bytes content = data;
    if (t == 1) {
      content.resize(kSectorSize * kSectorsPerTrack, 0);
      std::copy(directory_.begin(), directory_.end(), content.begin());
    }
    disk.SetTrack(t, StandardTrack(t, kSectorsPerTrack, 3, content));
  }
  return disk;
}

CpmDiskBuilder::CpmDiskBuilder() : directory_(4096, 0xE5) { tracks_[4]; }

CpmDiskBuilder& CpmDiskBuilder::SetName(const std::string& name) {
  name_ = name;
  return *this;
}

CpmDiskBuilder& CpmDiskBuilder::AddEntry(const Bytes& entry) {
  if (entries_ >= 128 || entry.size() != 32) throw std::length_error("bad directory entry");
  std::copy(entry.begin(), entry.end(), directory_.begin() + 32 * entries_++);
  return *this;
}

CpmDiskBuilder& CpmDiskBuilder::AddEntry(uint8_t user, const std::string& name,
                                         const std::string& extension, uint8_t recordCount,
                                         const std::vector<int>& blocks) {
  const std::string text = Padded(name, 8) + Padded(extension, 3);
  Bytes entry(32, 0);
  entry[0] = user;
  std::copy(text.begin(), text.end(), entry.begin() + 1);
  entry[15] = recordCount;
  for (size_t i = 0; i < blocks.size() && i < 16; ++i) entry[16 + i] = static_cast<uint8_t>(blocks[i]);
  return AddEntry(entry);
}

CpmDiskBuilder& CpmDiskBuilder::PutBlock(int block, const Bytes& data) {
  const int track = 4 + block / 2;
  Bytes& trackData = tracks_[track];
  trackData.resize(kSectorSize * kSectorsPerTrack, 0);
  const size_t offset = (block % 2) * kBlockSize;
  std::copy_n(data.begin(), std::min<size_t>(data.size(), kBlockSize), trackData.begin() + offset);
  return *this;
}

CpmDiskBuilder& CpmDiskBuilder::AddFile(uint8_t user, const std::string& name,
                                        const std::string& extension, const Bytes& data) {
  constexpr size_t kEntryBytes = 16 * kBlockSize;
  constexpr size_t kLogicalExtent = 16384;  // what one record count covers
  size_t done = 0;
  do {
    const size_t part = std::min(kEntryBytes, data.size() - done);
    std::vector<int> blocks;
    for (size_t b = 0; b * kBlockSize < part; ++b) {
      PutBlock(nextBlock_, Bytes(data.begin() + static_cast<std::ptrdiff_t>(done + b * kBlockSize),
                                 data.begin() + static_cast<std::ptrdiff_t>(
                                                    done + std::min(part, (b + 1) * kBlockSize))));
      blocks.push_back(nextBlock_++);
    }
    // Records in the entry's last logical extent of 16 KiB, 0x80 when full.
    const size_t inLast = part == 0 ? 0 : part - (part - 1) / kLogicalExtent * kLogicalExtent;
    AddEntry(user, name, extension, static_cast<uint8_t>((inLast + 127) / 128), blocks);
    done += part;
  } while (done < data.size());
  return *this;
}

DiskBuilder CpmDiskBuilder::ToDisk() const {
  DiskBuilder disk;
  disk.SetName(name_);
  for (const auto& [t, data] : tracks_) {
    Bytes content = data;
    if (t == 4) content = directory_;
    disk.SetTrack(t, StandardTrack(t, kSectorsPerTrack, 1, content));
  }
  return disk;
}

bool WriteImageFile(const std::string& path, const Bytes& image) {
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool complete = image.empty() || fwrite(image.data(), 1, image.size(), out) == image.size();
  return fclose(out) == 0 && complete;
}

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return data;
}

}  // namespace d88test
