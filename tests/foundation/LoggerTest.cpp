#include <gtest/gtest.h>

#include "foundation/Logger.h"

using NRQLib2::NLogger::CLogger;
using NRQLib2::NLogger::GetLogger;

namespace {

TEST(Logger, LevelTargetsTable) {
  NRQLib2::NLogger::DestroyLogger();  // a fresh process logger
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

}  // namespace
