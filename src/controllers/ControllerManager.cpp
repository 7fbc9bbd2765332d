#include "controllers/ControllerManager.h"

#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>

#include <algorithm>
#include <utility>

#include "animation/AnimObject.h"
#include "animation/AnimTrackTCB.h"
#include "animation/AnimationScene.h"
#include "animation/KeyFrame.h"
#include "animation/StructureGeneration.h"
#include "controllers/AnimationController.h"
#include "controllers/ConstraintControllers.h"
#include "foundation/HostInput.h"
#include "signals/Hub.h"

namespace {
// The name of a link target that stands for the world itself: no object, the identity link.
constexpr const char* kWorldRootName = "__world_root__";
}  // namespace

CZK_ControllerManager::CZK_ControllerManager() {
  for (std::size_t k = 0; k < kSolidStateConnectionCount; ++k)
    m_solidStateConnections[k] =
        new SolidStateConnection(this, &CZK_ControllerManager::OnSolidGeneralState);
  for (std::size_t k = 0; k < kGhostCarConnectionCount; ++k)
    m_ghostCarConnections[k] =
        new GhostCarConnection(this, &CZK_ControllerManager::OnGhostCarState);
  // Without a hub (a program that never attached) the connections stay unlinked: there is no one
  // to deliver signals, and nothing is written through a null hub.
  if (GetSignalHub() != nullptr) {
    for (std::size_t k = 0; k < kSolidStateConnectionCount; ++k)
      LinkIntoHub(m_solidStateConnections[k], zk_hub::kSolidGeneralStateLists[k]);
    for (std::size_t k = 0; k < kGhostCarConnectionCount; ++k)
      LinkIntoHub(m_ghostCarConnections[k], zk_hub::kGhostCarStateLists[k]);
  }
  AddDummyObject();
}

CZK_ControllerManager::~CZK_ControllerManager() {
  DestroyContents();
  // Each connection unlinks itself from its list when destroyed.
  for (SolidStateConnection*& c : m_solidStateConnections) {
    delete c;
    c = nullptr;
  }
  for (GhostCarConnection*& c : m_ghostCarConnections) {
    delete c;
    c = nullptr;
  }
}

auto CZK_ControllerManager::NameOf() const {
  return [this](int index) -> const std::string& {
    return m_controllers[static_cast<std::size_t>(index)]->GetName();
  };
}

void CZK_ControllerManager::DestroyContents() {
  NStructureGeneration::Changed();
  for (CZK_AnimationScene* scene : m_scenes) delete scene;
  m_scenes.clear();
  for (CZK_AnimObjectBase* object : m_animObjects) delete object;
  m_animObjects.clear();
  m_controllerNames.Clear();
  m_namedControllers = 0;
  for (CZK_AnimationControllerBase* controller : m_controllers) delete controller;
  m_controllers.clear();
  m_nameHashes.clear();
  for (size_t k = 0; k < m_ikChains.size(); ++k) m_ikChainDestroyers[k](m_ikChains[k]);
  m_ikChains.clear();
  m_ikChainDestroyers.clear();
  m_sceneRecords.clear();
}

void CZK_ControllerManager::AddDummyObject() {
  auto* dummy = new CZK_AnimObjectTM(kDummyObjectName);
  dummy->mode = kAnimObjectFixed;
  dummy->controllerIndex = 0;
  dummy->world = g_IdentityMatrix;
  m_animObjects.push_back(dummy);
}

void CZK_ControllerManager::Clear() {
  DestroyContents();
  AddDummyObject();
}

// ---- Registration ---------------------------------------------------------------------------

int CZK_ControllerManager::AddScene(const std::string& name) {
  m_scenes.push_back(new CZK_AnimationScene(name));
  return static_cast<int>(m_scenes.size()) - 1;
}

