#include "controllers/ControllerNameIndex.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t kFirstSlots = 64;
}  // namespace

std::uint32_t CControllerNameIndex::Hash(std::string_view name) {
  // Eight bytes at a time, each word mixed in by a multiply and a fold of the high half into the
  // low one (the slot comes from the low bits); names run to a few dozen characters, where the
  // library's byte-wise hash cost more than the rest of filing a controller.
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = name.size() * kMultiplier;
  const char* p = name.data();
  std::size_t left = name.size();
  const auto mix = [&h](std::uint64_t word) {
    h = (h ^ word) * kMultiplier;
    h ^= h >> 32;
  };
  for (; left >= 8; p += 8, left -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof(word));
    mix(word);
  }
  if (left > 0) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, left);
    mix(word);
  }
  h = (h ^ (h >> 29)) * kMultiplier;
  return static_cast<std::uint32_t>(h ^ (h >> 32));
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
