#include <gtest/gtest.h>
#include <unistd.h>
#include <utime.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include "files/BinaryData.h"
#include "files/File.h"
#include "files/FilesTestSupport.h"
#include "files/ZipArchive.h"

using files_test::MakeZip;
using files_test::TempDir;
using files_test::WriteFile;
using NRQLib2::NFileCore::CFile;
using NRQLib2::NFileCore::CZipArchive;
using NRQLib2::NFileCore::GetArchiveCache;

namespace {

// Reads the whole file through ReadAll; "<failed>" when it does not read.
std::string ReadThrough(CFile& file) {
  std::uint32_t size = 0;
  std::uint8_t* data = nullptr;
  if (!file.ReadAll(size, data)) return "<failed>";
  std::string text(reinterpret_cast<const char*>(data), size);
  NRQLib2::NFileCore::HeapFreeBuffer(data);
  return text;
}

std::string ReadPath(const std::string& path) {
  CFile file(path);
  if (!file.IsOpen()) return "<not found>";
  return ReadThrough(file);
}

class FileCore : public ::testing::Test {
 protected:
  void SetUp() override { NRQLib2::NFileCore::DestroyArchiveCache(); }
  void TearDown() override { NRQLib2::NFileCore::DestroyArchiveCache(); }
  TempDir dir;
};

TEST_F(FileCore, LooseFileIsReadWholeAndReportsItsPath) {
  WriteFile(dir / "data/file.bin", std::string("ab\0cd", 5));
  CFile file(dir / "data/file.bin");
  ASSERT_TRUE(file.IsOpen());
  EXPECT_FALSE(file.IsArchiveMember());
  EXPECT_EQ(file.GetOpenedPath(), dir / "data/file.bin");
  EXPECT_EQ(file.GetMemberName(), "");
  EXPECT_EQ(file.GetSize(), 5u);
  EXPECT_EQ(ReadThrough(file), std::string("ab\0cd", 5));
  // A second read starts from the beginning again.
  EXPECT_EQ(ReadThrough(file), std::string("ab\0cd", 5));
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.GetSize(), 0u);
  EXPECT_EQ(ReadThrough(file), "<failed>");
}

TEST_F(FileCore, ExtraBytesAreZeroOnTheProcessHeapAndArrayNewWorks) {
  WriteFile(dir / "t.txt", "hello");
  MakeZip(dir / "m.rbz", {{"m.txt", "member"}});
  for (const std::string& path : {dir / "t.txt", dir / "m.txt"}) {
    CFile file(path);
    ASSERT_TRUE(file.IsOpen()) << path;
    std::uint32_t size = 0;
    std::uint8_t* data = nullptr;
    ASSERT_TRUE(file.ReadAll(size, data, false, 3));
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(data[size + i], 0) << path;
    EXPECT_EQ(std::strlen(reinterpret_cast<char*>(data)), size);
    NRQLib2::NFileCore::HeapFreeBuffer(data);

    std::uint8_t* array = nullptr;
    std::uint32_t arraySize = 0;
    ASSERT_TRUE(file.ReadAll(arraySize, array, true, 1));
    EXPECT_EQ(arraySize, size);
    EXPECT_EQ(std::memcmp(array, path == dir / "t.txt" ? "hello" : "member", size), 0);
    delete[] array;
  }
}

TEST_F(FileCore, EmptyFilesReadAsZeroBytes) {
  WriteFile(dir / "empty.txt", "");
  MakeZip(dir / "void.rbz", {{"void.txt", ""}});
  for (const std::string& path : {dir / "empty.txt", dir / "void.txt"}) {
    CFile file(path);
    ASSERT_TRUE(file.IsOpen()) << path;
    EXPECT_EQ(file.GetSize(), 0u);
    std::uint32_t size = 9;
    std::uint8_t* data = nullptr;
    ASSERT_TRUE(file.ReadAll(size, data, false, 1)) << path;
    EXPECT_EQ(size, 0u);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[0], 0);
    NRQLib2::NFileCore::HeapFreeBuffer(data);
  }
}

TEST_F(FileCore, ReadIntoRefusesASmallBufferAndFillsALargeOne) {
  WriteFile(dir / "t.txt", "12345");
  MakeZip(dir / "m.rbz", {{"m.txt", "abcdefg"}});
  const std::pair<std::string, std::string> cases[] = {{dir / "t.txt", "12345"},
                                                       {dir / "m.txt", "abcdefg"}};
  for (const auto& [path, content] : cases) {
    CFile file(path);
    ASSERT_TRUE(file.IsOpen());
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    std::uint32_t got = 99;
    const auto size = static_cast<std::uint32_t>(content.size());
    EXPECT_FALSE(file.ReadInto(buffer, size - 1, got));
    EXPECT_EQ(got, 99u);
    EXPECT_EQ(buffer[0], '#');
    ASSERT_TRUE(file.ReadInto(buffer, size, got));
    EXPECT_EQ(got, size);
    EXPECT_EQ(std::string(buffer, got), content);
    EXPECT_EQ(buffer[size], '#');
  }
}

