#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "InCarTestSupport.h"
#include "controllers/ConstraintControllers.h"
#include "interface/Zelkar.h"

namespace {

// An in-car person posed at time 0 (its chains are measured there) whose transitions 1 and 2
// move the right hand along straight curves (zero tangents): 1 from (0,0,0) to (10,0,0) in
// 0.1 s, 2 from there to (10,5,0) in 0.5 s.
class CQueuedPerson : public CZK_CharacterIncarPeople {
 public:
  using CZK_CharacterIncarPeople::CZK_CharacterIncarPeople;
  void OnBonesBound() override {
    root->Update(0.0f, &g_IdentityMatrix);
    keys[1].position = {10, 0, 0};
    keys[2].position = {10, 5, 0};
    float* hand = bones[kHandR] ? &bones[kHandR]->matrix.m[12] : nullptr;
    curves[1] = {&keys[0], &keys[1], hand, 0.1f, 0, 0, nullptr, nullptr};
    curves[2] = {&keys[1], &keys[2], hand, 0.5f, 0, 0, nullptr, nullptr};
    handCurves[1] = &curves[1];
    handCurves[2] = &curves[2];
  }
  void OnTransitionStarted() override { ++started; }
  Vector3 Hand() const { return MatrixGetTranslation(bones[kHandR]->matrix); }
  int started = 0;

 private:
  CZK_TransitionKey keys[3];
  CZK_TransitionCurve curves[3];
};

class InCarPeopleTest : public InCarTest {
 protected:
  CQueuedPerson* Person(const std::vector<std::string>& without = {}) {
    std::string name = std::to_string(++people);
    return Seat(new CQueuedPerson(name.insert(0, 1, 'P'), Runtime()), without);
  }
  int people = 0;
};

}  // namespace

// A round trip on an idle queue plays four entries and ends idle; the same call during the last
// entry turns that entry back where the hand is.
TEST_F(InCarPeopleTest, RoundTripPlaysFourEntriesAndTurnsBackDuringTheLast) {
  CQueuedPerson* p = Person();
  p->QueueRoundTrip(1, 2);
  EXPECT_EQ(p->GetArmTarget(), 1);
  std::vector<std::pair<uint32_t, uint32_t>> played;
  bool checkedProgress = false;
  for (int frame = 0; frame < 200 && p->GetQueueState() != 0; ++frame) {
    const CZK_ArmTransition& e = p->GetRingEntry(p->GetReadIndex());
    if (played.size() != static_cast<size_t>(p->started))
      played.emplace_back(e.transition, e.reverse);
    p->Step(0.02f);
    // Transition 2 lasts 0.5 s: 0.04 per 20 ms; the third step writes the point at 0.08,
    // y = 5 (3t² − 2t³) = 0.09088 on the way to (10, 5, 0).
    if (played.size() == 2 && p->GetProgress() > 0.119f && p->GetProgress() < 0.121f) {
      ExpectVectorNear(p->Hand(), {10, 0.09088f, 0});
      checkedProgress = true;
    }
  }
  EXPECT_TRUE(checkedProgress);
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{1, 0}, {2, 0}, {2, 1}, {1, 1}};
  EXPECT_EQ(played, expected);
  EXPECT_EQ(p->GetArmTarget(), -1);
  ExpectVectorNear(p->Hand(), {0, 0, 0});  // back at the start of transition 1
  EXPECT_FALSE(p->Step(0.02f));

  p->QueueRoundTrip(1, 2);
  // Play until the last entry (1 reverse: from (10,0,0) home) is half done.
  while (!(p->GetQueueState() == 2 && p->GetProgress() >= 0.5f)) p->Step(0.01f);
  const Vector3 before = p->Hand();
  p->Step(0.01f);
  const Vector3 atCall = p->Hand();
  p->QueueRoundTrip(1, 2);
  const CZK_ArmTransition& e = p->GetRingEntry(p->GetReadIndex());
  EXPECT_EQ(e.transition * 10 + e.reverse, 10u);  // the entry playing is now 1 forward
  // One more step towards home is allowed (no further than a step), then it heads out again.
  p->Step(0.01f);
  EXPECT_LE(Vec3Length(atCall - p->Hand()), 1.01f * Vec3Length(atCall - before));
  p->Step(0.01f);
  p->Step(0.01f);
  EXPECT_GT(p->Hand().x, atCall.x);
}

