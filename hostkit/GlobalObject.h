/// @file
/// The host's side of the process's global object: a block of 22 pointer-sized words that the host
/// creates, fills and only then loads the library into the process.
#pragma once

#include <cstddef>
#include <string>

namespace zk_hostkit {

/// The global object as a named shared-memory block, created and mapped for the life of this
/// object.
class CGlobalObject {
 public:
  /// Creates the block (O_CREAT | O_RDWR, sized to zk_hub::kGlobalObjectSize) and maps it, every
  /// word null. Throws std::runtime_error when that fails.
  CGlobalObject();
  /// Unmaps the block and unlinks its name; the host does this after unloading the library.
  ~CGlobalObject();
  CGlobalObject(const CGlobalObject&) = delete;
  CGlobalObject& operator=(const CGlobalObject&) = delete;

  /// The word at index, or null when index is past the last word.
  void* GetWord(std::size_t index) const;
  /// Stores value in the word at index. Throws std::out_of_range when index is past the last
  /// word.
  void SetWord(std::size_t index, void* value);

  /// The block's name for the calling process: `/PC_GlobalObject.` followed by its pid.
  static std::string Name();
  /// Whether a block of that name exists now (made by a host or by the library).
  static bool Exists();

 private:
  void** m_words = nullptr;
  int m_descriptor = -1;
};

}  // namespace zk_hostkit
