// Changes to a few bones of an evaluated skeleton, each followed by an update of the bone's
// subtree, with every node of those subtrees evaluated once instead of once per change above it.
//
// Done change by change, a bone high in the tree has its subtree evaluated again for every later
// change at or above it: the in-car sway bends five bones down one chain and shifts three, so the
// upper body, arms and fingers were evaluated up to six times a frame. Deferred, a changed bone
// is brought up to date only along the path above it when the next change reads it, and the
// subtrees are evaluated once at the end. Each node is then evaluated last under the same parent
// matrix as the change-by-change updates evaluate it last, so its matrix and its object's world
// matrix come out the same, to the bit.
//
// That holds when the evaluation of a node below a bone depends on the time, its parent's matrix
// and nothing the changes touch: plain nodes and PRS nodes whose controllers sample their own
// tracks, or constraints whose targets are not themselves below a bone. A constraint reading an
// object evaluated during the changes would see another order of evaluation, and a node class of
// its own updates its subtree its own way: Bind refuses such trees, and the caller then updates
// change by change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/Math.h"

class CZK_Node;

class CZK_DeferredSubtreeUpdate {
 public:
  // Readies the bones (null ones are skipped) of the tree under root, evaluated under
  // rootParent. Rebuilds its lists when the tree's structure has changed since the last call,
  // so only then does it allocate. False when the tree is one it cannot defer (see above) or a
  // bone is not a PRS node.
  bool Bind(CZK_Node* root, const Matrix* rootParent, CZK_Node* const* bones, size_t count);

  // Starts a round of changes at time, right after the whole tree was evaluated.
  void Begin(float time);
  // The matrix of bone k as the change-by-change updates would have it now, to be changed.
  Matrix& Current(size_t k);
  // Bone k's matrix was changed: its subtree is to be updated.
  void Changed(size_t k);
  // Updates every node whose parent changed since it was last evaluated.
  void Finish();

 private:
  // A node on the path from the root to a bone, in depth-first order. The stamps order
  // evaluations and changes: a node is behind when something above it changed after it was
  // evaluated.
  struct SPathNode {
    CZK_Node* node = nullptr;
    int32_t parent = -1;  // index of the path node above, -1 at the root
    bool plain = false;   // hands its parent's matrix on, computes nothing
    const Matrix* forChildren = nullptr;
    uint32_t evaluated = 0;
    uint32_t changed = 0;
  };

  bool Qualifies(const CZK_Node* node);
  bool AddPaths(CZK_Node* node, int32_t parent, const Matrix* parentMatrix, bool below,
                CZK_Node* const* bones, size_t count);
  const Matrix* ParentMatrix(const SPathNode& p) const;
  void Evaluate(CZK_Node* node, const Matrix* parent);
  // Finish below node: `above` is the latest stamp on the path above it.
  void FinishBelow(CZK_Node* node, const Matrix* parent, uint32_t above, size_t* next);

  CZK_Node* m_root = nullptr;
  const Matrix* m_rootParent = nullptr;
  uint64_t m_generation = 0;
  uint64_t m_treeStructure = 0;
  bool m_built = false;
  bool m_qualifies = false;
  std::vector<SPathNode> m_path;
  std::vector<int32_t> m_bone;              // path index of each bone, -1 for a null bone
  std::vector<int32_t> m_walk;              // scratch for Current, sized at Bind
  std::vector<CZK_Node*> m_bones;           // as last bound
  std::vector<int32_t> m_evaluatedObjects;  // the objects of the nodes below the bones
  std::vector<int32_t> m_targetObjects;     // the objects their constraints read
  float m_time = 0.0f;
  uint32_t m_clock = 0;
};
