#include "interface/LibraryGlobal.h"

#include <zelkar/HubLayout.h>

namespace {
CZK_LibraryGlobal* g_libraryGlobal = nullptr;
void* const* g_globalObjectWords = nullptr;
}  // namespace

CZK_LibraryGlobal* GetLibraryGlobal() { return g_libraryGlobal; }
void SetLibraryGlobal(CZK_LibraryGlobal* global) { g_libraryGlobal = global; }

void* GetGlobalObjectWord(std::size_t index) {
  if (g_globalObjectWords == nullptr || index >= zk_hub::kGlobalObjectWords) return nullptr;
  return g_globalObjectWords[index];
}

void SetGlobalObjectWords(void* const* words) { g_globalObjectWords = words; }
