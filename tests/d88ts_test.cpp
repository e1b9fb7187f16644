// d88ts as a user runs it: the built program in a fresh folder, on images
// built in code, with its exact console bytes, exit code and files written.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "d88_builder.h"
#include "expected_texts.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using d88test::Bytes;
using d88test::DirectoryFailed;
using d88test::FolderFailed;
using d88test::kOpenFailed;
using d88test::ReadFailed;
using d88test::WriteFailed;
using d88test::DiskBuilder;
using d88test::Pattern;
using d88test::RunResult;
using d88test::Sector;
using d88test::TsDiskBuilder;
using Files = std::map<std::string, Bytes>;

std::string Header(const std::string& diskName, const std::string& folder) {
  return "\n[" + diskName + "] -> " + folder + "\n";
}

// One listing line; ListingFormat pins the layout with literal lines.
std::string Line(const std::string& name, int track, int sector, unsigned size, bool pcm = false) {
  char text[80];
  std::snprintf(text, sizeof text, "%-12s  TRK:%02x SEC:%02x SIZE:%6x%s", name.c_str(), track,
                sector, size, pcm ? " [PCM HEADER CUT]\n" : "\n");
  return text;
}

// ---- Bytes ----

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Zeros(size_t count) { return Bytes(count, 0); }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---- Damage to a built disk ----

// Takes record r out of a track; the other sectors' count follows.
void RemoveRecord(DiskBuilder& disk, int track, int record) {
  std::vector<Sector>& sectors = disk.Track(track);
  for (auto it = sectors.begin(); it != sectors.end(); ++it) {
    if (it->r == record) {
      sectors.erase(it);
      break;
    }
  }
  for (Sector& s : sectors) s.sectorCount = static_cast<uint16_t>(sectors.size());
}

Sector& Record(DiskBuilder& disk, int track, int record) {
  for (Sector& s : disk.Track(track)) {
    if (s.r == record) return s;
  }
  throw std::out_of_range("no such record");
}

// Shortens the data of one sector: its header then claims only these bytes.
void ShortenRecord(DiskBuilder& disk, int track, int record, size_t bytes) {
  Record(disk, track, record).data.resize(bytes);
}

// Puts in front of every sector of a track copies with the same R but every
// wrong cylinder and head near the right ones, filled with 0xEE: a run that
// steps with a wrong head or cylinder reads these bytes instead of failing.
void AddDecoys(DiskBuilder& disk, int track) {
  std::vector<Sector>& sectors = disk.Track(track);
  const int c = track / 2;
  const int h = track % 2;
  std::vector<Sector> all;
  for (const Sector& real : sectors) {
    for (int dc = -1; dc <= 1; ++dc) {
      for (int dh = 0; dh <= 1; ++dh) {
        if ((dc == 0 && dh == h) || c + dc < 0) continue;
        Sector decoy = real;
        decoy.c = static_cast<uint8_t>(c + dc);
        decoy.h = static_cast<uint8_t>(dh);
        decoy.data.assign(real.data.size(), 0xEE);
        all.push_back(decoy);
      }
    }
  }
  all.insert(all.end(), sectors.begin(), sectors.end());
  for (Sector& s : all) s.sectorCount = static_cast<uint16_t>(all.size());
  sectors = all;
}

// ---- Running the tool ----

RunResult RunIn(const fs::path& cwd, const std::vector<std::string>& args) {
  return d88test::RunTool(d88test::D88tsPath(), args, cwd);
}

// Standard output and standard error in one stream, in the order written.
RunResult RunMergedIn(const fs::path& cwd, const std::vector<std::string>& args) {
  std::vector<std::string> shellArgs{"-c", "exec \"$0\" \"$@\" 2>&1", d88test::D88tsPath()};
  shellArgs.insert(shellArgs.end(), args.begin(), args.end());
  return d88test::RunTool("/bin/sh", shellArgs, cwd);
}

class D88tsTest : public testing::Test {
 protected:
  // Writes the image apart from the starting folder, so that the starting
  // folder holds only what the run wrote.
  fs::path PutImage(const Bytes& image) {
    const fs::path path = images_.path() / "disk.d88";
    d88test::WriteBytes(path, image);
    return path;
  }

  RunResult Run(const Bytes& image, std::vector<std::string> options = {}) {
    options.insert(options.begin(), PutImage(image).string());
    return RunIn(work_.path(), options);
  }

  Files Output() const { return d88test::Tree(work_.path()); }
  const fs::path& Work() const { return work_.path(); }

 private:
  d88test::TempFolder images_;
  d88test::TempFolder work_;
};

// A disk of two files: GAME.BIN of three sectors with 0x100 bytes in the
// last, and PCM.DAT of two whole sectors.
struct TwoFileDisk {
  Bytes game = Pattern(3 * 1024, 1);
  Bytes pcm = Pattern(2 * 1024, 2);
  Bytes Build() const {
    TsDiskBuilder disk;
    disk.SetName("OPTS");
    disk.PutData(2, 1, game).AddEntry("GAME", "BIN", 2, 1, 3, 0x100);
    disk.PutData(3, 1, pcm).AddEntry("PCM", "DAT", 3, 1, 2, 0);
    return disk.AddEndMark().Build();
  }
};

// ======================= Driver =======================

