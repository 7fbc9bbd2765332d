#include <gtest/gtest.h>

#include <array>
#include <memory>
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
  CZK_AnimationControllerFloat* AddFloat(const char* name, float value) {
    auto* c = new CZK_AnimationControllerFloat(name);
    c->SetTrack(new LineFloatTrack(1, value));
    manager.AddController(c);
    return c;
  }
  CZK_AnimationControllerPositionVector* AddPosition(const char* name, Vector3 p) {
    auto* c = new CZK_AnimationControllerPositionVector(name);
    c->SetTrack(new LinePositionTrack(p, {1, 1, 1}));
    manager.AddController(c);
    return c;
  }
  CZK_AnimationControllerPRS* AddPRS(const char* name, Vector3 p) {
    auto* position = new CZK_AnimationControllerPositionVector(std::string(name) + "::pos");
    position->SetTrack(new LinePositionTrack(p, {1, 0, 0}));
    manager.AddController(position);
    auto* prs = new CZK_AnimationControllerPRS(name);
    prs->SetPosition(position);
    manager.AddController(prs);
    return prs;
  }
  CZK_AnimObjectTM* TM(int index) {
    return dynamic_cast<CZK_AnimObjectTM*>(manager.GetAnimObject(index));
  }

  ScopedHub hub;
  CZK_ControllerManager manager;
};

CSigSolidGeneralState SolidState(uint32_t index, Vector3 position, Quaternion orientation) {
  CSigSolidGeneralState s{};
  s.objectIndex = index;
  s.position = position;
  s.orientation = orientation;
  return s;
}

}  // namespace

TEST_F(ManagerTest, StartsWithTheDummyObjectOnly) {
  EXPECT_EQ(manager.GetAnimObjectCount(), 1);
  EXPECT_EQ(manager.GetAnimObject(0)->name, "dummy controller");
  EXPECT_EQ(manager.GetAnimObject(0)->controllerIndex, 0);
  EXPECT_TRUE(manager.IsAnimObjectStatic(0));
  EXPECT_TRUE(MatrixNear(manager.GetAnimObjectMatrix(0), g_IdentityMatrix, 0));
  EXPECT_EQ(manager.FindController("dummy controller"), -1);
  EXPECT_EQ(manager.FindAnimObject("dummy controller"), 0);
  EXPECT_EQ(manager.GetControllerCount(), 0);
  EXPECT_EQ(manager.GetSceneCount(), 0);
}

TEST_F(ManagerTest, LaterControllerOfTheSameNameWins) {
  auto* first = AddFloat("Walk::Hand", 1);
  EXPECT_EQ(manager.FindController("Walk::Hand"), 0);
  auto* second = AddFloat("Walk::Hand", 2);
  EXPECT_EQ(manager.FindController("Walk::Hand"), 1);
  // Both stay owned and indexed.
  EXPECT_EQ(manager.GetController(0), first);
  EXPECT_EQ(manager.GetController(1), second);
  EXPECT_EQ(manager.FindController("Walk::Foot"), -1);
  EXPECT_EQ(manager.FindController(nullptr), -1);
  EXPECT_EQ(manager.AddController(nullptr), -1);
}

TEST_F(ManagerTest, ConstraintControllersAreFiledUnderTheLastScene) {
  // Without a scene they go into no list but are still registered and found.
  manager.AddController(new CZK_AnimationControllerRotationLookAt("early::rot"));
  EXPECT_EQ(manager.FindController("early::rot"), 0);

  manager.AddScene("A");
  manager.AddScene("B");
  auto* lookAt = new CZK_AnimationControllerRotationLookAt("B::N::rot");
  auto* link = new CZK_AnimationControllerLinkConstraints("B::N");
  manager.AddController(new CZK_AnimationControllerPRS("B::plain"));
  manager.AddController(lookAt);
  manager.AddController(link);
  EXPECT_TRUE(manager.GetScene(0)->lookAtControllers.empty());
  EXPECT_TRUE(manager.GetScene(0)->linkConstraintControllers.empty());
  ASSERT_EQ(manager.GetScene(1)->lookAtControllers.size(), 1u);
  ASSERT_EQ(manager.GetScene(1)->linkConstraintControllers.size(), 1u);
  EXPECT_EQ(manager.GetScene(1)->lookAtControllers[0], lookAt);
  EXPECT_EQ(manager.GetScene(1)->linkConstraintControllers[0], link);
  EXPECT_EQ(manager.GetScene(1)->name, "B");
}

