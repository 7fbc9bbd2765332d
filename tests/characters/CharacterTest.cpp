#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "InCarTestSupport.h"
#include "characters/Character.h"
#include "foundation/Exceptions.h"
#include "interface/LibraryGlobal.h"
#include "scenegraph/Node.h"

namespace {

class CharacterTest : public InCarTest {
 protected:
  // A character "Bob" registered with the manager, with an animated node "hand" under the root.
  CZK_Character* MakeBob() {
    auto* bob = new CZK_Character("Bob", GetRuntimeContext());
    hand = new CZK_NodePRS("hand", 1, -1);
    Attach(bob, hand, kNodeBone);
    Characters().AddCharacter(bob);
    return bob;
  }

  // A scene whose "hand" moves along x with x = time over [0, 1000].
  void LoadLinearScene(const std::string& scene, float start, float end) {
    AddMovingPRS(scene + "::hand::PRS", {0, 0, 0}, {1000, 0, 0}, 0.0f, 1000.0f);
    Controllers().AddSceneRecord({scene, start, end});
  }

  CZK_Node* hand = nullptr;
};

}  // namespace

TEST_F(CharacterTest, AnimationIdsCountAcrossCategories) {
  CZK_Character* bob = MakeBob();
  LoadLinearScene("A", 0, 10);
  LoadLinearScene("B", 0, 10);
  LoadLinearScene("C", 0, 10);
  bob->AddAnimation("A", 1);
  bob->AddAnimation("B", 1);
  bob->AddAnimation("C", 0);
  EXPECT_EQ(bob->GetAnimationCount(1), 2u);
  EXPECT_EQ(bob->GetAnimationCount(0), 1u);
  // Selecting category 0, index 0 switches the tree to id 2 (the third added).
  bob->SetAnimation(0, 0);
  EXPECT_EQ(hand->currentAnimation, 2u);
  bob->SetAnimation(1, 1);
  EXPECT_EQ(hand->currentAnimation, 1u);
  // An index past the category changes nothing.
  bob->SetAnimation(1, 2);
  EXPECT_EQ(hand->currentAnimation, 1u);
  EXPECT_EQ(bob->GetCurrentIndex(), 1u);
  EXPECT_THROW(bob->AddAnimation("A", 4), CZK_Exception);
}

TEST_F(CharacterTest, LocalTimeUsesStartSpeedOffsetAndSceneStart) {
  CZK_Character* bob = MakeBob();
  LoadLinearScene("Walk", 10.0f, 20.0f);
  bob->AddAnimation("Walk", 0);
  bob->SetSpeed(2.0f);
  bob->SetTimeOffset(0.5f);
  Characters().UpdateAll(100.0f);  // the host time at which the animation is selected
  bob->SetAnimation(0, 0);
  Characters().UpdateAll(101.0f);
  // (101 - 100) * 2 + 10 + 0.5 = 12.5, and the hand's x equals the local time.
  EXPECT_NEAR(hand->matrix.m[12], 12.5f, 1e-4f);
  EXPECT_NEAR(bob->GetRemainingTime(), 20.0f - 12.5f, 1e-4f);
}

TEST_F(CharacterTest, PlacementIsScaleThenRotationThenTranslation) {
  CZK_Character* bob = MakeBob();
  const float q = zk_math::kHalfPi;
  const struct {
    float scale;
    Vector3 angles, position, point, placed;
  } cases[] = {
      // (1, 0, 0) -> scaled (2, 0, 0) -> quarter turn about Z (0, 2, 0) -> moved (1, 2, 0).
      {2, {0, 0, q}, {1, 0, 0}, {1, 0, 0}, {1, 2, 0}},
      // X, then Y, then Z: a quarter about X sends (0, 1, 0) to (0, 0, 1), one about Y on to
      // (1, 0, 0).
      {1, {q, q, 0}, {0, 0, 0}, {0, 1, 0}, {1, 0, 0}},
  };
  for (const auto& c : cases) {
    bob->SetScale(c.scale, c.scale, c.scale);
    bob->SetRotation(c.angles.x, c.angles.y, c.angles.z);
    bob->SetPosition(c.position);
    EXPECT_TRUE(Near(TransformPoint(c.point, *bob->GetMatrix()), c.placed));
  }
}

