// The host kit's hub: its signal objects hold the library's lists where the library looks for
// them, and host-side emission reaches them in the kit's application states.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "hostkit/HostHub.h"
#include "signals/Hub.h"

namespace {

struct CCounter {
  int calls = 0;
  void OnCarControl(const CSigCarControl&) { ++calls; }
  void OnCleanup(const CSigPC_SessionCleanup&) { ++calls; }
};

// The driver's four car-control connections: two on the first list, one on each other list.
TEST(HostHubTest, CarControlReachesTheListsOfTheCurrentState) {
  zk_hostkit::CHostHub hub;
  SetSignalHub(hub.Data());
  CCounter driver;
  std::vector<std::unique_ptr<CConnection<CCounter, const CSigCarControl&>>> connections;
  for (std::size_t offset : zk_hub::kCarControlLists) {
    connections.push_back(std::make_unique<CConnection<CCounter, const CSigCarControl&>>(
        &driver, &CCounter::OnCarControl));
    LinkIntoHub(connections.back().get(), offset);
  }
  EXPECT_EQ(hub.CountAt(zk_hub::kCarControlLists[0]), 2u);
  EXPECT_EQ(hub.TotalConnections(), 4u);

  const std::size_t signal = zk_hostkit::hub::kCarControlSignal;
  hub.Emit(signal, CSigCarControl{});
  EXPECT_EQ(driver.calls, 2);  // state 1: the first list, which holds two connections
  hub.SetApplicationState(8);
  hub.Emit(signal, CSigCarControl{});
  EXPECT_EQ(driver.calls, 3);
  hub.SetApplicationState(2);
  hub.Emit(signal, CSigCarControl{});
  EXPECT_EQ(driver.calls, 3);  // nothing listens in state 2
  hub.Deliver(zk_hub::kCarControlLists[3], CSigCarControl{});
  EXPECT_EQ(driver.calls, 4);

  connections.clear();
  EXPECT_EQ(hub.TotalConnections(), 0u);
  // Without a hub a connection stays unlinked.
  SetSignalHub(nullptr);
  CConnection<CCounter, const CSigPC_SessionCleanup&> c(&driver, &CCounter::OnCleanup);
  LinkIntoHub(&c, zk_hub::kSessionCleanupList);
  EXPECT_EQ(c.list, nullptr);
  EXPECT_EQ(HubSignal<CSigWiperPosition>(zk_hub::kWiperPositionSignal), nullptr);
}

}  // namespace
