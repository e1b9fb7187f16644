#include "extract_output.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "messages.h"
#include "output_name.h"

namespace d88 {

namespace fs = std::filesystem;

ExtractOutput::ExtractOutput(std::string imagePath) : imagePath_(std::move(imagePath)) {}

bool ExtractOutput::PrepareDiskFolder(int diskIndex, std::string* folder) {
  char name[16];
  snprintf(name, sizeof name, "%03d", diskIndex);
  std::error_code ignored;
  // An existing folder, or a link to one, is used as it is.
  fs::create_directory(name, ignored);
  std::error_code ec;
  if (!fs::is_directory(name, ec)) {
    PrintError(kFolderFailedFormat, name);
    writeFailed_ = true;
    return false;
  }
  *folder = name;
  return true;
}

bool ExtractOutput::IsImage(const std::string& path) const {
  std::error_code ec;
  if (!fs::exists(fs::status(path, ec))) return false;
  return fs::equivalent(path, imagePath_, ec) && !ec;
}

bool ExtractOutput::WriteFile(const std::string& folder, const std::string& name,
                              const uint8_t* data, size_t size) {
  const std::string path = folder.empty() ? name : folder + "/" + name;
  bool written = false;
  // Opening the image for writing would truncate it before a byte is read.
  if (IsCreatableName(name) && !IsImage(path)) {
    if (FILE* out = fopen(path.c_str(), "wb")) {
      // The whole file is in memory already: one write, no stream buffer.
      setvbuf(out, nullptr, _IONBF, 0);
      const bool complete = size == 0 || fwrite(data, 1, size, out) == size;
      written = (fclose(out) == 0) && complete;
      // A half-written file is worse than none.
      if (!written) std::remove(path.c_str());
    }
  }
  if (!written) {
    PrintError(kWriteFailedFormat, name.c_str());
    writeFailed_ = true;
  }
  return written;
}

}  // namespace d88
