// A host's whole round with the built libzelkar.so: prepare the global object and hub, load the
// library, create a facade, emit the session clean-up, destroy the facade, unload.
#include <gtest/gtest.h>
#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "hostkit/GlobalObject.h"
#include "hostkit/HostHub.h"
#include "hostkit/LoadedLibrary.h"

namespace {

constexpr const char* kLibrary = ZELKAR_SHARED_LIBRARY_PATH;
constexpr std::size_t kControllerManagerConnections = 9;

// The loader keeps a library whose code defines GNU unique symbols (g++ makes them for static
// locals of inline templates unless built with -fno-gnu-unique): dlclose then runs no process
// detach, which happens at process exit instead, while the hub must still be there.
constexpr const char* kStillLoaded =
    "libzelkar.so stayed loaded after dlclose (GNU unique symbols; build the library with "
    "-fno-gnu-unique), so process detach runs only at exit and cannot be checked here";

TEST(SharedLibraryTest, HostRoundTrip) {
  if (zk_hostkit::CLoadedLibrary::IsLoaded(kLibrary)) GTEST_SKIP() << kStillLoaded;
  zk_hostkit::CGlobalObject block;
  auto ownedHub = std::make_unique<zk_hostkit::CHostHub>();
  zk_hostkit::CHostHub& hub = *ownedHub;
  block.SetWord(zk_hub::kWordSignalHub, hub.Data());
  {
    zk_hostkit::CLoadedLibrary library(kLibrary);
    // Loading ran process attach: the controller manager joined the host's hub.
    EXPECT_EQ(hub.TotalConnections(), kControllerManagerConnections);

    auto create = library.Function<ZK_CreateFunction>("ZK_Create");
    auto remove = library.Function<ZK_DeleteFunction>("ZK_Delete");
    ASSERT_NE(create, nullptr);
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(library.Symbol("ZelkarProcessAttach"), nullptr);  // not exported

    CZelkarInterface* facade = create();
    ASSERT_NE(facade, nullptr);
    auto* ext = static_cast<CZelkarInterfaceExt*>(facade);
    EXPECT_TRUE(facade->Initialize());
    EXPECT_EQ(ext->Reserved0(7), 0);
    EXPECT_EQ(ext->Reserved1(-7), 0);
    EXPECT_EQ(ext->Reserved2(70000), 0);
    EXPECT_EQ(hub.CountAt(zk_hub::kSessionCleanupList), 1u);

    // A controller made through the facade lives until the host's session clean-up.
    ext->CreatePositionController("Scene::Flag", {{0, 0, 0, 0}, {1, 2, 3, 1}});
    EXPECT_GE(ext->FindController("Scene::Flag"), 0);
    hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
    EXPECT_EQ(ext->FindController("Scene::Flag"), -1);
    EXPECT_TRUE(ext->IsAnimObjectStatic(0));

    // The library's exceptions reach the host as std::exception.
    EXPECT_THROW(facade->GetCharacterIndex("nobody"), std::exception);

    delete facade;
    remove();
    EXPECT_EQ(hub.CountAt(zk_hub::kSessionCleanupList), 0u);
    EXPECT_TRUE(library.Close());
  }
  if (zk_hostkit::CLoadedLibrary::IsLoaded(kLibrary)) {
    zk_hostkit::KeepHubUntilExit(std::move(ownedHub));
    GTEST_SKIP() << kStillLoaded;
  }
  // Unloading ran process detach: nothing of the library is left in the hub.
  EXPECT_EQ(hub.TotalConnections(), 0u);
  EXPECT_TRUE(zk_hostkit::CGlobalObject::Exists());
}

}  // namespace
