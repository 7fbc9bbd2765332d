// Process-wide state of the library: the library global (its two managers and the current car)
// and the words of the process's global object.
#pragma once

#include <cstddef>

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

// Word `index` (0 to 21) of the process's global object: 0 the signal hub, 15 the surface-class
// object (IZK_SurfaceClass), 20 the control gate (IZK_ControlGate). Null while the library is
// not attached and for an index out of range.
void* GetGlobalObjectWord(std::size_t index);
// Process attach hands over the mapped words (zk_hub::kGlobalObjectWords of them); detach null.
void SetGlobalObjectWords(void* const* words);
