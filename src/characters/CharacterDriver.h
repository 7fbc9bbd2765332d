// The driver: the host's steering, gear and handbrake input turned into body motion. The pose is
// sampled at a frame chosen by the steering input, the car's steering wheel turns with it, and
// the right hand travels between the wheel, the gear lever and the handbrake along the in-car
// transition curves, shaped by the settings file "Misc\ZK_Driver.ini".
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/Signals.h>

#include <cstdint>
#include <vector>

#include "characters/CharacterIncarPeople.h"

class CSettingsFile;

class CZK_CharacterDriver : public CZK_CharacterIncarPeople {
 public:
  static constexpr const char* kSettingsPath = "Misc\\ZK_Driver.ini";
  static constexpr int kControlConnectionCount = 4;

  // Refused with a CZK_Exception when no car exists yet: the wheel, seat and hand points are
  // the car's.
  CZK_CharacterDriver(const std::string& name, const CZK_RuntimeContext& runtime);
  ~CZK_CharacterDriver() override;

  void OnBonesBound() override { LoadDriverSettings(); }
  bool PrepareArms() override;
  void OnTransitionStarted() override;
  void GetSeatOffset(Vector3* out) override;
  void BlendHandPoses() override;
  void AnimateFingers() override;

  // Reads the settings file and rebuilds the hand poses, keys and curves of every transition
  // the car allows; leaves the skeleton in the straight-ahead pose.
  void LoadDriverSettings();

  // Car-control handler: steering, gear changes and the handbrake.
  void OnCarControl(const CSigCarControl& record);

  // The handbrake value last acted upon, shared by every driver of the process.
  static float lastHandbrake;

  float GetSteerAngle() const { return steerAngle; }
  float GetSampleTime() const { return sampleTime; }
  float GetMaxSteerAngle() const { return maxSteerAngle; }
  int32_t GetNormalFrame() const { return normalFrame; }
  int32_t GetNoGearLever() const { return noGearLever; }
  const Vector3& GetGripOffset() const { return gripOffset; }
  const CZK_TransitionCurve* GetHandCurve(int transition) const { return handCurves[transition]; }
  const CZK_TransitionCurve* GetElbowCurve(int transition) const { return elbowCurves[transition]; }

 private:
  // Hand poses saved from the driver's animation: B_hand R and B_hand rotation R at one frame.
  struct SHandPose {
    Matrix hand;
    Matrix twist;
  };
  using ControlConnection = CConnection<CZK_CharacterDriver, const CSigCarControl&>;

  // Evaluates the skeleton at an animation frame.
  void EvaluateAtFrame(int32_t frame);
  void SavePose(SHandPose& pose) const;
  // Fills curve slot `index` and returns it.
  CZK_TransitionCurve* BuildCurve(int index, CZK_TransitionKey* start, CZK_TransitionKey* end,
                                  CZK_Node* moved, float length, int32_t fromFrame, int32_t toFrame,
                                  Matrix* poseFrom, Matrix* poseTo);
  void ReleaseHold() { ring[writeIndex].hold = 0; }

  CZK_TransitionKey handStart;
  CZK_TransitionKey elbowStart;
  Vector3 gripOffset = {0.0f, 0.0f, 0.0f};
  CZK_TransitionKey handGrip;
  CZK_TransitionKey elbowGrip;
  float steerAngle = 0.0f;
  float steerFraction = 0.0f;
  float sampleTime = 0.0f;
  float maxSteerAngle = 0.0f;
  int32_t normalFrame = 0;
  int32_t noGearLever = 0;
  SHandPose gearPose = {};
  SHandPose gearPushedPose = {};
  SHandPose handbrakePose = {};
  SHandPose handbrakePulledPose = {};
  CZK_TransitionCurve curveStorage[10];
  CZK_TransitionKey keyStorage[12];
  ControlConnection* controlConnections[kControlConnectionCount] = {};
  // The fingers' subtrees as flat lists (see CZK_EvaluationPlan): each child of the right hand,
  // then each of the left, sampled at the finger frame under its hand every update.
  std::vector<CZK_EvaluationPlan> fingerPlans;
};
