#include "characters/DeferredSubtreeUpdate.h"

#include <algorithm>
#include <typeinfo>

#include "animation/AnimObject.h"
#include "animation/StructureGeneration.h"
#include "controllers/AnimationController.h"
#include "controllers/ConstraintControllers.h"
#include "controllers/ControllerManager.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeTree.h"

// A node below a bone, evaluated during the changes: a plain node, or a PRS node whose object
// gives a local matrix of its own or samples a PRS controller. A look-at or link constraint
// among them reads its targets' objects: those must not be evaluated during the changes (Bind
// checks the slots noted here once every object below the bones is known).
bool CZK_DeferredSubtreeUpdate::Qualifies(const CZK_Node* node) {
  const std::type_info& type = typeid(*node);
  if (type == typeid(CZK_Node)) return true;
  if (!IsPRSNodeClass(type)) return false;
  const auto* prs = static_cast<const CZK_NodePRS*>(node);
  if (prs->currentAnimation >= prs->animObjects.size()) return true;  // evaluates nothing
  const int32_t slot = prs->animObjects[prs->currentAnimation];
  m_evaluatedObjects.push_back(slot);
  const CZK_NodeTree* tree = node->GetTree();
  if (tree == nullptr || tree->controllers == nullptr) return false;
  const CZK_ControllerManager& controllers = *tree->controllers;
  const CZK_AnimObjectBase* object = controllers.GetAnimObject(slot);
  if (object == nullptr || object->mode != kAnimObjectFromController) return true;
  const CZK_AnimationControllerBase* controller =
      controllers.GetController(object->controllerIndex);
  if (controller == nullptr) return true;
  const auto noteTargets = [this](const std::vector<CZK_ConstraintTarget>& targets) {
    for (const CZK_ConstraintTarget& t : targets)
      if (t.kind == kTargetTransform) m_targetObjects.push_back(t.slot);
  };
  const std::type_info& kind = typeid(*controller);
  if (kind == typeid(CZK_AnimationControllerLinkConstraints))
    noteTargets(static_cast<const CZK_AnimationControllerLinkConstraints*>(controller)->GetLinks());
  else if (kind != typeid(CZK_AnimationControllerPRS) &&
           kind != typeid(CZK_AnimationControllerPRSSampled))
    return false;
  const auto* rotation = static_cast<const CZK_AnimationControllerPRS*>(controller)->GetRotation();
  if (rotation != nullptr && typeid(*rotation) == typeid(CZK_AnimationControllerRotationLookAt))
    noteTargets(static_cast<const CZK_AnimationControllerRotationLookAt*>(rotation)->GetTargets());
  return true;
}

// Depth-first over the tree: every node below a bone must qualify, and the nodes at or above a
// bone go into the path list. Returns whether the subtree of node holds a bone.
bool CZK_DeferredSubtreeUpdate::AddPaths(CZK_Node* node, int32_t parent, const Matrix* parentMatrix,
                                         bool below, CZK_Node* const* bones, size_t count) {
  if (below && !Qualifies(node)) m_qualifies = false;
  const auto self = static_cast<int32_t>(m_path.size());
  SPathNode p;
  p.node = node;
  p.parent = parent;
  p.plain = typeid(*node) == typeid(CZK_Node);
  p.forChildren = p.plain ? parentMatrix : &node->matrix;
  m_path.push_back(p);
  bool holds = false;
  for (size_t k = 0; k < count; ++k) {
    if (bones[k] != node) continue;
    m_bone[k] = self;
    holds = true;
    // A bone evaluated during the changes must qualify as well; and the change-by-change update
    // of a plain bone's subtree would use the bone's own matrix, not its parent's.
    if (!below && !Qualifies(node)) m_qualifies = false;
    if (p.plain) m_qualifies = false;
  }
  const Matrix* forChildren = p.forChildren;
  const bool childrenBelow = below || holds;  // holds so far: node is a bone
  for (CZK_Node* child : node->children)
    holds = AddPaths(child, self, forChildren, childrenBelow, bones, count) || holds;
  if (!holds) m_path.resize(static_cast<size_t>(self));  // no bone below: not a path node
  return holds;
}

