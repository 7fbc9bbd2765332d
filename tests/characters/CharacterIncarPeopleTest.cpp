#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "InCarTestSupport.h"
#include "characters/CharacterIncarPeople.h"

namespace {

// An in-car person whose transitions 1 and 2 move the right hand between (0,0,0), (10,0,0) and
// (10,5,0) along straight curves (zero tangents), with lengths of 0.1 s and 0.5 s.
class CQueuedPerson : public CZK_CharacterIncarPeople {
 public:
  explicit CQueuedPerson(const std::string& name) : CZK_CharacterIncarPeople(name) {}
  void Wire(float length1, float length2) {
    keys[0].position = {0, 0, 0};
    keys[1].position = {10, 0, 0};
    keys[2].position = {10, 5, 0};
    float* out = &bones[kHandR]->matrix.m[12];
    curves[1] = {&keys[0], &keys[1], out, length1, 0, 0, nullptr, nullptr};
    curves[2] = {&keys[1], &keys[2], out, length2, 0, 0, nullptr, nullptr};
    handCurves[1] = &curves[1];
    handCurves[2] = &curves[2];
  }
  Vector3 Hand() const { return MatrixGetTranslation(bones[kHandR]->matrix); }
  int started = 0;
  void OnTransitionStarted() override { ++started; }
  // The chains are measured in the pose this leaves, as the co-driver does.
  void OnBonesBound() override { root->Update(0.0f, &g_IdentityMatrix); }

 private:
  CZK_TransitionKey keys[3];
  CZK_TransitionCurve curves[3];
};

class InCarPeopleTest : public InCarTest {
 protected:
  CQueuedPerson* Person() {
    std::string name = std::to_string(++people);
    auto* p = Seat(new CQueuedPerson(name.insert(0, 1, 'P')));
    p->Wire(0.1f, 0.5f);
    return p;
  }
  int people = 0;
};

float Distance(const Vector3& a, const Vector3& b) { return Vec3Length(a - b); }

}  // namespace

TEST_F(InCarPeopleTest, RoundTripOnAnIdleQueuePlaysFourEntriesAndEndsIdle) {
  CQueuedPerson* p = Person();
  p->QueueRoundTrip(1, 2);
  EXPECT_EQ(p->GetArmTarget(), 1);
  std::vector<std::pair<uint32_t, uint32_t>> played;
  for (int frame = 0; frame < 200 && p->GetQueueState() != 0; ++frame) {
    const CZK_ArmTransition& e = p->GetRingEntry(p->GetReadIndex());
    if (played.empty() || played.size() != static_cast<size_t>(p->started))
      played.emplace_back(e.transition, e.reverse);
    p->Step(0.02f);
  }
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{1, 0}, {2, 0}, {2, 1}, {1, 1}};
  EXPECT_EQ(played, expected);
  EXPECT_EQ(p->GetQueueState(), 0);
  EXPECT_EQ(p->GetArmTarget(), -1);
  ExpectVectorNear(p->Hand(), {0, 0, 0});  // back at the start of transition 1
  EXPECT_FALSE(p->Step(0.02f));            // an idle queue moves nothing
}

TEST_F(InCarPeopleTest, ProgressAdvancesByTimeOverLength) {
  CQueuedPerson* p = Person();
  p->SetTarget(1);
  p->Enqueue(2, 0, 0);
  p->Kick();
  // 0.5 s transition: 0.04 per 20 ms step.
  for (float e : {0.04f, 0.08f, 0.12f}) {
    ASSERT_TRUE(p->Step(0.02f));
    EXPECT_NEAR(p->GetProgress(), e, 1e-6f);
  }
  // The third step wrote the point at 0.08: y = 5 (3t² − 2t³) = 0.09088 on the way to (10, 5, 0).
  ExpectVectorNear(p->Hand(), {10, 0.09088f, 0});
}

TEST_F(InCarPeopleTest, SameRoundTripDuringTheLastEntryTurnsBackWithoutAJump) {
  CQueuedPerson* p = Person();
  p->QueueRoundTrip(1, 2);
  // Play until the last entry (1 reverse: from the gear back to the wheel) is half done.
  while (!(p->GetQueueState() == 2 && p->GetProgress() >= 0.5f)) p->Step(0.01f);
  const Vector3 before = p->Hand();
  p->Step(0.01f);
  const float stride = Distance(before, p->Hand());
  const Vector3 atCall = p->Hand();
  p->QueueRoundTrip(1, 2);
  EXPECT_EQ(p->GetQueueState(), 1);
  const CZK_ArmTransition& e = p->GetRingEntry(p->GetReadIndex());
  EXPECT_EQ(e.transition, 1u);
  EXPECT_EQ(e.reverse, 0u);
  p->Step(0.01f);
  EXPECT_LE(Distance(atCall, p->Hand()), 1.5f * stride + 1e-5f);
  // One step on towards the wheel is allowed; from there it heads for the gear again.
  p->Step(0.01f);
  p->Step(0.01f);
  EXPECT_GT(p->Hand().x, atCall.x);
}

