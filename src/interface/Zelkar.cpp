#include "interface/Zelkar.h"

#include <zelkar/HubLayout.h>

#include <utility>

#include "controllers/ControllerManager.h"
#include "foundation/Exceptions.h"
#include "interface/LibraryGlobal.h"
#include "signals/Hub.h"

namespace {

// The managers behind these operations are not part of the library yet. Rather than answer
// with made-up values, each such operation says so.
[[noreturn]] void NotAvailable(const char* operation) {
  throw CZK_Exception(std::string(operation) + " is not available yet");
}

// The process's controller manager; an operation that needs it throws when there is none (the
// library is not attached, or the manager could not be made).
CZK_ControllerManager& Controllers(const char* operation) {
  CZK_LibraryGlobal* global = GetLibraryGlobal();
  if (global == nullptr || global->controllerManager == nullptr)
    throw CZK_Exception(std::string(operation) + ": no controller manager (library not attached)");
  return *global->controllerManager;
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
  // The character manager's Clear comes here once that manager exists.
  global->currentCar = nullptr;
}

void CZK_Zelkar::Update(float) { NotAvailable("Update"); }
void CZK_Zelkar::CreateCharacter(const std::string&, const std::string&, const std::string&) {
  NotAvailable("CreateCharacter");
}
void CZK_Zelkar::CreateHumanCharacter(const std::string&, const std::string&, const std::string&,
                                      const std::string&) {
  NotAvailable("CreateHumanCharacter");
}
void CZK_Zelkar::LoadAnimationScene(const std::string&, const std::string&) {
  NotAvailable("LoadAnimationScene");
}
void CZK_Zelkar::AddAnimation(const std::string&, const std::string&, int) {
  NotAvailable("AddAnimation");
}
void CZK_Zelkar::ResolveSceneTargets(const std::string& sceneName) {
  Controllers("ResolveSceneTargets").ResolveSceneTargets(sceneName);
}
int CZK_Zelkar::GetNodeIndex(const std::string&, const std::string&) {
  NotAvailable("GetNodeIndex");
}
int CZK_Zelkar::GetNodeAnimObject(int) { NotAvailable("GetNodeAnimObject"); }
const Matrix* CZK_Zelkar::GetNodeMatrix(int) { NotAvailable("GetNodeMatrix"); }
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
void CZK_Zelkar::SetFrozen(int, int) { NotAvailable("SetFrozen"); }
int CZK_Zelkar::GetCharacterIndex(const std::string&) { NotAvailable("GetCharacterIndex"); }
void CZK_Zelkar::SetTimeOffset(int, float) { NotAvailable("SetTimeOffset"); }
void CZK_Zelkar::SetSpeed(int, float) { NotAvailable("SetSpeed"); }
void CZK_Zelkar::SetAnimation(int, int, int) { NotAvailable("SetAnimation"); }
int CZK_Zelkar::GetAnimationCount(int, int) { NotAvailable("GetAnimationCount"); }
float CZK_Zelkar::GetRemainingTime(int) { NotAvailable("GetRemainingTime"); }
void CZK_Zelkar::SetPosition(int, const Vector3*) { NotAvailable("SetPosition"); }
void CZK_Zelkar::SetRotation(int, float, float, float) { NotAvailable("SetRotation"); }
void CZK_Zelkar::SetScale(int, float, float, float) { NotAvailable("SetScale"); }
void CZK_Zelkar::SetMatrix(int, const Matrix*) { NotAvailable("SetMatrix"); }
Matrix* CZK_Zelkar::GetMatrix(int) { NotAvailable("GetMatrix"); }
int CZK_Zelkar::FindNodeIndex(int, const std::string&) { NotAvailable("FindNodeIndex"); }
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
