#include "interface/ProcessEntry.h"

#include <zelkar/HubLayout.h>

#include <cstring>
#include <exception>
#include <new>
#include <ostream>

#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "files/ZipArchive.h"
#include "foundation/Logger.h"
#include "interface/LibraryGlobal.h"
#include "platform/SharedMemory.h"
#include "signals/Hub.h"

namespace {

using NRQLib2::NLogger::GetLogger;

// Everything attach made, so that detach can take exactly that apart again. Plain data only:
// detach may run while the process tears its static objects down.
struct CProcessState {
  bool attached;
  zk_platform::CSharedBlock view;
  // Words used when the global object could not be mapped: the library then runs on a private,
  // empty block instead of failing to load.
  void** privateWords;
  // The empty hub supplied when word 0 was null.
  unsigned char* standaloneHub;
};

CProcessState g_state{};

void** AttachGlobalObject() {
  char name[64];
  zk_platform::GlobalObjectName(name, sizeof(name));
  char reason[256] = {};
  if (zk_platform::OpenOrCreateSharedBlock(name, zk_hub::kGlobalObjectSize, g_state.view, reason,
                                           sizeof(reason)))
    return static_cast<void**>(g_state.view.data);
  // The host is expected to provide the block; without one the library still works on its own
  // words so that a program can load it, and says why.
  GetLogger().SelectLevel(4) << "Zelkar: global object unavailable (" << reason
                             << "); running without host objects" << std::endl;
  g_state.privateWords = new (std::nothrow) void*[zk_hub::kGlobalObjectWords]();
  return g_state.privateWords;
}

}  // namespace

void ZelkarProcessAttach() {
  if (g_state.attached) return;
  g_state.attached = true;

  void** words = AttachGlobalObject();
  if (words != nullptr && words[zk_hub::kWordSignalHub] == nullptr) {
    // No host hub: supply an empty one (all lists empty, no application state) so that the
    // library's subscribers have lists to join. Nothing reaches it from outside and the library's
    // own emissions are dropped for want of an application state.
    g_state.standaloneHub = new (std::nothrow) unsigned char[zk_hub::kHubSize]();
    words[zk_hub::kWordSignalHub] = g_state.standaloneHub;
    GetLogger().SelectLevel(2) << "Zelkar: no signal hub in the global object; using an empty "
                                  "standalone hub"
                               << std::endl;
  }
  SetGlobalObjectWords(words);
  SetSignalHub(words != nullptr ? words[zk_hub::kWordSignalHub] : nullptr);

  CZK_LibraryGlobal* global = new (std::nothrow) CZK_LibraryGlobal{};
  if (global == nullptr) return;
  // The character manager is made first, then the controller manager, which subscribes to the
  // hub as it is built.
  try {
    global->characterManager = new CZK_CharacterManager();
    global->controllerManager = new CZK_ControllerManager();
  } catch (const std::exception& error) {
    // Nothing may escape the loader's call; the facade reports the missing manager instead.
    GetLogger().SelectLevel(4) << "Zelkar: cannot create the managers: " << error.what()
                               << std::endl;
  }
  global->currentCar = nullptr;
  SetLibraryGlobal(global);
}

void ZelkarProcessDetach() {
  if (g_state.attached) {
    void** words = static_cast<void**>(g_state.view.data);
    // Leave no pointer to the hub freed below in a block the host keeps.
    if (words != nullptr && g_state.standaloneHub != nullptr &&
        words[zk_hub::kWordSignalHub] == g_state.standaloneHub)
      words[zk_hub::kWordSignalHub] = nullptr;
    SetGlobalObjectWords(nullptr);
    zk_platform::CloseSharedBlock(g_state.view);

    CZK_LibraryGlobal* global = GetLibraryGlobal();
    if (global != nullptr) {
      // The character manager goes first, then the controller manager, whose connections
      // unlink from the hub: the hub must still be alive here.
      delete global->characterManager;
      global->characterManager = nullptr;
      delete global->controllerManager;
      global->controllerManager = nullptr;
    }
    delete global;
    SetLibraryGlobal(nullptr);

    SetSignalHub(nullptr);
    delete[] g_state.standaloneHub;
    delete[] g_state.privateWords;
    g_state = CProcessState{};
  }
  NRQLib2::NFileCore::DestroyArchiveCache();
  NRQLib2::NLogger::DestroyLogger();
}
