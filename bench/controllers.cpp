// Per-object cost of the scene graph's evaluation: EvaluateTransform of an animated object bound
// to a PRS controller with a TCB position track, a TCB rotation track and a linear scale track,
// next to a bare 4×4 matrix product in the same run. The ratio of the two is what to report.
#include <benchmark/benchmark.h>
#include <zelkar/HubLayout.h>

#include <vector>

#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "animation/KeyFrame.h"
#include "controllers/AnimationController.h"
#include "controllers/ControllerManager.h"
#include "foundation/Math.h"
#include "signals/Hub.h"

namespace {

constexpr int kKeys = 12;
constexpr float kKeySpacing = 0.5f;
constexpr int kObjects = 32;

CZK_AnimTrackPositionTCB* MakePositionTrack(int seed) {
  auto* track = new CZK_AnimTrackPositionTCB();
  for (int i = 0; i < kKeys; ++i) {
    CZK_KeyFrameTCBPosition key;
    key.time = static_cast<float>(i) * kKeySpacing;
    key.value = {static_cast<float>(i + seed), static_cast<float>((i * 7 + seed) % 5),
                 static_cast<float>(i % 3)};
    track->AddKey(key);
  }
  track->outOfRangeAfter = Cycle;
  track->Prepare();
  return track;
}

CZK_AnimTrackRotationTCB* MakeRotationTrack(int seed) {
  auto* track = new CZK_AnimTrackRotationTCB();
  const Vector3 axis = {0.48f, 0.6f, 0.64f};
  Quaternion running = {0, 0, 0, 1};
  float angleSum = 0.0f;
  for (int i = 0; i < kKeys; ++i) {
    const float angle = 0.2f + 0.05f * static_cast<float>((i + seed) % 4);
    angleSum += angle;
    const Quaternion step = QuaternionFromAxisAngle(axis, angle);
    D3DXQuaternionMultiply(&running, &running, &step);
    CZK_KeyFrameTCBRotation key;
    key.time = static_cast<float>(i) * kKeySpacing;
    key.keyAxisAngle = QuaternionFromAxisAngle(axis, angleSum);
    key.rotation = running;
    track->AddKey(key);
  }
  track->outOfRangeAfter = Cycle;
  track->Prepare();
  return track;
}

CZK_AnimTrackScaleLinear* MakeScaleTrack() {
  auto* track = new CZK_AnimTrackScaleLinear();
  for (int i = 0; i < kKeys; ++i) {
    CZK_KeyFrameLinearScale key;
    key.time = static_cast<float>(i) * kKeySpacing;
    const float s = 1.0f + 0.1f * static_cast<float>(i % 3);
    key.scale = {s, s, s};
    track->AddKey(key);
  }
  track->outOfRangeAfter = Cycle;
  track->Prepare();
  return track;
}

// A hub, a manager and kObjects transform objects, each bound to its own PRS controller.
struct Scene {
  std::vector<uint64_t> hub = std::vector<uint64_t>(zk_hub::kHubSize / sizeof(uint64_t) + 1, 0);
  CZK_ControllerManager* manager = nullptr;
  std::vector<int> objects;

  Scene() {
    SetSignalHub(hub.data());
    manager = new CZK_ControllerManager();
    for (int k = 0; k < kObjects; ++k) {
      const std::string name = "Bench::Node" + std::to_string(k);
      auto* position = new CZK_AnimationControllerPositionVector(name + "::pos");
      position->SetTrack(MakePositionTrack(k));
      auto* rotation = new CZK_AnimationControllerRotationQuaternion(name + "::rot");
      rotation->SetTrack(MakeRotationTrack(k));
      auto* scale = new CZK_AnimationControllerScale(name + "::scale");
      scale->SetTrack(MakeScaleTrack());
      auto* prs = new CZK_AnimationControllerPRS(name);
      prs->SetPosition(position);
      prs->SetRotation(rotation);
      prs->SetScale(scale);
      manager->AddController(position);
      manager->AddController(rotation);
      manager->AddController(scale);
      manager->AddController(prs);
      objects.push_back(manager->CreateTransformObject(name.c_str()));
    }
  }
  ~Scene() {
    delete manager;
    SetSignalHub(nullptr);
  }
};

void BM_EvaluateTransform(benchmark::State& state) {
  Scene scene;
  Matrix parent;
  D3DXMatrixTranslation(&parent, 1, 2, 3);
  float time = 0.0f;
  for (auto _ : state) {
    for (int object : scene.objects) {
      Matrix world = scene.manager->EvaluateTransform(object, time, &parent);
      benchmark::DoNotOptimize(world);
    }
    time += 0.013f;
    if (time > kKeySpacing * kKeys) time = 0.0f;
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_EvaluateTransform);

void BM_MatrixMultiply(benchmark::State& state) {
  std::vector<Matrix> locals(kObjects);
  for (int k = 0; k < kObjects; ++k) D3DXMatrixRotationZ(&locals[k], 0.1f * static_cast<float>(k));
  Matrix parent;
  D3DXMatrixTranslation(&parent, 1, 2, 3);
  for (auto _ : state) {
    for (const Matrix& local : locals) {
      Matrix world;
      D3DXMatrixMultiply(&world, &local, &parent);
      benchmark::DoNotOptimize(world);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
}
BENCHMARK(BM_MatrixMultiply);

}  // namespace

BENCHMARK_MAIN();
