// d88cpm as a user runs it: the built program in a fresh folder, with its
// exact standard output, standard error, exit status and the files it wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "d88_builder.h"
#include "expected_texts.h"

namespace {

namespace fs = std::filesystem;
using d88test::Bytes;
using d88test::DirectoryFailed;
using d88test::FolderFailed;
using d88test::kOpenFailed;
using d88test::WriteFailed;
using d88test::CpmDiskBuilder;
using d88test::DiskBuilder;
using d88test::RunResult;
using Files = std::map<std::string, Bytes>;

constexpr int kSectorSize = CpmDiskBuilder::kSectorSize;
constexpr int kBlockSize = CpmDiskBuilder::kBlockSize;
constexpr int kDirectoryTrack = 4;

Bytes Cat(const std::vector<Bytes>& parts) { return d88test::Concat(parts); }
Bytes Zeros(size_t size) { return Bytes(size, 0); }

std::vector<int> Blocks(int first, int count) {
  std::vector<int> blocks;
  for (int i = 0; i < count; ++i) blocks.push_back(first + i);
  return blocks;
}

// Where block b lies: two blocks to a track from the directory's track on,
// the even one in records 1 to 8, the odd one in records 9 to 16.
int BlockTrack(int block) { return kDirectoryTrack + block / 2; }
int BlockRecord(int block) { return block % 2 == 0 ? 1 : 9; }

// A CP/M disk whose allocation blocks hold content that tells each block
// apart, also from the same block of a disk with another seed.
class Disk {
 public:
  explicit Disk(int seed = 0) : seed_(seed) {}

  Bytes Content(int block) const {
    return d88test::Pattern(kBlockSize, static_cast<uint8_t>(seed_ * 101 + block * 37 + 1));
  }
  // The first size bytes of a block.
  Bytes Head(int block, size_t size) const {
    Bytes bytes = Content(block);
    bytes.resize(size);
    return bytes;
  }
  Bytes Sectors(int block, int count) const {
    return Head(block, static_cast<size_t>(count) * kSectorSize);
  }
  Bytes Whole(const std::vector<int>& blocks) const {
    Bytes bytes;
    for (int b : blocks) bytes = Cat({bytes, Content(b)});
    return bytes;
  }

  // An entry from its fields, its blocks stored with their content.
  Disk& Entry(uint8_t user, const std::string& name, const std::string& extension,
              uint8_t recordCount, const std::vector<int>& blocks) {
    Store(blocks);
    builder_.AddEntry(user, name, extension, recordCount, blocks);
    return *this;
  }
  // An entry with the 11 name and extension bytes exactly as given.
  Disk& RawEntry(uint8_t user, const std::string& nameBytes, uint8_t recordCount,
                 const std::vector<int>& blocks) {
    Bytes entry(32, 0);
    entry[0] = user;
    std::copy_n(nameBytes.begin(), std::min<size_t>(nameBytes.size(), 11), entry.begin() + 1);
    entry[15] = recordCount;
    for (size_t i = 0; i < blocks.size(); ++i) entry[16 + i] = static_cast<uint8_t>(blocks[i]);
    Store(blocks);
    builder_.AddEntry(entry);
    return *this;
  }
  Disk& Raw(const Bytes& entry) {
    builder_.AddEntry(entry);
    return *this;
  }

  DiskBuilder ToDisk() const { return builder_.ToDisk(); }
  Bytes Build() const { return builder_.Build(); }

 private:
  void Store(const std::vector<int>& blocks) {
    for (int b : blocks) {
      if (b != 0) builder_.PutBlock(b, Content(b));
    }
  }

