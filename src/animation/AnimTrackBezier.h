// Bezier tracks. Float and position segments are 2D cubic curves in (normalised time, value),
// sampled once by Prepare into a 32-entry table per key and channel and looked up when
// evaluated. Rotations are joined by an interpolation without shorter-arc correction; scale is
// not supported and evaluates to the identity scale value.
#pragma once

#include <memory>
#include <vector>

#include "animation/AnimTrackKeys.h"
#include "animation/AnimTrackSlerp.h"
#include "animation/KeyFrame.h"

// Samples per curve table.
constexpr size_t kBezierCurveSamples = 32;

// Appends kBezierCurveSamples samples of the curve from (0, v0) to (1, v1) whose inner control
// points are (out0.dt, v0 + out0.dv) and (1 + in1.dt, v1 + in1.dv).
void AppendBezierCurve(BezierCurveTable& table, float v0, const BezierTangent& out0, float v1,
                       const BezierTangent& in1);

// Value of the curve at normalised time u, interpolated between the table's first
// kBezierCurveSamples entries. A shorter table is read only as far as it goes; an empty table
// yields fallback.
float BezierCurveLookup(const BezierCurveTable& table, float u, float fallback);

class CZK_AnimTrackFloatBezier
    : public CZK_AnimTrackKeys<CZK_AnimTrackFloat, CZK_KeyFrameBezierFloat> {
 public:
  // Appends to every key's table the curve to the next key (the last key's table describes a
  // curve back to key 0 and is never read). A second call appends again; lookups read only the
  // first samples, so results do not change.
  void Prepare() override;
  float Evaluate(float time) const override;

 private:
  std::unique_ptr<BezierCurvePoint[]> m_curveStorage;  // the keys' tables, one after another
};

// What sampling one segment of a Bezier position track reads: the control points of the three
// axes' curves (the ones the first kBezierCurveSamples samples of the segment's tables were
// made from), axis a at index a of each array, and the times of the segment's two keys. The
// samples a lookup needs are worked out again from these 80 bytes, to the bit the table's,
// instead of being read from three tables that lie far apart.
struct SBezierPositionSegment {
  float v0[3], p1x[3], p1y[3], p2x[3], p2y[3], v1[3];
  float t0;
  // -infinity when the tables hold other samples or are not sorted, or when the keys are no
  // more than kMinSegmentLength apart (the fraction is then 0 throughout).
  float t1;
};
static_assert(sizeof(SBezierPositionSegment) == 80);

class CZK_AnimTrackPositionBezier
    : public CZK_AnimTrackKeys<CZK_AnimTrackPosition, CZK_KeyFrameBezierPosition> {
 public:
  // As for floats, one table per axis.
  void Prepare() override;
  Vector3* Evaluate(Vector3* out, float time) const override;
  // As Evaluate at a time already placed against the key range (see AnimTrackLinear.h).
  Vector3* EvaluatePlaced(Vector3* out, const NAnimTrackSearch::SPlacedTime& time,
                          uint32_t* cursor) const;

 private:
  // EvaluatePlaced where the segment records do not answer: kept out of line, so that the
  // common path stays small.
  [[gnu::noinline]] Vector3* EvaluateSearched(Vector3* out,
                                              const NAnimTrackSearch::SPlacedTime& time,
                                              uint32_t* cursor) const;
  std::unique_ptr<BezierCurvePoint[]> m_curveStorage;  // the keys' tables, one after another
  // Segment k joins keys k and k + 1; written by Prepare.
  // Both arrays drawn from the object pool, as the keys are: two heap requests fewer per track.
  std::vector<SBezierPositionSegment, NObjectPool::Allocator<SBezierPositionSegment>> m_segments;
  size_t m_segmentCount = 0;  // m_segments.size(), without a division by the record's size
  // Per key, bit a set when the x of the key's axis-a table never decrease: EvaluatePlaced
  // then finds its sample by halving.
  std::vector<uint8_t, NObjectPool::Allocator<uint8_t>> m_sortedCurves;
};

class CZK_AnimTrackRotationBezier
    : public CZK_AnimTrackKeys<CZK_AnimTrackRotation, CZK_KeyFrameBezierRotation> {
 public:
  // Works out the slerp constants of every pair of neighbouring keys.
  void Prepare() override;
  // QuaternionSlerpSpin with no spins: keys whose quaternions have a negative dot product are
  // joined along the longer arc.
  Quaternion* Evaluate(Quaternion* out, float time) const override;
  // As Evaluate at a time already placed against the key range (see AnimTrackLinear.h).
  Quaternion* EvaluatePlaced(Quaternion* out, const NAnimTrackSearch::SPlacedTime& time,
                             uint32_t* cursor) const;

 private:
  std::vector<NAnimTrackSlerp::SSlerpPair> m_pairs;  // pair k joins keys k and k + 1
};

class CZK_AnimTrackScaleBezier
    : public CZK_AnimTrackKeys<CZK_AnimTrackScale, CZK_KeyFrameBezierScale> {
 public:
  void Prepare() override;
  // Logs "AnimTrackScaleBezier not supported!" at level 4 on every call and returns the
  // identity scale value, whatever the keys and the time.
  ScaleValue* Evaluate(ScaleValue* out, float time) const override;
};
