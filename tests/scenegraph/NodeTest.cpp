#include <gtest/gtest.h>

#include "scenegraph/Node.h"
#include "scenegraph/NodeAnimationConnector.h"
#include "support/LibraryFixture.h"

namespace {

class NodeTest : public LibraryFixture {
 protected:
  // Binds node to scene S through the connector, as AddAnimation does for a whole tree.
  void Connect(CZK_Node* node, const std::string& scene = "S") {
    CZK_NodeAnimationConnector connector(scene);
    node->Accept(&connector);
  }
};

}  // namespace

//   root (plain)
//   └── A (PRS, at (1, 0, 0))
//       └── P (plain)
//           └── B (PRS, at (0, 2, 0))
TEST_F(NodeTest, PlainNodeBetweenTwoAnimatedNodesIsTransparent) {
  AddStaticPRS("S::A::PRS", {1, 0, 0});
  AddStaticPRS("S::B::PRS", {0, 2, 0});
  CZK_Node root("root", -1, -1);
  auto* a = new CZK_NodePRS("A", 1, -1);
  auto* p = new CZK_Node("P", 2, 1);
  auto* b = new CZK_NodePRS("B", 3, 2);
  root.AddChild(a);
  a->AddChild(p);
  p->AddChild(b);
  Connect(a);
  Connect(b);
  p->matrix = Translation(100, 100, 100);  // a plain node's own matrix is never used

  root.Update(0.0f, &g_IdentityMatrix);
  ExpectMatrixNear(a->matrix, Translation(1, 0, 0));
  ExpectMatrixNear(b->matrix, Translation(1, 2, 0));
  ExpectMatrixNear(p->matrix, Translation(100, 100, 100));
}

//   root
//   └── A (PRS, at (1, 0, 0))
//       └── D (PRS, detached, at (0, 0, 5))
TEST_F(NodeTest, DetachedNodeIgnoresItsParent) {
  AddStaticPRS("S::A::PRS", {1, 0, 0});
  AddStaticPRS("S::D::PRS", {0, 0, 5});
  CZK_Node root("root", -1, -1);
  auto* a = new CZK_NodePRS("A", 1, -1);
  auto* d = new CZK_NodePRS("D", 2, 1);
  root.AddChild(a);
  a->AddChild(d);
  Connect(a);
  Connect(d);
  d->Detach();
  root.Update(0.0f, &g_IdentityMatrix);
  ExpectMatrixNear(d->matrix, Translation(0, 0, 5));
}

TEST_F(NodeTest, NodeWithoutAnimationKeepsItsLoadedMatrixAndStillUpdatesChildren) {
  AddStaticPRS("S::C::PRS", {0, 1, 0});
  CZK_NodePRS unbound("U", 1, -1);
  unbound.matrix = Translation(3, 0, 0);
  auto* child = new CZK_NodePRS("C", 2, 1);
  unbound.AddChild(child);
  Connect(child);
  unbound.Update(0.0f, &g_IdentityMatrix);
  ExpectMatrixNear(unbound.matrix, Translation(3, 0, 0));
  ExpectMatrixNear(child->matrix, Translation(3, 1, 0));

  // An animation id past the node's entries leaves it alone too.
  child->SetCurrentAnimation(5);
  child->matrix = Translation(9, 9, 9);
  unbound.Update(0.0f, &g_IdentityMatrix);
  ExpectMatrixNear(child->matrix, Translation(9, 9, 9));
}

TEST_F(NodeTest, AnimatedNodeFollowsItsTrackOverTime) {
  AddMovingPRS("S::M::PRS", {0, 0, 0}, {10, 0, 0}, 0.0f, 2.0f);
  CZK_NodePRS node("M", 1, -1);
  Connect(&node);
  const Matrix parent = Translation(0, 0, 1);
  for (float t : {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f}) {
    node.Update(t, &parent);
    const float x = t < 2.0f ? 5.0f * t : 10.0f;
    ExpectMatrixNear(node.matrix, Translation(x, 0, 1));
  }
}

TEST_F(NodeTest, ConnectorAsksForTheNamesOfTheSceneAndNode) {
  AddStaticPRS("Walk::Hip::PRS", {0, 0, 0});
  CZK_NodePRS hip("Hip", 1, -1);
  Connect(&hip, "Walk");
  const int object = hip.animObject;
  EXPECT_EQ(Controllers().FindAnimObject("Walk::Hip::PRS"), object);
  EXPECT_FALSE(Controllers().IsAnimObjectStatic(object));

  CZK_NodePS ps("Hip", 2, -1);
  Connect(&ps, "Walk");
  ASSERT_EQ(ps.positionObjects.size(), 1u);
  ASSERT_EQ(ps.scaleObjects.size(), 1u);
  EXPECT_EQ(Controllers().FindAnimObject("Walk::Hip::Position"), ps.positionObjects[0]);
  EXPECT_EQ(Controllers().FindAnimObject("Walk::Hip::Scale"), ps.scaleObjects[0]);

  // A missing PRS controller gives a fixed-mode object: the node stays at its parent.
  CZK_NodePRS orphan("Nothing", 3, -1);
  Connect(&orphan, "Walk");
  EXPECT_TRUE(Controllers().IsAnimObjectStatic(orphan.animObject));
  const Matrix parent = Translation(4, 5, 6);
  orphan.Update(0.0f, &parent);
  ExpectMatrixNear(orphan.matrix, parent);
}

