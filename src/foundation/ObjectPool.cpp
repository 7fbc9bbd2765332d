#include "foundation/ObjectPool.h"

#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define ZK_POOL_BYPASS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZK_POOL_BYPASS 1
#endif
#endif
#if defined(ZK_POOL_BYPASS)
constexpr bool kBypassPool = true;
#else
constexpr bool kBypassPool = false;
#endif

namespace {

constexpr std::size_t kGranule = alignof(std::max_align_t);
// Larger objects come from the heap directly. Every controller and track class is far smaller,
// and so are the key arrays of the tracks exported scenes hold (a few dozen keys); a size class
// per granule keeps an array within 15 bytes of its size.
constexpr std::size_t kLargestPooled = 4096;
constexpr std::size_t kClasses = kLargestPooled / kGranule;
constexpr std::size_t kBlockSize = 64 * 1024;

struct SFreeObject {
  SFreeObject* next;
};
struct SBlock {
  SBlock* next;
};
// The block header keeps the objects after it aligned.
constexpr std::size_t kBlockHeader = (sizeof(SBlock) + kGranule - 1) / kGranule * kGranule;

// Plain data, constant-initialised: usable from any static constructor or destructor.
struct SPool {
  SFreeObject* freeLists[kClasses];
  SBlock* blocks;
  SBlock* spare;        // emptied blocks kept for the next objects
  unsigned char* bump;  // the unused rest of the newest block
  unsigned char* bumpEnd;
  std::size_t live;
  std::size_t blocksInUse;  // in the blocks list
  std::size_t blocksHeld;   // in either list
};
SPool g_pool{};

std::size_t ClassOf(std::size_t size) { return (size + kGranule - 1) / kGranule - 1; }

// When the last object goes (a session cleaned up before the next scene is loaded), the blocks
// are kept for the objects of the next load instead of going back to the heap: handing the heap
// some hundred 64 KB blocks makes it merge every small free block it holds (the controllers'
// names), and the next load's names are then carved out of the merged blocks the slow way.
void EmptyBlocks() {
  SBlock* spare = g_pool.spare;
  while (g_pool.blocks != nullptr) {
    SBlock* next = g_pool.blocks->next;
    g_pool.blocks->next = spare;
    spare = g_pool.blocks;
    g_pool.blocks = next;
  }
  const std::size_t held = g_pool.blocksHeld;
  g_pool = SPool{};
  g_pool.spare = spare;
  g_pool.blocksHeld = held;
}

void ReleaseSpareBlocks() {
  while (g_pool.spare != nullptr) {
    SBlock* next = g_pool.spare->next;
    ::operator delete(g_pool.spare);
    g_pool.spare = next;
    --g_pool.blocksHeld;
  }
}

// The kept blocks go back to the heap when the program ends.
struct SSpareRelease {
  ~SSpareRelease() { ReleaseSpareBlocks(); }
} g_spareRelease;

}  // namespace

namespace NObjectPool {

void* Allocate(std::size_t size) {
  if (kBypassPool || size == 0 || size > kLargestPooled) {
    void* direct = ::operator new(size);
    ++g_pool.live;
    return direct;
  }
  const std::size_t c = ClassOf(size);
  void* p = g_pool.freeLists[c];
  if (p != nullptr) {
    g_pool.freeLists[c] = g_pool.freeLists[c]->next;
  } else {
    const std::size_t bytes = (c + 1) * kGranule;
    if (g_pool.bump == nullptr || static_cast<std::size_t>(g_pool.bumpEnd - g_pool.bump) < bytes) {
      // What is left of the old block stays unused until the blocks are released.
      SBlock* block = g_pool.spare;
      if (block != nullptr) {
        g_pool.spare = block->next;
      } else {
        block = static_cast<SBlock*>(::operator new(kBlockSize));
        ++g_pool.blocksHeld;
      }
      ++g_pool.blocksInUse;
      block->next = g_pool.blocks;
      g_pool.blocks = block;
      g_pool.bump = reinterpret_cast<unsigned char*>(block) + kBlockHeader;
      g_pool.bumpEnd = reinterpret_cast<unsigned char*>(block) + kBlockSize;
    }
    p = g_pool.bump;
    g_pool.bump += bytes;
  }
  ++g_pool.live;
  return p;
}

void Free(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (kBypassPool || size == 0 || size > kLargestPooled) {
    ::operator delete(p);
    if (--g_pool.live == 0) EmptyBlocks();
    return;
  }
  const std::size_t c = ClassOf(size);
  auto* object = static_cast<SFreeObject*>(p);
  object->next = g_pool.freeLists[c];
  g_pool.freeLists[c] = object;
  if (--g_pool.live == 0) EmptyBlocks();
}

std::size_t LiveCount() { return g_pool.live; }

std::size_t BlockBytesInUse() { return g_pool.blocksInUse * kBlockSize; }
std::size_t BlockBytesHeld() { return g_pool.blocksHeld * kBlockSize; }

}  // namespace NObjectPool
