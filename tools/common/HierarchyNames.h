// Node names, ids, parents and kinds of a hierarchy file, which the facade does not hand out:
// the hierarchy chunks of the asset reader's document, with each node's parent found as the
// library finds it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AssetModel.h"

namespace zk_play {

struct SHierarchyNode {
  std::string name;
  uint32_t id;
  uint32_t parentId;
  uint32_t kind;  // 2 marks a bone
  // Position of the parent in the node list, or -1 when the parent is not one of the file's
  // nodes (the character's root).
  int parent;
};

// Nodes of every hierarchy chunk of a document in file order.
std::vector<SHierarchyNode> HierarchyNodes(const NZelkarAsset::Document& document);

// The same for a whole file in memory. Throws std::runtime_error with
// "<name>: byte <offset>: <problem>" for a buffer that is not a well-formed hierarchy file.
std::vector<SHierarchyNode> ReadHierarchyNodes(const std::vector<unsigned char>& bytes,
                                               const std::string& name);

}  // namespace zk_play
