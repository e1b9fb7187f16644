// The output code both tools share: safe names, the console texts, disk
// folders and the writing of one file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "d88_builder.h"
#include "expected_texts.h"
#include "extract_output.h"
#include "messages.h"
#include "output_name.h"

namespace {

namespace fs = std::filesystem;
using d88test::Bytes;
using d88test::FolderFailed;
using d88test::WriteFailed;

TEST(OutputNameTest, SafeOutputName) {
  struct Case {
    const char* name;
    std::string raw;
    std::string safe;
  };
  std::vector<Case> cases = {
      {"plain name", "GAME.BIN", "GAME.BIN"},
      {"empty", "", ""},
      {"dot", ".", "."},
      {"dot dot", "..", ".."},
      {"one slash", "A/B.BIN", "A_B.BIN"},
      {"every slash", "//x/", "__x_"},
      {"parent folder attempt", "../ETC", ".._ETC"},
      {"bytes above 0x7F kept", "\x83Q\x81[\x83\x80.\xB1\xFF", "\x83Q\x81[\x83\x80.\xB1\xFF"},
      // "ソ" is 0x83 0x5C: its second byte is a backslash, and stays.
      {"double-byte character ending in a backslash", "\x83\\.BIN", "\x83\\.BIN"},
      // 0x2F is no second byte of a double-byte character: it still parts a path.
      {"slash after a lead byte", "\x83/", "\x83_"},
  };
#if defined(_WIN32)
  cases.push_back({"reserved bytes", "a:b*c?\"<>|\\\x01", "a_b_c_______"});
  cases.push_back({"control byte after a lead byte", "\x83\x01", "\x83_"});
#else
  cases.push_back({"other punctuation kept", "a:b*c?\"<>|\\", "a:b*c?\"<>|\\"});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(d88::SafeOutputName(c.raw.c_str()), c.safe);
  }
}

TEST(OutputNameTest, IsCreatableName) {
  struct Case {
    const char* name;
    std::string text;
    bool creatable;
  };
  const std::vector<Case> cases = {
      {"empty", "", false},
      {"dot", ".", false},
      {"dot dot", "..", false},
      {"three dots", "...", true},
      {"dot and a letter", ".A", true},
      {"dot dot letter", "..A", true},
      {"a space", " ", true},
      {"underscore", "_", true},
      {"plain", "GAME.BIN", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(d88::IsCreatableName(c.text), c.creatable);
  }
}

// The tools' constants, filled in as the tools fill them, against the texts
// written out independently in the test support.
template <typename Argument>
std::string Formatted(const char* format, Argument argument) {
  char text[256];
  std::snprintf(text, sizeof text, format, argument);
  return text;
}

TEST(MessagesTest, TextsAreCodePage932Bytes) {
  struct Case {
    const char* name;
    std::string actual;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"open failed", d88::kOpenFailedText, d88test::kOpenFailed},
      {"directory read failed", Formatted(d88::kDirectoryReadFailedFormat, 12),
       d88test::DirectoryFailed("12")},
      {"folder failed", Formatted(d88::kFolderFailedFormat, "007"), d88test::FolderFailed("007")},
      {"write failed", Formatted(d88::kWriteFailedFormat, "GAME.BIN"),
       d88test::WriteFailed("GAME.BIN")},
      {"read failed", Formatted(d88::kReadFailedFormat, "GAME.BIN"), d88test::ReadFailed("GAME.BIN")},
      {"usage line of -d", d88::kUsageNoFoldersLine, d88test::kUsageNoFoldersLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.actual, c.expected);
  }
}

// Runs each case inside a fresh folder and comes back, since the output code
// writes relative to the current directory.
class ExtractOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    start_ = fs::current_path();
    fs::current_path(folder_.path());
  }
  void TearDown() override { fs::current_path(start_); }

  d88test::TempFolder folder_;

 private:
  fs::path start_;
};

