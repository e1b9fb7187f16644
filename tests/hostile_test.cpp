// Hostile names and places, run through both tools: names that would make a
// path or name no file, names that meet a folder, disk folders that are not
// plain folders, a starting folder without write permission, an output name
// that is the image or a link to a device that refuses writes.
//
// Every run happens in <temp>/start with a sibling <temp>/outside; after the
// run the whole of <temp> must hold exactly what the case predicts, so a
// stray file or folder anywhere beside the starting folder fails the case,
// and the image must be unchanged byte for byte.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "cli_runner.h"
#include "d88_builder.h"
#include "expected_texts.h"

namespace d88test {
namespace {

namespace fs = std::filesystem;

enum class Tool { kTs, kCpm };

// A name as each format stores it. The CP/M name field is 7-bit and a space
// in its first byte marks an unused entry, so an empty CP/M name is a space
// with bit 7 set (0xA0), which the walk reads as a plain space.
struct Names {
  std::string tsName, tsExtension;
  std::string cpmName, cpmExtension;
};
Names Same(const std::string& name, const std::string& extension) {
  return {name, extension, name, extension};
}

// Something that stands in <temp> before the run.
struct Place {
  enum Kind { kFolder, kFile, kLink } kind;
  std::string path;    // relative to <temp>
  std::string target;  // of a link
};
Place Folder(const std::string& path) { return {Place::kFolder, path, ""}; }
Place File(const std::string& path) { return {Place::kFile, path, ""}; }
Place Link(const std::string& path, const std::string& target) {
  return {Place::kLink, path, target};
}

// What the run does with disk 0's first file (the hostile one), with the
// other files (AFTER.BIN on disk 0, NEXT.BIN on disk 1) and the disk folders.
struct Outcome {
  std::string listed;  // the name created and listed
  bool hostileWritten = true;
  bool othersWritten = true;
  bool folderFails[2] = {false, false};
  std::string disk0Lands;            // where disk 0's files go, if not its own folder
  std::vector<std::string> removed;  // entries of <temp> that the run takes away