TEST_F(InCarPeopleTest, ShakeIsClampedSwappedAndLeavesTheHandsInPlace) {
  // B_spine01 has identity axes, so its X becomes normalize((1,0,0) + (a, c, b)) with
  // (a, b, c) vector 0 clamped to ±0.2, and its Z normalize(X × (0,1,0)); B_spine02 hangs one
  // unit along B_spine01's Z, the thighs take the clamped body shift.
  const float s = 0.9805807f;  // 1 / √1.04
  struct Case {
    Vector3 bend;     // each of the five vectors
    Vector3 shift;    // body shift
    Vector3 xAxis;    // X axis of each bent bone
    Vector3 spine01;  // position of B_spine01
    Vector3 spine02;  // position of B_spine02
  } cases[] = {
      {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 2}},
      {{5, 5, 5},
       {5, 5, 5},
       {0.973329f, 0.162221f, 0.162221f},
       {0.2f, 0.2f, 1.2f},
       {0.035602f, 0.2f, 2.186396f}},
      {{0, 0, 5}, {0, 0, 0}, {s, 0.2f * s, 0}, {0, 0, 1}, {0, 0, 2}},  // third word to y
      {{0, -5, 0}, {0, 0, 0}, {s, 0, -0.2f * s}, {0, 0, 1}, {0.2f * s, 0, 1 + s}},  // second to z
      {{0, 0, 0}, {5, 5, -5}, {1, 0, 0}, {0.2f, 0.2f, 0.8f}, {0.2f, 0.2f, 1.8f}},
      {{NAN, NAN, NAN}, {NAN, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 2}},  // NaN: no sway
  };
  for (const Case& c : cases) {
    CQueuedPerson* p = Person();
    CSigIncarShake record{};
    record.person = 1;
    for (auto& v : record.shakeVectors) v.value = c.bend;
    record.bodyShift = c.shift;
    Deliver(zk_hub::kIncarShakeList, record);
    p->GetRoot()->Update(0.0f, &g_IdentityMatrix);
    const Matrix handL = *p->GetBone(p->kHandL)->GetMatrix();
    const Matrix handR = *p->GetBone(p->kHandR)->GetMatrix();
    const Vector3 fingerR = At(p->GetBone(p->kHandR)->children[0]);
    p->ApplyShake(1, 0.0f);
    // Only B_spine01 starts from identity axes; the others inherit its bend before their own.
    ExpectVectorNear(Axis(p->GetBone(p->kSpine01), 0), c.xAxis);
    for (int k = 0; k < 5; ++k) {
      const Vector3 x = Axis(p->GetBone(k), 0), y = Axis(p->GetBone(k), 1);
      EXPECT_NEAR(Vec3Dot(x, y), 0.0f, 1e-6f);
      ExpectVectorNear(Vec3Cross(x, y), Axis(p->GetBone(k), 2));
    }
    ExpectVectorNear(At(p->GetBone(p->kSpine01)), c.spine01);
    ExpectVectorNear(At(p->GetBone(p->kSpine02)), c.spine02);
    ExpectVectorNear(At(p->GetBone(p->kThighR)), c.spine01 - Vector3{0.5f, 0, 1});
    EXPECT_EQ(std::memcmp(&handL, p->GetBone(p->kHandL)->GetMatrix(), sizeof(Matrix)), 0);
    EXPECT_EQ(std::memcmp(&handR, p->GetBone(p->kHandR)->GetMatrix(), sizeof(Matrix)), 0);
    ExpectVectorNear(At(p->GetBone(p->kHandR)->children[0]), fingerR);
    // Person 0's record stayed empty: the driver does not sway.
    p->ApplyShake(0, 0.0f);
    ExpectVectorNear(At(p->GetBone(p->kSpine01)), c.spine01);
  }
}

