// Writes the two benchmark images with the project's image builder:
//   make_bench_images OUTPUT_FOLDER
//
// bench-cpm.d88: 64 CP/M-style disks of 80 cylinders (160 track indexes of 16
//   sectors of 256 bytes). Blocks 2 to 255 hold files of varied sizes, from
//   empty to well over one extent, so that many files span several directory
//   entries; the tracks beyond block 255, which a one-byte block number cannot
//   reach, hold free-space filler.
// bench-ts.d88: 64 track-sector disks of 64 cylinders (128 track indexes of 5
//   sectors of 1024 bytes). Files of varied sizes follow each other from track
//   index 2 on, so that most runs cross tracks; every fifth file is a
//   PCM*.DAT file.
//
// The images are the same on every run and every host: sizes and contents come
// from a fixed-seed generator of our own, not from <random>, whose
// distributions differ between standard libraries.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "d88_builder.h"

using d88test::Bytes;

namespace {

constexpr int kDiskCount = 64;

// CP/M-style disks.
constexpr int kCpmTrackCount = 160;
constexpr int kCpmSystemTracks = 4;  // track indexes 0 to 3, before the directory
constexpr int kCpmFirstBlock = 2;    // blocks 0 and 1 are the directory's track
constexpr int kCpmLastBlock = 255;   // an entry holds one byte per block
constexpr int kCpmLastFillerBlock = (kCpmTrackCount - 4) * 2 - 1;
constexpr int kCpmMaxEntries = 128;
constexpr size_t kCpmBlockSize = d88test::CpmDiskBuilder::kBlockSize;
constexpr size_t kCpmEntryBytes = 16 * kCpmBlockSize;

// Track-sector disks.
constexpr int kTsTrackCount = 128;
constexpr int kTsFirstFileTrack = 2;
constexpr int kTsSectorsPerTrack = d88test::TsDiskBuilder::kSectorsPerTrack;
constexpr size_t kTsSectorSize = d88test::TsDiskBuilder::kSectorSize;
constexpr int kTsMaxFileSectors = 255;
constexpr int kTsMaxFiles = 127;  // the 128th entry is the end mark

// xorshift64*: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  // A value from low to high, both included.
  size_t Between(size_t low, size_t high) {
    return low + static_cast<size_t>(Next() % (high - low + 1));
  }

 private:
  uint64_t state_;
};

// File sizes as a disk of programs and data holds them: mostly small files,
// some of a few extents, a few large ones.
size_t VariedSize(Random& random) {
  const uint64_t kind = random.Next() % 16;
  if (kind == 0) return 0;
  if (kind < 7) return random.Between(1, 4096);
  if (kind < 12) return random.Between(4097, 24 * 1024);
  if (kind < 15) return random.Between(24 * 1024 + 1, 96 * 1024);
  return random.Between(96 * 1024 + 1, 240 * 1024);
}

std::string Numbered(const char* prefix, int number) {
  char text[16];
  snprintf(text, sizeof text, "%s%03d", prefix, number);
  return text;
}

