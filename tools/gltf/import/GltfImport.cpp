#include "GltfImport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "AssetError.h"
#include "AssetWriter.h"
#include "AtomicFile.h"
#include "FileBytes.h"
#include "ImportSteps.h"

namespace zk_gltf {
namespace importing {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

// The container of a .glb, checked before its JSON is parsed: every length inside the file.
void CheckGlbLayout(const std::vector<uint8_t>& b, const std::string& name) {
  if (b.size() < 20)
    Fail(name, "byte 0",
         "a .glb needs at least 20 bytes, the file has " + std::to_string(b.size()));
  if (Le32(b, 4) != 2) Fail(name, "byte 4", "version " + std::to_string(Le32(b, 4)) + ", not 2");
  if (Le32(b, 8) != b.size())
    Fail(name, "byte 8",
         "the header gives a length of " + std::to_string(Le32(b, 8)) + " bytes, the file has " +
             std::to_string(b.size()) + " (truncated or padded)");
  size_t at = 12;
  for (int chunk = 0; at < b.size(); ++chunk) {
    if (b.size() - at < 8)
      Fail(name, "byte " + std::to_string(at), "a chunk header runs past the end of the file");
    const uint64_t length = Le32(b, at);
    if (length > b.size() - at - 8)
      Fail(name, "byte " + std::to_string(at),
           "chunk " + std::to_string(chunk) + " of " + std::to_string(length) +
               " bytes runs past the end of the file");
    if (chunk == 0 && Le32(b, at + 4) != 0x4E4F534A)
      Fail(name, "byte " + std::to_string(at + 4), "the first chunk is not JSON");
    at += 8 + length;
  }
}

bool IgnoreImage(tinygltf::Image*, const int, std::string*, std::string*, int, int,
                 const unsigned char*, int, void*) {
  return true;  // images play no part in skeletons and animations
}

bool NoExternalFiles(std::vector<unsigned char>*, std::string* err, const std::string& path,
                     void*) {
  if (err) *err += "external file \"" + Excerpt(path) + "\" cannot be read here\n";
  return false;
}

// A .gltf's external buffers, read as the tools read every file (FileBytes.h).
bool ReadExternalFile(std::vector<unsigned char>* out, std::string* err, const std::string& path,
                      void*) {
  try {
    *out = zk_play::ReadLooseFile(path);
    return true;
  } catch (const std::runtime_error& e) {
    if (err) *err += std::string(e.what()) + "\n";
    return false;
  }
}

// The reader's message on one line, each quoted piece of the file in it cut short.
std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    const size_t close = c == '\'' || c == '"' ? text.find(c, at + 1) : std::string::npos;
    // An unclosed quote runs to the end of the message.
    const size_t end = close == std::string::npos ? text.size() : close + 1;
    if (c == '\'' || c == '"') {
      out += c + Excerpt(text.substr(at + 1, end - at - 1), 60);
      at = end;
    } else {
      out += c == '\n' ? ';' : c;
      ++at;
    }
  }
  while (!out.empty() && (out.back() == ';' || out.back() == ' ')) out.pop_back();
  return Excerpt(out, 240);
}

// ---- The node tree --------------------------------------------------------------------------

// Parents of every node, checked: children in the list, one parent each, no cycle.
std::vector<int> Parents(const tinygltf::Model& model, const std::string& name) {
  const size_t n = model.nodes.size();
  std::vector<int> parent(n, -1);
  for (size_t i = 0; i < n; ++i)
    for (size_t c = 0; c < model.nodes[i].children.size(); ++c) {
      const int child = model.nodes[i].children[c];
      const std::string where = At("nodes", i) + At(".children", c);
      if (child < 0 || size_t(child) >= n)
        Fail(name, where,
             "node " + std::to_string(child) + " is past the node list (" + std::to_string(n) +
                 " nodes)");
      if (parent[child] >= 0 || size_t(child) == i)
        Fail(name, where,
             "node " + std::to_string(child) + " already has a parent (node " +
                 std::to_string(parent[child]) + ")");
      parent[child] = int(i);
    }
  // With one parent each, a cycle is a path upwards that never reaches a root.
  std::vector<int> state(n, 0);  // 0 unknown, 1 on the current path, 2 reaches a root
  for (size_t i = 0; i < n; ++i) {
    std::vector<size_t> path;
    size_t at = i;
    while (state[at] == 0) {
      state[at] = 1;
      path.push_back(at);
      if (parent[at] < 0) break;
      at = size_t(parent[at]);
    }
    if (state[at] == 1 && parent[at] >= 0)
      Fail(name, At("nodes", at), "the node tree has a cycle through node " + std::to_string(at));
    for (size_t p : path) state[p] = 2;
  }
  return parent;
}

