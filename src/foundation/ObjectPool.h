// The storage of controllers, tracks and the key arrays of tracks: a scene of a few thousand
// objects makes tens of thousands of these small objects at once and destroys them all together
// when the session is cleaned up. Drawing them from large blocks, one free list per size, makes
// each allocation a pointer bump or a list pop and keeps the objects of a scene close together, and
// the C heap sees a few large blocks instead of tens of thousands of small ones that it would have
// to merge again on the next load. When the last pooled object goes, the blocks are kept for the
// next load's objects; they go back to the heap when the program ends.
//
// The library runs on one thread, so the pool takes no lock. Builds with AddressSanitizer use
// the ordinary heap for every object, so that a use after free is still caught.
#pragma once

#include <cstddef>

namespace NObjectPool {

// Storage for one object of size bytes, aligned as operator new aligns it; throws
// std::bad_alloc when the heap is exhausted.
void* Allocate(std::size_t size);
// Gives back storage from Allocate of the same size; null is ignored.
void Free(void* p, std::size_t size) noexcept;
// Objects allocated and not yet freed.
std::size_t LiveCount();
// Bytes of the blocks objects are drawn from now, and of all blocks the pool holds (those kept
// for later as well), for a measure of what loaded objects cost.
std::size_t BlockBytesInUse();
std::size_t BlockBytesHeld();

// A standard allocator over the pool, for the arrays that belong to pooled objects (the keys of
// a track). Arrays larger than the pool's largest size class come from the heap as usual.
template <class T>
struct Allocator {
  using value_type = T;
  Allocator() = default;
  template <class U>
  Allocator(const Allocator<U>&) noexcept {}
  // n is within max_size(), which the containers check before they allocate.
  T* allocate(std::size_t n) { return static_cast<T*>(Allocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { Free(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const Allocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace NObjectPool
