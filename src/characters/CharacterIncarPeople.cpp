#include "characters/CharacterIncarPeople.h"

#include <cmath>
#include <string>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/HostInput.h"
#include "foundation/Logger.h"
#include "scenegraph/Node.h"
#include "signals/Hub.h"

const char* const CZK_CharacterIncarPeople::kBoneNames[kBoneCount] = {
    "B_spine01",     "B_spine02",         "B_head",        "B_upper arm L",     "B_upper arm R",
    "B_lower arm R", "B_hand rotation R", "B_lower arm L", "B_hand rotation L", "B_hand L",
    "B_hand R",      "B_thigh L",         "B_thigh R"};

namespace {

using NRQLib2::NLogger::GetLogger;

// Sway limits per person (0 driver, 1 co-driver) and entry (the five bent bones in the order of
// the shake record, then the body shift).
struct SShakeLimit {
  Vector3 upper;
  Vector3 lower;
};
constexpr float kL = CZK_CharacterIncarPeople::kShakeLimit;
constexpr SShakeLimit kLimitEntry = {{kL, kL, kL}, {-kL, -kL, -kL}};
constexpr SShakeLimit kShakeLimits[2][6] = {
    {kLimitEntry, kLimitEntry, kLimitEntry, kLimitEntry, kLimitEntry, kLimitEntry},
    {kLimitEntry, kLimitEntry, kLimitEntry, kLimitEntry, kLimitEntry, kLimitEntry}};

// A component outside the limits is held at the nearer one; a NaN from the host counts as no
// sway at all rather than being carried into the skeleton.
float ClampShake(float v, float lower, float upper) {
  if (std::isnan(v)) return 0.0f;
  return v < lower ? lower : (v > upper ? upper : v);
}

Vector3 ClampShake(const Vector3& v, const SShakeLimit& limit) {
  return {ClampShake(v.x, limit.lower.x, limit.upper.x),
          ClampShake(v.y, limit.lower.y, limit.upper.y),
          ClampShake(v.z, limit.lower.z, limit.upper.z)};
}

// Turns the bone so that its X axis points along x, keeping its Y axis as close to the old one
// as the new X allows; the translation row becomes `at`.
void AimBone(CZK_Node* bone, const Vector3& x, const Vector3& at) {
  Matrix& m = bone->matrix;
  const Vector3 z = Vec3Normalized(Vec3Cross(x, MatrixGetRow(m, 1)));
  MatrixSetRow(m, 0, x);
  MatrixSetRow(m, 1, Vec3Cross(z, x));
  MatrixSetRow(m, 2, z);
  MatrixSetRow(m, 3, at);
}

// Pre-order depth-first search below root (the root itself is not compared): each child in
// order, then its subtree, before the next child.
CZK_Node* FindBelow(CZK_Node* root, const char* wanted) {
  std::vector<CZK_Node*> stack(root->children.rbegin(), root->children.rend());
  while (!stack.empty()) {
    CZK_Node* node = stack.back();
    stack.pop_back();
    if (node->name == wanted) return node;
    stack.insert(stack.end(), node->children.rbegin(), node->children.rend());
  }
  return nullptr;
}

}  // namespace

Vector3 EvaluateTransitionCurve(const CZK_TransitionCurve& curve, float t) {
  const float t2 = t * t, t3 = t2 * t;
  const CZK_TransitionKey& a = *curve.startKey;
  const CZK_TransitionKey& b = *curve.endKey;
  return a.position * (2 * t3 - 3 * t2 + 1) + b.position * (3 * t2 - 2 * t3) +
         a.outTangent * (t3 - 2 * t2 + t) + b.inTangent * (t3 - t2);
}

CZK_CharacterIncarPeople::CZK_CharacterIncarPeople(const std::string& characterName,
                                                   const CZK_RuntimeContext& context)
    : CZK_CharacterHuman(characterName, context),
      carStateConnection(
          new CarStateConnection(this, &CZK_CharacterIncarPeople::OnCarGeneralState)),
      shakeConnection(new ShakeConnection(this, &CZK_CharacterIncarPeople::OnIncarShake)) {
  LinkIntoHub(carStateConnection, zk_hub::kCarGeneralStateList);
  LinkIntoHub(shakeConnection, zk_hub::kIncarShakeList);
}

