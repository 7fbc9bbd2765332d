#include "characters/CharacterDriver.h"

#include <zelkar/HostObjects.h>
#include <zelkar/HubLayout.h>

#include <cmath>

#include "characters/CharacterCar.h"
#include "files/SettingsFile.h"
#include "foundation/Logger.h"
#include "scenegraph/Node.h"
#include "signals/Hub.h"

float CZK_CharacterDriver::lastHandbrake = 0.0f;

namespace {

constexpr const char* kSettings = "Settings";
constexpr const char* kFrames = "Animation Frames";
constexpr const char* kTangents = "Animation Tangents";
constexpr const char* kLengths = "Animation Lengths";

// Pre-order search below root, the root itself not compared (as the bones are found).
CZK_Node* FindDummy(CZK_Node* root, const char* wanted) {
  for (CZK_Node* child : root->children) {
    if (child->name == wanted) return child;
    if (CZK_Node* found = FindDummy(child, wanted)) return found;
  }
  return nullptr;
}

Vector3 PositionOf(const CZK_Node* node) {
  return node != nullptr ? MatrixGetTranslation(node->matrix) : Vector3{0.0f, 0.0f, 0.0f};
}

void AddToTranslation(CZK_Node* node, const Vector3& offset) {
  if (node == nullptr) return;
  node->matrix.m[12] += offset.x;
  node->matrix.m[13] += offset.y;
  node->matrix.m[14] += offset.z;
}

// (1 − p)·from + p·to element by element, each of the first three rows then normalised on its
// own so the blended pose keeps unit axes.
void BlendPose(Matrix& out, const Matrix& from, const Matrix& to, float p) {
  Matrix blend;
  for (int k = 0; k < 16; ++k) blend.m[k] = (1.0f - p) * from.m[k] + p * to.m[k];
  for (uint32_t row = 0; row < 3; ++row)
    MatrixSetRow(blend, row, Vec3Normalized(MatrixGetRow(blend, row)));
  out = blend;
}

}  // namespace

CZK_CharacterDriver::CZK_CharacterDriver(const std::string& characterName,
                                         const CZK_RuntimeContext& context)
    : CZK_CharacterIncarPeople(RequireCar(characterName, context, "CZK_CharacterDriver"), context) {
  for (int k = 0; k < kControlConnectionCount; ++k) {
    controlConnections[k] = new ControlConnection(this, &CZK_CharacterDriver::OnCarControl);
    LinkIntoHub(controlConnections[k], zk_hub::kCarControlLists[k]);
  }
}

CZK_CharacterDriver::~CZK_CharacterDriver() {
  for (ControlConnection*& c : controlConnections) {
    delete c;  // unlinks it from the hub
    c = nullptr;
  }
}

void CZK_CharacterDriver::GetSeatOffset(Vector3* out) {
  const CZK_CharacterCar* car = CurrentCar();
  *out = car != nullptr ? car->GetDriverSeat() : Vector3{0.0f, 0.0f, 0.0f};
}

// ---- Settings, poses and curves ---------------------------------------------------------------

void CZK_CharacterDriver::EvaluateAtFrame(int32_t frame) {
  root->Update(static_cast<float>(frame) * zk_math::kFramesToSeconds, &g_IdentityMatrix);
}

void CZK_CharacterDriver::SavePose(SHandPose& pose) const {
  pose.hand = bones[kHandR] != nullptr ? bones[kHandR]->matrix : g_IdentityMatrix;
  pose.twist = bones[kHandRotationR] != nullptr ? bones[kHandRotationR]->matrix : g_IdentityMatrix;
}

CZK_TransitionCurve* CZK_CharacterDriver::BuildCurve(int index, CZK_TransitionKey* start,
                                                     CZK_TransitionKey* end, CZK_Node* moved,
                                                     float length, int32_t fromFrame,
                                                     int32_t toFrame, Matrix* poseFrom,
                                                     Matrix* poseTo) {
  CZK_TransitionCurve& c = curveStorage[index];
  c = {start, end, &moved->matrix.m[12], length, fromFrame, toFrame - fromFrame, poseFrom, poseTo};
  return &c;
}

