#include "MeshFrom.h"

#include <cstring>
#include <map>
#include <stdexcept>

#include "TinyGltf.h"

namespace zk_gltf {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& name, const std::string& reason) {
  throw std::runtime_error(name + ": " + reason);
}

// Copies accessors once each, packed tightly, and hands out their new indices.
class CAccessorCopier {
 public:
  CAccessorCopier(const tinygltf::Model& model, const std::string& name, SCopiedMeshes& out)
      : model_(model), name_(name), out_(out) {}

  int Copy(int index, int target) {
    const auto known = copied_.find(index);
    if (known != copied_.end()) return known->second;
    const tinygltf::Accessor& a = model_.accessors.at(index);
    const std::string where = "accessors[" + std::to_string(index) + "]";
    if (a.sparse.isSparse) Fail(name_, where + ": sparse accessors are not copied");
    if (a.bufferView < 0) Fail(name_, where + ": the accessor has no buffer view");
    const tinygltf::BufferView& view = model_.bufferViews.at(a.bufferView);
    const size_t element = size_t(tinygltf::GetComponentSizeInBytes(a.componentType)) *
                           size_t(tinygltf::GetNumComponentsInType(a.type));
    const size_t stride = view.byteStride != 0 ? view.byteStride : element;
    const std::vector<unsigned char>& data = model_.buffers.at(view.buffer).data;
    const size_t start = view.byteOffset + a.byteOffset;
    if (a.count > 0 && start + stride * (a.count - 1) + element > data.size())
      Fail(name_, where + ": the accessor runs past its buffer");
    SCopiedAccessor copy;
    copy.target = target;
    copy.bytes.resize(element * a.count);
    for (size_t i = 0; i < a.count; ++i)
      std::memcpy(copy.bytes.data() + i * element, data.data() + start + i * stride, element);
    static const std::map<int, const char*> kTypes = {
        {TINYGLTF_TYPE_SCALAR, "SCALAR"}, {TINYGLTF_TYPE_VEC2, "VEC2"},
        {TINYGLTF_TYPE_VEC3, "VEC3"},     {TINYGLTF_TYPE_VEC4, "VEC4"},
        {TINYGLTF_TYPE_MAT2, "MAT2"},     {TINYGLTF_TYPE_MAT3, "MAT3"},
        {TINYGLTF_TYPE_MAT4, "MAT4"}};
    copy.accessor = {
        {"componentType", a.componentType}, {"count", a.count}, {"type", kTypes.at(a.type)}};
    if (a.normalized) copy.accessor["normalized"] = true;
    if (!a.minValues.empty()) copy.accessor["min"] = a.minValues;
    if (!a.maxValues.empty()) copy.accessor["max"] = a.maxValues;
    out_.accessors.push_back(std::move(copy));
    return copied_[index] = int(out_.accessors.size() - 1);
  }

 private:
  const tinygltf::Model& model_;
  const std::string& name_;
  SCopiedMeshes& out_;
  std::map<int, int> copied_;
};

json MaterialJson(const tinygltf::Material& m, bool* textured) {
  const tinygltf::PbrMetallicRoughness& pbr = m.pbrMetallicRoughness;
  json material = {{"pbrMetallicRoughness",
                    {{"baseColorFactor", pbr.baseColorFactor},
                     {"metallicFactor", pbr.metallicFactor},
                     {"roughnessFactor", pbr.roughnessFactor}}},
                   {"emissiveFactor", m.emissiveFactor},
                   {"alphaMode", m.alphaMode},
                   {"doubleSided", m.doubleSided}};
  if (!m.name.empty()) material["name"] = m.name;
  if (m.alphaMode == "MASK") material["alphaCutoff"] = m.alphaCutoff;
  *textured = *textured || pbr.baseColorTexture.index >= 0 ||
              pbr.metallicRoughnessTexture.index >= 0 || m.normalTexture.index >= 0 ||
              m.occlusionTexture.index >= 0 || m.emissiveTexture.index >= 0;
  return material;
}

}  // namespace

SCopiedMeshes CopySkinnedMeshes(const tinygltf::Model& model, const std::string& name,
                                std::vector<std::string>* notes) {
  SCopiedMeshes out;
  CAccessorCopier accessors(model, name, out);
  std::map<int, int> meshes, skins, materials;
  bool textured = false, morphed = false, unskinned = false;
  constexpr int kVertices = 34962, kIndices = 34963;
  for (size_t n = 0; n < model.nodes.size(); ++n) {
    const tinygltf::Node& node = model.nodes[n];
    if (node.mesh < 0) continue;
    if (node.skin < 0) {
      unskinned = true;
      continue;
    }
    if (!meshes.count(node.mesh)) {
      const tinygltf::Mesh& mesh = model.meshes.at(node.mesh);
      json primitives = json::array();
      for (const tinygltf::Primitive& p : mesh.primitives) {
        json primitive = {{"attributes", json::object()}};
        if (p.mode >= 0) primitive["mode"] = p.mode;
        for (const auto& [semantic, index] : p.attributes)
          primitive["attributes"][semantic] = accessors.Copy(index, kVertices);
        if (p.indices >= 0) primitive["indices"] = accessors.Copy(p.indices, kIndices);
        if (p.material >= 0) {
          if (!materials.count(p.material)) {
            out.materials.push_back(MaterialJson(model.materials.at(p.material), &textured));
            materials[p.material] = int(out.materials.size() - 1);
          }
          primitive["material"] = materials[p.material];
        }
        morphed = morphed || !p.targets.empty();
        primitives.push_back(primitive);
      }
      json copy = {{"primitives", primitives}};
      if (!mesh.name.empty()) copy["name"] = mesh.name;
      out.meshes.push_back(copy);
      meshes[node.mesh] = int(out.meshes.size() - 1);
    }
    if (!skins.count(node.skin)) {
      const tinygltf::Skin& skin = model.skins.at(node.skin);
      SCopiedSkin copy;
      copy.name = skin.name;
      for (int joint : skin.joints) {
        const std::string& given = model.nodes.at(joint).name;
        copy.joints.push_back(given.empty() ? "node" + std::to_string(joint) : given);
      }
      if (skin.inverseBindMatrices >= 0)
        copy.inverseBindMatrices = accessors.Copy(skin.inverseBindMatrices, 0);
      out.skins.push_back(copy);
      skins[node.skin] = int(out.skins.size() - 1);
    }
    out.nodes.push_back({node.name.empty() ? "mesh" + std::to_string(n) : node.name,
                         meshes[node.mesh], skins[node.skin]});
  }
  if (out.nodes.empty()) Fail(name, "the file has no skinned mesh to bind");
  if (textured) notes->push_back(name + ": textures are left out; materials keep their factors");
  if (morphed) notes->push_back(name + ": morph targets are left out");
  if (unskinned) notes->push_back(name + ": meshes without a skin are left out");
  return out;
}

}  // namespace zk_gltf
