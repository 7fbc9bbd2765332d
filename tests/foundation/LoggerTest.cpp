#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/Logger.h"
#include "platform/DebugOutput.h"

namespace fs = std::filesystem;
using NRQLib2::NLogger::CLogger;
using NRQLib2::NLogger::CStreamBuf;
using NRQLib2::NLogger::GetLogger;

namespace {

std::string g_debugText;
int g_debugCalls = 0;
void CaptureDebug(const char* text) {
  g_debugText += text;
  ++g_debugCalls;
}

// Every test starts with a fresh process logger and a capturing debugger sink.
class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NRQLib2::NLogger::DestroyLogger();
    g_debugText.clear();
    g_debugCalls = 0;
    m_previousSink = zk_platform::SetDebugSink(&CaptureDebug);
    std::string pattern = (fs::temp_directory_path() / "zelkar-logger-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    NRQLib2::NLogger::DestroyLogger();
    zk_platform::SetDebugSink(m_previousSink);
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  std::string PathOf(const char* name) const { return (m_dir / name).string(); }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static size_t OpenDescriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
  }

  zk_platform::DebugSink m_previousSink = nullptr;
  fs::path m_dir;
};

TEST_F(LoggerTest, LevelTargetsTable) {
  const unsigned expected[6] = {1, 3, 3, 3, 3, 3};
  for (unsigned level = 0; level < 6; ++level)
    EXPECT_EQ(CLogger::LevelTargets(level), expected[level]) << level;
  CLogger& log = GetLogger();
  for (unsigned level = 0; level < 6; ++level) {
    log.SelectLevel(level);
    EXPECT_EQ(log.GetCurrentLevel(), level);
    EXPECT_EQ(log.GetAppliedTargets(), expected[level]);
    EXPECT_EQ(log.GetStreamBuf().GetTargets(), expected[level]);
  }
  // Push and pop restore the level and its targets.
  log.SelectLevel(2).PushLevel();
  log.SelectLevel(0);
  log.PopLevel();
  EXPECT_EQ(log.GetCurrentLevel(), 2u);
  EXPECT_EQ(log.GetAppliedTargets(), 3u);
}

// A fresh logger writes to the debugger only; level 0 without files then writes nowhere.
TEST_F(LoggerTest, FreshLoggerWritesToTheDebuggerAndLevelZeroToNothing) {
  CLogger& log = GetLogger();
  EXPECT_EQ(&log, &GetLogger());
  EXPECT_EQ(log.GetCurrentLevel(), 0u);
  EXPECT_EQ(log.GetAppliedTargets(), 2u);
  EXPECT_EQ(log.GetStreamBuf().GetCurrentFile(), nullptr);
  log << "hello " << 42 << std::endl;
  EXPECT_EQ(g_debugText, "hello 42\n");
  const int calls = g_debugCalls;
  log.SelectLevel(0) << "silent " << 1.5 << std::endl;
  EXPECT_EQ(g_debugText, "hello 42\n");
  EXPECT_EQ(g_debugCalls, calls);
  EXPECT_TRUE(log.good());
}

TEST_F(LoggerTest, LevelsOneToFiveReachTheDebuggerAndTheDefaultFile) {
  const std::string path = PathOf("default.log");
  FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  CLogger& log = GetLogger();
  log.SetDefaultFile(file);
  log.SelectLevel(4) << "Invalid animation data handle" << std::endl;
  // Flushed at once: readable before anything is closed.
  EXPECT_EQ(ReadFile(path), "Invalid animation data handle\n");
  EXPECT_EQ(g_debugText, "Invalid animation data handle\n");
  log.SelectLevel(0) << "file only" << std::endl;
  EXPECT_EQ(ReadFile(path), "Invalid animation data handle\nfile only\n");
  EXPECT_EQ(g_debugText, "Invalid animation data handle\n");
  NRQLib2::NLogger::DestroyLogger();  // the default file belongs to its owner
  std::fclose(file);
}

TEST_F(LoggerTest, LevelFileStaysCurrentForLevelsWithoutOne) {
  const std::string one = PathOf("one.log");
  CLogger& log = GetLogger();
  ASSERT_TRUE(log.OpenLevelFile(1, one.c_str()));
  log.SelectLevel(1) << "first" << std::endl;
  EXPECT_EQ(ReadFile(one), "first\n");
  log.SelectLevel(3) << "third" << std::endl;
  EXPECT_EQ(ReadFile(one), "first\nthird\n");
  log.SelectLevel(0) << "zero" << std::endl;
  EXPECT_EQ(ReadFile(one), "first\nthird\nzero\n");
  EXPECT_EQ(g_debugText, "first\nthird\n");
}

TEST_F(LoggerTest, EachLevelWithAFileWritesToItsOwn) {
  const std::string two = PathOf("two.log");
  const std::string four = PathOf("four.log");
  CLogger& log = GetLogger();
  ASSERT_TRUE(log.OpenLevelFile(2, two.c_str()));
  ASSERT_TRUE(log.OpenLevelFile(4, four.c_str()));
  log.SelectLevel(2) << "info" << std::endl;
  log.SelectLevel(4) << "error" << std::endl;
  log.SelectLevel(5) << "more" << std::endl;
  log.SelectLevel(2) << "info again" << std::endl;
  EXPECT_EQ(ReadFile(two), "info\ninfo again\n");
  EXPECT_EQ(ReadFile(four), "error\nmore\n");
}

