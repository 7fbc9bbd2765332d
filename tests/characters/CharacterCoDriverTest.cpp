#include <gtest/gtest.h>

#include "CountingAllocator.h"
#include "InCarTestSupport.h"
#include "characters/CharacterCoDriver.h"
#include "foundation/Exceptions.h"

namespace {

class CoDriverTest : public InCarTest {
 protected:
  CZK_CharacterCoDriver* CoDriver() {
    MakeCar({{"D_driver_use", {-0.5f, 0, 0}}, {"D_codriver_use", {0.5f, 0, 0}}});
    return Seat(new CZK_CharacterCoDriver("Reader"));
  }
};

}  // namespace

TEST_F(CoDriverTest, LoopsOneCycleOfFourHundredTwentyFourFramesPerUpdate) {
  struct Case {
    float offset;
    std::vector<float> hostTimes;
    std::vector<float> sampled;
  } cases[] = {
      {0.0f, {14.0f}, {14.0f}},
      {0.0f, {14.2f}, {14.2f - 14.133333f}},  // two thirtieths after the wrap
      {0.5f, {14.2f}, {14.2f - 14.133333f + 0.5f}},
      // A 30 s jump: one cycle on that update, one more on the next, then inside the cycle.
      {0.0f, {30.0f, 30.0f, 30.0f}, {30.0f - 14.133333f, 30.0f - 28.266666f, 30.0f - 28.266666f}},
  };
  for (const Case& c : cases) {
    Characters().UpdateAll(0.0f);
    CZK_CharacterCoDriver* reader = CoDriver();
    reader->SetTimeOffset(c.offset);
    for (size_t k = 0; k < c.hostTimes.size(); ++k) {
      Characters().UpdateAll(c.hostTimes[k]);
      // The pelvis moves one unit along x per second of animation: its x is the local time.
      EXPECT_NEAR(At(reader->GetRoot()->children[0]).x, c.sampled[k], 1e-4f) << k;
    }
    EXPECT_EQ(reader->GetRemainingTime(), 7.0f);
    Characters().Clear();
  }
}

TEST_F(CoDriverTest, SitsAtTheCoDriverSeatOfATurnedCar) {
  CZK_CharacterCoDriver* reader = CoDriver();
  CSigCarGeneralState state{};
  state.position = {10, 2, 3};  // host axes: library (10, 3, 2)
  const float h = 0.70710677f;
  state.orientation = {0, 0, h, h};  // a quarter turn about Z: x goes to y
  Deliver(zk_hub::kCarGeneralStateList, state);
  Characters().UpdateAll(0.0f);
  // A point 1000 mm along the person's x: 1 m, turned to +y, at the seat (0.5, 0, 0) turned to
  // (0, 0.5, 0), plus the car: (10, 4.5, 2).
  const Vector3 p = {1000, 0, 0};
  Vector3 world;
  D3DXVec3TransformCoord(&world, &p, reader->GetPlacedNodes()[0]->GetMatrix());
  ExpectVectorNear(world, {10, 4.5f, 2}, 1e-4f);
  ExpectMatrixNear(*reader->GetRoot()->GetMatrix(), *reader->GetPlacedNodes()[0]->GetMatrix());
}

TEST_F(CoDriverTest, KeepsTheAnimatedHandsAndAllocatesNothingPerFrame) {
  CZK_CharacterCoDriver* reader = CoDriver();
  CSigIncarShake shake{};
  shake.person = 1;
  for (auto& v : shake.shakeVectors) v.value = {0.05f, -0.03f, 0.02f};
  shake.bodyShift = {0.1f, 0, 0};
  CSigCarGeneralState state{};
  state.orientation = {0, 0, 0, 1};
  const long before = AllocationCount();
  for (int frame = 0; frame < 10; ++frame) {
    Deliver(zk_hub::kIncarShakeList, shake);
    Deliver(zk_hub::kCarGeneralStateList, state);
    Characters().UpdateAll(0.02f * frame);
  }
  EXPECT_EQ(AllocationCount(), before);
  // The hands stay where the animation put them (pelvis moved by the local time), and the arms
  // reach them with their measured lengths.
  const float t = 0.18f;
  ExpectVectorNear(At(reader->GetBone(reader->kHandR)), {t - 2, -1, 2}, 1e-4f);
  ExpectVectorNear(At(reader->GetBone(reader->kHandL)), {t + 2, -1, 2}, 1e-4f);
  const Vector3 elbow = At(reader->GetBone(reader->kLowerArmR));
  EXPECT_NEAR(Vec3Length(elbow - At(reader->GetBone(reader->kUpperArmR))), 1.0f, 1e-4f);
  EXPECT_NEAR(Vec3Length(elbow - At(reader->GetBone(reader->kHandR))), 1.0f, 1e-4f);
}

TEST_F(CoDriverTest, IsRefusedBeforeAnyCar) {
  const size_t nodes = Characters().GetNodeCount();
  try {
    CZK_CharacterCoDriver early("Early");
    FAIL() << "a co-driver without a car was built";
  } catch (const CZK_Exception& e) {
    EXPECT_NE(std::string(e.what()).find("a car is needed"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Characters().GetNodeCount(), nodes);
  const auto* list = reinterpret_cast<const CSignalList<CSigCarGeneralState>*>(
      static_cast<char*>(GetSignalHub()) + zk_hub::kCarGeneralStateList);
  EXPECT_EQ(list->count, 0u);
}
