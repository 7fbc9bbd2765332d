/// @file
/// Layout of the host's signal hub and global object as far as the library touches them.
///
/// The offsets are written as those of a 32-bit build; every pointer-sized field doubles in a
/// 64-bit build, so every offset doubles too. Each constant below is already scaled for the
/// build that includes it. docs/host-contract.md has the table for both widths.
#pragma once

#include <cstddef>
#include <cstdint>

/// Offsets and sizes of the hub and the global object, scaled for this build.
namespace zk_hub {

/// 1 in a 32-bit build, 2 in a 64-bit build.
constexpr std::size_t kScale = sizeof(void*) / 4;
/// A 32-bit build's byte offset in this build.
constexpr std::size_t Offset(std::size_t offset32) { return offset32 * kScale; }

/// Size of one list entry: a list header and its padding (16 or 32 bytes).
constexpr std::size_t kListEntrySize = Offset(16);

/// The facade's session clean-up list (64840 in 32 bits).
constexpr std::size_t kSessionCleanupList = Offset(64840);
/// The controller manager's solid-object state lists (10744 ... 10968 in 32 bits).
constexpr std::size_t kSolidGeneralStateLists[7] = {Offset(10744), Offset(10776), Offset(10792),
                                                    Offset(10856), Offset(10872), Offset(10888),
                                                    Offset(10968)};
/// The controller manager's ghost-car state lists (32184, 32296 in 32 bits).
constexpr std::size_t kGhostCarStateLists[2] = {Offset(32184), Offset(32296)};
/// The driver's car-control lists (3240 twice, 3352, 3384 in 32 bits): two connections go into
/// the first list, so the driver hears a record on it twice.
constexpr std::size_t kCarControlLists[4] = {Offset(3240), Offset(3240), Offset(3352),
                                             Offset(3384)};
/// The car's wiper rotation lists (8600, 8712, 8744 in 32 bits).
constexpr std::size_t kWiperRotationLists[3] = {Offset(8600), Offset(8712), Offset(8744)};
/// The car's windscreen data list (8128 in 32 bits).
constexpr std::size_t kWindscreenDataList = Offset(8128);
/// The car's detach-from-parent list (48224 in 32 bits).
constexpr std::size_t kDetachFromParentList = Offset(48224);
/// The car's and the in-car people's car general state list (12312 in 32 bits).
constexpr std::size_t kCarGeneralStateList = Offset(12312);
/// The in-car people's shake list (51440 in 32 bits).
constexpr std::size_t kIncarShakeList = Offset(51440);

/// The signal object on which the car emits its wiper positions (9112 in 32 bits).
constexpr std::size_t kWiperPositionSignal = Offset(9112);

/// Application states a signal object has lists for (a state must be below this).
constexpr std::size_t kApplicationStateCount = 32;
/// Signal object: `emitting` (u32).
constexpr std::size_t kSignalEmittingOffset = 0;
/// Signal object: `applicationState` (int*).
constexpr std::size_t kSignalApplicationStateOffset = Offset(4);
/// Signal object: `stateLists[32]`.
constexpr std::size_t kSignalStateListsOffset = Offset(8);
/// Signal object: `allStatesList`.
constexpr std::size_t kSignalAllStatesListOffset = Offset(8 + 16 * kApplicationStateCount);
/// Size of a signal object.
constexpr std::size_t kSignalObjectSize = kSignalAllStatesListOffset + kListEntrySize;

/// Bytes a compatible hub must span: past the last list the library touches.
constexpr std::size_t kHubSize = Offset(64840) + kListEntrySize;

/// Pointer-sized words of the process's global object.
constexpr std::size_t kGlobalObjectWords = 22;
/// Bytes of the global object: 88 in a 32-bit build, 176 in a 64-bit build.
constexpr std::size_t kGlobalObjectSize = kGlobalObjectWords * sizeof(void*);
/// Word of the signal hub.
constexpr std::size_t kWordSignalHub = 0;
/// Word of the surface-class object (IZK_SurfaceClass).
constexpr std::size_t kWordSurfaceClass = 15;
/// Word of the control gate (IZK_ControlGate).
constexpr std::size_t kWordControlGate = 20;

/// The numbers docs/host-contract.md gives a host, for a 32-bit and a 64-bit build: every build
/// that includes this header checks the constants above against its width's column.
namespace contract {
/// The contract's byte count for this build's width.
constexpr std::size_t Bytes(std::size_t bytes32, std::size_t bytes64) {
  return sizeof(void*) == 4 ? bytes32 : bytes64;
}
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "the contract has 32- and 64-bit hosts");
static_assert(kSessionCleanupList == Bytes(64840, 129680));
static_assert(kSolidGeneralStateLists[0] == Bytes(10744, 21488));
static_assert(kSolidGeneralStateLists[1] == Bytes(10776, 21552));
static_assert(kSolidGeneralStateLists[2] == Bytes(10792, 21584));
static_assert(kSolidGeneralStateLists[3] == Bytes(10856, 21712));
static_assert(kSolidGeneralStateLists[4] == Bytes(10872, 21744));
static_assert(kSolidGeneralStateLists[5] == Bytes(10888, 21776));
static_assert(kSolidGeneralStateLists[6] == Bytes(10968, 21936));
static_assert(kGhostCarStateLists[0] == Bytes(32184, 64368));
static_assert(kGhostCarStateLists[1] == Bytes(32296, 64592));
static_assert(kCarControlLists[0] == Bytes(3240, 6480));
static_assert(kCarControlLists[1] == Bytes(3240, 6480));  // the same list again
static_assert(kCarControlLists[2] == Bytes(3352, 6704));
static_assert(kCarControlLists[3] == Bytes(3384, 6768));
static_assert(kWiperRotationLists[0] == Bytes(8600, 17200));
static_assert(kWiperRotationLists[1] == Bytes(8712, 17424));
static_assert(kWiperRotationLists[2] == Bytes(8744, 17488));
static_assert(kWindscreenDataList == Bytes(8128, 16256));
static_assert(kDetachFromParentList == Bytes(48224, 96448));
static_assert(kCarGeneralStateList == Bytes(12312, 24624));
static_assert(kIncarShakeList == Bytes(51440, 102880));
static_assert(kWiperPositionSignal == Bytes(9112, 18224));
static_assert(kListEntrySize == Bytes(16, 32));
static_assert(kSignalApplicationStateOffset == Bytes(4, 8));
static_assert(kSignalStateListsOffset == Bytes(8, 16));
static_assert(kSignalAllStatesListOffset == Bytes(520, 1040));
static_assert(kGlobalObjectSize == Bytes(88, 176));
static_assert(kGlobalObjectWords == 22);
static_assert(kWordSignalHub * sizeof(void*) == 0);
static_assert(kWordSurfaceClass * sizeof(void*) == Bytes(60, 120));
static_assert(kWordControlGate * sizeof(void*) == Bytes(80, 160));
}  // namespace contract

}  // namespace zk_hub
