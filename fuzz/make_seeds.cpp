// Writes the seed corpus of the fuzz targets with the project's image builder:
//   make_seeds OUTPUT_FOLDER
// makes OUTPUT_FOLDER/fuzz_reader, fuzz_d88ts and fuzz_d88cpm. Each seed is a
// valid image or one of the damaged and edge cases the reader and the walks
// must survive. The tool targets take one option byte before the image, the
// reader target 16 parameter bytes.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"

using d88test::Bytes;
using d88test::CpmDiskBuilder;
using d88test::DiskBuilder;
using d88test::Pattern;
using d88test::TsDiskBuilder;

namespace {

struct Seed {
  std::string name;
  Bytes image;
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Cut(Bytes image, size_t length) {
  image.resize(length);
  return image;
}

// A track-sector disk with a PCM file and a run from record 5 across tracks.
TsDiskBuilder TsFiles() {
  TsDiskBuilder disk;
  disk.SetName("TS SEED");
  disk.AddFile("README", "TXT", 2, 1, Text("seed\r\n"));
  disk.AddFile("RUN", "BIN", 2, 5, Pattern(2500, 1));  // records 5, then track 3 records 1-2
  Bytes pcm = Text("ADPC");
  const Bytes samples = Pattern(1000, 9);
  pcm.insert(pcm.end(), samples.begin(), samples.end());
  disk.AddFile("PCMVOICE", "DAT", 3, 3, pcm);
  return disk;
}

std::vector<Seed> TsSeeds() {
  std::vector<Seed> seeds;
  TsDiskBuilder files = TsFiles();
  files.AddEndMark();
  seeds.push_back({"valid", files.Build()});
  seeds.push_back({"two-disks", d88test::Concat({files.Build(), TsDiskBuilder().AddEndMark().Build()})});

  TsDiskBuilder edges;
  edges.AddEntry("PCMTINY", "DAT", 2, 1, 1, 2);     // PCM of size 2: not cut
  edges.AddEntry("PCMFOUR", "DAT", 2, 1, 1, 4);     // PCM of size 4: cut to nothing
  edges.AddEntry("ZERO", "", 2, 1, 1, 0);           // lastSectorBytes 0
  edges.AddEntry("BIGLAST", "", 2, 1, 2, 0xFFFF);   // lastSectorBytes above a sector
  edges.AddEntry("START9", "", 2, 9, 1, 10);        // start record beyond the track
  edges.AddEntry("CROSS", "", 3, 5, 3, 100);        // track 3 record 5 to track 4: new cylinder
  edges.AddEntry("../UP", "", 2, 1, 1, 10);         // '/' in a name
  edges.AddEntry("..", "", 2, 1, 1, 10);
  edges.AddEntry(Bytes{0x00, 'A', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 'B', 0, 2, 1, 1, 5, 0});
  edges.AddEntry(Bytes{0xB1, 0x82, 0xA0, ' ', ' ', ' ', ' ', ' ', 0x20, 'X', 'Y', 2, 2, 1, 5, 0});
  edges.AddEntry("IMAGE", "D88", 2, 1, 1, 10);      // the image's own name
  edges.AddEntry("README", "TXT", 2, 1, 1, 3);      // the same name twice
  edges.AddEntry(Bytes(16, 0x20));                  // empty slot
  edges.AddEntry("LAST", "", 2, 1, 1, 1).AddEndMark();
  edges.PutData(2, 1, Pattern(5 * 1024, 3)).PutData(3, 1, Pattern(5 * 1024, 4));
  edges.PutData(4, 1, Pattern(1024, 5));
  seeds.push_back({"edges", edges.Build()});

  // Damaged disks: the reader must stop cleanly wherever the bytes end.
  const Bytes valid = files.Build();
  seeds.push_back({"truncated-data", Cut(valid, valid.size() - 3000)});
  seeds.push_back({"truncated-header", Cut(valid, 600)});
  seeds.push_back({"empty-file", Bytes{}});
  DiskBuilder absent = files.ToDisk();
  absent.RemoveTrack(3);
  seeds.push_back({"absent-track", absent.Build()});
  DiskBuilder zeroCount = files.ToDisk();
  zeroCount.Track(2)[0].sectorCount = 0;
  zeroCount.Track(3)[1].sectorCount = 1;  // a count below the sector's position
  seeds.push_back({"sector-count", zeroCount.Build()});
  DiskBuilder shortData = files.ToDisk();
  shortData.Track(2)[4].dataLength = 300;  // the header claims less than follows
  shortData.Track(3)[0].dataLength = 0xFFFF;
  seeds.push_back({"data-length", shortData.Build()});
  DiskBuilder sizeZero = files.ToDisk();
  sizeZero.OverrideDiskSize(0);  // every header repeats the first: 64 disks
  seeds.push_back({"disk-size-0", sizeZero.Build()});
  const Bytes plain = files.Build();
  DiskBuilder atEnd = files.ToDisk();
  atEnd.OverrideTrackOffset(3, static_cast<uint32_t>(plain.size()));  // offset = disk size
  atEnd.OverrideTrackOffset(4, 0x7FFFFFFF);
  seeds.push_back({"track-at-disk-end", atEnd.Build()});
  DiskBuilder negative = files.ToDisk();
  negative.OverrideDiskSize(0x80000000u);  // the next disk would start below 0
  seeds.push_back({"disk-size-negative", d88test::Concat({negative.Build(), valid})});
  return seeds;
}

std::vector<Seed> CpmSeeds() {
  std::vector<Seed> seeds;
  CpmDiskBuilder files;
  files.SetName("CPM SEED");
  files.AddFile(0, "HELLO", "TXT", Text("hello\r\n\x1A"));
  files.AddFile(1, "USER1", "DAT", Pattern(300, 7));
  seeds.push_back({"valid", files.Build()});
  CpmDiskBuilder multi;
  multi.AddFile(0, "MULTI", "COM", Pattern(34000, 2));  // two entries, as CP/M writes them
  seeds.push_back({"multi-entry", multi.Build()});

  CpmDiskBuilder exact;
  exact.AddFile(0, "EXACT", "16K", Pattern(16384, 1));  // last entry RC 0x80
  exact.AddFile(0, "NEXT", "TXT", Text("after\r\n"));
  seeds.push_back({"exact-16k", exact.Build()});

  // A file whose last entry still continues, carried to the next disk.
  CpmDiskBuilder first, second;
  first.PutBlock(2, Pattern(2048, 3));
  first.AddEntry(0, "CARRY", "DAT", 0x80, {2});
  second.PutBlock(2, Pattern(2048, 4));
  second.AddEntry(0, "CARRY", "DAT", 0x05, {2});
  second.AddEntry(0, "OTHER", "DAT", 0x81, {2});  // still pending at the end of the run
  seeds.push_back({"continuation", d88test::Concat({first.Build(), second.Build()})});

  // One block listed again and again: a file longer than the transfer buffer.
  CpmDiskBuilder huge;
  huge.PutBlock(2, Pattern(2048, 5));
  for (int i = 0; i < 12; ++i) huge.AddEntry(0, "HUGE", "BIN", 0x80, std::vector<int>(16, 2));
  huge.AddEntry(0, "HUGE", "BIN", 0x10, {2});
  seeds.push_back({"longer-than-buffer", huge.Build()});

  CpmDiskBuilder names;
  names.PutBlock(2, Pattern(2048, 6));
  Bytes highBits = {0, 0xC1, 0xC2, 'C', ' ', ' ', ' ', ' ', ' ', 0xC4, 'A', 'T', 0, 0, 0, 4, 2};
  highBits.resize(32, 0);  // names with bit 7 set
  names.AddEntry(highBits);
  names.AddEntry(0, "A/B", "", 4, {2});
  names.AddEntry(0, "..", "", 4, {2});
  names.AddEntry(0, "IMAGE", "D88", 4, {2});
  names.AddEntry(0, " SPACE", "", 4, {2});       // a leading space skips the entry
  names.AddEntry(0, "UNREAD", "", 0x40, {2, 200});  // a block on a track not stored: "!"
  names.AddEntry(0, "RCZERO", "", 0, {2});
  names.AddEntry(0, "RCWRAP", "", 0xFF, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2});
  names.AddEntry(Bytes(32, 0xE5));  // end of the walk
  names.AddEntry(0, "HIDDEN", "", 4, {2});
  seeds.push_back({"names-and-rc", names.Build()});

