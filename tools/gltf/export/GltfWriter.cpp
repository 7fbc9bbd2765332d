#include "GltfWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "AnimationRecorder.h"
#include "AtomicFile.h"
#include "BodyBuilder.h"
#include "GltfFrame.h"

namespace zk_gltf {
namespace {

using nlohmann::json;

constexpr int kFloat = 5126;  // glTF's component type code of f32

// The binary chunk and the accessors that describe it, one buffer view per accessor.
class CGlbBuffer {
 public:
  // Appends `count` elements of `width` floats; returns the accessor's index. min and max (left
  // out for matrices) are taken from the stored f32 values, as a validator recomputes them.
  int AddFloats(json& doc, const std::vector<float>& values, int width, int target = 0) {
    json accessor = View(doc, values.data(), values.size() * 4, kFloat, width,
                         values.size() / static_cast<size_t>(width), target);
    if (width <= 4) {
      std::vector<float> lo(width, std::numeric_limits<float>::infinity());
      std::vector<float> hi(width, -std::numeric_limits<float>::infinity());
      for (size_t i = 0; i < values.size(); ++i) {
        lo[i % width] = std::fmin(lo[i % width], values[i]);
        hi[i % width] = std::fmax(hi[i % width], values[i]);
      }
      accessor["min"] = json::array();
      accessor["max"] = json::array();
      for (int c = 0; c < width; ++c) {
        accessor["min"].push_back(static_cast<double>(lo[c]));
        accessor["max"].push_back(static_cast<double>(hi[c]));
      }
    }
    return Push(doc, accessor);
  }
  // Four weights per vertex in 255ths, read as 0..1.
  int AddWeights(json& doc, const std::vector<uint8_t>& values) {
    json accessor =
        View(doc, values.data(), values.size(), kUnsignedByte, 4, values.size() / 4, kVertices);
    accessor["normalized"] = true;
    return Push(doc, accessor);
  }
  // Four joints per vertex, in bytes where they fit.
  int AddJoints(json& doc, const std::vector<uint16_t>& joints) {
    if (joints.empty() || *std::max_element(joints.begin(), joints.end()) < 256) {
      std::vector<uint8_t> narrow(joints.begin(), joints.end());
      return Push(doc, View(doc, narrow.data(), narrow.size(), kUnsignedByte, 4, narrow.size() / 4,
                            kVertices));
    }
    return Push(doc, View(doc, joints.data(), joints.size() * 2, kUnsignedShort, 4,
                          joints.size() / 4, kVertices));
  }
  // Triangle indices, in 16 bits where they fit.
  int AddIndices(json& doc, const std::vector<uint32_t>& indices) {
    const uint32_t most = indices.empty() ? 0 : *std::max_element(indices.begin(), indices.end());
    if (most < 65535) {
      std::vector<uint16_t> narrow(indices.begin(), indices.end());
      return Push(doc, View(doc, narrow.data(), narrow.size() * 2, kUnsignedShort, 1, narrow.size(),
                            kTriangles));
    }
    return Push(doc, View(doc, indices.data(), indices.size() * 4, kUnsignedInt, 1, indices.size(),
                          kTriangles));
  }
  // Another file's accessor, its elements packed tightly.
  int AddCopy(json& doc, const SCopiedAccessor& copy) {
    json accessor = copy.accessor;
    accessor["bufferView"] =
        View(doc, copy.bytes.data(), copy.bytes.size(), 0, 1, 0, copy.target)["bufferView"];
    return Push(doc, accessor);
  }
  const std::vector<unsigned char>& Bytes() const { return bytes_; }

  static constexpr int kVertices = 34962, kTriangles = 34963;  // buffer view targets

 private:
  static constexpr int kUnsignedByte = 5121, kUnsignedShort = 5123, kUnsignedInt = 5125;

  // The bytes as a new buffer view, aligned to four bytes; returns its accessor, unlisted.
  json View(json& doc, const void* data, size_t size, int componentType, int width, size_t count,
            int target) {
    while (bytes_.size() % 4) bytes_.push_back(0);
    const size_t offset = bytes_.size();
    bytes_.resize(offset + size);
    if (size > 0) std::memcpy(bytes_.data() + offset, data, size);
    json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", size}};
    if (target != 0) view["target"] = target;
    doc["bufferViews"].push_back(view);
    static const char* const kTypes[] = {"", "SCALAR", "", "VEC3", "VEC4"};
    return {{"bufferView", doc["bufferViews"].size() - 1},
            {"componentType", componentType},
            {"count", count},
            {"type", width == 16 ? "MAT4" : kTypes[width]}};
  }
  static int Push(json& doc, const json& accessor) {
    doc["accessors"].push_back(accessor);
    return static_cast<int>(doc["accessors"].size() - 1);
  }