void CZK_CharacterDriver::LoadDriverSettings() {
  for (int t = 0; t < kTransitionCount; ++t) handCurves[t] = elbowCurves[t] = nullptr;

  CSettingsFile s;
  s.Open(kSettingsPath, CSettingsFile::kModeAddMissing);
  maxSteerAngle =
      s.GetFloat(kSettings, "Max Steeringwheel degrees", 60.0f) * zk_math::kDegreesToRadians;
  normalFrame = s.GetInt(kFrames, "Normal", 5);
  const int32_t gearStart = s.GetInt(kFrames, "Gear Start", 15);
  const int32_t gear = s.GetInt(kFrames, "Gear", 20);
  const int32_t gearPushed = s.GetInt(kFrames, "Gear Pushed", 25);
  const int32_t handbrakeStart = s.GetInt(kFrames, "Handbrake Start", 30);
  const int32_t handbrake = s.GetInt(kFrames, "Handbrake", 35);
  const int32_t handbrakePulled = s.GetInt(kFrames, "Handbrake Pulled", 40);
  const int32_t gearToHandbrake = s.GetInt(kFrames, "Gear to Handbrake", 45);
  const int32_t handbrakeFromGear = s.GetInt(kFrames, "Handbrake from Gear", 50);
  const int32_t wheelGearStart = s.GetInt(kFrames, "Steeringwheel Gear Start", 55);
  const int32_t wheelGear = s.GetInt(kFrames, "Steeringwheel Gear", 60);

  const CZK_CharacterCar* car = CurrentCar();
  const Vector3 zero = {0.0f, 0.0f, 0.0f};
  const Vector3 seat = car != nullptr ? car->GetDriverSeat() : zero;
  const Vector3 mother = PositionOf(FindDummy(root, "D_mother"));
  const Vector3 wheel = PositionOf(FindDummy(root, "D_steeringwheel"));
  gripOffset = (car != nullptr ? car->GetSteeringWheelPoint() : zero) - (wheel - mother);
  noGearLever = car != nullptr ? car->GetNoGearLever() : 1;

  handStart.outTangent = s.GetVector3(kTangents, "Hand From Steeringwheel", {0, 0, 300});
  elbowStart.outTangent = s.GetVector3(kTangents, "Elbow From Steeringwheel", {0, 0, 300});
  handGrip.inTangent = handGrip.outTangent = zero;
  elbowGrip.inTangent = elbowGrip.outTangent = zero;

  CZK_Node* hand = bones[kHandR];
  CZK_Node* twist = bones[kHandRotationR];
  CZK_Node* lower = bones[kLowerArmR];
  // Without the right arm there is nothing to move; the queue then plays empty entries.
  const bool arm = hand != nullptr && twist != nullptr && lower != nullptr;
  auto elbowKey = [&](CZK_TransitionKey& key) { key.position = PositionOf(lower) + seat; };
  CZK_TransitionKey* k = keyStorage;

  EvaluateAtFrame(gear);
  SavePose(gearPose);
  if (noGearLever == 0) {
    k[0].position = car->GetGearHandPoint();
    k[0].inTangent = s.GetVector3(kTangents, "Hand From Gear to Steeringwheel", {0, 0, -300});
    const float length1h = s.GetFloat(kLengths, "From Steeringwheel to Gear", 1.0f);
    elbowKey(k[1]);
    k[1].inTangent = s.GetVector3(kTangents, "Elbow From Gear to Steeringwheel", {0, 0, -300});
    const float length1e = s.GetFloat(kLengths, "From Steeringwheel to Gear", 1.0f);
    EvaluateAtFrame(gearPushed);
    SavePose(gearPushedPose);
    k[0].outTangent = s.GetVector3(kTangents, "Hand From Gear to Gear Pushed", {0, 0, -100});
    k[2].position = car->GetGearPushedHandPoint();
    k[2].inTangent = s.GetVector3(kTangents, "Hand From Gear Pushed to Gear", {0, 0, -100});
    const float length2h = s.GetFloat(kLengths, "From Gear to Gear Pushed", 0.1f);
    k[1].outTangent = s.GetVector3(kTangents, "Elbow From Gear to Gear Pushed", {0, 0, -100});
    elbowKey(k[3]);
    k[3].inTangent = s.GetVector3(kTangents, "Elbow From Gear Pushed to Gear", {0, 0, -100});
    const float length2e = s.GetFloat(kLengths, "From Gear to Gear Pushed", 0.1f);
    if (arm) {
      handCurves[1] = BuildCurve(0, &handStart, &k[0], hand, length1h, gearStart, gear,
                                 &hand->matrix, &gearPose.hand);
      elbowCurves[1] = BuildCurve(1, &elbowStart, &k[1], lower, length1e, gearStart, gear,
                                  &twist->matrix, &gearPose.twist);
      handCurves[2] = BuildCurve(2, &k[0], &k[2], hand, length2h, gear, gearPushed, &gearPose.hand,
                                 &gearPushedPose.hand);
      elbowCurves[2] = BuildCurve(3, &k[1], &k[3], lower, length2e, gear, gearPushed,
                                  &gearPose.twist, &gearPushedPose.twist);
    }
  }

  EvaluateAtFrame(handbrake);
  SavePose(handbrakePose);
  k[4].position = car != nullptr ? car->GetHandbrakeHandPoint() : zero;
  k[4].inTangent = s.GetVector3(kTangents, "Hand From Handbrake to Steeringwheel", {0, 0, 300});
  const float length3h = s.GetFloat(kLengths, "From Steeringwheel to Handbrake", 1.0f);
  elbowKey(k[5]);
  k[5].inTangent = s.GetVector3(kTangents, "Elbow From Handbrake to Steeringwheel", {0, 0, 300});
  const float length3e = s.GetFloat(kLengths, "From Steeringwheel to Handbrake", 1.0f);

  EvaluateAtFrame(handbrakePulled);
  SavePose(handbrakePulledPose);
  k[4].outTangent = s.GetVector3(kTangents, "Hand From Handbrake to Handbrake Pulled", {0, 0, 100});
  k[6].position = car != nullptr ? car->GetHandbrakePulledHandPoint() : zero;
  k[6].inTangent = s.GetVector3(kTangents, "Hand From Handbrake Pulled to Handbrake", {0, 0, 100});
  const float length4h = s.GetFloat(kLengths, "From Handbrake to Handbrake Pulled", 0.2f);
  k[5].outTangent =
      s.GetVector3(kTangents, "Elbow From Handbrake to Handbrake Pulled", {0, 0, 100});
  elbowKey(k[7]);
  k[7].inTangent = s.GetVector3(kTangents, "Elbow From Handbrake Pulled to Handbrake", {0, 0, 100});
  const float length4e = s.GetFloat(kLengths, "From Handbrake to Handbrake Pulled", 0.2f);
  if (arm) {
    handCurves[3] = BuildCurve(4, &handStart, &k[4], hand, length3h, handbrakeStart, handbrake,
                               &hand->matrix, &handbrakePose.hand);
    elbowCurves[3] = BuildCurve(5, &elbowStart, &k[5], lower, length3e, handbrakeStart, handbrake,
                                &twist->matrix, &handbrakePose.twist);
    handCurves[4] = BuildCurve(6, &k[4], &k[6], hand, length4h, handbrake, handbrakePulled,
                               &handbrakePose.hand, &handbrakePulledPose.hand);
    elbowCurves[4] = BuildCurve(7, &k[5], &k[7], lower, length4e, handbrake, handbrakePulled,
                                &handbrakePose.twist, &handbrakePulledPose.twist);
  }

  if (noGearLever == 0) {
    k[8].position = car->GetGearHandPoint();
    k[8].outTangent = s.GetVector3(kTangents, "Hand From Gear to Handbrake", {0, 300, 0});
    k[9].position = car->GetHandbrakeHandPoint();
    k[9].inTangent = s.GetVector3(kTangents, "Hand From Handbrake to Gear", {0, 300, 0});
    const float length5h = s.GetFloat(kLengths, "From Gear to Handbrake", 0.5f);
    k[10].position = k[1].position;
    k[10].outTangent = s.GetVector3(kTangents, "Elbow From Gear to Handbrake", {0, 300, 0});
    k[11].position = k[5].position;
    k[11].inTangent = s.GetVector3(kTangents, "Elbow From Handbrake to Gear", {0, 300, 0});
    const float length5e = s.GetFloat(kLengths, "From Gear to Handbrake", 0.5f);
    if (arm) {
      handCurves[5] = BuildCurve(8, &k[8], &k[9], hand, length5h, gearToHandbrake,
                                 handbrakeFromGear, &gearPose.hand, &handbrakePose.hand);
      elbowCurves[5] = BuildCurve(9, &k[10], &k[11], lower, length5e, gearToHandbrake,
                                  handbrakeFromGear, &gearPose.twist, &handbrakePose.twist);
    }
  } else {
    // A gesture on the wheel: both ends at the current grip, the pose from the live hand. The
    // slots of transition 1, which a car without a lever never builds, hold it.
    const float length6h = s.GetFloat(kLengths, "Steeringwheel Gear", 1.0f);
    const float length6e = s.GetFloat(kLengths, "Steeringwheel Gear", 1.0f);
    if (arm) {
      handCurves[6] = BuildCurve(0, &handGrip, &handGrip, hand, length6h, wheelGearStart, wheelGear,
                                 &hand->matrix, &hand->matrix);
      elbowCurves[6] = BuildCurve(1, &elbowGrip, &elbowGrip, lower, length6e, wheelGearStart,
                                  wheelGear, &twist->matrix, &twist->matrix);
    }
  }

  EvaluateAtFrame(normalFrame);
}

