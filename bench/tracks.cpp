// Cost of sampling each of the twelve track kinds at 4, 32, 256 and 2048 irregularly spaced
// keys, at times that sweep the key range, against a bare 4x4 matrix multiply. The segment
// search starts from a guess that assumes evenly spaced keys and widens it by doubling steps,
// so the cost grows with how far irregular keys stray from even spacing, not with their count.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <type_traits>
#include <vector>

#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "platform/DebugOutput.h"

namespace {

constexpr float kKeySpacing = 0.1f;
constexpr size_t kSampleTimes = 4096;  // a power of two

struct CKeySource {
  std::mt19937 rng{1234u};
  std::uniform_real_distribution<float> value{-10.0f, 10.0f};
  std::uniform_real_distribution<float> unit{0.0f, 1.0f};
  Quaternion rotation = {0.0f, 0.0f, 0.0f, 1.0f};

  Vector3 Vec() { return {value(rng), value(rng), value(rng)}; }
  // A random walk, as consecutive keys of an animation are.
  Quaternion Rot() {
    const Vector3 axis = {unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f + 1e-3f};
    Vector3 n;
    D3DXVec3Normalize(&n, &axis);
    const Quaternion step = QuaternionFromAxisAngle(n, 0.6f * unit(rng));
    D3DXQuaternionMultiply(&rotation, &rotation, &step);
    return rotation;
  }
  BezierTangent In() { return {-0.1f - 0.3f * unit(rng), value(rng) * 0.2f}; }
  BezierTangent Out() { return {0.1f + 0.3f * unit(rng), value(rng) * 0.2f}; }
  void TCB(CZK_KeyFrameTCBBase& k) {
    k.tension = unit(rng) - 0.5f;
    k.continuity = unit(rng) - 0.5f;
    k.bias = unit(rng) - 0.5f;
    k.easeIn = 0.3f * unit(rng);
    k.easeOut = 0.3f * unit(rng);
  }

  void Fill(CZK_KeyFrameLinearFloat& k) { k.value = value(rng); }
  void Fill(CZK_KeyFrameLinearPosition& k) { k.value = Vec(); }
  void Fill(CZK_KeyFrameLinearRotation& k) { k.rotation = Rot(); }
  void Fill(CZK_KeyFrameLinearScale& k) {
    k.scale = Vec();
    k.axis = Rot();
  }
  void Fill(CZK_KeyFrameBezierFloat& k) {
    k.value = value(rng);
    k.inTangent = In();
    k.outTangent = Out();
  }
  void Fill(CZK_KeyFrameBezierPosition& k) {
    k.value = Vec();
    for (int c = 0; c < 3; ++c) {
      k.inTangent[c] = In();
      k.outTangent[c] = Out();
    }
  }
  void Fill(CZK_KeyFrameBezierRotation& k) { k.rotation = Rot(); }
  void Fill(CZK_KeyFrameBezierScale& k) {
    k.scale = Vec();
    k.axis = Rot();
  }
  void Fill(CZK_KeyFrameTCBFloat& k) {
    TCB(k);
    k.value = value(rng);
  }
  void Fill(CZK_KeyFrameTCBPosition& k) {
    TCB(k);
    k.value = Vec();
  }
  void Fill(CZK_KeyFrameTCBRotation& k) {
    TCB(k);
    k.rotation = Rot();
  }
  void Fill(CZK_KeyFrameTCBScale& k) {
    TCB(k);
    k.scale = Vec();
    k.axis = Rot();
  }
};

template <class Track>
std::unique_ptr<Track> BuildTrack(size_t keyCount) {
  auto track = std::make_unique<Track>();
  CKeySource source;
  float time = 0.0f;
  for (size_t i = 0; i < keyCount; ++i) {
    typename Track::KeyType key;
    key.time = time;
    // Irregular spacing, as keys set by hand are: gaps from 0.5 to 1.5 times the mean.
    time += kKeySpacing * (0.5f + source.unit(source.rng));
    source.Fill(key);
    track->AddKey(key);
  }
  track->outOfRangeBefore = Loop;
  track->outOfRangeAfter = Loop;
  track->Prepare();
  return track;
}

template <class Value, class Track>
void SampleInto(const Track& t, float time) {
  Value v;
  benchmark::DoNotOptimize(t.Evaluate(&v, time));
  benchmark::DoNotOptimize(v);
}

template <class Track, class Value>
void BM_Track(benchmark::State& state) {
  const size_t keyCount = static_cast<size_t>(state.range(0));
  const std::unique_ptr<Track> track = BuildTrack<Track>(keyCount);
  // Times sweep the whole key range in order, as playback does.
  const float range = track->GetKey(keyCount - 1).time;
  std::vector<float> times(kSampleTimes);
  for (size_t i = 0; i < kSampleTimes; ++i) {
    times[i] = range * static_cast<float>(i) / static_cast<float>(kSampleTimes);
  }
  size_t i = 0;
  for (auto _ : state) {
    if constexpr (std::is_same_v<Value, float>) {
      benchmark::DoNotOptimize(track->Evaluate(times[i]));
    } else {
      SampleInto<Value>(*track, times[i]);
    }
    i = (i + 1) & (kSampleTimes - 1);
  }
}

void BM_MatrixMultiply(benchmark::State& state) {
  Matrix a, b, out;
  D3DXMatrixRotationQuaternion(&a, &kIdentityQuaternion);
  D3DXMatrixTranslation(&b, 1.0f, 2.0f, 3.0f);
  for (auto _ : state) {
    benchmark::DoNotOptimize(&a);
    benchmark::DoNotOptimize(&b);
    D3DXMatrixMultiply(&out, &a, &b);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_MatrixMultiply);

// The Bezier scale track logs on every evaluation; the benchmark discards the output.
void Discard(const char*) {}
const bool g_silenced = (zk_platform::SetDebugSink(&Discard), true);

#define ZK_TRACK_BENCHMARK(Track, Value) \
  BENCHMARK_TEMPLATE(BM_Track, Track, Value)->Arg(4)->Arg(32)->Arg(256)->Arg(2048)

ZK_TRACK_BENCHMARK(CZK_AnimTrackFloatLinear, float);
ZK_TRACK_BENCHMARK(CZK_AnimTrackPositionLinear, Vector3);
ZK_TRACK_BENCHMARK(CZK_AnimTrackRotationLinear, Quaternion);
ZK_TRACK_BENCHMARK(CZK_AnimTrackScaleLinear, ScaleValue);
ZK_TRACK_BENCHMARK(CZK_AnimTrackFloatBezier, float);
ZK_TRACK_BENCHMARK(CZK_AnimTrackPositionBezier, Vector3);
ZK_TRACK_BENCHMARK(CZK_AnimTrackRotationBezier, Quaternion);
ZK_TRACK_BENCHMARK(CZK_AnimTrackScaleBezier, ScaleValue);
ZK_TRACK_BENCHMARK(CZK_AnimTrackFloatTCB, float);
ZK_TRACK_BENCHMARK(CZK_AnimTrackPositionTCB, Vector3);
ZK_TRACK_BENCHMARK(CZK_AnimTrackRotationTCB, Quaternion);
ZK_TRACK_BENCHMARK(CZK_AnimTrackScaleTCB, ScaleValue);

}  // namespace

BENCHMARK_MAIN();
