// Writes the sample images in examples/ with the project's image builder:
//   make_samples OUTPUT_FOLDER
// sample-ts.d88: two track-sector disks; sample-cpm.d88: two CP/M-style disks.
#include <cstdio>
#include <string>

#include "d88_builder.h"

using d88test::Bytes;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes TsSample() {
  d88test::TsDiskBuilder system;
  system.SetName("SYSTEM DISK");
  system.AddFile("README", "TXT", 2, 1, Text("A sample disk of the track-sector kind.\r\n"));
  // 3000 bytes from record 4: the run crosses into track index 3.
  system.AddFile("GAME", "BIN", 2, 4, d88test::Pattern(3000, 1));
  // A PCM file: its 4-byte ADPCM header is cut off unless -h is given.
  Bytes pcm = Text("ADPC");
  const Bytes samples = d88test::Pattern(2044, 9);
  pcm.insert(pcm.end(), samples.begin(), samples.end());
  system.AddFile("PCMVOICE", "DAT", 4, 1, pcm);
  system.AddEndMark();

  d88test::TsDiskBuilder data;
  data.SetName("DATA DISK");
  data.AddFile("SCORES", "DAT", 2, 1, Text("1 ALICE 9000\r\n2 BOB 8500\r\n"));
  data.AddFile("MAP", "", 2, 2, d88test::Pattern(5120, 3));
  data.AddEndMark();
  return d88test::Concat({system.Build(), data.Build()});
}

Bytes CpmSample() {
  d88test::CpmDiskBuilder first;
  first.SetName("CPM DISK 1");
  first.AddFile(0, "HELLO", "TXT", Text("Hello from a CP/M-style disk.\r\n\x1A"));
  first.AddFile(0, "PROG", "COM", d88test::Pattern(5000, 5));
  // User 1 is extracted like user 0.
  first.AddFile(1, "SCORES", "DAT", d88test::Pattern(300, 7));

  d88test::CpmDiskBuilder second;
  second.SetName("CPM DISK 2");
  second.AddFile(0, "NOTES", "DOC", Text("Second disk.\r\n\x1A"));
  return d88test::Concat({first.Build(), second.Build()});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 1;
  }
  const std::string folder = argv[1];
  if (!d88test::WriteImageFile(folder + "/sample-ts.d88", TsSample()) ||
      !d88test::WriteImageFile(folder + "/sample-cpm.d88", CpmSample())) {
    fprintf(stderr, "cannot write the sample images\n");
    return 1;
  }
  return 0;
}