// ---- Car control ------------------------------------------------------------------------------

void CZK_CharacterDriver::OnCarControl(const CSigCarControl& record) {
  // Without a gate object (a host that never set word 20, or the library on its own) input
  // always applies: there is nobody to say otherwise.
  auto* gate = static_cast<IZK_ControlGate*>(GetGlobalObjectWord(zk_hub::kWordControlGate));
  if (gate != nullptr && gate->IsCarControlApplied() == 0) return;

  // A non-finite steering input keeps the last angle; beyond full lock it is held at the lock,
  // so the pose is always sampled inside the steering frames.
  if (std::isfinite(record.steering))
    steerAngle = maxSteerAngle * std::fmax(-1.0f, std::fmin(1.0f, record.steering));

  const bool lever = noGearLever == 0;
  if ((record.buttons & 3u) != 0) {
    if (lever) {
      if (armTarget == kTargetHandbrake) {
        ReleaseHold();
        lastHandbrake = 0.0f;
        SetTarget(kTargetGear);
        Enqueue(4, 1, 0);
        Enqueue(5, 1, 0);
        Enqueue(2, 0, 0);
        Enqueue(2, 1, 0);
        Enqueue(1, 1, 0);
        Kick();
      } else {
        QueueRoundTrip(1, 2);
      }
    } else {
      if (armTarget == kTargetHandbrake) {
        ReleaseHold();
        lastHandbrake = 0.0f;
        SetTarget(kTargetGear);
        Enqueue(4, 1, 0);
        Enqueue(3, 1, 0);
      } else {
        SetTarget(kTargetGear);
      }
      Enqueue(6, 0, 0);
      Enqueue(6, 1, 0);
      Kick();
    }
  }

  // A NaN handbrake value differs from everything; it is not a pull and is left alone.
  const float value = record.handbrake;
  if (std::isnan(value) || value == lastHandbrake) return;
  if (value == 0.0f) {
    if (armTarget != kTargetHandbrake) return;
    ReleaseHold();
    SetTarget(kTargetHandbrake);
    Enqueue(4, 1, 0);
    Enqueue(3, 1, 0);
    Kick();
    lastHandbrake = value;
  } else if (armTarget == kTargetGear) {
    if (!lever) return;
    SetTarget(kTargetHandbrake);
    Enqueue(5, 0, 0);
    Enqueue(4, 0, 1);
    Kick();
    lastHandbrake = value;
  } else if (queueState == kQueueIdle || ring[writeIndex].hold == 0) {
    SetTarget(kTargetHandbrake);
    Enqueue(3, 0, 0);
    Enqueue(4, 0, 1);
    Kick();
    lastHandbrake = value;
  }
}

