// The reader's rules on images built in code: the disk scan, the selection
// of a disk, the track lookup, the sector search, runs across tracks, the ID
// listing, and files cut short at every length.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cli_runner.h"
#include "d88_builder.h"
#include "d88_image.h"

namespace {

using d88test::Bytes;
using d88test::Concat;
using d88test::DiskBuilder;
using d88test::Pattern;
using d88test::Sector;
using d88test::StandardTrack;

constexpr uint8_t kFill = 0xEE;  // destination bytes the reader must not touch
constexpr size_t kHeader = 688;  // one disk header

// An image written to a fresh folder and opened by a fresh reader.
class OpenedImage {
 private:
  d88test::TempFolder folder_;  // declared first: it outlives the reader
  std::filesystem::path path_;

 public:
  explicit OpenedImage(const Bytes& bytes) : path_(folder_.path() / "image.d88") {
    d88test::WriteBytes(path_, bytes);
    opened = image.Open(path_.string().c_str());
  }
  const std::filesystem::path& path() const { return path_; }

  d88::D88Image image;
  bool opened = false;
};

Sector MakeSector(int c, int h, int r, int n, int sectorCount, Bytes data) {
  Sector s;
  s.c = static_cast<uint8_t>(c);
  s.h = static_cast<uint8_t>(h);
  s.r = static_cast<uint8_t>(r);
  s.n = static_cast<uint8_t>(n);
  s.sectorCount = static_cast<uint16_t>(sectorCount);
  s.data = std::move(data);
  return s;
}

// The content of sector R of track index t: different for every sector of a
// case, so a sector read from the wrong place or in the wrong order shows.
Bytes SectorData(int track, int record, size_t size) {
  return Pattern(size, static_cast<uint8_t>(track * 16 + record));
}

// A track as a formatter lays it out (C = t / 2, H = t % 2), each sector
// holding its own SectorData.
std::vector<Sector> MarkedTrack(int track, int count, int sizeCode, int firstRecord = 1) {
  std::vector<Sector> sectors = StandardTrack(track, count, sizeCode, {}, firstRecord);
  for (Sector& s : sectors) s.data = SectorData(track, s.r, s.data.size());
  return sectors;
}

// Track index 0 with sectors R 1, 2, 3 ... of 128 bytes whose headers carry
// the given sector counts.
std::vector<Sector> TrackWithCounts(const std::vector<int>& counts) {
  std::vector<Sector> sectors = MarkedTrack(0, static_cast<int>(counts.size()), 0);
  for (size_t i = 0; i < counts.size(); ++i) {
    sectors[i].sectorCount = static_cast<uint16_t>(counts[i]);
  }
  return sectors;
}

// The data of the sectors (track index, R) of a run, in order.
Bytes RunData(const std::vector<std::pair<int, int>>& sectors, int sizeCode) {
  Bytes all;
  for (const auto& [t, r] : sectors) {
    const Bytes data = SectorData(t, r, size_t{128} << sizeCode);
    all.insert(all.end(), data.begin(), data.end());
  }
  return all;
}

Bytes Prefix(const Bytes& bytes, size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

std::string DiskName(const d88::D88Image& image) { return image.GetDiskName(); }

// All 17 bytes of the name buffer: the name and NUL up to the end.
Bytes NameBuffer(const d88::D88Image& image) {
  const char* name = image.GetDiskName();
  return Bytes(name, name + 17);
}

Bytes NameBytes(const std::string& name) {
  Bytes bytes(name.begin(), name.end());
  bytes.resize(17, 0);
  return bytes;
}

Bytes Disk(const std::string& name) {
  return DiskBuilder().SetName(name).SetTrack(0, MarkedTrack(0, 2, 0)).Build();
}

// ---------------------------------------------------------------- disk scan

struct ScanCase {
  const char* name;
  Bytes file;
  int diskCount;
  std::vector<std::string> names;  // of each disk found, showing where it starts
};

std::vector<ScanCase> ScanCases() {
  const Bytes a = Disk("A");
  const Bytes b = DiskBuilder().SetName("B").SetTrack(1, MarkedTrack(1, 3, 1)).Build();
  std::vector<ScanCase> cases = {
      {"empty file: no disk", {}, 0, {}},
      {"file shorter than one header: no disk", Prefix(a, kHeader - 1), 0, {}},
      {"exactly one header: one disk", Prefix(a, kHeader), 1, {"A"}},
      {"one disk whose size is the file length", a, 1, {"A"}},
      {"two disks: the second starts where the first ends", Concat({a, b}), 2, {"A", "B"}},
      {"687 bytes after the last disk are ignored", Concat({a, Bytes(687, 'x')}), 1, {"A"}},
      {"688 bytes after the last disk are a disk, whatever they hold",
       Concat({a, Bytes(688, 'x')}), 2, {"A", "xxxxxxxxxxxxxxxx"}},
  };

  // Disk size 0: the same header is read again and again up to the limit.
  {
    ScanCase c{"disk size 0 repeats one header up to 64 disks",
               Concat({a, DiskBuilder().SetName("B").OverrideDiskSize(0).Build()}), 64, {"A"}};
    c.names.resize(64, "B");
    cases.push_back(c);
  }
  // Disk size 4: the next header starts 4 bytes into this one, so its name
  // is this name from its 5th byte, and its disk size is what this header
  // holds at 4 + 0x1C, the offset of track 0 (set here to end the scan).
  cases.push_back({"disk size below 688 starts the next header inside this one",
                   Concat({DiskBuilder()
                               .SetName("ABCDEFGHIJKLMNOP")
                               .OverrideDiskSize(4)
                               .OverrideTrackOffset(0, 0x100000)
                               .Build(),
                           Bytes(4, 0)}),
                   2,
                   {"ABCDEFGHIJKLMNOP", "EFGHIJKLMNOP"}});
  {
    ScanCase c{"more than 64 disks: only the first 64", {}, 64, {}};
    std::vector<Bytes> disks;
    for (int i = 0; i < 65; ++i) {
      const std::string name = "D" + std::to_string(100 + i);
      disks.push_back(Disk(name));
      if (i < 64) c.names.push_back(name);
    }
    c.file = Concat(disks);
    cases.push_back(c);
  }
  // Offsets are signed 32-bit: a start outside 0..2^31-1 ends the scan,
  // with no wrap-around and no signed overflow in the sum.
  cases.push_back({"disk size 0x80000000: the next start is negative",
                   Concat({DiskBuilder().SetName("A").OverrideDiskSize(0x80000000u).Build(), b}), 1,
                   {"A"}});
  cases.push_back({"disk size 0xFFFFFFFF: the next start is -1",
                   Concat({DiskBuilder().SetName("A").OverrideDiskSize(0xFFFFFFFFu).Build(), b}), 1,
                   {"A"}});
  cases.push_back({"a start above 2^31-1 ends the scan",
                   Concat({a, DiskBuilder().SetName("B").OverrideDiskSize(0x7FFFFFFFu).Build(), a}),
                   2,
                   {"A", "B"}});
  cases.push_back({"a start past the end of the file ends the scan",
                   Concat({DiskBuilder().SetName("A").OverrideDiskSize(0x10000).Build(), b}), 1,
                   {"A"}});
  return cases;
}

TEST(DiskScanTest, FindsTheDisksTheSizesLeadTo) {
  for (const ScanCase& c : ScanCases()) {
    SCOPED_TRACE(c.name);
    OpenedImage file(c.file);
    d88::D88Image& image = file.image;
    ASSERT_TRUE(file.opened);
    ASSERT_EQ(image.GetDiskCount(), c.diskCount);
    for (int i = 0; i < c.diskCount; ++i) {
      SCOPED_TRACE("disk " + std::to_string(i));
      ASSERT_TRUE(image.SelectDisk(i));
      EXPECT_EQ(DiskName(image), c.names[i]);
    }
    EXPECT_FALSE(image.SelectDisk(c.diskCount));
  }
}

TEST(DiskScanTest, OpenOfAMissingPathFails) {
  d88test::TempFolder folder;
  d88::D88Image image;
  EXPECT_FALSE(image.Open((folder.path() / "missing.d88").string().c_str()));
  EXPECT_EQ(image.GetDiskCount(), 0);
  EXPECT_FALSE(image.SelectDisk(0));
}

TEST(DiskScanTest, OpenOfAFolderFails) {
  d88test::TempFolder folder;
  d88::D88Image image;
  EXPECT_FALSE(image.Open(folder.path().string().c_str()));
  EXPECT_EQ(image.GetDiskCount(), 0);
  EXPECT_FALSE(image.SelectDisk(0));
}

// A failed Open leaves the reader closed, not holding a stream it let go.
TEST(DiskScanTest, FailedOpenAfterAnOpenLeavesTheReaderClosed) {
  OpenedImage file(Disk("A"));
  d88::D88Image& image = file.image;
  ASSERT_TRUE(file.opened);
  d88test::TempFolder folder;
  for (const std::filesystem::path& bad : {folder.path(), folder.path() / "missing.d88"}) {
    SCOPED_TRACE(bad.string());
    ASSERT_TRUE(image.Open(file.path().string().c_str()));
    EXPECT_FALSE(image.Open(bad.string().c_str()));
    EXPECT_FALSE(image.SelectDisk(0));
  }
  // And it opens again afterwards.
  ASSERT_TRUE(image.Open(file.path().string().c_str()));
  EXPECT_EQ(image.GetDiskCount(), 1);
  EXPECT_TRUE(image.SelectDisk(0));
}

TEST(DiskScanTest, OpenNullOnANewObject) {
  d88::D88Image image;
  EXPECT_TRUE(image.Open(nullptr));
  EXPECT_EQ(image.GetDiskCount(), 0);
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_EQ(DiskName(image), "");
  EXPECT_FALSE(image.SelectDisk(0));
}

// ---------------------------------------------------------------- selection

struct NameCase {
  const char* name;
  std::string field;  // the header's 16 name bytes
  std::string expected;
};

TEST(SelectDiskTest, NameIsTheBytesBeforeTheFirstNul) {
  const std::vector<NameCase> cases = {
      {"16 bytes without NUL: all 16, NUL-terminated", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
      {"a field starting with NUL is an empty name", std::string("\0BCDEFGH", 8), ""},
      {"bytes after the first NUL never appear", std::string("AB\0CDEFGHIJKLMN", 15), "AB"},
      // "ディスク" (disk) in code page 932, copied unconverted.
      {"code page 932 bytes pass unchanged", "\x83\x66\x83\x42\x83\x58\x83N",
       "\x83\x66\x83\x42\x83\x58\x83N"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    // Disk 0 has a long name first, so that a shorter one must not keep its tail.
    OpenedImage file(Concat({Disk("0123456789ABCDEF"), Disk(c.field)}));
    d88::D88Image& image = file.image;
    ASSERT_EQ(image.GetDiskCount(), 2);
    ASSERT_TRUE(image.SelectDisk(0));
    ASSERT_TRUE(image.SelectDisk(1));
    EXPECT_EQ(NameBuffer(image), NameBytes(c.expected));
  }
}

TEST(SelectDiskTest, MediaTypeIsAnUnsignedByte) {
  const std::vector<std::pair<uint8_t, int>> cases = {
      {0x00, 0}, {0x20, 0x20}, {0x80, 128}, {0xFF, 255}};
  for (const auto& [byte, expected] : cases) {
    SCOPED_TRACE(expected);
    OpenedImage file(DiskBuilder().SetMediaType(byte).Build());
    ASSERT_TRUE(file.image.SelectDisk(0));
    EXPECT_EQ(file.image.GetMediaType(), expected);
  }
}

TEST(SelectDiskTest, RefusedIndexClearsTheSelection) {
  const std::vector<std::pair<const char*, int>> indexes = {
      {"-1", -1}, {"the disk count", 2}, {"above the count", 3}, {"INT_MIN", INT_MIN}, {"64", 64}};
  OpenedImage file(Concat({DiskBuilder()
                               .SetName("FIRST")
                               .SetMediaType(0x10)
                               .SetTrack(0, MarkedTrack(0, 2, 0))
                               .Build(),
                           Disk("SECOND")}));
  d88::D88Image& image = file.image;
  ASSERT_EQ(image.GetDiskCount(), 2);
  for (const auto& [name, index] : indexes) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(image.SelectDisk(0));
    ASSERT_EQ(DiskName(image), "FIRST");
    EXPECT_FALSE(image.SelectDisk(index));
    EXPECT_EQ(DiskName(image), "");
    EXPECT_EQ(image.GetMediaType(), -1);
    // No disk is selected: the track that was readable before is not.
    Bytes dest(256, kFill);
    EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 0, dest.data(), 128), 0);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 0, dest.data(), 128), 0);
    EXPECT_EQ(image.GetSectorIds(0, dest.data(), 64), 0);
    EXPECT_EQ(dest, Bytes(256, kFill));
  }
}

