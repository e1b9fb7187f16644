// The image builder lays disks out the way the reader expects them.
#include <gtest/gtest.h>

#include "d88_builder.h"
#include "d88_image.h"
#include "cli_runner.h"

namespace {

using d88test::Bytes;

TEST(BuilderTest, TsFileReadsBackThroughTheReader) {
  d88test::TempFolder folder;
  const Bytes data = d88test::Pattern(3000, 4);
  d88test::TsDiskBuilder disk;
  disk.AddFile("GAME", "BIN", 2, 4, data).AddEndMark();
  d88test::WriteBytes(folder.path() / "a.d88", disk.Build());

  d88::D88Image image;
  ASSERT_TRUE(image.Open((folder.path() / "a.d88").c_str()));
  ASSERT_EQ(image.GetDiskCount(), 1);
  ASSERT_TRUE(image.SelectDisk(0));
  image.SetSectorRange(1, 5);
  Bytes read(3000);
  EXPECT_EQ(image.ReadSectors(2, 1, 0, 4, 3, read.data(), 3000), 3000);
  EXPECT_EQ(read, data);
}

}  // namespace
