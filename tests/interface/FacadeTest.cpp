// The facade before process attach; the attached facade is the shared-library and end-to-end
// tests'.
#include <gtest/gtest.h>
#include <zelkar/Zelkar.h>

#include "interface/Zelkar.h"

namespace {

// Without attach there is no hub and no manager: the facade still constructs and destroys
// cleanly, and forwarding operations report the missing manager.
TEST(FacadeWithoutAttachTest, ConstructsUnlinkedAndReportsTheMissingManager) {
  CZK_Zelkar facade;
  EXPECT_EQ(facade.GetCleanupConnection()->list, nullptr);
  EXPECT_TRUE(facade.Initialize());
  EXPECT_THROW(facade.FindController("x"), std::exception);
  facade.OnSessionCleanup(CSigPC_SessionCleanup{});  // nothing to clean, nothing breaks
}

}  // namespace
