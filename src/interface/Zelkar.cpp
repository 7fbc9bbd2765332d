#include "interface/Zelkar.h"

#include <zelkar/HubLayout.h>

#include "foundation/Exceptions.h"
#include "interface/LibraryGlobal.h"
#include "signals/Hub.h"

namespace {

// The managers behind these operations are not part of the library yet. Rather than answer
// with made-up values, each such operation says so.
[[noreturn]] void NotAvailable(const char* operation) {
  throw CZK_Exception(std::string(operation) + " is not available yet");
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
  // Clear the controller manager (it keeps its "dummy controller" object), then the character
  // manager, joins here when those managers exist; until then both fields are null.
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
void CZK_Zelkar::ResolveSceneTargets(const std::string&) { NotAvailable("ResolveSceneTargets"); }
int CZK_Zelkar::GetNodeIndex(const std::string&, const std::string&) {
  NotAvailable("GetNodeIndex");
}
int CZK_Zelkar::GetNodeAnimObject(int) { NotAvailable("GetNodeAnimObject"); }
const Matrix* CZK_Zelkar::GetNodeMatrix(int) { NotAvailable("GetNodeMatrix"); }
float CZK_Zelkar::GetAnimObjectFloat(int) { NotAvailable("GetAnimObjectFloat"); }
Vector3 CZK_Zelkar::GetAnimObjectPosition(int) { NotAvailable("GetAnimObjectPosition"); }
void CZK_Zelkar::CreatePositionController(const char*, std::vector<CZK_PositionKey>) {
  NotAvailable("CreatePositionController");
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
Matrix CZK_Zelkar::GetAnimObjectMatrix(int) { NotAvailable("GetAnimObjectMatrix"); }
Quaternion CZK_Zelkar::GetAnimObjectRotation(int, const Matrix*) {
  NotAvailable("GetAnimObjectRotation");
}
Matrix CZK_Zelkar::GetAnimObjectScale(int) { NotAvailable("GetAnimObjectScale"); }
bool CZK_Zelkar::IsAnimObjectStatic(int) { NotAvailable("IsAnimObjectStatic"); }
int CZK_Zelkar::AddController(CZK_AnimationControllerBase*) { NotAvailable("AddController"); }

int CZK_Zelkar::Reserved0(int) { return 0; }
int CZK_Zelkar::Reserved1(int) { return 0; }
int CZK_Zelkar::Reserved2(int) { return 0; }

int CZK_Zelkar::FindController(const char*) { NotAvailable("FindController"); }