TEST_F(InCarPeopleTest, ArmsReachTheHandsWithTheMeasuredBoneLengths) {
  CQueuedPerson* p = Person();
  EXPECT_FLOAT_EQ(p->GetRightArm().GetUpperLength(), 1.0f);
  EXPECT_FLOAT_EQ(p->GetLeftArm().GetLowerLength(), 1.0f);
  p->GetRoot()->Update(0.0f, &g_IdentityMatrix);
  // Move both hands: right one closer in, left one forward; the elbows must follow.
  const Vector3 targets[2] = {{-1.5f, -0.8f, 2.3f}, {1.2f, -1.6f, 2.0f}};
  CZK_Node* hands[2] = {p->GetBone(p->kHandR), p->GetBone(p->kHandL)};
  const int uppers[2] = {p->kUpperArmR, p->kUpperArmL};
  const int lowers[2] = {p->kLowerArmR, p->kLowerArmL};
  const int twists[2] = {p->kHandRotationR, p->kHandRotationL};
  for (int a = 0; a < 2; ++a) {
    hands[a]->matrix.m[12] = targets[a].x;
    hands[a]->matrix.m[13] = targets[a].y;
    hands[a]->matrix.m[14] = targets[a].z;
  }
  p->SolveArms();
  for (int a = 0; a < 2; ++a) {
    const Vector3 shoulder = At(p->GetBone(uppers[a]));
    const Vector3 elbow = At(p->GetBone(lowers[a]));
    ExpectVectorNear(At(hands[a]), targets[a]);
    EXPECT_NEAR(Distance(shoulder, elbow), 1.0f, 1e-5f);
    EXPECT_NEAR(Distance(elbow, targets[a]), 1.0f, 1e-5f);
    ExpectVectorNear(At(p->GetBone(twists[a])), elbow);
    // Upper arm X points at the elbow, forearm and twist X at the hand; the elbow still bends
    // forward (−y), the side of the hint.
    ExpectVectorNear(Axis(p->GetBone(uppers[a]), 0), (elbow - shoulder) * 1.0f);
    ExpectVectorNear(Axis(p->GetBone(lowers[a]), 0), targets[a] - elbow);
    ExpectVectorNear(Axis(p->GetBone(twists[a]), 0), targets[a] - elbow);
    EXPECT_LT(elbow.y, shoulder.y);
  }
}

TEST_F(InCarPeopleTest, BadInputIsSkippedAndReportedOnce) {
  struct Case {
    const char* what;
    std::vector<std::string> without;
    uint32_t person;     // shake record's first word
    float carValue;      // car-state position x
    const char* logged;  // expected text in the log, or null for none
  } cases[] = {
      {"complete skeleton, good records", {}, 0, 1.0f, nullptr},
      {"missing head and left hand", {"B_head", "B_hand L"}, 0, 1.0f, "\"B_head\", \"B_hand L\""},
      {"missing right upper arm", {"B_upper arm R"}, 1, 1.0f, "\"B_upper arm R\""},
      {"shake for person 7", {}, 7, 1.0f, "person 7"},
      {"NaN car position", {}, 0, NAN, "non-finite"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CDebugCapture log;
    CQueuedPerson* p = Seat(new CQueuedPerson("P"), c.without);
    CSigIncarShake shake{};
    shake.person = c.person;
    shake.shakeVectors[0].value = {0.1f, 0.1f, 0.1f};
    CSigCarGeneralState state{};
    state.position = {c.carValue, 2, 3};
    state.orientation = {0, 0, 0, 1};
    for (int frame = 0; frame < 3; ++frame) {
      Deliver(zk_hub::kIncarShakeList, shake);
      Deliver(zk_hub::kCarGeneralStateList, state);
      p->GetRoot()->Update(0.0f, &g_IdentityMatrix);
      p->ApplyShake(c.person & 1u, 0.0f);
      p->SolveArms();
      p->Update(0.02f * frame);
    }
    const std::string& text = CDebugCapture::Text();
    if (c.logged == nullptr) {
      EXPECT_EQ(text, "");
      ExpectVectorNear(p->GetPosition(), {1, 3, 2});  // host (x, y, z) is (x, z, y) here
    } else {
      EXPECT_NE(text.find(c.logged), std::string::npos) << text;
      EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line, not one per frame: " << text;
    }
    if (c.person > 1) {
      EXPECT_EQ(p->GetShake(0).shakeVectors[0].value.x, 0.0f);
    }
    for (float v : p->GetMatrix()->m) EXPECT_FALSE(std::isnan(v));
    Characters().Clear();
  }
}