  int seed_;
  CpmDiskBuilder builder_;
};

std::vector<d88test::Sector>::iterator FindSector(DiskBuilder& disk, int track, int record) {
  std::vector<d88test::Sector>& sectors = disk.Track(track);
  return std::find_if(sectors.begin(), sectors.end(),
                      [&](const d88test::Sector& s) { return s.r == record; });
}

// Takes sectors out of a track; the others then carry the new count.
void RemoveSectors(DiskBuilder& disk, int track, int firstRecord, int lastRecord) {
  std::vector<d88test::Sector>& sectors = disk.Track(track);
  sectors.erase(std::remove_if(sectors.begin(), sectors.end(),
                               [&](const d88test::Sector& s) {
                                 return s.r >= firstRecord && s.r <= lastRecord;
                               }),
                sectors.end());
  for (d88test::Sector& s : sectors) s.sectorCount = static_cast<uint16_t>(sectors.size());
}

// A sector that holds only its first size bytes.
void ShortenSector(DiskBuilder& disk, int track, int record, size_t size) {
  FindSector(disk, track, record)->data.resize(size);
}

// One run of d88cpm: the image, the words after its path, and all that the
// run shows. The image lies beside the output folder, so that the output
// folder holds nothing but what the run wrote.
struct CpmCase {
  std::string name;
  std::function<Bytes()> image;
  std::vector<std::string> options;
  std::string out;
  std::string err;
  int exitCode = 0;
  Files files;        // the output folder afterwards ("000/" is a folder)
  Files before = {};  // put in the output folder before the run
};

void PrintTo(const CpmCase& c, std::ostream* os) { *os << c.name; }

void ExpectFiles(const Files& actual, const Files& expected) {
  std::vector<std::string> actualPaths;
  std::vector<std::string> expectedPaths;
  for (const auto& entry : actual) actualPaths.push_back(entry.first);
  for (const auto& entry : expected) expectedPaths.push_back(entry.first);
  EXPECT_EQ(actualPaths, expectedPaths);
  for (const auto& [path, bytes] : expected) {
    const auto found = actual.find(path);
    if (found == actual.end()) continue;
    const Bytes& got = found->second;
    EXPECT_EQ(got.size(), bytes.size()) << path;
    const size_t common = std::min(got.size(), bytes.size());
    const auto diff = std::mismatch(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(common),
                                    bytes.begin());
    EXPECT_EQ(diff.first, got.begin() + static_cast<std::ptrdiff_t>(common))
        << path << ": first difference at byte " << (diff.first - got.begin());
  }
}

void ExpectRun(const CpmCase& c) {
  d88test::TempFolder temp;
  const fs::path out = temp.path() / "out";
  fs::create_directory(out);
  d88test::WriteBytes(temp.path() / "disk.d88", c.image());
  for (const auto& [path, bytes] : c.before) d88test::WriteBytes(out / path, bytes);
  std::vector<std::string> args{"../disk.d88"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  const RunResult run = d88test::RunTool(d88test::D88cpmPath(), args, out);
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, c.err);
  EXPECT_EQ(run.exitCode, c.exitCode);
  ExpectFiles(d88test::Tree(out), c.files);
}

class D88cpmRun : public ::testing::TestWithParam<CpmCase> {};

TEST_P(D88cpmRun, OutputAndFiles) { ExpectRun(GetParam()); }

std::string CaseName(const ::testing::TestParamInfo<CpmCase>& info) { return info.param.name; }

// ---------------------------------------------------------------------------
// The command line.

// A disk with one file of one sector.
Disk OneFileDisk() {
  Disk disk;
  disk.Entry(0, "A", "TXT", 2, {2});
  return disk;
}

std::vector<CpmCase> CommandLineCases() {
  const Disk disk = OneFileDisk();
  const auto image = [disk] { return disk.Build(); };
  const std::string listing = "A.TXT       " "   256\n";
  const Files inFolder{{"000/", {}}, {"000/A.TXT", disk.Sectors(2, 1)}};
  const Files here{{"A.TXT", disk.Sectors(2, 1)}};
  return {
      {"NoOptionMakesDiskFolders", image, {}, listing, "", 0, inFolder},
      {"DashDWritesHere", image, {"-d"}, listing, "", 0, here},
      {"CapitalDIsNotTheOption", image, {"-D"}, listing, "", 0, inFolder},
      {"LongerWordIsNotTheOption", image, {"-dd"}, listing, "", 0, inFolder},
      {"UnknownWordIgnoredBeforeDashD", image, {"-x", "-d"}, listing, "", 0, here},
      {"DashDTwiceAsOnce", image, {"-d", "-d"}, listing, "", 0, here},
  };
}

INSTANTIATE_TEST_SUITE_P(CommandLine, D88cpmRun, ::testing::ValuesIn(CommandLineCases()),
                         CaseName);

TEST(D88cpmCommandLine, NoArgumentPrintsUsage) {
  d88test::TempFolder temp;
  const RunResult run = d88test::RunTool(d88test::D88cpmPath(), {}, temp.path());
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, d88test::CpmUsage(d88test::D88cpmPath()));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(d88test::Tree(temp.path()).empty());
}

