#include "interface/Zelkar.h"

#include <zelkar/HubLayout.h>

#include <utility>

#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "foundation/Exceptions.h"
#include "interface/LibraryGlobal.h"
#include "loading/SceneLoader.h"
#include "scenegraph/Node.h"
#include "signals/Hub.h"

namespace {

// The process's managers; an operation that needs one throws when there is none (the library is
// not attached, or the manager could not be made).
CZK_LibraryGlobal& Global(const char* operation) {
  CZK_LibraryGlobal* global = GetLibraryGlobal();
  if (global == nullptr || global->controllerManager == nullptr ||
      global->characterManager == nullptr)
    throw CZK_Exception(std::string(operation) + ": the library is not attached");
  return *global;
}

CZK_ControllerManager& Controllers(const char* operation) {
  return *Global(operation).controllerManager;
}

CZK_CharacterManager& Characters(const char* operation) {
  return *Global(operation).characterManager;
}

}  // namespace

CZK_Zelkar::CZK_Zelkar()
    : cleanupConnection(new CleanupConnection(this, &CZK_Zelkar::OnSessionCleanup)) {
  LinkIntoHub(cleanupConnection, zk_hub::kSessionCleanupList);
}

CZK_Zelkar::~CZK_Zelkar() {
  delete cleanupConnection;  // unlinks it from the hub's list
  cleanupConnection = nullptr;
}

bool CZK_Zelkar::Initialize() { return true; }
void CZK_Zelkar::Shutdown() {}

void CZK_Zelkar::OnSessionCleanup(const CSigPC_SessionCleanup&) {
  CZK_LibraryGlobal* global = GetLibraryGlobal();
  if (global == nullptr) return;
  if (global->controllerManager != nullptr) global->controllerManager->Clear();
  if (global->characterManager != nullptr) global->characterManager->Clear();
  global->currentCar = nullptr;
}

void CZK_Zelkar::Update(float time) { Characters("Update").UpdateAll(time); }

void CZK_Zelkar::CreateCharacter(const std::string& path, const std::string& name,
                                 const std::string& kind) {
  CZK_CharacterManager& characters = Characters("CreateCharacter");
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  characters.AddCharacter(loader.CreateCharacter(path, name, kind));
}

void CZK_Zelkar::CreateHumanCharacter(const std::string& path, const std::string& reserved,
                                      const std::string& name, const std::string& kind) {
  CZK_CharacterManager& characters = Characters("CreateHumanCharacter");
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  characters.AddCharacter(loader.CreateHumanCharacter(path, reserved, name, kind));
}

void CZK_Zelkar::LoadAnimationScene(const std::string& path, const std::string& sceneName) {
  Global("LoadAnimationScene");
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  loader.LoadScene(path, sceneName, nullptr);
}

void CZK_Zelkar::AddAnimation(const std::string& characterName, const std::string& sceneName,
                              int category) {
  Characters("AddAnimation").AddAnimation(characterName, sceneName, category);
}

