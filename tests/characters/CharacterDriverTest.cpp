#include <gtest/gtest.h>
#include <unistd.h>

#include <tuple>

#include "CountingAllocator.h"
#include "InCarTestSupport.h"
#include "characters/CharacterCoDriver.h"
#include "characters/CharacterDriver.h"
#include "files/FilesTestSupport.h"
#include "hostkit/HostObjects.h"
#include "interface/LibraryGlobal.h"

namespace {

using files_test::TempDir;
using files_test::WriteFile;
using Entry = std::tuple<uint32_t, uint32_t, uint32_t>;  // transition, reverse, hold

class DriverTest : public InCarTest {
 protected:
  void TearDown() override {
    CZK_CharacterDriver::lastHandbrake = 0.0f;
    InCarTest::TearDown();
  }
  // A car with the wheel 1, 2, 3 mm from the seat (the skeleton has no wheel dummy, so that is
  // the grip offset) and, with a lever, the gear dummies; the hand points (× 1000 from the
  // seat) lie within the test skeleton's right arm.
  CZK_CharacterDriver* Driver(bool lever = true, const std::string* ini = nullptr) {
    // clang-format off
    std::vector<std::pair<const char*, Vector3>> dummies = {
        {"D_driver_use", {0, 0, 0}}, {"D_codriver_use", {0.5f, 0, 0}}, {"zDi_steeringwheel", {0.001f, 0.002f, 0.003f}},
        {"D_hand R_handbrake", {-0.0015f, -0.0005f, 0.0015f}}, {"D_hand R_handbrake p", {-0.0015f, 0, 0.0015f}},
        {"D_hand R_gear", {-0.0015f, -0.001f, 0.0015f}}, {"D_hand R_gear p", {-0.0015f, -0.0015f, 0.0015f}}};
    // clang-format on
    MakeCar({dummies.begin(), dummies.end() - (lever ? 0 : 2)});
    // The settings are read in a fresh directory holding "misc/zk_driver.INI" (found by the
    // driver's "Misc\ZK_Driver.ini" whatever the case), or no settings file at all.
    TempDir dir;
    char* cwd = getcwd(nullptr, 0);
    if (ini != nullptr) WriteFile(dir / "misc/zk_driver.INI", *ini);
    EXPECT_EQ(chdir(dir.Path().c_str()), 0);
    auto* driver = Seat(new CZK_CharacterDriver("Pilot", GetRuntimeContext()));
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);
    return driver;
  }
  CZK_CharacterCoDriver* CoDriver() {
    Driver();
    return Seat(new CZK_CharacterCoDriver("Reader", GetRuntimeContext()));
  }
  void Control(float steering, uint32_t buttons, float handbrake) {
    Deliver(zk_hub::kCarControlLists[2], CSigCarControl{{}, handbrake, {}, steering, buttons});
  }
  // The queued entries from the one playing to the last.
  static std::vector<Entry> Plan(const CZK_CharacterDriver* d) {
    std::vector<Entry> plan;
    for (uint32_t i = d->GetReadIndex();; i = (i + 1) % 20) {
      const CZK_ArmTransition& e = d->GetRingEntry(i);
      plan.emplace_back(e.transition, e.reverse, e.hold);
      if (i == d->GetWriteIndex()) return plan;
    }
  }
  void PlayUntil(CZK_CharacterDriver* d, bool (*done)(const CZK_CharacterDriver*)) {
    for (int frame = 0; frame < 500 && !done(d); ++frame) Characters().UpdateAll(time += 0.02f);
  }
  float time = 0.0f;
};

bool Held(const CZK_CharacterDriver* d) {
  return d->GetQueueState() == 2 && d->GetProgress() >= 1.0f;
}
bool Idle(const CZK_CharacterDriver* d) { return d->GetQueueState() == 0; }

}  // namespace

