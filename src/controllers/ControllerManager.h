// The owner and registry of everything read from animation scenes: scenes, animated objects,
// controllers (found by name), scene records and IK chains. It evaluates animated objects for the
// scene graph, answers the host's time-0 queries, binds look-at and link controllers to their
// targets by name, and poses objects directly from the solid-state and ghost-car signals.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/MathTypes.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "controllers/ControllerNameIndex.h"

class CZK_AnimationScene;
class CZK_AnimObjectBase;
class CZK_AnimObjectTM;
class CZK_AnimationControllerBase;
class CZK_IKChain;
struct CZK_ConstraintTarget;
struct CSigSolidGeneralState;
struct CSigGhostCarState;

// A scene's time range, one per time-range chunk of a scene file.
struct SceneRecord {
  std::string name;
  float start = 0.0f;
  float end = 0.0f;
};

// One key of CreatePositionController: the position, then the key time.
struct SPositionKeyRecord {
  float x, y, z, time;
};
static_assert(sizeof(SPositionKeyRecord) == 16);

class CZK_ControllerManager {
 public:
  static constexpr std::size_t kSolidStateConnectionCount = 7;
  static constexpr std::size_t kGhostCarConnectionCount = 2;
  // The object at index 0 after construction and after every Clear.
  static constexpr const char* kDummyObjectName = "dummy controller";

  using SolidStateConnection = CConnection<CZK_ControllerManager, const CSigSolidGeneralState&>;
  using GhostCarConnection = CConnection<CZK_ControllerManager, const CSigGhostCarState&>;

  // How many of each owned kind the manager holds: a mark that TruncateTo can return to.
  struct Counts {
    std::size_t scenes = 0;
    std::size_t animObjects = 0;
    std::size_t controllers = 0;
    std::size_t sceneRecords = 0;
    std::size_t ikChains = 0;
  };

  // Links the nine connections into the hub's lists (when a hub is set, see GetSignalHub) and
  // makes the "dummy controller" object.
  CZK_ControllerManager();
  // Destroys everything owned, then unlinks and destroys the connections.
  ~CZK_ControllerManager();
  CZK_ControllerManager(const CZK_ControllerManager&) = delete;
  CZK_ControllerManager& operator=(const CZK_ControllerManager&) = delete;

  // Back to the state right after construction; the connections stay linked.
  void Clear();

  // ---- Registration -----------------------------------------------------------------------

  // Appends a scene; controllers added from now on until the next scene are filed under it.
  // The scene loader calls this once per loaded file, under the scene name, before the file's
  // first controller is registered. Returns the scene's index.
  int AddScene(const std::string& name);

  // Takes ownership; files look-at and link controllers under the last scene (none while there
  // is no scene). The name now finds this controller. Returns its index.
  int AddController(CZK_AnimationControllerBase* controller);
  // AddController files a controller's name a few controllers later, once the slot it goes to
  // has been fetched; this files the names still waiting. Every name search does it first; a
  // loader calls it at the end of a file.
  void IndexControllerNames() const;
  // The index last registered under name, or -1.
  int FindController(const char* name) const;
  // Registers a position controller of that name with a TCB track through the keys, in the
  // given order, holding the end keys outside their range.
  void CreatePositionController(const char* name, std::vector<SPositionKeyRecord> keys);

  int AddSceneRecord(const SceneRecord& record);
  // The first record of that name, or 0.
  int FindSceneRecord(const std::string& name) const;
  // An index outside the list gives an empty record (no name, times 0).
  const SceneRecord& GetSceneRecord(int index) const;
  int GetSceneRecordCount() const { return static_cast<int>(m_sceneRecords.size()); }

  // Takes ownership. The chains are solved on node trees, which sit above the controllers: the
  // manager holds them with the way to destroy them, taken where their class is known.
  template <class Chain>
  void AddIKChain(Chain* chain) {
    AddIKChain(chain, [](CZK_IKChain* c) { delete static_cast<Chain*>(c); });
  }
  void AddIKChain(CZK_IKChain* chain, void (*destroy)(CZK_IKChain*));

  // ---- Undoing a refused load --------------------------------------------------------------

  // What the manager holds now. A loader takes this mark before it reads a file.
  Counts GetCounts() const;
  // Destroys every scene, animated object, controller, scene record and IK chain added after
  // the mark, newest first, and restores the name lookup to what it was at the mark (a name that
  // a later controller had taken over finds the earlier controller again). Scenes kept keep no
  // pointer to a destroyed controller. A mark above the current counts changes nothing for that
  // kind. The "dummy controller" object at index 0 is never removed.
  void TruncateTo(const Counts& mark);

  // ---- Animated objects --------------------------------------------------------------------

