#include <gtest/gtest.h>

#include "InCarTestSupport.h"
#include "characters/CharacterCoDriver.h"
#include "characters/CharacterDriver.h"
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

TEST_F(CoDriverTest, SitsAtTheCoDriverSeatOfATurnedCar) {
  CZK_CharacterCoDriver* reader = CoDriver();
  CSigCarGeneralState state{};
  state.position = {10, 2, 3};  // host axes: library (10, 3, 2)
  const float h = 0.70710677f;  // a quarter turn about Z: x goes to y
  state.orientation = {0, 0, h, h};
  Deliver(zk_hub::kCarGeneralStateList, state);
  Characters().UpdateAll(0.0f);
  // 1000 mm along the person's x: 1 m, turned to +y, at the seat (0.5, 0, 0) turned to
  // (0, 0.5, 0), plus the car: (10, 4.5, 2). The root and the placed node carry it.
  for (CZK_Node* node : {reader->GetPlacedNodes()[0], reader->GetRoot()}) {
    Vector3 world;
    const Vector3 p = {1000, 0, 0};
    D3DXVec3TransformCoord(&world, &p, node->GetMatrix());
    ExpectVectorNear(world, {10, 4.5f, 2}, 1e-4f);
  }
}

TEST_F(CoDriverTest, PeopleAreRefusedBeforeAnyCar) {
  for (int kind = 0; kind < 2; ++kind) {
    try {
      delete (kind == 0 ? static_cast<CZK_Character*>(new CZK_CharacterCoDriver("Early"))
                        : new CZK_CharacterDriver("Early"));
      ADD_FAILURE() << "built without a car";
    } catch (const CZK_Exception& e) {
      EXPECT_NE(std::string(e.what()).find("a car is needed"), std::string::npos) << e.what();
    }
  }
  // Refused before anything was registered or subscribed.
  EXPECT_EQ(Characters().GetNodeCount(), 0u);
  for (std::size_t list : {zk_hub::kCarGeneralStateList, zk_hub::kCarControlLists[0]})
    EXPECT_EQ(reinterpret_cast<const CSignalList<CSigCarGeneralState>*>(
                  static_cast<char*>(GetSignalHub()) + list)
                  ->count,
              0u);
}