TEST_F(DriverTest, SteeringSelectsTheFrameAndTheFingersFollowTheTrip) {
  // Default lock 60° and "Normal" 5: input −1 samples frame 0, 0 frame 5, +1 frame 10; the
  // pelvis moves one unit per second of animation, so its x is the sample time. Input past the
  // lock is held at it, NaN keeps the last angle. (The wheel's turn is the end-to-end run's.)
  CZK_CharacterDriver* d = Driver();
  CZK_Node* pelvis = d->GetRoot()->children[0];
  const struct {
    float input, frame;
  } cases[] = {{-1, 0}, {0, 5}, {1, 10}, {0.5f, 7.5f}, {-3, 0}, {NAN, 0}};
  // The car control signal has a list for each game state the driver plays in: the cases take
  // them in turn, so a list the driver does not hear leaves the last frame in place.
  std::size_t list = 0;
  for (const auto& c : cases) {
    Deliver(zk_hub::kCarControlLists[list++ % 4], CSigCarControl{{}, 0.0f, {}, c.input, 0});
    Characters().UpdateAll(time += 0.02f);
    EXPECT_NEAR(At(pelvis).x, c.frame / 30.0f, 1e-5f) << c.input;
    // Both hands, idle, where the pose has them plus the grip offset.
    ExpectVectorNear(At(d->GetBone(d->kHandL)),
                     Vector3{2 + c.frame / 30.0f, -1, 2} + Vector3{1, 2, 3});
    ExpectVectorNear(At(d->GetBone(d->kHandR)),
                     Vector3{-2 + c.frame / 30.0f, -1, 2} + Vector3{1, 2, 3});
  }
  // During the trip to the gear the fingers of both hands play frames "Gear Start" (15) to
  // "Gear" (20) as the trip progresses; each finger's x from its hand is −0.1 (+0.1 for the left
  // one) plus the time it was sampled at.
  Control(0, 1, 0.0f);
  for (int frame = 0; frame < 10; ++frame) Characters().UpdateAll(time += 0.02f);
  const float f = (5 * d->GetProgress() + 15) / 30.0f;
  for (int side : {d->kHandR, d->kHandL})
    ExpectVectorNear(At(d->GetBone(side)->children[0]) - At(d->GetBone(side)),
                     {f + (side == d->kHandL ? 0.1f : -0.1f), 0, 0});
}

TEST_F(DriverTest, ControlRecordsQueueTheHandTrips) {
  // A car with or without a lever; records sent with the queue idle or held at the pulled
  // handbrake; the plan from the playing entry on, then played out (to idle, or held).
  const struct {
    const char* what;
    bool lever, holdFirst, gateOpen;
    std::vector<std::pair<uint32_t, float>> records;  // buttons, handbrake
    std::vector<Entry> plan;
    float lastHandbrake;
  } cases[] = {
      // clang-format off
      {"gear change", true, false, true, {{1, 0}}, {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}}, 0},
      {"quick double gear change", true, false, true, {{1, 0}, {2, 0}},
       {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}}, 0},
      {"gear change without lever", false, false, true, {{1, 0}}, {{6, 0, 0}, {6, 1, 0}}, 0},
      {"handbrake pull", true, false, true, {{0, 1}}, {{3, 0, 0}, {4, 0, 1}}, 1},
      {"release while held", true, true, true, {{0, 0}}, {{4, 1, 0}, {3, 1, 0}}, 0},
      {"gear while held", true, true, true, {{1, 0}}, {{4, 1, 0}, {5, 1, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}}, 0},
      {"gear while held, no lever", false, true, true, {{1, 0}}, {{4, 1, 0}, {3, 1, 0}, {6, 0, 0}, {6, 1, 0}}, 0},
      {"pull again while held", true, true, true, {{0, 0.5f}}, {{4, 0, 1}}, 1},
      {"gate closed", true, false, false, {{3, 1}, {0, 1}}, {{0, 0, 0}}, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    zk_hostkit::CControlGate gate;
    gate.SetApplied(c.gateOpen);
    void* words[zk_hub::kGlobalObjectWords] = {};
    words[zk_hub::kWordControlGate] = static_cast<IZK_ControlGate*>(&gate);
    SetGlobalObjectWords(words);
    CZK_CharacterDriver* d = Driver(c.lever);
    if (c.holdFirst) {
      Control(0, 0, 1.0f);
      PlayUntil(d, Held);
      ASSERT_TRUE(Held(d));
    }
    for (const auto& [buttons, handbrake] : c.records) Control(0.5f, buttons, handbrake);
    EXPECT_EQ(Plan(d), c.plan);
    EXPECT_EQ(CZK_CharacterDriver::lastHandbrake, c.lastHandbrake);
    EXPECT_EQ(d->GetSteerAngle() != 0.0f, c.gateOpen);
    PlayUntil(d, Idle);
    EXPECT_EQ(d->GetQueueState(), std::get<2>(c.plan.back()) ? 2 : 0);
    Characters().Clear();
    SetGlobalObjectWords(nullptr);
    CZK_CharacterDriver::lastHandbrake = 0.0f;
  }
}

