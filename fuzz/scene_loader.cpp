// Fuzzes the scene loader. A small valid scene is loaded first, then the input under the same
// scene name. The input must either load or be refused with a CZK_Exception that leaves the
// controller manager exactly as the first scene left it (counts, and the first scene's names
// finding its controllers again); any other exception, a crash or a read outside the buffer is a
// failure. The manager is cleared after every input, so nothing piles up between inputs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "LoaderFuzzSupport.h"
#include "controllers/ControllerManager.h"
#include "files/DiskReader.h"
#include "foundation/Exceptions.h"
#include "interface/LibraryGlobal.h"
#include "loading/SceneLoader.h"

namespace {

bool SameCounts(const CZK_ControllerManager::Counts& a, const CZK_ControllerManager::Counts& b) {
  return a.scenes == b.scenes && a.animObjects == b.animObjects && a.controllers == b.controllers &&
         a.sceneRecords == b.sceneRecords && a.ikChains == b.ikChains;
}

// The header, an object "Hand" whose float controller holds one linear key, and a time range.
std::vector<uint8_t> FirstScene() {
  std::vector<uint8_t> bytes;
  const auto word = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  for (const char* c = CZK_3DSMAXAnimationLoader::kHeaderText; *c != 0; ++c) bytes.push_back(*c);
  bytes.push_back(0);
  const uint32_t object[] = {8, 6, 21, 5 + 16 + 36, 'H' | 'a' << 8 | 'n' << 16 | 'd' << 24};
  for (uint32_t v : object) word(v);
  bytes.push_back(0);
  const uint32_t controller[] = {8, 11, 24, 36, 8, 13, 46, 20, 0, 0, 1, 0, 0x3F800000};
  for (uint32_t v : controller) word(v);
  const uint32_t range[] = {8, 20, 0, 8, 0, 0x40000000};
  for (uint32_t v : range) word(v);
  return bytes;
}

void Load(const uint8_t* data, size_t size) {
  CDiskReader reader;
  reader.LoadFromMemory(data, static_cast<uint32_t>(size), "fuzz.zks");
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  loader.SetSceneName("Fuzz");
  loader.LoadSceneFromBuf(&reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> first = FirstScene();
  CZK_ControllerManager& manager = *FuzzLibraryGlobal().controllerManager;
  Load(first.data(), first.size());
  const int hand = manager.FindController("Fuzz::Hand");
  if (hand < 0) __builtin_trap();

  const CZK_ControllerManager::Counts mark = manager.GetCounts();
  try {
    Load(data, size);
  } catch (const CZK_Exception&) {
    if (!SameCounts(manager.GetCounts(), mark)) __builtin_trap();
    if (manager.FindController("Fuzz::Hand") != hand) __builtin_trap();
  }
  manager.Clear();
  return 0;
}
