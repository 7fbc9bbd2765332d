#include "hostkit/LoadedLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

namespace zk_hostkit {

CLoadedLibrary::CLoadedLibrary(const std::string& path)
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (m_handle == nullptr) {
    const char* error = dlerror();
    throw std::runtime_error("cannot load " + path + ": " + (error != nullptr ? error : "?"));
  }
}

CLoadedLibrary::~CLoadedLibrary() { Close(); }

void* CLoadedLibrary::Symbol(const char* name) const {
  return m_handle != nullptr ? dlsym(m_handle, name) : nullptr;
}

bool CLoadedLibrary::Close() {
  if (m_handle == nullptr) return true;
  const bool closed = dlclose(m_handle) == 0;
  m_handle = nullptr;
  return closed;
}

bool CLoadedLibrary::IsLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

}  // namespace zk_hostkit