TEST_F(DriverTest, SettingsTakeWhatParsesAndKeepTheDefaultsElsewhere) {
  const std::string samples = std::string(ZELKAR_SOURCE_DIR) + "/assets/Misc/";
  static const char binary[] = "\0\xff\x01[Settings]\n\x80=\x90\nMax Steeringwheel degrees = \xff";
  const struct {
    const char* what;
    std::string ini;  // "-": no file
    float degrees;
    int normal;
    float gearLength;          // transition 1
    Vector3 handbrakeTangent;  // transition 3's end in-tangent
  } cases[] = {
      // clang-format off
      {"no file", "-", 60, 5, 1.0f, {0, 0, 300}},
      {"shipped defaults", files_test::ReadFile(samples + "ZK_Driver.ini"), 60, 5, 1.0f, {0, 0, 300}},
      {"shipped brisk", files_test::ReadFile(samples + "ZK_Driver.brisk.ini"), 45, 5, 0.4f, {0, 60, 150}},
      {"key case and blanks", "[Settings]\nmax steeringwheel degrees = 90\n[Animation Frames]\n  Normal  =\t3 \n",
       60, 3, 1.0f, {0, 0, 300}},
      {"garbage values", "[Animation Lengths]\nFrom Steeringwheel to Gear = fast\n[Animation Tangents]\n"
       "Hand From Handbrake to Steeringwheel = 1 2\n", 60, 5, 1.0f, {0, 0, 300}},
      {"long line", std::string(300, 'x') + " = 9\n[Settings]\nMax Steeringwheel degrees = 90\n", 90, 5, 1.0f, {0, 0, 300}},
      {"binary bytes", std::string(binary, sizeof binary - 1),
       60, 5, 1.0f, {0, 0, 300}},
      {"frames past the scene", "[Animation Frames]\nGear = 100000\nNormal = -7\n", 60, -7, 1.0f, {0, 0, 300}},
      // clang-format on
  };
  // Every curve's frames, length, ends and tangents: without a file they must be those the
  // shipped defaults file spells out (the first two cases).
  std::vector<float> defaults;
  const auto curves = [](const CZK_CharacterDriver* d) {
    std::vector<float> v;
    for (int t = 1; t < d->kTransitionCount; ++t)
      for (const CZK_TransitionCurve* c : {d->GetHandCurve(t), d->GetElbowCurve(t)}) {
        if (c == nullptr) continue;
        v.insert(v.end(), {float(t), c->length, float(c->startFrame), float(c->frameCount)});
        for (const Vector3& p : {c->startKey->position, c->startKey->outTangent,
                                 c->endKey->position, c->endKey->inTangent})
          v.insert(v.end(), {p.x, p.y, p.z});
      }
    return v;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    time = 0.0f;
    CZK_CharacterDriver* d = Driver(true, c.ini == "-" ? nullptr : &c.ini);
    if (defaults.empty()) defaults = curves(d);
    if (c.what == std::string("shipped defaults")) {
      EXPECT_EQ(curves(d), defaults);
    }
    EXPECT_NEAR(d->GetMaxSteerAngle(), c.degrees * zk_math::kDegreesToRadians, 1e-6f);
    EXPECT_EQ(d->GetNormalFrame(), c.normal);
    EXPECT_FLOAT_EQ(d->GetHandCurve(1)->length, c.gearLength);
    ExpectVectorNear(d->GetHandCurve(3)->endKey->inTangent, c.handbrakeTangent);
    Control(0.3f, 1, 0.0f);  // a trip sampled past a short scene's end
    for (int frame = 0; frame < 10; ++frame) Characters().UpdateAll(time += 0.02f);
    for (float v : d->GetBone(d->kHandR)->matrix.m) EXPECT_TRUE(std::isfinite(v));
    Characters().Clear();
  }
}