TEST_F(D88tsTest, NoArgumentPrintsUsage) {
  const RunResult r = RunIn(Work(), {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, d88test::TsUsage(d88test::D88tsPath()));
  EXPECT_EQ(Output(), Files{});
}

TEST_F(D88tsTest, ImageThatCannotBeOpened) {
  struct Case {
    const char* name;
    std::string path;
  };
  fs::create_directory(Work() / "folder.d88");
  const std::vector<Case> cases = {
      {"missing file", "missing.d88"},
      {"missing folder on the way", "nowhere/disk.d88"},
      {"empty path", ""},
      {"a folder", "folder.d88"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = RunIn(Work(), {c.path, "-d"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kOpenFailed);
    EXPECT_EQ(Output(), (Files{{"folder.d88/", {}}}));
  }
}

TEST_F(D88tsTest, OptionGivenFirstIsThePath) {
  const fs::path image = PutImage(TwoFileDisk().Build());
  RunResult r = RunIn(Work(), {"-d", image.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kOpenFailed);
  EXPECT_EQ(Output(), Files{});

  // An image named "-d" is read, into disk folders: the real path after it
  // is an unknown word.
  TsDiskBuilder dashed;
  dashed.SetName("DASH").AddFile("D", "BIN", 2, 1, Pattern(10, 3)).AddEndMark();
  const Bytes dashedImage = dashed.Build();
  d88test::WriteBytes(Work() / "-d", dashedImage);
  r = RunIn(Work(), {"-d", image.string()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Header("DASH", "000") + Line("D.BIN", 2, 1, 10));
  EXPECT_EQ(Output(),
            (Files{{"-d", dashedImage}, {"000/", {}}, {"000/D.BIN", Pattern(10, 3)}}));
}

TEST_F(D88tsTest, OptionsInAnyOrderAndNumber) {
  struct Case {
    const char* name;
    std::vector<std::string> options;
    bool createFolders;
    bool sectorMode;
    bool cutPcmHeader;
  };
  const std::vector<Case> cases = {
      {"none", {}, true, false, true},
      {"-d", {"-d"}, false, false, true},
      {"-s", {"-s"}, true, true, true},
      {"-h", {"-h"}, true, false, false},
      {"all three, reversed", {"-h", "-s", "-d"}, false, true, false},
      {"repeated", {"-s", "-d", "-s", "-d"}, false, true, true},
      {"capitals are not options", {"-D", "-S", "-H"}, true, false, true},
      {"unknown words", {"-x", "second.d88", "--d", "d", "-ds", "-d ", ""}, true, false, true},
      {"options among unknown words", {"-D", "-d", "foo", "-h"}, false, false, false},
  };
  const TwoFileDisk disk;
  const Bytes image = disk.Build();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    std::vector<std::string> args = {PutImage(image).string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = RunIn(work.path(), args);

    const unsigned gameSize = c.sectorMode ? 0xC00 : 0x900;
    const unsigned pcmSkip = c.cutPcmHeader ? 4 : 0;
    const unsigned pcmSize = 0x800 - pcmSkip;
    const std::string folder = c.createFolders ? "000/" : "";
    Files files = {{folder + "GAME.BIN", Slice(disk.game, 0, gameSize)},
                   {folder + "PCM.DAT", Slice(disk.pcm, pcmSkip, pcmSize)}};
    if (c.createFolders) files["000/"] = {};

    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, (c.createFolders ? Header("OPTS", "000") : "") +
                         Line("GAME.BIN", 2, 1, gameSize) +
                         Line("PCM.DAT", 3, 1, pcmSize, c.cutPcmHeader));
    EXPECT_EQ(d88test::Tree(work.path()), files);
  }
}

TEST_F(D88tsTest, ImageWithoutDisksDoesNothing) {
  struct Case {
    const char* name;
    Bytes image;
  };
  const Bytes oneDisk = TwoFileDisk().Build();
  const std::vector<Case> cases = {
      {"empty file", {}},
      {"one byte short of a disk header", Slice(oneDisk, 0, 687)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"-d"}}) {
      const RunResult r = Run(c.image, options);
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(Output(), Files{});
    }
  }
}

TEST_F(D88tsTest, EachDiskInItsFolderWithItsHeaderLine) {
  TsDiskBuilder first, blank, full, japanese;
  first.SetName("FIRST DISK").AddFile("A", "BIN", 2, 1, Pattern(100, 1)).AddEndMark();
  // An empty name, and an end mark in entry 0: the header line and an empty
  // folder.
  blank.AddEndMark().AddFile("HIDDEN", "BIN", 2, 1, Pattern(100, 2));
  // Sixteen bytes fill the name field with no zero after them.
  full.SetName("SIXTEEN-CHARS-XY").AddFile("C", "BIN", 4, 3, Pattern(2000, 3)).AddEndMark();
  // "ディスク" (disk), bytes above 0x7F printed unchanged.
  japanese.SetName("\x83" "f\x83" "B\x83X\x83N").AddFile("D", "", 2, 1, Pattern(5, 4)).AddEndMark();
  const RunResult r =
      Run(d88test::Concat({first.Build(), blank.Build(), full.Build(), japanese.Build()}));

  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Header("FIRST DISK", "000") + Line("A.BIN", 2, 1, 100) + Header("", "001") +
                       Header("SIXTEEN-CHARS-XY", "002") + Line("C.BIN", 4, 3, 2000) +
                       Header("\x83" "f\x83" "B\x83X\x83N", "003") + Line("D", 2, 1, 5));
  EXPECT_EQ(Output(), (Files{{"000/", {}},
                             {"000/A.BIN", Pattern(100, 1)},
                             {"001/", {}},
                             {"002/", {}},
                             {"002/C.BIN", Pattern(2000, 3)},
                             {"003/", {}},
                             {"003/D", Pattern(5, 4)}}));
}

TEST_F(D88tsTest, UnreadableDirectoryStopsTheRun) {
  struct Case {
    const char* name;
    std::function<void(DiskBuilder&)> damage;
  };
  const std::vector<Case> cases = {
      {"track 1 absent", [](DiskBuilder& d) { d.RemoveTrack(1); }},
      {"record 1 missing", [](DiskBuilder& d) { RemoveRecord(d, 1, 1); }},
      {"record 2 missing", [](DiskBuilder& d) { RemoveRecord(d, 1, 2); }},
      {"record 1 short", [](DiskBuilder& d) { ShortenRecord(d, 1, 1, 1023); }},
      {"record 2 short", [](DiskBuilder& d) { ShortenRecord(d, 1, 2, 1000); }},
      {"record 2 of size code 2", [](DiskBuilder& d) { Record(d, 1, 2).n = 2; }},
      {"record 1 on head 0", [](DiskBuilder& d) { Record(d, 1, 1).h = 0; }},
      {"record 2 on cylinder 1", [](DiskBuilder& d) { Record(d, 1, 2).c = 1; }},
  };
  TsDiskBuilder one, two, three;
  one.SetName("ONE").AddFile("ONE", "BIN", 2, 1, Pattern(300, 1)).AddEndMark();
  two.SetName("TWO").AddFile("TWO", "BIN", 2, 1, Pattern(300, 2)).AddEndMark();
  three.SetName("THREE").AddFile("THREE", "BIN", 2, 1, Pattern(300, 3)).AddEndMark();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DiskBuilder damaged = two.ToDisk();
    c.damage(damaged);
    const Bytes image = d88test::Concat({one.Build(), damaged.Build(), three.Build()});
    {
      d88test::TempFolder work;
      const RunResult r = RunIn(work.path(), {PutImage(image).string()});
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.out, Header("ONE", "000") + Line("ONE.BIN", 2, 1, 300));
      EXPECT_EQ(r.err, DirectoryFailed(2));
      EXPECT_EQ(d88test::Tree(work.path()),
                (Files{{"000/", {}}, {"000/ONE.BIN", Pattern(300, 1)}}));
    }
    {
      d88test::TempFolder work;
      const RunResult r =
          RunIn(work.path(), {PutImage(image).string(), "-d"});
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.out, Line("ONE.BIN", 2, 1, 300));
      EXPECT_EQ(r.err, DirectoryFailed(2));
      EXPECT_EQ(d88test::Tree(work.path()), (Files{{"ONE.BIN", Pattern(300, 1)}}));
    }
  }
}