TEST(SelectDiskTest, NoReadBeforeTheFirstSelection) {
  OpenedImage file(Disk("A"));
  Bytes dest(128, kFill);
  EXPECT_EQ(file.image.ReadSector(0, 0, 0, 1, 0, dest.data(), 128), 0);
  EXPECT_EQ(file.image.GetSectorIds(0, dest.data(), 64), 0);
  EXPECT_EQ(dest, Bytes(128, kFill));
}

TEST(SelectDiskTest, AfterClosingNothingChanges) {
  OpenedImage file(
      DiskBuilder().SetName("KEEP").SetMediaType(0x20).SetTrack(0, MarkedTrack(0, 1, 0)).Build());
  d88::D88Image& image = file.image;
  ASSERT_TRUE(image.SelectDisk(0));
  ASSERT_TRUE(image.Open(nullptr));
  EXPECT_EQ(image.GetDiskCount(), 0);
  EXPECT_EQ(image.GetMediaType(), -1);  // closing resets the media type
  EXPECT_EQ(DiskName(image), "KEEP");   // but not the name
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_EQ(DiskName(image), "KEEP");
  Bytes dest(128, kFill);
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 0, dest.data(), 128), 0);
  EXPECT_EQ(image.GetSectorIds(0, dest.data(), 64), 0);
  EXPECT_EQ(dest, Bytes(128, kFill));
}

