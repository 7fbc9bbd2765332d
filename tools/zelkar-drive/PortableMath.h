// The drive's own trigonometry, evaluated in double and rounded once. The C libraries' float
// routines differ from one another in the last bit now and then (glibc's natively, musl's in the
// browser); their double routines round to the same float, so a drive sends the library the
// same input bits on every platform.
#pragma once

#include <cmath>

namespace zk_drive {

inline float Sine(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float Cosine(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
inline float Length(float x, float y, float z) {
  const double dx = x, dy = y, dz = z;
  return static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
}

}  // namespace zk_drive
