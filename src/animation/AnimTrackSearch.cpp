#include "animation/AnimTrackSearch.h"

#include <cmath>
#include <limits>

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

bool TimesAreOrdered(const float* times, size_t count) {
  for (size_t i = 1; i < count; ++i) {
    if (!(times[i] >= times[i - 1])) return false;
  }
  return true;
}

void CKeyTimes::Prepare() {
  const size_t count = m_times.size();
  m_ordered = TimesAreOrdered(m_times.data(), count);
  m_bucketStarts.clear();
  m_bucketOrigin = 0.0f;
  m_bucketsPerTime = 0.0f;
  if (!m_ordered || count < 2 || count >= std::numeric_limits<uint32_t>::max()) return;
  const float first = m_times.front();
  const float range = m_times.back() - first;
  // One bucket per key: evenly spaced keys, the usual export, leave one or two keys per bucket.
  const float buckets = static_cast<float>(count);
  if (!(range > 0.0f) || !std::isfinite(range) || !std::isfinite(buckets / range)) return;
  m_bucketOrigin = first;
  m_bucketsPerTime = buckets / range;
  m_bucketStarts.resize(count + 1);
  for (size_t b = 0; b <= count; ++b) {
    const float start = first + static_cast<float>(b) / m_bucketsPerTime;
    m_bucketStarts[b] = static_cast<uint32_t>(UpperBound(m_times.data(), count, start));
  }
}

}  // namespace NAnimTrackSearch
