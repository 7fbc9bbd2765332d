// Layout of the host's signal hub as far as the library touches it. The offsets are those of a
// 32-bit build; every pointer-sized field doubles in a 64-bit build, so every offset doubles too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zk_hub {

// 1 in a 32-bit build, 2 in a 64-bit build.
constexpr std::size_t kScale = sizeof(void*) / 4;
constexpr std::size_t Offset(std::size_t offset32) { return offset32 * kScale; }

// Size of one list entry (a list header and its padding) and of the hub the kit lays out.
constexpr std::size_t kListEntrySize = Offset(16);

// Subscription lists (byte offsets of list headers within the hub).
constexpr std::size_t kSessionCleanupList = Offset(64840);
constexpr std::size_t kSolidGeneralStateLists[7] = {Offset(10744), Offset(10776), Offset(10792),
                                                    Offset(10856), Offset(10872), Offset(10888),
                                                    Offset(10968)};
constexpr std::size_t kGhostCarStateLists[2] = {Offset(32184), Offset(32296)};
// The driver links two connections into the first list.
constexpr std::size_t kCarControlLists[4] = {Offset(3240), Offset(3240), Offset(3352),
                                             Offset(3384)};
constexpr std::size_t kWiperRotationLists[3] = {Offset(8600), Offset(8712), Offset(8744)};
constexpr std::size_t kWindscreenDataList = Offset(8128);
constexpr std::size_t kDetachFromParentList = Offset(48224);
constexpr std::size_t kCarGeneralStateList = Offset(12312);
constexpr std::size_t kIncarShakeList = Offset(51440);

// The signal object on which the car emits its wiper positions.
constexpr std::size_t kWiperPositionSignal = Offset(9112);

// Signal object layout: emitting (u32), applicationState (int*), stateLists[32], allStatesList.
constexpr std::size_t kApplicationStateCount = 32;
constexpr std::size_t kSignalEmittingOffset = 0;
constexpr std::size_t kSignalApplicationStateOffset = Offset(4);
constexpr std::size_t kSignalStateListsOffset = Offset(8);
constexpr std::size_t kSignalAllStatesListOffset = Offset(8 + 16 * kApplicationStateCount);
constexpr std::size_t kSignalObjectSize = kSignalAllStatesListOffset + kListEntrySize;

// Bytes a compatible hub must span: past the last list the library touches.
constexpr std::size_t kHubSize = Offset(64840) + kListEntrySize;

// Words of the process's global object.
constexpr std::size_t kGlobalObjectWords = 22;
constexpr std::size_t kGlobalObjectSize = kGlobalObjectWords * sizeof(void*);
constexpr std::size_t kWordSignalHub = 0;
constexpr std::size_t kWordSurfaceClass = 15;
constexpr std::size_t kWordControlGate = 20;

}  // namespace zk_hub
