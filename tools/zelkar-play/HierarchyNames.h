// The player's own small reader of a hierarchy file: node names, ids, parents and kinds, which
// the facade does not hand out. It reads only what it needs and never past the buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Nodes of every hierarchy chunk in file order. Throws std::runtime_error with
// "<name>: byte <offset>: <problem>" for a buffer that is not a well-formed hierarchy file.
std::vector<SHierarchyNode> ReadHierarchyNodes(const std::vector<unsigned char>& bytes,
                                               const std::string& name);

}  // namespace zk_play
