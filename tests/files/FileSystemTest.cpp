#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "files/FilesTestSupport.h"
#include "platform/FileSystem.h"

using files_test::TempDir;
using files_test::WriteFile;

namespace {

TEST(FileSystem, ExactPathsResolveUnchanged) {
  TempDir dir;
  WriteFile(dir / "A/b.txt", "x");
  std::string resolved;
  ASSERT_TRUE(zk_platform::ResolveExistingPath(dir / "A/b.txt", resolved));
  EXPECT_EQ(resolved, dir / "A/b.txt");
  ASSERT_TRUE(zk_platform::ResolveExistingPath(dir.Path() + "\\A\\b.txt", resolved));
  EXPECT_EQ(resolved, dir / "A/b.txt");
}

TEST(FileSystem, EveryComponentMatchesWithoutRegardToCase) {
  TempDir dir;
  WriteFile(dir / "Data/Cars/CAR1.RBZ", "zip");
  std::string resolved;
  ASSERT_TRUE(zk_platform::ResolveRegularFile(dir.Path() + "\\data\\cars\\car1.rbz", resolved));
  EXPECT_EQ(resolved, dir / "Data/Cars/CAR1.RBZ");
  EXPECT_TRUE(zk_platform::ResolveExistingPath(dir / "DATA//CARS/./car1.rbz", resolved));
  EXPECT_FALSE(zk_platform::ResolveExistingPath(dir / "data/cars/car2.rbz", resolved));
  EXPECT_FALSE(zk_platform::ResolveExistingPath(dir / "data/car/car1.rbz", resolved));
  // A directory resolves, but is no regular file.
  EXPECT_TRUE(zk_platform::ResolveExistingPath(dir / "data/CARS", resolved));
  EXPECT_FALSE(zk_platform::ResolveRegularFile(dir / "data/CARS", resolved));
  EXPECT_EQ(zk_platform::OpenFileForRead(dir / "data/CARS"), zk_platform::kInvalidNativeFile);
  EXPECT_FALSE(zk_platform::ResolveExistingPath("", resolved));
}

TEST(FileSystem, SeveralCaseMatchesPickTheByteWiseSmallest) {
  TempDir dir;
  WriteFile(dir / "b.TXT", "upper");
  WriteFile(dir / "b.txt", "lower");
  WriteFile(dir / "B.txt", "first");
  std::string resolved;
  ASSERT_TRUE(zk_platform::ResolveExistingPath(dir / "b.Txt", resolved));
  EXPECT_EQ(resolved, dir / "B.txt");
}

TEST(FileSystem, ReadsWholeFilesThroughTheNativeHandle) {
  TempDir dir;
  std::string content(70000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(dir / "big.bin", content);
  const zk_platform::NativeFile file = zk_platform::OpenFileForRead(dir / "BIG.bin");
  ASSERT_NE(file, zk_platform::kInvalidNativeFile);
  std::uint64_t size = 0;
  ASSERT_TRUE(zk_platform::GetNativeFileSize(file, size));
  EXPECT_EQ(size, content.size());
  std::string buffer(content.size() + 10, '#');
  std::uint32_t got = 0;
  ASSERT_TRUE(zk_platform::ReadNativeFile(file, buffer.data(), 70010, got));
  EXPECT_EQ(got, 70000u);
  EXPECT_EQ(buffer.substr(0, 70000), content);
  ASSERT_TRUE(zk_platform::SeekNativeFile(file, 69999));
  ASSERT_TRUE(zk_platform::ReadNativeFile(file, buffer.data(), 5, got));
  EXPECT_EQ(got, 1u);
  zk_platform::CloseNativeFile(file);
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