  static Outcome Written(const std::string& listed) {
    Outcome o;
    o.listed = listed;
    return o;
  }
  static Outcome WriteFails(const std::string& listed) {
    Outcome o = Written(listed);
    o.hostileWritten = false;
    return o;
  }
  Outcome DiskFolderFails(int disk) const {
    Outcome o = *this;
    o.folderFails[disk] = true;
    return o;
  }
  Outcome OthersFail() const {
    Outcome o = *this;
    o.othersWritten = false;
    return o;
  }
  Outcome Disk0LandsIn(const std::string& place) const {
    Outcome o = *this;
    o.disk0Lands = place;
    return o;
  }
  Outcome Removes(const std::string& entry) const {
    Outcome o = *this;
    o.removed.push_back(entry);
    return o;
  }
};

enum class Needs { kNothing, kDevFull, kUnprivilegedRun };

struct HostileCase {
  const char* label;
  Names names;         // of disk 0's first file
  bool noFolders;      // run with -d
  std::vector<Place> before;
  bool readOnlyStart;  // the starting folder without write permission
  Needs needs;
  Outcome outcome;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.label; }

const bool kFolders = false;
const bool kNoFolders = true;
const bool kWritable = false;
const bool kReadOnly = true;

const HostileCase kCases[] = {
    // With -d an unchanged "../EVIL" would land in <temp> beside the start.
    {"SlashesInNameWithD", Same("../EVIL", ""), kNoFolders, {}, kWritable, Needs::kNothing,
     Outcome::Written(".._EVIL")},
    {"SlashesInNameAndExtension", Same("A/B", "C/D"), kFolders, {}, kWritable, Needs::kNothing,
     Outcome::Written("A_B.C_D")},
    {"NameDotDot", Same("..", ""), kFolders, {}, kWritable, Needs::kNothing,
     Outcome::WriteFails("..")},
    {"NameDot", Same(".", ""), kFolders, {}, kWritable, Needs::kNothing,
     Outcome::WriteFails(".")},
    {"NameEmpty", {"", "", "\xA0", ""}, kFolders, {}, kWritable, Needs::kNothing,
     Outcome::WriteFails("")},
    // The dot before an extension that is itself "." makes "..".
    {"EmptyNameWithDotExtension", {"", ".", "\xA0", "."}, kNoFolders, {}, kWritable,
     Needs::kNothing, Outcome::WriteFails("..")},
    // The folder 000 of an earlier run without -d.
    {"FileNamedLikeDiskFolderWithD", Same("000", ""), kNoFolders,
     {Folder("start/000"), File("start/000/OLD.BIN")}, kWritable, Needs::kNothing,
     Outcome::WriteFails("000")},
    {"FileNamedLikeFolderInDiskFolder", Same("GAME", "BIN"), kFolders,
     {Folder("start/000"), Folder("start/000/GAME.BIN"), File("start/000/GAME.BIN/KEEP")},
     kWritable, Needs::kNothing, Outcome::WriteFails("GAME.BIN")},
    {"DiskFolderIsPlainFile", Same("GAME", "BIN"), kFolders, {File("start/000")}, kWritable,
     Needs::kNothing, Outcome::Written("GAME.BIN").DiskFolderFails(0)},
    // Nothing may be made at the missing target.
    {"DiskFolderIsDanglingLink", Same("GAME", "BIN"), kFolders,
     {Link("start/000", "../outside/missing")}, kWritable, Needs::kNothing,
     Outcome::Written("GAME.BIN").DiskFolderFails(0)},
    // Used as it is; disk 1's folder is still made in the starting folder.
    {"DiskFolderLinksElsewhere", Same("GAME", "BIN"), kFolders,
     {Folder("outside/target"), Link("start/000", "../outside/target")}, kWritable,
     Needs::kNothing, Outcome::Written("GAME.BIN").Disk0LandsIn("outside/target")},
    {"ReadOnlyStartingFolder", Same("GAME", "BIN"), kFolders, {}, kReadOnly,
     Needs::kUnprivilegedRun, Outcome::Written("GAME.BIN").DiskFolderFails(0).DiskFolderFails(1)},
    {"ReadOnlyStartingFolderWithD", Same("GAME", "BIN"), kNoFolders, {}, kReadOnly,
     Needs::kUnprivilegedRun, Outcome::WriteFails("GAME.BIN").OthersFail()},
    {"OutputIsTheImageWithD", Same("DISK", "D88"), kNoFolders, {}, kWritable, Needs::kNothing,
     Outcome::WriteFails("DISK.D88")},
    // The same file by another path: the test must be on the file, not the name.
    {"OutputIsTheImageThroughLinkedDiskFolder", Same("DISK", "D88"), kFolders,
     {Link("start/000", ".")}, kWritable, Needs::kNothing,
     Outcome::WriteFails("DISK.D88").Disk0LandsIn("start")},
    // The write through the link fails when the data is flushed. The tool
    // removes the name it wrote through: that is the link, which lies in the
    // starting folder; /dev/full itself is not touched (checked after the
    // run).
    {"OutputLinksToDevFullWithD", Same("GAME", "BIN"), kNoFolders,
     {Link("start/GAME.BIN", "/dev/full")}, kWritable, Needs::kDevFull,
     Outcome::WriteFails("GAME.BIN").Removes("start/GAME.BIN@")},
};

// The files of the two disks, laid out alike in both formats. Sizes are
// whole 256-byte sectors, so that both formats give the same lengths.
const std::string kImageName = "DISK.D88";
const char* const kDiskNames[2] = {"DISK-A", "DISK-B"};
const Bytes kHostileData = Pattern(512, 0x11);
const Bytes kAfterData = Pattern(768, 0x22);
const Bytes kNextData = Pattern(1280, 0x33);

struct DiskFile {
  int disk;
  std::string name;  // as listed; the hostile one takes the case's name
  const Bytes* data;
  int track;  // where the track-sector disk stores it, at record 1
};

std::vector<DiskFile> DiskFiles(const std::string& hostileName) {
  return {{0, hostileName, &kHostileData, 2},
          {0, "AFTER.BIN", &kAfterData, 3},
          {1, "NEXT.BIN", &kNextData, 2}};
}

Bytes BuildImage(Tool tool, const Names& names) {
  if (tool == Tool::kTs) {
    TsDiskBuilder disk0;
    disk0.SetName(kDiskNames[0])
        .AddFile(names.tsName, names.tsExtension, 2, 1, kHostileData)
        .AddFile("AFTER", "BIN", 3, 1, kAfterData)
        .AddEndMark();
    TsDiskBuilder disk1;
    disk1.SetName(kDiskNames[1]).AddFile("NEXT", "BIN", 2, 1, kNextData).AddEndMark();
    return Concat({disk0.Build(), disk1.Build()});
  }
  CpmDiskBuilder disk0;
  disk0.SetName(kDiskNames[0])
      .AddFile(0, names.cpmName, names.cpmExtension, kHostileData)
      .AddFile(0, "AFTER", "BIN", kAfterData);
  CpmDiskBuilder disk1;
  disk1.SetName(kDiskNames[1]).AddFile(0, "NEXT", "BIN", kNextData);
  return Concat({disk0.Build(), disk1.Build()});
}

std::string TsListingLine(const DiskFile& file) {
  char line[64];
  snprintf(line, sizeof line, "%-12s  TRK:%02x SEC:01 SIZE:%6zx\n", file.name.c_str(), file.track,
           file.data->size());
  return line;
}

// d88cpm prints the name and the size before it writes the file.
std::string CpmListingLine(const DiskFile& file) {
  char line[64];
  snprintf(line, sizeof line, "%-12s %5zu\n", file.name.c_str(), file.data->size());
  return line;
}

struct Expected {
  std::string out;
  std::string err;
  int exitCode = 0;
  std::map<std::string, Bytes> tree;  // of <temp>
};

Expected Predict(Tool tool, const HostileCase& c, const std::map<std::string, Bytes>& before) {
  Expected e;
  e.tree = before;
  for (const std::string& entry : c.outcome.removed) e.tree.erase(entry);
  for (int disk = 0; disk < 2; ++disk) {
    const std::string folder = disk == 0 ? "000" : "001";
    std::string place = "start";
    if (!c.noFolders) {
      if (c.outcome.folderFails[disk]) {
        e.err += FolderFailed(folder);
        e.exitCode = 2;
        continue;
      }
      if (tool == Tool::kTs) {
        e.out += "\n[" + std::string(kDiskNames[disk]) + "] -> " + folder + "\n";
      }
      place = "start/" + folder;
      if (disk == 0 && !c.outcome.disk0Lands.empty()) {
        place = c.outcome.disk0Lands;
      } else {
        e.tree[place + "/"] = {};
      }
    }
    for (const DiskFile& file : DiskFiles(c.outcome.listed)) {
      if (file.disk != disk) continue;
      const bool written =
          file.data == &kHostileData ? c.outcome.hostileWritten : c.outcome.othersWritten;
      if (tool == Tool::kCpm) e.out += CpmListingLine(file);
      if (written) {
        if (tool == Tool::kTs) e.out += TsListingLine(file);
        e.tree[place + "/" + file.name] = *file.data;
      } else {
        e.err += WriteFailed(file.name);
        e.exitCode = 2;
      }
    }
  }
  return e;
}

void MakePlace(const fs::path& root, const Place& place) {
  const fs::path path = root / place.path;
  switch (place.kind) {
    case Place::kFolder:
      fs::create_directory(path);
      break;
    case Place::kFile:
      WriteBytes(path, Pattern(100, 0x55));
      break;
    case Place::kLink:
      fs::create_symlink(place.target, path);
      break;
  }
}

const RunAs kNobody{65534, 65534};

// Whether a child can become nobody and still start the tool.
bool CanRunAsNobody(const std::string& tool) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const bool ok = setgroups(0, nullptr) == 0 && setgid(kNobody.gid) == 0 &&
                    setuid(kNobody.uid) == 0 && access(tool.c_str(), X_OK) == 0;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Describe(const std::map<std::string, Bytes>& tree) {
  std::string text;
  for (const auto& [path, bytes] : tree) {
    text += "  " + path + " (" + std::to_string(bytes.size()) + " bytes)\n";
  }
  return text;
}

class HostileTest : public testing::TestWithParam<std::tuple<HostileCase, Tool>> {};

TEST_P(HostileTest, StaysInsideTheStartingFolder) {
  const HostileCase& c = std::get<0>(GetParam());
  const Tool tool = std::get<1>(GetParam());
  const std::string toolPath = tool == Tool::kTs ? D88tsPath() : D88cpmPath();

  std::optional<RunAs> runAs;
  if (c.needs == Needs::kDevFull && !fs::is_character_file("/dev/full")) {
    GTEST_SKIP() << "no /dev/full here";
  }
  if (c.needs == Needs::kUnprivilegedRun && geteuid() == 0) {
    if (!CanRunAsNobody(toolPath)) GTEST_SKIP() << "cannot run the tool as nobody";
    runAs = kNobody;
  }

  TempFolder temp;
  const fs::path root = temp.path();
  const fs::path start = root / "start";
  fs::create_directory(start);
  fs::create_directory(root / "outside");
  WriteBytes(root / "outside" / "KEEP.TXT", Pattern(64, 0x77));
  const Bytes image = BuildImage(tool, c.names);
  WriteBytes(start / kImageName, image);
  for (const Place& place : c.before) MakePlace(root, place);
  if (c.readOnlyStart) {
    // Other users may pass through <temp> (mkdtemp makes it 0700) and read
    // the image, but not write in the starting folder.
    fs::permissions(root, fs::perms(0755));
    fs::permissions(start, fs::perms(0555));
  }

  const std::map<std::string, Bytes> before = Tree(root);
  const Expected expected = Predict(tool, c, before);
  std::vector<std::string> args{kImageName};
  if (c.noFolders) args.push_back("-d");

  const RunResult result = RunTool(toolPath, args, start, runAs);

  EXPECT_EQ(result.out, expected.out);
  EXPECT_EQ(result.err, expected.err);
  EXPECT_EQ(result.exitCode, expected.exitCode);
  const std::map<std::string, Bytes> after = Tree(root);
  EXPECT_TRUE(after == expected.tree) << "found:\n" << Describe(after) << "expected:\n"
                                      << Describe(expected.tree);
  EXPECT_EQ(ReadBytes(start / kImageName), image) << "the image changed";
  if (c.needs == Needs::kDevFull) {
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileTest,
    testing::Combine(testing::ValuesIn(kCases), testing::Values(Tool::kTs, Tool::kCpm)),
    [](const testing::TestParamInfo<HostileTest::ParamType>& info) {
      return std::string(std::get<0>(info.param).label) +
             (std::get<1>(info.param) == Tool::kTs ? "_d88ts" : "_d88cpm");
    });

}  // namespace
}  // namespace d88test
