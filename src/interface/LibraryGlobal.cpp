#include "interface/LibraryGlobal.h"

namespace {
CZK_LibraryGlobal* g_libraryGlobal = nullptr;
}  // namespace

CZK_LibraryGlobal* GetLibraryGlobal() { return g_libraryGlobal; }
void SetLibraryGlobal(CZK_LibraryGlobal* global) { g_libraryGlobal = global; }

CZK_RuntimeContext GetRuntimeContext() {
  if (g_libraryGlobal == nullptr) return {};
  return {g_libraryGlobal->controllerManager, g_libraryGlobal->characterManager,
          &g_libraryGlobal->currentCar};
}
