#include "signals/Hub.h"

#include <zelkar/HubLayout.h>

namespace {
void* g_signalHub = nullptr;
void* const* g_globalObjectWords = nullptr;
}  // namespace

void* GetSignalHub() { return g_signalHub; }
void SetSignalHub(void* hub) { g_signalHub = hub; }

void* GetGlobalObjectWord(std::size_t index) {
  if (g_globalObjectWords == nullptr || index >= zk_hub::kGlobalObjectWords) return nullptr;
  return g_globalObjectWords[index];
}

void SetGlobalObjectWords(void* const* words) { g_globalObjectWords = words; }
