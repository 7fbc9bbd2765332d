#include "scenegraph/Node.h"

#include "animation/StructureGeneration.h"
#include "controllers/ControllerManager.h"
#include "scenegraph/NodeTree.h"
#include "scenegraph/NodeVisitor.h"

CZK_Node::CZK_Node(std::string nodeName, int32_t nodeId, int32_t nodeParentId)
    : name(std::move(nodeName)), id(nodeId), parentId(nodeParentId) {}

CZK_Node::~CZK_Node() {
  for (CZK_Node* child : children) delete child;
  StructureChanged();
}

void CZK_Node::StructureChanged() {
  if (tree != nullptr)
    ++tree->structure;
  else
    NStructureGeneration::Changed();
}

uint64_t CZK_Node::TreeStructure(const CZK_Node* node) {
  return node != nullptr && node->tree != nullptr ? node->tree->structure : 0;
}

void CZK_Node::SetTree(CZK_NodeTree* nodeTree) {
  tree = nodeTree;
  for (CZK_Node* child : children) child->SetTree(nodeTree);
  StructureChanged();
}

CZK_Node* CZK_Node::Clone() const {
  auto* clone = new CZK_Node(name, id, parentId);
  clone->fullName = fullName;
  clone->matrix = matrix;
  clone->registryIndex = registryIndex;
  clone->currentAnimation = currentAnimation;
  return clone;
}

void CZK_Node::UpdateChildren(float time, const Matrix* parent) {
  const size_t count = children.size();
  for (size_t i = 0; i < count; ++i) children[i]->Update(time, parent);
}

void CZK_Node::Update(float time, const Matrix* parent) { UpdateChildren(time, parent); }

void CZK_Node::Accept(IZK_NodeVisitor* visitor) { visitor->VisitNode(this); }

int CZK_Node::GetAnimObject(int) const { return 0; }

void CZK_Node::AddChild(CZK_Node* child) {
  children.push_back(child);
  if (tree != nullptr && child->tree != tree) child->SetTree(tree);
  StructureChanged();
}

void CZK_Node::SetCurrentAnimation(uint32_t animationId) {
  currentAnimation = animationId;
  StructureChanged();
  for (CZK_Node* child : children) child->SetCurrentAnimation(animationId);
}

void CZK_Node::MultiplyMatrix(const Matrix* world) { D3DXMatrixMultiply(&matrix, &matrix, world); }

bool CZK_Node::HoldsMatrix() const {
  const std::type_info& type = typeid(*this);
  if (type == typeid(CZK_Node)) return true;
  return IsPRSNodeClass(type) &&
         currentAnimation >= static_cast<const CZK_NodePRS*>(this)->animObjects.size();
}

namespace {
template <class Match>
CZK_Node* FindDepthFirst(CZK_Node* root, Match match) {
  if (root == nullptr) return nullptr;
  std::vector<CZK_Node*> stack;
  stack.push_back(root);
  while (!stack.empty()) {
    CZK_Node* node = stack.back();
    stack.pop_back();
    if (match(node)) return node;
    for (CZK_Node* child : node->children) stack.push_back(child);
  }
  return nullptr;
}
}  // namespace

CZK_Node* CZK_Node::FindNodeByName(const std::string& wanted, CZK_Node* root) {
  return FindDepthFirst(root, [&](const CZK_Node* n) { return n->name == wanted; });
}

CZK_Node* CZK_Node::FindNodeById(int32_t wanted, CZK_Node* root) {
  return FindDepthFirst(root, [&](const CZK_Node* n) { return n->id == wanted; });
}

void CZK_NodePRS::EvaluateLocal(float time, const Matrix* parent) {
  if (currentAnimation < animObjects.size()) {
    const Matrix* p = detached ? &g_IdentityMatrix : parent;
    matrix = tree->controllers->EvaluateTransform(animObjects[currentAnimation], time, p);
  }
}

void CZK_NodePRS::Update(float time, const Matrix* parent) {
  EvaluateLocal(time, parent);
  UpdateChildren(time, &matrix);
}

void CZK_NodePRS::Accept(IZK_NodeVisitor* visitor) { visitor->VisitNodePRS(this); }

void CZK_NodePRS::AddAnimObject(int index) {
  animObject = index;
  animObjects.push_back(index);
  StructureChanged();
}

void CZK_NodePS::AddPositionObject(int index) {
  positionObjects.push_back(index);
  StructureChanged();
}

void CZK_NodePS::AddScaleObject(int index) {
  scaleObjects.push_back(index);
  StructureChanged();
}

void CZK_NodePS::Update(float time, const Matrix* parent) {
  EvaluateLocal(time, parent);
  UpdateChildren(time, &matrix);
}

void CZK_NodePS::EvaluateLocal(float, const Matrix* parent) {
  // A node has objects only once its tree's scene binding gave them, from the tree's manager.
  if (currentAnimation < positionObjects.size())
    position = tree->controllers->GetAnimObjectPosition(positionObjects[currentAnimation]);
  if (currentAnimation < scaleObjects.size())
    scale = tree->controllers->GetAnimObjectScale(scaleObjects[currentAnimation]);
  D3DXMatrixTranslation(&matrix, position.x, position.y, position.z);
  if (detached) {
    D3DXMatrixMultiply(&matrix, &matrix, &scale);
  } else {
    Matrix scaled;
    D3DXMatrixMultiply(&scaled, &scale, parent);
    D3DXMatrixMultiply(&matrix, &matrix, &scaled);
  }
}

void CZK_NodePS::Accept(IZK_NodeVisitor* visitor) { visitor->VisitNodePS(this); }
