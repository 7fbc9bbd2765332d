/// @file
/// Emission of a record on one of the hub's signal objects. The library emits the car's wiper
/// positions this way; a host may use the same routine for its own signals, since host delivery
/// follows the same scheme.
#pragma once

#include <zelkar/Signals.h>

/// Delivers record to the subscribers of signal s in the host's current application state: first
/// the all-states list, then the current state's list, each from first to last.
/// Dropped without delivery when s has no application state or is already emitting, so a
/// handler that emits the same signal again causes no nested delivery.
template <class Rec>
void Emit(CSignalObject<Rec>& s, const Rec& record) {
  if (s.applicationState == nullptr || s.emitting != 0) return;
  s.emitting = 1;
  // Clears the flag however delivery ends: a handler that throws must not leave the signal
  // muted for the rest of the process.
  struct CEmittingGuard {
    uint32_t& flag;
    ~CEmittingGuard() { flag = 0; }
  } guard{s.emitting};

  const int state = *s.applicationState;
  // A state outside 0..31 has no list of its own; such an emission still reaches the
  // all-states subscribers, who listen whatever the state, and reads nothing out of bounds.
  const CSignalList<Rec>* stateList =
      (state >= 0 && static_cast<std::size_t>(state) < zk_hub::kApplicationStateCount)
          ? &s.stateLists[state].list
          : nullptr;
  const CSignalList<Rec>& allStates = s.allStatesList.list;
  if (allStates.first == nullptr && (stateList == nullptr || stateList->first == nullptr)) return;
  NotifyEach(allStates, record);
  if (stateList != nullptr) NotifyEach(*stateList, record);
}