TEST_F(InCarPeopleTest, ShakeIsClampedSwappedAndLeavesTheHandsInPlace) {
  // B_spine01 has identity axes, so its X becomes normalize((1,0,0) + (a, c, b)) with (a, b, c)
  // vector 0 clamped to ±0.2, and its Z normalize(X × (0,1,0)); B_spine02 hangs one unit along
  // B_spine01's Z; the thighs take the clamped body shift.
  const float s = 0.9805807f;  // 1 / √1.04
  // clang-format off
  const struct {
    Vector3 bend, shift, xAxis, spine01, spine02;
  } cases[] = {
      {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 2}},
      {{5, 5, 5}, {5, 5, 5}, {0.973329f, 0.162221f, 0.162221f}, {0.2f, 0.2f, 1.2f}, {0.035602f, 0.2f, 2.186396f}},
      {{0, 0, 5}, {0, 0, 0}, {s, 0.2f * s, 0}, {0, 0, 1}, {0, 0, 2}},  // third word to y
      {{0, -5, 0}, {0, 0, 0}, {s, 0, -0.2f * s}, {0, 0, 1}, {0.2f * s, 0, 1 + s}},  // second to z
      {{0, 0, 0}, {5, 5, -5}, {1, 0, 0}, {0.2f, 0.2f, 0.8f}, {0.2f, 0.2f, 1.8f}},
      {{NAN, NAN, NAN}, {NAN, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 2}},  // NaN: no sway
  };
  // clang-format on
  for (const auto& c : cases) {
    CQueuedPerson* p = Person();
    CSigIncarShake record{};
    record.person = 1;
    for (auto& v : record.shakeVectors) v.value = c.bend;
    record.bodyShift = c.shift;
    Deliver(zk_hub::kIncarShakeList, record);
    p->GetRoot()->Update(0.0f, &g_IdentityMatrix);
    const Matrix handL = *p->GetBone(p->kHandL)->GetMatrix(),
                 handR = *p->GetBone(p->kHandR)->GetMatrix();
    const Vector3 fingerR = At(p->GetBone(p->kHandR)->children[0]);
    p->ApplyShake(0, 0.0f);  // person 0's record is still zero: nothing moves
    ExpectVectorNear(At(p->GetBone(p->kSpine01)), {0, 0, 1});
    p->ApplyShake(1, 0.0f);
    ExpectVectorNear(Axis(p->GetBone(p->kSpine01), 0), c.xAxis);
    for (int k = 0; k < 5; ++k)  // the others inherit the bend before their own; all orthonormal
      ExpectVectorNear(Vec3Cross(Axis(p->GetBone(k), 0), Axis(p->GetBone(k), 1)),
                       Axis(p->GetBone(k), 2));
    ExpectVectorNear(At(p->GetBone(p->kSpine01)), c.spine01);
    ExpectVectorNear(At(p->GetBone(p->kSpine02)), c.spine02);
    ExpectVectorNear(At(p->GetBone(p->kThighR)), c.spine01 - Vector3{0.5f, 0, 1});
    EXPECT_EQ(std::memcmp(&handL, p->GetBone(p->kHandL)->GetMatrix(), sizeof(Matrix)), 0);
    EXPECT_EQ(std::memcmp(&handR, p->GetBone(p->kHandR)->GetMatrix(), sizeof(Matrix)), 0);
    ExpectVectorNear(At(p->GetBone(p->kHandR)->children[0]), fingerR);
  }
}

