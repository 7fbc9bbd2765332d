// The glTF importer on a 1,000-joint file with 10,000 keys (1,000 nodes, 5 frames of translation
// and rotation), against tinygltf's own parse of the same file and the bare matrix product.
#include <benchmark/benchmark.h>

#ifdef ZELKAR_GLTF

#include <cmath>
#include <cstdio>
#include <string>

#include "GltfImport.h"
#include "GltfWriter.h"
#include "TinyGltf.h"
#include "foundation/Math.h"

namespace {

const std::string& BigFile() {
  static const std::string path = [] {
    const std::string p = "/tmp/zelkar_bench_1000_joints.glb";
    zk_gltf::SRecording rec;
    for (int i = 0; i < 1000; ++i)
      rec.nodes.push_back({"joint " + std::to_string(i), i ? (i - 1) / 3 : -1});
    for (int f = 0; f < 5; ++f) {
      rec.times.push_back(0.1f * f);
      std::vector<Matrix> world(1000);
      for (int i = 0; i < 1000; ++i) {
        Matrix r, t;
        D3DXMatrixRotationZ(&r, 0.01f * i + 0.2f * f);
        D3DXMatrixTranslation(&t, 0.1f, 0.02f * f, 0.05f);
        D3DXMatrixMultiply(&world[i], &r, &t);
        if (i > 0) D3DXMatrixMultiply(&world[i], &world[i], &world[(i - 1) / 3]);
        rec.worlds.push_back(world[i]);
      }
    }
    zk_gltf::WriteGlb(rec, p);
    return p;
  }();
  return path;
}

void BM_TinyGltfParse(benchmark::State& state) {
  for (auto _ : state) {
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string err, warn;
    benchmark::DoNotOptimize(loader.LoadBinaryFromFile(&model, &err, &warn, BigFile()));
  }
}
BENCHMARK(BM_TinyGltfParse)->Unit(benchmark::kMillisecond);

void BM_Import(benchmark::State& state) {
  for (auto _ : state) {
    tinygltf::Model model;
    zk_gltf::LoadGltf(BigFile(), &model);
    benchmark::DoNotOptimize(zk_gltf::ImportModel(model, {}, BigFile()));
  }
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond);

void BM_MatrixMultiply(benchmark::State& state) {
  Matrix a, b, out;
  D3DXMatrixRotationZ(&a, 0.3f);
  D3DXMatrixTranslation(&b, 1, 2, 3);
  for (auto _ : state) {
    D3DXMatrixMultiply(&out, &a, &b);
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_MatrixMultiply);

}  // namespace

#endif

BENCHMARK_MAIN();