TEST_F(ManagerTest, ObjectFactoriesBindByName) {
  AddPRS("S::Hand", {1, 2, 3});
  const int bound = manager.CreateTransformObject("S::Hand");
  EXPECT_EQ(manager.GetAnimObject(bound)->controllerIndex, manager.FindController("S::Hand"));
  EXPECT_FALSE(manager.IsAnimObjectStatic(bound));

  // No controller: fixed identity, and evaluation hands the parent back unchanged.
  const int fixed = manager.CreateTransformObject("S::Nothing");
  EXPECT_TRUE(manager.IsAnimObjectStatic(fixed));
  EXPECT_EQ(manager.GetAnimObject(fixed)->controllerIndex, 0);
  Matrix parent;
  const Quaternion q = QuaternionFromAxisAngle({0, 1, 0}, 0.7f);
  D3DXMatrixRotationQuaternion(&parent, &q);
  parent.m[12] = 4;
  EXPECT_TRUE(MatrixNear(manager.EvaluateTransform(fixed, 3, &parent), parent, 0));

  const int position = manager.CreatePositionObject("S::Nothing::Position");
  EXPECT_EQ(manager.GetAnimObject(position)->controllerIndex, 0);
  EXPECT_NE(dynamic_cast<CZK_AnimObjectVector3*>(manager.GetAnimObject(position)), nullptr);
  EXPECT_EQ(manager.GetAnimObject(position)->mode, 0u);

  const int scale = manager.CreateScaleObject("S::Nothing::Scale");
  EXPECT_EQ(manager.GetAnimObject(scale)->controllerIndex, -1);
  EXPECT_NE(TM(scale), nullptr);
  EXPECT_TRUE(MatrixNear(manager.GetAnimObjectScale(scale), g_IdentityMatrix, 0));

  EXPECT_EQ(manager.FindAnimObject("S::Nothing"), fixed);
  EXPECT_EQ(manager.FindAnimObject("S::Hand"), bound);
  EXPECT_EQ(manager.FindAnimObject("S::hand"), -1);
  // The first of two objects of one name is found.
  manager.CreateTransformObject("S::Hand");
  EXPECT_EQ(manager.FindAnimObject("S::Hand"), bound);
}

TEST_F(ManagerTest, EvaluateTransformMultipliesLocalByParentAndStoresIt) {
  AddPRS("S::Arm", {1, 0, 0});
  const int arm = manager.CreateTransformObject("S::Arm");
  Matrix parent;
  const Quaternion q = QuaternionFromAxisAngle({0, 0, 1}, zk_math::kHalfPi);
  D3DXMatrixRotationQuaternion(&parent, &q);
  parent.m[13] = 10;
  // At t = 2 the local position is (3, 0, 0); turned 90° about Z and lifted: (0, 13, 0).
  const Matrix world = manager.EvaluateTransform(arm, 2, &parent);
  EXPECT_TRUE(VectorNear(Row(world, 3), {0, 13, 0}, 1e-5f));
  EXPECT_TRUE(MatrixNear(manager.GetAnimObjectMatrix(arm), world, 0));
  // Null parent is the identity; the rest pose is time 0.
  EXPECT_TRUE(VectorNear(Row(manager.EvaluateTransform(arm, 0, nullptr), 3), {1, 0, 0}, 0));

  // Indices outside the list change nothing and return the parent.
  EXPECT_TRUE(MatrixNear(manager.EvaluateTransform(-1, 0, &parent), parent, 0));
  EXPECT_TRUE(MatrixNear(manager.EvaluateTransform(99, 0, &parent), parent, 0));
  // An object bound to a controller that is not of the PRS family: identity local.
  AddFloat("S::F", 1);
  const int odd = manager.CreateTransformObject("S::F");
  EXPECT_TRUE(MatrixNear(manager.EvaluateTransform(odd, 0, &parent), parent, 0));
}

