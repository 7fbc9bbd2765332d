/// @file
/// A whole host as the library expects to find it: the global object with word 0 pointing to a
/// hub, word 15 to a surface-class object and word 20 to a control gate. Build one before loading
/// the library (or before ZelkarProcessAttach) and destroy it after unloading.
#pragma once

#include <zelkar/HubLayout.h>

#include "hostkit/GlobalObject.h"
#include "hostkit/HostHub.h"
#include "hostkit/HostObjects.h"

/// The host kit: the host's side of the library (global object, hub, host objects, emission),
/// for tests, tools and example hosts.
namespace zk_hostkit {

/// The global object, the hub and the two host objects, wired together.
class CHost {
 public:
  /// Builds the four parts and stores the hub, the surface-class object and the control gate in
  /// words 0, 15 and 20 of the global object.
  CHost() {
    globalObject.SetWord(zk_hub::kWordSignalHub, hub.Data());
    globalObject.SetWord(zk_hub::kWordSurfaceClass, static_cast<IZK_SurfaceClass*>(&surface));
    globalObject.SetWord(zk_hub::kWordControlGate, static_cast<IZK_ControlGate*>(&gate));
  }

  // Declared in build order: the block is unlinked last.
  CGlobalObject globalObject;  ///< the block; built first and unlinked last
  CHostHub hub;                ///< the signal hub, in word 0
  CSurfaceClass surface;       ///< the surface-class object, in word 15
  CControlGate gate;           ///< the control gate, in word 20
};

}  // namespace zk_hostkit