// ---------------------------------------------------------------- track lookup

// The sector every lookup case looks for: C 1, H 1, R 1, N 0 with 32 bytes.
Sector Probe() { return MakeSector(1, 1, 1, 0, 1, Pattern(32, 0x51)); }

struct LookupCase {
  const char* name;
  Bytes file;
  int disk;
  int track;
  bool found;
};

std::vector<LookupCase> LookupCases() {
  const Bytes first = Disk("FIRST");
  const Bytes probeTrack = d88test::TrackBytes({Probe()});
  // A disk whose track 3 table entry is offset, with no tracks of its own.
  auto bare = [](uint32_t offset) {
    return DiskBuilder().SetName("BARE").OverrideTrackOffset(3, offset).Build();
  };
  // A disk name that reads as the probe's header (count 1, 32 data bytes):
  // a lookup that took offset 0 as a track would find the probe in it.
  const std::string decoy("\x01\x01\x01\x00\x01\x00" "decoy...\x20\x00", 16);

  return {
      {"a present track is read", DiskBuilder().SetTrack(3, {Probe()}).Build(), 0, 3, true},
      {"in the second disk, from that disk's start",
       Concat({first, DiskBuilder().SetTrack(3, {Probe()}).Build()}), 1, 3, true},
      {"track index -1", DiskBuilder().SetTrack(3, {Probe()}).Build(), 0, -1, false},
      {"track index 164", DiskBuilder().SetTrack(3, {Probe()}).Build(), 0, 164, false},
      {"offset 0: the track is absent",
       DiskBuilder().SetName(decoy).SetTrack(3, {Probe()}).OverrideTrackOffset(3, 0).Build(), 0,
       3, false},
      {"offset equal to the disk size: read from the first byte after the disk",
       Concat({first, bare(kHeader), probeTrack}), 1, 3, true},
      {"offset one above the disk size fails",
       Concat({first, bare(kHeader + 1), Bytes(1, 0), probeTrack}), 1, 3, false},
      {"offset equal to the disk size at the end of the file", Concat({first, bare(kHeader)}), 1,
       3, false},
      {"track position past the end of the file",
       DiskBuilder().OverrideDiskSize(0x100000).OverrideTrackOffset(3, 0x80000).Build(), 0, 3,
       false},
      {"track offset 0x80000000 (negative as stored)",
       Concat({first,
               DiskBuilder().SetTrack(3, {Probe()}).OverrideTrackOffset(3, 0x80000000u).Build()}),
       1, 3, false},
  };
}