SAffine NodeLocal(const tinygltf::Node& node) {
  if (node.matrix.size() == 16) {
    SAffine m;
    for (int k = 0; k < 16; ++k) m.m[k] = node.matrix[k];
    return m;
  }
  return Compose(NodeTrs(node));
}

// ---- The skeleton ---------------------------------------------------------------------------

// The skin's joints (or every node without a skin), checked, in the order the skin gives them.
std::vector<int> ListedJoints(const tinygltf::Model& model, int skin, const std::string& name) {
  const size_t n = model.nodes.size();
  std::vector<int> joints;
  if (skin < 0) {
    for (size_t i = 0; i < n; ++i) joints.push_back(int(i));
    return joints;
  }
  const tinygltf::Skin& s = model.skins[skin];
  for (size_t j = 0; j < s.joints.size(); ++j) {
    if (s.joints[j] < 0 || size_t(s.joints[j]) >= n)
      Fail(name, At("skins", skin) + At(".joints", j),
           "node " + std::to_string(s.joints[j]) + " is past the node list (" + std::to_string(n) +
               " nodes)");
    joints.push_back(s.joints[j]);
  }
  if (joints.empty()) Fail(name, At("skins", skin) + ".joints", "the skin has no joint");
  return joints;
}

// Parents first, otherwise in the order given: each joint is placed after its nearest joint
// ancestor. Sets the skeleton's joints and jointOf.
void OrderJoints(const std::vector<int>& parent, std::vector<int> listed, SSkeleton& skeleton,
                 const std::string& name) {
  const size_t n = parent.size();
  std::vector<int>& jointOf = skeleton.jointOf;
  jointOf.assign(n, -1);
  for (size_t j = 0; j < listed.size(); ++j) {
    if (jointOf[listed[j]] >= 0)
      Fail(name, At("skins", skeleton.skin) + At(".joints", j), "a joint listed twice");
    jointOf[listed[j]] = int(j);
  }
  auto nearestJoint = [&](int node) {
    int p = parent[node];
    while (p >= 0 && jointOf[p] < 0) p = parent[p];
    return p;
  };
  std::vector<bool> placed(n, false);
  for (int node : listed) {
    std::vector<int> chain;  // node and its unplaced joint ancestors, walked without recursion
    for (int at = node; at >= 0 && !placed[at]; at = nearestJoint(at)) chain.push_back(at);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      placed[*it] = true;
      skeleton.joints.push_back(*it);
    }
  }
  for (size_t j = 0; j < skeleton.joints.size(); ++j) jointOf[skeleton.joints[j]] = int(j);
}

// Names: exact, unique, within the format's 255 bytes.
void NameJoints(const tinygltf::Model& model, SSkeleton& skeleton, const std::string& name,
                std::vector<std::string>& notes) {
  skeleton.names.resize(skeleton.joints.size());
  std::map<std::string, int> taken;
  size_t unnamed = 0;
  for (size_t j = 0; j < skeleton.joints.size(); ++j) {
    const int node = skeleton.joints[j];
    std::string& given = skeleton.names[j];
    given = model.nodes[node].name;
    if (given.empty()) {
      given = "node" + std::to_string(node);
      ++unnamed;
    }
    if (given.size() > 255)
      Fail(name, At("nodes", node) + ".name", "longer than the 255 bytes a node name can hold");
    const auto [it, fresh] = taken.emplace(given, node);
    if (!fresh)
      Fail(name, At("nodes", node) + ".name",
           "\"" + Excerpt(given) + "\" also names node " + std::to_string(it->second) +
               "; the library finds nodes by name");
  }
  if (unnamed > 0)
    notes.push_back(std::to_string(unnamed) + " joints without a name are called node<index>");
}

