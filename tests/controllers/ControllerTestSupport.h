// Small hand-made tracks, a hub buffer and matrix helpers for the controller tests; tolerances
// come from the track tests' Near and the fixture's Translation.
#pragma once

#include <gtest/gtest.h>
#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "animation/AnimTrack.h"
#include "animation/TrackTestSupport.h"
#include "foundation/Math.h"
#include "signals/Hub.h"
#include "support/LibraryFixture.h"

namespace zk_test {

// Counts destroyed test tracks, so a test can see a track die exactly once.
inline int& DestroyedTracks() {
  static int count = 0;
  return count;
}

template <class Base>
class CountedTrack : public Base {
 public:
  ~CountedTrack() override { ++DestroyedTracks(); }
  void Prepare() override {}
};

// value(t) = slope * t + offset; optionally appends `tag` to a call log when sampled.
class LineFloatTrack : public CountedTrack<CZK_AnimTrackFloat> {
 public:
  LineFloatTrack(float slope, float offset, std::string* log = nullptr, char tag = 0)
      : m_slope(slope), m_offset(offset), m_log(log), m_tag(tag) {}
  float Evaluate(float time) const override {
    if (m_log != nullptr) m_log->push_back(m_tag);
    return m_slope * time + m_offset;
  }

 private:
  float m_slope, m_offset;
  std::string* m_log;
  char m_tag;
};

// position(t) = start + velocity * t.
class LinePositionTrack : public CountedTrack<CZK_AnimTrackPosition> {
 public:
  LinePositionTrack(Vector3 start, Vector3 velocity = {0, 0, 0})
      : m_start(start), m_velocity(velocity) {}
  Vector3* Evaluate(Vector3* out, float time) const override {
    *out = m_start + m_velocity * time;
    return out;
  }

 private:
  Vector3 m_start, m_velocity;
};

// A rotation about a fixed unit axis by angle(t) = rate * t + offset.
class AxisRotationTrack : public CountedTrack<CZK_AnimTrackRotation> {
 public:
  AxisRotationTrack(Vector3 axis, float offset, float rate = 0.0f)
      : m_axis(axis), m_offset(offset), m_rate(rate) {}
  Quaternion* Evaluate(Quaternion* out, float time) const override {
    *out = QuaternionFromAxisAngle(m_axis, m_rate * time + m_offset);
    return out;
  }

 private:
  Vector3 m_axis;
  float m_offset, m_rate;
};

class ConstantScaleTrack : public CountedTrack<CZK_AnimTrackScale> {
 public:
  explicit ConstantScaleTrack(ScaleValue value) : m_value(value) {}
  ScaleValue* Evaluate(ScaleValue* out, float) const override {
    *out = m_value;
    return out;
  }

 private:
  ScaleValue m_value;
};

// A zeroed hub buffer installed as the library's hub for the lifetime of the object.
class ScopedHub {
 public:
  ScopedHub() : m_words(zk_hub::kHubSize / sizeof(uint64_t) + 1, 0) {
    SetSignalHub(m_words.data());
  }
  ~ScopedHub() { SetSignalHub(nullptr); }
  ScopedHub(const ScopedHub&) = delete;
  ScopedHub& operator=(const ScopedHub&) = delete;

  template <class Rec>
  CSignalList<Rec>& List(std::size_t offset) {
    return *reinterpret_cast<CSignalList<Rec>*>(reinterpret_cast<char*>(m_words.data()) + offset);
  }

  template <class Rec>
  void Deliver(std::size_t offset, const Rec& record) {
    NotifyEach(List<Rec>(offset), record);
  }

 private:
  std::vector<uint64_t> m_words;
};

}  // namespace zk_test