TEST(TrackLookupTest, OnlyTracksInsideTheDiskAreRead) {
  for (const LookupCase& c : LookupCases()) {
    SCOPED_TRACE(c.name);
    OpenedImage file(c.file);
    d88::D88Image& image = file.image;
    ASSERT_TRUE(image.SelectDisk(c.disk));
    Bytes dest(64, kFill);
    const int32_t got = image.ReadSector(c.track, 1, 1, 1, 0, dest.data(), 64);
    Bytes expected(64, kFill);
    if (c.found) {
      const Bytes data = Pattern(32, 0x51);
      std::copy(data.begin(), data.end(), expected.begin());
    }
    EXPECT_EQ(got, c.found ? 32 : 0);
    EXPECT_EQ(dest, expected);

    Bytes ids(16, kFill);
    Bytes expectedIds = c.found ? Bytes{1, 1, 1, 0} : Bytes{};
    expectedIds.resize(ids.size(), kFill);
    EXPECT_EQ(image.GetSectorIds(c.track, ids.data(), 12), c.found ? 4 : 0);
    EXPECT_EQ(ids, expectedIds);
  }
}

// ---------------------------------------------------------------- sector search

struct SearchCase {
  const char* name;
  std::vector<Sector> track;  // track index 0
  int c, h, r, n;
  int32_t capacity;
  Bytes delivered;  // the bytes placed at the start of the destination
};

std::vector<SearchCase> SearchCases() {
  const Bytes d1 = SectorData(0, 1, 128), d2 = SectorData(0, 2, 128), d3 = SectorData(0, 3, 128);
  const Bytes ff = Pattern(16, 0xF0), zero = Pattern(16, 0x0F);
  auto plusOne = [](std::vector<Sector> track, Sector extra) {
    track.push_back(std::move(extra));
    return track;
  };
  const std::vector<Sector> ffTrack = {MakeSector(255, 255, 255, 255, 1, ff)};
  const std::vector<Sector> zeroTrack = {MakeSector(0, 0, 0, 0, 1, zero)};
  return {
      {"a sector in the middle of the track", MarkedTrack(0, 3, 0), 0, 0, 2, 0, 128, d2},
      {"the last sector that the counts allow", MarkedTrack(0, 3, 0), 0, 0, 3, 0, 128, d3},
      {"count 0 on the first header ends the search before its ID is compared",
       TrackWithCounts({0}), 0, 0, 1, 0, 128, {}},
      {"count 0 on a later header ends the search", TrackWithCounts({3, 0, 3}), 0, 0, 3, 0, 128,
       {}},
      {"m headers, none matching: the sector after them is not read",
       plusOne(MarkedTrack(0, 3, 0), MakeSector(0, 0, 9, 0, 3, d1)), 0, 0, 9, 0, 128, {}},
      {"each header's own count: one equal to its position ends the track",
       TrackWithCounts({5, 2, 5}), 0, 0, 3, 0, 128, {}},
      {"a count below the header's position does not end the search", TrackWithCounts({5, 1, 5}),
       0, 0, 3, 0, 128, d3},
      {"two sectors with one ID: the first in file order",
       {MakeSector(0, 0, 1, 0, 2, d1), MakeSector(0, 0, 1, 0, 2, d2)}, 0, 0, 1, 0, 128, d1},
      {"C and H come from the header, not from the track index",
       {MakeSector(5, 1, 1, 0, 1, d1)}, 5, 1, 1, 0, 128, d1},
      {"N takes part in the comparison", MarkedTrack(0, 3, 0), 0, 0, 2, 1, 256, {}},
      {"H takes part in the comparison", MarkedTrack(0, 3, 0), 0, 1, 2, 0, 128, {}},
      {"wanted 255 matches a byte 0xFF", ffTrack, 255, 255, 255, 255, 16, ff},
      {"wanted C -1 matches no byte 0xFF", ffTrack, -1, 255, 255, 255, 16, {}},
      {"wanted H -1 matches no byte 0xFF", ffTrack, 255, -1, 255, 255, 16, {}},
      {"wanted R -1 matches no byte 0xFF", ffTrack, 255, 255, -1, 255, 16, {}},
      {"wanted N -1 matches no byte 0xFF", ffTrack, 255, 255, 255, -1, 16, {}},
      {"wanted C 256 matches no byte 0", zeroTrack, 256, 0, 0, 0, 16, {}},
      {"wanted H 256 matches no byte 0", zeroTrack, 0, 256, 0, 0, 16, {}},
      {"wanted R 256 matches no byte 0", zeroTrack, 0, 0, 256, 0, 16, {}},
      {"wanted N 256 matches no byte 0", zeroTrack, 0, 0, 0, 256, 16, {}},
      {"data longer than the capacity: exactly capacity bytes", MarkedTrack(0, 3, 0), 0, 0, 2, 0,
       100, Prefix(d2, 100)},
      {"dataLength, not N, says how much there is",
       {MakeSector(0, 0, 1, 1, 1, Prefix(d1, 100))}, 0, 0, 1, 1, 256, Prefix(d1, 100)},
      {"the search skips by dataLength, not by N",
       {MakeSector(0, 0, 1, 3, 2, Prefix(d1, 10)), MakeSector(0, 0, 2, 0, 2, d2)}, 0, 0, 2, 0, 128,
       d2},
      {"dataLength 0 delivers nothing", {MakeSector(0, 0, 1, 0, 1, {})}, 0, 0, 1, 0, 128, {}},
      {"capacity 0 delivers nothing", MarkedTrack(0, 3, 0), 0, 0, 1, 0, 0, {}},
  };
}