int CZK_ControllerManager::AddController(CZK_AnimationControllerBase* controller) {
  if (controller == nullptr) return -1;
  CZK_AnimationScene* scene = m_scenes.empty() ? nullptr : m_scenes.back();
  if (controller->IsLookAtController()) {
    if (auto* lookAt = dynamic_cast<CZK_AnimationControllerRotationLookAt*>(controller)) {
      lookAt->SetManager(this);
      if (scene != nullptr) scene->lookAtControllers.push_back(lookAt);
    }
  }
  if (controller->IsLinkConstraintController()) {
    if (auto* link = dynamic_cast<CZK_AnimationControllerLinkConstraints*>(controller)) {
      link->SetManager(this);
      if (scene != nullptr) scene->linkConstraintControllers.push_back(link);
    }
  }
  m_controllers.push_back(controller);
  NStructureGeneration::Changed();
  // The name is at hand now, its slot in the lookup probably not: the slot is fetched now and
  // the name filed kFilingLag controllers later, from its hash kept here.
  constexpr std::size_t kFilingLag = 8;
  const std::uint32_t hash = CControllerNameIndex::Hash(controller->GetName());
  m_nameHashes.push_back(hash);
  m_controllerNames.Prefetch(hash);
  while (m_namedControllers + kFilingLag < m_controllers.size()) FileNextName();
  return static_cast<int>(m_controllers.size()) - 1;
}

void CZK_ControllerManager::FileNextName() const {
  const std::size_t i = m_namedControllers++;
  m_controllerNames.Insert(m_nameHashes[i], static_cast<int>(i), NameOf());
}

void CZK_ControllerManager::IndexControllerNames() const {
  while (m_namedControllers < m_controllers.size()) FileNextName();
}

int CZK_ControllerManager::FindController(const char* name) const {
  if (name == nullptr) return -1;
  IndexControllerNames();
  return m_controllerNames.Find(name, NameOf());
}

void CZK_ControllerManager::CreatePositionController(const char* name,
                                                     std::vector<SPositionKeyRecord> keys) {
  auto* controller = new CZK_AnimationControllerPositionVector(name != nullptr ? name : "");
  auto* track = new CZK_AnimTrackPositionTCB();
  for (const SPositionKeyRecord& record : keys) {
    CZK_KeyFrameTCBPosition key;
    key.time = record.time;
    key.value = {record.x, record.y, record.z};
    key.tension = 0.0f;
    key.continuity = 0.0f;
    key.bias = 0.0f;
    key.easeIn = 0.0f;
    key.easeOut = 0.0f;
    track->AddKey(key);
  }
  track->outOfRangeBefore = Hold;
  track->outOfRangeAfter = Hold;
  track->Prepare();
  // The controller's reference is the track's only one: destroying the controller destroys it.
  controller->SetTrack(track);
  AddController(controller);
  // The keys were taken by value; their storage goes now rather than with the caller's frame.
  std::vector<SPositionKeyRecord>().swap(keys);
}

int CZK_ControllerManager::AddSceneRecord(const SceneRecord& record) {
  m_sceneRecords.push_back(record);
  return static_cast<int>(m_sceneRecords.size()) - 1;
}

int CZK_ControllerManager::FindSceneRecord(const std::string& name) const {
  for (std::size_t i = 0; i < m_sceneRecords.size(); ++i) {
    if (m_sceneRecords[i].name == name) return static_cast<int>(i);
  }
  return 0;
}

const SceneRecord& CZK_ControllerManager::GetSceneRecord(int index) const {
  static const SceneRecord kNoRecord;
  if (index < 0 || static_cast<std::size_t>(index) >= m_sceneRecords.size()) return kNoRecord;
  return m_sceneRecords[static_cast<std::size_t>(index)];
}

void CZK_ControllerManager::AddIKChain(CZK_IKChain* chain, void (*destroy)(CZK_IKChain*)) {
  if (chain == nullptr) return;
  m_ikChainDestroyers.reserve(m_ikChains.size() + 1);  // both lists grow together or neither
  m_ikChains.push_back(chain);
  m_ikChainDestroyers.push_back(destroy);
}

