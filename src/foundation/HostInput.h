// Checking what a host hands the library: indices into its lists and values that must be numbers.
#pragma once

#include <zelkar/MathTypes.h>

#include <cmath>
#include <cstddef>
#include <vector>

// The element at index, or null for an index outside the list (negative ones included).
template <class T>
T* ElementOrNull(const std::vector<T*>& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
  return list[static_cast<std::size_t>(index)];
}

// Whether every component is a number and not an infinity.
inline bool IsFinite(const Vector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
inline bool IsFinite(const Quaternion& q) {
  return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}
