#include "animation/AnimTrackSearch.h"

#include <cmath>

namespace NAnimTrackSearch {

float Wrap(float t, float first, float last) {
  const float range = last - first;
  if (range <= 0.0f) return t;
  // fmod keeps the sign of t - first: times before the range count back from the last key.
  const float r = std::fmod(t - first, range);
  return t >= first ? first + r : last + r;
}

float PingPong(float t, float first, float last) {
  const float range = last - first;
  // passes = number of whole ranges travelled outside [first, last], plus one; only its parity
  // matters. The parity is taken on the float quotient so that a huge time cannot overflow an
  // integer conversion.
  bool oddPasses;
  if (range <= 0.0f) {
    oddPasses = true;
  } else if (t < first) {
    oddPasses = std::fmod(std::floor(std::fabs(t - first) / range), 2.0f) == 0.0f;
  } else if (t <= last) {
    oddPasses = false;
  } else {
    oddPasses = std::fmod(std::floor(std::fabs(t - last) / range), 2.0f) == 0.0f;
  }
  const float w = Wrap(t, first, last);
  return oddPasses ? last - (w - first) : w;
}

bool CKeyTimes::ScanOrder() const {
  // One pass over the times with the previous one kept at hand.
  bool ordered = true;
  float previous = m_count > 0 ? Time(0) : 0.0f;
  for (size_t i = 1; i < m_count && ordered; ++i) {
    const float t = Time(i);
    ordered = t >= previous;
    previous = t;
  }
  return ordered;
}

void CKeyTimes::PrepareKnowingOrder(bool ordered) {
  m_ordered = ordered;
  m_guessOrigin = 0.0f;
  m_keysPerTime = 0.0f;
  if (!m_ordered || m_count < 2) return;
  const float first = Time(0);
  const float range = Time(m_count - 1) - first;
  const float perTime = static_cast<float>(m_count - 1) / range;
  if (!(range > 0.0f) || !std::isfinite(perTime)) return;
  m_guessOrigin = first;
  m_keysPerTime = perTime;
}

}  // namespace NAnimTrackSearch