TEST(SectorSearchTest, FindsTheFirstMatchWithinTheCounts) {
  for (const SearchCase& c : SearchCases()) {
    SCOPED_TRACE(c.name);
    OpenedImage file(DiskBuilder().SetTrack(0, c.track).Build());
    d88::D88Image& image = file.image;
    ASSERT_TRUE(image.SelectDisk(0));
    Bytes dest(static_cast<size_t>(c.capacity) + 64, kFill);
    EXPECT_EQ(image.ReadSector(0, c.c, c.h, c.r, c.n, dest.data(), c.capacity),
              static_cast<int32_t>(c.delivered.size()));
    Bytes expected = c.delivered;
    expected.resize(dest.size(), kFill);
    EXPECT_EQ(dest, expected);
  }
}

// ---------------------------------------------------------------- runs

struct RunCase {
  const char* name;
  std::vector<std::pair<int, std::vector<Sector>>> tracks;
  int firstSector, lastSector;
  int track, c, h, r, n;
  int32_t length;
  int32_t result;
  Bytes written;  // the destination from its start; the rest keeps its fill
};

std::vector<Sector> WithShortData(std::vector<Sector> track, size_t index, size_t length) {
  track[index].data.resize(length);
  return track;
}

std::vector<Sector> WithCylinderHead(std::vector<Sector> track, int c, int h) {
  for (Sector& s : track) {
    s.c = static_cast<uint8_t>(c);
    s.h = static_cast<uint8_t>(h);
  }
  return track;
}

std::vector<RunCase> RunCases() {
  return {
      {"a run within one track", {{0, MarkedTrack(0, 3, 0)}}, 1, 5, 0, 0, 0, 1, 0, 384, 384,
       RunData({{0, 1}, {0, 2}, {0, 3}}, 0)},
      {"a length that is not a multiple of the sector size: the last piece is shorter",
       {{0, MarkedTrack(0, 3, 0)}}, 1, 5, 0, 0, 0, 1, 0, 300, 300,
       Prefix(RunData({{0, 1}, {0, 2}, {0, 3}}, 0), 300)},
      {"never more than length, even inside one sector", {{0, MarkedTrack(0, 3, 0)}}, 1, 5, 0, 0,
       0, 1, 0, 1, 1, Prefix(RunData({{0, 1}}, 0), 1)},
      {"a sector shorter than its piece ends the run uncounted, its bytes copied",
       {{0, WithShortData(MarkedTrack(0, 3, 0), 1, 100)}}, 1, 5, 0, 0, 0, 1, 0, 384, 128,
       Concat({RunData({{0, 1}}, 0), Prefix(SectorData(0, 2, 128), 100)})},
      {"a short first sector: result 0 though the destination changed",
       {{0, WithShortData(MarkedTrack(0, 3, 0), 0, 50)}}, 1, 5, 0, 0, 0, 1, 0, 384, 0,
       Prefix(SectorData(0, 1, 128), 50)},
      {"a short last piece is whole when the sector holds that many bytes",
       {{0, WithShortData(MarkedTrack(0, 3, 0), 2, 44)}}, 1, 5, 0, 0, 0, 1, 0, 300, 300,
       Prefix(RunData({{0, 1}, {0, 2}, {0, 3}}, 0), 300)},
      {"a missing sector ends the run", {{0, MarkedTrack(0, 2, 0)}}, 1, 5, 0, 0, 0, 1, 0, 384, 256,
       RunData({{0, 1}, {0, 2}}, 0)},
      {"after the last sector: record 1 of the next track index, H 1 -> H 0 and C + 1",
       {{1, MarkedTrack(1, 5, 0)}, {2, MarkedTrack(2, 5, 0)}}, 1, 5, 1, 0, 1, 4, 0, 512, 512,
       RunData({{1, 4}, {1, 5}, {2, 1}, {2, 2}}, 0)},
      {"range 1 to 16: 32 sectors from track 4 C2 H0 cover track 5 C2 H1",
       {{4, MarkedTrack(4, 16, 1)}, {5, MarkedTrack(5, 16, 1)}, {6, MarkedTrack(6, 16, 1)}}, 1, 16,
       4, 2, 0, 1, 1, 32 * 256, 32 * 256,
       [] {
         std::vector<std::pair<int, int>> sectors;
         for (int t = 4; t <= 5; ++t) {
           for (int r = 1; r <= 16; ++r) sectors.push_back({t, r});
         }
         return RunData(sectors, 1);
       }()},
      {"the next track starts at the range's first R",
       {{0, MarkedTrack(0, 3, 0, 3)}, {1, MarkedTrack(1, 3, 0, 3)}}, 3, 5, 0, 0, 0, 4, 0, 512, 512,
       RunData({{0, 4}, {0, 5}, {1, 3}, {1, 4}}, 0)},
      {"the track index steps by itself, not from C and H",
       {{10, WithCylinderHead(MarkedTrack(10, 2, 0), 0, 1)},
        {11, WithCylinderHead(MarkedTrack(11, 2, 0), 1, 0)}},
       1, 2, 10, 0, 1, 1, 0, 512, 512, RunData({{10, 1}, {10, 2}, {11, 1}, {11, 2}}, 0)},
      {"C steps past 255 to a value no header holds",
       {{10, WithCylinderHead(MarkedTrack(10, 2, 0), 255, 1)},
        {11, WithCylinderHead(MarkedTrack(11, 2, 0), 0, 0)}},
       1, 2, 10, 255, 1, 1, 0, 512, 256, RunData({{10, 1}, {10, 2}}, 0)},
      {"a run that steps to track index 164 ends there",
       {{163, MarkedTrack(163, 2, 0)}}, 1, 2, 163, 81, 1, 1, 0, 512, 256,
       RunData({{163, 1}, {163, 2}}, 0)},
      {"a first R above the last sector never changes track",
       {{0, MarkedTrack(0, 3, 0, 6)}, {1, MarkedTrack(1, 5, 0)}}, 1, 5, 0, 0, 0, 6, 0, 640, 384,
       RunData({{0, 6}, {0, 7}, {0, 8}}, 0)},
  };
}

