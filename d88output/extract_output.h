// Where extracted files go, and how each one is written.
//
// Output never changes the current directory: a disk folder is a prefix of
// the paths written, so every disk ends where the run started, also when a
// disk folder is a symbolic link to a folder elsewhere.
#ifndef D88OUTPUT_EXTRACT_OUTPUT_H_
#define D88OUTPUT_EXTRACT_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace d88 {

class ExtractOutput {
 public:
  // imagePath is the image being read: no output file may replace it.
  explicit ExtractOutput(std::string imagePath);

  // Makes (or reuses) the folder of disk index diskIndex ("%03d") in the
  // starting directory and stores its name in *folder. When it cannot be
  // made or is not a folder, reports it, marks the run as failed and returns
  // false.
  bool PrepareDiskFolder(int diskIndex, std::string* folder);

  // Creates the file name in folder ("" for the current directory) and
  // writes size bytes of data to it, every step checked. On failure reports the name, removes a partly written file,
  // marks the run as failed and returns false.
  bool WriteFile(const std::string& folder, const std::string& name, const uint8_t* data,
                 size_t size);

  // 2 when some output file or disk folder could not be written, else 0.
  int ExitStatus() const { return writeFailed_ ? 2 : 0; }

 private:
  bool IsImage(const std::string& path) const;

  std::string imagePath_;
  bool writeFailed_ = false;
};

}  // namespace d88

#endif  // D88OUTPUT_EXTRACT_OUTPUT_H_
