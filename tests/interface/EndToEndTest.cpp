// The whole road through the exported facade, as a host meets the library: a host kit global
// object and hub, libzelkar.so loaded with dlopen (process attach), a character read from a
// hierarchy file, a scene loaded, added and selected, updates at several host times, node
// matrices read back and compared with positions computed here from the keys, then the session
// clean-up and the unload (process detach).
#include <gtest/gtest.h>
#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <cmath>
#include <string>
#include <vector>

#include "files/FilesTestSupport.h"
#include "foundation/Math.h"
#include "hostkit/Host.h"
#include "hostkit/LoadedLibrary.h"
#include "hostkit/NodeSpace.h"
#include "loading/SceneLoaderTestSupport.h"
#include "support/Near.h"

namespace {

using zk_test::SceneBytes;

//   root
//   └── hip (bone, rest at (0, 1, 0))
//       └── hand (bone)
//           └── prop (attached: follows the character's placement)
std::string Hierarchy() {
  SceneBytes b;
  b.Header().Begin(18, 0).U32(3);
  b.Node(47, "hip", 1, -1, Translation(0, 1, 0), 2).Node(47, "hand", 2, 1, g_IdentityMatrix, 2);
  b.Node(47, "prop", 3, 2, g_IdentityMatrix, 0).End();
  return std::string(b.bytes.begin(), b.bytes.end());
}

// Scene "Walk" over [0, 2]: hip moves from (0, 0, 0) to (2, 0, 0) while turning a quarter about
// Z; hand sits at (1, 0, 0) from the hip. Slots of another class (99) stay empty.
std::string Scene() {
  SceneBytes b;
  b.Header().Object("hip::PRS").Begin(7, 28);
  b.Begin(8, 26).Track(43, 2).F32(0).Vec3(0, 0, 0).F32(2).Vec3(2, 0, 0).End().End();
  b.Begin(9, 27).Track(44, 2).F32(0).AxisAngle(0, 0, 0, 1);
  b.F32(2).AxisAngle(zk_math::kHalfPi, 0, 0, 1).End().End();
  b.Begin(99, 0).End().End().End();
  b.Object("hand::PRS").Begin(7, 28);
  b.Begin(8, 26).Track(43, 1).F32(0).Vec3(1, 0, 0).End().End();
  b.Begin(99, 0).End().Begin(99, 0).End().End().End();
  b.Begin(20, 0).F32(0).F32(2).End();
  return std::string(b.bytes.begin(), b.bytes.end());
}

TEST(EndToEnd, CharacterPlaysASceneThroughTheExportedFacade) {
  files_test::TempDir dir;
  const std::string hierarchy = dir / "Bob.hie";
  const std::string scene = dir / "Walk.zka";
  files_test::WriteFile(hierarchy, Hierarchy());
  files_test::WriteFile(scene, Scene());

  zk_hostkit::CHost host;
  // An exception escaping this test would be read after the library is unloaded by the unwinding
  // (its type lives in the library), so every call that may throw is checked in place.
  zk_hostkit::CLoadedLibrary library(ZELKAR_SHARED_LIBRARY_PATH);
  // Loading ran process attach: the controller manager joined the host's hub (seven solid-state
  // lists, two ghost-car lists).
  EXPECT_EQ(host.hub.TotalConnections(), 9u);
  EXPECT_EQ(library.Symbol("ZelkarProcessAttach"), nullptr);  // not exported
  auto create = library.Function<ZK_CreateFunction>("ZK_Create");
  ASSERT_NE(create, nullptr);
  auto* zk = static_cast<CZelkarInterfaceExt*>(create());
  ASSERT_NE(zk, nullptr);

  ASSERT_NO_THROW(zk->CreateHumanCharacter(hierarchy, "", "Bob", "Spectator"));
  ASSERT_NO_THROW(zk->LoadAnimationScene(scene, "Walk"));
  zk->AddAnimation("Bob", "Walk", 0);
  int bob = -1;
  ASSERT_NO_THROW(bob = zk->GetCharacterIndex("Bob"));
  EXPECT_EQ(zk->GetAnimationCount(bob, 0), 1);
  EXPECT_GE(zk->FindController("Walk::hip::PRS"), 0);
  EXPECT_GE(zk->FindController("Walk::hip::PRS::pos"), 0);

  const int hip = zk->GetNodeIndex("Bob", "hip");
  const int hand = zk->GetNodeIndex("Bob", "hand");
  const int prop = zk->FindNodeIndex(bob, "prop");
  ASSERT_NE(prop, -1);
  EXPECT_EQ(zk->FindNodeIndex(bob, "foot"), -1);
  // Before any animation the nodes hold their rest transforms.
  const auto at = [&](int node) { return MatrixGetTranslation(*zk->GetNodeMatrix(node)); };
  EXPECT_TRUE(Near(at(hip), {0, 1, 0}, 1e-4f));

  zk->SetAnimation(bob, 0, 0);
  const Vector3 placement = {10, 0, 0};
  zk->SetPosition(bob, &placement);
  for (float t : {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f}) {
    zk->Update(t);
    const float u = std::fmin(t, 2.0f) / 2.0f;  // held after the last key
    const float angle = zk_math::kHalfPi * u;
    const Vector3 hipAt = {2.0f * u, 0, 0};
    const Vector3 handAt = {std::cos(angle) + hipAt.x, std::sin(angle), 0};
    EXPECT_TRUE(Near(at(hip), hipAt, 1e-4f)) << t;
    EXPECT_TRUE(Near(at(hand), handAt, 1e-4f)) << t;
    // The prop has no controller in the scene: it stays on the hand, then follows the placement.
    EXPECT_TRUE(Near(at(prop), handAt + placement, 1e-4f)) << t;
    EXPECT_NEAR(zk->GetRemainingTime(bob), 2.0f - t, 1e-5f);
  }
  EXPECT_TRUE(Near(MatrixGetTranslation(*zk->GetMatrix(bob)), placement, 1e-4f));

  // The animated object behind the hip answers the host's queries too.
  const int hipObject = zk->GetNodeAnimObject(hip);
  EXPECT_GT(hipObject, 0);
  EXPECT_FALSE(zk->IsAnimObjectStatic(hipObject));
  EXPECT_TRUE(Near(MatrixGetTranslation(zk->GetAnimObjectMatrix(hipObject)), {2, 0, 0}, 1e-4f));

  // A car may be built from any hierarchy: one without the car's nodes is a car that moves
  // nothing of its own, registered after Bob.
  zk->CreateCharacter(hierarchy, "Car1", "car");
  EXPECT_EQ(zk->GetCharacterIndex("Car1"), 1);
  // A damaged file is refused with a message that names it.
  try {
    zk->LoadAnimationScene(hierarchy + ".missing", "Nothing");
    ADD_FAILURE() << "a missing file loaded";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("Bob.hie.missing"), std::string::npos) << e.what();
  }