TEST_F(FileCore, LooseFileWinsOverEveryArchive) {
  MakeZip(dir / "a/b/c/x.rbz", {{"x.txt", "same-name archive"}});
  MakeZip(dir / "a/b/c.rbz", {{"c/x.txt", "c archive"}});
  MakeZip(dir / "a/b.rbz", {{"b/c/x.txt", "b archive"}});
  EXPECT_EQ(ReadPath(dir / "a/b/c/x.txt"), "same-name archive");
  WriteFile(dir / "a/b/c/x.txt", "loose");
  EXPECT_EQ(ReadPath(dir / "a/b/c/x.txt"), "loose");
}

TEST_F(FileCore, WalksUpOneDirectoryAtATimeWithTheMemberPathGrowing) {
  MakeZip(dir / "a/b/c.rbz", {{"c/one.txt", "1"}, {"c/both.txt", "nearer"}});
  MakeZip(dir / "a/b.rbz", {{"b/c/two.txt", "2"}, {"b/c/both.txt", "farther"}});
  MakeZip(dir / "a.rbz", {{"a/b/c/three.txt", "3"}});

  struct Case {
    std::string name, content, archive, member;
  } cases[] = {{"one.txt", "1", "a/b/c.rbz", "c/one.txt"},
               {"two.txt", "2", "a/b.rbz", "b/c/two.txt"},
               {"three.txt", "3", "a.rbz", "a/b/c/three.txt"},
               {"both.txt", "nearer", "a/b/c.rbz", "c/both.txt"}};
  for (const Case& c : cases) {
    CFile file(dir / ("a/b/c/" + c.name));
    ASSERT_TRUE(file.IsOpen()) << c.name;
    EXPECT_TRUE(file.IsArchiveMember());
    EXPECT_EQ(file.GetOpenedPath(), dir / c.archive);
    EXPECT_EQ(file.GetMemberName(), c.member);
    EXPECT_EQ(file.GetSize(), c.content.size());
    EXPECT_EQ(ReadThrough(file), c.content);
  }
  // The member must sit at the path the walk expects inside each archive.
  EXPECT_EQ(ReadPath(dir / "a/b/c/d/one.txt"), "<not found>");
  EXPECT_EQ(ReadPath(dir / "a/b/three.txt"), "<not found>");
}

TEST_F(FileCore, ExtensionIsReplacedFromTheLastDotOfThePath) {
  MakeZip(dir / "d/driver.rbz", {{"driver.xyz", "same name"}});
  EXPECT_EQ(ReadPath(dir / "d/driver.xyz"), "same name");
  // Without a dot in the file name the last dot of a directory starts the replacement.
  MakeZip(dir / "v1.rbz", {{"noext", "odd"}});
  EXPECT_EQ(ReadPath(dir / "v1.2/noext"), "odd");
}

TEST_F(FileCore, PathWithoutSlashOnlyTriesTheSameNameArchive) {
  MakeZip(dir / "top.rbz", {{"top.dat", "top"}});
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof(previous)), nullptr);
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  const std::string viaSameName = ReadPath("top.dat");
  const std::string missing = ReadPath("other.dat");
  ASSERT_EQ(::chdir(previous), 0);
  EXPECT_EQ(viaSameName, "top");
  EXPECT_EQ(missing, "<not found>");
}

TEST_F(FileCore, BackslashesAndSlashesReachTheSameMembers) {
  MakeZip(dir / "cars/car1.rbz", {{"car1/body.bin", "body"}});
  CFile slash(dir / "cars/car1/body.bin");
  CFile backslash(dir.Path() + "\\cars\\car1\\body.bin");
  ASSERT_TRUE(slash.IsOpen());
  ASSERT_TRUE(backslash.IsOpen());
  EXPECT_EQ(slash.GetOpenedPath(), backslash.GetOpenedPath());
  EXPECT_EQ(slash.GetMemberName(), backslash.GetMemberName());
  EXPECT_EQ(backslash.GetOpenedPath(), dir / "cars/car1.rbz");
  EXPECT_EQ(ReadThrough(backslash), "body");
  // A loose file keeps the caller's path, backslashes and all.
  WriteFile(dir / "Misc/ZK_Driver.ini", "[A]\n");
  const std::string windowsPath = dir.Path() + "\\Misc\\ZK_Driver.ini";
  CFile loose(windowsPath);
  ASSERT_TRUE(loose.IsOpen());
  EXPECT_FALSE(loose.IsArchiveMember());
  EXPECT_EQ(loose.GetOpenedPath(), windowsPath);
}

