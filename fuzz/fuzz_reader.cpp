// The reader on any bytes. The first kParamBytes bytes choose the sector
// range, capacities, lengths and extra IDs; the rest is the image file,
// written up to four times back to back so that files larger than the
// reader's 64 KiB window occur (a disk size equal to the length finds the
// copies as further disks).
// Each buffer handed to the reader ends exactly where its capacity ends (at
// the end of a global array), so AddressSanitizer sees any write beyond it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "d88_image.h"

namespace {

constexpr size_t kParamBytes = 16;
std::string imagePath;
d88::D88Image image;
uint8_t idArea[256];
uint8_t sectorArea[4096];
uint8_t runArea[65536];

// The last `capacity` bytes of an area (none for a capacity of 0 or less).
template <size_t N>
uint8_t* Tail(uint8_t (&area)[N], int32_t capacity) {
  return area + N - (capacity > 0 ? static_cast<size_t>(capacity) : 0);
}

// A parameter byte as a signed 32-bit value: mostly small, with the edges.
int32_t Wide(uint8_t b) {
  switch (b) {
    case 0xF0: return INT32_MIN;
    case 0xF1: return INT32_MAX;
    case 0xF2: return -1;
    case 0xF3: return 0x100;
    default: return static_cast<int8_t>(b);
  }
}

void Expect(bool ok) {
  if (!ok) abort();
}

int32_t AtMost(int32_t capacity) { return capacity > 0 ? capacity : 0; }

// Each sector operation on track t, the answers checked against what was asked.
void ReadTrack(const uint8_t* p, int32_t t) {
  const int32_t idCapacity = p[2] == 0xFF ? -4 : p[2];  // not always a multiple of 4
  uint8_t* ids = Tail(idArea, idCapacity);
  const int32_t listed = image.GetSectorIds(t, ids, idCapacity);
  Expect(listed >= 0 && listed <= AtMost(idCapacity) && listed % 4 == 0);
  // Up to three listed IDs, then one taken from the parameters.
  const int32_t count = listed / 4 < 3 ? listed / 4 : 3;
  for (int32_t i = 0; i <= count; ++i) {
    const uint8_t* id = i < count ? ids + 4 * i : p + 8;
    const int32_t capacity = static_cast<int32_t>((p[3] << 4) | (p[4] & 0x0F)) - 8;
    const int32_t got =
        image.ReadSector(t, id[0], id[1], id[2], id[3], Tail(sectorArea, capacity), capacity);
    Expect(got >= 0 && got <= AtMost(capacity));
    // Size codes 0..23 are real; 24 and up, and negative ones, must read nothing.
    const int32_t n = (p[5] & 0x80) ? Wide(p[5]) : (p[5] & 0x1F) % 26;
    const int32_t length = static_cast<int32_t>((p[6] << 8) | p[7]) - 16;
    const int32_t total =
        image.ReadSectors(t, id[0], id[1], id[2], n, Tail(runArea, length), length);
    Expect(total >= 0 && total <= AtMost(length));
    if (n < 0 || n > 23) Expect(total == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char path[] = "/tmp/d88fuzz-reader.XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) abort();
  close(fd);
  imagePath = path;
  atexit([] { unlink(imagePath.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kParamBytes) return 0;
  const uint8_t* p = data;
  FILE* out = fopen(imagePath.c_str(), "wb");
  if (out == nullptr) abort();
  for (int copy = 0; copy <= (p[14] & 3); ++copy) {
    fwrite(data + kParamBytes, 1, size - kParamBytes, out);
  }
  if (fclose(out) != 0) abort();

  Expect(image.Open(imagePath.c_str()));
  const int disks = image.GetDiskCount();
  Expect(disks >= 0 && disks <= d88::kMaxDisks);
  // Indexes one beyond each end must be refused.
  for (int d = -1; d <= disks; ++d) {
    const bool selected = image.SelectDisk(d);
    if (d < 0 || d == disks) Expect(!selected);
    image.SetSectorRange(Wide(p[0]), Wide(p[1]));
    // Tracks beyond both ends of the table, and one far outside, too.
    for (int32_t t = -1; t <= d88::kTrackCount; ++t) ReadTrack(p, t);
    ReadTrack(p, p[12] >= 0xF0 ? Wide(p[12]) : p[12] * 0x800000);
  }
  Expect(image.Open(nullptr));
  return 0;
}