TEST(D88cpmCommandLine, ImageThatCannotBeOpened) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"missing.d88"}, {"missing.d88", "-d"}, {"-d"}}) {
    SCOPED_TRACE(args.front() + (args.size() > 1 ? " " + args[1] : ""));
    d88test::TempFolder temp;
    const RunResult run = d88test::RunTool(d88test::D88cpmPath(), args, temp.path());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kOpenFailed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(d88test::Tree(temp.path()).empty());
  }
}

// The first word is the path even when it reads "-d": an image of that name
// is extracted, with disk folders since no option follows.
TEST(D88cpmCommandLine, DashDAloneIsThePath) {
  d88test::TempFolder temp;
  const Disk disk = OneFileDisk();
  const Bytes image = disk.Build();
  d88test::WriteBytes(temp.path() / "-d", image);
  const RunResult run = d88test::RunTool(d88test::D88cpmPath(), {"-d"}, temp.path());
  EXPECT_EQ(run.out, "A.TXT       " "   256\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 0);
  ExpectFiles(d88test::Tree(temp.path()),
              {{"-d", image}, {"000/", {}}, {"000/A.TXT", disk.Sectors(2, 1)}});
}

// ---------------------------------------------------------------------------
// Disks of one image, and their folders.

std::vector<CpmCase> DiskSetCases() {
  // Each disk holds a file of its own and one named like a file of every
  // other disk, with its own content.
  std::vector<Disk> disks;
  for (int i = 0; i < 3; ++i) {
    Disk disk(i);
    disk.Entry(0, "D" + std::to_string(i), "TXT", 2, {2});
    disk.Entry(0, "SAME", "TXT", 4, {3});
    disks.push_back(disk);
  }
  const auto three = [disks] {
    return Cat({disks[0].Build(), disks[1].Build(), disks[2].Build()});
  };
  const std::string listing =
      "D0.TXT      " "   256\n" "SAME.TXT    " "   512\n"
      "D1.TXT      " "   256\n" "SAME.TXT    " "   512\n"
      "D2.TXT      " "   256\n" "SAME.TXT    " "   512\n";

  Files inFolders;
  for (int i = 0; i < 3; ++i) {
    const std::string folder = "00" + std::to_string(i);
    inFolders[folder + "/"] = {};
    inFolders[folder + "/D" + std::to_string(i) + ".TXT"] = disks[i].Sectors(2, 1);
    inFolders[folder + "/SAME.TXT"] = disks[i].Sectors(3, 2);
  }
  const Files here{{"D0.TXT", disks[0].Sectors(2, 1)},
                   {"D1.TXT", disks[1].Sectors(2, 1)},
                   {"D2.TXT", disks[2].Sectors(2, 1)},
                   {"SAME.TXT", disks[2].Sectors(3, 2)}};

  // The folder of the second disk is taken by a plain file. The file left
  // pending at the end of the first disk still belongs to the first disk.
  Disk first(0);
  first.Entry(0, "F0", "TXT", 2, {2}).Entry(0, "X", "BIN", 0x80, Blocks(3, 16));
  Disk second(1);
  second.Entry(0, "F1", "TXT", 2, {2});
  Disk third(2);
  third.Entry(0, "F2", "TXT", 2, {2});
  const Bytes blocker{'x'};

  return {
      {"ThreeDisksInFolders", three, {}, listing, "", 0, inFolders},
      {"ThreeDisksHereLaterReplacesEarlier", three, {"-d"}, listing, "", 0, here},
      {"EmptyImageHasNoDisks", [] { return Bytes{}; }, {}, "", "", 0, {}},
      {"ImageShorterThanOneHeader", [] { return Bytes(687, 0); }, {}, "", "", 0, {}},
      {"DiskFolderTakenByAFile",
       [first, second, third] { return Cat({first.Build(), second.Build(), third.Build()}); },
       {},
       "F0.TXT      " "   256\n" "X.BIN       " " 32768\n" "F2.TXT      " "   256\n",
       FolderFailed("001"),
       2,
       {{"000/", {}},
        {"000/F0.TXT", first.Sectors(2, 1)},
        {"000/X.BIN", first.Whole(Blocks(3, 16))},
        {"001", blocker},
        {"002/", {}},
        {"002/F2.TXT", third.Sectors(2, 1)}},
       {{"001", blocker}}},
  };
}

INSTANTIATE_TEST_SUITE_P(DiskSets, D88cpmRun, ::testing::ValuesIn(DiskSetCases()), CaseName);

// ---------------------------------------------------------------------------
// Directories that cannot be read in full.

// count entries of 32 spaces, which the walk passes over.
void AddBlankEntries(Disk& disk, int count) {
  for (int i = 0; i < count; ++i) disk.Raw(Bytes(32, ' '));
}

CpmCase ShortDirectoryCase() {
  // Disk 1 reads in full and leaves LEAK in entry 72 of the directory buffer.
  Disk full(0);
  full.Entry(0, "FIRST0", "", 0, {});
  AddBlankEntries(full, 71);
  full.Entry(0, "LEAK", "", 0, {});
  // Disk 2 has records 1 to 9 of its directory: entries 0 to 71.
  Disk cut(1);
  cut.Entry(0, "FIRST1", "", 0, {});
  AddBlankEntries(cut, 70);
  cut.Entry(0, "LAST1", "", 0, {});
  cut.Entry(0, "HIDDEN1", "", 0, {});
  // Disk 3's record 10 holds 64 bytes: entries 72 and 73 arrive, though the
  // read does not count them.
  Disk shortSector(2);
  shortSector.Entry(0, "FIRST2", "", 0, {});
  AddBlankEntries(shortSector, 71);
  shortSector.Entry(0, "HIDDEN2", "", 0, {});
  // Disk 4 has no directory track at all, disk 5 reads in full.
  Disk none(3);
  none.Entry(0, "GHOST", "BIN", 2, {2});
  Disk after(4);
  after.Entry(0, "AFTER", "", 0, {});

  const auto image = [full, cut, shortSector, none, after] {
    DiskBuilder cutDisk = cut.ToDisk();
    RemoveSectors(cutDisk, kDirectoryTrack, 10, 16);
    DiskBuilder shortDisk = shortSector.ToDisk();
    RemoveSectors(shortDisk, kDirectoryTrack, 11, 16);
    ShortenSector(shortDisk, kDirectoryTrack, 10, 64);
    DiskBuilder noneDisk = none.ToDisk();
    noneDisk.RemoveTrack(kDirectoryTrack);
    return Cat({full.Build(), cutDisk.Build(), shortDisk.Build(), noneDisk.Build(), after.Build()});
  };
  return {"ShortReadsEndTheWalkWhereTheyStop",
          image,
          {},
          "FIRST0      " "     0\n" "LEAK        " "     0\n"
          "FIRST1      " "     0\n" "LAST1       " "     0\n"
          "FIRST2      " "     0\n"
          "AFTER       " "     0\n",
          DirectoryFailed(2) + DirectoryFailed(3) + DirectoryFailed(4),
          0,
          {{"000/", {}}, {"000/FIRST0", {}}, {"000/LEAK", {}},
           {"001/", {}}, {"001/FIRST1", {}}, {"001/LAST1", {}},
           {"002/", {}}, {"002/FIRST2", {}},
           {"004/", {}}, {"004/AFTER", {}}}};
}

INSTANTIATE_TEST_SUITE_P(DirectoryRead, D88cpmRun, ::testing::Values(ShortDirectoryCase()),
                         CaseName);

// ---------------------------------------------------------------------------
// Which entries the walk takes, and the names it gives them. With -d.

CpmCase HereCase(const std::string& name, const Disk& disk, const std::string& out,
                 const Files& files) {
  return {name, [disk] { return disk.Build(); }, {"-d"}, out, "", 0, files};
}

std::vector<CpmCase> WalkCases() {
  std::vector<CpmCase> cases;
  {
    Disk disk;
    disk.RawEntry(0xE5, " SKIPPEDBIN", 2, {});
    disk.Entry(0, "A", "TXT", 2, {2});
    cases.push_back(HereCase("DeletedMarkWithSpaceNameIsSkipped", disk,
                             "A.TXT       " "   256\n", {{"A.TXT", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    disk.Entry(0, "A", "TXT", 2, {2}).Entry(0xE5, "B", "TXT", 2, {3}).Entry(0, "C", "TXT", 2, {4});
    cases.push_back(HereCase("DeletedEntryEndsTheWalk", disk, "A.TXT       " "   256\n",
                             {{"A.TXT", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    disk.Entry(0xE5, "X", "TXT", 2, {2}).Entry(0, "A", "TXT", 2, {3});
    cases.push_back(HereCase("DeletedFirstEntryLeavesTheDiskEmpty", disk, "", {}));
  }
  {
    Disk disk;
    disk.Raw(Bytes(32, ' ')).Entry(0, "A", "TXT", 2, {2});
    cases.push_back(HereCase("EntryOfSpacesIsSkipped", disk, "A.TXT       " "   256\n",
                             {{"A.TXT", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    disk.Entry(0, "U0", "TXT", 2, {2}).Entry(1, "U1", "TXT", 4, {3});
    cases.push_back(HereCase("UserNumbersZeroAndOne", disk,
                             "U0.TXT      " "   256\n" "U1.TXT      " "   512\n",
                             {{"U0.TXT", disk.Sectors(2, 1)}, {"U1.TXT", disk.Sectors(3, 2)}}));
  }
  {
    Disk disk;
    disk.Entry(0, "SAME", "TXT", 2, {2}).Entry(1, "SAME", "TXT", 4, {3});
    cases.push_back(HereCase("SameNameUnderTwoUsersLaterReplaces", disk,
                             "SAME.TXT    " "   256\n" "SAME.TXT    " "   512\n",
                             {{"SAME.TXT", disk.Sectors(3, 2)}}));
  }
  {
    Disk disk;
    // R with bit 7 (read-only flag), T with bit 7 (system flag), X with both.
    disk.RawEntry(0, "\xD2" "EADME  \xD4\xD8T", 2, {2});
    cases.push_back(HereCase("FlaggedNameBytesGiveSevenBitName", disk,
                             "README.TXT  " "   256\n", {{"README.TXT", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    // A flagged space opens the extension and ends it at once.
    disk.RawEntry(0, "NAME    \xA0" "AB", 2, {2});
    cases.push_back(HereCase("FlaggedSpaceExtensionGivesTrailingDot", disk,
                             "NAME.       " "   256\n", {{"NAME.", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    disk.Entry(0, "NAME", "", 2, {2});
    cases.push_back(HereCase("BlankExtensionGivesNoDot", disk, "NAME        " "   256\n",
                             {{"NAME", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    disk.Entry(0, "ABCDEFGH", "XYZ", 2, {2});
    cases.push_back(HereCase("TwelveCharacterNameFillsItsColumn", disk,
                             "ABCDEFGH.XYZ" "   256\n", {{"ABCDEFGH.XYZ", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    // 0x80 masks to 0, which ends the name as a string.
    disk.RawEntry(0, "AB\x80" "CD   TXT", 2, {2});
    cases.push_back(HereCase("MaskedZeroByteEndsTheName", disk, "AB          " "   256\n",
                             {{"AB", disk.Sectors(2, 1)}}));
  }
  {
    Disk disk;
    disk.Entry(0, "A/B", "TXT", 2, {2}).Entry(0, "../X", "", 2, {3});
    cases.push_back(HereCase("SlashBecomesUnderscore", disk,
                             "A_B.TXT     " "   256\n" ".._X        " "   256\n",
                             {{"A_B.TXT", disk.Sectors(2, 1)}, {".._X", disk.Sectors(3, 1)}}));
  }
  {
    // A name that names no file: listed, then reported; the walk goes on.
    Disk disk;
    disk.Entry(0, ".", "", 2, {2}).Entry(0, "A", "TXT", 2, {3});
    cases.push_back({"DotNameCannotBeWritten",
                     [disk] { return disk.Build(); },
                     {"-d"},
                     ".           " "   256\n" "A.TXT       " "   256\n",
                     WriteFailed("."),
                     2,
                     {{"A.TXT", disk.Sectors(3, 1)}}});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Walk, D88cpmRun, ::testing::ValuesIn(WalkCases()), CaseName);

// ---------------------------------------------------------------------------
// Sizes from the record count: a record is half a sector, every block but the
// last is whole, and the sector counter wraps below zero. With -d.

struct RecordCountRow {
  std::string name;
  uint8_t recordCount;
  std::vector<int> blocks;
  std::vector<int> sectorsRead;  // per block
  std::string out;
};

std::vector<CpmCase> RecordCountCases() {
  const std::vector<RecordCountRow> rows = {
      // A block of no sectors reads nothing, which is marked.
      {"Rc0OneBlock", 0, {2}, {0}, "F.BIN       " "!" "     0\n"},
      {"Rc0NoBlocks", 0, {}, {}, "F.BIN       " "     0\n"},
      {"Rc1", 1, {2}, {1}, "F.BIN       " "   256\n"},
      {"Rc2", 2, {2}, {1}, "F.BIN       " "   256\n"},
      {"Rc3RoundsUpToASector", 3, {2}, {2}, "F.BIN       " "   512\n"},
      {"Rc15", 15, {2}, {8}, "F.BIN       " "  2048\n"},
      {"Rc16", 16, {2}, {8}, "F.BIN       " "  2048\n"},
      {"Rc17TwoBlocks", 17, {2, 3}, {8, 1}, "F.BIN       " "  2304\n"},
      {"Rc40ThreeBlocks", 40, {2, 3, 4}, {8, 8, 4}, "F.BIN       " "  5120\n"},
      {"Rc7FEightBlocks", 0x7F, Blocks(2, 8), {8, 8, 8, 8, 8, 8, 8, 8},
       "F.BIN       " " 16384\n"},
      // The counter wraps to 249 after the second block: the third is whole.
      {"Rc17ThreeBlocksLastWhole", 17, {2, 3, 4}, {8, 8, 8}, "F.BIN       " "  6144\n"},
      {"Rc2ThreeBlocksLastWhole", 2, {2, 3, 4}, {8, 8, 8}, "F.BIN       " "  6144\n"},
      // A full extent takes every block whole, also the ninth, where the
      // counter (64 sectors) has run down to exactly 0.
      {"Rc80NineBlocksAllWhole", 0x80, Blocks(2, 9), std::vector<int>(9, 8),
       "F.BIN       " " 18432\n"},
      // A zero block number ends the list: block 3 after it is not read.
      {"ZeroEndsTheBlockList", 32, {2, 0, 3}, {8}, "F.BIN       " "  2048\n"},
  };
  std::vector<CpmCase> cases;
  for (const RecordCountRow& row : rows) {
    Disk disk;
    disk.Entry(0, "F", "BIN", row.recordCount, row.blocks);
    Bytes expected;
    for (size_t i = 0; i < row.sectorsRead.size(); ++i) {
      expected = Cat({expected, disk.Sectors(row.blocks[i], row.sectorsRead[i])});
    }
    cases.push_back(HereCase(row.name, disk, row.out, {{"F.BIN", expected}}));
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(RecordCount, D88cpmRun, ::testing::ValuesIn(RecordCountCases()),
                         CaseName);

// ---------------------------------------------------------------------------
// Blocks that cannot be read, or only in part. A block counts in full; what
// no read delivered is zero, never the bytes of an earlier file. With -d.

std::vector<CpmCase> UnreadableBlockCases() {
  // F is two whole blocks, 2 and 3 (track index 5, records 1-8 and 9-16).
  Disk disk;
  disk.Entry(0, "F", "BIN", 32, {2, 3});
  const auto damaged = [disk](std::function<void(DiskBuilder&)> damage) {
    return [disk, damage] {
      DiskBuilder d = disk.ToDisk();
      damage(d);
      return d.Build();
    };
  };
  const int track = BlockTrack(3);
  const int record = BlockRecord(3);
  std::vector<CpmCase> cases = {
      {"FirstSectorOfBlockMissing",
       damaged([=](DiskBuilder& d) { RemoveSectors(d, track, record, record); }),
       {"-d"},
       "F.BIN       " "!" "  4096\n",
       "",
       0,
       {{"F.BIN", Cat({disk.Content(2), Zeros(kBlockSize)})}}},
      {"LaterSectorOfBlockMissing",
       damaged([=](DiskBuilder& d) { RemoveSectors(d, track, record + 3, record + 3); }),
       {"-d"},
       "F.BIN       " "  4096\n",
       "",
       0,
       {{"F.BIN", Cat({disk.Content(2), disk.Sectors(3, 3), Zeros(5 * kSectorSize)})}}},
      // What a short sector delivered stays, though the read does not count it.
      {"FirstSectorOfBlockShort",
       damaged([=](DiskBuilder& d) { ShortenSector(d, track, record, 100); }),
       {"-d"},
       "F.BIN       " "!" "  4096\n",
       "",
       0,
       {{"F.BIN", Cat({disk.Content(2), disk.Head(3, 100), Zeros(kBlockSize - 100)})}}},
      {"LaterSectorOfBlockShort",
       damaged([=](DiskBuilder& d) { ShortenSector(d, track, record + 2, 100); }),
       {"-d"},
       "F.BIN       " "  4096\n",
       "",
       0,
       {{"F.BIN", Cat({disk.Content(2), disk.Head(3, 2 * kSectorSize + 100),
                       Zeros(kBlockSize - 2 * kSectorSize - 100)})}}},
      {"TrackAbsentMarksEachBlock",
       damaged([=](DiskBuilder& d) { d.RemoveTrack(track); }),
       {"-d"},
       "F.BIN       " "!!" "  4096\n",
       "",
       0,
       {{"F.BIN", Zeros(2 * kBlockSize)}}},
  };

  // A fills the start of the transfer buffer; B, after it, reads nothing of
  // its block 4 and half of its block 5.
  Disk two;
  two.Entry(0, "A", "BIN", 32, {2, 3}).Entry(0, "B", "BIN", 32, {4, 5});
  cases.push_back({"UnreadBytesAreZeroNotAnEarlierFile",
                   [two] {
                     DiskBuilder d = two.ToDisk();
                     RemoveSectors(d, BlockTrack(4), BlockRecord(4), BlockRecord(4));
                     RemoveSectors(d, BlockTrack(5), BlockRecord(5) + 4, BlockRecord(5) + 4);
                     return d.Build();
                   },
                   {"-d"},
                   "A.BIN       " "  4096\n" "B.BIN       " "!" "  4096\n",
                   "",
                   0,
                   {{"A.BIN", two.Whole({2, 3})},
                    {"B.BIN",
                     Cat({Zeros(kBlockSize), two.Sectors(5, 4), Zeros(4 * kSectorSize)})}}});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(UnreadableBlocks, D88cpmRun, ::testing::ValuesIn(UnreadableBlockCases()),
                         CaseName);

// ---------------------------------------------------------------------------
// Files over several entries. An entry with bit 7 of its record count set
// leaves its file pending; an entry of another user or name, or the end of
// the run, finishes it.

std::vector<CpmCase> ContinuationCases() {
  std::vector<CpmCase> cases;
  {
    Disk disk;
    disk.Entry(0, "BIG", "BIN", 0x80, Blocks(2, 16)).Entry(0, "BIG", "BIN", 0x10, {18});
    cases.push_back(HereCase("TwoEntriesOneName", disk, "BIG.BIN     " " 34816\n",
                             {{"BIG.BIN", disk.Whole(Blocks(2, 17))}}));
    // The first entry's mark comes before the name, which the last entry prints.
    cases.push_back({"MarkOfAnEarlierEntryBeforeTheName",
                     [disk] {
                       DiskBuilder d = disk.ToDisk();
                       RemoveSectors(d, BlockTrack(5), BlockRecord(5), BlockRecord(5));
                       return d.Build();
                     },
                     {"-d"},
                     "!" "BIG.BIN     " " 34816\n",
                     "",
                     0,
                     {{"BIG.BIN", Cat({disk.Whole(Blocks(2, 3)), Zeros(kBlockSize),
                                       disk.Whole(Blocks(6, 13))})}}});
  }
  {
    // 16 KiB exactly: CP/M gives the one entry a full record count.
    Disk disk;
    disk.Entry(0, "A", "BIN", 0x80, Blocks(2, 8)).Entry(0, "B", "BIN", 4, {10});
    cases.push_back(HereCase("MultipleOf16KiBIsNotGluedToTheNextFile", disk,
                             "A.BIN       " " 16384\n" "B.BIN       " "   512\n",
                             {{"A.BIN", disk.Whole(Blocks(2, 8))},
                              {"B.BIN", disk.Sectors(10, 2)}}));
  }
  {
    // The same name under another user is another file.
    Disk disk;
    disk.Entry(0, "A", "BIN", 0x80, Blocks(2, 16)).Entry(1, "A", "BIN", 2, {18});
    cases.push_back(HereCase("OtherUserFinishesThePendingFile", disk,
                             "A.BIN       " " 32768\n" "A.BIN       " "   256\n",
                             {{"A.BIN", disk.Sectors(18, 1)}}));
  }
  {
    Disk disk;
    disk.Entry(0, "A", "TXT", 2, {2}).Entry(0, "Z", "BIN", 0x80, Blocks(3, 16));
    cases.push_back({"PendingAtTheEndOfTheRunIsWritten",
                     [disk] { return disk.Build(); },
                     {},
                     "A.TXT       " "   256\n" "Z.BIN       " " 32768\n",
                     "",
                     0,
                     {{"000/", {}},
                      {"000/A.TXT", disk.Sectors(2, 1)},
                      {"000/Z.BIN", disk.Whole(Blocks(3, 16))}}});
  }
  {
    Disk first(0);
    first.Entry(0, "BIG", "BIN", 0x80, Blocks(2, 16));
    Disk second(1);
    second.Entry(0, "BIG", "BIN", 0x10, {2});
    cases.push_back({"SameNameOnTheNextDiskContinues",
                     [first, second] { return Cat({first.Build(), second.Build()}); },
                     {},
                     "BIG.BIN     " " 34816\n",
                     "",
                     0,
                     {{"000/", {}},
                      {"001/", {}},
                      {"001/BIG.BIN", Cat({first.Whole(Blocks(2, 16)), second.Content(2)})}}});
  }
  {
    Disk first(0);
    first.Entry(0, "X", "BIN", 0x80, Blocks(2, 16));
    Disk second(1);
    second.Entry(0, "Y", "BIN", 2, {2});
    cases.push_back({"PendingFileGoesToTheDiskOfItsLastEntry",
                     [first, second] { return Cat({first.Build(), second.Build()}); },
                     {},
                     "X.BIN       " " 32768\n" "Y.BIN       " "   256\n",
                     "",
                     0,
                     {{"000/", {}},
                      {"000/X.BIN", first.Whole(Blocks(2, 16))},
                      {"001/", {}},
                      {"001/Y.BIN", second.Sectors(2, 1)}}});
  }
  {
    // RC 0x90 prints the name at once: the mark of its own block 3 follows.
    Disk disk;
    disk.Entry(0, "X", "BIN", 0x90, {2, 3}).Entry(0, "Y", "BIN", 2, {4});
    cases.push_back({"HighRecordCountPrintsItsNameAtOnce",
                     [disk] {
                       DiskBuilder d = disk.ToDisk();
                       RemoveSectors(d, BlockTrack(3), BlockRecord(3), BlockRecord(3));
                       return d.Build();
                     },
                     {"-d"},
                     "X.BIN       " "!" "  4096\n" "Y.BIN       " "   256\n",
                     "",
                     0,
                     {{"X.BIN", Cat({disk.Content(2), Zeros(kBlockSize)})},
                      {"Y.BIN", disk.Sectors(4, 1)}}});
  }
  {
    Disk disk;
    disk.Entry(0, "X", "BIN", 0xFF, {2});
    cases.push_back(HereCase("HighRecordCountAtTheEndOfTheRun", disk, "X.BIN       " "  2048\n",
                             {{"X.BIN", disk.Content(2)}}));
  }
  {
    // Every entry that is not a full extent prints the name.
    Disk disk;
    disk.Entry(0, "X", "BIN", 0x81, {2}).Entry(0, "X", "BIN", 2, {3});
    cases.push_back(HereCase("HighRecordCountThenSameName", disk,
                             "X.BIN       " "X.BIN       " "  2304\n",
                             {{"X.BIN", Cat({disk.Content(2), disk.Sectors(3, 1)})}}));
  }
  {
    // Eleven full entries and one more block: 362496 bytes, more than the
    // 320 KiB the transfer buffer starts with. The next file's unread sectors
    // are zero, not the big file's bytes.
    Disk disk;
    for (int e = 0; e < 11; ++e) disk.Entry(0, "BIG", "BIN", 0x80, Blocks(2 + 16 * e, 16));
    disk.Entry(0, "BIG", "BIN", 0x10, {178}).Entry(0, "NEXT", "BIN", 16, {179});
    cases.push_back({"LongerThanTheTransferBuffer",
                     [disk] {
                       DiskBuilder d = disk.ToDisk();
                       const int second = BlockRecord(179) + 1;
                       RemoveSectors(d, BlockTrack(179), second, second);
                       return d.Build();
                     },
                     {"-d"},
                     "BIG.BIN     " " 362496\n" "NEXT.BIN    " "  2048\n",
                     "",
                     0,
                     {{"BIG.BIN", disk.Whole(Blocks(2, 177))},
                      {"NEXT.BIN", Cat({disk.Sectors(179, 1), Zeros(7 * kSectorSize)})}}});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Continuation, D88cpmRun, ::testing::ValuesIn(ContinuationCases()),
                         CaseName);

}  // namespace
