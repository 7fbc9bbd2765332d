#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "files/FilesTestSupport.h"
#include "files/SettingsFile.h"
#include "files/TextData.h"
#include "files/ZipArchive.h"

using files_test::ReadFile;
using files_test::TempDir;
using files_test::WriteFile;

namespace {

CSettingsFile ParseText(const std::string& text) {
  CSettingsFile settings;
  NRQLib2::NFileCore::CTextData data(text.data(), static_cast<std::uint32_t>(text.size()));
  settings.Parse(data);
  return settings;
}

class Settings : public ::testing::Test {
 protected:
  void TearDown() override { NRQLib2::NFileCore::DestroyArchiveCache(); }
  TempDir dir;
};

TEST(SettingsParse, LaterValueWinsAndRepeatedHeadersContinue) {
  const CSettingsFile s = ParseText("[Arm]\nSpeed = 2.5\n[Leg]\nx=1\n[Arm]\nSpeed=3\nOther=4\n");
  EXPECT_EQ(s.GetFloat("Arm", "Speed", 0.0f), 3.0f);
  EXPECT_EQ(s.GetInt("Arm", "Other", 0), 4);
  EXPECT_EQ(s.GetInt("Leg", "x", 0), 1);
  EXPECT_EQ(s.GetSections().size(), 2u);
}

TEST(SettingsParse, NumbersConvertAsFarAsTheyGo) {
  const CSettingsFile s =
      ParseText("[N]\nreal=2.7\nsuffix=1.5abc\nword=abc\nneg=-12\nhex=0x10\nlead=  7\nbig=1e3\n");
  EXPECT_EQ(s.GetInt("N", "real", -1), 2);
  EXPECT_EQ(s.GetFloat("N", "suffix", -1.0f), 1.5f);
  EXPECT_EQ(s.GetInt("N", "suffix", -1), 1);
  EXPECT_EQ(s.GetInt("N", "word", -1), -1);
  EXPECT_EQ(s.GetFloat("N", "word", -1.0f), -1.0f);
  EXPECT_EQ(s.GetInt("N", "neg", 0), -12);
  EXPECT_EQ(s.GetInt("N", "hex", -1), 0);
  EXPECT_EQ(s.GetInt("N", "lead", 0), 7);
  EXPECT_EQ(s.GetFloat("N", "big", 0.0f), 1000.0f);
  EXPECT_EQ(s.GetString("N", "suffix", "d"), "1.5abc");
}

TEST(SettingsParse, VectorsNeedEveryField) {
  const CSettingsFile s = ParseText("[V]\ntwo=1 2\nthree=1 2 3\nfour=1 2 3 4\n");
  const Vector3 fallback{9, 8, 7};
  const Vector3 two = s.GetVector3("V", "two", fallback);
  EXPECT_EQ(two.x, 9.0f);
  EXPECT_EQ(two.y, 8.0f);
  EXPECT_EQ(two.z, 7.0f);
  const Vector3 three = s.GetVector3("V", "three", fallback);
  EXPECT_EQ(three.x, 1.0f);
  EXPECT_EQ(three.y, 2.0f);
  EXPECT_EQ(three.z, 3.0f);
  EXPECT_EQ(s.GetVector3W("V", "three", fallback), (std::array<float, 4>{1, 2, 3, 1}));
  EXPECT_EQ(s.GetVector3W("V", "two", fallback), (std::array<float, 4>{9, 8, 7, 1}));
  EXPECT_EQ(s.GetVector2("V", "two", {0, 0}), (std::array<float, 2>{1, 2}));
  EXPECT_EQ(s.GetVector4("V", "three", {5, 5, 5, 5}), (std::array<float, 4>{5, 5, 5, 5}));
  EXPECT_EQ(s.GetVector4("V", "four", {5, 5, 5, 5}), (std::array<float, 4>{1, 2, 3, 4}));
  EXPECT_EQ(s.GetVector2("V", "missing", {4, 3}), (std::array<float, 2>{4, 3}));
}

TEST(SettingsParse, QuotesAndBlanksAreTrimmedAtTheEndsOnly) {
  const CSettingsFile s =
      ParseText("[Q]\n  \"name\" =  \"Colin  the driver\"  \n\tx\t=\t1\t\nk=a=b\n");
  EXPECT_EQ(s.GetString("Q", "name", ""), "Colin  the driver");
  EXPECT_EQ(s.GetInt("Q", "x", 0), 1);
  EXPECT_EQ(s.GetString("Q", "k", ""), "a=b");
}

TEST(SettingsParse, LinesThatAreNotKeysOrHeadersAreSkipped) {
  const CSettingsFile s = ParseText(
      "early=1\n[]\nlost=2\n[Real] trailing text\n; comment\nno equals\n=novalue\nnokey=\n"
      "  =  \n[Sp ace]\nk=v\n[x\n");
  EXPECT_FALSE(s.SectionExists(""));
  EXPECT_FALSE(s.KeyExists("", "early"));
  // "[]" does not open a section, so "lost" still falls before any header.
  EXPECT_EQ(s.GetInt("", "lost", -1), -1);
  EXPECT_FALSE(s.SectionExists("Real"));  // a header without keys stores nothing
  EXPECT_EQ(s.GetString("Sp ace", "k", ""), "v");
  // "[x" has no closing bracket: it would be a key line, but it holds no '='.
  EXPECT_FALSE(s.SectionExists("x"));
  EXPECT_EQ(s.GetSections().size(), 1u);
}

TEST(SettingsParse, HeaderNameIsTheTextUpToTheFirstClosingBracket) {
  const CSettingsFile s = ParseText("[Arm] ignored [x]\na=1\n[ B ]\nb=2\n[]x]\nc=3\n");
  EXPECT_EQ(s.GetInt("Arm", "a", 0), 1);
  EXPECT_EQ(s.GetInt(" B ", "b", 0), 2);
  // "[]x]" is no header, and it has no '=': "c" still belongs to " B ".
  EXPECT_EQ(s.GetInt(" B ", "c", 0), 3);
}

TEST(SettingsParse, NamesAreCaseSensitiveAndCarriageReturnsIgnored) {
  const CSettingsFile s = ParseText("[Arm]\r\nSpeed=1\r\nspeed=2\r\n");
  EXPECT_EQ(s.GetInt("Arm", "Speed", 0), 1);
  EXPECT_EQ(s.GetInt("Arm", "speed", 0), 2);
  EXPECT_EQ(s.GetInt("arm", "Speed", 0), 0);
}

TEST(SettingsParse, LinesLongerThan255ComeInPieces) {
  // The first piece is 255 characters of key text without '='; the rest is a line of its own.
  const std::string text =
      "[L]\n" + std::string(255, 'k') + "tail=5\n" + "short=" + std::string(249, 'v') + "\n";
  const CSettingsFile s = ParseText(text);
  EXPECT_EQ(s.GetInt("L", "tail", 0), 5);
  EXPECT_EQ(s.GetString("L", "short", ""), std::string(249, 'v'));
}

TEST(SettingsParse, EmptyAndBinaryInputLoadWithoutHarm) {
  EXPECT_TRUE(ParseText("").GetSections().empty());
  std::mt19937 random(99);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(random() % 600, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    if (round % 2 == 0) bytes = "[S]\n" + bytes;
    const CSettingsFile s = ParseText(bytes);
    for (const auto& [section, keys] : s.GetSections()) {
      EXPECT_FALSE(section.empty());
      for (const auto& [key, value] : keys) {
        EXPECT_FALSE(key.empty());
        EXPECT_FALSE(value.empty());
        EXPECT_EQ(key.find('='), std::string::npos);
      }
    }
  }
}

TEST_F(Settings, SaveWritesSortedSectionsInItsFormat) {
  WriteFile(dir / "s.ini", "[b]\nz = \"quoted value\"\ny=2\n[a]\n  k  =  v  \n");
  CSettingsFile s;
  ASSERT_TRUE(s.Open(dir / "s.ini", CSettingsFile::kModeReadWrite));
  ASSERT_TRUE(s.Save());
  EXPECT_EQ(ReadFile(dir / "s.ini"), "[a]\nk = v\n\n[b]\ny = 2\nz = quoted value\n\n");
}

TEST_F(Settings, LoadSaveLoadGivesTheSameContent) {
  const std::string original =
      "ignored=0\n[Arm]\r\nSpeed = 2.5\nSpeed=3\n\"Name\" = \" a  b \"\n[ Hand ]\nGrip=1 2 3\n"
      "[Arm]\nZ=last\n[Empty]\nno keys here\n";
  WriteFile(dir / "r.ini", original);
  CSettingsFile first;
  ASSERT_TRUE(first.Open(dir / "r.ini", CSettingsFile::kModeReadWrite));
  ASSERT_TRUE(first.Save());
  CSettingsFile second;
  ASSERT_TRUE(second.Open(dir / "r.ini", CSettingsFile::kModeReadOnly));
  EXPECT_EQ(second.GetSections(), first.GetSections());
  EXPECT_EQ(second.GetString("Arm", "Name", ""), "a  b");
  EXPECT_EQ(second.GetString(" Hand ", "Grip", ""), "1 2 3");
  EXPECT_EQ(second.Format(), first.Format());
}

TEST_F(Settings, ModesDecideLoadingSettersAndSave) {
  WriteFile(dir / "m.ini", "[S]\nold=1\n");
  CSettingsFile create;
  ASSERT_TRUE(create.Open(dir / "m.ini", CSettingsFile::kModeCreate));
  EXPECT_TRUE(create.GetSections().empty());

  CSettingsFile addMissing;
  ASSERT_TRUE(addMissing.Open(dir / "m.ini", CSettingsFile::kModeAddMissing));
  addMissing.SetInt("S", "old", 5);
  addMissing.SetInt("S", "new", 6);
  addMissing.SetFloat("T", "f", 1.5f);
  EXPECT_EQ(addMissing.GetString("S", "old", ""), "1");
  EXPECT_EQ(addMissing.GetString("S", "new", ""), "6");
  EXPECT_EQ(addMissing.GetString("T", "f", ""), "1.500000");

  CSettingsFile readOnly;
  ASSERT_TRUE(readOnly.Open(dir / "m.ini", CSettingsFile::kModeReadOnly));
  readOnly.SetInt("S", "new", 6);
  readOnly.SetString("S", "old", "2");
  EXPECT_FALSE(readOnly.KeyExists("S", "new"));
  EXPECT_EQ(readOnly.GetInt("S", "old", 0), 1);
  EXPECT_FALSE(readOnly.Save());
  EXPECT_EQ(ReadFile(dir / "m.ini"), "[S]\nold=1\n");

  CSettingsFile readWrite;
  ASSERT_TRUE(readWrite.Open(dir / "m.ini", CSettingsFile::kModeReadWrite));
  readWrite.SetInt("S", "old", -7);
  readWrite.SetBool("S", "yes", true);
  readWrite.SetBool("S", "no", false);
  readWrite.SetString("S", "text", "as is");
  EXPECT_EQ(readWrite.GetInt("S", "old", 0), -7);
  ASSERT_TRUE(readWrite.Save());
  EXPECT_EQ(ReadFile(dir / "m.ini"), "[S]\nno = false\nold = -7\ntext = as is\nyes = true\n\n");

  ASSERT_TRUE(addMissing.Save());  // mode 2 may save
  EXPECT_EQ(ReadFile(dir / "m.ini"), "[S]\nnew = 6\nold = 1\n\n[T]\nf = 1.500000\n\n");
}

TEST_F(Settings, MissingFileFailsInWritingModesAndIsEmptyOtherwise) {
  CSettingsFile s;
  EXPECT_FALSE(s.Open(dir / "none.ini", CSettingsFile::kModeReadWrite));
  EXPECT_FALSE(s.Open(dir / "none.ini", CSettingsFile::kModeCreate));
  ASSERT_TRUE(s.Open(dir / "none.ini", CSettingsFile::kModeAddMissing));
  EXPECT_TRUE(s.GetSections().empty());
  EXPECT_EQ(s.GetInt("A", "b", 17), 17);
  EXPECT_EQ(s.GetFloat("A", "b", 0.25f), 0.25f);
  EXPECT_EQ(s.GetString("A", "b", "d"), "d");
  EXPECT_TRUE(s.Open(dir / "none.ini", CSettingsFile::kModeReadOnly));
  // Saving a file that did not exist creates it.
  ASSERT_TRUE(s.Open(dir / "none.ini", CSettingsFile::kModeAddMissing));
  s.SetInt("A", "b", 3);
  ASSERT_TRUE(s.Save());
  EXPECT_EQ(ReadFile(dir / "none.ini"), "[A]\nb = 3\n\n");
}

TEST_F(Settings, FailedOpenInWritingModeKeepsTheOldContent) {
  WriteFile(dir / "k.ini", "[K]\nv=1\n");
  CSettingsFile s;
  ASSERT_TRUE(s.Open(dir / "k.ini", CSettingsFile::kModeAddMissing));
  EXPECT_FALSE(s.Open(dir / "gone.ini", CSettingsFile::kModeReadWrite));
  EXPECT_EQ(s.GetInt("K", "v", 0), 1);
  // A read-only file counts as not writable.
  std::filesystem::permissions(dir / "k.ini", std::filesystem::perms::owner_read);
  EXPECT_FALSE(s.Open(dir / "k.ini", CSettingsFile::kModeReadWrite));
  EXPECT_TRUE(s.Open(dir / "k.ini", CSettingsFile::kModeReadOnly));
  EXPECT_EQ(s.GetInt("K", "v", 0), 1);
}

TEST_F(Settings, SectionQueriesAndRemoval) {
  WriteFile(dir / "q.ini", "[A]\nx=1\n[B]\ny=2\n");
  CSettingsFile s;
  ASSERT_TRUE(s.Open(dir / "q.ini", CSettingsFile::kModeReadWrite));
  EXPECT_TRUE(s.SectionExists("A"));
  EXPECT_TRUE(s.KeyExists("A", "x"));
  EXPECT_FALSE(s.KeyExists("A", "y"));
  EXPECT_FALSE(s.KeyExists("C", "x"));
  EXPECT_TRUE(s.RemoveSection("A"));
  EXPECT_FALSE(s.RemoveSection("A"));
  EXPECT_FALSE(s.SectionExists("A"));
  EXPECT_EQ(s.GetInt("A", "x", -1), -1);
  ASSERT_TRUE(s.Save());
  EXPECT_EQ(ReadFile(dir / "q.ini"), "[B]\ny = 2\n\n");
}

TEST_F(Settings, WindowsPathsAndArchiveMembersAreRead) {
  WriteFile(dir / "misc/zk_driver.INI", "[Driver]\nSpeed=4\n");
  CSettingsFile loose;
  ASSERT_TRUE(loose.Open(dir.Path() + "\\Misc\\ZK_Driver.ini", CSettingsFile::kModeReadWrite));
  EXPECT_EQ(loose.GetInt("Driver", "Speed", 0), 4);
  loose.SetInt("Driver", "Speed", 5);
  ASSERT_TRUE(loose.Save());
  EXPECT_EQ(ReadFile(dir / "misc/zk_driver.INI"), "[Driver]\nSpeed = 5\n\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "Misc"));

  files_test::MakeZip(dir / "packed.rbz", {{"packed/ZK_Driver.ini", "[Driver]\nSpeed=9\n"}});
  CSettingsFile packed;
  EXPECT_FALSE(packed.Open(dir / "packed/zk_driver.ini", CSettingsFile::kModeReadWrite));
  ASSERT_TRUE(packed.Open(dir / "packed/zk_driver.ini", CSettingsFile::kModeAddMissing));
  EXPECT_EQ(packed.GetInt("Driver", "Speed", 0), 9);
}

TEST_F(Settings, SaveFailsWhereNoFileCanBeWritten) {
  CSettingsFile s;
  ASSERT_TRUE(s.Open(dir / "no/such/dir/x.ini", CSettingsFile::kModeAddMissing));
  s.SetInt("A", "b", 1);
  EXPECT_FALSE(s.Save());
}

}  // namespace