// ApplyShake updates the changed bones' subtrees once, after the last change; the steps taken
// literally (each change followed by its subtree's update) must give every node the same matrix
// to the bit, at moving times and with bends that change every bone the steps read.
static void ExpectDeferredShakeMatchesSteps(CZK_CharacterIncarPeople* p, const std::string& label,
                                            bool defers = true) {
  CZK_Node* bones[CZK_CharacterIncarPeople::kBoneCount];
  for (int k = 0; k < p->kBoneCount; ++k) bones[k] = p->GetBone(k);
  CZK_EvaluationPlan probe;  // whether the tree is one the shake defers
  EXPECT_EQ(probe.BeginChanges(p->GetRoot(), &g_IdentityMatrix, 0.0f, bones, p->kBoneCount), defers)
      << label;
  std::vector<CZK_Node*> nodes = {p->GetRoot()};
  for (size_t i = 0; i < nodes.size(); ++i)
    nodes.insert(nodes.end(), nodes[i]->children.begin(), nodes[i]->children.end());
  for (int round = 0; round < 6; ++round) {
    CSigIncarShake record{};
    record.person = static_cast<uint32_t>(round & 1);
    for (int k = 0; k < 5; ++k)
      record.shakeVectors[k].value = {0.05f * static_cast<float>(k - round), 0.1f, -0.03f * k};
    record.bodyShift = {0.1f, -0.05f * static_cast<float>(round), 0.02f};
    p->OnIncarShake(record);
    const float time = 0.3f + 1.7f * static_cast<float>(round);
    std::vector<Matrix> ways[2];
    for (std::vector<Matrix>& way : ways) {
      // The shake reuses what the character's plan sampled when the plan evaluated the tree
      // (even rounds), and evaluates each node anew otherwise.
      if (&way == ways && round % 2 == 0)
        p->GetPlan().Run(p->GetRoot(), time, &g_IdentityMatrix);
      else
        p->GetRoot()->Update(time, &g_IdentityMatrix);
      if (&way == ways)
        p->ApplyShake(record.person, time);
      else
        p->ApplyShakeStepByStep(record.person, time);
      for (CZK_Node* n : nodes) way.push_back(n->matrix);
    }
    // To the bit, but for the sign of a zero in the last column: the plan leaves out the terms
    // of an affine local matrix's last column, which are zero.
    for (size_t i = 0; i < nodes.size(); ++i)
      for (int e = 0; e < 16; ++e)
        EXPECT_TRUE(std::memcmp(&ways[0][i].m[e], &ways[1][i].m[e], sizeof(float)) == 0 ||
                    (ways[0][i].m[e] == 0.0f && ways[1][i].m[e] == 0.0f && e % 4 == 3))
            << label << " round " << round << " node " << nodes[i]->name << " element " << e;
  }
}

TEST_F(InCarPeopleTest, DeferredShakeMatchesTheStepByStepUpdates) {
  CQueuedPerson* p = Person();
  // Two nodes down from the head: a subtree below a bone that holds no bone itself.
  auto* head = static_cast<CZK_NodePRS*>(p->GetBone(p->kHead));
  CZK_NodePRS* above = head;
  for (int depth = 0; depth < 2; ++depth) {
    auto* node = new CZK_NodePRS("below head", 99 + depth, above->id);
    node->AddAnimObject(head->animObjects[0]);
    above->AddChild(node);
    above = node;
  }
  ExpectDeferredShakeMatchesSteps(p, "seated skeleton");
  // A node below the head looking at the left hand, which the shake moves: its order of
  // evaluation would show, so the shake updates step by step.
  auto* lookAt = new CZK_AnimationControllerRotationLookAt("eye::rot");
  const int32_t hand = static_cast<CZK_NodePRS*>(p->GetBone(p->kHandL))->animObjects[0];
  lookAt->AddTarget({"hand", 1.0f, hand, kTargetTransform});
  auto* eye = new CZK_AnimationControllerPRS("eye::PRS");
  eye->SetRotation(lookAt);
  Controllers().AddController(lookAt);
  Controllers().AddController(eye);
  auto* eyeNode = new CZK_NodePRS("eye", 120, head->id);
  eyeNode->AddAnimObject(Controllers().CreateTransformObject("eye::PRS"));
  head->AddChild(eyeNode);
  ExpectDeferredShakeMatchesSteps(p, "look-at at the hand", false);
#ifdef ZELKAR_ASSET_DIR
  // The shipped crew: Euler tracks, fingers, and a look-at below the head.
  const std::string samples = ZELKAR_ASSET_DIR "/samples/";
  CZK_Zelkar facade;
  facade.CreateCharacter(samples + "rally_car.zkh", "Car", "Car");
  for (const char* kind : {"Driver", "CoDriver"}) {
    const std::string scene = kind[0] == 'D' ? "driver_steer" : "codriver_notes";
    facade.CreateHumanCharacter(samples + "human_skeleton.zkh", "", kind, kind);
    facade.LoadAnimationScene(samples + scene + ".zka", scene);
    facade.ResolveSceneTargets(scene);
    facade.AddAnimation(kind, scene, 0);
    const int index = facade.GetCharacterIndex(kind);
    facade.SetAnimation(index, 0, 0);
    ExpectDeferredShakeMatchesSteps(
        static_cast<CZK_CharacterIncarPeople*>(Characters().GetCharacter(index)), kind);
  }
#endif
}

