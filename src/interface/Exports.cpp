// The library's two exported functions; everything else is reached through the facade.
#include <zelkar/Zelkar.h>

#include <new>

#include "interface/Zelkar.h"

extern "C" ZK_API CZelkarInterface* ZK_Create() {
  // The facade's own allocation and that of its connection may both fail; either way the host
  // gets null, and no exception crosses the C boundary.
  try {
    return new (std::nothrow) CZK_Zelkar();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

extern "C" ZK_API void ZK_Delete() {}
