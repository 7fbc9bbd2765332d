// Process attach and detach, with a host that prepared its global object and without one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "foundation/Logger.h"
#include "hostkit/Host.h"
#include "interface/LibraryGlobal.h"
#include "interface/ProcessEntry.h"
#include "signals/Hub.h"
#include "support/LibraryFixture.h"

namespace {

using CDebugCapture = zk_test::ScopedDebugCapture;
using zk_hostkit::CGlobalObject;

// Detaches when a test leaves early (a failed ASSERT), before the host it was given goes away:
// declare it after the host. Detach after detach does nothing.
struct CDetachOnExit {
  ~CDetachOnExit() { ZelkarProcessDetach(); }
};

// The controller manager's subscriptions: seven solid-state lists and two ghost-car lists.
constexpr std::size_t kControllerManagerConnections = 9;

TEST(ProcessEntryTest, AttachUsesTheHostsHubAndWords) {
  zk_hostkit::CHost host;
  CDetachOnExit detachOnExit;
  ZelkarProcessAttach();
  EXPECT_EQ(GetSignalHub(), host.hub.Data());
  EXPECT_EQ(GetGlobalObjectWord(zk_hub::kWordSurfaceClass),
            static_cast<IZK_SurfaceClass*>(&host.surface));
  EXPECT_EQ(GetGlobalObjectWord(zk_hub::kWordControlGate),
            static_cast<IZK_ControlGate*>(&host.gate));
  EXPECT_EQ(GetGlobalObjectWord(zk_hub::kGlobalObjectWords), nullptr);

  CZK_LibraryGlobal* global = GetLibraryGlobal();
  ASSERT_NE(global, nullptr);
  EXPECT_NE(global->controllerManager, nullptr);
  EXPECT_EQ(global->currentCar, nullptr);
  // A second attach changes nothing: the same global, no second set of subscriptions.
  ZelkarProcessAttach();
  EXPECT_EQ(GetLibraryGlobal(), global);
  EXPECT_EQ(host.hub.TotalConnections(), kControllerManagerConnections);

  ZelkarProcessDetach();
  ZelkarProcessDetach();  // a second detach does nothing
  EXPECT_EQ(host.hub.TotalConnections(), 0u);
  EXPECT_EQ(GetSignalHub(), nullptr);
  EXPECT_EQ(GetLibraryGlobal(), nullptr);
  EXPECT_EQ(GetGlobalObjectWord(zk_hub::kWordControlGate), nullptr);
  // The block is the host's: the library leaves it and its words alone.
  EXPECT_TRUE(CGlobalObject::Exists());
  EXPECT_EQ(host.globalObject.GetWord(zk_hub::kWordSignalHub), host.hub.Data());
}

TEST(ProcessEntryTest, HostBlockWithoutHubGetsOneForTheLibrarysLifetime) {
  CGlobalObject block;
  CDetachOnExit detachOnExit;
  {
    CDebugCapture capture;
    ZelkarProcessAttach();
    EXPECT_EQ(CDebugCapture::Count("standalone hub"), 1);
  }
  void* supplied = block.GetWord(zk_hub::kWordSignalHub);
  EXPECT_NE(supplied, nullptr);
  EXPECT_EQ(GetSignalHub(), supplied);
  ZelkarProcessDetach();
  // The hub is freed, so the host's word must not keep pointing at it.
  EXPECT_EQ(block.GetWord(zk_hub::kWordSignalHub), nullptr);
  EXPECT_TRUE(CGlobalObject::Exists());
}

// A block too small for 22 words must not be mapped past its end: the library runs on its own
// words instead, says why, and leaves the block to whoever made it.
TEST(ProcessEntryTest, UndersizedBlockIsRefused) {
  const std::string name = CGlobalObject::Name();
  const int fd = shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 8), 0);
  CDetachOnExit detachOnExit;
  {
    CDebugCapture capture;
    ZelkarProcessAttach();
    EXPECT_EQ(CDebugCapture::Count("global object unavailable"), 1) << CDebugCapture::text;
    EXPECT_NE(GetSignalHub(), nullptr);
    EXPECT_EQ(GetGlobalObjectWord(zk_hub::kWordSignalHub), GetSignalHub());
    EXPECT_NE(GetLibraryGlobal(), nullptr);
    ZelkarProcessDetach();
  }
  EXPECT_TRUE(CGlobalObject::Exists());
  close(fd);
  shm_unlink(name.c_str());
}

}  // namespace
