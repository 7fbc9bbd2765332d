/// @file
/// A shared library loaded at run time, as a host loads libzelkar.so.
#pragma once

#include <string>

namespace zk_hostkit {

/// One handle on a shared library, from dlopen to dlclose.
class CLoadedLibrary {
 public:
  /// Loads the library (RTLD_NOW | RTLD_LOCAL); throws std::runtime_error with the loader's
  /// message when it cannot.
  explicit CLoadedLibrary(const std::string& path);
  /// Unloads it if Close has not.
  ~CLoadedLibrary();
  CLoadedLibrary(const CLoadedLibrary&) = delete;
  CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;

  /// The address of an exported symbol, or null (also once closed).
  void* Symbol(const char* name) const;
  /// The exported function called name, as a FunctionType pointer, or null.
  template <class FunctionType>
  FunctionType Function(const char* name) const {
    return reinterpret_cast<FunctionType>(Symbol(name));
  }

  /// Drops this handle; true when the loader accepted. Whether the code really leaves the process
  /// is the loader's decision (see IsLoaded).
  bool Close();

  /// Whether the library at path is in the process now.
  static bool IsLoaded(const std::string& path);

 private:
  void* m_handle;
};

}  // namespace zk_hostkit