TEST_F(ManagerTest, TimeZeroQueriesCheckTheControllerType) {
  AddFloat("f", 2.5f);
  AddPosition("p", {1, 2, 3});
  auto* rotation = new CZK_AnimationControllerRotationQuaternion("r");
  rotation->SetTrack(new AxisRotationTrack({1, 0, 0}, 0.5f, 1.0f));
  manager.AddController(rotation);
  auto* scale = new CZK_AnimationControllerScale("s");
  scale->SetTrack(new ConstantScaleTrack({2, 3, 4, {0, 0, 0, 1}}));
  manager.AddController(scale);

  const int f = manager.CreateTransformObject("f");
  const int p = manager.CreatePositionObject("p");
  const int r = manager.CreateScaleObject("r");
  const int s = manager.CreateScaleObject("s");

  EXPECT_FLOAT_EQ(manager.GetAnimObjectFloat(f), 2.5f);
  EXPECT_TRUE(VectorNear(manager.GetAnimObjectPosition(p), {1, 2, 3}, 0));
  EXPECT_TRUE(QuaternionNear(manager.GetAnimObjectRotation(r, nullptr),
                             QuaternionFromAxisAngle({1, 0, 0}, 0.5f), 0));
  Matrix expectedScale;
  D3DXMatrixScaling(&expectedScale, 2, 3, 4);
  EXPECT_TRUE(MatrixNear(manager.GetAnimObjectScale(s), expectedScale, 0));

  // Every mismatched type gives the query's default.
  for (int index : {p, r, s}) EXPECT_EQ(manager.GetAnimObjectFloat(index), 0.0f);
  for (int index : {f, r, s})
    EXPECT_TRUE(VectorNear(manager.GetAnimObjectPosition(index), {0, 0, 0}, 0));
  for (int index : {f, p, s})
    EXPECT_TRUE(QuaternionNear(manager.GetAnimObjectRotation(index, nullptr), {0, 0, 0, 1}, 0));
  for (int index : {f, p, r})
    EXPECT_TRUE(MatrixNear(manager.GetAnimObjectScale(index), g_IdentityMatrix, 0));
  // Object indices and controller indices outside their lists give the defaults too.
  manager.GetAnimObject(p)->controllerIndex = 1000;
  const int unbound = manager.CreateScaleObject("none");
  for (int index : {-1, 1000, p, unbound}) {
    EXPECT_EQ(manager.GetAnimObjectFloat(index), 0.0f);
    EXPECT_TRUE(VectorNear(manager.GetAnimObjectPosition(index), {0, 0, 0}, 0));
    EXPECT_TRUE(
        QuaternionNear(manager.GetAnimObjectRotation(index, &g_IdentityMatrix), {0, 0, 0, 1}, 0));
    EXPECT_TRUE(MatrixNear(manager.GetAnimObjectScale(index), g_IdentityMatrix, 0));
    EXPECT_TRUE(MatrixNear(manager.GetAnimObjectMatrix(index), g_IdentityMatrix, 0));
  }
  EXPECT_FALSE(manager.IsAnimObjectStatic(-1));
  EXPECT_FALSE(manager.IsAnimObjectStatic(1000));
}

