// Named shared memory blocks (POSIX shm), as the process's global object uses them.
#pragma once

#include <cstddef>

namespace zk_platform {

// One mapped block. Trivially destructible on purpose: process detach may run while static
// objects are being torn down, so the state must not depend on destructors.
struct CSharedBlock {
  void* data = nullptr;
  std::size_t size = 0;
  int descriptor = -1;
  bool created = false;  // this process made the name and unlinks it on close
  char name[64] = {};
};

// Opens the block named `name` or, when there is none, creates it (O_CREAT | O_RDWR, resized to
// `size` bytes, which reads as zeros), then maps `size` bytes read/write. On failure returns
// false, leaves `block` closed (nothing mapped, nothing left created) and writes the reason into
// `reason` (at most reasonSize bytes, zero-terminated). An existing block smaller than `size` is
// refused rather than grown: it belongs to someone else.
bool OpenOrCreateSharedBlock(const char* name, std::size_t size, CSharedBlock& block, char* reason,
                             std::size_t reasonSize);

// Unmaps the block, closes it and unlinks its name if this process created it. Closing a closed
// block does nothing.
void CloseSharedBlock(CSharedBlock& block);

// Whether a block of that name exists.
bool SharedBlockExists(const char* name);

// The global object's name for this process: "/PC_GlobalObject.<pid>".
void GlobalObjectName(char* out, std::size_t outSize);

}  // namespace zk_platform