  // A transform object bound to the controller of that name, or a fixed-mode object whose fixed
  // matrix is the identity when there is none.
  int CreateTransformObject(const char* name);
  // A vector object bound to the controller of that name, or to controller 0 when there is none.
  int CreatePositionObject(const char* name);
  // A transform object bound to the controller of that name (-1 when there is none).
  int CreateScaleObject(const char* name);
  // The first object of that name, or -1.
  int FindAnimObject(const std::string& name) const;

  // ---- Evaluation and queries --------------------------------------------------------------

  // The object's local transform at time times parent (null: identity); stored as the object's
  // world matrix and returned. The local transform comes from the object's PRS-family
  // controller, or is its fixed matrix in fixed mode. An object index outside the list, or an
  // object bound to no PRS-family controller, counts as an identity local transform (nothing is
  // stored for an index outside the list).
  Matrix EvaluateTransform(int objectIndex, float time, const Matrix* parent);

  // Time-0 values of the controller bound to the object, or the default when the controller is
  // not of the right kind or either index lies outside its list: 0, (0, 0, 0), the identity
  // quaternion, the identity matrix.
  float GetAnimObjectFloat(int objectIndex) const;
  Vector3 GetAnimObjectPosition(int objectIndex) const;
  // reference's translation row is the rotation controller's world position (null: origin).
  Quaternion GetAnimObjectRotation(int objectIndex, const Matrix* reference) const;
  Matrix GetAnimObjectScale(int objectIndex) const;

  // The world matrix of the object's last evaluation; the identity for an index outside the
  // list or an object that keeps no matrix.
  Matrix GetAnimObjectMatrix(int objectIndex) const;
  // The same without a copy: null for an index outside the list or an object that keeps no
  // matrix. Constraint controllers read their targets through it.
  const Matrix* GetAnimObjectWorld(int objectIndex) const;
  // True when the object is in fixed mode; false for an index outside the list.
  bool IsAnimObjectStatic(int objectIndex) const;

  // Binds the look-at and link controllers of the scene of that name to their targets' objects.
  void ResolveSceneTargets(const std::string& sceneName);

  // ---- Signal handlers ---------------------------------------------------------------------

  void OnSolidGeneralState(const CSigSolidGeneralState& record);
  void OnGhostCarState(const CSigGhostCarState& record);

  // ---- Plain access ------------------------------------------------------------------------

  int GetSceneCount() const { return static_cast<int>(m_scenes.size()); }
  // Null for an index outside the list.
  CZK_AnimationScene* GetScene(int index) const;
  int GetAnimObjectCount() const { return static_cast<int>(m_animObjects.size()); }
  // Null for an index outside the list.
  CZK_AnimObjectBase* GetAnimObject(int index) const;
  int GetControllerCount() const { return static_cast<int>(m_controllers.size()); }
  // Null for an index outside the list.
  CZK_AnimationControllerBase* GetController(int index) const;
  int GetIKChainCount() const { return static_cast<int>(m_ikChains.size()); }
  // Null for an index outside the list.
  CZK_IKChain* GetIKChain(int index) const;

 private:
  // Places object n (a transform object) at the host position and orientation.
  void PlaceObject(uint32_t n, const Vector3& hostPosition, const Quaternion& orientation);
  void AddDummyObject();
  // Clear steps 1 to 6: everything owned but the connections, leaving the lists empty.
  void DestroyContents();
  // The transform object at index, or null.
  CZK_AnimObjectTM* GetTransformObject(int index) const;
  // The controller bound to object index when it has the given type code, or null.
  CZK_AnimationControllerBase* GetBoundController(int objectIndex, uint32_t type) const;
  // The name of the controller at a valid index, for the name lookup.
  auto NameOf() const;
  // Files the name of the first controller not yet filed.
  void FileNextName() const;
  // Finds "<prefix><name>::PRS", else "<prefix><name>::Position", and writes slot and kind.
  void ResolveTarget(CZK_ConstraintTarget& entry, const std::string& prefix) const;

  std::vector<CZK_AnimationScene*> m_scenes;
  std::vector<CZK_AnimObjectBase*> m_animObjects;
  std::vector<CZK_AnimationControllerBase*> m_controllers;
  // Reads the names from the controllers themselves; filed up to m_namedControllers.
  mutable CControllerNameIndex m_controllerNames;
  std::vector<SceneRecord> m_sceneRecords;
  std::vector<CZK_IKChain*> m_ikChains;
  std::vector<void (*)(CZK_IKChain*)> m_ikChainDestroyers;  // one per chain
  SolidStateConnection* m_solidStateConnections[kSolidStateConnectionCount] = {};
  GhostCarConnection* m_ghostCarConnections[kGhostCarConnectionCount] = {};
  // The name lookup's bookkeeping: how many controllers it holds, and per controller the hash
  // of its name.
  mutable std::size_t m_namedControllers = 0;
  std::vector<std::uint32_t> m_nameHashes;
};
