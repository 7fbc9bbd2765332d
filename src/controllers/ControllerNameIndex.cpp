#include "controllers/ControllerNameIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {
constexpr std::size_t kFirstSlots = 64;
}  // namespace

std::uint32_t CControllerNameIndex::Hash(std::string_view name) {
  const std::size_t h = std::hash<std::string_view>{}(name);
  // Both halves take part: the slot comes from the low bits, the comparison uses all 32.
  return static_cast<std::uint32_t>(h ^ (static_cast<std::uint64_t>(h) >> 32));
}

std::size_t CControllerNameIndex::Probe(std::string_view name, std::uint32_t hash) const {
  const std::size_t mask = m_entries.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const SEntry& e = m_entries[slot];
    if (e.index < 0) return slot;
    if (e.hash == hash && e.length == name.size() &&
        std::memcmp(e.text, name.data(), name.size()) == 0)
      return slot;
  }
}

void CControllerNameIndex::Grow(std::size_t slots) {
  std::vector<SEntry> old(slots);
  old.swap(m_entries);
  for (const SEntry& e : old) {
    if (e.index < 0) continue;
    const std::size_t mask = m_entries.size() - 1;
    std::size_t slot = e.hash & mask;
    while (m_entries[slot].index >= 0) slot = (slot + 1) & mask;
    m_entries[slot] = e;
  }
}

void CControllerNameIndex::Reserve(std::size_t count) {
  std::size_t slots = std::max(m_entries.size(), kFirstSlots);
  while (slots / 2 < count) slots *= 2;
  if (slots != m_entries.size()) Grow(slots);
}

void CControllerNameIndex::Set(std::string_view name, int index) {
  if (m_count + 1 > m_entries.size() / 2) Reserve(m_count + 1);
  const std::uint32_t hash = Hash(name);
  SEntry& e = m_entries[Probe(name, hash)];
  if (e.index < 0) ++m_count;
  e.text = name.data();
  e.length = static_cast<std::uint32_t>(name.size());
  e.hash = hash;
  e.index = index;
}

int CControllerNameIndex::Find(std::string_view name) const {
  if (m_count == 0) return -1;
  return m_entries[Probe(name, Hash(name))].index;
}

void CControllerNameIndex::Clear() {
  std::fill(m_entries.begin(), m_entries.end(), SEntry{});
  m_count = 0;
}
