#include "AssetCheck.h"

#include <zelkar/HubLayout.h>

#include <memory>
#include <sstream>

#include "AssetModel.h"
#include "AssetReader.h"
#include "characters/Character.h"
#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "files/DiskReader.h"
#include "interface/LibraryGlobal.h"
#include "loading/SceneLoader.h"
#include "signals/Hub.h"

namespace NZelkarAsset {
namespace {

// The library's process-wide state for one check, without a host: an empty hub and both
// managers, taken down in reverse.
class CLibraryState {
 public:
  CLibraryState() : m_hub(new unsigned char[zk_hub::kHubSize]()) {
    SetSignalHub(m_hub.get());
    m_global.characterManager = new CZK_CharacterManager();
    m_global.controllerManager = new CZK_ControllerManager();
    SetLibraryGlobal(&m_global);
  }
  ~CLibraryState() {
    delete m_global.characterManager;
    delete m_global.controllerManager;
    SetLibraryGlobal(nullptr);
    SetSignalHub(nullptr);
  }
  CZK_ControllerManager& Controllers() { return *m_global.controllerManager; }
  CZK_CharacterManager& Characters() { return *m_global.characterManager; }

 private:
  std::unique_ptr<unsigned char[]> m_hub;
  CZK_LibraryGlobal m_global{};
};

struct Tally {
  size_t objects = 0, tracks = 0, keys = 0;
};

void CountTrack(const TrackSlot& slot, Tally& tally) {
  if (slot.isRaw) return;
  const KeyTypeInfo* info = FindKeyType(slot.track.keyType);
  ++tally.tracks;
  if (info != nullptr && info->floatCount > 0)
    tally.keys += slot.track.values.size() / info->floatCount;
}

void CountController(const Controller& controller, Tally& tally) {
  switch (controller.type) {
    case ControllerType::PositionVector:
    case ControllerType::RotationQuaternion:
    case ControllerType::Scale:
    case ControllerType::Float:
      CountTrack(controller.slot, tally);
      break;
    default:
      break;
  }
  for (const Axis& axis : controller.axes) CountTrack(axis.slot, tally);
  for (const Controller& part : controller.parts) CountController(part, tally);
}

bool HoldsHierarchy(const Document& document) {
  for (const TopChunk& chunk : document.chunks)
    if (chunk.type == TopType::Hierarchy) return true;
  return false;
}

// For a file the tool cannot read through: whether its first chunk (right after the 23-byte
// header and the 4-byte id length) is of the hierarchy class.
bool StartsWithHierarchy(const CDiskReader& reader) {
  constexpr uint32_t kClassOffset = 27;
  if (reader.GetSize() < kClassOffset + 4) return false;
  const uint8_t* p = reader.GetCurrentPointer() + kClassOffset;
  const uint32_t chunkClass = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  return chunkClass == 18;
}

}  // namespace

std::string CheckAsset(const std::string& path) {
  CDiskReader reader;
  reader.Load(path);
  CLibraryState library;
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  std::ostringstream line;
  line << path << ": ";

  // Hierarchy files hold a hierarchy chunk (class 18) at the top level; everything else is read
  // as a scene. The tool's own bounded reading decides, and counts what the summary shows;
  // acceptance is decided by the library's loader alone.
  Document document;
  bool hierarchy;
  try {
    document = ReadDocument(reader.GetCurrentPointer(), reader.GetSize(), reader.GetName());
    hierarchy = HoldsHierarchy(document);
  } catch (const std::exception&) {
    hierarchy = StartsWithHierarchy(reader);  // the library's refusal below is what counts
  }

  if (hierarchy) {
    const size_t before = library.Characters().GetNodeCount();
    auto character = std::make_unique<CZK_CharacterHuman>("check", GetRuntimeContext());
    loader.SetNamePrefix("check::");
    loader.LoadHierarchyFromBuf(&reader, character.get(), true);
    const size_t nodes = library.Characters().GetNodeCount() - before - 1;  // less the root
    line << "hierarchy accepted: " << nodes << " nodes";
    return line.str();
  }

  const auto before = library.Controllers().GetCounts();
  loader.SetSceneName("check");
  loader.LoadSceneFromBuf(&reader);
  const auto after = library.Controllers().GetCounts();
  Tally tally;
  for (const TopChunk& chunk : document.chunks) {
    if (chunk.type != TopType::Object) continue;
    ++tally.objects;
    CountController(chunk.controller, tally);
  }
  line << "scene accepted: " << tally.objects << " objects, "
       << after.controllers - before.controllers << " controllers, " << tally.tracks << " tracks, "
       << tally.keys << " keys, " << after.sceneRecords - before.sceneRecords << " scene ranges";
  return line.str();
}

}  // namespace NZelkarAsset