TEST_F(ManagerTest, RotationQueryPassesTheReferenceTranslation) {
  CZK_AnimationControllerRotationLookAt* lookAt =
      new CZK_AnimationControllerRotationLookAt("S::N::rot");
  manager.AddScene("S");
  const int target = manager.CreateTransformObject("S::T::PRS");
  TM(target)->world = Translation(0, 0, 10);
  CZK_ConstraintTarget entry;
  entry.name = "T";
  entry.key = 1;
  lookAt->AddTarget(entry);
  manager.AddController(lookAt);
  manager.ResolveSceneTargets("S");
  const int object = manager.CreateScaleObject("S::N::rot");
  // Seen from (0, 0, 5) the target lies along +Z; from (0, 0, 15) along -Z.
  Matrix reference = Translation(0, 0, 5);
  Matrix m;
  const Quaternion near = manager.GetAnimObjectRotation(object, &reference);
  D3DXMatrixRotationQuaternion(&m, &near);
  EXPECT_TRUE(VectorNear(Row(m, 0), {0, 0, 1}, 1e-5f));
  reference = Translation(0, 0, 15);
  const Quaternion far = manager.GetAnimObjectRotation(object, &reference);
  D3DXMatrixRotationQuaternion(&m, &far);
  EXPECT_TRUE(VectorNear(Row(m, 0), {0, 0, -1}, 1e-5f));
}

TEST_F(ManagerTest, SceneRecordsAreFoundByFirstName) {
  EXPECT_EQ(manager.FindSceneRecord("Walk"), 0);
  EXPECT_EQ(manager.AddSceneRecord({"Idle", 0, 1}), 0);
  EXPECT_EQ(manager.AddSceneRecord({"Walk", 2, 3}), 1);
  EXPECT_EQ(manager.AddSceneRecord({"Walk", 4, 5}), 2);
  EXPECT_EQ(manager.FindSceneRecord("Walk"), 1);
  EXPECT_EQ(manager.FindSceneRecord("Run"), 0);
  EXPECT_FLOAT_EQ(manager.GetSceneRecord(2).start, 4);
  EXPECT_FLOAT_EQ(manager.GetSceneRecord(2).end, 5);
  EXPECT_EQ(manager.GetSceneRecord(3).name, "");
  EXPECT_EQ(manager.GetSceneRecord(-1).name, "");
  EXPECT_EQ(manager.GetScene(0), nullptr);
  EXPECT_EQ(manager.GetIKChain(0), nullptr);
}

TEST_F(ManagerTest, ResolvingAnUnknownSceneChangesNothing) {
  manager.AddScene("S");
  manager.CreateTransformObject("S::T::PRS");
  auto* lookAt = new CZK_AnimationControllerRotationLookAt("S::N::rot");
  CZK_ConstraintTarget entry;
  entry.name = "T";
  entry.slot = 0;
  lookAt->AddTarget(entry);
  manager.AddController(lookAt);
  manager.ResolveSceneTargets("Other");
  EXPECT_EQ(lookAt->GetTargets()[0].slot, 0);
  EXPECT_EQ(lookAt->GetTargets()[0].kind, kTargetUnresolved);
  manager.ResolveSceneTargets("S");
  EXPECT_EQ(lookAt->GetTargets()[0].slot, 1);
}

TEST_F(ManagerTest, ClearDestroysEverythingOnceAndKeepsTheConnections) {
  DestroyedTracks() = 0;
  manager.AddScene("S");
  AddPRS("S::A", {1, 0, 0});
  AddFloat("S::F", 1);
  manager.CreateTransformObject("S::A");
  manager.AddSceneRecord({"S", 0, 1});
  manager.AddIKChain(new CZK_IKChain());
  manager.Clear();
  EXPECT_EQ(DestroyedTracks(), 2);
  EXPECT_EQ(manager.GetSceneCount(), 0);
  EXPECT_EQ(manager.GetControllerCount(), 0);
  EXPECT_EQ(manager.GetSceneRecordCount(), 0);
  EXPECT_EQ(manager.GetIKChainCount(), 0);
  EXPECT_EQ(manager.FindController("S::A"), -1);
  EXPECT_EQ(manager.GetAnimObjectCount(), 1);
  EXPECT_EQ(manager.GetAnimObject(0)->name, "dummy controller");
  EXPECT_TRUE(manager.IsAnimObjectStatic(0));

  // The connections still deliver after a clear.
  const int object = manager.CreateTransformObject("X");
  hub.Deliver(zk_hub::kSolidGeneralStateLists[0], SolidState(object, {1, 2, 3}, {0, 0, 0, 1}));
  EXPECT_TRUE(VectorNear(Row(TM(object)->fixed, 3), {1, 3, 2}, 0));
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
  EXPECT_EQ(manager.FindController("Old::A"), 5);
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
  EXPECT_TRUE(
      VectorNear(Row(manager.EvaluateTransform(objectBefore, 0, nullptr), 3), {1, 0, 0}, 0));

  // A mark of nothing leaves the dummy object in place.
  manager.TruncateTo(CZK_ControllerManager::Counts{});
  EXPECT_EQ(manager.GetAnimObjectCount(), 1);
  EXPECT_EQ(manager.GetControllerCount(), 0);
  EXPECT_EQ(DestroyedTracks(), 2);
}