  std::vector<unsigned char> bytes_;
};

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw std::runtime_error(path + ": " + reason);
}

void Check(const SRecording& rec, const std::string& path) {
  if (rec.nodes.empty()) Fail(path, "the recording has no node");
  if (rec.times.empty()) Fail(path, "the recording has no frame");
  if (rec.worlds.size() != rec.times.size() * rec.nodes.size())
    Fail(path, "the recording holds " + std::to_string(rec.worlds.size()) +
                   " matrices, not frames × nodes = " +
                   std::to_string(rec.times.size() * rec.nodes.size()));
  for (size_t i = 0; i < rec.nodes.size(); ++i) {
    const int parent = rec.nodes[i].parent;
    if (parent < -1 || parent >= static_cast<int>(i))
      Fail(path, "node " + std::to_string(i) + " (\"" + rec.nodes[i].name + "\") names parent " +
                     std::to_string(parent) + ", which is not an earlier node");
  }
  for (size_t f = 0; f < rec.times.size(); ++f) {
    if (!std::isfinite(rec.times[f]) || (f > 0 && !(rec.times[f] > rec.times[f - 1])))
      Fail(path, "time " + std::to_string(f) + " (" + std::to_string(rec.times[f]) +
                     ") is not after the one before it");
  }
  for (size_t k = 0; k < rec.worlds.size(); ++k)
    for (float v : rec.worlds[k].m)
      if (!std::isfinite(v))
        Fail(path, "frame " + std::to_string(k / rec.nodes.size()) + ", node \"" +
                       rec.nodes[k % rec.nodes.size()].name + "\": the matrix is not finite");
}

json Floats(const double* v, int count) {
  json a = json::array();
  for (int i = 0; i < count; ++i) a.push_back(static_cast<double>(static_cast<float>(v[i])));
  return a;
}

// The frames at which a channel changes value, when it changes only at instants: between two
// frames one float step apart (SceneSource.h), holding its value (within 1e-6) everywhere else.
// Empty when the channel moves between frames or never changes: it is written as LINEAR keys.
std::vector<size_t> StepFrames(const std::vector<float>& times, const std::vector<float>& values,
                               int width) {
  std::vector<size_t> keys{0};
  for (size_t f = 1; f < times.size(); ++f) {
    float change = 0;
    for (int c = 0; c < width; ++c)
      change =
          std::fmax(change, std::fabs(values[f * width + c] - values[keys.back() * width + c]));
    if (change <= 1e-6f) continue;
    if (times[f] != std::nextafter(times[f - 1], std::numeric_limits<float>::infinity())) return {};
    keys.push_back(f);
  }
  return keys.size() > 1 ? keys : std::vector<size_t>{};
}

void Put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// The bodies: materials, meshes, and for a person a skin and a node at the scene's root (glTF
// moves a skinned mesh by its joints alone).
void AddBodies(json& doc, CGlbBuffer& buffer, const SBodies& bodies) {
  if (bodies.meshes.empty()) return;
  doc["materials"] = json::array();
  for (const SBodyMaterial& m : bodies.materials) {
    json material = {
        {"name", m.name},
        {"pbrMetallicRoughness",
         {{"baseColorFactor", json::array({m.colour[0], m.colour[1], m.colour[2], m.colour[3]})},
          {"metallicFactor", 0.0},
          {"roughnessFactor", m.blend ? 0.1 : 0.7}}}};
    if (m.blend) material["alphaMode"] = "BLEND";
    doc["materials"].push_back(material);
  }
  doc["meshes"] = json::array();
  doc["skins"] = json::array();
  for (const SBodyMesh& mesh : bodies.meshes) {
    json primitives = json::array();
    for (const SBodyPart& part : mesh.parts) {
      json attributes = {
          {"POSITION", buffer.AddFloats(doc, part.positions, 3, CGlbBuffer::kVertices)},
          {"NORMAL", buffer.AddFloats(doc, part.normals, 3, CGlbBuffer::kVertices)}};
      if (!part.joints.empty()) {
        attributes["JOINTS_0"] = buffer.AddJoints(doc, part.joints);
        attributes["WEIGHTS_0"] = buffer.AddWeights(doc, part.weights);
      }
      primitives.push_back({{"attributes", attributes},
                            {"indices", buffer.AddIndices(doc, part.indices)},
                            {"material", part.material}});
    }
    doc["meshes"].push_back({{"name", mesh.name}, {"primitives", primitives}});
    const size_t index = doc["meshes"].size() - 1;
    if (mesh.node >= 0) {
      doc["nodes"][mesh.node]["mesh"] = index;
      continue;
    }
    doc["skins"].push_back(
        {{"name", mesh.name},
         {"joints", mesh.joints},
         {"inverseBindMatrices", buffer.AddFloats(doc, mesh.inverseBindMatrices, 16)}});
    doc["nodes"].push_back(
        {{"name", mesh.name}, {"mesh", index}, {"skin", doc["skins"].size() - 1}});
    doc["scenes"][0]["nodes"].push_back(doc["nodes"].size() - 1);
  }
  if (doc["skins"].empty()) doc.erase("skins");
}

// Another file's meshes: accessors, materials and meshes renumbered after the ones written, and
// skins whose joints are the written nodes of the same names.
void AddCopiedMeshes(json& doc, CGlbBuffer& buffer, const SCopiedMeshes& copied,
                     const std::string& path) {
  std::vector<int> accessors;
  for (const SCopiedAccessor& copy : copied.accessors)
    accessors.push_back(buffer.AddCopy(doc, copy));
  if (!doc.contains("materials")) doc["materials"] = json::array();
  if (!doc.contains("meshes")) doc["meshes"] = json::array();
  if (!doc.contains("skins")) doc["skins"] = json::array();
  const size_t firstMaterial = doc["materials"].size(), firstMesh = doc["meshes"].size();
  for (const json& material : copied.materials) doc["materials"].push_back(material);
  for (json mesh : copied.meshes) {
    for (json& primitive : mesh["primitives"]) {
      for (auto& [semantic, index] : primitive["attributes"].items())
        index = accessors.at(index.get<size_t>());
      if (primitive.contains("indices"))
        primitive["indices"] = accessors.at(primitive["indices"].get<size_t>());
      if (primitive.contains("material"))
        primitive["material"] = firstMaterial + primitive["material"].get<size_t>();
    }
    doc["meshes"].push_back(mesh);
  }
  std::map<std::string, size_t> byName;
  for (size_t i = 0; i < doc["nodes"].size(); ++i)
    if (doc["nodes"][i].contains("name")) byName.emplace(doc["nodes"][i]["name"], i);
  const size_t firstSkin = doc["skins"].size();
  for (const SCopiedSkin& skin : copied.skins) {
    json joints = json::array();
    for (const std::string& name : skin.joints) {
      const auto found = byName.find(name);
      if (found == byName.end())
        Fail(path, "the skin \"" + skin.name + "\" binds joint \"" + name +
                       "\", which the played hierarchy has no node of");
      joints.push_back(found->second);
    }
    json out = {{"name", skin.name}, {"joints", joints}};
    if (skin.inverseBindMatrices >= 0)
      out["inverseBindMatrices"] = accessors.at(skin.inverseBindMatrices);
    doc["skins"].push_back(out);
  }
  for (const SCopiedMeshes::SNode& node : copied.nodes) {
    doc["nodes"].push_back(
        {{"name", node.name}, {"mesh", firstMesh + node.mesh}, {"skin", firstSkin + node.skin}});
    doc["scenes"][0]["nodes"].push_back(doc["nodes"].size() - 1);
  }
  for (const char* key : {"materials", "meshes", "skins"})
    if (doc[key].empty()) doc.erase(key);
}

}  // namespace