bool CZK_DeferredSubtreeUpdate::Bind(CZK_Node* root, const Matrix* rootParent,
                                     CZK_Node* const* bones, size_t count) {
  if (m_built && root == m_root && rootParent == m_rootParent &&
      m_generation == NStructureGeneration::Current() &&
      m_treeStructure == CZK_Node::TreeStructure(root) && m_bones.size() == count &&
      std::equal(m_bones.begin(), m_bones.end(), bones))
    return m_qualifies;
  m_built = true;
  m_root = root;
  m_rootParent = rootParent;
  m_generation = NStructureGeneration::Current();
  m_treeStructure = CZK_Node::TreeStructure(root);
  m_bones.assign(bones, bones + count);
  m_bone.assign(count, -1);
  m_path.clear();
  m_evaluatedObjects.clear();
  m_targetObjects.clear();
  m_qualifies = root != nullptr;
  if (root != nullptr) AddPaths(root, -1, rootParent, false, bones, count);
  for (int32_t slot : m_targetObjects)
    if (std::find(m_evaluatedObjects.begin(), m_evaluatedObjects.end(), slot) !=
        m_evaluatedObjects.end())
      m_qualifies = false;
  for (size_t k = 0; k < count; ++k)
    if (bones[k] != nullptr && m_bone[k] < 0) m_qualifies = false;  // not in this tree
  m_walk.reserve(m_path.size());
  return m_qualifies;
}

void CZK_DeferredSubtreeUpdate::Begin(float time) {
  m_time = time;
  m_clock = 0;
  for (SPathNode& p : m_path) p.evaluated = p.changed = 0;
}

const Matrix* CZK_DeferredSubtreeUpdate::ParentMatrix(const SPathNode& p) const {
  return p.parent < 0 ? m_rootParent : m_path[static_cast<size_t>(p.parent)].forChildren;
}

void CZK_DeferredSubtreeUpdate::Evaluate(CZK_Node* node, const Matrix* parent) {
  // Plain nodes compute nothing; Bind let no other class through.
  if (typeid(*node) != typeid(CZK_Node))
    static_cast<CZK_NodePRS*>(node)->EvaluateLocal(m_time, parent);
}

Matrix& CZK_DeferredSubtreeUpdate::Current(size_t k) {
  m_walk.clear();
  for (int32_t i = m_bone[k]; i >= 0; i = m_path[static_cast<size_t>(i)].parent)
    m_walk.push_back(i);
  uint32_t above = 0;
  for (auto i = m_walk.rbegin(); i != m_walk.rend(); ++i) {
    SPathNode& p = m_path[static_cast<size_t>(*i)];
    if (above > p.evaluated) {
      Evaluate(p.node, ParentMatrix(p));
      p.evaluated = p.changed = ++m_clock;
    }
    above = std::max(above, p.changed);
  }
  return m_path[static_cast<size_t>(m_bone[k])].node->matrix;
}

void CZK_DeferredSubtreeUpdate::Changed(size_t k) {
  m_path[static_cast<size_t>(m_bone[k])].changed = ++m_clock;
}

void CZK_DeferredSubtreeUpdate::FinishBelow(CZK_Node* node, const Matrix* parent, uint32_t above,
                                            size_t* next) {
  SPathNode* p = *next < m_path.size() && m_path[*next].node == node ? &m_path[(*next)++] : nullptr;
  // A node off the paths was last evaluated with the whole tree, before any change.
  uint32_t stamp = p != nullptr ? p->changed : 0;
  if (above > (p != nullptr ? p->evaluated : 0)) {
    Evaluate(node, parent);
    stamp = ++m_clock;
  }
  above = std::max(above, stamp);
  // Off the paths and with nothing changed above: no bone, no change below either.
  if (above == 0 && p == nullptr) return;
  const Matrix* forChildren = typeid(*node) == typeid(CZK_Node) ? parent : &node->matrix;
  for (CZK_Node* child : node->children) FinishBelow(child, forChildren, above, next);
}

void CZK_DeferredSubtreeUpdate::Finish() {
  size_t next = 0;
  if (m_root != nullptr) FinishBelow(m_root, m_rootParent, 0, &next);
}