TEST_F(D88tsTest, UnreadableFirstDirectoryWritesNothing) {
  TsDiskBuilder one, two;
  one.AddFile("ONE", "BIN", 2, 1, Pattern(300, 1)).AddEndMark();
  two.AddFile("TWO", "BIN", 2, 1, Pattern(300, 2)).AddEndMark();
  DiskBuilder damaged = one.ToDisk();
  damaged.RemoveTrack(1);
  const RunResult r = Run(d88test::Concat({damaged.Build(), two.Build()}));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, DirectoryFailed(1));
  EXPECT_EQ(Output(), Files{});
}

TEST_F(D88tsTest, DirectoryMessageCountsDisksFromOne) {
  std::vector<Bytes> disks;
  std::string out;
  Files files;
  for (int j = 0; j < 10; ++j) {
    TsDiskBuilder disk;
    disk.SetName("D" + std::to_string(j)).AddEndMark();
    disks.push_back(disk.Build());
    char folder[8];
    std::snprintf(folder, sizeof folder, "%03d", j);
    out += Header("D" + std::to_string(j), folder);
    files[std::string(folder) + "/"] = {};
  }
  DiskBuilder eleventh = TsDiskBuilder().ToDisk();
  RemoveRecord(eleventh, 1, 2);
  disks.push_back(eleventh.Build());
  const RunResult r = Run(d88test::Concat(disks));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, DirectoryFailed(11));
  EXPECT_EQ(Output(), files);
}

TEST_F(D88tsTest, WithoutFoldersLaterDiskReplacesEarlierFile) {
  TsDiskBuilder one, two;
  one.SetName("ONE").AddFile("SAME", "BIN", 2, 1, Pattern(3000, 1))
      .AddFile("ONE", "BIN", 6, 1, Pattern(10, 2)).AddEndMark();
  two.SetName("TWO").AddFile("SAME", "BIN", 4, 2, Pattern(1000, 3))
      .AddFile("TWO", "BIN", 6, 1, Pattern(20, 4)).AddEndMark();
  const RunResult r = Run(d88test::Concat({one.Build(), two.Build()}), {"-d"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Line("SAME.BIN", 2, 1, 3000) + Line("ONE.BIN", 6, 1, 10) +
                       Line("SAME.BIN", 4, 2, 1000) + Line("TWO.BIN", 6, 1, 20));
  EXPECT_EQ(Output(), (Files{{"SAME.BIN", Pattern(1000, 3)},
                             {"ONE.BIN", Pattern(10, 2)},
                             {"TWO.BIN", Pattern(20, 4)}}));
}

TEST_F(D88tsTest, SecondRunReusesTheFolders) {
  TsDiskBuilder one, two;
  one.SetName("ONE").AddFile("GAME", "BIN", 2, 1, Pattern(1500, 1)).AddEndMark();
  two.SetName("TWO").AddFile("DATA", "BIN", 2, 1, Pattern(700, 2)).AddEndMark();
  const Bytes image = d88test::Concat({one.Build(), two.Build()});
  const std::string out = Header("ONE", "000") + Line("GAME.BIN", 2, 1, 1500) +
                          Header("TWO", "001") + Line("DATA.BIN", 2, 1, 700);
  RunResult r = Run(image);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, out);

  // A longer stale file is cut to the new length; other files stay.
  d88test::WriteBytes(Work() / "000" / "GAME.BIN", Pattern(5000, 9));
  d88test::WriteBytes(Work() / "001" / "OTHER.TXT", Text("keep"));
  r = Run(image);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(Output(), (Files{{"000/", {}},
                             {"000/GAME.BIN", Pattern(1500, 1)},
                             {"001/", {}},
                             {"001/DATA.BIN", Pattern(700, 2)},
                             {"001/OTHER.TXT", Text("keep")}}));
}

TEST_F(D88tsTest, DiskFolderThatCannotBeMade) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> block;  // puts something non-folder at 001
    Files blocker;                                // how it shows in the tree
  };
  const std::vector<Case> cases = {
      {"plain file",
       [](const fs::path& p) { d88test::WriteBytes(p, Text("plain")); },
       {{"001", Text("plain")}}},
      {"link to nothing",
       [](const fs::path& p) { fs::create_symlink("missing-target", p); },
       {{"001@", {}}}},
  };
  TsDiskBuilder one, two, three;
  one.SetName("ONE").AddFile("ONE", "BIN", 2, 1, Pattern(300, 1)).AddEndMark();
  two.SetName("TWO").AddFile("TWO", "BIN", 2, 1, Pattern(300, 2)).AddEndMark();
  three.SetName("THREE").AddFile("THREE", "BIN", 2, 1, Pattern(300, 3)).AddEndMark();
  const Bytes image = d88test::Concat({one.Build(), two.Build(), three.Build()});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder images;
    d88test::TempFolder work;
    const fs::path imagePath = images.path() / "disk.d88";
    d88test::WriteBytes(imagePath, image);
    c.block(work.path() / "001");
    const RunResult r = RunIn(work.path(), {imagePath.string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, Header("ONE", "000") + Line("ONE.BIN", 2, 1, 300) + Header("THREE", "002") +
                         Line("THREE.BIN", 2, 1, 300));
    EXPECT_EQ(r.err, FolderFailed("001"));
    Files files = {{"000/", {}},
                   {"000/ONE.BIN", Pattern(300, 1)},
                   {"002/", {}},
                   {"002/THREE.BIN", Pattern(300, 3)}};
    files.insert(c.blocker.begin(), c.blocker.end());
    EXPECT_EQ(d88test::Tree(work.path()), files);
    EXPECT_EQ(d88test::Tree(images.path()), (Files{{"disk.d88", image}}));
  }
}