  const Bytes valid = files.Build();
  seeds.push_back({"two-disks", d88test::Concat({valid, exact.Build()})});
  seeds.push_back({"truncated-directory", Cut(valid, 688 + 16 + 2000)});
  seeds.push_back({"truncated-data", Cut(valid, valid.size() - 2000)});
  DiskBuilder absent = files.ToDisk();
  absent.RemoveTrack(5);
  seeds.push_back({"absent-track", absent.Build()});
  DiskBuilder sizeZero = exact.ToDisk();
  sizeZero.OverrideDiskSize(0);
  seeds.push_back({"disk-size-0", sizeZero.Build()});
  DiskBuilder counts = files.ToDisk();
  counts.Track(4)[3].sectorCount = 0;
  counts.Track(5)[0].dataLength = 100;  // a short sector inside a block
  seeds.push_back({"damaged-sectors", counts.Build()});
  return seeds;
}

// A fuzz input is its parameter bytes followed by the image.
bool Write(const std::string& path, const Bytes& prefix, const Bytes& image) {
  return d88test::WriteImageFile(path, d88test::Concat({prefix, image}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 1;
  }
  const std::string root = argv[1];
  for (const char* sub : {"", "/fuzz_reader", "/fuzz_d88ts", "/fuzz_d88cpm"}) {
    mkdir((root + sub).c_str(), 0777);
  }
  bool ok = true;
  const std::vector<Seed> ts = TsSeeds();
  const std::vector<Seed> cpm = CpmSeeds();
  // The option byte walks through the combinations so that each occurs.
  for (size_t i = 0; i < ts.size(); ++i) {
    ok = Write(root + "/fuzz_d88ts/" + ts[i].name, {static_cast<uint8_t>(i % 8)}, ts[i].image) && ok;
  }
  for (size_t i = 0; i < cpm.size(); ++i) {
    ok = Write(root + "/fuzz_d88cpm/" + cpm[i].name, {static_cast<uint8_t>(i % 2)}, cpm[i].image) && ok;
  }
  // Reader parameters: sector range, ID capacity, sector capacity (2 bytes),
  // size code, run length (2 bytes), an extra ID (C H R N), a far track, an
  // unused byte, the number of further copies of the image.
  const std::vector<std::pair<std::string, Bytes>> params = {
      {"ts", {1, 5, 64, 0x40, 0x00, 3, 0x14, 0x00, 0, 1, 1, 3, 0, 0, 0, 0}},
      {"cpm", {1, 16, 128, 0x10, 0x08, 1, 0x10, 0x10, 2, 0, 1, 1, 0, 0, 2, 0}},
      {"odd", {5, 1, 7, 0x00, 0x03, 0x97, 0x00, 0x20, 0, 0, 0, 0, 0xF1, 0, 3, 0}},
  };
  for (size_t i = 0; i < ts.size(); ++i) {
    const auto& p = params[i % 2 == 0 ? 0 : 2];
    ok = Write(root + "/fuzz_reader/ts-" + ts[i].name, p.second, ts[i].image) && ok;
  }
  for (size_t i = 0; i < cpm.size(); ++i) {
    if (cpm[i].image.size() > 32768) continue;  // the reader learns little more from bulk
    const auto& p = params[i % 2 == 0 ? 1 : 2];
    ok = Write(root + "/fuzz_reader/cpm-" + cpm[i].name, p.second, cpm[i].image) && ok;
  }
  if (!ok) {
    fprintf(stderr, "cannot write the seeds\n");
    return 1;
  }
  return 0;
}
