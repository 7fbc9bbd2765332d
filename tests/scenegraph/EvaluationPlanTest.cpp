// A character's frame runs through its flat evaluation plan; the recursive node update, which
// samples every track through the general Evaluate, stays as the reference. Each case plays a
// character for 1,000 frames while the host changes what it plays, freezes it, detaches a node,
// fixes an object from a signal, and runs its clock backwards; every frame the plan's matrices
// must match the reference's to 1e-6 relative, and a second run from scratch must give the same
// matrices to the bit.
#include <gtest/gtest.h>
#include <zelkar/Signals.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "characters/Character.h"
#include "characters/CharacterManager.h"
#include "controllers/AnimationController.h"
#include "controllers/ControllerManager.h"
#include "interface/LibraryGlobal.h"
#include "interface/Zelkar.h"
#include "scenegraph/Node.h"
#include "support/LibraryFixture.h"

namespace {

CZK_ControllerManager& Controllers() { return *GetLibraryGlobal()->controllerManager; }
CZK_CharacterManager& Characters() { return *GetLibraryGlobal()->characterManager; }

// ---- Random scenes: a random tree of PRS and plain nodes, each PRS node on linear, Bezier or
// TCB position and rotation tracks (or none) with random key times and out-of-range kinds.

// A track of 1 to 7 keys, now and then two at one time, with random out-of-range kinds; each
// key gets whichever of these fields its class has.
template <class Track>
Track* RandomTrack(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  auto* track = new Track();
  float time = u(rng) * 2.0f;
  for (unsigned k = 0, keys = 1 + rng() % 7; k < keys; ++k) {
    typename Track::KeyType key;
    key.time = time;
    if constexpr (requires { key.value = 0.0f; })
      key.value = 3 * u(rng);  // an Euler angle
    else if constexpr (requires { key.value; })
      key.value = {u(rng), u(rng), u(rng)};
    if constexpr (requires { key.scale; }) key.scale = {1 + u(rng) / 2, 1 + u(rng) / 2, 1.2f};
    if constexpr (requires { key.rotation; })
      key.rotation = QuaternionFromAxisAngle(Vec3Normalized({u(rng), u(rng), 0.5f}), 3 * u(rng));
    if constexpr (requires { key.outTangent[0].dt; }) {
      for (int a = 0; a < 3; ++a) {
        key.inTangent[a] = {-0.3f + 0.2f * u(rng), u(rng)};
        key.outTangent[a] = {0.3f + 0.2f * u(rng), u(rng)};
      }
    }
    if constexpr (requires { key.tension; }) {
      key.tension = u(rng) / 2;
      key.continuity = u(rng) / 2;
      key.easeIn = u(rng) + 1.0f;
    }
    track->AddKey(key);
    time += rng() % 5 == 0 ? 0.0f : 0.1f + 0.5f * (u(rng) + 1.0f);
  }
  track->outOfRangeBefore = rng() % 4;
  track->outOfRangeAfter = rng() % 4;
  track->Prepare();
  return track;
}

// Three Euler angles on linear tracks, now and then one on a Bezier track or none.
CZK_AnimationControllerEulerXYZ* RandomEuler(std::mt19937& rng, const std::string& name) {
  auto* euler = new CZK_AnimationControllerEulerXYZ(name + "::rot");
  for (int a = 0; a < 3; ++a) {
    auto* angle = new CZK_AnimationControllerFloat(name + "::" + "xyz"[a]);
    const unsigned kind = rng() % 8;
    if (kind == 0) angle->SetTrack(RandomTrack<CZK_AnimTrackFloatBezier>(rng));
    if (kind > 1) angle->SetTrack(RandomTrack<CZK_AnimTrackFloatLinear>(rng));
    Controllers().AddController(angle);
    euler->SetAxis(a, angle);
  }
  return euler;
}

// Position linear, Bezier, TCB or none; rotation the same or Euler angles; now and then a scale
// track.
CZK_AnimationControllerBase* RandomPRS(std::mt19937& rng, const std::string& name) {
  auto* prs = new CZK_AnimationControllerPRS(name);
  const unsigned kinds = static_cast<unsigned>(rng());
  auto* pos = new CZK_AnimationControllerPositionVector(name + "::pos");
  CZK_AnimationControllerRotationBase* rot =
      kinds / 4 % 4 == 3 && kinds % 2 == 0
          ? static_cast<CZK_AnimationControllerRotationBase*>(RandomEuler(rng, name))
          : new CZK_AnimationControllerRotationQuaternion(name + "::rot");
  auto* quaternion = dynamic_cast<CZK_AnimationControllerRotationQuaternion*>(rot);
  auto* scale = new CZK_AnimationControllerScale(name + "::scl");
  if (kinds % 4 == 0) pos->SetTrack(RandomTrack<CZK_AnimTrackPositionLinear>(rng));
  if (kinds % 4 == 1) pos->SetTrack(RandomTrack<CZK_AnimTrackPositionBezier>(rng));
  if (kinds % 4 == 2) pos->SetTrack(RandomTrack<CZK_AnimTrackPositionTCB>(rng));
  if (kinds / 4 % 4 == 0) quaternion->SetTrack(RandomTrack<CZK_AnimTrackRotationLinear>(rng));
  if (kinds / 4 % 4 == 1) quaternion->SetTrack(RandomTrack<CZK_AnimTrackRotationBezier>(rng));
  if (kinds / 4 % 4 == 2) quaternion->SetTrack(RandomTrack<CZK_AnimTrackRotationTCB>(rng));
  if (kinds % 5 == 0) scale->SetTrack(RandomTrack<CZK_AnimTrackScaleLinear>(rng));
  for (CZK_AnimationControllerBase* c : {static_cast<CZK_AnimationControllerBase*>(pos),
                                         static_cast<CZK_AnimationControllerBase*>(rot),
                                         static_cast<CZK_AnimationControllerBase*>(scale)})
    Controllers().AddController(c);
  prs->SetPosition(pos);
  prs->SetRotation(rot);
  if (kinds % 5 == 0) prs->SetScale(scale);
  return prs;
}

CZK_Character* RandomCharacter(unsigned seed) {
  std::mt19937 rng(seed);
  auto* c = new CZK_Character("R", GetRuntimeContext());
  Characters().AddCharacter(c);
  const int nodes = 40;
  for (int n = 1; n <= nodes; ++n) {
    const int parent = n == 1 ? -1 : 1 + static_cast<int>(rng() % static_cast<unsigned>(n - 1));
    const std::string name = std::to_string(n).insert(0, 1, 'n');
    CZK_Node* node = n % 9 == 0 ? new CZK_Node(name, n, parent) : new CZK_NodePRS(name, n, parent);
    node->kind = n % 17 == 0 ? kNodeAttached : kNodeBone;
    c->AttachNode(node);
    node->registryIndex = Characters().AddNode(node);
  }
  for (const char* scene : {"A", "B"}) {
    Controllers().AddSceneRecord({scene, 0.0f, 3.0f});
    for (int n = 1; n <= nodes; ++n)
      Controllers().AddController(
          RandomPRS(rng, std::string(scene) + "::n" + std::to_string(n) + "::PRS"));
  }
  c->AddAnimation("A", 0);
  c->AddAnimation("B", 1);
  return c;
}

// ---- Sample scenes, played by a plain character (a human for the human skeleton).

// Without the tools no sample is built, and the cases below play the random scenes alone.
#ifdef ZELKAR_ASSET_DIR
constexpr bool kSamplesBuilt = true;
#else
constexpr bool kSamplesBuilt = false;
#define ZELKAR_ASSET_DIR ""
#endif
CZK_Character* SampleCharacter(CZK_Zelkar& facade, const char* hierarchy, const char* scene) {
  const std::string samples = ZELKAR_ASSET_DIR "/samples/";
  const bool human = std::strcmp(hierarchy, "human_skeleton") == 0;
  if (human)
    facade.CreateHumanCharacter(samples + hierarchy + ".zkh", "", "S", "Spectator");
  else
    facade.CreateCharacter(samples + hierarchy + ".zkh", "S", "Plain");
  facade.LoadAnimationScene(samples + scene + ".zka", scene);
  facade.ResolveSceneTargets(scene);
  // The same scene bound twice: the second category plays it through other objects.
  facade.AddAnimation("S", scene, 0);
  facade.AddAnimation("S", scene, 1);
  return Characters().GetCharacter(facade.GetCharacterIndex("S"));
}

// ---- The run.

// The tree in walk order, with each node's parent as an index into the list (-1 for the root).
void Collect(CZK_Node* node, int parent, std::vector<CZK_Node*>& out, std::vector<int>& parents) {
  const int self = static_cast<int>(out.size());
  out.push_back(node);
  parents.push_back(parent);
  for (CZK_Node* child : node->children) Collect(child, self, out, parents);
}

// The frame as the recursive update gives it, with the placement written as Update writes it.
void ReferenceFrame(CZK_Character* c, float hostTime) {
  if (c->IsFrozen()) return;
  c->GetRoot()->Update(c->LocalTime(hostTime), &g_IdentityMatrix);
  for (CZK_Node* n : c->GetPlacedNodes()) n->matrix = *c->GetMatrix();
  for (CZK_Node* n : c->GetAttachedNodes()) n->MultiplyMatrix(c->GetMatrix());
  c->GetRoot()->matrix = *c->GetMatrix();
}

// Plays 1,000 frames; returns every plan matrix in order, checking each frame against the
// reference. Host changes happen at fixed frames.
std::vector<Matrix> Play(CZK_Character* c, const char* label) {
  std::vector<CZK_Node*> nodes;
  std::vector<int> parents;
  Collect(c->GetRoot(), -1, nodes, parents);
  std::vector<float> size(nodes.size());
  c->SetPosition({1.0f, -2.0f, 0.5f});
  c->SetRotation(0.3f, -0.2f, 1.1f);
  c->SetAnimation(0, 0);
  std::vector<Matrix> played;
  played.reserve(nodes.size() * 1000);
  std::vector<Matrix> plan(nodes.size());
  float time = 0.0f;
  int mismatches = 0;
  for (int frame = 0; frame < 1000; ++frame) {
    if (frame == 250) c->SetAnimation(1, 0);
    if (frame == 400) c->SetFrozen(1);
    if (frame == 450) c->SetFrozen(0);
    if (frame == 500) nodes[nodes.size() / 2]->Detach();
    if (frame == 600) {
      c->SetAnimation(0, 0);
      time -= 7.0f;  // the host clock jumps back
    }
    if (frame == 700) {
      // Solid-state signals fix the objects of every third node the plan may sample directly.
      CSigSolidGeneralState fixed{};
      fixed.position = {0.5f, 1.0f, -1.0f};
      fixed.orientation = {0.0f, 0.6f, 0.0f, 0.8f};
      for (size_t k = 0; k < nodes.size(); k += 3) {
        if (dynamic_cast<CZK_NodePRS*>(nodes[k]) == nullptr || nodes[k]->GetAnimObject(0) == 0)
          continue;
        fixed.objectIndex = static_cast<uint32_t>(nodes[k]->GetAnimObject(0));
        Controllers().OnSolidGeneralState(fixed);
      }
    }
    if (frame == 800) c->SetSpeed(-0.5f);
    Characters().UpdateAll(time);
    for (size_t k = 0; k < nodes.size(); ++k) plan[k] = nodes[k]->matrix;
    played.insert(played.end(), plan.begin(), plan.end());
    ReferenceFrame(c, time);
    for (size_t k = 0; k < nodes.size(); ++k) {
      // Relative to the largest element of the matrix and of those above it: a translation
      // carries the rounding of every rotation above it times its lever arm.
      size[k] = parents[k] < 0 ? 1.0f : size[static_cast<size_t>(parents[k])];
      for (float x : nodes[k]->matrix.m) size[k] = std::fmax(size[k], std::fabs(x));
      for (int e = 0; e < 16; ++e) {
        const float want = nodes[k]->matrix.m[e];
        const float got = plan[k].m[e];
        if (!(std::fabs(got - want) <= 1e-6f * size[k]) && mismatches++ < 5)
          ADD_FAILURE() << label << " frame " << frame << " node " << nodes[k]->name << " element "
                        << e << ": plan " << got << ", reference " << want;
      }
    }
    time += 0.021f;
  }
  // The plan really sampled nodes itself rather than handing them all to the general path.
  EXPECT_GT(c->GetPlan().GetDirectCount(), 0u) << label;
  return played;
}

struct Case {
  const char* hierarchy;  // null: a random scene of the given seed
  const char* scene;
  unsigned seed;
};

class EvaluationPlanTest : public LibraryFixture {};

TEST_F(EvaluationPlanTest, PlaysAsTheRecursiveUpdateAndTheSameTwice) {
  const Case cases[] = {
      {"human_skeleton", "codriver_notes", 0},
      {"human_skeleton", "driver_steer", 0},
      {"human_skeleton", "idle_loop", 0},
      {"rally_car", "car_idle", 0},
      {"rally_car_sequential", "car_idle", 0},
      {nullptr, "random", 1},
      {nullptr, "random", 2},
      {nullptr, "random", 3},
      {nullptr, "random", 4},
  };
  for (const Case& k : cases) {
    if (k.hierarchy != nullptr && !kSamplesBuilt) continue;
    const std::string label =
        k.hierarchy ? std::string(k.hierarchy) + "/" + k.scene : "random " + std::to_string(k.seed);
    std::vector<Matrix> runs[2];
    for (std::vector<Matrix>& run : runs) {
      // Each run on a library stood up afresh.
      TearDown();
      SetUp();
      CZK_Zelkar facade;
      CZK_Character* c =
          k.hierarchy ? SampleCharacter(facade, k.hierarchy, k.scene) : RandomCharacter(k.seed);
      run = Play(c, label.c_str());
    }
    ASSERT_EQ(runs[0].size(), runs[1].size());
    EXPECT_EQ(std::memcmp(runs[0].data(), runs[1].data(), runs[0].size() * sizeof(Matrix)), 0)
        << label << ": a second run differs";
  }
}

}  // namespace