CZK_CharacterIncarPeople::~CZK_CharacterIncarPeople() {
  delete carStateConnection;  // unlinks it from the hub
  delete shakeConnection;
}

const std::string& CZK_CharacterIncarPeople::RequireCar(const std::string& characterName,
                                                        const CZK_RuntimeContext& context,
                                                        const char* who) {
  if (context.currentCar == nullptr || *context.currentCar == nullptr)
    throw CZK_Exception(std::string("[") + who + "] character \"" + characterName +
                        "\": a car is needed first; create the car character before the people "
                        "in it, who take their seat and hand points from it");
  return characterName;
}

void CZK_CharacterIncarPeople::BindBones() {
  std::string missing;
  for (int i = 0; i < kBoneCount; ++i) {
    bones[i] = FindBelow(root, kBoneNames[i]);
    if (bones[i] == nullptr)
      missing.append(missing.empty() ? "\"" : ", \"").append(kBoneNames[i]) += '"';
  }
  // The updates skip whatever needs a missing bone; saying so once, here, keeps the frames quiet.
  if (!missing.empty())
    GetLogger().SelectLevel(4) << "[CZK_CharacterIncarPeople::BindBones] character \"" << name
                               << "\" has no bone " << missing
                               << "; the parts of the in-car update that need it are skipped"
                               << std::endl;
  OnBonesBound();
  CZK_IKChain* chains[2] = {&rightArm, &leftArm};
  const int joints[2][3] = {{kUpperArmR, kLowerArmR, kHandR}, {kUpperArmL, kLowerArmL, kHandL}};
  for (int c = 0; c < 2; ++c) {
    chains[c]->SetRootJoint(new CZK_IKJointLink{bones[joints[c][0]]});
    chains[c]->SetMiddleJoint(new CZK_IKJointLink{bones[joints[c][1]]});
    chains[c]->SetEndJoint(new CZK_IKJointLink{bones[joints[c][2]]});
    chains[c]->MeasureLengths();
  }
}

void CZK_CharacterIncarPeople::OnAnimationAdded() {
  BindBones();
  SetScale(kPeopleScale, kPeopleScale, kPeopleScale);
}

bool CZK_CharacterIncarPeople::HasBones(std::initializer_list<int> indices) const {
  for (int i : indices)
    if (bones[i] == nullptr) return false;
  return true;
}

// ---- Following the car and swaying with it ----------------------------------------------------

void CZK_CharacterIncarPeople::OnCarGeneralState(const CSigCarGeneralState& record) {
  const Quaternion& q = record.orientation;
  const Vector3 carPosition = {record.position.x, record.position.z, record.position.y};
  // A record with a non-finite value would carry NaN into every matrix the host reads; the
  // person stays where the last good record put them.
  if (!IsFinite(carPosition) || !IsFinite(q)) {
    if ((reportedInput & kReportedCarState) == 0) {
      reportedInput |= kReportedCarState;
      GetLogger().SelectLevel(4) << "[CZK_CharacterIncarPeople::OnCarGeneralState] character \""
                                 << name << "\" ignores car states with a non-finite value"
                                 << std::endl;
    }
    return;
  }
  D3DXMatrixRotationQuaternion(&rotation, &q);
  rotation.m[12] = rotation.m[13] = rotation.m[14] = 0.0f;
  Vector3 seat, turned;
  GetSeatOffset(&seat);
  D3DXVec3TransformCoord(&turned, &seat, &rotation);
  SetPosition(carPosition + turned);
}

void CZK_CharacterIncarPeople::OnIncarShake(const CSigIncarShake& record) {
  if (record.person > 1) {
    if ((reportedInput & kReportedShake) == 0) {
      reportedInput |= kReportedShake;
      GetLogger().SelectLevel(4) << "[CZK_CharacterIncarPeople::OnIncarShake] character \"" << name
                                 << "\" ignores a shake record for person " << record.person
                                 << " (only 0 and 1 exist)" << std::endl;
    }
    return;
  }
  shake[record.person] = record;
}

