#include <gtest/gtest.h>

#include "foundation/Logger.h"

using NRQLib2::NLogger::CLogger;
using NRQLib2::NLogger::GetLogger;

namespace {

// Level 0 goes to one target, every other level to both; a level past the table is held at the
// last. Push and pop restore the level and its targets.
TEST(Logger, SelectedLevelsApplyTheirTargets) {
  NRQLib2::NLogger::DestroyLogger();  // a fresh process logger
  const unsigned expected[6] = {1, 3, 3, 3, 3, 3};
  CLogger& log = GetLogger();
  for (unsigned level = 0; level < 6; ++level)
    EXPECT_EQ(log.SelectLevel(level).GetStreamBuf().GetTargets(), expected[level]) << level;
  EXPECT_EQ(log.SelectLevel(6).GetCurrentLevel(), 5u);
  log.SelectLevel(2).PushLevel();
  log.SelectLevel(0);
  log.PopLevel();
  EXPECT_EQ(log.GetCurrentLevel(), 2u);
  EXPECT_EQ(log.GetAppliedTargets(), 3u);
}

}  // namespace
