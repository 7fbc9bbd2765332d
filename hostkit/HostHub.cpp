#include "hostkit/HostHub.h"

#include <cstring>

namespace zk_hostkit {
namespace {

// Signal objects are laid out alike whatever their record; the kit walks them as one type.
using CAnySignal = CSignalObject<CSigPC_SessionCleanup>;

// Signal objects must not overlap and must fit in the hub.
constexpr bool SignalsFit() {
  for (std::size_t a : hub::kSignals) {
    if (a + zk_hub::kSignalObjectSize > zk_hub::kHubSize) return false;
    for (std::size_t b : hub::kSignals)
      if (a < b && a + zk_hub::kSignalObjectSize > b) return false;
  }
  return true;
}
static_assert(SignalsFit());

constexpr bool IsAllStatesList(std::size_t signal, std::size_t list) {
  return signal + zk_hub::kSignalAllStatesListOffset == list;
}

// The library's lists are where the layout above says.
static_assert(StateOfList(hub::kCarControlSignal, zk_hub::kCarControlLists[0]) == kStateRace);
static_assert(StateOfList(hub::kCarControlSignal, zk_hub::kCarControlLists[2]) == 8);
static_assert(StateOfList(hub::kCarControlSignal, zk_hub::kCarControlLists[3]) == 10);
static_assert(StateOfList(hub::kWiperRotationSignal, zk_hub::kWiperRotationLists[0]) == kStateRace);
static_assert(StateOfList(hub::kWiperRotationSignal, zk_hub::kWiperRotationLists[1]) == 8);
static_assert(StateOfList(hub::kWiperRotationSignal, zk_hub::kWiperRotationLists[2]) == 10);
static_assert(StateOfList(hub::kSolidGeneralStateSignal, zk_hub::kSolidGeneralStateLists[0]) ==
              kStateRace);
static_assert(StateOfList(hub::kSolidGeneralStateSignal, zk_hub::kSolidGeneralStateLists[6]) == 15);
static_assert(StateOfList(hub::kGhostCarStateSignal, zk_hub::kGhostCarStateLists[0]) == kStateRace);
static_assert(StateOfList(hub::kGhostCarStateSignal, zk_hub::kGhostCarStateLists[1]) == 8);
static_assert(IsAllStatesList(hub::kWindscreenDataSignal, zk_hub::kWindscreenDataList));
static_assert(IsAllStatesList(hub::kCarGeneralStateSignal, zk_hub::kCarGeneralStateList));
static_assert(IsAllStatesList(hub::kDetachFromParentSignal, zk_hub::kDetachFromParentList));
static_assert(IsAllStatesList(hub::kIncarShakeSignal, zk_hub::kIncarShakeList));
static_assert(IsAllStatesList(hub::kSessionCleanupSignal, zk_hub::kSessionCleanupList));

}  // namespace

CHostHub::CHostHub() : m_memory(new unsigned char[zk_hub::kHubSize]()) {
  for (std::size_t offset : hub::kSignals)
    Signal<CSigPC_SessionCleanup>(offset).applicationState = &m_applicationState;
}

CHostHub::~CHostHub() { delete[] m_memory; }

uint32_t CHostHub::CountAt(std::size_t listOffset) const {
  return List<CSigPC_SessionCleanup>(listOffset).count;
}

std::size_t CHostHub::TotalConnections() const {
  std::size_t total = 0;
  for (std::size_t offset : hub::kSignals) {
    const CAnySignal& s = Signal<CSigPC_SessionCleanup>(offset);
    for (const auto& entry : s.stateLists) total += entry.list.count;
    total += s.allStatesList.list.count;
  }
  return total;
}

// Plain pointers with external linkage: no destructor frees them before the library's detach
// runs, and leak checkers still find them reachable.
CHostHub* g_hubsKeptUntilExit[16] = {};

void KeepHubUntilExit(std::unique_ptr<CHostHub> hub) {
  for (CHostHub*& slot : g_hubsKeptUntilExit) {
    if (slot == nullptr) {
      slot = hub.release();
      return;
    }
  }
  // More hubs than slots: keep this one anyway; only a leak checker will mind.
  static_cast<void>(hub.release());
}

}  // namespace zk_hostkit
