#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "files/FilesTestSupport.h"
#include "foundation/Logger.h"
#include "platform/DebugOutput.h"

namespace fs = std::filesystem;
using files_test::ReadFile;
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
  }
  void TearDown() override {
    NRQLib2::NLogger::DestroyLogger();
    zk_platform::SetDebugSink(m_previousSink);
  }

  std::string PathOf(const char* name) const { return m_dir / name; }
  static size_t OpenDescriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
  }

  zk_platform::DebugSink m_previousSink = nullptr;
  files_test::TempDir m_dir;
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
