#include "characters/Character.h"

#include <string>

#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "foundation/Exceptions.h"
#include "foundation/Logger.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeAnimationConnector.h"

CZK_Character::CZK_Character(const std::string& characterName, const CZK_RuntimeContext& context)
    : name(characterName),
      runtime(context),
      tree{context.controllers, 0},
      root(new CZK_Node("root", -1, -1)) {
  root->SetTree(&tree);
  root->fullName = name + "root";
  root->registryIndex = runtime.characters->AddNode(root);
}

CZK_Character::~CZK_Character() { delete root; }

void CZK_Character::AttachNode(CZK_Node* node) {
  CZK_Node* parent = CZK_Node::FindNodeById(node->parentId, root);
  if (parent == nullptr) {
    throw CZK_Exception("[CZK_Character::AttachNode] node \"" + node->name + "\" of character \"" +
                        name + "\" names parent id " + std::to_string(node->parentId) +
                        ", which is not in the tree");
  }
  parent->AddChild(node);
  node->fullName = name + node->name;
  switch (node->kind) {
    case kNodePlaced:
      placedNodes.push_back(node);
      break;
    case kNodeAttached:
      attachedNodes.push_back(node);
      break;
    case kNodeBone:
      boneNodes.push_back(node);
      break;
    default:
      otherNodes.push_back(node);
      break;
  }
}

void CZK_Character::AddAnimation(const std::string& sceneName, uint32_t category) {
  if (category >= kAnimationCategoryCount)
    throw CZK_Exception("[CZK_Character::AddAnimation] category " +
                        std::to_string(static_cast<int32_t>(category)) +  // as the host sent it
                        " is outside 0 to 3");
  currentCategory = category;
  currentIndex = static_cast<uint32_t>(animationIds[category].size());

  CZK_NodeAnimationConnector connector(sceneName, *runtime.controllers);
  std::vector<CZK_Node*> stack{root};
  while (!stack.empty()) {
    CZK_Node* node = stack.back();
    stack.pop_back();
    node->Accept(&connector);
    for (CZK_Node* child : node->children) stack.push_back(child);
  }

  const int record = runtime.controllers->FindSceneRecord(sceneName);
  sceneRecords[category].push_back(static_cast<uint32_t>(record));
  animationIds[category].push_back(nextAnimationId++);
}

uint32_t CZK_Character::GetAnimationCount(uint32_t category) const {
  return category < kAnimationCategoryCount ? static_cast<uint32_t>(animationIds[category].size())
                                            : 0;
}

void CZK_Character::SetAnimation(uint32_t category, uint32_t index) {
  if (category >= kAnimationCategoryCount) return;
  if (index >= sceneRecords[category].size()) return;
  root->SetCurrentAnimation(animationIds[category][index]);
  startTime = runtime.characters->GetCurrentTime();
  currentIndex = index;
  currentCategory = category;
  const uint32_t record = sceneRecords[category][index];
  const CZK_ControllerManager& controllers = *runtime.controllers;
  if (record < static_cast<uint32_t>(controllers.GetSceneRecordCount())) {
    const SceneRecord& r = controllers.GetSceneRecord(static_cast<int>(record));
    sceneEnd = r.end;
    sceneStart = r.start;
  } else {
    NRQLib2::NLogger::GetLogger().SelectLevel(4) << "Invalid animation data handle" << std::endl;
  }
}

void CZK_Character::WriteWorldIntoNodes() {
  for (CZK_Node* node : placedNodes) node->matrix = world;
  for (CZK_Node* node : attachedNodes) {
    // A node that no update rewrites starts again from its own transform: multiplied in place,
    // it would take the world once more at every update (a spectator without a scene shrank to
    // nothing at his scale of 0.001 within fifteen frames).
    if (node->HoldsMatrix()) node->matrix = node->bindMatrix;
    node->MultiplyMatrix(&world);
  }
  root->matrix = world;
}

void CZK_Character::Update(float time) {
  lastTime = time;
  if (frozen) return;
  plan.Run(root, LocalTime(time), &g_IdentityMatrix);
  WriteWorldIntoNodes();
}

float CZK_Character::GetRemainingTime() {
  if (nextAnimationId == 0) return 1.0f;
  return sceneEnd - LocalTime(lastTime);
}

void CZK_Character::UpdatePlacement() {
  Matrix sr;
  D3DXMatrixMultiply(&sr, &scale, &rotation);
  D3DXMatrixMultiply(&world, &sr, &translation);
}

void CZK_Character::SetPosition(const Vector3& xyz) {
  position = xyz;
  D3DXMatrixTranslation(&translation, xyz.x, xyz.y, xyz.z);
  UpdatePlacement();
}

void CZK_Character::SetRotation(float ax, float ay, float az) {
  Matrix rx, ry, rz, rxy;
  D3DXMatrixRotationX(&rx, ax);
  D3DXMatrixRotationY(&ry, ay);
  D3DXMatrixRotationZ(&rz, az);
  D3DXMatrixMultiply(&rxy, &rx, &ry);
  D3DXMatrixMultiply(&rotation, &rxy, &rz);
  UpdatePlacement();
}

void CZK_Character::SetScale(float sx, float sy, float sz) {
  D3DXMatrixScaling(&scale, sx, sy, sz);
  UpdatePlacement();
}