TEST(RunTest, StepsThroughSectorsAndTracks) {
  for (const RunCase& c : RunCases()) {
    SCOPED_TRACE(c.name);
    DiskBuilder disk;
    for (const auto& [t, sectors] : c.tracks) disk.SetTrack(t, sectors);
    OpenedImage file(disk.Build());
    d88::D88Image& image = file.image;
    ASSERT_TRUE(image.SelectDisk(0));
    image.SetSectorRange(c.firstSector, c.lastSector);
    Bytes dest(static_cast<size_t>(c.length) + 64, kFill);
    EXPECT_EQ(image.ReadSectors(c.track, c.c, c.h, c.r, c.n, dest.data(), c.length), c.result);
    Bytes expected = c.written;
    expected.resize(dest.size(), kFill);
    EXPECT_EQ(dest, expected);
  }
}

TEST(RunTest, NothingToReadGivesZero) {
  struct Case {
    const char* name;
    int n;
    int32_t length;
  };
  const std::vector<Case> cases = {
      {"length 0", 0, 0},        {"negative length", 0, -128}, {"size code -1", -1, 256},
      {"size code 24", 24, 256}, {"size code 32", 32, 256},
  };
  OpenedImage file(DiskBuilder().SetTrack(0, MarkedTrack(0, 2, 0)).Build());
  ASSERT_TRUE(file.image.SelectDisk(0));
  d88::D88Image closed;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes dest(256, kFill);
    EXPECT_EQ(file.image.ReadSectors(0, 0, 0, 1, c.n, dest.data(), c.length), 0);
    EXPECT_EQ(closed.ReadSectors(0, 0, 0, 1, c.n, dest.data(), c.length), 0);
    EXPECT_EQ(dest, Bytes(256, kFill));
  }
  // No file and no destination: a length of 0 or less touches neither.
  EXPECT_EQ(closed.ReadSectors(0, 0, 0, 1, 0, nullptr, 0), 0);
  EXPECT_EQ(closed.ReadSectors(0, 0, 0, 1, 0, nullptr, -1), 0);
}

// The range of a new reader is 1 to 16, and neither Open nor SelectDisk
// changes a range that was set.
TEST(RunTest, SectorRangeDefaultsTo1To16AndSurvivesOpenAndSelect) {
  OpenedImage file(DiskBuilder()
                       .SetTrack(0, MarkedTrack(0, 16, 0))
                       .SetTrack(1, MarkedTrack(1, 16, 0))
                       .Build());
  d88::D88Image& image = file.image;
  ASSERT_TRUE(image.SelectDisk(0));
  Bytes dest(17 * 128, kFill);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 16, 0, dest.data(), 256), 256);
  EXPECT_EQ(Prefix(dest, 256), RunData({{0, 16}, {1, 1}}, 0));

  image.SetSectorRange(1, 2);
  ASSERT_TRUE(image.Open(nullptr));
  ASSERT_TRUE(image.Open(file.path().string().c_str()));
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 2, 0, dest.data(), 256), 256);
  EXPECT_EQ(Prefix(dest, 256), RunData({{0, 2}, {1, 1}}, 0));
}

// ---------------------------------------------------------------- ID listing

struct IdsCase {
  const char* name;
  std::vector<Sector> track;  // track index 0
  int32_t capacity;
  Bytes ids;
};

TEST(SectorIdsTest, ListsHeadersUpToTheCountOrTheCapacity) {
  const std::vector<IdsCase> cases = {
      {"a whole track in file order", MarkedTrack(0, 3, 0), 64,
       {0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0}},
      {"capacity 0 writes nothing", MarkedTrack(0, 3, 0), 0, {}},
      {"negative capacity writes nothing", MarkedTrack(0, 3, 0), -4, {}},
      {"capacity 4k lists at most k", MarkedTrack(0, 3, 0), 8, {0, 0, 1, 0, 0, 0, 2, 0}},
      {"stops at the header whose count equals its position", TrackWithCounts({5, 2, 5}), 64,
       {0, 0, 1, 0, 0, 0, 2, 0}},
      {"a first header with count 0 does not stop the listing", TrackWithCounts({0, 3, 3, 3}), 64,
       {0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0}},
      {"counts never met: the capacity ends the listing", TrackWithCounts({0, 0, 0}), 8,
       {0, 0, 1, 0, 0, 0, 2, 0}},
      {"any IDs, each header found by the dataLength before it",
       {MakeSector(0, 0, 3, 1, 3, Pattern(10, 2)), MakeSector(7, 1, 255, 2, 3, {}),
        MakeSector(2, 0, 2, 0, 3, Pattern(300, 3))},
       64, {0, 0, 3, 1, 7, 1, 255, 2, 2, 0, 2, 0}},
  };
  for (const IdsCase& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedImage file(DiskBuilder().SetTrack(0, c.track).Build());
    d88::D88Image& image = file.image;
    ASSERT_TRUE(image.SelectDisk(0));
    Bytes dest(static_cast<size_t>(std::max(c.capacity, 0)) + 8, kFill);
    EXPECT_EQ(image.GetSectorIds(0, dest.data(), c.capacity), static_cast<int32_t>(c.ids.size()));
    Bytes expected = c.ids;
    expected.resize(dest.size(), kFill);
    EXPECT_EQ(dest, expected);
  }
}

