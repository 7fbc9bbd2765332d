#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ControllerTestSupport.h"
#include "animation/AnimObject.h"
#include "animation/AnimTrackTCB.h"
#include "animation/AnimationScene.h"
#include "controllers/ConstraintControllers.h"
#include "controllers/ControllerManager.h"
#include "scenegraph/IKChain.h"

using namespace zk_test;

namespace {

class ManagerTest : public ::testing::Test {
 protected:
  // Registers the controller, playing the track.
  template <class Controller, class Track>
  Controller* Add(Controller* c, Track* track) {
    c->SetTrack(track);
    manager.AddController(c);
    return c;
  }
  CZK_AnimationControllerPRS* AddPRS(const char* name, Vector3 p) {
    auto* position = Add(new CZK_AnimationControllerPositionVector(std::string(name) + "::pos"),
                         new LinePositionTrack(p, {1, 0, 0}));
    auto* prs = new CZK_AnimationControllerPRS(name);
    prs->SetPosition(position);
    manager.AddController(prs);
    return prs;
  }

  ScopedHub hub;
  CZK_ControllerManager manager;
};

}  // namespace

TEST_F(ManagerTest, TimeZeroQueriesCheckTheControllerType) {
  Add(new CZK_AnimationControllerFloat("f"), new LineFloatTrack(1, 2.5f));
  Add(new CZK_AnimationControllerPositionVector("p"), new LinePositionTrack({1, 2, 3}, {1, 1, 1}));
  Add(new CZK_AnimationControllerRotationQuaternion("r"),
      new AxisRotationTrack({1, 0, 0}, 0.5f, 1.0f));
  Add(new CZK_AnimationControllerScale("s"), new ConstantScaleTrack({2, 3, 4, {0, 0, 0, 1}}));

  const int f = manager.CreateTransformObject("f");
  const int p = manager.CreatePositionObject("p");
  const int r = manager.CreateScaleObject("r");
  const int s = manager.CreateScaleObject("s");

  EXPECT_FLOAT_EQ(manager.GetAnimObjectFloat(f), 2.5f);
  EXPECT_TRUE(Near(manager.GetAnimObjectPosition(p), {1, 2, 3}, 0));
  EXPECT_TRUE(
      Near(manager.GetAnimObjectRotation(r, nullptr), QuaternionFromAxisAngle({1, 0, 0}, 0.5f), 0));
  Matrix expectedScale;
  D3DXMatrixScaling(&expectedScale, 2, 3, 4);
  EXPECT_TRUE(Near(manager.GetAnimObjectScale(s), expectedScale, 0));

  // Every mismatched type gives the query's default.
  for (int index : {p, r, s}) EXPECT_EQ(manager.GetAnimObjectFloat(index), 0.0f);
  for (int index : {f, r, s}) EXPECT_TRUE(Near(manager.GetAnimObjectPosition(index), {0, 0, 0}, 0));
  for (int index : {f, p, s})
    EXPECT_TRUE(Near(manager.GetAnimObjectRotation(index, nullptr), {0, 0, 0, 1}, 0));
  for (int index : {f, p, r})
    EXPECT_TRUE(Near(manager.GetAnimObjectScale(index), g_IdentityMatrix, 0));
  // Object indices and controller indices outside their lists give the defaults too.
  manager.GetAnimObject(p)->controllerIndex = 1000;
  const int unbound = manager.CreateScaleObject("none");
  for (int index : {-1, 1000, p, unbound}) {
    EXPECT_EQ(manager.GetAnimObjectFloat(index), 0.0f);
    EXPECT_TRUE(Near(manager.GetAnimObjectPosition(index), {0, 0, 0}, 0));
    EXPECT_TRUE(Near(manager.GetAnimObjectRotation(index, &g_IdentityMatrix), {0, 0, 0, 1}, 0));
    EXPECT_TRUE(Near(manager.GetAnimObjectScale(index), g_IdentityMatrix, 0));
    EXPECT_TRUE(Near(manager.GetAnimObjectMatrix(index), g_IdentityMatrix, 0));
  }
  EXPECT_FALSE(manager.IsAnimObjectStatic(-1));
  EXPECT_FALSE(manager.IsAnimObjectStatic(1000));
}

