// The whole road through the exported facade, as a host meets the library: a host kit global
// object and hub, libzelkar.so loaded with dlopen, a character read from a hierarchy file, a scene
// loaded, added and selected, updates at several host times, node matrices read back and
// compared with positions computed here from the keys, then the session clean-up.
#include <gtest/gtest.h>
#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/FilesTestSupport.h"
#include "foundation/DiskWriter.h"
#include "foundation/Math.h"
#include "hostkit/Host.h"
#include "hostkit/LoadedLibrary.h"

namespace {

constexpr const char* kLibrary = ZELKAR_SHARED_LIBRARY_PATH;
constexpr char kHeader[] = "[[ZELKAR:SCENE:HDR]]!!";  // and its terminating zero: 23 bytes

void BeginChunk(CDiskWriter& w, uint32_t cls, uint32_t subclass) {
  const uint32_t id[2] = {cls, subclass};
  w.BeginChunk(id, 8);
}

// A node record: transform nodes (47) carry the rest transform as 3 columns of 4.
void WriteNode(CDiskWriter& w, const char* name, uint32_t id, uint32_t parent, Vector3 at,
               uint32_t kind) {
  BeginChunk(w, 1, 47);
  w.WriteString(name);
  w.WriteUInt(id);
  w.WriteUInt(parent);
  const float columns[12] = {1, 0, 0, at.x, 0, 1, 0, at.y, 0, 0, 1, at.z};
  for (float f : columns) w.WriteFloat(f);
  w.WriteUInt(kind);
  w.EndChunk();
}

//   root
//   └── hip (bone, rest at (0, 1, 0))
//       └── hand (bone)
//           └── prop (attached: follows the character's placement)
void WriteHierarchy(const std::string& path) {
  CDiskWriter w;
  w.Create(path.c_str());
  w.WriteBytes(kHeader, sizeof(kHeader));
  BeginChunk(w, 18, 0);
  w.WriteUInt(3);
  WriteNode(w, "hip", 1, 0xFFFFFFFFu, {0, 1, 0}, 2);
  WriteNode(w, "hand", 2, 1, {0, 0, 0}, 2);
  WriteNode(w, "prop", 3, 2, {0, 0, 0}, 0);
  w.EndChunk();
  w.Close();
}

void WritePositionTrack(CDiskWriter& w, const std::vector<std::pair<float, Vector3>>& keys) {
  BeginChunk(w, 8, 26);
  BeginChunk(w, 13, 43);
  w.WriteUInt(0);
  w.WriteUInt(0);
  w.WriteUInt(static_cast<uint32_t>(keys.size()));
  for (const auto& [time, value] : keys) {
    w.WriteFloat(time);
    w.WriteVector3(value);
  }
  w.EndChunk();
  w.EndChunk();
}

// Scene "Walk" over [0, 2]: hip moves from (0, 0, 0) to (2, 0, 0) while turning a quarter about
// Z; hand sits at (1, 0, 0) from the hip.
void WriteScene(const std::string& path) {
  CDiskWriter w;
  w.Create(path.c_str());
  w.WriteBytes(kHeader, sizeof(kHeader));

  BeginChunk(w, 6, 21);
  w.WriteString("hip::PRS");
  BeginChunk(w, 7, 28);
  WritePositionTrack(w, {{0.0f, {0, 0, 0}}, {2.0f, {2, 0, 0}}});
  BeginChunk(w, 9, 27);
  BeginChunk(w, 13, 44);
  w.WriteUInt(0);
  w.WriteUInt(0);
  w.WriteUInt(2);
  for (float angle : {0.0f, zk_math::kHalfPi}) {
    w.WriteFloat(angle == 0.0f ? 0.0f : 2.0f);  // time
    w.WriteFloat(angle);
    w.WriteVector3({0, 0, 1});
  }
  w.EndChunk();
  w.EndChunk();
  BeginChunk(w, 99, 0);  // a scale slot of another class stays empty
  w.EndChunk();
  w.EndChunk();
  w.EndChunk();

  BeginChunk(w, 6, 21);
  w.WriteString("hand::PRS");
  BeginChunk(w, 7, 28);
  WritePositionTrack(w, {{0.0f, {1, 0, 0}}});
  for (int slot = 0; slot < 2; ++slot) {  // rotation and scale slots of another class: empty
    BeginChunk(w, 99, 0);
    w.EndChunk();
  }
  w.EndChunk();
  w.EndChunk();

  BeginChunk(w, 20, 0);
  w.WriteFloat(0.0f);
  w.WriteFloat(2.0f);
  w.EndChunk();
  w.Close();
}

Vector3 Translation(const Matrix* m) { return {m->m[12], m->m[13], m->m[14]}; }

void ExpectNear(const Vector3& a, const Vector3& b, const char* what, float time) {
  EXPECT_NEAR(a.x, b.x, 1e-4f) << what << " at host time " << time;
  EXPECT_NEAR(a.y, b.y, 1e-4f) << what << " at host time " << time;
  EXPECT_NEAR(a.z, b.z, 1e-4f) << what << " at host time " << time;
}

TEST(EndToEnd, CharacterPlaysASceneThroughTheExportedFacade) {
  files_test::TempDir dir;
  const std::string hierarchy = dir / "Bob.hie";
  const std::string scene = dir / "Walk.zka";
  WriteHierarchy(hierarchy);
  WriteScene(scene);

  zk_hostkit::CHost host;
  // An exception escaping this test would be read after the library is unloaded by the unwinding
  // (its type lives in the library), so every call that may throw is checked in place.
  zk_hostkit::CLoadedLibrary library(kLibrary);
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
  ExpectNear(Translation(zk->GetNodeMatrix(hip)), {0, 1, 0}, "hip at rest", 0);

  zk->SetAnimation(bob, 0, 0);
  const Vector3 placement = {10, 0, 0};
  zk->SetPosition(bob, &placement);
  for (float t : {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f}) {
    zk->Update(t);
    const float u = std::fmin(t, 2.0f) / 2.0f;  // held after the last key
    const float angle = zk_math::kHalfPi * u;
    const Vector3 hipAt = {2.0f * u, 0, 0};
    const Vector3 handAt = {std::cos(angle) + hipAt.x, std::sin(angle), 0};
    ExpectNear(Translation(zk->GetNodeMatrix(hip)), hipAt, "hip", t);
    ExpectNear(Translation(zk->GetNodeMatrix(hand)), handAt, "hand", t);
    // The prop has no controller in the scene: it stays on the hand, then follows the placement.
    ExpectNear(Translation(zk->GetNodeMatrix(prop)), handAt + placement, "prop", t);
    EXPECT_NEAR(zk->GetRemainingTime(bob), 2.0f - t, 1e-5f);
  }
  ExpectNear(Translation(zk->GetMatrix(bob)), placement, "character", 3);

  // The animated object behind the hip answers the host's queries too.
  const int hipObject = zk->GetNodeAnimObject(hip);
  EXPECT_GT(hipObject, 0);
  EXPECT_FALSE(zk->IsAnimObjectStatic(hipObject));
  const Matrix hipWorld = zk->GetAnimObjectMatrix(hipObject);
  ExpectNear(Translation(&hipWorld), {2, 0, 0}, "hip object", 3);

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
  EXPECT_TRUE(library.Close());
}

}  // namespace