void CZK_Zelkar::ResolveSceneTargets(const std::string& sceneName) {
  Controllers("ResolveSceneTargets").ResolveSceneTargets(sceneName);
}
int CZK_Zelkar::GetNodeIndex(const std::string& characterName, const std::string& nodeName) {
  return Characters("GetNodeIndex").GetNodeIndex(characterName, nodeName);
}
int CZK_Zelkar::GetNodeAnimObject(int nodeIndex) {
  const CZK_Node* node = Characters("GetNodeAnimObject").GetNode(nodeIndex);
  return node != nullptr ? node->animObject : 0;
}
const Matrix* CZK_Zelkar::GetNodeMatrix(int nodeIndex) {
  CZK_Node* node = Characters("GetNodeMatrix").GetNode(nodeIndex);
  return node != nullptr ? node->GetMatrix() : nullptr;
}
float CZK_Zelkar::GetAnimObjectFloat(int animObjectIndex) {
  return Controllers("GetAnimObjectFloat").GetAnimObjectFloat(animObjectIndex);
}
Vector3 CZK_Zelkar::GetAnimObjectPosition(int animObjectIndex) {
  return Controllers("GetAnimObjectPosition").GetAnimObjectPosition(animObjectIndex);
}
void CZK_Zelkar::CreatePositionController(const char* name, std::vector<CZK_PositionKey> keys) {
  CZK_ControllerManager& manager = Controllers("CreatePositionController");
  std::vector<SPositionKeyRecord> records;
  records.reserve(keys.size());
  for (const CZK_PositionKey& key : keys) records.push_back({key.x, key.y, key.z, key.time});
  manager.CreatePositionController(name, std::move(records));
}
void CZK_Zelkar::SetFrozen(int character, int flag) {
  Characters("SetFrozen").SetFrozen(character, flag);
}
int CZK_Zelkar::GetCharacterIndex(const std::string& name) {
  return Characters("GetCharacterIndex").GetCharacterIndex(name);
}
void CZK_Zelkar::SetTimeOffset(int character, float offset) {
  Characters("SetTimeOffset").SetTimeOffset(character, offset);
}
void CZK_Zelkar::SetSpeed(int character, float speed) {
  Characters("SetSpeed").SetSpeed(character, speed);
}
void CZK_Zelkar::SetAnimation(int character, int category, int index) {
  Characters("SetAnimation").SetAnimation(character, category, index);
}
int CZK_Zelkar::GetAnimationCount(int character, int category) {
  return Characters("GetAnimationCount").GetAnimationCount(character, category);
}
float CZK_Zelkar::GetRemainingTime(int character) {
  return Characters("GetRemainingTime").GetRemainingTime(character);
}
void CZK_Zelkar::SetPosition(int character, const Vector3* position) {
  Characters("SetPosition").SetPosition(character, position);
}
void CZK_Zelkar::SetRotation(int character, float ax, float ay, float az) {
  Characters("SetRotation").SetRotation(character, ax, ay, az);
}
void CZK_Zelkar::SetScale(int character, float sx, float sy, float sz) {
  Characters("SetScale").SetScale(character, sx, sy, sz);
}
void CZK_Zelkar::SetMatrix(int character, const Matrix* matrix) {
  Characters("SetMatrix").SetMatrix(character, matrix);
}
Matrix* CZK_Zelkar::GetMatrix(int character) {
  return Characters("GetMatrix").GetMatrix(character);
}
int CZK_Zelkar::FindNodeIndex(int character, const std::string& nodeName) {
  return Characters("FindNodeIndex").FindNodeIndex(character, nodeName);
}
Matrix CZK_Zelkar::GetAnimObjectMatrix(int animObjectIndex) {
  return Controllers("GetAnimObjectMatrix").GetAnimObjectMatrix(animObjectIndex);
}
Quaternion CZK_Zelkar::GetAnimObjectRotation(int animObjectIndex, const Matrix* reference) {
  return Controllers("GetAnimObjectRotation").GetAnimObjectRotation(animObjectIndex, reference);
}
Matrix CZK_Zelkar::GetAnimObjectScale(int animObjectIndex) {
  return Controllers("GetAnimObjectScale").GetAnimObjectScale(animObjectIndex);
}
bool CZK_Zelkar::IsAnimObjectStatic(int animObjectIndex) {
  return Controllers("IsAnimObjectStatic").IsAnimObjectStatic(animObjectIndex);
}
int CZK_Zelkar::AddController(CZK_AnimationControllerBase* controller) {
  return Controllers("AddController").AddController(controller);
}

int CZK_Zelkar::Reserved0(int) { return 0; }
int CZK_Zelkar::Reserved1(int) { return 0; }
int CZK_Zelkar::Reserved2(int) { return 0; }

int CZK_Zelkar::FindController(const char* name) {
  return Controllers("FindController").FindController(name);
}

void CZK_Zelkar::RemoveCharacter(int characterIndex) {
  Characters("RemoveCharacter").RemoveCharacter(characterIndex);
}