// ---- The frame --------------------------------------------------------------------------------

bool CZK_CharacterDriver::PrepareArms() {
  const CZK_CharacterCar* car = CurrentCar();
  if (CZK_Node* wheel = car != nullptr ? car->GetSteeringWheelNode() : nullptr) {
    Matrix turn;
    D3DXMatrixRotationZ(&turn, steerAngle);
    D3DXMatrixMultiply(&wheel->matrix, &turn, &wheel->matrix);
  }
  // A lock of 0 degrees leaves nothing to divide by: the pose stays straight ahead.
  steerFraction = maxSteerAngle != 0.0f ? steerAngle / maxSteerAngle : 0.0f;
  sampleTime = (steerFraction + 1.0f) * static_cast<float>(normalFrame) * zk_math::kFramesToSeconds;
  plan.Run(root, sampleTime, &g_IdentityMatrix);
  ApplyShake(0, sampleTime);

  handGrip.position = PositionOf(bones[kHandR]) + gripOffset;
  elbowGrip.position = PositionOf(bones[kHandRotationR]);
  if (queueState == kQueueLast) {
    handStart.position = handGrip.position;
    elbowStart.position = elbowGrip.position;
  }
  if (queueState == kQueueIdle) AddToTranslation(bones[kHandR], gripOffset);
  AddToTranslation(bones[kHandL], gripOffset);
  return true;
}

