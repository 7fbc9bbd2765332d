// Base line for the math routines on the per-frame path. Inputs rotate through a table of
// random values so nothing is folded into a constant; results go through DoNotOptimize.
#include "foundation/Math.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr size_t kTable = 256;  // a power of two: the index wraps with a mask

struct Inputs {
  std::vector<Matrix> matrices;
  std::vector<Quaternion> quaternions;
  std::vector<float> times;

  Inputs() {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (size_t i = 0; i < kTable; ++i) {
      // Rotation, scale and translation: invertible, like a node's matrix.
      Quaternion q{u(rng), u(rng), u(rng), u(rng)};
      D3DXQuaternionNormalize(&q, &q);
      quaternions.push_back(q);
      Matrix r, s;
      D3DXMatrixRotationQuaternion(&r, &q);
      D3DXMatrixScaling(&s, 1.5f + u(rng), 1.5f + u(rng), 1.5f + u(rng));
      D3DXMatrixMultiply(&r, &s, &r);
      r.m[12] = u(rng) * 10;
      r.m[13] = u(rng) * 10;
      r.m[14] = u(rng) * 10;
      matrices.push_back(r);
      times.push_back(0.5f + 0.5f * u(rng));
    }
  }
};

const Inputs& GetInputs() {
  static const Inputs inputs;
  return inputs;
}

void BM_MatrixMultiply(benchmark::State& state) {
  const Inputs& in = GetInputs();
  size_t i = 0;
  Matrix out;
  for (auto _ : state) {
    D3DXMatrixMultiply(&out, &in.matrices[i & (kTable - 1)], &in.matrices[(i + 1) & (kTable - 1)]);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixInverse(benchmark::State& state) {
  const Inputs& in = GetInputs();
  size_t i = 0;
  Matrix out;
  float det;
  for (auto _ : state) {
    benchmark::DoNotOptimize(D3DXMatrixInverse(&out, &det, &in.matrices[i & (kTable - 1)]));
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixInverse);

void BM_MatrixRotationQuaternion(benchmark::State& state) {
  const Inputs& in = GetInputs();
  size_t i = 0;
  Matrix out;
  for (auto _ : state) {
    D3DXMatrixRotationQuaternion(&out, &in.quaternions[i & (kTable - 1)]);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixRotationQuaternion);

void BM_QuaternionSlerp(benchmark::State& state) {
  const Inputs& in = GetInputs();
  size_t i = 0;
  Quaternion out;
  for (auto _ : state) {
    D3DXQuaternionSlerp(&out, &in.quaternions[i & (kTable - 1)],
                        &in.quaternions[(i + 7) & (kTable - 1)], in.times[i & (kTable - 1)]);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuaternionSlerp);

void BM_QuaternionSlerpSpin(benchmark::State& state) {
  const Inputs& in = GetInputs();
  size_t i = 0;
  for (auto _ : state) {
    const Quaternion out = QuaternionSlerpSpin(
        in.quaternions[i & (kTable - 1)], in.quaternions[(i + 7) & (kTable - 1)],
        static_cast<float>(i & 1), in.times[i & (kTable - 1)]);
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuaternionSlerpSpin);

// A reference point for the ratios: copying one matrix through the same table walk.
void BM_MatrixCopy(benchmark::State& state) {
  const Inputs& in = GetInputs();
  size_t i = 0;
  Matrix out;
  for (auto _ : state) {
    out = in.matrices[i & (kTable - 1)];
    benchmark::DoNotOptimize(out);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MatrixCopy);

}  // namespace

BENCHMARK_MAIN();
