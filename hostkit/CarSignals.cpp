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
