/// @file
/// The host's side of the car's signals: the records a game sends the car and its crew each
/// frame, emitted on the kit's hub the way the game does, and a receiver for the wiper positions
/// the car sends back. Positions and quaternions are in the host's axes, as the game has them.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/MathTypes.h>
#include <zelkar/Signals.h>

#include <cstdint>

#include "hostkit/HostHub.h"

namespace zk_hostkit {

/// One wheel as the host's simulation has it, relative to the car.
struct CWheelState {
  Vector3 position;        ///< the wheel's position
  Quaternion orientation;  ///< the wheel's orientation
};

/// The car's position and orientation and its four wheels (left front, right front, left back,
/// right back), every byte the library does not read zeroed.
CSigCarGeneralState MakeCarGeneralState(const Vector3& position, const Quaternion& orientation,
                                        const CWheelState (&wheels)[4]);

/// Emits the car's state on the kit's car-general-state signal, in the hub's application state.
void EmitCarGeneralState(CHostHub& hub, const CSigCarGeneralState& record);
/// Emits the two wipers' angles on the kit's wiper-rotation signal, in the hub's application
/// state.
void EmitWiperRotation(CHostHub& hub, float leftAngle, float rightAngle);
/// Emits the windscreen's four corners on the kit's windscreen-data signal, in the hub's
/// application state.
void EmitWindscreenData(CHostHub& hub, const Vector3 (&corners)[4]);
/// Emits the index of the object to detach on the kit's detach-from-parent signal, in the hub's
/// application state.
void EmitDetachFromParent(CHostHub& hub, uint32_t objectIndex);
/// Emits the driver's controls on the kit's car-control signal, in the hub's application state:
/// handbrake, steering input and the gear-change bits (bits 0 and 1).
void EmitCarControl(CHostHub& hub, float handbrake, float steering, uint32_t buttons);
/// Emits the sway of one person in the car (0 the driver, 1 the co-driver) on the kit's
/// in-car-shake signal, in the hub's application state: five shake vectors (spine, upper spine,
/// head, left and right upper arm) and the shift of the body.
void EmitIncarShake(CHostHub& hub, uint32_t person, const Vector3 (&shake)[5],
                    const Vector3& bodyShift);

/// Hears the wiper positions in every application state, from construction to destruction.
class CWiperPositionReceiver {
 public:
  /// Joins the all-states list of the hub's wiper-position signal; leaves it when destroyed.
  explicit CWiperPositionReceiver(CHostHub& hub);
  CWiperPositionReceiver(const CWiperPositionReceiver&) = delete;
  CWiperPositionReceiver& operator=(const CWiperPositionReceiver&) = delete;

  /// Records received so far.
  int GetCount() const { return m_count; }
  /// The last record received (all zero before the first).
  const CSigWiperPosition& GetLast() const { return m_last; }

 private:
  void OnWiperPosition(const CSigWiperPosition& record);

  CConnection<CWiperPositionReceiver, const CSigWiperPosition&> m_connection;
  CSigWiperPosition m_last = {};
  int m_count = 0;
};

}  // namespace zk_hostkit
