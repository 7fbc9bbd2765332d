#include "SceneSource.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

namespace zk_gltf {
namespace {

using namespace NZelkarAsset;

// The library's shortest segment: keys closer than this form one sampled at its start.
constexpr float kMinSegment = 0.0001f;
constexpr size_t kMaxTimes = 1000000;

float Below(float t) { return std::nextafter(t, -std::numeric_limits<float>::infinity()); }
float Above(float t) { return std::nextafter(t, std::numeric_limits<float>::infinity()); }

bool Repeats(uint32_t outOfRange) { return outOfRange == 1 || outOfRange == 2; }  // cycle, loop

// A track's key range and out-of-range kinds, and the time its keys are looked up at for a scene
// time: wrapped into the range as the library wraps it (in float) where the track repeats.
struct SRange {
  float first, last;
  uint32_t before, after;

  float Placed(float t) const {
    const float range = last - first;
    const bool wrap = (t <= first && Repeats(before)) || (t >= last && Repeats(after));
    if (!wrap || range <= 0.0f) return t;
    const float r = std::fmod(t - first, range);
    return t >= first ? first + r : last + r;
  }
};

class CStepCollector {
 public:
  CStepCollector(float start, double from, double to) : m_start(start), m_from(from), m_to(to) {}

  void AddController(const Controller& controller) {
    if (!controller.slot.isRaw) AddTrack(controller.slot.track);
    for (const Axis& axis : controller.axes)
      if (!axis.slot.isRaw) AddTrack(axis.slot.track);
    for (const Controller& part : controller.parts) AddController(part);
  }

  std::vector<float> Times() {
    std::sort(m_times.begin(), m_times.end());
    m_times.erase(std::unique(m_times.begin(), m_times.end()), m_times.end());
    return m_times;
  }

 private:
  void AddTrack(const Track& track) {
    const KeyTypeInfo* info = FindKeyType(track.keyType);
    if (info == nullptr || info->floatCount == 0) return;
    const size_t width = info->floatCount, count = track.values.size() / width;
    if (count < 2) return;
    auto time = [&](size_t k) { return std::bit_cast<float>(track.values[k * width]); };
    // Whether keys a and b hold the same value (every field but the time, bit for bit).
    auto same = [&](size_t a, size_t b) {
      return std::equal(track.values.begin() + a * width + 1,
                        track.values.begin() + (a + 1) * width,
                        track.values.begin() + b * width + 1);
    };
    const SRange range{time(0), time(count - 1), track.before, track.after};
    const float period = range.last - range.first;
    for (size_t k = 1; k < count; ++k) {
      const float t0 = time(k - 1), t1 = time(k);
      if (!(t1 >= t0 && t1 - t0 < kMinSegment) || same(k - 1, k)) continue;
      AddRepeats(range, t1, [&](float placed) { return placed >= t1; });
    }
    // The seam of a repeating track: from its last value back to its first.
    if (period > 0 && !same(0, count - 1) && (Repeats(track.before) || Repeats(track.after)))
      AddRepeats(range, range.last,
                 [&](float placed) { return placed < range.first + period / 2; });
  }

  // The change at key time `at` and, where the track repeats, at the same place of every repeat
  // within [from, to]. `changed` tells, from the placed time, whether a time is past the change.
  void AddRepeats(const SRange& range, float at, const std::function<bool(float)>& changed) {
    const double period = double(range.last) - range.first;
    const bool repeats = period > 0 && (Repeats(range.before) || Repeats(range.after));
    const double hostAt = double(at) - m_start;
    long lo = 0, hi = 0;
    if (repeats) {
      lo = Repeats(range.before) ? long(std::floor((m_from - hostAt) / period)) : 0;
      hi = Repeats(range.after) ? long(std::ceil((m_to - hostAt) / period)) : 0;
      if (double(hi) - lo > double(kMaxTimes))
        throw std::runtime_error("the scene's repeating steps give over a million frames");
    }
    for (long k = std::min(lo, 0L); k <= std::max(hi, 0L); ++k) {
      const double host = hostAt + double(k) * period;
      if (host < m_from || host > m_to) continue;
      AddChange(float(host), [&](float h) { return changed(range.Placed(h + m_start)); });
    }
  }

  // The first host time past the change near `guess` (a few float steps either way), and the
  // float before it.
  void AddChange(float guess, const std::function<bool(float)>& past) {
    float h = guess;
    for (int i = 0; i < 16 && !past(h); ++i) h = Above(h);
    for (int i = 0; i < 16 && past(Below(h)); ++i) h = Below(h);
    if (!past(h) || past(Below(h))) return;  // no change within reach: nothing to catch
    for (float t : {Below(h), h})
      if (t >= m_from && t <= m_to) m_times.push_back(t);
    if (m_times.size() > kMaxTimes)
      throw std::runtime_error("the scene's steps give over a million frames");
  }

  float m_start;
  double m_from, m_to;
  std::vector<float> m_times;
};

}  // namespace

namespace {

// The text of the import's chunk of this subclass, or empty.
std::string SourceText(const Document& scene, uint32_t subclass) {
  for (const TopChunk& top : scene.chunks)
    if (top.type == TopType::Raw && top.raw.chunkClass == kSourceNameClass &&
        top.raw.subclass == subclass)
      return std::string(top.raw.payload.begin(), top.raw.payload.end());
  return "";
}

}  // namespace

std::string SourceAnimationName(const Document& scene) {
  return SourceText(scene, kSourceNameSubclass);
}

std::string SourceFilePath(const Document& scene) { return SourceText(scene, kSourceFileSubclass); }

std::vector<float> StepTimes(const Document& scene, double from, double to) {
  float start = 0;  // the library keeps the last range chunk it reads
  for (const TopChunk& top : scene.chunks)
    if (top.type == TopType::Range) start = std::bit_cast<float>(top.start);
  CStepCollector steps(start, from, to);
  for (const TopChunk& top : scene.chunks)
    if (top.type == TopType::Object) steps.AddController(top.controller);
  return steps.Times();
}

}  // namespace zk_gltf
