// What a host programmer relies on, checked against the numbers the host contract writes down
// (not against the library's own constants): the hub's list offsets and the global object's size
// and the byte offsets of its words in this build's width. That the library reads the host's
// block through these words is the process-entry tests'.
#include <gtest/gtest.h>
#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>

#include <cstddef>

namespace {

constexpr bool k32 = sizeof(void*) == 4;

// Byte offsets as the contract gives them for a 32-bit host, and for a 64-bit host.
struct SContractOffset {
  const char* what;
  std::size_t actual;
  std::size_t bytes32, bytes64;
};

TEST(HostContractTest, HubAndGlobalObjectLayoutOfThisWidth) {
  using namespace zk_hub;
  const SContractOffset table[] = {
      {"session clean-up list", kSessionCleanupList, 64840, 129680},
      {"solid state list 0", kSolidGeneralStateLists[0], 10744, 21488},
      {"solid state list 1", kSolidGeneralStateLists[1], 10776, 21552},
      {"solid state list 2", kSolidGeneralStateLists[2], 10792, 21584},
      {"solid state list 3", kSolidGeneralStateLists[3], 10856, 21712},
      {"solid state list 4", kSolidGeneralStateLists[4], 10872, 21744},
      {"solid state list 5", kSolidGeneralStateLists[5], 10888, 21776},
      {"solid state list 6", kSolidGeneralStateLists[6], 10968, 21936},
      {"ghost car list 0", kGhostCarStateLists[0], 32184, 64368},
      {"ghost car list 1", kGhostCarStateLists[1], 32296, 64592},
      {"car control list 0", kCarControlLists[0], 3240, 6480},
      {"car control list 1 (same list)", kCarControlLists[1], 3240, 6480},
      {"car control list 2", kCarControlLists[2], 3352, 6704},
      {"car control list 3", kCarControlLists[3], 3384, 6768},
      {"wiper rotation list 0", kWiperRotationLists[0], 8600, 17200},
      {"wiper rotation list 1", kWiperRotationLists[1], 8712, 17424},
      {"wiper rotation list 2", kWiperRotationLists[2], 8744, 17488},
      {"windscreen list", kWindscreenDataList, 8128, 16256},
      {"detach list", kDetachFromParentList, 48224, 96448},
      {"car general state list", kCarGeneralStateList, 12312, 24624},
      {"in-car shake list", kIncarShakeList, 51440, 102880},
      {"wiper position signal", kWiperPositionSignal, 9112, 18224},
      {"list entry size", kListEntrySize, 16, 32},
      {"signal: application state", kSignalApplicationStateOffset, 4, 8},
      {"signal: state lists", kSignalStateListsOffset, 8, 16},
      {"signal: all-states list", kSignalAllStatesListOffset, 520, 1040},
      {"list header: count", offsetof(CSignalList<CSigWiperPosition>, count), 8, 16},
      {"global object size", kGlobalObjectSize, 88, 176},
      {"global object words", kGlobalObjectWords, 22, 22},
      {"word: signal hub", kWordSignalHub * sizeof(void*), 0, 0},
      {"word: surface class", kWordSurfaceClass * sizeof(void*), 60, 120},
      {"word: control gate", kWordControlGate * sizeof(void*), 80, 160},
  };
  for (const SContractOffset& row : table)
    EXPECT_EQ(row.actual, k32 ? row.bytes32 : row.bytes64) << row.what;
}

}  // namespace