TEST_F(InCarPeopleTest, ArmsReachMovedHandsWithTheMeasuredBoneLengths) {
  CQueuedPerson* p = Person();
  p->GetRoot()->Update(0.0f, &g_IdentityMatrix);
  const struct {
    int upper, lower, twist, hand;
    Vector3 target;
  } arms[] = {{p->kUpperArmR, p->kLowerArmR, p->kHandRotationR, p->kHandR, {-1.5f, -0.8f, 2.3f}},
              {p->kUpperArmL, p->kLowerArmL, p->kHandRotationL, p->kHandL, {1.2f, -1.6f, 2.0f}}};
  for (const auto& a : arms)
    std::memcpy(&p->GetBone(a.hand)->matrix.m[12], &a.target, sizeof(Vector3));
  p->SolveArms();
  for (const auto& a : arms) {
    const Vector3 shoulder = At(p->GetBone(a.upper)), elbow = At(p->GetBone(a.lower));
    ExpectVectorNear(At(p->GetBone(a.hand)), a.target);
    ExpectVectorNear(At(p->GetBone(a.twist)), elbow);
    // Both segments keep length 1: each X axis is the unit vector along its segment.
    ExpectVectorNear(Axis(p->GetBone(a.upper), 0), elbow - shoulder);
    ExpectVectorNear(Axis(p->GetBone(a.lower), 0), a.target - elbow);
    ExpectVectorNear(Axis(p->GetBone(a.twist), 0), a.target - elbow);
    EXPECT_LT(elbow.y, shoulder.y);  // still bent forward, the side of the old elbow
  }
}

TEST_F(InCarPeopleTest, BadInputIsSkippedAndReportedOnce) {
  const struct {
    std::vector<std::string> without;
    uint32_t person;     // the shake record's first word
    float carX;          // the car state's x
    const char* logged;  // expected in the log, null for nothing
  } cases[] = {
      {{}, 0, 1.0f, nullptr},
      {{"B_head", "B_hand L"}, 0, 1.0f, "\"B_head\", \"B_hand L\""},
      {{"B_upper arm R"}, 1, 1.0f, "\"B_upper arm R\""},
      {{}, 7, 1.0f, "person 7"},
      {{}, 0, NAN, "non-finite"},
  };
  for (const auto& c : cases) {
    CDebugCapture log;
    CQueuedPerson* p = Person(c.without);
    CSigIncarShake shake{};
    shake.person = c.person;
    shake.shakeVectors[0].value = {0.1f, 0.1f, 0.1f};
    CSigCarGeneralState state{};
    state.position = {c.carX, 2, 3};
    state.orientation = {0, 0, 0, 1};
    for (int frame = 0; frame < 3; ++frame) {
      Deliver(zk_hub::kIncarShakeList, shake);
      Deliver(zk_hub::kCarGeneralStateList, state);
      p->GetRoot()->Update(0.0f, &g_IdentityMatrix);
      p->ApplyShake(c.person & 1u, 0.0f);
      p->SolveArms();
      p->QueueRoundTrip(1, 2);
      p->Update(0.02f * frame);
    }
    if (c.logged == nullptr) {
      EXPECT_EQ(CDebugCapture::text, "");
      ExpectVectorNear(p->GetPosition(), {1, 3, 2});  // host (x, y, z) is (x, z, y) here
    } else {                                          // one line, not one per frame
      EXPECT_NE(CDebugCapture::text.find(c.logged), std::string::npos) << CDebugCapture::text;
      EXPECT_EQ(CDebugCapture::text.find('\n'), CDebugCapture::text.size() - 1)
          << CDebugCapture::text;
    }
    EXPECT_EQ(p->GetShake(c.person & 1u).shakeVectors[0].value.x, c.person > 1 ? 0.0f : 0.1f);
    for (float v : p->GetMatrix()->m) EXPECT_FALSE(std::isnan(v));
    Characters().Clear();
  }
}