TEST_F(NodeTest, AttachingTheSameSceneTwiceGivesTwoObjectsOnOneController) {
  AddMovingPRS("S::A::PRS", {0, 0, 0}, {1, 0, 0});
  CZK_NodePRS node("A", 1, -1);
  Connect(&node);
  Connect(&node);
  ASSERT_EQ(node.animObjects.size(), 2u);
  EXPECT_NE(node.animObjects[0], node.animObjects[1]);
  EXPECT_EQ(node.GetAnimObject(1), node.animObject);
  // Both entries play the same controller.
  node.SetCurrentAnimation(1);
  node.Update(0.5f, &g_IdentityMatrix);
  ExpectMatrixNear(node.matrix, Translation(0.5f, 0, 0));
}

TEST_F(NodeTest, PlainTreeMakesNoAnimatedObjects) {
  CZK_Node root("root", -1, -1);
  root.AddChild(new CZK_Node("a", 1, -1));
  const auto before = Controllers().GetCounts().animObjects;
  CZK_NodeAnimationConnector connector("S");
  root.Accept(&connector);
  root.children[0]->Accept(&connector);
  EXPECT_EQ(Controllers().GetCounts().animObjects, before);
}

TEST_F(NodeTest, PositionScaleNodeComposesTranslationScaleAndParent) {
  // A position controller at (1, 2, 3) and no scale controller: scale stays the identity.
  auto* track = new CZK_AnimTrackPositionLinear();
  CZK_KeyFrameLinearPosition key;
  key.value = {1, 2, 3};
  track->AddKey(key);
  track->Prepare();
  auto* position = new CZK_AnimationControllerPositionVector("S::P::Position");
  position->SetTrack(track);
  Controllers().AddController(position);

  CZK_NodePS node("P", 1, -1);
  Connect(&node);
  const Matrix parent = Translation(10, 0, 0);
  node.Update(7.0f, &parent);
  ExpectMatrixNear(node.matrix, Translation(11, 2, 3));
  node.Detach();
  node.Update(7.0f, &parent);
  ExpectMatrixNear(node.matrix, Translation(1, 2, 3));
}

//   root
//   ├── x (id 1)
//   │   └── y (id 3)
//   └── x (id 2)
TEST(NodeSearch, StackOrderMeetsTheLaterSiblingFirst) {
  CZK_Node root("root", -1, -1);
  auto* first = new CZK_Node("x", 1, -1);
  auto* second = new CZK_Node("x", 2, -1);
  root.AddChild(first);
  root.AddChild(second);
  first->AddChild(new CZK_Node("y", 3, 1));
  EXPECT_EQ(CZK_Node::FindNodeByName("x", &root), second);
  EXPECT_EQ(CZK_Node::FindNodeById(1, &root), first);
  EXPECT_EQ(CZK_Node::FindNodeById(-1, &root), &root);
  EXPECT_EQ(CZK_Node::FindNodeByName("y", &root)->id, 3);
  EXPECT_EQ(CZK_Node::FindNodeByName("z", &root), nullptr);
  EXPECT_EQ(CZK_Node::FindNodeById(42, &root), nullptr);

  root.SetCurrentAnimation(4);
  EXPECT_EQ(first->children[0]->currentAnimation, 4u);
  EXPECT_EQ(second->currentAnimation, 4u);
}

TEST(NodeClone, IsAPlainNodeWithTheSameIdentityAndNoChildren) {
  CZK_NodePRS node("arm", 7, 3);
  node.fullName = "Bobarm";
  node.matrix = Translation(1, 2, 3);
  node.registryIndex = 12;
  node.currentAnimation = 2;
  node.AddChild(new CZK_Node("hand", 8, 7));
  std::unique_ptr<CZK_Node> clone(node.Clone());
  const CZK_Node& cloned = *clone;
  EXPECT_EQ(typeid(cloned), typeid(CZK_Node));
  EXPECT_EQ(clone->name, "arm");
  EXPECT_EQ(clone->fullName, "Bobarm");
  EXPECT_EQ(clone->id, 7);
  EXPECT_EQ(clone->parentId, 3);
  EXPECT_EQ(clone->registryIndex, 12);
  EXPECT_EQ(clone->currentAnimation, 2u);
  EXPECT_TRUE(clone->children.empty());
  ExpectMatrixNear(clone->matrix, node.matrix);
}

TEST(NodeMultiply, AppliesTheNodeMatrixFirst) {
  CZK_Node node("n", 1, -1);
  node.matrix = Translation(1, 0, 0);
  Matrix rotation;
  D3DXMatrixRotationZ(&rotation, zk_math::kHalfPi);
  node.MultiplyMatrix(&rotation);
  // (1, 0, 0) turned a quarter about Z lands on (0, 1, 0).
  EXPECT_NEAR(node.matrix.m[12], 0.0f, 1e-6f);
  EXPECT_NEAR(node.matrix.m[13], 1.0f, 1e-6f);
}