// Each joint's parent joint, with the nodes between them folded into the joint's values.
std::vector<int> FoldJoints(const tinygltf::Model& model, const std::vector<int>& parent,
                            SSkeleton& skeleton, std::vector<std::string>& notes) {
  const size_t count = skeleton.joints.size();
  std::vector<int> parentJoint(count, -1);
  skeleton.folds.resize(count);
  size_t nonUniform = 0;
  for (size_t j = 0; j < count; ++j) {
    SAffine between{};
    between.m[0] = between.m[5] = between.m[10] = between.m[15] = 1;
    int p = parent[skeleton.joints[j]];
    for (; p >= 0 && skeleton.jointOf[p] < 0; p = parent[p])
      between = Multiply(between, NodeLocal(model.nodes[p]));
    parentJoint[j] = p >= 0 ? skeleton.jointOf[p] : -1;
    const STrs trs = Decompose(between);
    SFold& fold = skeleton.folds[j];
    const double* s = trs.scale;
    if (std::fabs(s[0] - s[1]) > 1e-6 * std::fabs(s[0]) ||
        std::fabs(s[0] - s[2]) > 1e-6 * std::fabs(s[0]))
      ++nonUniform;
    fold.k = std::cbrt(s[0] * s[1] * s[2]);
    for (int c = 0; c < 4; ++c) fold.q[c] = trs.rotation[c];
    for (int c = 0; c < 3; ++c) fold.t[c] = trs.translation[c];
  }
  if (nonUniform > 0)
    notes.push_back(std::to_string(nonUniform) +
                    " joints sit under nodes with a non-uniform scale, taken as uniform");
  return parentJoint;
}

// The hierarchy file: each joint at the world transform of the rest pose, in the library's frame.
std::vector<uint8_t> HierarchyFile(const tinygltf::Model& model, const std::vector<int>& parent,
                                   const SSkeleton& skeleton, const std::vector<int>& parentJoint,
                                   const SFrame& frame, const std::string& name) {
  const size_t n = model.nodes.size();
  std::vector<SAffine> world(n);
  std::vector<bool> done(n, false);
  // Without recursion: a file may hold a chain of nodes deeper than the stack.
  auto worldOf = [&](int i) -> const SAffine& {
    std::vector<int> chain;
    for (int at = i; at >= 0 && !done[at]; at = parent[at]) chain.push_back(at);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      world[*it] = NodeLocal(model.nodes[*it]);
      if (parent[*it] >= 0) world[*it] = Multiply(world[*it], world[parent[*it]]);
      done[*it] = true;
    }
    return world[i];
  };
  Json nodesJson = Json::array();
  for (size_t j = 0; j < skeleton.joints.size(); ++j) {
    const SAffine w = GltfToLibrary(worldOf(skeleton.joints[j]), frame);
    Json rows = Json::array();
    for (int r = 0; r < 4; ++r)
      rows.push_back({Real(w.m[4 * r]), Real(w.m[4 * r + 1]), Real(w.m[4 * r + 2])});
    nodesJson.push_back({{"name", NameJson(skeleton.names[j])},
                         {"type", "transform"},
                         {"kind", skeleton.skin >= 0 && !skeleton.carried[j] ? 2 : 0},
                         {"id", j},
                         {"parent", parentJoint[j]},
                         {"transform", rows}});
  }
  return FileBytes({{"chunks", Json::array({{{"type", "hierarchy"}, {"nodes", nodesJson}}})}},
                   name);
}

// The animations to import: the one named or numbered, or all; SIZE_MAX alone for a file
// without animations (one scene of the rest pose).
std::vector<size_t> ChosenAnimations(const tinygltf::Model& model, const SImportOptions& options,
                                     const std::string& name) {
  std::vector<size_t> chosen;
  for (size_t a = 0; a < model.animations.size(); ++a)
    if (options.animation.empty() || model.animations[a].name == options.animation ||
        std::to_string(a) == options.animation)
      chosen.push_back(a);
  if (!options.animation.empty() && chosen.empty())
    Fail(name, "--animation", "no animation is named or numbered \"" + options.animation + "\"");
  if (model.animations.empty()) chosen.push_back(SIZE_MAX);
  return chosen;
}