TEST_F(LoggerTest, ReopeningALevelFileClosesTheOldOne) {
  const std::string a = PathOf("a.log");
  const std::string b = PathOf("b.log");
  CLogger& log = GetLogger();
  const size_t before = OpenDescriptors();
  ASSERT_TRUE(log.OpenLevelFile(3, a.c_str()));
  log.SelectLevel(3) << "to a" << std::endl;
  ASSERT_TRUE(log.OpenLevelFile(3, b.c_str()));
  EXPECT_EQ(OpenDescriptors(), before + 1);
  log.SelectLevel(3) << "to b" << std::endl;
  EXPECT_EQ(ReadFile(a), "to a\n");
  EXPECT_EQ(ReadFile(b), "to b\n");
  EXPECT_FALSE(log.OpenLevelFile(3, PathOf("missing/dir.log").c_str()));
  EXPECT_EQ(OpenDescriptors(), before);
  // With its file gone the level writes nowhere but the debugger; nothing dangles.
  log.SelectLevel(3) << "after" << std::endl;
  EXPECT_EQ(ReadFile(b), "to b\n");
  EXPECT_FALSE(log.OpenLevelFile(6, b.c_str()));
}

TEST_F(LoggerTest, DestroyingTheLoggerClosesItsLevelFiles) {
  const size_t before = OpenDescriptors();
  CLogger& log = GetLogger();
  for (unsigned level = 0; level < 6; ++level) {
    const std::string path = PathOf(("level" + std::to_string(level)).c_str());
    ASSERT_TRUE(log.OpenLevelFile(level, path.c_str()));
  }
  EXPECT_EQ(OpenDescriptors(), before + 6);
  NRQLib2::NLogger::DestroyLogger();
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(LoggerTest, SetTargetsWithTheAppliedValueChangesNothing) {
  CLogger& log = GetLogger();
  log.SelectLevel(2);
  // Change the buffer behind the logger's back; the logger still believes 3 is applied.
  log.GetStreamBuf().SetTargets(0);
  log.SetTargets(3);
  EXPECT_EQ(log.GetStreamBuf().GetTargets(), 0u);
  log.SelectLevel(4);  // same table entry as level 2: nothing is reapplied either
  EXPECT_EQ(log.GetStreamBuf().GetTargets(), 0u);
  log << "dropped" << std::endl;
  EXPECT_EQ(g_debugText, "");
  log.SetTargets(2);
  EXPECT_EQ(log.GetStreamBuf().GetTargets(), 2u);
  EXPECT_EQ(log.GetAppliedTargets(), 2u);
  log << "shown" << std::endl;
  EXPECT_EQ(g_debugText, "shown\n");
}

TEST_F(LoggerTest, SingleCharactersAndRunsTakeTheSamePath) {
  const std::string path = PathOf("chars.log");
  CLogger& log = GetLogger();
  ASSERT_TRUE(log.OpenLevelFile(1, path.c_str()));
  log.SelectLevel(1);
  log.put('x');
  log << 'y';
  log.write("zw", 2);
  log << std::string(2000, 'L') << std::endl;  // longer than any stack buffer
  const std::string expected = "xyzw" + std::string(2000, 'L') + "\n";
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(g_debugText, expected);
}

struct ExposedStreamBuf : CStreamBuf {
  using CStreamBuf::overflow;
};

TEST_F(LoggerTest, OverflowWithEndOfFileWritesNothing) {
  ExposedStreamBuf buf;
  buf.SetTargets(3);
  const auto eof = CStreamBuf::traits_type::eof();
  EXPECT_FALSE(CStreamBuf::traits_type::eq_int_type(buf.overflow(eof), eof));
  EXPECT_EQ(g_debugCalls, 0);
  EXPECT_EQ(buf.overflow('q'), 'q');
  EXPECT_EQ(g_debugText, "q");
}

TEST_F(LoggerTest, DebugPrintfFormatsStraightToTheDebugger) {
  const std::string path = PathOf("not-used.log");
  CLogger& log = GetLogger();
  ASSERT_TRUE(log.OpenLevelFile(0, path.c_str()));
  log.SelectLevel(0);
  NRQLib2::DebugPrintf("%s=%d %.2f", "gear", 3, 0.5);
  EXPECT_EQ(g_debugText, "gear=3 0.50");
  EXPECT_EQ(g_debugCalls, 1);
  EXPECT_EQ(ReadFile(path), "");  // it does not pass through the logger

  // The text is cut to the 1024-character buffer.
  g_debugText.clear();
  NRQLib2::DebugPrintf("%s", std::string(3000, 'k').c_str());
  EXPECT_EQ(g_debugText, std::string(1023, 'k'));
}

}  // namespace
