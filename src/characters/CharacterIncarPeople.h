// People in the rally car: seated at a seat of the moving car, scaled from millimetres to metres,
// swaying with the stage's bumps, and keeping their hands in place through arm IK. The driver
// also plays queued hand trips (wheel to gear lever, handbrake, back) along Hermite curves.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/Signals.h>

#include <cstdint>
#include <initializer_list>

#include "characters/Character.h"
#include "scenegraph/IKChain.h"

class CZK_CharacterCar;

// One end of a transition curve: a point with the tangents that leave and reach it.
struct CZK_TransitionKey {
  Vector3 position = {0.0f, 0.0f, 0.0f};
  Vector3 inTangent = {0.0f, 0.0f, 0.0f};
  Vector3 outTangent = {0.0f, 0.0f, 0.0f};
};

// A cubic Hermite path from startKey (progress 0) to endKey (progress 1), written into the
// translation row of one bone, with the hand poses and animation frames that go with it.
struct CZK_TransitionCurve {
  CZK_TransitionKey* startKey = nullptr;
  CZK_TransitionKey* endKey = nullptr;
  float* output = nullptr;  // three floats: a bone's translation row
  float length = 0.0f;      // seconds from progress 0 to 1
  int32_t startFrame = 0;
  int32_t frameCount = 0;
  Matrix* poseFrom = nullptr;
  Matrix* poseTo = nullptr;
};

// The point of the curve at t (0 at the start key, 1 at the end key).
Vector3 EvaluateTransitionCurve(const CZK_TransitionCurve& curve, float t);

// One queued trip: which curve pair, played backwards or not, and whether to stay at its end.
struct CZK_ArmTransition {
  uint32_t transition = 0;
  uint32_t reverse = 0;
  uint32_t hold = 0;
};

class CZK_CharacterIncarPeople : public CZK_CharacterHuman {
 public:
  static constexpr int kBoneCount = 13;
  enum EBone {
    kSpine01,
    kSpine02,
    kHead,
    kUpperArmL,
    kUpperArmR,
    kLowerArmR,
    kHandRotationR,
    kLowerArmL,
    kHandRotationL,
    kHandL,
    kHandR,
    kThighL,
    kThighR
  };
  static const char* const kBoneNames[kBoneCount];

  static constexpr uint32_t kRingSize = 20;
  static constexpr int kTransitionCount = 7;
  static constexpr float kPeopleScale = 0.001f;
  static constexpr float kShakeLimit = 0.2f;

  // Queue states.
  static constexpr int32_t kQueueIdle = 0;
  static constexpr int32_t kQueuePlaying = 1;  // more entries wait behind the one playing
  static constexpr int32_t kQueueLast = 2;     // the last queued entry is playing

  // Arm targets the driver distinguishes; any other value is the steering wheel.
  static constexpr int32_t kTargetGear = 1;
  static constexpr int32_t kTargetHandbrake = 3;

  CZK_CharacterIncarPeople(const std::string& name, const CZK_RuntimeContext& runtime);
  // Slots 0 to 4 as for every character, then the in-car ones.
  ~CZK_CharacterIncarPeople() override;
  void Update(float time) override;
  void OnAnimationAdded() override;
  float GetRemainingTime() override { return 7.0f; }
  virtual void OnBonesBound() {}
  virtual bool PrepareArms() { return false; }
  virtual void OnTransitionStarted() {}
  virtual void GetSeatOffset(Vector3* out) { *out = {0.0f, 0.0f, 0.0f}; }
  virtual void BlendHandPoses() {}
  virtual void AnimateFingers() {}

  // Finds the thirteen bones, lets the subclass pose the skeleton (slot 5), then rebuilds both
  // arm chains and measures them in that pose.
  void BindBones();

  // Transition queue.
  void Enqueue(uint32_t transition, uint32_t reverse, uint32_t hold);
  void SetTarget(int32_t target);
  void QueueRoundTrip(uint32_t a, uint32_t b);
  void Kick();
  void Advance();
  bool Step(float dt);

  // Bends spine, head and upper arms and shifts the body by the shake record of `person`, under
  // the evaluated skeleton at `time`, leaving both hands where they were.
  void ApplyShake(uint32_t person, float time);
  // The same, each change followed at once by its subtree's update, as the steps read: what
  // ApplyShake does for a tree whose updates it cannot defer (see
  // CZK_EvaluationPlan::BeginChanges).
  void ApplyShakeStepByStep(uint32_t person, float time);
  // Re-solves the right arm, then the left, towards the hands' current positions.
  void SolveArms();

  // Signal handlers.
  void OnCarGeneralState(const CSigCarGeneralState& record);
  void OnIncarShake(const CSigIncarShake& record);

  CZK_Node* GetBone(int index) const { return bones[index]; }
  const CZK_IKChain& GetRightArm() const { return rightArm; }
  const CZK_IKChain& GetLeftArm() const { return leftArm; }
  int32_t GetQueueState() const { return queueState; }
  const CZK_ArmTransition& GetRingEntry(uint32_t index) const { return ring[index % kRingSize]; }
  uint32_t GetReadIndex() const { return readIndex; }
  uint32_t GetWriteIndex() const { return writeIndex; }
  int32_t GetArmTarget() const { return armTarget; }
  float GetProgress() const { return progress; }
  const CSigIncarShake& GetShake(uint32_t person) const { return shake[person & 1u]; }
  const Matrix& GetRotationMatrix() const { return rotation; }
  const Vector3& GetPosition() const { return position; }

  // The car the in-car people sit in (the most recently created one), or null.
  CZK_CharacterCar* CurrentCar() const {
    return runtime.currentCar != nullptr ? *runtime.currentCar : nullptr;
  }

 protected:
  // Returns name, or throws a CZK_Exception naming `who` when no car exists yet: the driver and
  // co-driver take their seat, wheel and hand points from it. Called in the subclasses'
  // initialiser lists, so a refused person never reaches the node registry or the hub.
  static const std::string& RequireCar(const std::string& name, const CZK_RuntimeContext& runtime,
                                       const char* who);
  // Solves one arm; bones missing from the skeleton leave it as it is.
  void SolveArm(CZK_IKChain& chain, CZK_Node* upper, CZK_Node* lower, CZK_Node* twist,
                CZK_Node* hand);
  bool HasBones(std::initializer_list<int> indices) const;

  CZK_Node* bones[kBoneCount] = {};
  CZK_IKChain rightArm;
  CZK_IKChain leftArm;
  int32_t queueState = kQueueIdle;
  CZK_ArmTransition ring[kRingSize];
  uint32_t readIndex = 0;
  uint32_t writeIndex = 0;
  int32_t armTarget = 0;
  float progress = 0.0f;
  CZK_TransitionCurve* handCurves[kTransitionCount] = {};
  CZK_TransitionCurve* elbowCurves[kTransitionCount] = {};
  using CarStateConnection = CConnection<CZK_CharacterIncarPeople, const CSigCarGeneralState&>;
  using ShakeConnection = CConnection<CZK_CharacterIncarPeople, const CSigIncarShake&>;
  CarStateConnection* carStateConnection = nullptr;
  ShakeConnection* shakeConnection = nullptr;
  CSigIncarShake shake[2] = {};

 private:
  // Bad input already reported once, so that a host repeating it does not flood the log.
  static constexpr uint32_t kReportedCarState = 1;
  static constexpr uint32_t kReportedShake = 2;
  uint32_t reportedInput = 0;

  template <class Updates>
  void Shake(uint32_t person, Updates& updates);
};