// The nodes that are no joints but are animated (translation, rotation or scale) in one of the
// chosen animations and lie above a joint: a viewer moves the joints with them, so the skeleton
// takes them in (root motion on the armature node, or a helper animated between two joints).
std::vector<int> AnimatedAncestors(const tinygltf::Model& model, const std::vector<int>& parent,
                                   const std::vector<int>& listed,
                                   const std::vector<size_t>& chosen) {
  const size_t n = model.nodes.size();
  std::vector<bool> joint(n, false), above(n, false), animated(n, false);
  for (int node : listed) joint[node] = true;
  for (int node : listed)
    for (int p = parent[node]; p >= 0 && !above[p]; p = parent[p]) above[p] = true;
  for (size_t a : chosen) {
    if (a == SIZE_MAX) continue;
    for (const tinygltf::AnimationChannel& ch : model.animations[a].channels)
      if (ch.target_node >= 0 && size_t(ch.target_node) < n && ch.target_path != "weights")
        animated[ch.target_node] = true;
  }
  std::vector<int> carried;
  for (size_t i = 0; i < n; ++i)
    if (animated[i] && above[i] && !joint[i]) carried.push_back(int(i));
  return carried;
}

}  // namespace

STrs NodeTrs(const tinygltf::Node& node) {
  if (node.matrix.size() == 16) {
    SAffine m;  // column-major storage of the column form is the row form's row-major order
    for (int k = 0; k < 16; ++k) m.m[k] = node.matrix[k];
    return Decompose(m);
  }
  STrs trs;
  for (size_t c = 0; c < 3 && c < node.translation.size(); ++c)
    trs.translation[c] = node.translation[c];
  for (size_t c = 0; c < 4 && c < node.rotation.size(); ++c) trs.rotation[c] = node.rotation[c];
  for (size_t c = 0; c < 3 && c < node.scale.size(); ++c) trs.scale[c] = node.scale[c];
  return trs;
}

Json NameJson(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::vector<uint8_t> FileBytes(const Json& json, const std::string& name) {
  try {
    return NZelkarAsset::DocumentBytes(NZelkarAsset::DocumentFromJson(json));
  } catch (const NZelkarAsset::CAssetError& e) {
    throw std::runtime_error(name + ": cannot be written as a library file: " + e.what());
  }
}

}  // namespace importing

using namespace importing;

void ParseGltf(const std::vector<uint8_t>& bytes, const std::string& name,
               const std::string& baseDir, tinygltf::Model* model) {
  tinygltf::TinyGLTF loader;
  loader.SetImageLoader(&IgnoreImage, nullptr);
  tinygltf::FsCallbacks fs{&tinygltf::FileExists, &tinygltf::ExpandFilePath,
                           baseDir.empty() ? &NoExternalFiles : &ReadExternalFile,
                           &tinygltf::WriteWholeFile, nullptr};
  loader.SetFsCallbacks(fs);
  if (bytes.empty()) Fail(name, "byte 0", "empty file");
  std::string err, warn;
  bool ok;
  const bool binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
  if (binary) {
    CheckGlbLayout(bytes, name);
    ok = loader.LoadBinaryFromMemory(model, &err, &warn, bytes.data(),
                                     static_cast<unsigned int>(bytes.size()), baseDir);
  } else {
    ok = loader.LoadASCIIFromString(model, &err, &warn, reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<unsigned int>(bytes.size()), baseDir);
  }
  if (!ok) Fail(name, binary ? "glb" : "json", OneLine(err.empty() ? warn : err));
  // Other major versions lay out their data differently; 1.0 files are not read as 2.0 ones.
  const std::string& version = model->asset.version;
  if (version.rfind("2.", 0) != 0)
    Fail(name, "asset.version",
         version.empty() ? "missing; glTF 2.x files are read"
                         : "\"" + Excerpt(version) + "\" is not a glTF 2.x version");
  if (!model->asset.minVersion.empty() && model->asset.minVersion != "2.0")
    Fail(name, "asset.minVersion",
         "\"" + Excerpt(model->asset.minVersion) + "\": features past glTF 2.0 are not read");
}

void LoadGltf(const std::string& path, tinygltf::Model* model) {
  const std::vector<uint8_t> bytes = zk_play::ReadLooseFile(path);
  const size_t slash = path.find_last_of('/');
  ParseGltf(bytes, path, slash == std::string::npos ? "." : path.substr(0, slash), model);
}

