#include "SceneAuthoring.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

#include "GltfFrame.h"

namespace zk_gltf {
namespace {

using namespace NZelkarAsset;

F32 Bits(double v) { return std::bit_cast<F32>(static_cast<float>(v)); }
double Real(F32 bits) { return std::bit_cast<float>(bits); }

const std::vector<Node>& HierarchyNodes(const Document& hierarchy) {
  for (const TopChunk& top : hierarchy.chunks)
    if (top.type == TopType::Hierarchy) return top.nodes;
  throw std::runtime_error("the file holds no hierarchy");
}

Controller KeyController(ControllerType type, uint32_t keyType, std::vector<F32> values) {
  Controller c;
  c.type = type;
  c.slot.track.keyType = keyType;
  c.slot.track.values = std::move(values);
  return c;
}

constexpr const char* kNodeSuffixes[] = {"::PRS", "::Position", "::Scale"};

}  // namespace

Document RestScene(const Document& hierarchy) {
  const std::vector<Node>& nodes = HierarchyNodes(hierarchy);
  std::map<int32_t, const Node*> byId;
  for (const Node& node : nodes) byId.emplace(node.id, &node);
  auto world = [](const Node& node) {
    SAffine m{};
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) m.m[4 * r + c] = Real(node.rows[3 * r + c]);
    m.m[15] = 1;
    return m;
  };
  Document scene;
  for (const Node& node : nodes) {
    SAffine local = world(node);
    const auto parent = byId.find(node.parent);
    if (parent != byId.end() && parent->second != &node) {
      SAffine inverse;
      if (!InvertAffine(world(*parent->second), &inverse))
        throw std::runtime_error("node \"" + parent->second->name +
                                 "\" has a singular transform: its children have no local one");
      local = Multiply(local, inverse);
    }
    const STrs trs = Decompose(local);
    // The library's rotation keys hold an absolute angle about an axis.
    const double* q = trs.rotation;
    const double s = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    const double angle = 2 * std::atan2(s, q[3]);
    const double axis[3] = {s > 0 ? q[0] / s : 0, s > 0 ? q[1] / s : 0, s > 0 ? q[2] / s : 1};
    const Controller position = KeyController(
        ControllerType::PositionVector, 43,
        {0, Bits(trs.translation[0]), Bits(trs.translation[1]), Bits(trs.translation[2])});
    const Controller scale = KeyController(
        ControllerType::Scale, 45,
        {0, Bits(trs.scale[0]), Bits(trs.scale[1]), Bits(trs.scale[2]), 0, 0, 0, Bits(1)});
    TopChunk object;
    object.type = TopType::Object;
    if (node.subclass == kNodePositionScale) {
      // Such nodes (look-at targets) play a "::Position" and a "::Scale" object, no rotation.
      object.name = node.name + "::Position";
      object.controller = position;
      scene.chunks.push_back(object);
      object.name = node.name + "::Scale";
      object.controller = scale;
      scene.chunks.push_back(object);
      continue;
    }
    object.name = node.name + "::PRS";
    object.controller.type = ControllerType::PRS;
    object.controller.parts = {
        position,
        KeyController(ControllerType::RotationQuaternion, 44,
                      {0, Bits(angle), Bits(axis[0]), Bits(axis[1]), Bits(axis[2])}),
        scale};
    scene.chunks.push_back(object);
  }
  TopChunk range;
  range.type = TopType::Range;
  scene.chunks.push_back(range);
  return scene;
}

std::vector<std::string> CheckSceneCoverage(const Document& hierarchy, const Document& scene) {
  std::set<std::string> objects;
  for (const TopChunk& top : scene.chunks)
    if (top.type == TopType::Object) objects.insert(top.name);
  std::set<std::string> nodeNames;
  std::vector<std::string> lines;
  for (const Node& node : HierarchyNodes(hierarchy)) {
    nodeNames.insert(node.name);
    bool covered = false;
    for (const char* suffix : kNodeSuffixes) covered = covered || objects.count(node.name + suffix);
    if (!covered)
      lines.push_back("node \"" + node.name +
                      "\" has no object: it takes its parent's matrix and loses its rest pose "
                      "(add \"" +
                      node.name + "::PRS\"; zelkar-asset rest writes one per node)");
  }
  for (const std::string& object : objects)
    for (const char* suffix : kNodeSuffixes) {
      const std::string tail = suffix;
      if (object.size() > tail.size() &&
          object.compare(object.size() - tail.size(), tail.size(), tail) == 0 &&
          !nodeNames.count(object.substr(0, object.size() - tail.size())))
        lines.push_back("object \"" + object + "\" names no node of the hierarchy");
    }
  return lines;
}

Document MergeScenes(const Document& base, const Document& over) {
  Document out = base;
  std::map<std::string, size_t> objectAt;
  TopChunk* range = nullptr;
  for (size_t i = 0; i < out.chunks.size(); ++i) {
    if (out.chunks[i].type == TopType::Object) objectAt[out.chunks[i].name] = i;
    if (out.chunks[i].type == TopType::Range && range == nullptr) range = &out.chunks[i];
  }
  std::vector<TopChunk> added;
  const TopChunk* overRange = nullptr;
  for (const TopChunk& top : over.chunks) {
    if (top.type == TopType::Range) {
      if (overRange == nullptr) overRange = &top;
    } else if (top.type == TopType::Object && objectAt.count(top.name)) {
      out.chunks[objectAt[top.name]] = top;
    } else if (top.type == TopType::Object) {
      added.push_back(top);
    }
  }
  if (range != nullptr && overRange != nullptr) {
    range->start = Real(overRange->start) < Real(range->start) ? overRange->start : range->start;
    range->end = Real(overRange->end) > Real(range->end) ? overRange->end : range->end;
  }
  // New objects go before the range chunks that close the base scene.
  const auto firstRange = std::find_if(out.chunks.begin(), out.chunks.end(),
                                       [](const TopChunk& t) { return t.type == TopType::Range; });
  out.chunks.insert(firstRange, added.begin(), added.end());
  if (range == nullptr && overRange != nullptr) out.chunks.push_back(*overRange);
  return out;
}

}  // namespace zk_gltf
