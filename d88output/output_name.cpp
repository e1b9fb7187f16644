#include "output_name.h"

#include <cstring>

namespace d88 {
namespace {

#if defined(_WIN32)
bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
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
    if (IsCp932LeadByte(byte) && i + 1 < safe.size()) {
      ++i;  // The trail byte belongs to the character, whatever its value.
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
