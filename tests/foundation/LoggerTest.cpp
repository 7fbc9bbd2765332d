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

struct ExposedStreamBuf : CStreamBuf {
  using CStreamBuf::overflow;
};

}  // namespace