std::string ListModel(const tinygltf::Model& model) {
  std::string out;
  for (size_t i = 0; i < model.skins.size(); ++i)
    out += "skin " + std::to_string(i) + " \"" + model.skins[i].name +
           "\": " + std::to_string(model.skins[i].joints.size()) + " joints\n";
  if (model.skins.empty())
    out += "no skin: the whole node tree (" + std::to_string(model.nodes.size()) + " nodes)\n";
  for (size_t i = 0; i < model.animations.size(); ++i) {
    double end = 0;
    for (const auto& s : model.animations[i].samplers)
      if (s.input >= 0 && size_t(s.input) < model.accessors.size() &&
          model.accessors[s.input].maxValues.size() == 1)
        end = std::max(end, model.accessors[s.input].maxValues[0]);
    out += "animation " + std::to_string(i) + " \"" + model.animations[i].name +
           "\": " + std::to_string(model.animations[i].channels.size()) + " channels, " +
           std::to_string(end) + " s\n";
  }
  if (model.animations.empty()) out += "no animation\n";
  return out;
}

SImport ImportModel(const tinygltf::Model& model, const SImportOptions& options,
                    const std::string& name) {
  SImport result;
  const std::vector<int> parent = Parents(model, name);
  if (model.nodes.empty()) Fail(name, "nodes", "the file has no node");
  if (options.skin >= 0 && size_t(options.skin) >= model.skins.size())
    Fail(name, "--skin", "the file has " + std::to_string(model.skins.size()) + " skins");

  SSkeleton skeleton;
  skeleton.skin = options.skin >= 0 ? options.skin : model.skins.empty() ? -1 : 0;
  const std::vector<size_t> chosen = ChosenAnimations(model, options, name);
  std::vector<int> listed = ListedJoints(model, skeleton.skin, name);
  const std::vector<int> carried = AnimatedAncestors(model, parent, listed, chosen);
  listed.insert(listed.end(), carried.begin(), carried.end());
  OrderJoints(parent, listed, skeleton, name);
  skeleton.carried.assign(skeleton.joints.size(), false);
  for (int node : carried) skeleton.carried[skeleton.jointOf[node]] = true;
  NameJoints(model, skeleton, name, result.notes);
  if (!carried.empty()) {
    std::string names;
    for (int node : carried)
      names += (names.empty() ? "" : ", ") + Excerpt(skeleton.names[skeleton.jointOf[node]]);
    result.notes.push_back(std::to_string(carried.size()) +
                           " animated nodes above the joints join the hierarchy: " + names);
  }
  const std::vector<int> parentJoint = FoldJoints(model, parent, skeleton, result.notes);
  result.hierarchy = HierarchyFile(model, parent, skeleton, parentJoint, options.frame, name);
  result.nodes = skeleton.joints.size();

  SIgnored ignored;
  for (size_t a : chosen)
    result.scenes.push_back(ImportScene(model, skeleton, a, options, name, ignored));
  const size_t meshes = model.meshes.size(), cameras = model.cameras.size();
  for (const auto& mesh : model.meshes)
    for (const auto& prim : mesh.primitives) ignored.morphs += prim.targets.empty() ? 0 : 1;
  if (meshes + cameras + ignored.morphs + ignored.channels > 0)
    result.notes.push_back(
        "ignored: " + std::to_string(meshes) + " meshes, " + std::to_string(cameras) +
        " cameras, " + std::to_string(ignored.morphs) + " morph targets and weight channels, " +
        std::to_string(ignored.channels) + " channels of nodes that are not joints");
  return result;
}

std::string WriteImport(const SImport& import, const std::string& hierarchyPath,
                        const std::string& scenePath) {
  zk_tools::CAtomicFiles files;
  files.Add(hierarchyPath, import.hierarchy);
  std::string report = hierarchyPath + ": " + std::to_string(import.nodes) + " nodes\n";
  const size_t dot = scenePath.rfind('.');
  const bool hasExtension =
      dot != std::string::npos && scenePath.find('/', dot) == std::string::npos;
  for (size_t k = 0; k < import.scenes.size(); ++k) {
    const SImportedScene& scene = import.scenes[k];
    const std::string path = k == 0 ? scenePath
                                    : (hasExtension ? scenePath.substr(0, dot) : scenePath) + "_" +
                                          std::to_string(k) +
                                          (hasExtension ? scenePath.substr(dot) : "");
    files.Add(path, scene.bytes);
    report += path + ": animation \"" + scene.animationName + "\", " +
              std::to_string(scene.objects) + " objects, 0 to " + std::to_string(scene.end) +
              " s\n";
  }
  files.Commit();
  return report;
}

}  // namespace zk_gltf
