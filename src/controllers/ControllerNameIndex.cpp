#include "controllers/ControllerNameIndex.h"

#include <algorithm>
#include <functional>

namespace {
constexpr std::size_t kFirstSlots = 64;
}  // namespace

std::uint32_t CControllerNameIndex::Hash(std::string_view name) {
  const std::size_t h = std::hash<std::string_view>{}(name);
  // Both halves take part: the slot comes from the low bits, the comparison uses all 32 bits.
  return static_cast<std::uint32_t>(h ^ (static_cast<std::uint64_t>(h) >> 32));
}

void CControllerNameIndex::Grow(std::size_t slots) {
  std::vector<SSlot> old(slots);
  old.swap(m_slots);
  const std::size_t mask = m_slots.size() - 1;
  for (const SSlot& s : old) {
    if (s.index < 0) continue;
    std::size_t i = s.hash & mask;
    while (m_slots[i].index >= 0) i = (i + 1) & mask;
    m_slots[i] = s;
  }
}

void CControllerNameIndex::Reserve(std::size_t count) {
  std::size_t slots = std::max(m_slots.size(), kFirstSlots);
  while (slots / 2 < count) slots *= 2;
  if (slots != m_slots.size()) Grow(slots);
}

void CControllerNameIndex::Clear() {
  std::fill(m_slots.begin(), m_slots.end(), SSlot{});
  m_count = 0;
}
