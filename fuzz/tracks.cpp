// Tracks built from arbitrary keys (any times, values, TCB parameters and out-of-range kinds,
// NaN and infinities included): every kind is prepared and sampled, and the indexed key search
// must find the same key as a plain scan whenever the times are in order.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "platform/DebugOutput.h"

namespace {

class CInput {
 public:
  CInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool Empty() const { return m_pos >= m_size; }
  uint32_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0u; }
  float Float() {
    float f = 0.0f;
    if (m_pos + sizeof(f) <= m_size) std::memcpy(&f, m_data + m_pos, sizeof(f));
    m_pos += sizeof(f);
    return f;
  }
  void Set(float& f) { f = Float(); }
  void Set(Vector3& v) { v = {Float(), Float(), Float()}; }
  void Set(Quaternion& q) { q = {Float(), Float(), Float(), Float()}; }
  void Set(BezierTangent& t) { t = {Float(), Float()}; }
  void Set(CZK_KeyFrameTCBBase& k) {
    k.tension = Float();
    k.continuity = Float();
    k.bias = Float();
    k.easeIn = Float();
    k.easeOut = Float();
  }
  template <class... Fields>
  void SetAll(Fields&... fields) {
    (Set(fields), ...);
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

void Fill(CInput& in, CZK_KeyFrameLinearFloat& k) { in.SetAll(k.value); }
void Fill(CInput& in, CZK_KeyFrameLinearPosition& k) { in.SetAll(k.value); }
void Fill(CInput& in, CZK_KeyFrameLinearRotation& k) { in.SetAll(k.rotation); }
void Fill(CInput& in, CZK_KeyFrameLinearScale& k) { in.SetAll(k.scale, k.axis); }
void Fill(CInput& in, CZK_KeyFrameBezierFloat& k) { in.SetAll(k.value, k.inTangent, k.outTangent); }
void Fill(CInput& in, CZK_KeyFrameBezierPosition& k) {
  in.SetAll(k.value, k.inTangent[0], k.inTangent[1], k.inTangent[2], k.outTangent[0],
            k.outTangent[1], k.outTangent[2]);
}
void Fill(CInput& in, CZK_KeyFrameBezierRotation& k) { in.SetAll(k.rotation); }
void Fill(CInput& in, CZK_KeyFrameBezierScale& k) { in.SetAll(k.scale, k.axis); }
void Fill(CInput& in, CZK_KeyFrameTCBFloat& k) { in.SetAll(k, k.value); }
void Fill(CInput& in, CZK_KeyFrameTCBPosition& k) { in.SetAll(k, k.value); }
void Fill(CInput& in, CZK_KeyFrameTCBRotation& k) { in.SetAll(k, k.rotation); }
void Fill(CInput& in, CZK_KeyFrameTCBScale& k) { in.SetAll(k, k.scale, k.axis); }

template <class Track>
void Exercise(CInput& in, uint32_t keyCount) {
  Track track;
  for (uint32_t i = 0; i < keyCount && !in.Empty(); ++i) {
    typename Track::KeyType key;
    key.time = in.Float();
    Fill(in, key);
    track.AddKey(key);
  }
  track.outOfRangeBefore = in.Byte() % 6;
  track.outOfRangeAfter = in.Byte() % 6;
  track.Prepare();
  while (!in.Empty()) {
    const float t = in.Float();
    if constexpr (std::is_base_of_v<CZK_AnimTrackFloat, Track>) {
      volatile float v = track.Evaluate(t);
      (void)v;
    } else {
      std::remove_pointer_t<decltype(track.Evaluate(nullptr, 0.0f))> v;
      if (track.Evaluate(&v, t) != &v) __builtin_trap();
    }
  }
}

// The indexed search against a scan, on the same times.
void CheckSearch(CInput& in) {
  std::vector<float> values(1 + in.Byte() % 64);
  for (float& value : values) value = in.Float();
  NAnimTrackSearch::CKeyTimes times;
  times.Bind(values.data(), values.size());
  times.Prepare();
  while (!in.Empty()) {
    const float t = in.Float();
    size_t scan = 0;
    while (scan < values.size() && !(values[scan] > t)) ++scan;
    if (times.FirstKeyAfter(t) != scan) __builtin_trap();
  }
}

void Discard(const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool silenced = (zk_platform::SetDebugSink(&Discard), true);
  (void)silenced;
  CInput in(data, size);
  const uint32_t kind = in.Byte() % 13;
  const uint32_t keys = in.Byte() % 40;
  switch (kind) {
    case 0:
      Exercise<CZK_AnimTrackFloatLinear>(in, keys);
      break;
    case 1:
      Exercise<CZK_AnimTrackPositionLinear>(in, keys);
      break;
    case 2:
      Exercise<CZK_AnimTrackRotationLinear>(in, keys);
      break;
    case 3:
      Exercise<CZK_AnimTrackScaleLinear>(in, keys);
      break;
    case 4:
      Exercise<CZK_AnimTrackFloatBezier>(in, keys);
      break;
    case 5:
      Exercise<CZK_AnimTrackPositionBezier>(in, keys);
      break;
    case 6:
      Exercise<CZK_AnimTrackRotationBezier>(in, keys);
      break;
    case 7:
      Exercise<CZK_AnimTrackScaleBezier>(in, keys);
      break;
    case 8:
      Exercise<CZK_AnimTrackFloatTCB>(in, keys);
      break;
    case 9:
      Exercise<CZK_AnimTrackPositionTCB>(in, keys);
      break;
    case 10:
      Exercise<CZK_AnimTrackRotationTCB>(in, keys);
      break;
    case 11:
      Exercise<CZK_AnimTrackScaleTCB>(in, keys);
      break;
    default:
      CheckSearch(in);
      break;
  }
  return 0;
}