TEST(SectorIdsTest, NeverWritesPastACapacityThatIsNotAMultipleOf4) {
  OpenedImage file(DiskBuilder().SetTrack(0, MarkedTrack(0, 5, 0)).Build());
  d88::D88Image& image = file.image;
  ASSERT_TRUE(image.SelectDisk(0));
  for (int32_t capacity : {1, 3, 10}) {
    SCOPED_TRACE(capacity);
    Bytes dest(32, kFill);
    const int32_t got = image.GetSectorIds(0, dest.data(), capacity);
    EXPECT_LE(got, capacity);
    EXPECT_EQ(got % 4, 0);
    EXPECT_EQ(Bytes(dest.begin() + capacity, dest.end()),
              Bytes(32 - static_cast<size_t>(capacity), kFill));
    const Bytes ids = {0, 0, 1, 0, 0, 0, 2, 0};
    EXPECT_EQ(Prefix(dest, static_cast<size_t>(got)), Prefix(ids, static_cast<size_t>(got)));
  }
}

// ---------------------------------------------------------------- cut short

// Track 0 of one disk: R1 and R2, 128 bytes each. The file is cut inside it.
struct CutCase {
  const char* name;
  size_t cut;       // file length
  int r;            // sector read
  int32_t read;     // its bytes delivered
  int32_t run;      // ReadSectors from R1 over both sectors
  int32_t idBytes;  // GetSectorIds
};

TEST(CutShortTest, ReadsOnlyWhatTheFileHolds) {
  const Bytes full = DiskBuilder().SetTrack(0, MarkedTrack(0, 2, 0)).Build();
  const size_t r1Header = kHeader, r2Header = kHeader + 16 + 128, r2Data = r2Header + 16;
  ASSERT_EQ(full.size(), r2Data + 128);
  const std::vector<CutCase> cases = {
      {"whole file", full.size(), 2, 128, 256, 8},
      {"R2's data cut after 50 bytes: those 50 are delivered", r2Data + 50, 2, 50, 128, 8},
      {"R2's data cut after 1 byte", r2Data + 1, 2, 1, 128, 8},
      {"the file ends right after R2's header", r2Data, 2, 0, 128, 8},
      {"R2's header cut short ends the search", r2Data - 1, 2, 0, 128, 4},
      {"R1 before a cut header is still read whole", r2Header + 8, 1, 128, 128, 4},
      {"R1's data cut short", r1Header + 16 + 127, 1, 127, 0, 4},
      {"R1's header cut short", r1Header + 15, 1, 0, 0, 0},
      {"the file ends where the track starts", r1Header, 1, 0, 0, 0},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedImage file(Prefix(full, c.cut));
    d88::D88Image& image = file.image;
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes dest(256, kFill);
    EXPECT_EQ(image.ReadSector(0, 0, 0, c.r, 0, dest.data(), 128), c.read);
    Bytes expected = Prefix(SectorData(0, c.r, 128), static_cast<size_t>(c.read));
    expected.resize(dest.size(), kFill);
    EXPECT_EQ(dest, expected);

    Bytes run(256, kFill);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 0, run.data(), 256), c.run);
    EXPECT_EQ(Prefix(run, static_cast<size_t>(c.run)),
              Prefix(RunData({{0, 1}, {0, 2}}, 0), static_cast<size_t>(c.run)));

    Bytes ids(16, kFill);
    EXPECT_EQ(image.GetSectorIds(0, ids.data(), 16), c.idBytes);
  }
}

// ---------------------------------------------------------------- truncation sweep

// Where each sector of the sweep image lies in the file.
struct Placed {
  size_t headerEnd;  // the file must hold this many bytes to read the header
  size_t dataAt;
  size_t dataLength;
};

using SectorKey = std::tuple<int, int, int, int, int, int>;  // disk, track, C, H, R, N

struct SweepRun {
  int disk;
  int firstSector, lastSector;
  int track, c, h, r, n;
  int32_t length;
  std::vector<std::pair<int, int>> sectors;  // (track, R) in run order, with C/H as laid out
};

