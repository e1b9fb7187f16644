// Turning a file name read from a disk image into a name that is safe to
// create in the output folder.
#ifndef D88OUTPUT_OUTPUT_NAME_H_
#define D88OUTPUT_OUTPUT_NAME_H_

#include <string>

namespace d88 {

// Names on the disks are raw bytes. A '/' would make the name a path, so it
// becomes '_' (on Windows also the bytes that host reserves, except where a
// byte is the second half of a code page 932 double-byte character). Bytes
// above 0x7F are kept as they are. The result is the name both created and
// listed.
std::string SafeOutputName(const char* name);

// "", "." and ".." name no file that can be created in a folder.
bool IsCreatableName(const std::string& name);

}  // namespace d88

#endif  // D88OUTPUT_OUTPUT_NAME_H_