TEST_F(CharacterTest, MissingSceneRecordIsLoggedOnSelection) {
  CZK_Character* bob = MakeBob();
  AddStaticPRS("Ghost::hand::PRS", {0, 0, 0});
  bob->AddAnimation("Ghost", 0);  // no scene record: filed against record 0, which is absent
  {
    zk_test::ScopedDebugCapture capture;
    bob->SetAnimation(0, 0);
  }
  EXPECT_GE(zk_test::ScopedDebugCapture::Count("Invalid animation data handle"), 1);
  EXPECT_EQ(hand->currentAnimation, 0u);
}

TEST_F(CharacterTest, AttachNodeRefusesAMissingParent) {
  CZK_Character* bob = MakeBob();
  std::unique_ptr<CZK_Node> stray(new CZK_Node("stray", 9, 77));
  EXPECT_THROW(bob->AttachNode(stray.get()), CZK_Exception);
  EXPECT_EQ(CZK_Node::FindNodeByName("stray", bob->GetRoot()), nullptr);
}

// A change to what one character plays rebuilds that character's plan and no other; what the
// rebuilt plan then evaluates is the new animation.
TEST_F(CharacterTest, SwitchingOneCharacterRebuildsOnlyItsPlan) {
  LoadLinearScene("A", 0, 10);
  AddMovingPRS("B::hand::PRS", {0, 5, 0}, {0, 5, 0});
  Controllers().AddSceneRecord({"B", 0, 10});
  CZK_Character* bob = MakeBob();
  CZK_Node* bobHand = hand;
  auto* ann = new CZK_Character("Ann", GetRuntimeContext());
  Attach(ann, new CZK_NodePRS("hand", 1, -1), kNodeBone);
  Characters().AddCharacter(ann);
  for (CZK_Character* c : {bob, ann}) {
    c->AddAnimation("A", 0);
    c->AddAnimation("B", 0);
    c->SetAnimation(0, 0);
  }
  Characters().UpdateAll(3.0f);
  const uint64_t bobBuilds = bob->GetPlan().GetBuildCount();
  const uint64_t annBuilds = ann->GetPlan().GetBuildCount();
  bob->SetAnimation(0, 1);
  Characters().UpdateAll(4.0f);
  EXPECT_EQ(bob->GetPlan().GetBuildCount(), bobBuilds + 1);
  EXPECT_EQ(ann->GetPlan().GetBuildCount(), annBuilds);
  EXPECT_EQ(MatrixGetTranslation(bobHand->matrix).y, 5.0f);
}

// An attached node is its own transform carried by the character's matrix after every update,
// animated or not: one without a scene must not take the matrix again at each update (at a
// spectator's scale of 0.001 it shrank to nothing within fifteen frames).
TEST_F(CharacterTest, AnAttachedNodeTakesTheCharacterMatrixOncePerUpdate) {
  LoadLinearScene("A", 0, 10);
  for (const bool animated : {false, true}) {
    auto* ann = new CZK_Character(animated ? "Animated" : "Still", GetRuntimeContext());
    auto* flag = new CZK_NodePRS("flag", 1, -1);
    D3DXMatrixTranslation(&flag->bindMatrix, 2, 0, 0);
    flag->matrix = flag->bindMatrix;
    Attach(ann, flag, kNodeAttached);
    Characters().AddCharacter(ann);
    if (animated) {
      AddMovingPRS("A::flag::PRS", {0, 0, 0}, {1000, 0, 0}, 0.0f, 1000.0f);
      ann->AddAnimation("A", 0);
      ann->SetAnimation(0, 0);
    }
    ann->SetScale(0.001f, 0.001f, 0.001f);
    ann->SetPosition({5, 0, 0});
    for (const float time : {1.0f, 2.0f, 3.0f}) {
      Characters().UpdateAll(time);
      EXPECT_NEAR(flag->matrix.m[0], 0.001f, 1e-7f) << animated << " " << time;
      // At rest: its x of 2, scaled, then moved; animated: the scene's x (up to 10), so.
      const float x = flag->matrix.m[12];
      const bool placed = animated ? x >= 5.0f && x < 5.0101f : std::fabs(x - 5.002f) < 1e-6f;
      EXPECT_TRUE(placed) << animated << " " << time << " " << x;
    }
  }
}
