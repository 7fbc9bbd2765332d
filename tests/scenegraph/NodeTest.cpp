#include <gtest/gtest.h>

#include "scenegraph/Node.h"
#include "scenegraph/NodeAnimationConnector.h"
#include "scenegraph/NodeTree.h"
#include "support/LibraryFixture.h"

namespace {

class NodeTest : public LibraryFixture {
 protected:
  // Binds node to scene S through the connector, as AddAnimation does for a whole tree.
  void Connect(CZK_Node* node, const std::string& scene = "S") {
    tree_.controllers = &Controllers();
    if (node->GetTree() == nullptr) node->SetTree(&tree_);
    CZK_NodeAnimationConnector connector(scene, Controllers());
    node->Accept(&connector);
  }

  CZK_NodeTree tree_;
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