// The shake's steps; `updates` gives each changed bone's matrix as it stands (Current) and
// updates the bone's subtree after the change (Changed).
template <class Updates>
void CZK_CharacterIncarPeople::Shake(uint32_t person, Updates& updates) {
  const CSigIncarShake& record = shake[person & 1u];
  const SShakeLimit* limits = kShakeLimits[person & 1u];
  CZK_Node* handL = bones[kHandL];
  CZK_Node* handR = bones[kHandR];
  const Matrix savedL = handL != nullptr ? handL->matrix : g_IdentityMatrix;
  const Matrix savedR = handR != nullptr ? handR->matrix : g_IdentityMatrix;

  const Vector3 shift = ClampShake(record.bodyShift, limits[5]);
  for (int index : {kSpine01, kThighL, kThighR}) {
    if (bones[index] == nullptr) continue;
    Matrix& m = updates.Current(index);
    m.m[12] += shift.x;
    m.m[13] += shift.y;
    m.m[14] += shift.z;
    updates.Changed(index);
  }

  for (int k = 0; k < 5; ++k) {
    if (bones[k] == nullptr) continue;
    const Vector3 v = ClampShake(record.shakeVectors[k].value, limits[k]);
    Matrix& m = updates.Current(k);
    // The record's second and third words swap places: the host's axes are not the skeleton's.
    const Vector3 x = Vec3Normalized(MatrixGetRow(m, 0) + Vector3{v.x, v.z, v.y});
    const Vector3 z = Vec3Normalized(Vec3Cross(x, MatrixGetRow(m, 1)));
    MatrixSetRow(m, 0, x);
    MatrixSetRow(m, 1, Vec3Cross(z, x));
    MatrixSetRow(m, 2, z);
    updates.Changed(k);
  }

  const Matrix* saved[2] = {&savedL, &savedR};
  const int hands[2] = {kHandL, kHandR};
  for (int h = 0; h < 2; ++h) {
    if (bones[hands[h]] == nullptr) continue;
    updates.Current(hands[h]) = *saved[h];
    updates.Changed(hands[h]);
  }
}

namespace {
// Each change followed at once by the update of the bone's subtree.
struct SStepByStep {
  CZK_Node* const* bones;
  float time;
  Matrix& Current(int k) { return bones[k]->matrix; }
  void Changed(int k) {
    CZK_Node* node = bones[k];
    const size_t count = node->children.size();
    for (size_t i = 0; i < count; ++i) node->children[i]->Update(time, &node->matrix);
  }
};
// The subtrees updated once, after the last change, as a round of changes of the plan.
struct SDeferred {
  CZK_EvaluationPlan& plan;
  Matrix& Current(int k) { return plan.Current(static_cast<size_t>(k)); }
  void Changed(int k) { plan.Changed(static_cast<size_t>(k)); }
};
}  // namespace

void CZK_CharacterIncarPeople::ApplyShakeStepByStep(uint32_t person, float time) {
  SStepByStep updates{bones, time};
  Shake(person, updates);
}

void CZK_CharacterIncarPeople::ApplyShake(uint32_t person, float time) {
  // The skeleton stands evaluated under the identity at time (both callers run the plan right
  // before).
  if (!plan.BeginChanges(root, &g_IdentityMatrix, time, bones, kBoneCount))
    return ApplyShakeStepByStep(person, time);
  SDeferred updates{plan};
  Shake(person, updates);
  plan.FinishChanges();
}

// ---- Arms -------------------------------------------------------------------------------------

void CZK_CharacterIncarPeople::SolveArm(CZK_IKChain& chain, CZK_Node* upper, CZK_Node* lower,
                                        CZK_Node* twist, CZK_Node* hand) {
  if (upper == nullptr || lower == nullptr || twist == nullptr || hand == nullptr) return;
  const Vector3 p = MatrixGetTranslation(upper->matrix);
  const Vector3 h = MatrixGetTranslation(hand->matrix) - p;
  const Vector3 e0 = MatrixGetTranslation(lower->matrix) - p;
  Vector3 e;
  if (!chain.Solve(&h, &e0, &e)) return;
  AimBone(upper, Vec3Normalized(e), p);
  const Vector3 forearm = Vec3Normalized(h - e);
  AimBone(lower, forearm, p + e);
  AimBone(twist, forearm, p + e);
}