TEST_F(D88tsTest, DiskFolderThatIsALinkElsewhere) {
  d88test::TempFolder elsewhere;
  fs::create_directory(elsewhere.path() / "target");
  fs::create_directory_symlink(elsewhere.path() / "target", Work() / "000");
  TsDiskBuilder one, two;
  one.SetName("ONE").AddFile("ONE", "BIN", 2, 1, Pattern(300, 1)).AddEndMark();
  two.SetName("TWO").AddFile("TWO", "BIN", 2, 1, Pattern(400, 2)).AddEndMark();
  const RunResult r = Run(d88test::Concat({one.Build(), two.Build()}));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Header("ONE", "000") + Line("ONE.BIN", 2, 1, 300) + Header("TWO", "001") +
                       Line("TWO.BIN", 2, 1, 400));
  EXPECT_EQ(Output(), (Files{{"000@", {}}, {"001/", {}}, {"001/TWO.BIN", Pattern(400, 2)}}));
  EXPECT_EQ(d88test::Tree(elsewhere.path()),
            (Files{{"target/", {}}, {"target/ONE.BIN", Pattern(300, 1)}}));
}

// ======================= Directory walk =======================

TEST_F(D88tsTest, EndMarkAndEmptySlots) {
  struct Case {
    const char* name;
    std::function<void(TsDiskBuilder&)> build;
    std::string out;
    Files files;
  };
  // An empty slot that would be a good entry but for its first byte.
  const Bytes emptySlot = Cat({0x00}, Cat(Text("AME    BIN"), {2, 1, 1, 16, 0}));
  const Bytes a = Pattern(16, 1);
  const Bytes b = Pattern(16, 2);
  const std::vector<Case> cases = {
      {"end mark in entry 0",
       [&](TsDiskBuilder& d) { d.AddEndMark().AddFile("A", "BIN", 2, 1, a); },
       "", {}},
      {"empty slots before the end mark are passed over",
       [&](TsDiskBuilder& d) {
         d.AddEntry(emptySlot).AddFile("A", "BIN", 2, 1, a).AddEntry(emptySlot)
             .AddEntry(emptySlot).AddFile("B", "BIN", 3, 1, b).AddEndMark();
       },
       Line("A.BIN", 2, 1, 16) + Line("B.BIN", 3, 1, 16), {{"A.BIN", a}, {"B.BIN", b}}},
      {"entries after the end mark are ignored",
       [&](TsDiskBuilder& d) {
         d.AddFile("A", "BIN", 2, 1, a).AddEndMark().AddFile("B", "BIN", 3, 1, b);
       },
       Line("A.BIN", 2, 1, 16), {{"A.BIN", a}}},
      {"an end mark after empty slots",
       [&](TsDiskBuilder& d) { d.AddEntry(emptySlot).AddEndMark().AddFile("B", "BIN", 3, 1, b); },
       "", {}},
      {"space and 0xE5 begin file entries",
       [&](TsDiskBuilder& d) {
         d.AddFile(" X", "BIN", 2, 1, a).AddFile("\xE5" "DEL", "BIN", 3, 1, b).AddEndMark();
       },
       Line(".BIN", 2, 1, 16) + Line("\xE5" "DEL.BIN", 3, 1, 16),
       {{".BIN", a}, {"\xE5" "DEL.BIN", b}}},
      {"no end mark: the last of 128 entries is read",
       [&](TsDiskBuilder& d) {
         for (int k = 0; k < 127; ++k) d.AddEntry(emptySlot);
         d.AddFile("LAST", "BIN", 2, 1, a);
       },
       Line("LAST.BIN", 2, 1, 16), {{"LAST.BIN", a}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    TsDiskBuilder disk;
    c.build(disk);
    const std::string image = PutImage(disk.Build()).string();
    const RunResult r = RunIn(work.path(), {image, "-d"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(d88test::Tree(work.path()), c.files);
  }
}

TEST_F(D88tsTest, DirectoryOf128FilesWithoutEndMark) {
  TsDiskBuilder disk;
  const Bytes data = Pattern(40, 7);
  disk.PutData(2, 1, data);
  std::string out;
  Files files;
  for (int k = 0; k < 128; ++k) {
    char name[8];
    std::snprintf(name, sizeof name, "F%03d", k);
    disk.AddEntry(name, "BIN", 2, 1, 1, 40);
    out += Line(std::string(name) + ".BIN", 2, 1, 40);
    files[std::string(name) + ".BIN"] = data;
  }
  const RunResult r = Run(disk.Build(), {"-d"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(Output(), files);
}

TEST_F(D88tsTest, FileNames) {
  struct Case {
    const char* name;
    std::string nameField;       // 8 raw bytes
    std::string extensionField;  // 3 raw bytes
    std::string expected;        // created and listed
    bool creatable;
  };
  const std::vector<Case> cases = {
      {"name and extension padded with spaces", "GAME    ", "BIN", "GAME.BIN", true},
      {"all eight and three bytes", "ABCDEFGH", "IJK", "ABCDEFGH.IJK", true},
      {"extension of spaces: no dot", "GAME    ", "   ", "GAME", true},
      {"a space in the middle ends the name", "GA ME   ", "BIN", "GA.BIN", true},
      {"a space in the middle ends the extension", "GAME    ", "B N", "GAME.B", true},
      {"name of spaces", "        ", "DAT", ".DAT", true},
      {"extension starting with a space", "GAME    ", " AB", "GAME", true},
      {"zero byte in the name", "GA\0ME   "s, "BIN", "GA", true},
      {"zero byte first in the extension", "GAME    ", "\0BI"s, "GAME.", true},
      {"lower case kept", "game    ", "bin", "game.bin", true},
      {"percent signs are no format", "%s%n%x  ", "%d ", "%s%n%x.%d", true},
      {"bytes above 0x7F kept", "\x83Q\x81[\x83\x80  ", "\xB1\xB2\xFF",
       "\x83Q\x81[\x83\x80.\xB1\xB2\xFF", true},
      {"slash becomes underscore", "A/B     ", "BIN", "A_B.BIN", true},
      {"slash in the extension", "..      ", "/  ", "..._", true},
      {"parent folder attempt", "../     ", "BIN", ".._.BIN", true},
      {"only a slash", "/       ", "   ", "_", true},
      {"empty name", "        ", "   ", "", false},
      {"name \".\"", ".       ", "   ", ".", false},
      {"name \"..\"", "..      ", "   ", "..", false},
      {"\"..\" from a dot and a zero extension", ".       ", "\0  "s, "..", false},
      {"\"..\" before an extension of a space", "..      ", " EX", "..", false},
  };
  const Bytes data = Pattern(100, 9);
  const Bytes next = Pattern(50, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.nameField.size(), 8u);
    ASSERT_EQ(c.extensionField.size(), 3u);
    d88test::TempFolder work;
    TsDiskBuilder disk;
    disk.PutData(2, 1, data).AddEntry(c.nameField, c.extensionField, 2, 1, 1, 100);
    disk.AddFile("NEXT", "BIN", 3, 1, next).AddEndMark();
    const std::string image = PutImage(disk.Build()).string();
    const RunResult r = RunIn(work.path(), {image, "-d"});
    if (c.creatable) {
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.out, Line(c.expected, 2, 1, 100) + Line("NEXT.BIN", 3, 1, 50));
      EXPECT_EQ(d88test::Tree(work.path()), (Files{{c.expected, data}, {"NEXT.BIN", next}}));
    } else {
      EXPECT_EQ(r.exitCode, 2);
      EXPECT_EQ(r.err, WriteFailed(c.expected));
      EXPECT_EQ(r.out, Line("NEXT.BIN", 3, 1, 50));
      EXPECT_EQ(d88test::Tree(work.path()), (Files{{"NEXT.BIN", next}}));
    }
  }
}

TEST_F(D88tsTest, FileSizes) {
  struct Case {
    const char* name;
    int fileSectors;
    int lastSectorBytes;
    bool sectorMode;
    int size;  // 0: no file, no line, no message
  };
  const std::vector<Case> cases = {
      {"bytes in the last sector", 3, 0x0100, false, 2 * 1024 + 0x100},
      {"one byte in the last sector", 3, 1, false, 2 * 1024 + 1},
      {"1024 in the last sector", 3, 1024, false, 3 * 1024},
      {"0 counts as a full last sector", 3, 0, false, 3 * 1024},
      {"0xFFFF: whole sectors", 3, 0xFFFF, false, 3 * 1024},
      {"above 1024 is added in full", 3, 1500, false, 2 * 1024 + 1500},
      {"0xFFFE is added in full", 2, 0xFFFE, false, 1024 + 0xFFFE},
      {"-s with bytes in the last sector", 3, 0x0100, true, 3 * 1024},
      {"-s with 0", 3, 0, true, 3 * 1024},
      {"-s with 0xFFFF", 3, 0xFFFF, true, 3 * 1024},
      {"-s with above 1024", 3, 1500, true, 3 * 1024},
      {"no sectors, 0xFFFF", 0, 0xFFFF, false, 0},
      {"no sectors, 0", 0, 0, false, 0},
      {"no sectors, 1", 0, 1, false, 0},
      {"no sectors, 1024", 0, 1024, false, 0},
      {"no sectors, 1025", 0, 1025, false, 1},
      {"no sectors, 1500", 0, 1500, false, 1500 - 1024},
      {"no sectors, 0xFFFE", 0, 0xFFFE, false, 0xFFFE - 1024},
      {"no sectors, 1500, -s", 0, 1500, true, 0},
  };
  const Bytes data = Pattern(70000, 5);
  TsDiskBuilder base;
  base.PutData(2, 1, data);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    TsDiskBuilder disk = base;
    disk.AddEntry("F", "BIN", 2, 1, c.fileSectors, c.lastSectorBytes).AddEndMark();
    std::vector<std::string> args = {PutImage(disk.Build()).string(), "-d"};
    if (c.sectorMode) args.push_back("-s");
    const RunResult r = RunIn(work.path(), args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    if (c.size > 0) {
      EXPECT_EQ(r.out, Line("F.BIN", 2, 1, static_cast<unsigned>(c.size)));
      EXPECT_EQ(d88test::Tree(work.path()),
                (Files{{"F.BIN", Slice(data, 0, static_cast<size_t>(c.size))}}));
    } else {
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(d88test::Tree(work.path()), Files{});
    }
  }
}

TEST_F(D88tsTest, PcmHeaderCut) {
  struct Case {
    const char* name;
    std::string nameField;
    std::string extensionField;
    int fileSectors;
    int lastSectorBytes;
    std::vector<std::string> options;
    std::string fileName;
    int skip;
    int size;
  };
  const std::vector<Case> cases = {
      {"11 whole sectors", "PCM", "DAT", 11, 0, {}, "PCM.DAT", 4, 11 * 1024 - 4},
      {"-h keeps the header", "PCM", "DAT", 11, 0, {"-h"}, "PCM.DAT", 0, 11 * 1024},
      {"name that only begins with PCM", "PCMVOICE", "DAT", 2, 0x10, {}, "PCMVOICE.DAT", 4,
       1024 + 0x10 - 4},
      {"space after PCM in the name field", "PCM A", "DAT", 1, 0, {}, "PCM.DAT", 4, 1020},
      {"zero after PCM: the raw fields decide", "PCM\0"s, "DAT", 1, 0, {}, "PCM", 4, 1020},
      {"cut after -s sizing", "PCM1", "DAT", 2, 0x10, {"-s"}, "PCM1.DAT", 4, 2048 - 4},
      {"lower case name", "pcm", "DAT", 1, 0, {}, "pcm.DAT", 0, 1024},
      {"lower case extension", "PCM", "dat", 1, 0, {}, "PCM.dat", 0, 1024},
      {"extension not DAT in full", "PCM", "DA", 1, 0, {}, "PCM.DA", 0, 1024},
      {"other extension", "PCM", "BIN", 1, 0, {}, "PCM.BIN", 0, 1024},
      {"PCM not at the start", "XPCM", "DAT", 1, 0, {}, "XPCM.DAT", 0, 1024},
      {"PC only", "PC", "DAT", 1, 0, {}, "PC.DAT", 0, 1024},
      {"size exactly 4: empty file", "PCM", "DAT", 1, 4, {}, "PCM.DAT", 4, 0},
      {"size 5: one byte", "PCM", "DAT", 1, 5, {}, "PCM.DAT", 4, 1},
      {"size 3: whole", "PCM", "DAT", 1, 3, {}, "PCM.DAT", 0, 3},
      {"size 2: whole", "PCM", "DAT", 1, 2, {}, "PCM.DAT", 0, 2},
      {"size 1: whole", "PCM", "DAT", 1, 1, {}, "PCM.DAT", 0, 1},
  };
  const Bytes data = Pattern(12 * 1024, 6);
  TsDiskBuilder base;
  base.PutData(2, 1, data);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    TsDiskBuilder disk = base;
    disk.AddEntry(c.nameField, c.extensionField, 2, 1, c.fileSectors, c.lastSectorBytes);
    disk.AddEndMark();
    std::vector<std::string> args = {PutImage(disk.Build()).string(), "-d"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = RunIn(work.path(), args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, Line(c.fileName, 2, 1, static_cast<unsigned>(c.size), c.skip != 0));
    const Bytes written = Slice(data, static_cast<size_t>(c.skip), static_cast<size_t>(c.size));
    EXPECT_EQ(d88test::Tree(work.path()), (Files{{c.fileName, written}}));
  }
}

TEST_F(D88tsTest, RunsCrossTracksWithTheRightHeadAndCylinder) {
  struct Case {
    const char* name;
    int track;
    int record;
    int sectors;
    std::vector<int> tracksVisited;
  };
  const std::vector<Case> cases = {
      {"track 2 record 5 goes on at track 3, cylinder 1, head 1", 2, 5, 3, {2, 3}},
      {"track 3 record 5 goes on at track 4, cylinder 2, head 0", 3, 5, 3, {3, 4}},
      {"track 1 record 3 goes on at track 2, cylinder 1, head 0", 1, 3, 4, {1, 2}},
      {"two changes of track", 2, 5, 7, {2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    const size_t size = static_cast<size_t>(c.sectors - 1) * 1024 + 1000;
    const Bytes data = Pattern(size, 0x21);
    TsDiskBuilder ts;
    ts.PutData(c.track, c.record, data)
        .AddEntry("RUN", "BIN", c.track, c.record, c.sectors, 1000)
        .AddEndMark();
    DiskBuilder disk = ts.ToDisk();
    for (int t : c.tracksVisited) AddDecoys(disk, t);
    const std::string image = PutImage(disk.Build()).string();
    const RunResult r = RunIn(work.path(), {image, "-d"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, Line("RUN.BIN", c.track, c.record, static_cast<unsigned>(size)));
    EXPECT_EQ(d88test::Tree(work.path()), (Files{{"RUN.BIN", data}}));
  }
}

TEST_F(D88tsTest, StartSectorAboveFiveNeverChangesTrack) {
  struct Case {
    const char* name;
    int record;
    int fileSectors;
    bool complete;
  };
  const std::vector<Case> cases = {
      {"records 6 and 7", 6, 2, true},
      {"record 7 alone", 7, 1, true},
      {"record 8 is missing: the run stops", 6, 3, false},
  };
  const Bytes r6 = Pattern(1024, 0x61);
  const Bytes r7 = Pattern(1024, 0x62);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    // Track 3 holds data that a run wrongly stepping on would read.
    TsDiskBuilder ts;
    ts.PutData(3, 1, Pattern(5 * 1024, 0x40)).PutData(2, 1, Pattern(5 * 1024, 0x30));
    ts.AddEntry("HIGH", "BIN", 2, c.record, c.fileSectors, 0).AddEndMark();
    DiskBuilder disk = ts.ToDisk();
    std::vector<Sector>& track2 = disk.Track(2);
    for (const Bytes* data : {&r6, &r7}) {
      Sector s = track2.back();
      s.r = static_cast<uint8_t>(s.r + 1);
      s.data = *data;
      track2.push_back(s);
    }
    for (Sector& s : track2) s.sectorCount = 7;
    const std::string image = PutImage(disk.Build()).string();
    const RunResult r = RunIn(work.path(), {image, "-d"});

    const Bytes expected =
        c.record == 7 ? r7 : (c.complete ? Cat(r6, r7) : Cat(Cat(r6, r7), Zeros(1024)));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Line("HIGH.BIN", 2, c.record, static_cast<unsigned>(c.fileSectors * 1024)));
    EXPECT_EQ(r.err, c.complete ? "" : ReadFailed("HIGH.BIN"));
    EXPECT_EQ(d88test::Tree(work.path()), (Files{{"HIGH.BIN", expected}}));
  }
}

TEST_F(D88tsTest, SameNameTwiceKeepsTheLaterData) {
  TsDiskBuilder disk;
  disk.AddFile("GAME", "BIN", 2, 1, Pattern(3000, 1));
  disk.AddFile("GAME", "BIN", 5, 1, Pattern(1000, 2)).AddEndMark();
  const RunResult r = Run(disk.Build(), {"-d"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Line("GAME.BIN", 2, 1, 3000) + Line("GAME.BIN", 5, 1, 1000));
  EXPECT_EQ(Output(), (Files{{"GAME.BIN", Pattern(1000, 2)}}));
}

TEST_F(D88tsTest, LargestEntry) {
  struct Case {
    const char* name;
    std::string nameField;
    std::string extensionField;
    std::vector<std::string> options;
    std::string fileName;
    int skip;
    int size;
    bool pcm;
  };
  const int largest = 254 * 1024 + 0xFFFE;
  const std::vector<Case> cases = {
      {"255 sectors, 0xFFFE bytes in the last", "BIG", "BIN", {}, "BIG.BIN", 0, largest, false},
      {"the same with -s", "BIG", "BIN", {"-s"}, "BIG.BIN", 0, 255 * 1024, false},
      {"the same as a PCM file", "PCMBIG", "DAT", {}, "PCMBIG.DAT", 4, largest - 4, true},
  };
  const Bytes data = Pattern(static_cast<size_t>(largest), 3);
  TsDiskBuilder ts;
  ts.PutData(2, 1, data);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    TsDiskBuilder disk = ts;
    disk.AddEntry(c.nameField, c.extensionField, 2, 1, 255, 0xFFFE).AddEndMark();
    std::vector<std::string> args = {PutImage(disk.Build()).string(), "-d"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = RunIn(work.path(), args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, Line(c.fileName, 2, 1, static_cast<unsigned>(c.size), c.pcm));
    const Bytes written = Slice(data, static_cast<size_t>(c.skip), static_cast<size_t>(c.size));
    EXPECT_EQ(d88test::Tree(work.path()), (Files{{c.fileName, written}}));
  }
}

TEST_F(D88tsTest, ListingFormat) {
  TsDiskBuilder disk;
  disk.SetName("FORMAT");
  disk.AddFile("A", "", 0x0A, 1, Pattern(1, 1));
  disk.AddFile("ABCDEFGH", "IJK", 0x1F, 3, Pattern(0xABC, 2));
  disk.AddFile("PCMDATA", "DAT", 0x02, 5, Pattern(0x400, 3));
  disk.AddFile("PCM", "DAT", 0x0C, 2, Pattern(4, 4));
  disk.AddFile("BIG", "DAT", 0x14, 2, Pattern(0x1E0FF, 5));
  // "ゲーム" (game): six bytes, padded as bytes.
  disk.AddFile("\x83Q\x81[\x83\x80", "BIN", 0xA0, 4, Pattern(16, 6));
  disk.AddEndMark();
  const RunResult r = Run(disk.Build());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "\n[FORMAT] -> 000\n"
            "A             TRK:0a SEC:01 SIZE:     1\n"
            "ABCDEFGH.IJK  TRK:1f SEC:03 SIZE:   abc\n"
            "PCMDATA.DAT   TRK:02 SEC:05 SIZE:   3fc [PCM HEADER CUT]\n"
            "PCM.DAT       TRK:0c SEC:02 SIZE:     0 [PCM HEADER CUT]\n"
            "BIG.DAT       TRK:14 SEC:02 SIZE: 1e0ff\n"
            "\x83Q\x81[\x83\x80.BIN    TRK:a0 SEC:04 SIZE:    10\n");
  const Files files = Output();
  EXPECT_EQ(files.size(), 7u);
  EXPECT_EQ(files.at("000/PCM.DAT"), Bytes{});
  EXPECT_EQ(files.at("000/BIG.DAT"), Pattern(0x1E0FF, 5));
}


// ======================= Damaged disks =======================

TEST_F(D88tsTest, DamagedRuns) {
  struct Case {
    const char* name;
    std::string nameField;
    std::string extensionField;
    int track;
    int fileSectors;
    int lastSectorBytes;
    std::function<void(DiskBuilder&)> damage;
    // The file from the data stored at track 2; null when no file is made.
    std::function<Bytes(const Bytes&)> content;
    std::string line;  // its listing line
    bool complete;
  };
  const std::vector<Case> cases = {
      {"third sector missing", "DMG", "BIN", 2, 3, 0, [](DiskBuilder& d) { RemoveRecord(d, 2, 3); },
       [](const Bytes& b) { return Cat(Slice(b, 0, 2048), Zeros(1024)); },
       Line("DMG.BIN", 2, 1, 3072), false},
      {"second sector short: the bytes it holds are kept", "DMG", "BIN", 2, 3, 0,
       [](DiskBuilder& d) { ShortenRecord(d, 2, 2, 600); },
       [](const Bytes& b) { return Cat(Slice(b, 0, 1624), Zeros(3072 - 1624)); },
       Line("DMG.BIN", 2, 1, 3072), false},
      {"last sector holds fewer bytes than asked", "DMG", "BIN", 2, 2, 100,
       [](DiskBuilder& d) { ShortenRecord(d, 2, 2, 50); },
       [](const Bytes& b) { return Cat(Slice(b, 0, 1074), Zeros(50)); },
       Line("DMG.BIN", 2, 1, 1124), false},
      {"last sector holds just the bytes asked", "DMG", "BIN", 2, 2, 100,
       [](DiskBuilder& d) { ShortenRecord(d, 2, 2, 100); },
       [](const Bytes& b) { return Slice(b, 0, 1124); }, Line("DMG.BIN", 2, 1, 1124), true},
      {"PCM file cut short", "PCM", "DAT", 2, 2, 0, [](DiskBuilder& d) { RemoveRecord(d, 2, 2); },
       [](const Bytes& b) { return Cat(Slice(b, 4, 1020), Zeros(1024)); },
       Line("PCM.DAT", 2, 1, 2044, true), false},
      {"run steps past the last track index", "DMG", "BIN", 163, 2, 0, [](DiskBuilder&) {},
       [](const Bytes& b) { return Cat(Slice(b, 0, 1024), Zeros(1024)); },
       Line("DMG.BIN", 163, 5, 2048), false},
      {"first sector missing", "DMG", "BIN", 2, 3, 0, [](DiskBuilder& d) { RemoveRecord(d, 2, 1); },
       nullptr, "", false},
      {"first sector short", "DMG", "BIN", 2, 3, 0,
       [](DiskBuilder& d) { ShortenRecord(d, 2, 1, 500); }, nullptr, "", false},
      {"track absent", "DMG", "BIN", 100, 1, 0, [](DiskBuilder&) {}, nullptr, "", false},
      {"track index above 163", "DMG", "BIN", 200, 1, 0, [](DiskBuilder&) {}, nullptr, "", false},
  };
  const Bytes big = Pattern(8192, 0x77);
  const Bytes data = Pattern(3 * 1024, 0x31);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    // BIG.BIN comes first and is larger: a transfer buffer left as it was
    // would show its bytes in the damaged file.
    TsDiskBuilder ts;
    ts.AddFile("BIG", "BIN", 10, 1, big);
    // The row on the last track index starts at its record 5, holding one
    // sector of the data; every other row keeps the data at track 2.
    const int record = c.track == 163 ? 5 : 1;
    if (c.track == 163) {
      ts.PutData(163, 5, Slice(data, 0, 1024));
    } else {
      ts.PutData(2, 1, data);
    }
    ts.AddEntry(c.nameField, c.extensionField, c.track, record, c.fileSectors, c.lastSectorBytes);
    ts.AddEndMark();
    DiskBuilder disk = ts.ToDisk();
    c.damage(disk);
    const std::string image = PutImage(disk.Build()).string();
    const RunResult r = RunMergedIn(work.path(), {image, "-d"});

    const std::string fileName = c.nameField + "." + c.extensionField;
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              Line("BIG.BIN", 10, 1, 8192) + c.line + (c.complete ? "" : ReadFailed(fileName)));
    Files files = {{"BIG.BIN", big}};
    if (c.content) files[fileName] = c.content(data);
    EXPECT_EQ(d88test::Tree(work.path()), files);
  }
}

TEST_F(D88tsTest, ComputedSizeOfZeroIsSilent) {
  // Entries that ask for nothing, at a place that does not exist either.
  TsDiskBuilder disk;
  disk.AddEntry("NONE", "BIN", 100, 1, 0, 0xFFFF).AddEntry("NEG", "BIN", 200, 9, 0, 1)
      .AddFile("OK", "BIN", 2, 1, Pattern(10, 1)).AddEndMark();
  const RunResult r = Run(disk.Build(), {"-d"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Line("OK.BIN", 2, 1, 10));
  EXPECT_EQ(Output(), (Files{{"OK.BIN", Pattern(10, 1)}}));
}

// ======================= Output that cannot be written =======================

TEST_F(D88tsTest, FilesThatCannotBeWritten) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> setUp;  // makes GAME.BIN unwritable
    size_t gameSize;
    bool damaged;    // GAME.BIN's run also stops early
    Files leftOver;  // what stands at GAME.BIN afterwards
  };
  const bool haveFullDevice = fs::exists("/dev/full");
  std::vector<Case> cases = {
      {"a folder stands in its place",
       [](const fs::path& w) {
         fs::create_directory(w / "GAME.BIN");
         d88test::WriteBytes(w / "GAME.BIN" / "keep", Text("keep"));
       },
       3000, false, {{"GAME.BIN/", {}}, {"GAME.BIN/keep", Text("keep")}}},
      {"a link into a missing folder",
       [](const fs::path& w) { fs::create_symlink("missing/GAME.BIN", w / "GAME.BIN"); }, 3000,
       false, {{"GAME.BIN@", {}}}},
      {"a folder in its place, and the run stops early",
       [](const fs::path& w) { fs::create_directory(w / "GAME.BIN"); }, 3000, true,
       {{"GAME.BIN/", {}}}},
  };
  if (haveFullDevice) {
    // The device takes the open but no byte: the partly written file (the
    // link) goes, the device stays.
    cases.push_back({"closing fails on a full device",
                     [](const fs::path& w) { fs::create_symlink("/dev/full", w / "GAME.BIN"); },
                     3000, false, {}});
    cases.push_back({"writing fails on a full device",
                     [](const fs::path& w) { fs::create_symlink("/dev/full", w / "GAME.BIN"); },
                     100000, false, {}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    c.setUp(work.path());
    TsDiskBuilder ts;
    const Bytes a = Pattern(10, 1);
    const Bytes game = Pattern(c.gameSize, 2);
    const Bytes last = Pattern(20, 3);
    ts.AddFile("A", "BIN", 2, 1, a).AddFile("GAME", "BIN", 3, 1, game);
    ts.AddFile("C", "BIN", 120, 1, last);
    ts.AddEndMark();
    DiskBuilder disk = ts.ToDisk();
    if (c.damaged) RemoveRecord(disk, 3, 2);
    const std::string image = PutImage(disk.Build()).string();
    const RunResult r = RunMergedIn(work.path(), {image, "-d"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, Line("A.BIN", 2, 1, 10) + WriteFailed("GAME.BIN") +
                         (c.damaged ? ReadFailed("GAME.BIN") : "") + Line("C.BIN", 120, 1, 20));
    Files files = {{"A.BIN", a}, {"C.BIN", last}};
    files.insert(c.leftOver.begin(), c.leftOver.end());
    EXPECT_EQ(d88test::Tree(work.path()), files);
  }
  if (haveFullDevice) {
    EXPECT_TRUE(fs::exists("/dev/full"));
  }
}

TEST_F(D88tsTest, TheImageIsNeverWritten) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the image's absolute path
    std::function<void(const fs::path&)> setUp;
    std::string fileName;  // the disk's file that would land on the image
    bool createFolders;
    Files extra;  // besides the image and OTHER.BIN
  };
  const std::vector<Case> cases = {
      {"relative path", {"IMG.D88", "-d"}, nullptr, "IMG.D88", false, {}},
      {"path through the current folder", {"./IMG.D88", "-d"}, nullptr, "IMG.D88", false, {}},
      {"absolute path", {"@", "-d"}, nullptr, "IMG.D88", false, {}},
      {"a link to the image named like the file", {"IMG.D88", "-d"},
       [](const fs::path& w) { fs::create_symlink("IMG.D88", w / "LINK.D88"); }, "LINK.D88", false,
       {{"LINK.D88@", {}}}},
      {"a disk folder that links to the starting folder", {"IMG.D88"},
       [](const fs::path& w) { fs::create_directory_symlink(".", w / "000"); }, "IMG.D88", true,
       {{"000@", {}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder work;
    if (c.setUp) c.setUp(work.path());
    const std::string stem = c.fileName.substr(0, c.fileName.find('.'));
    TsDiskBuilder ts;
    ts.SetName("SELF").AddFile(stem, "D88", 2, 1, Pattern(2000, 1));
    ts.AddFile("OTHER", "BIN", 4, 1, Pattern(30, 2)).AddEndMark();
    const Bytes image = ts.Build();
    d88test::WriteBytes(work.path() / "IMG.D88", image);
    std::vector<std::string> args = c.args;
    for (std::string& a : args) {
      if (a == "@") a = (work.path() / "IMG.D88").string();
    }
    const RunResult r = RunMergedIn(work.path(), args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, (c.createFolders ? Header("SELF", "000") : "") + WriteFailed(c.fileName) +
                         Line("OTHER.BIN", 4, 1, 30));
    Files files = {{"IMG.D88", image}, {"OTHER.BIN", Pattern(30, 2)}};
    files.insert(c.extra.begin(), c.extra.end());
    EXPECT_EQ(d88test::Tree(work.path()), files);
  }
}

}  // namespace
