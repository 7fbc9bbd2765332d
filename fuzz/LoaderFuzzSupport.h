// The library's process-wide state for the loader fuzz targets, without process attach: a zeroed
// hub, both managers and the library global, made on first use and kept until the process ends.
#pragma once

#include <zelkar/HubLayout.h>

#include <memory>

#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "interface/LibraryGlobal.h"
#include "signals/Hub.h"

inline CZK_LibraryGlobal& FuzzLibraryGlobal() {
  struct SLibrary {
    SLibrary() : hub(std::make_unique<unsigned char[]>(zk_hub::kHubSize)) {
      SetSignalHub(hub.get());
      global.characterManager = new CZK_CharacterManager();
      global.controllerManager = new CZK_ControllerManager();
      global.currentCar = nullptr;
      SetLibraryGlobal(&global);
    }
    std::unique_ptr<unsigned char[]> hub;
    CZK_LibraryGlobal global{};
  };
  static SLibrary* library = new SLibrary();
  return library->global;
}
