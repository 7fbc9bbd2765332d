#include "hostkit/CarSignals.h"

namespace zk_hostkit {

CSigCarGeneralState MakeCarGeneralState(const Vector3& position, const Quaternion& orientation,
                                        const CWheelState (&wheels)[4]) {
  CSigCarGeneralState record{};
  record.position = position;
  record.orientation = orientation;
  for (int i = 0; i < 4; ++i) {
    record.wheelPositions[i].value = wheels[i].position;
    record.wheelOrientations[i] = wheels[i].orientation;
  }
  return record;
}

void EmitCarGeneralState(CHostHub& hub, const CSigCarGeneralState& record) {
  hub.Emit(hub::kCarGeneralStateSignal, record);
}

void EmitWiperRotation(CHostHub& hub, float leftAngle, float rightAngle) {
  hub.Emit(hub::kWiperRotationSignal, CSigWiperRotation{leftAngle, rightAngle});
}

void EmitWindscreenData(CHostHub& hub, const Vector3 (&corners)[4]) {
  CSigWindscreenData record{};
  for (int i = 0; i < 4; ++i) record.corners[i].value = corners[i];
  hub.Emit(hub::kWindscreenDataSignal, record);
}

void EmitDetachFromParent(CHostHub& hub, uint32_t objectIndex) {
  hub.Emit(hub::kDetachFromParentSignal, CSigDetachFromParent{objectIndex});
}

void EmitCarControl(CHostHub& hub, float handbrake, float steering, uint32_t buttons) {
  CSigCarControl record{};
  record.handbrake = handbrake;
  record.steering = steering;
  record.buttons = buttons;
  hub.Emit(hub::kCarControlSignal, record);
}

void EmitIncarShake(CHostHub& hub, uint32_t person, const Vector3 (&shake)[5],
                    const Vector3& bodyShift) {
  CSigIncarShake record{};
  record.person = person;
  for (int k = 0; k < 5; ++k) record.shakeVectors[k].value = shake[k];
  record.bodyShift = bodyShift;
  hub.Emit(hub::kIncarShakeSignal, record);
}

CWiperPositionReceiver::CWiperPositionReceiver(CHostHub& hub)
    : m_connection(this, &CWiperPositionReceiver::OnWiperPosition) {
  m_connection.AppendTo(
      &hub.Signal<CSigWiperPosition>(hub::kWiperPositionSignal).allStatesList.list);
}

void CWiperPositionReceiver::OnWiperPosition(const CSigWiperPosition& record) {
  m_last = record;
  ++m_count;
}

}  // namespace zk_hostkit
