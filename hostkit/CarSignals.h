// The host's side of the car's signals: the records a game sends the car and its crew each
// frame, emitted on the kit's hub the way the game does, and a receiver for the wiper positions
// the car sends back. Positions and quaternions are in the host's axes, as the game has them.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/MathTypes.h>
#include <zelkar/Signals.h>

#include <cstdint>

#include "hostkit/HostHub.h"

namespace zk_hostkit {

// One wheel as the host's simulation has it, relative to the car.
struct CWheelState {
  Vector3 position;
  Quaternion orientation;
};

// The car's position and orientation and its four wheels (left front, right front, left back,
// right back), every byte the library does not read zeroed.
CSigCarGeneralState MakeCarGeneralState(const Vector3& position, const Quaternion& orientation,
                                        const CWheelState (&wheels)[4]);

// Each emits on the kit's signal object for that record, in the hub's application state.
void EmitCarGeneralState(CHostHub& hub, const CSigCarGeneralState& record);
void EmitWiperRotation(CHostHub& hub, float leftAngle, float rightAngle);
void EmitWindscreenData(CHostHub& hub, const Vector3 (&corners)[4]);
void EmitDetachFromParent(CHostHub& hub, uint32_t objectIndex);
// The driver's controls: handbrake, steering input and the gear-change bits (bits 0 and 1).
void EmitCarControl(CHostHub& hub, float handbrake, float steering, uint32_t buttons);
// The sway of one person in the car (0 the driver, 1 the co-driver): five shake vectors (spine,
// upper spine, head, left and right upper arm) and the shift of the body.
void EmitIncarShake(CHostHub& hub, uint32_t person, const Vector3 (&shake)[5],
                    const Vector3& bodyShift);

// Hears the wiper positions in every application state, from construction to destruction.
class CWiperPositionReceiver {
 public:
  explicit CWiperPositionReceiver(CHostHub& hub);
  CWiperPositionReceiver(const CWiperPositionReceiver&) = delete;
  CWiperPositionReceiver& operator=(const CWiperPositionReceiver&) = delete;

  // Records received so far, and the last one (zero before the first).
  int GetCount() const { return m_count; }
  const CSigWiperPosition& GetLast() const { return m_last; }

 private:
  void OnWiperPosition(const CSigWiperPosition& record);

  CConnection<CWiperPositionReceiver, const CSigWiperPosition&> m_connection;
  CSigWiperPosition m_last = {};
  int m_count = 0;
};

}  // namespace zk_hostkit