TEST_F(FileCore, CaseOfMembersAndArchivePathsIsIgnored) {
  MakeZip(dir / "cars/CAR1.RBZ", {{"car1/BODY.bin", "body"}});
  EXPECT_EQ(ReadPath(dir.Path() + "\\Cars\\Car1\\body.BIN"), "body");
  WriteFile(dir / "LooseDir/File.TXT", "loose");
  EXPECT_EQ(ReadPath(dir / "loosedir/file.txt"), "loose");
  // The cached archive is found again whatever the case of its path, without a reopen.
  const auto opened = CZipArchive::GetOpenCount();
  EXPECT_EQ(ReadPath(dir / "CARS/car1/BODY.bin"), "body");
  EXPECT_EQ(CZipArchive::GetOpenCount(), opened);
  EXPECT_EQ(GetArchiveCache().GetCount(), 1u);
}

TEST_F(FileCore, SixthArchiveEvictsTheFirstWhichIsReopenedOnNextUse) {
  for (int i = 0; i < 6; ++i)
    MakeZip(dir / ("k" + std::to_string(i) + ".rbz"),
            {{"k" + std::to_string(i) + ".dat", "old" + std::to_string(i)}});
  ASSERT_EQ(ReadPath(dir / "k0.dat"), "old0");
  // The cached archive keeps reading what it opened, even after the file is replaced on disk.
  MakeZip(dir / "k0.rbz", {{"k0.dat", "new0"}});
  EXPECT_EQ(ReadPath(dir / "k0.dat"), "old0");

  for (int i = 1; i <= 4; ++i)
    ASSERT_EQ(ReadPath(dir / ("k" + std::to_string(i) + ".dat")), "old" + std::to_string(i));
  EXPECT_EQ(GetArchiveCache().GetCount(), 5u);
  EXPECT_EQ(GetArchiveCache().GetPaths().back(), dir / "k0.rbz");
  EXPECT_EQ(ReadPath(dir / "k0.dat"), "old0");  // still cached after four others

  for (int i = 1; i <= 5; ++i)
    ASSERT_EQ(ReadPath(dir / ("k" + std::to_string(i) + ".dat")), "old" + std::to_string(i));
  const std::vector<std::string> expected = {dir / "k5.rbz", dir / "k4.rbz", dir / "k3.rbz",
                                             dir / "k2.rbz", dir / "k1.rbz"};
  EXPECT_EQ(GetArchiveCache().GetPaths(), expected);
  const auto opened = CZipArchive::GetOpenCount();
  EXPECT_EQ(ReadPath(dir / "k0.dat"), "new0");
  EXPECT_EQ(CZipArchive::GetOpenCount(), opened + 1);
  EXPECT_EQ(GetArchiveCache().GetPaths().front(), dir / "k0.rbz");
  EXPECT_EQ(GetArchiveCache().GetCount(), 5u);
}

TEST_F(FileCore, TwoFilesOpenFromOneArchiveHaveTheirOwnArchive) {
  MakeZip(dir / "two.rbz", {{"two/a.txt", "first"}, {"two/b.txt", "second"}});
  {
    CFile a(dir / "two/a.txt");
    CFile b(dir / "two/b.txt");
    ASSERT_TRUE(a.IsOpen());
    ASSERT_TRUE(b.IsOpen());
    EXPECT_EQ(GetArchiveCache().GetCount(), 0u);
    // Interleaved reads: each archive keeps its own current member.
    EXPECT_EQ(a.GetSize(), 5u);
    EXPECT_EQ(b.GetSize(), 6u);
    EXPECT_EQ(ReadThrough(a), "first");
    EXPECT_EQ(ReadThrough(b), "second");
    EXPECT_EQ(ReadThrough(a), "first");
  }
  const std::vector<std::string> expected = {dir / "two.rbz", dir / "two.rbz"};
  EXPECT_EQ(GetArchiveCache().GetPaths(), expected);
}

