// Controller indices found by name without a copy of the names: each entry points at the text
// of the name the controller itself holds, which never changes once the controller is built,
// and keeps its hash. Open addressing with linear probing over a power-of-two table that is kept
// at most half full: an entry is no allocation of its own, so registering a controller costs
// nothing on the heap but the table's occasional doubling, and a search compares the text of a
// name only when the hashes agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class CControllerNameIndex {
 public:
  // Room for count names in all without growing.
  void Reserve(std::size_t count);
  // From now on name finds index; a name already present moves to the new index. The text must
  // stay where it is, unchanged, until the next Clear.
  void Set(std::string_view name, int index);
  // The index last set for name, or -1.
  int Find(std::string_view name) const;
  // Forgets every name; the table keeps its size for the next load.
  void Clear();
  std::size_t Size() const { return m_count; }

 private:
  struct SEntry {
    const char* text = nullptr;
    std::uint32_t length = 0;
    std::uint32_t hash = 0;
    std::int32_t index = -1;  // -1: a free slot
  };

  static std::uint32_t Hash(std::string_view name);
  // The slot holding name, or the free slot where it would go. The table has a free slot.
  std::size_t Probe(std::string_view name, std::uint32_t hash) const;
  void Grow(std::size_t slots);

  std::vector<SEntry> m_entries;  // empty, or a power of two in size
  std::size_t m_count = 0;
};
