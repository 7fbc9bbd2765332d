// Fuzzes the hierarchy loader. Every input must either load, with every node of the character's
// tree in the node registry once, or be refused with a CZK_Exception that leaves in the registry
// nothing but the character's root; any other exception, a crash or a read outside the buffer is
// a failure.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "LoaderFuzzSupport.h"
#include "characters/Character.h"
#include "controllers/ControllerManager.h"
#include "files/DiskReader.h"
#include "foundation/Exceptions.h"
#include "interface/LibraryGlobal.h"
#include "loading/SceneLoader.h"
#include "scenegraph/Node.h"

namespace {

size_t CountTree(const CZK_Node* root) {
  size_t count = 0;
  std::vector<const CZK_Node*> stack{root};
  while (!stack.empty()) {
    const CZK_Node* node = stack.back();
    stack.pop_back();
    ++count;
    for (const CZK_Node* child : node->children) stack.push_back(child);
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CZK_CharacterManager& registry = *FuzzLibraryGlobal().characterManager;
  // Every character is destroyed and its nodes leave the registry after each input, so the
  // registry starts empty each time. The input's length picks the human flag, so that a failing
  // input reproduces on its own.
  const bool human = (size & 1) != 0;
  const size_t mark = registry.GetNodeCount();

  CDiskReader reader;
  reader.LoadFromMemory(data, static_cast<uint32_t>(size), "fuzz.zkh");
  std::unique_ptr<CZK_Character> character(human
                                               ? new CZK_CharacterHuman("Fuzz", GetRuntimeContext())
                                               : new CZK_Character("Fuzz", GetRuntimeContext()));
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  try {
    loader.LoadHierarchyFromBuf(&reader, character.get(), human);
    if (registry.GetNodeCount() - mark != CountTree(character->GetRoot())) __builtin_trap();
  } catch (const CZK_Exception&) {
    if (registry.GetNodeCount() != mark + 1) __builtin_trap();
  }
  registry.TruncateNodes(mark);
  character.reset();
  return 0;
}