TEST_F(ManagerTest, CreatePositionControllerKeepsKeysInGivenOrder) {
  manager.CreatePositionController("Spline", {{1, 2, 3, 0}, {4, 5, 6, 2}, {7, 8, 9, 1}});
  manager.CreatePositionController("Path", {{0, 0, 0, 0}, {10, 0, 0, 1}, {10, 10, 0, 2}});
  const int index = manager.FindController("Spline");
  ASSERT_EQ(index, 0);
  auto* controller =
      dynamic_cast<CZK_AnimationControllerPositionVector*>(manager.GetController(index));
  ASSERT_NE(controller, nullptr);
  auto* track = dynamic_cast<CZK_AnimTrackPositionTCB*>(controller->GetTrack());
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->GetRefCount(), 1u);
  EXPECT_EQ(track->outOfRangeBefore, 0u);
  EXPECT_EQ(track->outOfRangeAfter, 0u);
  ASSERT_EQ(track->GetKeyCount(), 3u);
  const float times[3] = {0, 2, 1};
  for (size_t i = 0; i < 3; ++i) {
    const CZK_KeyFrameTCBPosition& key = track->GetKey(i);
    EXPECT_EQ(key.time, times[i]);
    EXPECT_EQ(key.value.x, 1.0f + 3.0f * static_cast<float>(i));
    EXPECT_EQ((std::array{key.tension, key.continuity, key.bias, key.easeIn, key.easeOut}),
              (std::array{0.0f, 0.0f, 0.0f, 0.0f, 0.0f}))
        << i;
  }

  // The track is ready to play: through its keys, holding the end keys outside the range.
  const int path = manager.CreatePositionObject("Path");
  EXPECT_TRUE(VectorNear(manager.GetAnimObjectPosition(path), {0, 0, 0}, 1e-5f));
  auto* pathController =
      static_cast<CZK_AnimationControllerPositionVector*>(manager.GetController(1));
  Vector3 v;
  EXPECT_TRUE(VectorNear(*pathController->Evaluate(&v, 1.0f), {10, 0, 0}, 1e-4f));
  EXPECT_TRUE(VectorNear(*pathController->Evaluate(&v, 5.0f), {10, 10, 0}, 1e-5f));
  EXPECT_TRUE(VectorNear(*pathController->Evaluate(&v, -5.0f), {0, 0, 0}, 1e-5f));
}

// ---- Signals --------------------------------------------------------------------------------

TEST_F(ManagerTest, ConnectionsSitOneInEachList) {
  for (size_t offset : zk_hub::kSolidGeneralStateLists) {
    EXPECT_EQ(hub.List<CSigSolidGeneralState>(offset).count, 1u) << offset;
    EXPECT_NE(hub.List<CSigSolidGeneralState>(offset).first, nullptr);
  }
  for (size_t offset : zk_hub::kGhostCarStateLists)
    EXPECT_EQ(hub.List<CSigGhostCarState>(offset).count, 1u);
}

