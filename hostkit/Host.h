// A whole host as the library expects to find it: the global object with word 0 pointing to a
// hub, word 15 to a surface-class object and word 20 to a control gate. Build one before loading
// the library (or before ZelkarProcessAttach) and destroy it after unloading.
#pragma once

#include <zelkar/HubLayout.h>

#include "hostkit/GlobalObject.h"
#include "hostkit/HostHub.h"
#include "hostkit/HostObjects.h"

namespace zk_hostkit {

class CHost {
 public:
  CHost() {
    globalObject.SetWord(zk_hub::kWordSignalHub, hub.Data());
    globalObject.SetWord(zk_hub::kWordSurfaceClass, static_cast<IZK_SurfaceClass*>(&surface));
    globalObject.SetWord(zk_hub::kWordControlGate, static_cast<IZK_ControlGate*>(&gate));
  }

  // Declared in build order: the block is unlinked last.
  CGlobalObject globalObject;
  CHostHub hub;
  CSurfaceClass surface;
  CControlGate gate;
};

}  // namespace zk_hostkit