  host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  EXPECT_THROW(zk->GetCharacterIndex("Bob"), std::exception);
  EXPECT_EQ(zk->FindController("Walk::hip::PRS"), -1);
  EXPECT_TRUE(zk->IsAnimObjectStatic(0));

  delete zk;
  library.Function<ZK_DeleteFunction>("ZK_Delete")();
  EXPECT_EQ(host.hub.CountAt(zk_hub::kSessionCleanupList), 0u);
  EXPECT_TRUE(library.Close());
  // Unloading ran process detach, unless the loader kept the library: nothing is left in the hub.
  if (!zk_hostkit::CLoadedLibrary::IsLoaded(ZELKAR_SHARED_LIBRARY_PATH)) {
    EXPECT_EQ(host.hub.TotalConnections(), 0u);
  }
}

}  // namespace

// A node's world matrix as the host kit works it out, for a spectator placed and turned by the
// host: each node must stand where the same node of a spectator left at the origin stands,
// turned and moved by the placement (bones through the character's matrix, attached and placed
// nodes already carried by it).
TEST(EndToEnd, HostKitGivesEveryNodeKindItsWorldMatrix) {
  const std::string samples = ZELKAR_BINARY_DIR "/assets/samples/";
  zk_hostkit::CHost host;
  zk_hostkit::CLoadedLibrary library(ZELKAR_SHARED_LIBRARY_PATH);
  auto* zk = static_cast<CZelkarInterfaceExt*>(library.Function<ZK_CreateFunction>("ZK_Create")());
  ASSERT_NE(zk, nullptr);
  ASSERT_NO_THROW(zk->LoadAnimationScene(samples + "idle_loop.zka", "idle_loop"));
  zk->ResolveSceneTargets("idle_loop");
  int people[2];
  for (int k = 0; k < 2; ++k) {
    const std::string name = k == 0 ? "Origin" : "Placed";
    ASSERT_NO_THROW(
        zk->CreateHumanCharacter(samples + "human_skeleton.zkh", "", name, "Spectator"));
    zk->AddAnimation(name, "idle_loop", 0);
    people[k] = zk->GetCharacterIndex(name);
    zk->SetAnimation(people[k], 0, 0);
  }
  const Vector3 place = {2000, -300, 500};
  zk->SetPosition(people[1], &place);
  zk->SetRotation(people[1], 0, 0, zk_math::kHalfPi);
  zk->Update(0.7f);
  Matrix placement;
  D3DXMatrixRotationZ(&placement, zk_math::kHalfPi);
  placement.m[12] = place.x;
  placement.m[13] = place.y;
  placement.m[14] = place.z;
  const struct {
    const char* node;
    uint32_t kind;
  } cases[] = {{"B_head", zk_hostkit::kNodeBone},
               {"D_mother", zk_hostkit::kNodeAttached},
               {"D_world", zk_hostkit::kNodePlaced}};
  for (const auto& c : cases) {
    Matrix world[2];
    for (int k = 0; k < 2; ++k)
      world[k] = zk_hostkit::NodeWorldMatrix(*zk, people[k], zk->FindNodeIndex(people[k], c.node),
                                             c.kind, zk_hostkit::ECharacterKind::kHuman);
    const Matrix expected = zk_hostkit::MultiplyMatrices(world[0], placement);
    for (int e = 0; e < 16; ++e) EXPECT_NEAR(world[1].m[e], expected.m[e], 1e-3f) << c.node << e;
  }
  delete zk;
}
