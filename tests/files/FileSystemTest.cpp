#include <gtest/gtest.h>

#include <filesystem>

#include "files/FilesTestSupport.h"
#include "platform/FileSystem.h"

using files_test::TempDir;
using files_test::WriteFile;

namespace {

TEST(FileSystem, EveryComponentMatchesWithoutRegardToCase) {
  TempDir dir;
  WriteFile(dir / "Data/Cars/CAR1.RBZ", "zip");
  std::string resolved;
  ASSERT_TRUE(zk_platform::ResolveRegularFile(dir.Path() + "\\data\\cars\\car1.rbz", resolved));
  EXPECT_EQ(resolved, dir / "Data/Cars/CAR1.RBZ");
  ASSERT_TRUE(zk_platform::ResolveRegularFile(dir.Path() + "\\Data\\Cars\\CAR1.RBZ", resolved));
  EXPECT_EQ(resolved, dir / "Data/Cars/CAR1.RBZ");
  EXPECT_TRUE(zk_platform::ResolveExistingPath(dir / "DATA//CARS/./car1.rbz", resolved));
  EXPECT_FALSE(zk_platform::ResolveExistingPath(dir / "data/cars/car2.rbz", resolved));
  EXPECT_FALSE(zk_platform::ResolveExistingPath(dir / "data/car/car1.rbz", resolved));
  // A directory resolves, but is no regular file.
  EXPECT_TRUE(zk_platform::ResolveExistingPath(dir / "data/CARS", resolved));
  EXPECT_FALSE(zk_platform::ResolveRegularFile(dir / "data/CARS", resolved));
  EXPECT_EQ(zk_platform::OpenFileForRead(dir / "data/CARS"), zk_platform::kInvalidNativeFile);
  EXPECT_FALSE(zk_platform::ResolveExistingPath("", resolved));
  // Several names that differ in case only: the byte-wise smallest is taken.
  WriteFile(dir / "b.TXT", "upper");
  WriteFile(dir / "b.txt", "lower");
  WriteFile(dir / "B.txt", "first");
  ASSERT_TRUE(zk_platform::ResolveExistingPath(dir / "b.Txt", resolved));
  EXPECT_EQ(resolved, dir / "B.txt");
}

TEST(FileSystem, WritingFindsExistingEntriesAndCreatesNewNamesAsSpelled) {
  TempDir dir;
  WriteFile(dir / "Misc/Old.ini", "old");
  std::string resolved;
  ASSERT_TRUE(zk_platform::ResolvePathForWrite(dir.Path() + "\\misc\\OLD.INI", resolved));
  EXPECT_EQ(resolved, dir / "Misc/Old.ini");
  ASSERT_TRUE(zk_platform::ResolvePathForWrite(dir.Path() + "\\MISC\\New.ini", resolved));
  EXPECT_EQ(resolved, dir / "Misc/New.ini");
  EXPECT_FALSE(zk_platform::ResolvePathForWrite(dir / "nodir/x.ini", resolved));
  EXPECT_FALSE(zk_platform::ResolvePathForWrite(dir / "Misc/", resolved));
}

}  // namespace