TEST(ManagerConnections, DestructionEmptiesTheLists) {
  ScopedHub hub;
  {
    CZK_ControllerManager manager;
    EXPECT_EQ(hub.List<CSigGhostCarState>(zk_hub::kGhostCarStateLists[1]).count, 1u);
  }
  for (size_t offset : zk_hub::kSolidGeneralStateLists) {
    const auto& list = hub.List<CSigSolidGeneralState>(offset);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
  }
  for (size_t offset : zk_hub::kGhostCarStateLists)
    EXPECT_EQ(hub.List<CSigGhostCarState>(offset).count, 0u);
}

TEST_F(ManagerTest, SolidStatePosesTheObjectWithSwappedAxes) {
  AddPRS("S::Door", {7, 7, 7});
  const int door = manager.CreateTransformObject("S::Door");
  ASSERT_FALSE(manager.IsAnimObjectStatic(door));
  const Quaternion q = QuaternionFromAxisAngle({0.6f, 0, 0.8f}, 1.1f);
  for (size_t offset : zk_hub::kSolidGeneralStateLists) {
    TM(door)->mode = 0;
    hub.Deliver(offset, SolidState(door, {1, 2, 3}, q));
    ASSERT_TRUE(manager.IsAnimObjectStatic(door)) << offset;
  }
  Matrix rotation;
  D3DXMatrixRotationQuaternion(&rotation, &q);
  const Matrix expected = Multiply(rotation, Translation(1, 3, 2));
  EXPECT_TRUE(MatrixNear(TM(door)->fixed, expected, 0));
  EXPECT_TRUE(VectorNear(Row(TM(door)->fixed, 3), {1, 3, 2}, 0));
  // From now on the object stands for that pose, whatever its controller says.
  const Matrix parent = Translation(0, 100, 0);
  EXPECT_TRUE(
      MatrixNear(manager.EvaluateTransform(door, 5, &parent), Multiply(expected, parent), 0));
}

TEST_F(ManagerTest, SolidStateIgnoresIndexZeroAndPastTheEnd) {
  const int a = manager.CreateTransformObject("A");
  const int n = manager.GetAnimObjectCount();
  const Matrix dummyBefore = manager.GetAnimObjectMatrix(0);
  for (uint32_t index : {0u, static_cast<uint32_t>(n), 1000u, 0xFFFFFFFFu})
    hub.Deliver(zk_hub::kSolidGeneralStateLists[3], SolidState(index, {1, 2, 3}, {0, 0, 0, 1}));
  EXPECT_TRUE(MatrixNear(TM(a)->fixed, g_IdentityMatrix, 0));
  EXPECT_TRUE(MatrixNear(manager.GetAnimObjectMatrix(0), dummyBefore, 0));
  EXPECT_EQ(manager.GetAnimObjectCount(), n);
}

TEST_F(ManagerTest, GhostCarPosesOnBothListsAndIgnoresBadIndices) {
  AddPRS("Ghost", {0, 0, 0});
  const int ghost = manager.CreateTransformObject("Ghost");
  const int n = manager.GetAnimObjectCount();
  CSigGhostCarState record{};
  record.orientation = {0, 0, 0, 1};
  for (uint32_t index : {0u, static_cast<uint32_t>(n), 77u}) {
    record.objectIndex = index;
    hub.Deliver(zk_hub::kGhostCarStateLists[0], record);
  }
  EXPECT_FALSE(manager.IsAnimObjectStatic(ghost));

  record.objectIndex = static_cast<uint32_t>(ghost);
  record.position = {4, 5, 6};
  hub.Deliver(zk_hub::kGhostCarStateLists[1], record);
  EXPECT_TRUE(manager.IsAnimObjectStatic(ghost));
  EXPECT_TRUE(VectorNear(Row(TM(ghost)->fixed, 3), {4, 6, 5}, 0));
  record.position = {-1, -2, -3};
  hub.Deliver(zk_hub::kGhostCarStateLists[0], record);
  EXPECT_TRUE(VectorNear(Row(manager.EvaluateTransform(ghost, 0, nullptr), 3), {-1, -3, -2}, 0));
}