void CZK_CharacterIncarPeople::SolveArms() {
  SolveArm(rightArm, bones[kUpperArmR], bones[kLowerArmR], bones[kHandRotationR], bones[kHandR]);
  SolveArm(leftArm, bones[kUpperArmL], bones[kLowerArmL], bones[kHandRotationL], bones[kHandL]);
}

// ---- Transition queue -------------------------------------------------------------------------

void CZK_CharacterIncarPeople::Enqueue(uint32_t transition, uint32_t reverse, uint32_t hold) {
  writeIndex = (writeIndex + 1) % kRingSize;
  ring[writeIndex] = {transition, reverse, hold};
}

void CZK_CharacterIncarPeople::SetTarget(int32_t target) {
  armTarget = target;
  writeIndex = (writeIndex + kRingSize - 1) % kRingSize;
}

void CZK_CharacterIncarPeople::QueueRoundTrip(uint32_t a, uint32_t b) {
  SetTarget(static_cast<int32_t>(a));
  const bool restart = queueState == kQueueIdle || queueState == kQueueLast;
  if (restart) Enqueue(a, 0, 0);
  Enqueue(b, 0, 0);
  Enqueue(b, 1, 0);
  Enqueue(a, 1, 0);
  if (restart) Kick();
}

void CZK_CharacterIncarPeople::Kick() {
  if (queueState == kQueueIdle || queueState == kQueueLast) Advance();
}

void CZK_CharacterIncarPeople::Advance() {
  if (ring[readIndex].hold != 0) return;
  // An interrupted last entry is replaced by its mirror image, continuing from the same point.
  if (queueState == kQueueLast) progress = 1.0f - progress;
  if (queueState == kQueuePlaying) readIndex = (readIndex + 1) % kRingSize;
  OnTransitionStarted();
  queueState = readIndex == writeIndex ? kQueueLast : kQueuePlaying;
}

bool CZK_CharacterIncarPeople::Step(float dt) {
  if (queueState == kQueueIdle) return false;
  if (progress > 1.0f) progress = 1.0f;
  const CZK_ArmTransition& e = ring[readIndex];
  const float p = e.reverse != 0 ? 1.0f - progress : progress;
  const uint32_t t = e.transition < kTransitionCount ? e.transition : 0;
  const CZK_TransitionCurve* hand = handCurves[t];
  const CZK_TransitionCurve* elbow = elbowCurves[t];
  for (const CZK_TransitionCurve* curve : {hand, elbow}) {
    if (curve == nullptr || curve->output == nullptr) continue;
    const Vector3 at = EvaluateTransitionCurve(*curve, p);
    curve->output[0] = at.x;
    curve->output[1] = at.y;
    curve->output[2] = at.z;
  }
  if (progress < 1.0f) {
    // A transition that was never built ends at once rather than stalling the queue.
    progress = hand != nullptr ? progress + dt / hand->length : 1.0f;
  } else if (queueState == kQueuePlaying) {
    progress = 0.0f;
    Advance();
  } else if (e.hold == 0) {
    progress = 0.0f;
    queueState = kQueueIdle;
    armTarget = -1;
  }
  return true;
}

// ---- The frame --------------------------------------------------------------------------------

void CZK_CharacterIncarPeople::Update(float time) {
  const float dt = time - lastTime;
  lastTime = time;
  const bool posed = PrepareArms();
  BlendHandPoses();
  const bool moved = Step(dt);
  if (posed || moved) SolveArms();
  AnimateFingers();
  // S·R·T afresh: a matrix the host gave with SetMatrix does not seat a person in the car.
  Matrix sr, placement;
  D3DXMatrixMultiply(&sr, &scale, &rotation);
  D3DXMatrixMultiply(&placement, &sr, &translation);
  for (CZK_Node* node : placedNodes) node->matrix = placement;
}