TEST_F(DriverTest, AFrameOfTheCrewAllocatesNothingAndTheCoDriverSitsInTheTurnedCar) {
  // Steering, hand trips, the co-driver's loop, shake and car states for both.
  CZK_CharacterDriver* d = Driver();
  CZK_CharacterCoDriver* reader = Seat(new CZK_CharacterCoDriver("Reader", GetRuntimeContext()));
  CSigIncarShake shake{};
  CSigCarGeneralState state{};
  state.position = {10, 2, 3};  // host axes: library (10, 3, 2)
  const float h = 0.70710677f;  // a quarter turn about Z: x goes to y
  state.orientation = {0, 0, h, h};
  Characters().UpdateAll(time += 0.02f);
  const long before = AllocationCount();
  for (int frame = 0; frame < 120; ++frame) {
    Control(std::sin(0.1f * frame), frame % 40 == 0 ? 1u : 0u,
            frame > 60 && frame < 100 ? 1.0f : 0.0f);
    for (uint32_t person : {0u, 1u}) {
      shake.person = person;
      shake.shakeVectors[person].value = {0.1f, 0.0f, 0.05f * std::sin(0.3f * frame)};
      Deliver(zk_hub::kIncarShakeList, shake);
    }
    Deliver(zk_hub::kCarGeneralStateList, state);
    Characters().UpdateAll(time += 0.02f);
  }
  EXPECT_EQ(AllocationCount(), before);
  EXPECT_NE(d->GetQueueState(), 0);
  // 1000 mm along the person's x: 1 m, turned to +y, at the seat (0.5, 0, 0) turned to
  // (0, 0.5, 0), plus the car: (10, 4.5, 2). The root and the placed node carry it.
  for (CZK_Node* node : {reader->GetPlacedNodes()[0], reader->GetRoot()})
    ExpectVectorNear(TransformPoint({1000, 0, 0}, *node->GetMatrix()), {10, 4.5f, 2}, 1e-4f);
}

TEST_F(DriverTest, CoDriverLoopsOneCycleOfFourHundredTwentyFourFramesPerUpdate) {
  const struct {
    float offset;
    std::vector<float> hostTimes, sampled;
  } cases[] = {
      {0.0f, {14.0f}, {14.0f}},
      {0.0f, {14.2f}, {14.2f - 14.133333f}},  // two thirtieths after the wrap
      {0.5f, {14.2f}, {14.2f - 14.133333f + 0.5f}},
      // A 30 s jump: one cycle on that update, one more on the next, then inside the cycle.
      {0.0f, {30.0f, 30.0f, 30.0f}, {30.0f - 14.133333f, 30.0f - 28.266666f, 30.0f - 28.266666f}},
  };
  for (const auto& c : cases) {
    Characters().UpdateAll(0.0f);
    CZK_CharacterCoDriver* reader = CoDriver();
    reader->SetTimeOffset(c.offset);
    for (size_t k = 0; k < c.hostTimes.size(); ++k) {
      Characters().UpdateAll(c.hostTimes[k]);
      // The pelvis moves one unit along x per second of animation.
      EXPECT_NEAR(At(reader->GetRoot()->children[0]).x, c.sampled[k], 1e-4f) << k;
    }
    EXPECT_EQ(reader->GetRemainingTime(), 7.0f);
    Characters().Clear();
  }
}

TEST_F(DriverTest, PeopleAreRefusedBeforeAnyCar) {
  zk_test::RefusalText([] { delete new CZK_CharacterCoDriver("Early", GetRuntimeContext()); },
                       {"a car is needed"});
  zk_test::RefusalText([] { delete new CZK_CharacterDriver("Early", GetRuntimeContext()); },
                       {"a car is needed"});
  // Refused before anything was registered or subscribed.
  EXPECT_EQ(Characters().GetNodeCount(), 0u);
  for (std::size_t list : {zk_hub::kCarGeneralStateList, zk_hub::kCarControlLists[0]})
    EXPECT_EQ(reinterpret_cast<const CSignalList<CSigCarGeneralState>*>(
                  static_cast<char*>(GetSignalHub()) + list)
                  ->count,
              0u);
}