Bytes CpmDisk(int diskIndex, Random& random) {
  static const char* const kExtensions[] = {"COM", "BAS", "DAT", "TXT", "DOC", "BIN", "SUB", ""};
  d88test::CpmDiskBuilder cpm;
  cpm.SetName(Numbered("CPM BENCH ", diskIndex));
  int nextBlock = kCpmFirstBlock;
  int entries = 0;
  for (int file = 0;; ++file) {
    size_t size = VariedSize(random);
    const size_t blocksLeft = static_cast<size_t>(kCpmLastBlock + 1 - nextBlock);
    if (size > blocksLeft * kCpmBlockSize) size = blocksLeft * kCpmBlockSize;
    const int blocks = static_cast<int>((size + kCpmBlockSize - 1) / kCpmBlockSize);
    const int fileEntries = size == 0 ? 1 : static_cast<int>((size + kCpmEntryBytes - 1) / kCpmEntryBytes);
    if (entries + fileEntries > kCpmMaxEntries) break;
    const uint8_t user = file % 9 == 8 ? 1 : 0;
    cpm.AddFile(user, Numbered("FILE", file), kExtensions[file % 8],
                d88test::Pattern(size, static_cast<uint8_t>(diskIndex * 31 + file)));
    nextBlock += blocks;
    entries += fileEntries;
    if (nextBlock > kCpmLastBlock) break;
  }
  // Free space past the last block a directory entry can name.
  for (int block = kCpmLastBlock + 1; block <= kCpmLastFillerBlock; ++block) {
    cpm.PutBlock(block, Bytes(kCpmBlockSize, 0xE5));
  }
  d88test::DiskBuilder data = cpm.ToDisk();
  // Lay the tracks out in order, the system tracks first, as a disk has them.
  d88test::DiskBuilder disk;
  disk.SetName(Numbered("CPM BENCH ", diskIndex));
  for (int t = 0; t < kCpmTrackCount; ++t) {
    if (t < kCpmSystemTracks) {
      disk.SetTrack(t, d88test::StandardTrack(t, 16, 1, d88test::Pattern(16 * 256, 0x5A)));
    } else {
      disk.SetTrack(t, data.Track(t));
    }
  }
  return disk.Build();
}

Bytes TsDisk(int diskIndex, Random& random) {
  static const char* const kExtensions[] = {"BIN", "DAT", "TXT", "BAS", ""};
  d88test::TsDiskBuilder ts;
  ts.SetName(Numbered("TS BENCH ", diskIndex));
  ts.PutData(0, 1, d88test::Pattern(kTsSectorsPerTrack * kTsSectorSize, 0x4B));  // boot track
  int track = kTsFirstFileTrack;
  int record = 1;
  const int lastSector = kTsTrackCount * kTsSectorsPerTrack;
  for (int file = 0; file < kTsMaxFiles; ++file) {
    const int sectorsLeft = lastSector - (track * kTsSectorsPerTrack + record - 1);
    if (sectorsLeft <= 0) break;
    size_t size = VariedSize(random);
    if (size == 0) size = 1;
    size = std::min(size, static_cast<size_t>(std::min(sectorsLeft, kTsMaxFileSectors)) * kTsSectorSize);
    const Bytes data = d88test::Pattern(size, static_cast<uint8_t>(diskIndex * 17 + file));
    if (file % 5 == 4) {
      ts.AddFile(Numbered("PCM", file), "DAT", track, record, data);
    } else {
      ts.AddFile(Numbered("FILE", file), kExtensions[file % 5], track, record, data);
    }
    const int sectors = static_cast<int>((size + kTsSectorSize - 1) / kTsSectorSize);
    const int next = track * kTsSectorsPerTrack + record - 1 + sectors;
    track = next / kTsSectorsPerTrack;
    record = next % kTsSectorsPerTrack + 1;
  }
  ts.AddEndMark();
  // Every track of the disk is there, also those no file reaches.
  d88test::DiskBuilder disk = ts.ToDisk();
  for (int t = 0; t < kTsTrackCount; ++t) {
    bool present = true;
    try {
      disk.Track(t);
    } catch (const std::out_of_range&) {
      present = false;
    }
    if (!present) disk.SetTrack(t, d88test::StandardTrack(t, kTsSectorsPerTrack, 3));
  }
  return disk.Build();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 1;
  }
  const std::string folder = argv[1];
  Random cpmRandom(0x43504D2D42454E43ULL);
  Random tsRandom(0x54532D42454E4348ULL);
  std::vector<Bytes> cpmDisks;
  std::vector<Bytes> tsDisks;
  for (int i = 0; i < kDiskCount; ++i) {
    cpmDisks.push_back(CpmDisk(i, cpmRandom));
    tsDisks.push_back(TsDisk(i, tsRandom));
  }
  if (!d88test::WriteImageFile(folder + "/bench-cpm.d88", d88test::Concat(cpmDisks)) ||
      !d88test::WriteImageFile(folder + "/bench-ts.d88", d88test::Concat(tsDisks))) {
    fprintf(stderr, "cannot write the benchmark images\n");
    return 1;
  }
  return 0;
}
