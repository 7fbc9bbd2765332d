#include <gtest/gtest.h>

#include <cstring>
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

// Loose files and archive members, empty or not: ReadAll hands out the bytes plus the asked-for
// zero padding; ReadInto refuses a buffer one byte short untouched and fills one just large enough.
TEST_F(FileCore, ReadAllAndReadIntoGiveTheWholeFile) {
  WriteFile(dir / "empty.txt", "");
  WriteFile(dir / "t.txt", "12345");
  MakeZip(dir / "void.rbz", {{"void.txt", ""}});
  MakeZip(dir / "m.rbz", {{"m.txt", "abcdefg"}});
  const std::pair<std::string, std::string> cases[] = {
      {"empty.txt", ""}, {"void.txt", ""}, {"t.txt", "12345"}, {"m.txt", "abcdefg"}};
  for (const auto& [name, content] : cases) {
    CFile file(dir / name);
    ASSERT_TRUE(file.IsOpen()) << name;
    const auto size = static_cast<std::uint32_t>(content.size());
    EXPECT_EQ(file.GetSize(), size);
    std::uint32_t got = 99;
    std::uint8_t* data = nullptr;
    ASSERT_TRUE(file.ReadAll(got, data, false, 1)) << name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), got), content);
    EXPECT_EQ(data[size], 0);
    NRQLib2::NFileCore::HeapFreeBuffer(data);
    if (size == 0) continue;
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    got = 99;
    EXPECT_FALSE(file.ReadInto(buffer, size - 1, got));
    EXPECT_EQ(got, 99u);
    EXPECT_EQ(buffer[0], '#');
    ASSERT_TRUE(file.ReadInto(buffer, size, got));
    EXPECT_EQ(std::string(buffer, got), content);
    EXPECT_EQ(buffer[size], '#');
  }
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

}  // namespace