// ---- Undoing a refused load -----------------------------------------------------------------

CZK_ControllerManager::Counts CZK_ControllerManager::GetCounts() const {
  Counts counts;
  counts.scenes = m_scenes.size();
  counts.animObjects = m_animObjects.size();
  counts.controllers = m_controllers.size();
  counts.sceneRecords = m_sceneRecords.size();
  counts.ikChains = m_ikChains.size();
  return counts;
}

void CZK_ControllerManager::TruncateTo(const Counts& mark) {
  NStructureGeneration::Changed();
  while (m_scenes.size() > mark.scenes) {
    delete m_scenes.back();
    m_scenes.pop_back();
  }

  const std::size_t objectMark = std::max<std::size_t>(mark.animObjects, 1);
  while (m_animObjects.size() > objectMark) {
    delete m_animObjects.back();
    m_animObjects.pop_back();
  }

  if (m_controllers.size() > mark.controllers) {
    const auto removedBegin = m_controllers.begin() + static_cast<std::ptrdiff_t>(mark.controllers);
    const auto isRemoved = [&](const CZK_AnimationControllerBase* c) {
      return std::find(removedBegin, m_controllers.end(), c) != m_controllers.end();
    };
    for (CZK_AnimationScene* scene : m_scenes) {
      std::erase_if(scene->lookAtControllers, isRemoved);
      std::erase_if(scene->linkConstraintControllers, isRemoved);
    }
    // Filing every name again in order, later names winning, gives exactly the lookup at the
    // mark; the next search does it.
    m_controllerNames.Clear();
    m_namedControllers = 0;
    for (auto it = removedBegin; it != m_controllers.end(); ++it) delete *it;
    m_controllers.erase(removedBegin, m_controllers.end());
    m_nameHashes.resize(m_controllers.size());
  }

  if (m_sceneRecords.size() > mark.sceneRecords) m_sceneRecords.resize(mark.sceneRecords);

  while (m_ikChains.size() > mark.ikChains) {
    m_ikChainDestroyers.back()(m_ikChains.back());
    m_ikChains.pop_back();
    m_ikChainDestroyers.pop_back();
  }
}

// ---- Animated objects -----------------------------------------------------------------------

int CZK_ControllerManager::CreateTransformObject(const char* name) {
  const int k = FindController(name);
  auto* object = new CZK_AnimObjectTM(name != nullptr ? name : "");
  if (k >= 0) {
    object->controllerIndex = k;
    object->mode = kAnimObjectFromController;
  } else {
    object->mode = kAnimObjectFixed;
    object->fixed = g_IdentityMatrix;
    object->controllerIndex = 0;
  }
  m_animObjects.push_back(object);
  return static_cast<int>(m_animObjects.size()) - 1;
}

int CZK_ControllerManager::CreatePositionObject(const char* name) {
  auto* object = new CZK_AnimObjectVector3(name != nullptr ? name : "");
  const int k = FindController(name);
  object->controllerIndex = k != -1 ? k : 0;
  object->mode = kAnimObjectFromController;
  m_animObjects.push_back(object);
  return static_cast<int>(m_animObjects.size()) - 1;
}

int CZK_ControllerManager::CreateScaleObject(const char* name) {
  auto* object = new CZK_AnimObjectTM(name != nullptr ? name : "");
  object->controllerIndex = FindController(name);
  object->mode = kAnimObjectFromController;
  m_animObjects.push_back(object);
  return static_cast<int>(m_animObjects.size()) - 1;
}

int CZK_ControllerManager::FindAnimObject(const std::string& name) const {
  for (std::size_t i = 0; i < m_animObjects.size(); ++i) {
    if (m_animObjects[i]->name == name) return static_cast<int>(i);
  }
  return -1;
}

