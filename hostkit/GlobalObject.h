// The host's side of the process's global object: a block of 22 pointer-sized words that the host
// creates, fills and only then loads the library into the process.
#pragma once

#include <cstddef>
#include <string>

namespace zk_hostkit {

class CGlobalObject {
 public:
  // Creates the block (O_CREAT | O_RDWR, sized to zk_hub::kGlobalObjectSize) and maps it, every
  // word null. Throws std::runtime_error when that fails.
  CGlobalObject();
  // Unmaps the block and unlinks its name; the host does this after unloading the library.
  ~CGlobalObject();
  CGlobalObject(const CGlobalObject&) = delete;
  CGlobalObject& operator=(const CGlobalObject&) = delete;

  void* GetWord(std::size_t index) const;
  void SetWord(std::size_t index, void* value);

  // "/PC_GlobalObject.<pid>" for the calling process.
  static std::string Name();
  // Whether a block of that name exists now (made by a host or by the library).
  static bool Exists();

 private:
  void** m_words = nullptr;
  int m_descriptor = -1;
};

}  // namespace zk_hostkit
