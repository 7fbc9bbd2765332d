// Characters: a node tree played against the host clock, with four animation categories and a
// placement in the world.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "characters/RuntimeContext.h"
#include "foundation/Math.h"
#include "scenegraph/EvaluationPlan.h"
#include "scenegraph/NodeTree.h"

class CZK_Node;

constexpr uint32_t kAnimationCategoryCount = 4;

class CZK_Character {
 public:
  CZK_Character(const std::string& name, const CZK_RuntimeContext& runtime);
  CZK_Character(const CZK_Character&) = delete;
  CZK_Character& operator=(const CZK_Character&) = delete;

  // Slot order: destructor, OnHierarchyLoaded, Update, OnAnimationAdded, GetRemainingTime.
  virtual ~CZK_Character();
  virtual void OnHierarchyLoaded() {}
  virtual void Update(float time);
  virtual void OnAnimationAdded() {}
  virtual float GetRemainingTime();

  // Hangs node under the node whose id is its parent id and files it by kind. A parent that is
  // not in the tree is refused with a CZK_Exception (the node is not taken).
  void AttachNode(CZK_Node* node);

  // Categories outside 0..3 are refused with a CZK_Exception: they would index past the four
  // lists, and a host passing one has a bug worth hearing about.
  void AddAnimation(const std::string& sceneName, uint32_t category);
  uint32_t GetAnimationCount(uint32_t category) const;
  void SetAnimation(uint32_t category, uint32_t index);

  void SetPosition(const Vector3& xyz);
  void SetRotation(float ax, float ay, float az);
  void SetScale(float sx, float sy, float sz);
  void SetMatrix(const Matrix& m) { world = m; }
  Matrix* GetMatrix() { return &world; }

  void SetSpeed(float f) { speed = f; }
  void SetTimeOffset(float f) { timeOffset = f; }
  void SetFrozen(int32_t flag) { frozen = flag; }

  float LocalTime(float hostTime) const {
    return (hostTime - startTime) * speed + sceneStart + timeOffset;
  }

  const std::string& GetName() const { return name; }
  CZK_Node* GetRoot() const { return root; }
  const std::vector<CZK_Node*>& GetPlacedNodes() const { return placedNodes; }
  const std::vector<CZK_Node*>& GetAttachedNodes() const { return attachedNodes; }
  const std::vector<CZK_Node*>& GetBoneNodes() const { return boneNodes; }
  const std::vector<CZK_Node*>& GetOtherNodes() const { return otherNodes; }
  uint32_t GetCurrentCategory() const { return currentCategory; }
  uint32_t GetCurrentIndex() const { return currentIndex; }
  float GetStartTime() const { return startTime; }
  float GetSceneStart() const { return sceneStart; }
  float GetSceneEnd() const { return sceneEnd; }
  float GetLastTime() const { return lastTime; }
  int32_t IsFrozen() const { return frozen; }
  const CZK_EvaluationPlan& GetPlan() const { return plan; }
  CZK_EvaluationPlan& GetPlan() { return plan; }
  const CZK_RuntimeContext& GetRuntime() const { return runtime; }

 protected:
  void UpdatePlacement();
  void WriteWorldIntoNodes();

  std::string name;
  // The managers this character was made under; its nodes share `tree`.
  CZK_RuntimeContext runtime;
  CZK_NodeTree tree;
  CZK_Node* root;
  std::vector<uint32_t> animationIds[kAnimationCategoryCount];
  std::vector<uint32_t> sceneRecords[kAnimationCategoryCount];
  uint32_t nextAnimationId = 0;
  uint32_t currentCategory = 0;
  uint32_t currentIndex = 0;
  float startTime = 0.0f;
  float timeOffset = 0.0f;
  float speed = 1.0f;
  float lastTime = 0.0f;
  float sceneEnd = 0.0f;
  float sceneStart = 0.0f;
  Vector3 position = {0.0f, 0.0f, 0.0f};
  Matrix rotation = g_IdentityMatrix;
  Matrix translation = g_IdentityMatrix;
  Matrix world = g_IdentityMatrix;
  Matrix scale = g_IdentityMatrix;
  std::vector<CZK_Node*> placedNodes;
  std::vector<CZK_Node*> attachedNodes;
  std::vector<CZK_Node*> boneNodes;
  std::vector<CZK_Node*> otherNodes;
  int32_t frozen = 0;
  // The tree's frame as a flat list, rebuilt when what the character plays changes.
  CZK_EvaluationPlan plan;
};

// The plain human: the base behaviour under its own class, so that ordinary transform nodes of
// its hierarchy become human nodes.
class CZK_CharacterHuman : public CZK_Character {
 public:
  using CZK_Character::CZK_Character;
  ~CZK_CharacterHuman() override = default;
};
