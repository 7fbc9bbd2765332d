#include "HierarchyNames.h"

#include <unordered_map>

#include "AssetReader.h"

namespace zk_play {

std::vector<SHierarchyNode> HierarchyNodes(const NZelkarAsset::Document& document) {
  std::vector<SHierarchyNode> nodes;
  for (const NZelkarAsset::TopChunk& top : document.chunks) {
    if (top.type != NZelkarAsset::TopType::Hierarchy) continue;
    for (const NZelkarAsset::Node& node : top.nodes)
      nodes.push_back({node.name, static_cast<uint32_t>(node.id),
                       static_cast<uint32_t>(node.parent), node.kind, -1});
  }
  // Parents by id, as the library hangs nodes: id -1 is the character's root, any other the
  // earlier node with that id (the first of them, should ids repeat). A parent that is not in the
  // file is taken as the root.
  constexpr uint32_t kRootId = 0xFFFFFFFFu;
  std::unordered_map<uint32_t, int> byId;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const auto parent = byId.find(nodes[i].parentId);
    nodes[i].parent = nodes[i].parentId != kRootId && parent != byId.end() ? parent->second : -1;
    byId.emplace(nodes[i].id, static_cast<int>(i));
  }
  return nodes;
}

std::vector<SHierarchyNode> ReadHierarchyNodes(const std::vector<unsigned char>& bytes,
                                               const std::string& name) {
  return HierarchyNodes(NZelkarAsset::ReadDocument(bytes.data(), bytes.size(), name));
}

}  // namespace zk_play
