// The facade as a host sees it through the static library: its own operations, its clean-up
// subscription, and the operations that forward to the controller manager.
#include <gtest/gtest.h>
#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/ControllerManager.h"
#include "hostkit/Host.h"
#include "interface/LibraryGlobal.h"
#include "interface/ProcessEntry.h"
#include "interface/Zelkar.h"

namespace {

class FacadeTest : public ::testing::Test {
 protected:
  FacadeTest() { ZelkarProcessAttach(); }
  ~FacadeTest() override { ZelkarProcessDetach(); }

  void EmitCleanup() {
    host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  }
  const CSignalList<CSigPC_SessionCleanup>& CleanupList() {
    return host.hub.List<CSigPC_SessionCleanup>(zk_hub::kSessionCleanupList);
  }

  zk_hostkit::CHost host;  // built before attach, destroyed after detach
};

TEST_F(FacadeTest, CreateReturnsAFacadeWithAllItsSlots) {
  std::unique_ptr<CZelkarInterface> facade(ZK_Create());
  ASSERT_NE(facade, nullptr);
  auto* ext = static_cast<CZelkarInterfaceExt*>(facade.get());
  EXPECT_TRUE(ext->Initialize());
  ext->Shutdown();
  EXPECT_TRUE(ext->Initialize());
  for (int value : {0, 1, -1, 12345, 2147483647, -2147483647 - 1}) {
    EXPECT_EQ(ext->Reserved0(value), 0);
    EXPECT_EQ(ext->Reserved1(value), 0);
    EXPECT_EQ(ext->Reserved2(value), 0);
  }
  ZK_Delete();  // does nothing
  EXPECT_TRUE(ext->Initialize());
}

TEST_F(FacadeTest, CleanupEmptiesTheControllerManager) {
  std::unique_ptr<CZelkarInterface> base(ZK_Create());
  auto* facade = static_cast<CZelkarInterfaceExt*>(base.get());
  facade->CreatePositionController("Walk::Hand", {{0, 0, 0, 0}, {3, 6, 9, 1}});
  const int index = facade->FindController("Walk::Hand");
  EXPECT_GE(index, 0);
  GetLibraryGlobal()->currentCar = reinterpret_cast<CZK_CharacterCar*>(this);  // any non-null

  EmitCleanup();
  EXPECT_EQ(facade->FindController("Walk::Hand"), -1);
  EXPECT_EQ(GetLibraryGlobal()->currentCar, nullptr);
  // Only the "dummy controller" object is left, and it is an object, not a controller.
  EXPECT_EQ(facade->FindController("dummy controller"), -1);
  EXPECT_TRUE(facade->IsAnimObjectStatic(0));
  const Matrix m = facade->GetAnimObjectMatrix(0);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(m.m[k], (k % 5 == 0) ? 1.0f : 0.0f) << k;
}

TEST_F(FacadeTest, LibraryErrorsReachTheHostAsStdException) {
  std::unique_ptr<CZelkarInterface> facade(ZK_Create());
  EXPECT_THROW(facade->GetCharacterIndex("nobody"), std::exception);
}

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
