// The sample assets as the build made them: the skeleton has the bones the in-car people look
// for, the two scenes together use every controller and key type, every node finds its objects,
// and the driver scene's frame 5 puts every bone back where the hierarchy has it.
#ifdef ZELKAR_ASSET_CORE

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "AssetFiles.h"
#include "AssetReader.h"

namespace NZelkarAsset {
namespace {

Document Load(const std::string& name) {
  const Bytes bytes = ReadWholeFile(std::string(ZELKAR_ASSET_DIR) + "/samples/" + name);
  return ReadDocument(bytes.data(), bytes.size(), name);
}

float F(F32 bits) { return std::bit_cast<float>(bits); }

struct Rot {
  double m[3][3];
};

Rot Mul(const Rot& a, const Rot& b) {
  Rot r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
  return r;
}

// The row-vector matrix of the quaternion of an axis-angle, written out independently of the
// library: q = (axis sin(a/2), cos(a/2)).
Rot FromAxisAngle(double angle, const double axis[3]) {
  const double s = std::sin(angle / 2), x = axis[0] * s, y = axis[1] * s, z = axis[2] * s,
               w = std::cos(angle / 2);
  return {{{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
           {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
           {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}}};
}

Rot FromEuler(double x, double y, double z) {
  const Rot rx{{{1, 0, 0}, {0, std::cos(x), std::sin(x)}, {0, -std::sin(x), std::cos(x)}}};
  const Rot ry{{{std::cos(y), 0, -std::sin(y)}, {0, 1, 0}, {std::sin(y), 0, std::cos(y)}}};
  const Rot rz{{{std::cos(z), std::sin(z), 0}, {-std::sin(z), std::cos(z), 0}, {0, 0, 1}}};
  return Mul(Mul(rx, ry), rz);
}

struct Pose {
  Rot rot;
  double pos[3];
};

// The values of a linear track's key at time t exactly (the key at that time, or the only key).
const F32* KeyAt(const Track& track, float t) {
  const KeyTypeInfo* info = FindKeyType(track.keyType);
  const size_t count = track.values.size() / info->floatCount;
  if (count == 1) return &track.values[0];
  for (size_t i = 0; i < count; ++i)
    if (F(track.values[i * info->floatCount]) == t) return &track.values[i * info->floatCount];
  return nullptr;
}

// A driver-scene object's local transform at time t, from its linear keys or samples.
bool LocalAt(const Controller& c, float t, Pose& out) {
  if (c.type == ControllerType::PRSSampled) {
    for (const Sample& s : c.samples)
      if (F(s.time) == t) {
        for (int r = 0; r < 3; ++r)
          for (int k = 0; k < 3; ++k) out.rot.m[r][k] = F(s.rows[r * 3 + k]);
        for (int k = 0; k < 3; ++k) out.pos[k] = F(s.rows[9 + k]);
        return true;
      }
    return false;
  }
  if (c.type != ControllerType::PRS) return false;
  const F32* p = KeyAt(c.parts[0].slot.track, t);
  if (!p) return false;
  for (int k = 0; k < 3; ++k) out.pos[k] = F(p[1 + k]);
  const Controller& rotation = c.parts[1];
  if (rotation.type == ControllerType::RotationQuaternion) {
    const F32* r = KeyAt(rotation.slot.track, t);
    if (!r) return false;
    const double axis[3] = {F(r[2]), F(r[3]), F(r[4])};
    out.rot = FromAxisAngle(F(r[1]), axis);
    return true;
  }
  if (rotation.type == ControllerType::EulerXYZ) {
    double angles[3];
    for (int i = 0; i < 3; ++i) {
      const F32* a = KeyAt(rotation.axes[i].slot.track, t);
      if (!a) return false;
      angles[i] = F(a[1]);
    }
    out.rot = FromEuler(angles[0], angles[1], angles[2]);
    return true;
  }
  return false;
}

struct Skeleton {
  std::vector<Node> nodes;
  std::map<int32_t, const Node*> byId;
};

Skeleton LoadSkeleton() {
  Skeleton s;
  const Document document = Load("human_skeleton.zkh");
  EXPECT_EQ(document.chunks.size(), 1u);
  if (document.chunks.empty()) return s;
  s.nodes = document.chunks[0].nodes;
  for (const Node& node : s.nodes) s.byId[node.id] = &node;
  return s;
}

TEST(AssetSamples, SkeletonHasTheBonesOfTheInCarPeople) {
  const Skeleton s = LoadSkeleton();
  EXPECT_GE(s.nodes.size(), 55u);
  EXPECT_LE(s.nodes.size(), 65u);
  std::map<std::string, const Node*> byName;
  std::set<uint32_t> kinds;
  for (const Node& node : s.nodes) {
    byName[node.name] = &node;
    kinds.insert(node.kind);
    // Parents come first in the file.
    if (node.parent != -1) {
      ASSERT_TRUE(s.byId.count(node.parent)) << node.name;
      EXPECT_LT(s.byId.at(node.parent) - &s.nodes[0], &node - &s.nodes[0]) << node.name;
    }
    if (node.name.rfind("B_", 0) == 0) {
      EXPECT_EQ(node.kind, 2u) << node.name;
    }
  }
  for (const char* name :
       {"B_spine01", "B_spine02", "B_head", "B_upper arm L", "B_upper arm R", "B_lower arm L",
        "B_lower arm R", "B_hand rotation L", "B_hand rotation R", "B_hand L", "B_hand R",
        "B_thigh L", "B_thigh R", "D_mother", "D_steeringwheel"})
    EXPECT_TRUE(byName.count(name)) << name;
  EXPECT_EQ(kinds, (std::set<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(byName.at("D_lookat")->subclass, kNodePositionScale);

  // Five fingers of three joints under each hand, in the same order on both sides.
  for (const char* side : {"L", "R"}) {
    std::vector<std::string> children;
    for (const Node& node : s.nodes)
      if (node.parent == byName.at(std::string("B_hand ") + side)->id)
        children.push_back(node.name);
    EXPECT_EQ(children.size(), 5u) << side;
    for (std::string& child : children) child.back() = '?';
    static std::vector<std::string> first;
    if (first.empty()) first = children;
    EXPECT_EQ(children, first);
  }

  // Millimetres of a seated adult: upper arm 290, forearm 260, thigh 430, shin 420.
  auto distance = [&](const char* a, const char* b) {
    double d = 0;
    for (int k = 0; k < 3; ++k) {
      const double v = F(byName.at(a)->rows[9 + k]) - F(byName.at(b)->rows[9 + k]);
      d += v * v;
    }
    return std::sqrt(d);
  };
  EXPECT_NEAR(distance("B_upper arm R", "B_lower arm R"), 290.0, 0.1);
  EXPECT_NEAR(distance("B_lower arm L", "B_hand L"), 260.0, 0.1);
  EXPECT_NEAR(distance("B_thigh L", "B_calf L"), 430.0, 0.1);
  EXPECT_NEAR(distance("B_calf R", "B_foot R"), 420.0, 0.1);
  EXPECT_NEAR(distance("B_upper arm L", "B_upper arm R"), 360.0, 1.0);
}

TEST(AssetSamples, ScenesTogetherUseEveryControllerAndKeyType) {
  std::set<ControllerType> controllers;
  std::set<uint32_t> keyTypes;
  std::function<void(const Controller&)> visit = [&](const Controller& c) {
    controllers.insert(c.type);
    if (!c.slot.isRaw && c.slot.track.keyType) keyTypes.insert(c.slot.track.keyType);
    for (const Axis& axis : c.axes) keyTypes.insert(axis.slot.track.keyType);
    for (const Controller& part : c.parts) visit(part);
  };
  bool ranges[2] = {false, false};
  int sceneIndex = 0;
  for (const char* name : {"driver_steer.zka", "idle_loop.zka"}) {
    for (const TopChunk& top : Load(name).chunks) {
      if (top.type == TopType::Object) visit(top.controller);
      if (top.type == TopType::Range) ranges[sceneIndex] = true;
    }
    ++sceneIndex;
  }
  EXPECT_TRUE(ranges[0] && ranges[1]);
  EXPECT_EQ(controllers.count(ControllerType::Raw), 0u);
  EXPECT_EQ(controllers.size(), 11u);
  std::set<uint32_t> all;
  for (uint32_t k = 35; k <= 46; ++k) all.insert(k);
  EXPECT_EQ(keyTypes, all);
}

TEST(AssetSamples, EveryNodeFindsItsObjectsInEachScene) {
  const Skeleton s = LoadSkeleton();
  for (const char* scene : {"driver_steer.zka", "idle_loop.zka"}) {
    std::set<std::string> objects;
    for (const TopChunk& top : Load(scene).chunks)
      if (top.type == TopType::Object) objects.insert(top.name);
    for (const Node& node : s.nodes) {
      if (node.subclass == kNodeTransform) {
        EXPECT_TRUE(objects.count(node.name + "::PRS")) << scene << ": " << node.name;
      } else {
        EXPECT_TRUE(objects.count(node.name + "::Position")) << scene << ": " << node.name;
        EXPECT_TRUE(objects.count(node.name + "::Scale")) << scene << ": " << node.name;
      }
    }
  }
}

// Frame 5 of the driver scene is the straight-ahead pose that the hierarchy holds: composing the
// local transforms down the tree (local x parent, points as row vectors) gives the hierarchy's
// world transforms.
TEST(AssetSamples, DriverNeutralFrameRebuildsTheHierarchy) {
  const Skeleton s = LoadSkeleton();
  std::map<std::string, const Controller*> objects;
  const Document scene = Load("driver_steer.zka");
  for (const TopChunk& top : scene.chunks)
    if (top.type == TopType::Object) objects[top.name] = &top.controller;
  const float t5 = 5.0f * 0.033333335f;

  std::map<int32_t, Pose> world;
  int checked = 0;
  for (const Node& node : s.nodes) {
    Pose parent{{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {0, 0, 0}};
    if (node.parent != -1) {
      if (!world.count(node.parent)) continue;
      parent = world.at(node.parent);
    }
    auto it = objects.find(node.name + "::PRS");
    if (it == objects.end()) continue;
    Pose local;
    if (!LocalAt(*it->second, t5, local)) continue;  // look-at and link-driven dummies
    Pose w;
    w.rot = Mul(local.rot, parent.rot);
    for (int c = 0; c < 3; ++c) {
      w.pos[c] = parent.pos[c];
      for (int k = 0; k < 3; ++k) w.pos[c] += local.pos[k] * parent.rot.m[k][c];
    }
    world[node.id] = w;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(w.rot.m[r][c], F(node.rows[r * 3 + c]), 2e-4) << node.name << " " << r << c;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(w.pos[c], F(node.rows[9 + c]), 0.2) << node.name;
    ++checked;
  }
  EXPECT_GE(checked, 55);
}

}  // namespace
}  // namespace NZelkarAsset

#endif