TEST_F(ExtractOutputTest, WriteFileWritesAndReplaces) {
  struct Case {
    const char* name;
    std::string folder;
    std::string file;
    size_t size;
  };
  fs::create_directory("000");
  d88test::WriteBytes("OLD.BIN", d88test::Pattern(5000, 9));
  const std::vector<Case> cases = {
      {"into the current folder", "", "A.BIN", 100},
      {"into a disk folder", "000", "B.BIN", 3000},
      {"an empty file", "", "EMPTY", 0},
      {"a longer file is cut to the new length", "", "OLD.BIN", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88::ExtractOutput output("image.d88");
    const Bytes data = d88test::Pattern(c.size, 4);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(output.WriteFile(c.folder, c.file, data.data(), data.size()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(output.ExitStatus(), 0);
    EXPECT_EQ(d88test::ReadBytes(c.folder.empty() ? fs::path(c.file) : fs::path(c.folder) / c.file),
              data);
  }
}

TEST_F(ExtractOutputTest, WriteFileFailures) {
  struct Case {
    const char* name;
    std::function<void()> setUp;
    std::string folder;
    std::string file;
    size_t size;
    std::function<void()> check;  // what must stand afterwards
  };
  const Bytes image = d88test::Pattern(1000, 7);
  const bool haveFullDevice = fs::exists("/dev/full");
  std::vector<Case> cases = {
      {"empty name", nullptr, "", "", 10, nullptr},
      {"name \".\"", nullptr, "", ".", 10, nullptr},
      {"name \"..\"", nullptr, "", "..", 10, nullptr},
      {"\"..\" inside a disk folder", [] { fs::create_directory("001"); }, "001", "..", 10,
       nullptr},
      {"a folder in its place", [] { fs::create_directory("GAME.BIN"); }, "", "GAME.BIN", 10,
       [] { EXPECT_TRUE(fs::is_directory("GAME.BIN")); }},
      {"a disk folder that does not exist", nullptr, "005", "GAME.BIN", 10,
       [] { EXPECT_FALSE(fs::exists("005")); }},
      {"the image itself", [&] { d88test::WriteBytes("image.d88", image); }, "", "image.d88", 10,
       [&] { EXPECT_EQ(d88test::ReadBytes("image.d88"), image); }},
      {"a link to the image", [&] {
         d88test::WriteBytes("image.d88", image);
         fs::create_symlink("image.d88", "LINK.D88");
       },
       "", "LINK.D88", 10, [&] { EXPECT_EQ(d88test::ReadBytes("image.d88"), image); }},
      {"the image through a disk folder that links here", [&] {
         d88test::WriteBytes("image.d88", image);
         fs::create_directory_symlink(".", "002");
       },
       "002", "image.d88", 10, [&] { EXPECT_EQ(d88test::ReadBytes("image.d88"), image); }},
  };
  if (haveFullDevice) {
    // The partly written file is removed: here the link, never the device.
    const auto linkGone = [] {
      EXPECT_FALSE(fs::is_symlink("FULL.BIN"));
      EXPECT_TRUE(fs::exists("/dev/full"));
    };
    cases.push_back({"closing fails", [] { fs::create_symlink("/dev/full", "FULL.BIN"); }, "",
                     "FULL.BIN", 10, linkGone});
    cases.push_back({"writing fails", [] { fs::create_symlink("/dev/full", "FULL.BIN"); }, "",
                     "FULL.BIN", 200000, linkGone});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder inner;
    const fs::path back = fs::current_path();
    fs::current_path(inner.path());
    if (c.setUp) c.setUp();
    d88::ExtractOutput output("image.d88");
    const Bytes data = d88test::Pattern(c.size, 4);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(output.WriteFile(c.folder, c.file, data.data(), data.size()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), WriteFailed(c.file));
    EXPECT_EQ(output.ExitStatus(), 2);
    if (c.check) c.check();
    fs::current_path(back);
  }
}

TEST_F(ExtractOutputTest, OneFailureMarksTheWholeRun) {
  d88::ExtractOutput output("image.d88");
  const Bytes data = d88test::Pattern(10, 1);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(output.WriteFile("", "A", data.data(), data.size()));
  EXPECT_FALSE(output.WriteFile("", "", data.data(), data.size()));
  EXPECT_TRUE(output.WriteFile("", "B", data.data(), data.size()));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(output.ExitStatus(), 2);
}

TEST_F(ExtractOutputTest, PrepareDiskFolder) {
  struct Case {
    const char* name;
    int diskIndex;
    std::function<void()> setUp;
    bool usable;
    std::string folder;
  };
  const std::vector<Case> cases = {
      {"new folder", 0, nullptr, true, "000"},
      {"three digits", 63, nullptr, true, "063"},
      {"existing folder", 7, [] { fs::create_directory("007"); }, true, "007"},
      {"link to a folder", 8,
       [] {
         fs::create_directory("elsewhere");
         fs::create_directory_symlink("elsewhere", "008");
       },
       true, "008"},
      {"plain file", 1, [] { d88test::WriteBytes("001", {1, 2, 3}); }, false, "001"},
      {"link to nothing", 2, [] { fs::create_symlink("missing", "002"); }, false, "002"},
      {"link to a plain file", 3,
       [] {
         d88test::WriteBytes("plain", {1});
         fs::create_symlink("plain", "003");
       },
       false, "003"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    d88test::TempFolder inner;
    const fs::path back = fs::current_path();
    fs::current_path(inner.path());
    if (c.setUp) c.setUp();
    d88::ExtractOutput output("image.d88");
    std::string folder = "unchanged";
    testing::internal::CaptureStderr();
    EXPECT_EQ(output.PrepareDiskFolder(c.diskIndex, &folder), c.usable);
    const std::string err = testing::internal::GetCapturedStderr();
    if (c.usable) {
      EXPECT_EQ(err, "");
      EXPECT_EQ(folder, c.folder);
      EXPECT_TRUE(fs::is_directory(c.folder));
      EXPECT_EQ(output.ExitStatus(), 0);
    } else {
      EXPECT_EQ(err, FolderFailed(c.folder));
      EXPECT_EQ(folder, "unchanged");
      EXPECT_EQ(output.ExitStatus(), 2);
    }
    // The current directory never changes.
    EXPECT_TRUE(fs::equivalent(fs::current_path(), inner.path()));
    fs::current_path(back);
  }
}

}  // namespace