// Two disks, a few tracks, sectors of 128, 256 and 512 bytes and one
// sector shorter than its size code says. Every length of it is opened and
// every sector, run and listing checked against the bytes that remain.
TEST(TruncationSweepTest, EveryLengthReadsOnlyTheBytesThatExist) {
  std::vector<std::vector<std::pair<int, std::vector<Sector>>>> disks = {
      {{1, MarkedTrack(1, 3, 0)},
       {2, WithShortData(MarkedTrack(2, 3, 0), 2, 100)},
       {5, MarkedTrack(5, 2, 1)}},
      {{0, MarkedTrack(0, 2, 1)}, {1, MarkedTrack(1, 1, 2)}},
  };
  std::vector<Bytes> diskImages;
  std::map<SectorKey, Placed> placed;
  std::vector<std::vector<std::tuple<int, int, int, int>>> diskIds(disks.size());  // of each disk
  // (disk, track index) -> its sectors in file order
  std::map<std::pair<int, int>, std::vector<SectorKey>> trackSectors;
  size_t diskStart = 0;
  for (size_t d = 0; d < disks.size(); ++d) {
    DiskBuilder builder;
    builder.SetName("SWEEP" + std::to_string(d));
    size_t at = diskStart + kHeader;  // tracks follow the header in the order added
    for (const auto& [t, sectors] : disks[d]) {
      builder.SetTrack(t, sectors);
      for (const Sector& s : sectors) {
        const SectorKey key{static_cast<int>(d), t, s.c, s.h, s.r, s.n};
        placed[key] = Placed{at + 16, at + 16, s.data.size()};
        trackSectors[{static_cast<int>(d), t}].push_back(key);
        diskIds[d].emplace_back(s.c, s.h, s.r, s.n);
        at += 16 + s.data.size();
      }
    }
    diskImages.push_back(builder.Build());
    diskStart += diskImages.back().size();
    ASSERT_EQ(diskStart, at);
  }
  for (auto& ids : diskIds) ids.emplace_back(9, 9, 9, 0);  // in no track
  const Bytes full = Concat(diskImages);
  const size_t secondDisk = diskImages[0].size();

  const std::vector<SweepRun> runs = {
      {0, 1, 3, 1, 0, 1, 1, 0, 6 * 128, {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}}},
      {0, 1, 3, 2, 1, 0, 2, 0, 200, {{2, 2}, {2, 3}}},
      {0, 1, 2, 5, 2, 1, 1, 1, 3 * 256, {{5, 1}, {5, 2}, {6, 1}}},
      {1, 1, 2, 0, 0, 0, 1, 1, 3 * 256, {{0, 1}, {0, 2}, {1, 1}}},
      {1, 1, 2, 1, 0, 1, 1, 2, 512, {{1, 1}}},
  };

  // What the bytes that remain allow a read of one sector to deliver.
  auto available = [](const Placed& p, size_t length, size_t capacity) -> int32_t {
    if (length < p.headerEnd) return 0;
    return static_cast<int32_t>(std::min({p.dataLength, capacity, length - p.dataAt}));
  };

  // Absent tracks do not depend on the cut: every track index is tried on
  // the whole file, and on each cut the present ones, an absent one and the
  // indexes just outside the table.
  std::vector<int> everyTrack;
  for (int t = -1; t <= 164; ++t) everyTrack.push_back(t);
  const std::vector<int> someTracks = {-1, 0, 1, 2, 3, 5, 164};
  constexpr size_t kCapacity = 520;  // above the largest sector

  d88test::TempFolder folder;
  const std::string path = (folder.path() / "cut.d88").string();
  // The file is written once and cut shorter step by step, from the full
  // length down to 0.
  d88test::WriteBytes(path, full);
  for (size_t length = full.size() + 1; length-- > 0;) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    const Bytes cut = Prefix(full, length);
    std::filesystem::resize_file(path, length);
    d88::D88Image image;
    ASSERT_TRUE(image.Open(path.c_str()));
    const int disksThere = (length >= kHeader) + (length >= secondDisk + kHeader);
    ASSERT_EQ(image.GetDiskCount(), disksThere);
    ASSERT_FALSE(image.SelectDisk(disksThere));

    for (int d = 0; d < disksThere; ++d) {
      ASSERT_TRUE(image.SelectDisk(d));
      ASSERT_EQ(DiskName(image), "SWEEP" + std::to_string(d));

      for (int t : length == full.size() ? everyTrack : someTracks) {
        for (const auto& [c, h, r, n] : diskIds[static_cast<size_t>(d)]) {
          const auto it = placed.find(SectorKey{d, t, c, h, r, n});
          const int32_t expected =
              it == placed.end() ? 0 : available(it->second, length, kCapacity);
          Bytes dest(kCapacity + 8, kFill);
          ASSERT_EQ(image.ReadSector(t, c, h, r, n, dest.data(), kCapacity), expected)
              << "track " << t << " R " << r;
          Bytes expectedDest(dest.size(), kFill);
          if (expected > 0) {
            const auto data = cut.begin() + static_cast<std::ptrdiff_t>(it->second.dataAt);
            std::copy(data, data + expected, expectedDest.begin());
          }
          ASSERT_TRUE(dest == expectedDest) << "track " << t << " R " << r;
        }

        Bytes ids(72, kFill);
        Bytes expectedIds;
        const auto track = trackSectors.find({d, t});
        if (track != trackSectors.end()) {
          for (const SectorKey& key : track->second) {
            if (length < placed[key].headerEnd) break;
            const auto& [disk, trackIndex, c, h, r, n] = key;
            for (int part : {c, h, r, n}) expectedIds.push_back(static_cast<uint8_t>(part));
          }
        }
        ASSERT_EQ(image.GetSectorIds(t, ids.data(), 64), static_cast<int32_t>(expectedIds.size()))
            << "track " << t;
        expectedIds.resize(ids.size(), kFill);
        ASSERT_EQ(ids, expectedIds) << "track " << t;
      }
    }

    for (const SweepRun& run : runs) {
      if (run.disk >= disksThere) continue;
      ASSERT_TRUE(image.SelectDisk(run.disk));
      image.SetSectorRange(run.firstSector, run.lastSector);
      // The run counts whole pieces up to the first sector that cannot fill its piece.
      const int32_t sectorSize = 128 << run.n;
      int32_t expected = 0;
      for (const auto& [t, r] : run.sectors) {
        const int32_t piece = std::min(sectorSize, run.length - expected);
        const auto it = placed.find(SectorKey{run.disk, t, t / 2, t % 2, r, run.n});
        if (piece <= 0 || it == placed.end() ||
            available(it->second, length, static_cast<size_t>(piece)) < piece) {
          break;
        }
        expected += piece;
      }
      Bytes dest(static_cast<size_t>(run.length), kFill);
      ASSERT_EQ(
          image.ReadSectors(run.track, run.c, run.h, run.r, run.n, dest.data(), run.length),
          expected)
          << "run from track " << run.track << " R " << run.r;
    }
  }
}

}  // namespace
