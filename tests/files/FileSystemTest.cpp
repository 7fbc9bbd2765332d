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
  std::FILE* existing = zk_platform::OpenFileForWrite(dir.Path() + "\\misc\\OLD.INI", "w");
  ASSERT_NE(existing, nullptr);
  std::fputs("replaced", existing);
  std::fclose(existing);
  EXPECT_EQ(files_test::ReadFile(dir / "Misc/Old.ini"), "replaced");

  std::FILE* created = zk_platform::OpenFileForWrite(dir.Path() + "\\MISC\\New.ini", "w");
  ASSERT_NE(created, nullptr);
  std::fclose(created);
  EXPECT_TRUE(std::filesystem::exists(dir / "Misc/New.ini"));
  EXPECT_EQ(zk_platform::OpenFileForWrite(dir / "nodir/x.ini", "w"), nullptr);
  EXPECT_EQ(zk_platform::OpenFileForWrite(dir / "Misc/", "w"), nullptr);
}

}  // namespace