CZK_AnimObjectBase* CZK_ControllerManager::GetAnimObject(int index) const {
  return ElementOrNull(m_animObjects, index);
}

CZK_AnimationScene* CZK_ControllerManager::GetScene(int index) const {
  return ElementOrNull(m_scenes, index);
}

CZK_IKChain* CZK_ControllerManager::GetIKChain(int index) const {
  return ElementOrNull(m_ikChains, index);
}

CZK_AnimationControllerBase* CZK_ControllerManager::GetController(int index) const {
  return ElementOrNull(m_controllers, index);
}

CZK_AnimObjectTM* CZK_ControllerManager::GetTransformObject(int index) const {
  return AsTransformObject(GetAnimObject(index));
}

CZK_AnimationControllerBase* CZK_ControllerManager::GetBoundController(int objectIndex,
                                                                       uint32_t type) const {
  const CZK_AnimObjectBase* object = GetAnimObject(objectIndex);
  if (object == nullptr) return nullptr;
  CZK_AnimationControllerBase* controller = GetController(object->controllerIndex);
  if (controller == nullptr || controller->GetType() != type) return nullptr;
  return controller;
}

// ---- Evaluation and queries -----------------------------------------------------------------

Matrix CZK_ControllerManager::EvaluateTransform(int objectIndex, float time, const Matrix* parent) {
  const Matrix& p = parent != nullptr ? *parent : g_IdentityMatrix;
  CZK_AnimObjectBase* object = GetAnimObject(objectIndex);
  if (object == nullptr) return p;

  Matrix local = g_IdentityMatrix;
  CZK_AnimObjectTM* transform = AsTransformObject(object);
  if (object->mode == kAnimObjectFromController) {
    const CZK_AnimationControllerBase* controller = GetController(object->controllerIndex);
    // Type code 4 belongs to the PRS family only; anything else has no transform to give.
    if (controller != nullptr && controller->GetType() == kControllerPRS)
      static_cast<const CZK_AnimationControllerPRS*>(controller)->Evaluate(&local, time, parent);
    else if (controller != nullptr && controller->GetType() == kControllerPRSLOD)
      static_cast<const CZK_AnimationControllerPRSLOD*>(controller)->Evaluate(&local, time);
  } else if (transform != nullptr) {
    local = transform->fixed;
  }

  Matrix world;
  D3DXMatrixMultiply(&world, &local, &p);
  if (transform != nullptr) transform->world = world;
  return world;
}

float CZK_ControllerManager::GetAnimObjectFloat(int objectIndex) const {
  const auto* c = static_cast<const CZK_AnimationControllerFloat*>(
      GetBoundController(objectIndex, kControllerFloat));
  return c != nullptr ? c->GetValue(0.0f) : 0.0f;
}

Vector3 CZK_ControllerManager::GetAnimObjectPosition(int objectIndex) const {
  Vector3 v = {0.0f, 0.0f, 0.0f};
  const auto* c = static_cast<const CZK_AnimationControllerPositionBase*>(
      GetBoundController(objectIndex, kControllerPosition));
  if (c != nullptr) c->Evaluate(&v, 0.0f);
  return v;
}

Quaternion CZK_ControllerManager::GetAnimObjectRotation(int objectIndex,
                                                        const Matrix* reference) const {
  Quaternion q = {0.0f, 0.0f, 0.0f, 1.0f};
  const auto* c = static_cast<const CZK_AnimationControllerRotationBase*>(
      GetBoundController(objectIndex, kControllerRotation));
  if (c != nullptr) {
    const Vector3 world =
        reference != nullptr ? MatrixGetTranslation(*reference) : Vector3{0.0f, 0.0f, 0.0f};
    c->Evaluate(&q, 0.0f, &world);
  }
  return q;
}

