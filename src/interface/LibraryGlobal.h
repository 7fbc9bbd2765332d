// Process-wide state of the library: the library global (its two managers and the current car)
// and the words of the process's global object.
#pragma once

#include <cstddef>

#include "characters/RuntimeContext.h"

class CZK_ControllerManager;
class CZK_CharacterManager;
class CZK_CharacterCar;

struct CZK_LibraryGlobal {
  CZK_ControllerManager* controllerManager;  // owned
  CZK_CharacterManager* characterManager;    // owned
  CZK_CharacterCar* currentCar;              // the most recently created car, not owned; or null
};

// The library global between process attach and detach; null otherwise.
CZK_LibraryGlobal* GetLibraryGlobal();
void SetLibraryGlobal(CZK_LibraryGlobal* global);

// The library's running state as the characters and the loader are handed it: the global's two
// managers and its current-car slot. Null managers while the library is not attached.
CZK_RuntimeContext GetRuntimeContext();
