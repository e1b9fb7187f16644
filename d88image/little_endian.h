// Little-endian field decoding for D88 images and the directories on them.
//
// Every multi-byte number in a D88 file is little-endian. Fields are decoded
// byte by byte into unsigned temporaries, so the result does not depend on the
// host's byte order and no shift ever reaches a sign bit.
#ifndef D88IMAGE_LITTLE_ENDIAN_H_
#define D88IMAGE_LITTLE_ENDIAN_H_

#include <cstdint>

namespace d88 {

inline uint16_t ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8));
}

inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The reader keeps offsets and sizes as signed 32-bit values, stored bit for
// bit: 0x80000000 and above read as negative numbers. This is the one place
// where that conversion happens, without relying on implementation-defined
// narrowing.
inline int32_t BitsToInt32(uint32_t v) {
  return v < 0x80000000u ? static_cast<int32_t>(v) : -static_cast<int32_t>(~v) - 1;
}

inline int32_t ReadLe32Signed(const uint8_t* p) { return BitsToInt32(ReadLe32(p)); }

}  // namespace d88

#endif  // D88IMAGE_LITTLE_ENDIAN_H_