Matrix CZK_ControllerManager::GetAnimObjectScale(int objectIndex) const {
  Matrix m = g_IdentityMatrix;
  const auto* c = static_cast<const CZK_AnimationControllerScale*>(
      GetBoundController(objectIndex, kControllerScale));
  if (c != nullptr) c->GetMatrix(&m, 0.0f);
  return m;
}

Matrix CZK_ControllerManager::GetAnimObjectMatrix(int objectIndex) const {
  const Matrix* world = GetAnimObjectWorld(objectIndex);
  return world != nullptr ? *world : g_IdentityMatrix;
}

const Matrix* CZK_ControllerManager::GetAnimObjectWorld(int objectIndex) const {
  const CZK_AnimObjectTM* object = GetTransformObject(objectIndex);
  return object != nullptr ? &object->world : nullptr;
}

bool CZK_ControllerManager::IsAnimObjectStatic(int objectIndex) const {
  const CZK_AnimObjectBase* object = GetAnimObject(objectIndex);
  return object != nullptr && object->mode == kAnimObjectFixed;
}

// ---- Target resolution ----------------------------------------------------------------------

void CZK_ControllerManager::ResolveTarget(CZK_ConstraintTarget& entry,
                                          const std::string& prefix) const {
  int i = FindAnimObject(prefix + entry.name + "::PRS");
  entry.kind = kTargetTransform;
  if (i == -1) {
    i = FindAnimObject(prefix + entry.name + "::Position");
    entry.kind = kTargetPosition;
  }
  entry.slot = i;
}

void CZK_ControllerManager::ResolveSceneTargets(const std::string& sceneName) {
  const auto it = std::find_if(m_scenes.begin(), m_scenes.end(),
                               [&](const CZK_AnimationScene* s) { return s->name == sceneName; });
  if (it == m_scenes.end()) return;
  const CZK_AnimationScene* scene = *it;

  // Look-at targets are objects of the same scene; link targets are named in full.
  const std::string prefix = sceneName + "::";
  for (CZK_AnimationControllerRotationLookAt* lookAt : scene->lookAtControllers) {
    for (CZK_ConstraintTarget& target : lookAt->GetTargets()) ResolveTarget(target, prefix);
  }
  for (CZK_AnimationControllerLinkConstraints* link : scene->linkConstraintControllers) {
    for (CZK_ConstraintTarget& entry : link->GetLinks()) {
      if (entry.name == kWorldRootName)
        entry.slot = -1;
      else
        ResolveTarget(entry, std::string());
    }
  }
}

// ---- Signal handlers ------------------------------------------------------------------------

void CZK_ControllerManager::PlaceObject(uint32_t n, const Vector3& hostPosition,
                                        const Quaternion& orientation) {
  if (n == 0 || n >= m_animObjects.size()) return;
  // A non-finite position or orientation would leave NaN in the object's matrix (and in every
  // node below it) until the next record for it: the object keeps what it had.
  if (!IsFinite(hostPosition) || !IsFinite(orientation)) return;
  // Only transform objects keep a fixed matrix; a signal for another kind changes nothing.
  auto* object = AsTransformObject(m_animObjects[n]);
  if (object == nullptr) return;
  Matrix r, t;
  D3DXMatrixRotationQuaternion(&r, &orientation);
  // Host axes to library axes: the second and third components change places.
  D3DXMatrixTranslation(&t, hostPosition.x, hostPosition.z, hostPosition.y);
  D3DXMatrixMultiply(&object->fixed, &r, &t);
  object->mode = kAnimObjectFixed;
}

void CZK_ControllerManager::OnSolidGeneralState(const CSigSolidGeneralState& record) {
  PlaceObject(record.objectIndex, record.position, record.orientation);
}

// An index outside the list is ignored here too: the host should send a valid one, and ignoring
// it is the only answer that cannot write outside the list.
void CZK_ControllerManager::OnGhostCarState(const CSigGhostCarState& record) {
  PlaceObject(record.objectIndex, record.position, record.orientation);
}