TEST_F(FileCore, MissingMemberFailsAndLeavesTheCachedArchive) {
  MakeZip(dir / "pack.rbz", {{"pack/in.txt", "in"}});
  ASSERT_EQ(ReadPath(dir / "pack/in.txt"), "in");
  CFile missing(dir / "pack/out.txt");
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.GetSize(), 0u);
  EXPECT_EQ(GetArchiveCache().GetCount(), 1u);
  EXPECT_EQ(ReadPath(dir / "pack/in.txt"), "in");
}

TEST_F(FileCore, OpenClosesWhatWasOpenBefore) {
  MakeZip(dir / "one.rbz", {{"one.txt", "1"}});
  WriteFile(dir / "loose.txt", "L");
  CFile file(dir / "one.txt");
  ASSERT_TRUE(file.IsArchiveMember());
  EXPECT_EQ(GetArchiveCache().GetCount(), 0u);
  ASSERT_TRUE(file.Open(dir / "loose.txt"));
  EXPECT_EQ(GetArchiveCache().GetCount(), 1u);
  EXPECT_FALSE(file.IsArchiveMember());
  EXPECT_EQ(file.GetMemberName(), "");
  EXPECT_FALSE(file.Open(dir / "nothing.txt"));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.GetOpenedPath(), "");
}

TEST_F(FileCore, DamagedArchivesFailCleanly) {
  WriteFile(dir / "junk.rbz", std::string(300, '\x5A'));
  EXPECT_EQ(ReadPath(dir / "junk.txt"), "<not found>");

  MakeZip(dir / "cut.rbz", {{"cut.txt", std::string(5000, 'c')}}, 0);
  const std::string whole = files_test::ReadFile(dir / "cut.rbz");
  WriteFile(dir / "cut.rbz", whole.substr(0, whole.size() / 2));
  EXPECT_EQ(ReadPath(dir / "cut.txt"), "<not found>");

  // A central directory whose member data is garbage: found, but the read fails.
  std::string text;
  for (int i = 0; i < 4000; ++i) text += "word" + std::to_string(i * 7919 % 1009) + ' ';
  MakeZip(dir / "bad.rbz", {{"bad.txt", text}});
  std::string bytes = files_test::ReadFile(dir / "bad.rbz");
  ASSERT_GT(bytes.size(), 1000u);
  for (std::size_t i = 100; i < 140; ++i) bytes[i] = static_cast<char>(0xFF);
  WriteFile(dir / "bad.rbz", bytes);
  CFile bad(dir / "bad.txt");
  ASSERT_TRUE(bad.IsOpen());
  EXPECT_EQ(ReadThrough(bad), "<failed>");

  // A directory is neither a loose file nor an archive.
  std::filesystem::create_directories(dir / "folder.rbz");
  std::filesystem::create_directories(dir / "folder.txt");
  EXPECT_EQ(ReadPath(dir / "folder.txt"), "<not found>");
}

TEST_F(FileCore, MemberWithALyingSizeFailsToRead) {
  for (int method : {0, Z_DEFLATED}) {
    for (std::uint32_t lie : {1200u, 0xFFFFFF00u}) {
      const std::string name = "lie" + std::to_string(method) + "_" + std::to_string(lie);
      MakeZip(dir / (name + ".rbz"), {{name + ".bin", std::string(1000, 'q')}}, method);
      files_test::PatchUncompressedSizes(dir / (name + ".rbz"), lie);
      CFile file(dir / (name + ".bin"));
      ASSERT_TRUE(file.IsOpen()) << name;
      EXPECT_EQ(file.GetSize(), lie);
      std::uint32_t size = 7;
      std::uint8_t* data = nullptr;
      EXPECT_FALSE(file.ReadAll(size, data)) << name;
      EXPECT_EQ(size, 7u) << "size is handed out only on success";
      char buffer[2000];
      std::uint32_t got = 0;
      EXPECT_FALSE(file.ReadInto(buffer, sizeof(buffer), got)) << name;
    }
  }
}

TEST_F(FileCore, PathsUpTo511CharactersReachArchives) {
  // Directories of 100 characters, then a file name that brings the path to the length wanted.
  std::string base = dir.Path();
  while (base.size() < 300) base += "/" + std::string(100, 'd');
  std::filesystem::create_directories(base);
  for (std::size_t length : {511u, 512u}) {
    const std::size_t nameLength = length - base.size() - 1 - 4;
    const std::string stem = std::string(nameLength, length == 511 ? 'n' : 'm');
    MakeZip(base + "/" + stem + ".rbz", {{stem + ".dat", "long"}});
    const std::string path = base + "/" + stem + ".dat";
    ASSERT_EQ(path.size(), length);
    EXPECT_EQ(ReadPath(path), length == 511 ? "long" : "<not found>") << length;
  }
  EXPECT_EQ(ReadPath(std::string(600, 'x') + ".dat"), "<not found>");
  EXPECT_EQ(ReadPath(dir.Path() + "/" + std::string(600, 'y') + "/f.dat"), "<not found>");
  EXPECT_EQ(ReadPath(""), "<not found>");
}