void CZK_CharacterDriver::OnTransitionStarted() {
  handStart.position = handGrip.position;
  elbowStart.position = elbowGrip.position;
}

void CZK_CharacterDriver::BlendHandPoses() {
  if (queueState == kQueueIdle) return;
  const CZK_ArmTransition& e = ring[readIndex];
  const float p = e.reverse != 0 ? 1.0f - progress : progress;
  const uint32_t t = e.transition < kTransitionCount ? e.transition : 0;
  const CZK_TransitionCurve* elbow = elbowCurves[t];
  const CZK_TransitionCurve* hand = handCurves[t];
  if (elbow != nullptr && bones[kHandRotationR] != nullptr)
    BlendPose(bones[kHandRotationR]->matrix, *elbow->poseFrom, *elbow->poseTo, p);
  if (hand != nullptr && bones[kHandR] != nullptr)
    BlendPose(bones[kHandR]->matrix, *hand->poseFrom, *hand->poseTo, p);
}

void CZK_CharacterDriver::AnimateFingers() {
  CZK_Node* right = bones[kHandR];
  CZK_Node* left = bones[kHandL];
  if (right == nullptr) return;
  float f = sampleTime;
  if (queueState != kQueueIdle) {
    const CZK_ArmTransition& e = ring[readIndex];
    const uint32_t t = e.transition < kTransitionCount ? e.transition : 0;
    if (const CZK_TransitionCurve* hand = handCurves[t]) {
      const float p = e.reverse != 0 ? 1.0f - progress : progress;
      f = (static_cast<float>(hand->frameCount) * p + static_cast<float>(hand->startFrame)) *
          zk_math::kFramesToSeconds;
    }
  }
  // Both hands are expected to have the same fingers; a left hand with fewer is not read past.
  // The lists are made again only when the number of fingers changes (each list rebuilds itself
  // when its subtree does).
  const size_t count = right->children.size();
  if (fingerPlans.size() != 2 * count) fingerPlans = std::vector<CZK_EvaluationPlan>(2 * count);
  for (size_t i = 0; i < count; ++i) {
    fingerPlans[i].Run(right->children[i], f, &right->matrix);
    if (left != nullptr && i < left->children.size())
      fingerPlans[count + i].Run(left->children[i], f, &left->matrix);
  }
}
