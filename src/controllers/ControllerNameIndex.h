// Controller indices found by name without a copy of the names. A slot holds a controller index
// and the hash of its name; the name itself is read from the controller (through nameOf, which
// gives the name of an index) only when the hashes agree. Open addressing with linear probing
// over a power-of-two table kept at most half full: an entry is no allocation of its own and
// eight bytes, so filing a controller costs nothing on the heap but the table's occasional
// doubling. The slot of a name is a random place in a table that outgrows the caches on a large
// scene, so a caller that knows the hash early can fetch the slot ahead of the insertion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class CControllerNameIndex {
 public:
  static std::uint32_t Hash(std::string_view name);

  // Starts loading the slot where a name of that hash goes.
  void Prefetch(std::uint32_t hash) const {
    if (!m_slots.empty()) __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]);
  }
  // From now on nameOf(index), whose hash is hash, finds index; a name already present moves to
  // the new index. nameOf must give the same names until the next Clear.
  template <class NameOf>
  void Insert(std::uint32_t hash, int index, NameOf nameOf) {
    if (m_count + 1 > m_slots.size() / 2) Reserve(m_count + 1);
    SSlot& slot = m_slots[Probe(nameOf(index), hash, nameOf)];
    if (slot.index < 0) ++m_count;
    slot.hash = hash;
    slot.index = index;
  }
  // The index last inserted for name, or -1.
  template <class NameOf>
  int Find(std::string_view name, NameOf nameOf) const {
    if (m_count == 0) return -1;
    return m_slots[Probe(name, Hash(name), nameOf)].index;
  }
  // Forgets every name; the table keeps its size for the next load.
  void Clear();

 private:
  struct SSlot {
    std::uint32_t hash = 0;
    std::int32_t index = -1;  // -1: a free slot
  };

  // The slot holding name, or the free slot where it would go. The table has a free slot.
  template <class NameOf>
  std::size_t Probe(std::string_view name, std::uint32_t hash, NameOf nameOf) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const SSlot& slot = m_slots[i];
      if (slot.index < 0 || (slot.hash == hash && nameOf(slot.index) == name)) return i;
    }
  }
  // Room for count names in all without growing.
  void Reserve(std::size_t count);
  void Grow(std::size_t slots);

  std::vector<SSlot> m_slots;  // empty, or a power of two in size
  std::size_t m_count = 0;
};