TEST_F(FileCore, MemberNamesOf256CharactersAreNeverFound) {
  const std::string shortName(200, 's');
  const std::string longName(250, 'l');
  MakeZip(dir / "names.rbz", {{"names/" + shortName, "short"}, {"names/" + longName, "long"}});
  EXPECT_EQ(ReadPath(dir / ("names/" + shortName)), "short");
  EXPECT_EQ(ReadPath(dir / ("names/" + longName)), "<not found>");  // 256 with "names/"
}

TEST_F(FileCore, MembersDifferingOnlyInCaseFindTheFirstInTheDirectory) {
  MakeZip(dir / "dup.rbz", {{"dup/Name.txt", "first"}, {"dup/NAME.txt", "second"}});
  EXPECT_EQ(ReadPath(dir / "dup/name.TXT"), "first");
  EXPECT_EQ(ReadPath(dir / "dup/NAME.txt"), "first");
  // Separators inside the member path may be either kind.
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir.Path() + "\\DUP.rbz"));
  EXPECT_TRUE(archive.LocateMember("dup\\name.txt"));
  EXPECT_FALSE(archive.LocateMember("dup/name.tx"));
  EXPECT_FALSE(archive.LocateMember(""));
}

TEST_F(FileCore, BinaryDataHoldsTheBytesOrNothing) {
  WriteFile(dir / "b.bin", std::string("\x01\x02\x00\x03", 4));
  NRQLib2::NFileCore::CBinaryData present(dir / "b.bin");
  ASSERT_EQ(present.GetSize(), 4u);
  EXPECT_EQ(std::memcmp(present.GetData(), "\x01\x02\x00\x03", 4), 0);
  NRQLib2::NFileCore::CBinaryData missing(dir / "none.bin");
  EXPECT_EQ(missing.GetData(), nullptr);
  EXPECT_EQ(missing.GetSize(), 0u);
  // Nothing is left open.
  EXPECT_EQ(GetArchiveCache().GetCount(), 0u);
}

TEST_F(FileCore, WriteTestFollowsExistenceAndTheReadOnlyBits) {
  WriteFile(dir / "w.txt", "w");
  EXPECT_FALSE(NRQLib2::NFileCore::IsNotWritable(dir / "w.txt"));
  EXPECT_FALSE(NRQLib2::NFileCore::IsNotWritable(dir.Path() + "\\W.TXT"));
  EXPECT_TRUE(NRQLib2::NFileCore::IsNotWritable(dir / "missing.txt"));
  std::filesystem::permissions(
      dir / "w.txt", std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  EXPECT_TRUE(NRQLib2::NFileCore::IsNotWritable(dir / "w.txt"));
}

TEST_F(FileCore, FileTimesComeAsLocalTime) {
  WriteFile(dir / "t.txt", "t");
  const std::time_t accessed = 1000000000;  // 2001-09-09
  const std::time_t written = 1234567890;   // 2009-02-13
  utimbuf times{accessed, written};
  ASSERT_EQ(::utime((dir / "t.txt").c_str(), &times), 0);
  zk_platform::SystemTime access{}, write{}, creation{};
  ASSERT_TRUE(NRQLib2::NFileCore::GetFileTimes(dir.Path() + "\\T.txt", &creation, &access, &write));
  for (const auto& [stamp, got] : {std::pair{accessed, access}, std::pair{written, write}}) {
    std::tm local{};
    ::localtime_r(&stamp, &local);
    EXPECT_EQ(got.wYear, local.tm_year + 1900);
    EXPECT_EQ(got.wMonth, local.tm_mon + 1);
    EXPECT_EQ(got.wDay, local.tm_mday);
    EXPECT_EQ(got.wDayOfWeek, local.tm_wday);
    EXPECT_EQ(got.wHour, local.tm_hour);
    EXPECT_EQ(got.wMinute, local.tm_min);
    EXPECT_EQ(got.wSecond, local.tm_sec);
  }
  EXPECT_GE(creation.wYear, 2001);
  EXPECT_TRUE(NRQLib2::NFileCore::GetFileTimes(dir / "t.txt", nullptr, nullptr, nullptr));
  EXPECT_FALSE(NRQLib2::NFileCore::GetFileTimes(dir / "none.txt", &creation, nullptr, nullptr));
}

}  // namespace
