#include "signals/Hub.h"

namespace {
void* g_signalHub = nullptr;
}

void* GetSignalHub() { return g_signalHub; }
void SetSignalHub(void* hub) { g_signalHub = hub; }
