// d88cpm against an independent CP/M implementation: cpmtools makes the file
// systems and puts the files on them, d88cpm takes them off again.
//
// What cpmtools writes past a file's end: cpmcp writes whole blocks, and in a
// binary copy (no -t) every byte after the file's last byte, in its last
// record and on to the end of its last block, is 0x00 (a text copy would pad
// with ^Z instead). The raw image is filled with 0xAA before mkfs.cpm, which
// writes only the reserved tracks and the directory, so those zeros are
// cpmcp's own and not a hole in the image file. cpmcp also keeps the byte
// count of the last record in entry byte 13, which d88cpm does not read:
// d88cpm sizes files in whole sectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "d88_builder.h"

namespace {

namespace fs = std::filesystem;
using d88test::Bytes;
using d88test::RunResult;

// The disk layout of d88cpm: 256-byte sectors, 16 a track, the two heads'
// tracks one after the other (track index = cylinder * 2 + head), 4 reserved
// tracks, then the 128-entry directory in the first two 2 KiB blocks. 132
// tracks give 256 blocks, so that every block number fits the one byte an
// entry has for it.
constexpr int kTracks = 132;
constexpr int kSectorSize = 256;
constexpr int kSectorsPerTrack = 16;
constexpr size_t kTrackSize = kSectorSize * kSectorsPerTrack;
constexpr char kFormat[] = "d88cpm";
constexpr char kDiskDefs[] =
    "diskdef d88cpm\n"
    "  seclen 256\n"
    "  tracks 132\n"
    "  sectrk 16\n"
    "  blocksize 2048\n"
    "  maxdir 128\n"
    "  skew 0\n"
    "  boottrk 4\n"
    "  os 2.2\n"
    "end\n";

struct HostFile {
  int user;
  std::string name;  // 8.3, upper case
  size_t size;
  // What d88cpm gives: whole blocks, but for the last block of an entry
  // whose record count is below 0x80 the sectors its records cover, or the
  // whole block when its counter ran out on the earlier blocks. CP/M counts
  // the records of an entry's last 16 KiB only.
  size_t extractedLength;
};

Bytes Content(const HostFile& file) {
  return d88test::Pattern(file.size, static_cast<uint8_t>(file.name[0] * 3 + file.size));
}

// Runs a cpmtools program in folder, where it finds the diskdefs file.
void RunCpmTool(const std::string& tool, const std::vector<std::string>& args,
                const fs::path& folder) {
  const RunResult run = d88test::RunTool(tool, args, folder);
  ASSERT_EQ(run.exitCode, 0) << tool << " " << args.back() << ": " << run.err;
}

// A raw disk made by mkfs.cpm, with the files put on it by cpmcp in order.
Bytes MakeRawDisk(const std::vector<HostFile>& files) {
  d88test::TempFolder folder;
  const fs::path& here = folder.path();
  d88test::WriteBytes(here / "diskdefs", Bytes(kDiskDefs, kDiskDefs + sizeof kDiskDefs - 1));
  d88test::WriteBytes(here / "disk.img", Bytes(kTracks * kTrackSize, 0xAA));
  RunCpmTool(MKFS_CPM_PATH, {"-f", kFormat, "disk.img"}, here);
  for (const HostFile& file : files) {
    d88test::WriteBytes(here / "put", Content(file));
    RunCpmTool(CPMCP_PATH,
               {"-f", kFormat, "disk.img", "put", std::to_string(file.user) + ":" + file.name},
               here);
  }
  return d88test::ReadBytes(here / "disk.img");
}

// Each track of the raw disk becomes track index t with records 1 to 16 of
// C = t / 2, H = t % 2, N = 1.
Bytes WrapAsD88(const Bytes& raw) {
  d88test::DiskBuilder disk;
  for (size_t t = 0; t * kTrackSize < raw.size(); ++t) {
    const auto begin = raw.begin() + static_cast<std::ptrdiff_t>(t * kTrackSize);
    const Bytes track(begin, begin + static_cast<std::ptrdiff_t>(
                                         std::min(kTrackSize, raw.size() - t * kTrackSize)));
    disk.SetTrack(static_cast<int>(t), d88test::StandardTrack(static_cast<int>(t),
                                                              kSectorsPerTrack, 1, track));
  }
  return disk.Build();
}

std::string ListingLine(const HostFile& file) {
  char line[64];
  snprintf(line, sizeof line, "%-12s %5zu\n", file.name.c_str(), file.extractedLength);
  return line;
}

TEST(CpmtoolsInterop, FilesPutByCpmcpExtractWhole) {
  // Sizes around a record, a sector, a block, 16 KiB (where a record count
  // is full) and 32 KiB (where an entry is full), and past several entries.
  // The first disk ends with a file of full extents that the second disk's
  // first file finishes; the second disk's last file is still continuing
  // when the run ends.
  const std::vector<std::vector<HostFile>> disks = {
      {
          {0, "EMPTY.BIN", 0, 0},
          {0, "R100.BIN", 100, 256},
          {0, "R128.BIN", 128, 256},
          {1, "R129.BIN", 129, 256},
          {1, "S255.BIN", 255, 256},
          {1, "S256.BIN", 256, 256},
          {1, "S257.BIN", 257, 512},
          {2, "B2047.BIN", 2047, 2048},
          {2, "B2048.BIN", 2048, 2048},
          {2, "B2049.BIN", 2049, 2304},
          {2, "K16383.BIN", 16383, 16384},
          {3, "K16384.BIN", 16384, 16384},
          // Nine blocks: the counter of 1 sector runs out on the first.
          {3, "K16385.BIN", 16385, 18432},
          {3, "K20000.BIN", 20000, 20480},
          {15, "K32767.BIN", 32767, 32768},
          {15, "K32768.BIN", 32768, 32768},
          {15, "K32769.BIN", 32769, 33024},
          {15, "K40000.BIN", 40000, 40192},
          {5, "BIG.BIN", 123457, 124928},
          {4, "K49152.BIN", 49152, 49152},
      },
      {
          // Longer than 320 KiB: eleven entries.
          {0, "HUGE.DAT", 340000, 340224},
          {1, "AFTER.TXT", 300, 512},
          {7, "LAST.BIN", 32768, 32768},
      },
  };

  Bytes image;
  for (const std::vector<HostFile>& files : disks) {
    const Bytes raw = MakeRawDisk(files);
    if (HasFatalFailure()) return;
    ASSERT_EQ(raw.size(), kTracks * kTrackSize);
    image = d88test::Concat({image, WrapAsD88(raw)});
  }

  for (const bool folders : {true, false}) {
    SCOPED_TRACE(folders ? "disk folders" : "-d");
    d88test::TempFolder temp;
    const fs::path out = temp.path() / "out";
    fs::create_directory(out);
    d88test::WriteBytes(temp.path() / "disks.d88", image);
    std::vector<std::string> args{"../disks.d88"};
    if (!folders) args.push_back("-d");
    const RunResult run = d88test::RunTool(d88test::D88cpmPath(), args, out);

    std::string listing;
    std::vector<std::string> expectedPaths;
    for (size_t d = 0; d < disks.size(); ++d) {
      const std::string folder = folders ? "00" + std::to_string(d) + "/" : "";
      if (folders) expectedPaths.push_back(folder);
      for (const HostFile& file : disks[d]) {
        listing += ListingLine(file);
        expectedPaths.push_back(folder + file.name);
      }
    }
    std::sort(expectedPaths.begin(), expectedPaths.end());
    EXPECT_EQ(run.out, listing);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);

    const std::map<std::string, Bytes> tree = d88test::Tree(out);
    std::vector<std::string> paths;
    for (const auto& entry : tree) paths.push_back(entry.first);
    EXPECT_EQ(paths, expectedPaths);

    for (size_t d = 0; d < disks.size(); ++d) {
      for (const HostFile& file : disks[d]) {
        const std::string path = (folders ? "00" + std::to_string(d) + "/" : "") + file.name;
        SCOPED_TRACE(path);
        const auto found = tree.find(path);
        if (found == tree.end()) continue;
        const Bytes& got = found->second;
        ASSERT_EQ(got.size(), file.extractedLength);
        ASSERT_EQ(got.size() % kSectorSize, 0u);
        const Bytes put = Content(file);
        EXPECT_TRUE(std::equal(put.begin(), put.end(), got.begin())) << "content differs";
        EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(put.size()), got.end(),
                                [](uint8_t b) { return b == 0; }))
            << "bytes after the end are not cpmcp's zeros";
      }
    }
  }
}

}  // namespace