void WriteGlb(const SRecording& rec, const std::string& path, const SWriteOptions& options) {
  Check(rec, path);
  if (!(options.metresPerUnit > 0) || !std::isfinite(options.metresPerUnit))
    Fail(path, "metres per unit must be a positive number");
  const std::size_t n = rec.nodes.size();
  SKeyedAnimation animation;
  try {
    CAnimationRecorder recorder(rec.nodes, SFrame{options.zUp, options.metresPerUnit},
                                SReduction{});
    for (std::size_t f = 0; f < rec.times.size(); ++f)
      recorder.AddFrame(rec.times[f], rec.worlds.data() + f * n);
    animation = recorder.Finish();
  } catch (const std::runtime_error& e) {
    Fail(path, e.what());
  }
  WriteGlb(animation, path, options);
}

void WriteGlb(const SKeyedAnimation& animation, const std::string& path,
              const SWriteOptions& options) {
  zk_tools::WriteFileAtomically(path, GlbBytes(animation, path, options));
}

std::vector<unsigned char> GlbBytes(const SKeyedAnimation& animation, const std::string& path,
                                    const SWriteOptions& options) {
  const std::size_t n = animation.nodes.size();
  if (n == 0) Fail(path, "the recording has no node");
  if (animation.frames == 0) Fail(path, "the recording has no frame");

  json doc;
  doc["asset"] = {{"version", "2.0"}, {"generator", "zelkar-gltf"}};
  doc["scene"] = 0;
  doc["scenes"] = json::array({{{"nodes", json::array()}}});
  doc["nodes"] = json::array();
  doc["bufferViews"] = json::array();
  doc["accessors"] = json::array();
  CGlbBuffer buffer;
  // Channels keyed at every frame share one accessor of the frames' times.
  const int frameTimes =
      animation.frameTimes.empty() ? -1 : buffer.AddFloats(doc, animation.frameTimes, 1);

  json channels = json::array();
  json samplers = json::array();
  auto addChannel = [&](std::size_t node, const char* property, const SKeyedChannel& channel,
                        int width) {
    int input = frameTimes, output;
    // Every frame a key: a channel that only holds and jumps between frames one float step
    // apart is written as the steps it is.
    const std::vector<size_t> steps = channel.times.empty()
                                          ? StepFrames(animation.frameTimes, channel.values, width)
                                          : std::vector<size_t>{};
    if (!channel.times.empty()) {
      input = buffer.AddFloats(doc, channel.times, 1);
      output = buffer.AddFloats(doc, channel.values, width);
    } else if (steps.empty()) {
      output = buffer.AddFloats(doc, channel.values, width);
    } else {
      std::vector<float> stepTimes, stepValues;
      for (size_t f : steps) {
        stepTimes.push_back(animation.frameTimes[f]);
        stepValues.insert(stepValues.end(), channel.values.begin() + f * width,
                          channel.values.begin() + (f + 1) * width);
      }
      input = buffer.AddFloats(doc, stepTimes, 1);
      output = buffer.AddFloats(doc, stepValues, width);
    }
    samplers.push_back({{"input", input},
                        {"output", output},
                        {"interpolation", steps.empty() ? "LINEAR" : "STEP"}});
    channels.push_back(
        {{"sampler", samplers.size() - 1}, {"target", {{"node", node}, {"path", property}}}});
  };

  for (std::size_t i = 0; i < n; ++i) {
    const SKeyedNode& keyed = animation.channels[i];
    json node = {{"name", animation.nodes[i].name},
                 {"translation", Floats(keyed.first.translation, 3)},
                 {"rotation", Floats(keyed.first.rotation, 4)}};
    // A scale of 1 within float rounding at every frame needs neither a scale nor a channel.
    if (keyed.scaled) node["scale"] = Floats(keyed.first.scale, 3);
    doc["nodes"].push_back(node);
    if (animation.nodes[i].parent < 0)
      doc["scenes"][0]["nodes"].push_back(i);
    else
      doc["nodes"][animation.nodes[i].parent]["children"].push_back(i);
    addChannel(i, "translation", keyed.translation, 3);
    addChannel(i, "rotation", keyed.rotation, 4);
    if (keyed.scaled) addChannel(i, "scale", keyed.scale, 3);
  }
  AddBodies(doc, buffer, BuildBodies(animation, options.bodies, options.nodeKinds));
  if (options.meshFrom != nullptr) AddCopiedMeshes(doc, buffer, *options.meshFrom, path);
  doc["animations"] = json::array(
      {{{"name", options.animationName}, {"channels", channels}, {"samplers", samplers}}});
  doc["buffers"] = json::array({{{"byteLength", buffer.Bytes().size()}}});

  // Container: a 12-byte header, the JSON chunk padded with spaces and the binary chunk padded
  // with zeros, each to a multiple of four bytes.
  std::string text = doc.dump();
  while (text.size() % 4) text.push_back(' ');
  std::vector<unsigned char> bin = buffer.Bytes();
  while (bin.size() % 4) bin.push_back(0);
  std::vector<unsigned char> out;
  Put32(out, 0x46546C67);  // "glTF"
  Put32(out, 2);
  Put32(out, static_cast<uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
  Put32(out, static_cast<uint32_t>(text.size()));
  Put32(out, 0x4E4F534A);  // "JSON"
  out.insert(out.end(), text.begin(), text.end());
  Put32(out, static_cast<uint32_t>(bin.size()));
  Put32(out, 0x004E4942);  // "BIN\0"
  out.insert(out.end(), bin.begin(), bin.end());
  return out;
}

}  // namespace zk_gltf
