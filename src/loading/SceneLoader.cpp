#include "loading/SceneLoader.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "characters/Character.h"
#include "characters/CharacterCar.h"
#include "characters/CharacterCoDriver.h"
#include "characters/CharacterDriver.h"
#include "characters/CharacterManager.h"
#include "controllers/AnimationController.h"
#include "controllers/ConstraintControllers.h"
#include "controllers/ControllerManager.h"
#include "files/DiskReader.h"
#include "foundation/Exceptions.h"
#include "foundation/Math.h"
#include "scenegraph/IKChain.h"
#include "scenegraph/Node.h"

namespace {

using namespace NSceneFormat;

const char kSceneContext[] = "[CZK_3DSMAXAnimationLoader::LoadSceneFromBuf]";
const char kHierarchyContext[] = "[CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf]";

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  const size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// base followed by suffix, built in one allocation of the exact size: the name is then moved
// into its controller without another copy.
std::string JoinName(std::string_view base, std::string_view suffix) {
  // Sized at once and copied into: appending checks the room and the length at every step.
  std::string name(base.size() + suffix.size(), '\0');
  base.copy(name.data(), base.size());
  suffix.copy(name.data() + base.size(), suffix.size());
  return name;
}

// ---- Track kinds ----------------------------------------------------------------------------

// For each value kind: the controller that holds one such track, the three track classes and the
// key types that make them (the Bezier type; TCB and linear follow 4 and 8 above it).
constexpr const char* kKindNames[4] = {"a position", "a rotation", "a scale", "a float"};

template <class ControllerClass, class BaseClass, class BezierClass, class TCBClass,
          class LinearClass, uint32_t bezierKeyType>
struct STrackKind {
  using Controller = ControllerClass;
  using Base = BaseClass;
  using Bezier = BezierClass;
  using TCB = TCBClass;
  using Linear = LinearClass;
  static constexpr uint32_t kBezier = bezierKeyType;
  static constexpr uint32_t kTCB = bezierKeyType + 4;
  static constexpr uint32_t kLinear = bezierKeyType + 8;
  static constexpr const char* kName = kKindNames[bezierKeyType - kKeyPositionBezier];
};

using SFloatKind =
    STrackKind<CZK_AnimationControllerFloat, CZK_AnimTrackFloat, CZK_AnimTrackFloatBezier,
               CZK_AnimTrackFloatTCB, CZK_AnimTrackFloatLinear, kKeyFloatBezier>;
using SPositionKind = STrackKind<CZK_AnimationControllerPositionVector, CZK_AnimTrackPosition,
                                 CZK_AnimTrackPositionBezier, CZK_AnimTrackPositionTCB,
                                 CZK_AnimTrackPositionLinear, kKeyPositionBezier>;
using SRotationKind = STrackKind<CZK_AnimationControllerRotationQuaternion, CZK_AnimTrackRotation,
                                 CZK_AnimTrackRotationBezier, CZK_AnimTrackRotationTCB,
                                 CZK_AnimTrackRotationLinear, kKeyRotationBezier>;
using SScaleKind =
    STrackKind<CZK_AnimationControllerScale, CZK_AnimTrackScale, CZK_AnimTrackScaleBezier,
               CZK_AnimTrackScaleTCB, CZK_AnimTrackScaleLinear, kKeyScaleBezier>;

// ---- Scene files ----------------------------------------------------------------------------

// One pass over a scene buffer. Everything it builds is either handed to the controller manager
// at once or held by a unique_ptr until it is, so an exception leaks nothing; what the manager
// has already taken is removed by the caller with TruncateTo.
class CSceneParser {
 public:
  CSceneParser(CDiskReader& reader, CZK_ControllerManager& manager, const std::string& prefix,
               const std::string& sceneName)
      : m_reader(reader),
        m_walker(reader, kSceneContext),
        m_manager(manager),
        m_prefix(prefix),
        m_sceneName(sceneName) {}

  void ReadChunks(std::string& objectName, uint32_t& sceneRangeIndex);

 private:
  void ReadController(const SChunk& chunk, std::string&& name);

