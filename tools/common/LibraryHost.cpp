#include "LibraryHost.h"

#include <stdexcept>

namespace zk_play {

CLibraryHost::CLibraryHost(const std::string& libraryPath) : m_library(libraryPath) {
  auto create = m_library.Function<ZK_CreateFunction>("ZK_Create");
  m_delete = m_library.Function<ZK_DeleteFunction>("ZK_Delete");
  if (create == nullptr || m_delete == nullptr)
    throw std::runtime_error(libraryPath + " does not export ZK_Create and ZK_Delete");
  // The object ZK_Create makes is the extended facade (slots 28..36).
  m_facade.reset(static_cast<CZelkarInterfaceExt*>(create()));
  if (m_facade == nullptr) throw std::runtime_error("ZK_Create returned no facade");
}

CLibraryHost::~CLibraryHost() {
  m_facade.reset();
  m_delete();
  m_library.Close();
}

}  // namespace zk_play