TEST_F(ManagerTest, TruncateUndoesEverythingAfterTheMark) {
  DestroyedTracks() = 0;
  manager.AddScene("Old");
  AddPRS("Old::A", {1, 0, 0});
  auto* oldLookAt = new CZK_AnimationControllerRotationLookAt("Old::L");
  manager.AddController(oldLookAt);
  manager.AddSceneRecord({"Old", 0, 1});
  manager.AddIKChain(new CZK_IKChain());
  const int objectBefore = manager.CreateTransformObject("Old::A");
  const CZK_ControllerManager::Counts mark = manager.GetCounts();

  // A second load adds a scene, takes over a name, files a controller in the old scene's place.
  manager.AddController(
      new CZK_AnimationControllerRotationLookAt("Stray::L"));  // still files under "Old"
  manager.AddScene("New");
  AddPRS("Old::A", {5, 0, 0});
  manager.AddController(new CZK_AnimationControllerLinkConstraints("New::K"));
  manager.AddSceneRecord({"New", 0, 2});
  manager.AddIKChain(new CZK_IKChain());
  manager.CreateTransformObject("Old::A");
  EXPECT_EQ(manager.FindController("Old::A"), 5);  // the later of two names wins
  EXPECT_EQ(manager.FindController(nullptr), -1);
  EXPECT_EQ(manager.AddController(nullptr), -1);
  ASSERT_EQ(manager.GetScene(0)->lookAtControllers.size(), 2u);

  manager.TruncateTo(mark);
  EXPECT_EQ(DestroyedTracks(), 1);
  EXPECT_EQ(manager.GetSceneCount(), 1);
  EXPECT_EQ(manager.GetControllerCount(), 3);
  EXPECT_EQ(manager.GetAnimObjectCount(), objectBefore + 1);
  EXPECT_EQ(manager.GetSceneRecordCount(), 1);
  EXPECT_EQ(manager.GetIKChainCount(), 1);
  EXPECT_EQ(manager.FindController("Old::A"), 1);
  EXPECT_EQ(manager.FindController("Stray::L"), -1);
  EXPECT_EQ(manager.FindController("Old::A::pos"), 0);
  ASSERT_EQ(manager.GetScene(0)->lookAtControllers.size(), 1u);
  EXPECT_EQ(manager.GetScene(0)->lookAtControllers[0], oldLookAt);
  EXPECT_TRUE(Near(Row(manager.EvaluateTransform(objectBefore, 0, nullptr), 3), {1, 0, 0}, 0));

  // A mark of nothing leaves the dummy object in place.
  manager.TruncateTo(CZK_ControllerManager::Counts{});
  EXPECT_EQ(manager.GetAnimObjectCount(), 1);
  EXPECT_EQ(manager.GetControllerCount(), 0);
  EXPECT_EQ(DestroyedTracks(), 2);
}

// Enough names to grow the lookup many times over, a third of them registered twice; a plain
// map of the registrations is the reference, before and after a truncation.
TEST_F(ManagerTest, ManyNamesFindTheirLastControllerAcrossATruncation) {
  std::map<std::string, int> expected, atMark;
  CZK_ControllerManager::Counts mark;
  for (int i = 0; i < 3000; ++i) {
    if (i == 2000) std::tie(mark, atMark) = std::make_pair(manager.GetCounts(), expected);
    const std::string name = "S::Object" + std::to_string(i % 2000);
    expected[name] = manager.AddController(new CZK_AnimationControllerFloat(name));
  }
  const auto wrong = [&](const std::map<std::string, int>& names) {
    int count = 0;
    for (const auto& [name, index] : names) count += manager.FindController(name.c_str()) != index;
    return count;
  };
  EXPECT_EQ(wrong(expected), 0);
  manager.TruncateTo(mark);
  atMark["S::Late"] = manager.AddController(new CZK_AnimationControllerFloat("S::Late"));
  EXPECT_EQ(wrong(atMark), 0);
}

// ---- Signals --------------------------------------------------------------------------------

TEST_F(ManagerTest, SolidStateIgnoresIndexZeroAndPastTheEnd) {
  const int a = manager.CreateTransformObject("A");
  const int n = manager.GetAnimObjectCount();
  const Matrix dummyBefore = manager.GetAnimObjectMatrix(0);
  CSigSolidGeneralState state{};
  state.position = {1, 2, 3};
  state.orientation = {0, 0, 0, 1};
  for (uint32_t index : {0u, static_cast<uint32_t>(n), 1000u, 0xFFFFFFFFu}) {
    state.objectIndex = index;
    hub.Deliver(zk_hub::kSolidGeneralStateLists[3], state);
  }
  EXPECT_TRUE(
      Near(static_cast<CZK_AnimObjectTM*>(manager.GetAnimObject(a))->fixed, g_IdentityMatrix, 0));
  EXPECT_TRUE(Near(manager.GetAnimObjectMatrix(0), dummyBefore, 0));
  EXPECT_EQ(manager.GetAnimObjectCount(), n);
}
