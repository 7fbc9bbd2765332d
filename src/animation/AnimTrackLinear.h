// Linear tracks: straight-line interpolation of floats, positions and scale factors, and
// shorter-arc spherical interpolation of rotations and scale axes. Prepare only checks the key
// order (see AnimTrackKeys.h).
#pragma once

#include <vector>

#include "animation/AnimTrackKeys.h"
#include "animation/AnimTrackSlerp.h"
#include "animation/KeyFrame.h"

// An evaluation plan gathers the keys of linear tracks itself (FindPlacedSegment) and blends
// them four nodes at a time. The rotation track's EvaluatePlaced is that blend for one sample:
// the value at a time already placed against the key range, the key search starting from
// *cursor (one per track and character). It equals Evaluate at that time to within the
// polynomial sine's 2e-7 relative.

class CZK_AnimTrackFloatLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackFloat, CZK_KeyFrameLinearFloat> {
 public:
  void Prepare() override;
  float Evaluate(float time) const override;
  // As Evaluate at a time already placed against the key range (see AnimTrackKeys.h).
  float EvaluatePlaced(const NAnimTrackSearch::SPlacedTime& time, uint32_t* cursor) const;
};

class CZK_AnimTrackPositionLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackPosition, CZK_KeyFrameLinearPosition> {
 public:
  void Prepare() override;
  Vector3* Evaluate(Vector3* out, float time) const override;
};

// A linear rotation key as its track keeps it: with the slerp constants of the pair it starts
// folded into one float (see NAnimTrackSlerp::ShorterArcSignedAngle). On 64-bit builds that float
// sits in the room the key's layout leaves free at its end, so it costs no memory there.
struct SLinearRotationKey : CZK_KeyFrameLinearRotation {
  SLinearRotationKey() = default;
  explicit SLinearRotationKey(const CZK_KeyFrameLinearRotation& key)
      : CZK_KeyFrameLinearRotation(key) {}
  float pairAngle = 0.0f;
};
static_assert(sizeof(SLinearRotationKey) == (sizeof(void*) == 8 ? 32 : 28));

class CZK_AnimTrackRotationLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackRotation, CZK_KeyFrameLinearRotation,
                               SLinearRotationKey> {
 public:
  // Also works out the slerp constants of every pair of neighbouring keys.
  void Prepare() override;
  Quaternion* Evaluate(Quaternion* out, float time) const override;
  Quaternion* EvaluatePlaced(Quaternion* out, const NAnimTrackSearch::SPlacedTime& time,
                             uint32_t* cursor) const;
  // Whether keys pair and pair + 1 have their slerp constants (keys added since the last
  // Prepare have none), and those constants folded into one float.
  bool HasPair(size_t pair) const { return pair < m_preparedPairs; }
  // The pairs from key 0 on that have their constants: HasPair(k) for k below it.
  size_t GetPreparedPairCount() const { return m_preparedPairs; }
  float PairAngle(size_t pair) const { return m_keys[pair].pairAngle; }

 private:
  size_t m_preparedPairs = 0;
};

class CZK_AnimTrackScaleLinear
    : public CZK_AnimTrackKeys<CZK_AnimTrackScale, CZK_KeyFrameLinearScale> {
 public:
  void Prepare() override;
  ScaleValue* Evaluate(ScaleValue* out, float time) const override;
};
