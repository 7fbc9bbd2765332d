#include <gtest/gtest.h>

#include <filesystem>

#include "files/FilesTestSupport.h"
#include "files/SettingsFile.h"
#include "files/TextData.h"
#include "files/ZipArchive.h"
#include "platform/DebugOutput.h"
#include "platform/FileFaults.h"
#include "support/Near.h"

using files_test::ReadFile;
using files_test::TempDir;
using files_test::WriteFile;

namespace {

class Settings : public ::testing::Test {
 protected:
  void TearDown() override {
    zk_platform::SetFileFault(zk_platform::EFileFault::kNone, 0);
    NRQLib2::NFileCore::DestroyArchiveCache();
  }
  TempDir dir;
};

TEST(SettingsParse, VectorsNeedEveryField) {
  const std::string text = "[V]\ntwo=1 2\nthree=1 2 3\nfour=1 2 3 4\n";
  NRQLib2::NFileCore::CTextData data(text.data(), static_cast<std::uint32_t>(text.size()));
  CSettingsFile s;
  s.Parse(data);
  const Vector3 fallback{9, 8, 7};
  EXPECT_TRUE(Near(s.GetVector3("V", "two", fallback), fallback, 0.0f));
  EXPECT_TRUE(Near(s.GetVector3("V", "three", fallback), {1, 2, 3}, 0.0f));
  EXPECT_EQ(s.GetVector3W("V", "three", fallback), (std::array<float, 4>{1, 2, 3, 1}));
  EXPECT_EQ(s.GetVector3W("V", "two", fallback), (std::array<float, 4>{9, 8, 7, 1}));
  EXPECT_EQ(s.GetVector2("V", "two", {0, 0}), (std::array<float, 2>{1, 2}));
  EXPECT_EQ(s.GetVector4("V", "three", {5, 5, 5, 5}), (std::array<float, 4>{5, 5, 5, 5}));
  EXPECT_EQ(s.GetVector4("V", "four", {5, 5, 5, 5}), (std::array<float, 4>{1, 2, 3, 4}));
  EXPECT_EQ(s.GetVector2("V", "missing", {4, 3}), (std::array<float, 2>{4, 3}));
}

TEST_F(Settings, ModesDecideLoadingSettersAndSaveOfPresentAndMissingFiles) {
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

  // A missing file fails in the writing modes and is empty otherwise.
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

std::string g_debugOutput;

// Each write of a save failing in turn (platform/FileFaults.h) until the save gets through: every
// failed one says so and leaves the older file as it was, with no part file beside it. Then each
// read of a load coming back short: the load fails, takes the defaults and says why, naming the
// file.
TEST_F(Settings, FailedWritesKeepTheOlderFileAndShortReadsSayWhy) {
  using zk_platform::EFileFault;
  const std::string older = "[S]\nold=1\n";
  WriteFile(dir / "m.ini", older);
  CSettingsFile s;
  ASSERT_TRUE(s.Open(dir / "m.ini", CSettingsFile::kModeReadWrite));
  s.SetString("S", "new", "2");
  unsigned long k = 1;
  for (; k < 100; ++k) {
    zk_platform::SetFileFault(EFileFault::kWrite, k);
    if (s.Save()) break;
    EXPECT_EQ(ReadFile(dir / "m.ini"), older) << "write " << k;
    EXPECT_FALSE(std::filesystem::exists(dir / "m.ini.part")) << "write " << k;
  }
  EXPECT_GT(k, 1u);
  EXPECT_EQ(ReadFile(dir / "m.ini"), "[S]\nnew = 2\nold = 1\n\n");
  zk_platform::SetFileFault(EFileFault::kNone, 0);
  // Renaming over a read-only file would replace it; the save refuses as a write in place would.
  namespace fs = std::filesystem;
  fs::permissions(dir / "m.ini",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  s.SetString("S", "new", "3");
  EXPECT_FALSE(s.Save());
  fs::permissions(dir / "m.ini", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadFile(dir / "m.ini"), "[S]\nnew = 2\nold = 1\n\n");

  const zk_platform::DebugSink previous =
      zk_platform::SetDebugSink([](const char* text) { g_debugOutput += text; });
  for (k = 1; k < 100; ++k) {
    zk_platform::SetFileFault(EFileFault::kRead, k);
    g_debugOutput.clear();
    CSettingsFile loaded;
    if (loaded.Open(dir / "m.ini", CSettingsFile::kModeReadOnly)) {
      EXPECT_EQ(loaded.GetInt("S", "new", 0), 2);
      break;
    }
    EXPECT_TRUE(loaded.GetSections().empty()) << "read " << k;
    EXPECT_EQ(g_debugOutput, dir /
                                 "m.ini: short read (fewer bytes arrived than it holds); its "
                                 "settings take their defaults\n")
        << "read " << k;
  }
  zk_platform::SetDebugSink(previous);
  EXPECT_GT(k, 1u);
}

}  // namespace
