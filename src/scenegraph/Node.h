// Scene-graph nodes: a tree whose per-frame update evaluates each animated node under its
// parent's matrix of the same frame, parents before children, children in attachment order.
#pragma once

#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

#include "foundation/Math.h"

class IZK_NodeVisitor;
struct CZK_NodeTree;

// What a hierarchy record asks the character to do with a node.
enum EZK_NodeKind : uint32_t {
  kNodeAttached = 0,  // multiplied by the character's world matrix after each update
  kNodePlaced = 1,    // overwritten by the character's world matrix after each update
  kNodeBone = 2,
};

class CZK_Node {
 public:
  CZK_Node(std::string name, int32_t id, int32_t parentId);
  CZK_Node(const CZK_Node&) = delete;
  CZK_Node& operator=(const CZK_Node&) = delete;

  // Slot order: destructor, Clone, Update, Accept, GetAnimObject.
  virtual ~CZK_Node();
  // A plain node carrying this node's identity and matrix, without children.
  virtual CZK_Node* Clone() const;
  virtual void Update(float time, const Matrix* parent);
  virtual void Accept(IZK_NodeVisitor* visitor);
  virtual int GetAnimObject(int index) const;

  void AddChild(CZK_Node* child);
  void SetCurrentAnimation(uint32_t id);
  void MultiplyMatrix(const Matrix* world);
  // Whether an update leaves this node's matrix as it is (the evaluation plan holds it): a plain
  // node, or a PRS node with no object for its current animation.
  bool HoldsMatrix() const;
  Matrix* GetMatrix() { return &matrix; }
  const Matrix* GetMatrix() const { return &matrix; }
  void Detach() { detached = 1; }
  // Makes this node and every node below it part of tree (see CZK_NodeTree). A child added
  // later joins its parent's tree.
  void SetTree(CZK_NodeTree* tree);
  CZK_NodeTree* GetTree() const { return tree; }
  // The change count of the tree of node, 0 for a null node or one in no tree.
  static uint64_t TreeStructure(const CZK_Node* node);

  // Depth-first with an explicit stack starting at root: a later sibling is met before an
  // earlier one. Null when nothing matches.
  static CZK_Node* FindNodeByName(const std::string& name, CZK_Node* root);
  static CZK_Node* FindNodeById(int32_t id, CZK_Node* root);

  std::string name;
  std::string fullName;
  int32_t id;
  int32_t parentId;
  Matrix bindMatrix = g_IdentityMatrix;
  Matrix matrix = g_IdentityMatrix;
  std::vector<CZK_Node*> children;
  uint32_t currentAnimation = 0;
  int32_t registryIndex = -1;
  int32_t animObject = 0;
  uint32_t kind = 0;
  uint8_t detached = 0;

 protected:
  void UpdateChildren(float time, const Matrix* parent);
  // Counts a change of shape or binding in the node's tree; a node in no tree counts it in the
  // shared count (NStructureGeneration).
  void StructureChanged();

  CZK_NodeTree* tree = nullptr;
};

class CZK_NodePRS : public CZK_Node {
 public:
  using CZK_Node::CZK_Node;
  void Update(float time, const Matrix* parent) override;
  void Accept(IZK_NodeVisitor* visitor) override;
  int GetAnimObject(int index) const override { return animObjects[static_cast<size_t>(index)]; }
  // This node's own part of Update: its matrix for the current animation, children untouched.
  void EvaluateLocal(float time, const Matrix* parent);

  void AddAnimObject(int index);

  std::vector<int32_t> animObjects;
};

class CZK_NodeBone : public CZK_NodePRS {
 public:
  using CZK_NodePRS::CZK_NodePRS;
};

class CZK_NodeHumanPRS : public CZK_NodePRS {
 public:
  using CZK_NodePRS::CZK_NodePRS;
};

// Whether a node of exactly this class updates as CZK_NodePRS does: EvaluateLocal, then its
// children under its new matrix.
inline bool IsPRSNodeClass(const std::type_info& type) {
  return type == typeid(CZK_NodePRS) || type == typeid(CZK_NodeBone) ||
         type == typeid(CZK_NodeHumanPRS);
}

class CZK_NodePS : public CZK_Node {
 public:
  using CZK_Node::CZK_Node;
  void Update(float time, const Matrix* parent) override;
  void Accept(IZK_NodeVisitor* visitor) override;
  // This node's own part of Update: its matrix for the current animation, children untouched.
  void EvaluateLocal(float time, const Matrix* parent);

  void AddPositionObject(int index);
  void AddScaleObject(int index);

  Vector3 position = {0.0f, 0.0f, 0.0f};
  Matrix scale = g_IdentityMatrix;
  std::vector<int32_t> positionObjects;
  std::vector<int32_t> scaleObjects;
};
