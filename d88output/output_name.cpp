#include "output_name.h"

#include <cstring>

namespace d88 {
namespace {

#if defined(_WIN32)
bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Only these bytes can stand second in a double-byte character; a '/' or a
// control byte after a lead byte is a byte of its own.
bool IsCp932TrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

bool IsReservedByte(unsigned char byte) {
  return byte < 0x20 || std::strchr("<>:\"/\\|?*", byte) != nullptr;
}
#endif

}  // namespace

std::string SafeOutputName(const char* name) {
  std::string safe(name);
#if defined(_WIN32)
  for (size_t i = 0; i < safe.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(safe[i]);
    if (IsCp932LeadByte(byte) && i + 1 < safe.size() &&
        IsCp932TrailByte(static_cast<unsigned char>(safe[i + 1]))) {
      ++i;  // The trail byte belongs to the character, even a '\\' or a '|'.
    } else if (IsReservedByte(byte)) {
      safe[i] = '_';
    }
  }
#else
  for (char& c : safe) {
    if (c == '/') c = '_';
  }
#endif
  return safe;
}

bool IsCreatableName(const std::string& name) {
  return !name.empty() && name != "." && name != "..";
}

}  // namespace d88
