// A host of the library: loads libzelkar.so at run time and holds one facade of it.
//
// It runs the library standalone: it makes no global object and no hub, so the library supplies
// both at load time. zelkar-play emits no signal and answers no host query; a hub of its own
// would only add a lifetime to manage (it must outlive the library, which the loader may keep
// until exit) without changing a single matrix. A spectator, the player's default kind, listens
// to nothing.
#pragma once

#include <zelkar/ZelkarFacade.h>

#include <memory>
#include <string>

#include "hostkit/LoadedLibrary.h"

namespace zk_play {

class CLibraryHost {
 public:
  // Loads the library and makes a facade; throws std::runtime_error when either fails.
  explicit CLibraryHost(const std::string& libraryPath);
  // Destroys the facade, then unloads the library (its code is gone after that).
  ~CLibraryHost();
  CLibraryHost(const CLibraryHost&) = delete;
  CLibraryHost& operator=(const CLibraryHost&) = delete;

  CZelkarInterfaceExt& Facade() const { return *m_facade; }

 private:
  zk_hostkit::CLoadedLibrary m_library;
  ZK_DeleteFunction m_delete = nullptr;
  std::unique_ptr<CZelkarInterfaceExt> m_facade;
};

}  // namespace zk_play
