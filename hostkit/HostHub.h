/// @file
/// A signal hub as a host lays it out: zeroed memory of zk_hub::kHubSize bytes holding the signal
/// objects whose lists the library subscribes to, one application state shared by all of them,
/// and host-side emission.
///
/// The library fixes only the offsets of the lists it joins (and of the wiper-position signal).
/// How those lists group into signal objects is the host's choice; this kit places each signal
/// object so that:
/// - a signal the library hears on several lists has those lists as state entries, with the
///   first of them at state kStateRace, so in that state every library subscription is served;
/// - a signal the library hears on one list has it as its all-states list.
#pragma once

#include <zelkar/Emit.h>
#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>

#include <cstddef>
#include <cstdint>
#include <memory>

// The count of a list header, as docs/host-contract.md gives it to a host (the hub's offsets are
// checked in <zelkar/HubLayout.h>).
static_assert(offsetof(CSignalList<CSigWiperPosition>, count) == zk_hub::contract::Bytes(8, 16));

namespace zk_hostkit {

/// Where the kit's signal objects begin in the hub (already scaled for the pointer size). Each
/// one's comment names the library's lists in it, at their offsets in a 32-bit build.
namespace hub {
using zk_hub::Offset;
/// Car control: lists at states 1, 8, 10.
constexpr std::size_t kCarControlSignal = Offset(3216);
/// Windscreen data: all-states list 8128.
constexpr std::size_t kWindscreenDataSignal = Offset(7608);
/// Wiper rotation: lists at states 1, 8, 10.
constexpr std::size_t kWiperRotationSignal = Offset(8576);
/// Wiper position: the signal object the car emits on, where the library fixes it.
constexpr std::size_t kWiperPositionSignal = zk_hub::kWiperPositionSignal;
/// Solid-object state: lists at states 1, 3, 4, 8, 9, 10, 15.
constexpr std::size_t kSolidGeneralStateSignal = Offset(10720);
/// Car state: all-states list 12312.
constexpr std::size_t kCarGeneralStateSignal = Offset(11792);
/// Ghost-car state: lists at states 1, 8.
constexpr std::size_t kGhostCarStateSignal = Offset(32160);
/// Detach from parent: all-states list 48224.
constexpr std::size_t kDetachFromParentSignal = Offset(47704);
/// In-car shake: all-states list 51440.
constexpr std::size_t kIncarShakeSignal = Offset(50920);
/// Session clean-up: all-states list 64840.
constexpr std::size_t kSessionCleanupSignal = Offset(64320);

/// Every signal object the kit lays out, each set up by CHostHub.
constexpr std::size_t kSignals[] = {
    kCarControlSignal,        kWindscreenDataSignal,  kWiperRotationSignal, kWiperPositionSignal,
    kSolidGeneralStateSignal, kCarGeneralStateSignal, kGhostCarStateSignal, kDetachFromParentSignal,
    kIncarShakeSignal,        kSessionCleanupSignal};
}  // namespace hub

/// The state in which every library subscription is served.
constexpr int kStateRace = 1;

/// The application state whose list lies at listOffset in the signal object at signalOffset, or
/// -1 when that offset is not one of its state lists (the all-states list included).
constexpr int StateOfList(std::size_t signalOffset, std::size_t listOffset) {
  const std::size_t first = signalOffset + zk_hub::kSignalStateListsOffset;
  if (listOffset < first) return -1;
  const std::size_t distance = listOffset - first;
  if (distance % zk_hub::kListEntrySize != 0) return -1;
  const std::size_t state = distance / zk_hub::kListEntrySize;
  return state < zk_hub::kApplicationStateCount ? static_cast<int>(state) : -1;
}

/// The hub's memory, owned: the kit's signal objects, all sharing this hub's application state.
class CHostHub {
 public:
  /// Every list empty, every signal idle, application state kStateRace.
  CHostHub();
  ~CHostHub();
  CHostHub(const CHostHub&) = delete;
  CHostHub& operator=(const CHostHub&) = delete;

  /// The address the host stores in word 0 of the global object.
  void* Data() const { return m_memory; }

  /// The signal object at signalOffset, seen as one carrying Rec records.
  template <class Rec>
  CSignalObject<Rec>& Signal(std::size_t signalOffset) const {
    return *reinterpret_cast<CSignalObject<Rec>*>(m_memory + signalOffset);
  }
  /// The list at listOffset, seen as one carrying Rec records.
  template <class Rec>
  CSignalList<Rec>& List(std::size_t listOffset) const {
    return *reinterpret_cast<CSignalList<Rec>*>(m_memory + listOffset);
  }
  /// Number of connections in the list at listOffset.
  uint32_t CountAt(std::size_t listOffset) const;
  /// Connections in all lists of the kit's signal objects together.
  std::size_t TotalConnections() const;

  /// Sets the application state every kit signal object emits in.
  void SetApplicationState(int state) { m_applicationState = state; }
  /// The application state every kit signal object emits in.
  int GetApplicationState() const { return m_applicationState; }

  /// Emits record on the signal object at signalOffset, in the current application state.
  template <class Rec>
  void Emit(std::size_t signalOffset, const Rec& record) {
    ::Emit(Signal<Rec>(signalOffset), record);
  }
  /// Delivers record to the one list at listOffset, whatever the application state.
  template <class Rec>
  void Deliver(std::size_t listOffset, const Rec& record) {
    NotifyEach(List<Rec>(listOffset), record);
  }

 private:
  unsigned char* m_memory;
  int m_applicationState = kStateRace;
};

/// For a host whose loader kept the library after dlclose (a library with GNU unique symbols is
/// never unloaded): the library's process detach then runs at exit and unlinks its connections
/// from the hub, so the hub must live until then. This holds it, unfreed, for the rest of the
/// process.
void KeepHubUntilExit(std::unique_ptr<CHostHub> hub);

}  // namespace zk_hostkit