  CZK_AnimationControllerPRS* ReadPRS(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerPRS* ReadLinkConstraints(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerPRS* ReadPRSSampled(std::string&& name, const SChunk& chunk);
  void ReadTransformSlots(CZK_AnimationControllerPRS& prs, const SChunk& chunk);
  CZK_AnimationControllerPositionBase* ReadPosition(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerRotationBase* ReadRotation(std::string&& name, const SChunk& chunk);
  CZK_AnimationControllerRotationBase* ReadLookAt(std::string&& name, const SChunk& chunk);
  template <class Composite>
  Composite* ReadAxes(std::string&& name, const SChunk& chunk);
  void ReadIKChain(const SChunk& chunk);

  // A controller whose payload is one track chunk; a chunk of another class than 13 leaves it
  // without a track.
  template <class Kind>
  typename Kind::Controller* ReadTrackController(std::string&& name, const SChunk& chunk);
  template <class Kind>
  std::unique_ptr<typename Kind::Base> ReadTrackOfKind(const SChunk& chunk);
  template <class Track>
  std::unique_ptr<Track> ReadTrack(const SChunk& chunk);
  [[noreturn]] void RefuseKeyType(const SChunk& chunk, const char* kind) const;

  template <class Controller>
  Controller* Register(std::unique_ptr<Controller> controller);

  CDiskReader& m_reader;
  CChunkWalker m_walker;
  CZK_ControllerManager& m_manager;
  const std::string& m_prefix;
  const std::string& m_sceneName;
  // The scene is added right before the file's first controller: a file that registers no
  // controller (a header alone, a time range alone) leaves the scene list as it was.
  bool m_sceneAdded = false;
};

void CSceneParser::ReadChunks(std::string& objectName, uint32_t& sceneRangeIndex) {
  const uint32_t size = m_reader.GetSize();
  while (!m_reader.IsAtEnd()) {
    const SChunk chunk = m_walker.ReadChunk(size);
    if (chunk.cls == kClassObject && chunk.subclass == kSubclassObject) {
      objectName.assign(m_reader.ReadStringView());
      const SChunk controller = m_walker.ReadChunk(chunk.end);
      ReadController(controller, JoinName(m_prefix, objectName));
      m_walker.Leave(controller);
    } else if (chunk.cls == kClassSceneRange) {
      SceneRecord record;
      record.name = m_sceneName;
      record.start = m_reader.ReadF32();
      record.end = m_reader.ReadF32();
      m_walker.CheckInside(chunk);
      sceneRangeIndex = static_cast<uint32_t>(m_manager.AddSceneRecord(record));
    }
    m_walker.Leave(chunk);
  }
}

void CSceneParser::ReadController(const SChunk& chunk, std::string&& name) {
  switch (chunk.cls) {
    case kClassTransform:
      if (chunk.subclass == kSubclassPRS) {
        ReadPRS(std::move(name), chunk);
      } else if (chunk.subclass == kSubclassLinkConstraints) {
        ReadLinkConstraints(std::move(name), chunk);
      } else if (chunk.subclass == kSubclassPRSSampled) {
        ReadPRSSampled(std::move(name), chunk);
      }
      break;
    case kClassPosition:
      ReadPosition(std::move(name), chunk);
      break;
    case kClassRotation:
      ReadRotation(std::move(name), chunk);
      break;
    case kClassScale:
      ReadTrackController<SScaleKind>(std::move(name), chunk);
      break;
    case kClassFloat:
      if (chunk.subclass == kSubclassFloat) {
        ReadTrackController<SFloatKind>(std::move(name), chunk);
      }
      break;
    case kClassIKChain:
      if (chunk.subclass == kSubclassIKChain) ReadIKChain(chunk);
      break;
    default:
      break;
  }
}

CZK_AnimationControllerPRS* CSceneParser::ReadPRS(std::string&& name, const SChunk& chunk) {
  auto prs = std::make_unique<CZK_AnimationControllerPRS>(std::move(name));
  ReadTransformSlots(*prs, chunk);
  return Register(std::move(prs));
}

CZK_AnimationControllerPRS* CSceneParser::ReadLinkConstraints(std::string&& name,
                                                              const SChunk& chunk) {
  auto link = std::make_unique<CZK_AnimationControllerLinkConstraints>(std::move(name));
  const int32_t count = m_reader.ReadS32();
  if (count > 0) {
    m_walker.RequireRecords(static_cast<uint64_t>(count), kNamedWordSize, chunk.end, "links");
    for (int32_t i = 0; i < count; ++i) {
      CZK_ConstraintTarget entry;
      entry.name = m_reader.ReadString();
      entry.key = m_reader.ReadF32();
      entry.slot = -1;
      link->AddLink(entry);
    }
  }
  ReadTransformSlots(*link, chunk);
  return Register(std::move(link));
}

CZK_AnimationControllerPRS* CSceneParser::ReadPRSSampled(std::string&& name, const SChunk& chunk) {
  auto sampled = std::make_unique<CZK_AnimationControllerPRSSampled>(std::move(name));
  const uint32_t count = m_reader.ReadU32();
  m_walker.RequireRecords(count, kSampleRecordSize, chunk.end, "samples");
  auto times = std::make_unique<float[]>(count);
  for (uint32_t i = 0; i < count; ++i) times[i] = m_reader.ReadF32();
  constexpr uint32_t kFloats = CZK_AnimationControllerPRSSampled::kFloatsPerSample;
  auto samples = std::make_unique<float[]>(static_cast<size_t>(count) * kFloats);
  for (uint32_t i = 0; i < count; ++i)
    ReadTransformRows(m_reader, &samples[static_cast<size_t>(i) * kFloats]);
  sampled->SetSamples(count, std::move(samples), std::move(times));
  return Register(std::move(sampled));
}

// The position, rotation and scale sub-chunks, in that order; a sub-chunk of an unexpected class
// leaves its slot empty.
void CSceneParser::ReadTransformSlots(CZK_AnimationControllerPRS& prs, const SChunk& chunk) {
  const std::string& name = prs.GetName();
  const SChunk position = m_walker.ReadChunk(chunk.end);
  if (position.cls == kClassPosition)
    prs.SetPosition(ReadPosition(JoinName(name, "::pos"), position));
  m_walker.Leave(position);

  const SChunk rotation = m_walker.ReadChunk(chunk.end);
  if (rotation.cls == kClassRotation)
    prs.SetRotation(ReadRotation(JoinName(name, "::rot"), rotation));
  m_walker.Leave(rotation);

  const SChunk scale = m_walker.ReadChunk(chunk.end);
  if (scale.cls == kClassScale) {
    prs.SetScale(ReadTrackController<SScaleKind>(JoinName(name, "::scale"), scale));
  }
  m_walker.Leave(scale);
}

CZK_AnimationControllerPositionBase* CSceneParser::ReadPosition(std::string&& name,
                                                                const SChunk& chunk) {
  if (chunk.subclass == kSubclassPositionVector) {
    return ReadTrackController<SPositionKind>(std::move(name), chunk);
  }
  if (chunk.subclass == kSubclassPositionXYZ)
    return ReadAxes<CZK_AnimationControllerPositionXYZ>(std::move(name), chunk);
  return nullptr;
}

CZK_AnimationControllerRotationBase* CSceneParser::ReadRotation(std::string&& name,
                                                                const SChunk& chunk) {
  switch (chunk.subclass) {
    case kSubclassRotationQuaternion:
      return ReadTrackController<SRotationKind>(std::move(name), chunk);
    case kSubclassLookAt:
      return ReadLookAt(std::move(name), chunk);
    case kSubclassEulerXYZ:
      return ReadAxes<CZK_AnimationControllerEulerXYZ>(std::move(name), chunk);
    default:
      return nullptr;
  }
}

CZK_AnimationControllerRotationBase* CSceneParser::ReadLookAt(std::string&& name,
                                                              const SChunk& chunk) {
  auto lookAt = std::make_unique<CZK_AnimationControllerRotationLookAt>(std::move(name));
  const int32_t count = m_reader.ReadS32();
  if (count > 0) {
    m_walker.RequireRecords(static_cast<uint64_t>(count), kNamedWordSize, chunk.end, "targets");
    for (int32_t i = 0; i < count; ++i) {
      CZK_ConstraintTarget target;
      target.name = m_reader.ReadString();
      target.key = m_reader.ReadF32();
      target.slot = 0;
      lookAt->AddTarget(target);
    }
  }
  uint32_t words[CZK_AnimationControllerRotationLookAt::kParameterCount];
  for (uint32_t& word : words) word = m_reader.ReadU32();
  lookAt->SetParameters(words);
  return Register(std::move(lookAt));
}

// Three axis chunks x, y, z, each holding one float track chunk; the axis chunk's id is not
// examined.
template <class Composite>
Composite* CSceneParser::ReadAxes(std::string&& name, const SChunk& chunk) {
  static constexpr const char* kAxisNames[3] = {"::x", "::y", "::z"};
  auto composite = std::make_unique<Composite>(std::move(name));
  for (int axis = 0; axis < 3; ++axis) {
    const SChunk axisChunk = m_walker.ReadChunk(chunk.end);
    composite->SetAxis(axis, ReadTrackController<SFloatKind>(
                                 JoinName(composite->GetName(), kAxisNames[axis]), axisChunk));
    m_walker.Leave(axisChunk);
  }
  return Register(std::move(composite));
}

// Four (string, word) pairs that are not kept, then the two segment lengths.
void CSceneParser::ReadIKChain(const SChunk& chunk) {
  auto chain = std::make_unique<CZK_IKChain>();
  for (int i = 0; i < 4; ++i) {
    m_reader.ReadString();
    m_reader.ReadU32();
  }
  const float upper = m_reader.ReadF32();
  const float lower = m_reader.ReadF32();
  chain->SetLengths(upper, lower);
  m_walker.CheckInside(chunk);
  const int before = m_manager.GetIKChainCount();
  try {
    m_manager.AddIKChain(chain.get());
  } catch (...) {
    if (m_manager.GetIKChainCount() > before) chain.release();
    throw;
  }
  chain.release();
}

template <class Kind>
typename Kind::Controller* CSceneParser::ReadTrackController(std::string&& name,
                                                             const SChunk& chunk) {
  auto controller = std::make_unique<typename Kind::Controller>(std::move(name));
  const SChunk track = m_walker.ReadChunk(chunk.end);
  // SetTrack takes the track's first reference; the controller owns it from here on.
  if (track.cls == kClassTrack) controller->SetTrack(ReadTrackOfKind<Kind>(track).release());
  m_walker.Leave(track);
  return Register(std::move(controller));
}

// A key type that belongs to another kind of controller is refused: building, say, a position
// track under a float controller would hand the controller a track it cannot sample.
void CSceneParser::RefuseKeyType(const SChunk& chunk, const char* kind) const {
  m_walker.Fail(chunk.start, "key type " + std::to_string(chunk.subclass) + " does not belong to " +
                                 kind + " controller");
}

template <class Kind>
std::unique_ptr<typename Kind::Base> CSceneParser::ReadTrackOfKind(const SChunk& chunk) {
  switch (chunk.subclass) {
    case Kind::kBezier:
      return ReadTrack<typename Kind::Bezier>(chunk);
    case Kind::kTCB:
      return ReadTrack<typename Kind::TCB>(chunk);
    case Kind::kLinear:
      return ReadTrack<typename Kind::Linear>(chunk);
    default:
      RefuseKeyType(chunk, Kind::kName);
  }
}

// before, after, the key count and the keys in file order; Prepare runs once all are in.
template <class Track>
std::unique_ptr<Track> CSceneParser::ReadTrack(const SChunk& chunk) {
  using Key = typename Track::KeyType;
  auto track = std::make_unique<Track>();
  const uint32_t before = m_reader.ReadU32();
  const uint32_t after = m_reader.ReadU32();
  const uint32_t count = m_reader.ReadU32();
  m_walker.RequireRecords(count, kKeyRecordSize<Key>, chunk.end, "keys");
  // The count is known to fit in the chunk's bytes, so it cannot ask for more than the file.
  CRecordCursor records(m_reader.GetCurrentPointer());
  m_reader.Seek(m_reader.Tell() + count * kKeyRecordSize<Key>);
  SRotationRun run;
  track->AppendKeys(count, [&](Key& key) { ReadKey(records, key, run); });
  track->outOfRangeBefore = before;
  track->outOfRangeAfter = after;
  track->Prepare();
  return track;
}

// Hands the controller to the manager, children having gone before their parent. Should the
// manager fail while taking it, ownership follows whether its list grew.
template <class Controller>
Controller* CSceneParser::Register(std::unique_ptr<Controller> controller) {
  if (!m_sceneAdded) {
    m_manager.AddScene(m_sceneName);
    m_sceneAdded = true;
  }
  Controller* raw = controller.get();
  const int before = m_manager.GetControllerCount();
  try {
    m_manager.AddController(raw);
  } catch (...) {
    if (m_manager.GetControllerCount() > before) controller.release();
    throw;
  }
  controller.release();
  return raw;
}

// ---- Hierarchy files ------------------------------------------------------------------------

class CHierarchyParser {
 public:
  CHierarchyParser(CDiskReader& reader, CZK_Character& character, CZK_CharacterManager& registry,
                   bool human)
      : m_reader(reader),
        m_walker(reader, kHierarchyContext),
        m_character(character),
        m_registry(registry),
        m_human(human) {}

  void ReadChunks();

 private:
  void ReadNode(const SChunk& hierarchy);
  void MeasureTree();

  CDiskReader& m_reader;
  CChunkWalker m_walker;
  CZK_Character& m_character;
  CZK_CharacterManager& m_registry;
  bool m_human;
  // For every node id in the tree, the depth of the deepest node carrying it: a bound on the
  // depth of whatever node a child of that id is hung under.
  std::unordered_map<int32_t, uint32_t> m_depthById;
};

void CHierarchyParser::ReadChunks() {
  MeasureTree();
  const uint32_t size = m_reader.GetSize();
  bool hierarchy = false;
  while (!m_reader.IsAtEnd()) {
    const SChunk chunk = m_walker.ReadChunk(size);
    if (chunk.cls == kClassHierarchy) {
      hierarchy = true;
      const uint32_t count = m_reader.ReadU32();
      m_walker.RequireRecords(count, kMinNodeRecordSize, chunk.end, "node records");
      for (uint32_t i = 0; i < count; ++i) ReadNode(chunk);
    }
    m_walker.Leave(chunk);
  }
  // A file of the right format without a hierarchy chunk (a scene file, most likely) would make
  // a character of a bare root, which no host asks for on purpose.
  if (!hierarchy)
    throw CZK_Exception(std::string(kHierarchyContext) + " " + m_reader.GetName() +
                        " has no hierarchy chunk: it is not a hierarchy file");
}

// The depths of the nodes the character already has (its root at least).
void CHierarchyParser::MeasureTree() {
  std::vector<std::pair<const CZK_Node*, uint32_t>> stack{{m_character.GetRoot(), 0}};
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    uint32_t& known = m_depthById[node->id];
    if (depth > known) known = depth;
    for (const CZK_Node* child : node->children) stack.emplace_back(child, depth + 1);
  }
}

void CHierarchyParser::ReadNode(const SChunk& hierarchy) {
  const uint32_t start = m_reader.Tell();
  uint32_t cls = 0;
  uint32_t subclass = 0;
  m_walker.ReadId(start, cls, subclass);
  m_reader.ReadU32();  // the record's payload length: the fields follow one another directly
  if (subclass != kSubclassTransformNode && subclass != kSubclassPositionScaleNode) {
    m_walker.Fail(start, "node record of subclass " + std::to_string(subclass) +
                             " where 47 (transform) or 48 (position and scale) is expected");
  }
  std::string name = m_reader.ReadString();
  const int32_t id = m_reader.ReadS32();
  const int32_t parentId = m_reader.ReadS32();
  const Matrix transform = ReadTransform(m_reader);
  const uint32_t kind = m_reader.ReadU32();
  if (m_reader.Tell() > hierarchy.end)
    m_walker.Fail(start, "node record runs past the end of its hierarchy chunk");

  const auto parentDepth = m_depthById.find(parentId);
  if (parentDepth == m_depthById.end()) {
    m_walker.Fail(start, "node \"" + name + "\" names parent id " + std::to_string(parentId) +
                             ", which is not in the tree");
  }
  const uint32_t depth = parentDepth->second + 1;
  if (depth > kMaxNodeDepth) {
    m_walker.Fail(start, "node \"" + name + "\" nests deeper than " +
                             std::to_string(kMaxNodeDepth) + " levels");
  }

  std::unique_ptr<CZK_Node> node;
  if (subclass == kSubclassPositionScaleNode) {
    node = std::make_unique<CZK_NodePS>(std::move(name), id, parentId);
  } else if (kind == kNodeBone) {
    node = std::make_unique<CZK_NodeBone>(std::move(name), id, parentId);
  } else if (m_human) {
    node = std::make_unique<CZK_NodeHumanPRS>(std::move(name), id, parentId);
  } else {
    node = std::make_unique<CZK_NodePRS>(std::move(name), id, parentId);
  }
  node->kind = kind;
  node->bindMatrix = transform;
  node->matrix = transform;

  try {
    m_character.AttachNode(node.get());
  } catch (...) {
    // AttachNode refuses before it hands the node to a parent; anything that fails later leaves
    // the node in the tree, which then owns it.
    const CZK_Node* parent = CZK_Node::FindNodeById(parentId, m_character.GetRoot());
    if (parent != nullptr) {
      for (const CZK_Node* child : parent->children) {
        if (child == node.get()) {
          node.release();
          break;
        }
      }
    }
    throw;
  }
  CZK_Node* attached = node.release();
  uint32_t& known = m_depthById[id];
  if (depth > known) known = depth;
  attached->registryIndex = m_registry.AddNode(attached);
}

// Restores a pointer field when a load ends, however it ends.
class CReaderScope {
 public:
  CReaderScope(CDiskReader*& field, CDiskReader* reader) : m_field(field), m_saved(field) {
    m_field = reader;
  }
  ~CReaderScope() { m_field = m_saved; }
  CReaderScope(const CReaderScope&) = delete;
  CReaderScope& operator=(const CReaderScope&) = delete;

 private:
  CDiskReader*& m_field;
  CDiskReader* m_saved;
};

CZK_Character* MakeCharacter(const std::string& name, const CZK_RuntimeContext& runtime) {
  return new CZK_Character(name, runtime);
}
CZK_Character* MakeHumanCharacter(const std::string& name, const CZK_RuntimeContext& runtime) {
  return new CZK_CharacterHuman(name, runtime);
}
CZK_Character* MakeCar(const std::string& name, const CZK_RuntimeContext& runtime) {
  return new CZK_CharacterCar(name, runtime);
}
CZK_Character* MakeDriver(const std::string& name, const CZK_RuntimeContext& runtime) {
  return new CZK_CharacterDriver(name, runtime);
}
CZK_Character* MakeCoDriver(const std::string& name, const CZK_RuntimeContext& runtime) {
  return new CZK_CharacterCoDriver(name, runtime);
}

}  // namespace

// ---- The loader -----------------------------------------------------------------------------

CZK_3DSMAXAnimationLoader::~CZK_3DSMAXAnimationLoader() = default;

void CZK_3DSMAXAnimationLoader::SetSceneName(const std::string& name) {
  m_sceneName = name;
  m_namePrefix = name + "::";
}

void CZK_3DSMAXAnimationLoader::LoadScene(const std::string& path, const std::string& sceneName,
                                          CDiskReader* reader) {
  m_path = path;
  std::unique_ptr<CDiskReader> own;
  if (reader != nullptr) {
    reader->Seek(0);
  } else {
    own = std::make_unique<CDiskReader>();
    own->Load(path);
    reader = own.get();
  }
  CReaderScope scope(m_reader, reader);
  SetSceneName(sceneName);
  LoadSceneFromBuf(reader);
  if (own != nullptr) own->Close();
}

void CZK_3DSMAXAnimationLoader::LoadSceneFromBuf(CDiskReader* reader) {
  if (reader == nullptr) throw CZK_Exception(std::string(kSceneContext) + " no reader");
  CReaderScope scope(m_reader, reader);
  CheckHeader(*reader,
              "[CZK_3DSMAXAnimationLoader::LoadSceneFromBuf] scene doesn't have a valid "
              "header..");
  CZK_ControllerManager& manager = *m_runtime.controllers;
  const CZK_ControllerManager::Counts mark = manager.GetCounts();
  const uint32_t sceneRangeIndex = m_sceneRangeIndex;
  try {
    CSceneParser parser(*reader, manager, m_namePrefix, m_sceneName);
    parser.ReadChunks(m_currentObjectName, m_sceneRangeIndex);
    manager.IndexControllerNames();
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    manager.TruncateTo(mark);
    m_sceneRangeIndex = sceneRangeIndex;
    throw CZK_Exception(std::string(kSceneContext) + " damaged scene file " + reader->GetName(), e);
  } catch (...) {
    manager.TruncateTo(mark);
    m_sceneRangeIndex = sceneRangeIndex;
    throw;
  }
}

void CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf(CDiskReader* reader, CZK_Character* character,
                                                     bool human) {
  if (reader == nullptr || character == nullptr)
    throw CZK_Exception(std::string(kHierarchyContext) + " no reader or no character");
  CReaderScope scope(m_reader, reader);
  CheckHeader(*reader,
              "[CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf] scene doesn't have a "
              "valid header..");
  CZK_CharacterManager& registry = *m_runtime.characters;
  const size_t mark = registry.GetNodeCount();
  try {
    CHierarchyParser parser(*reader, *character, registry, human);
    parser.ReadChunks();
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    registry.TruncateNodes(mark);
    throw CZK_Exception(
        std::string(kHierarchyContext) + " damaged hierarchy file " + reader->GetName(), e);
  } catch (...) {
    registry.TruncateNodes(mark);
    throw;
  }
}

CZK_Character* CZK_3DSMAXAnimationLoader::CreateCharacter(const std::string& path,
                                                          const std::string& name,
                                                          const std::string& kind) {
  if (EqualsIgnoringCase(kind, "Car")) {
    // The car becomes the current one only once it is built: a car whose hierarchy is refused
    // is destroyed on the way out, and the car that was current stays current.
    CZK_Character* car = CreateCharacterOfKind(path, name, &MakeCar, false);
    *m_runtime.currentCar = static_cast<CZK_CharacterCar*>(car);
    return car;
  }
  return CreateCharacterOfKind(path, name, &MakeCharacter, false);
}

CZK_Character* CZK_3DSMAXAnimationLoader::CreateHumanCharacter(const std::string& path,
                                                               const std::string&,
                                                               const std::string& name,
                                                               const std::string& kind) {
  if (EqualsIgnoringCase(kind, "Driver"))
    return CreateCharacterOfKind(path, name, &MakeDriver, true);
  if (EqualsIgnoringCase(kind, "CoDriver"))
    return CreateCharacterOfKind(path, name, &MakeCoDriver, true);
  return CreateCharacterOfKind(path, name, &MakeHumanCharacter, true);
}

// A character whose hierarchy cannot be read is destroyed before the exception goes on: it was
// never registered, nobody else holds it, and its root and nodes leave the node registry with it,
// so a failed creation leaves the library as it was.
CZK_Character* CZK_3DSMAXAnimationLoader::CreateCharacterOfKind(
    const std::string& path, const std::string& name,
    CZK_Character* (*make)(const std::string& name, const CZK_RuntimeContext& runtime),
    bool human) {
  CZK_CharacterManager& registry = *m_runtime.characters;
  const size_t mark = registry.GetNodeCount();
  std::unique_ptr<CZK_Character> character;
  try {
    character.reset(make(name, m_runtime));
    m_path = path;
    auto reader = std::make_unique<CDiskReader>();
    reader->Load(path);
    CReaderScope scope(m_reader, reader.get());
    m_namePrefix = name + "::";
    LoadHierarchyFromBuf(reader.get(), character.get(), human);
    character->OnHierarchyLoaded();
    reader->Close();
  } catch (...) {
    registry.TruncateNodes(mark);
    throw;
  }
  return character.release();
}
