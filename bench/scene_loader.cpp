// Scene loading throughput next to a plain memory copy of the same bytes, and the heap bytes a
// loaded key costs. Two scenes of many objects (about 20 and 10 MB), each object a PRS
// controller with 30-key tracks: the mix holds a Bezier position, a TCB rotation and a linear
// scale track per object, the linear scene linear tracks of all three kinds. Each is written
// once with the disk writer into a temporary file. The timed loads are the steady state (a load
// after a load and a Clear); the first load of each scene in the process is reported apart as
// first_load_ms, next to allocs_per_object and bytes_per_object (heap requests and live heap
// bytes per loaded object).
#include <benchmark/benchmark.h>
#include <zelkar/HubLayout.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "files/DiskReader.h"
#include "foundation/DiskWriter.h"
#include "foundation/ObjectPool.h"
#include "interface/LibraryGlobal.h"
#include "loading/SceneLoader.h"
#include "signals/Hub.h"

// Live heap bytes, as requested (each block carries its size in front of it), and the number of
// requests.
namespace {
long long g_liveBytes = 0;
long long g_allocations = 0;
constexpr size_t kBlockHeader = 16;  // keeps the block aligned as malloc's is
}  // namespace

void* operator new(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kBlockHeader));
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, &size, sizeof(size));
  g_liveBytes += static_cast<long long>(size);
  ++g_allocations;
  return block + kBlockHeader;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  auto* block = static_cast<unsigned char*>(p) - kBlockHeader;
  std::size_t size;
  std::memcpy(&size, block, sizeof(size));
  g_liveBytes -= static_cast<long long>(size);
  std::free(block);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

constexpr int kObjects = 5000;
constexpr uint32_t kKeysPerTrack = 30;

enum class EScene { Mix, Linear, LinearPositions, LinearRotations };

void Chunk(CDiskWriter& w, uint32_t cls, uint32_t subclass) {
  const uint32_t id[2] = {cls, subclass};
  w.BeginChunk(id, sizeof(id));
}

void TrackHeader(CDiskWriter& w, uint32_t keyType, uint32_t keys) {
  Chunk(w, 13, keyType);
  w.WriteDword(0);
  w.WriteDword(2);
  w.WriteDword(keys);
}

void WritePositionTrack(CDiskWriter& w, bool bezier, uint32_t keys) {
  Chunk(w, 8, 26);
  TrackHeader(w, bezier ? 35 : 43, keys);
  for (uint32_t k = 0; k < keys; ++k) {
    const float f = static_cast<float>(k);
    w.WriteFloat(f);
    w.WriteVector3({f, 0.5f * f, -0.25f * f});
    for (int pair = 0; bezier && pair < 6; ++pair) {
      w.WriteFloat(pair < 3 ? -0.3f : 0.3f);
      w.WriteFloat(0.1f * static_cast<float>(pair));
    }
  }
  w.EndChunk();
  w.EndChunk();
}

void WriteRotationTrack(CDiskWriter& w, bool tcb, uint32_t keys) {
  Chunk(w, 9, 27);
  TrackHeader(w, tcb ? 40 : 44, keys);
  for (uint32_t k = 0; k < keys; ++k) {
    w.WriteFloat(static_cast<float>(k));
    w.WriteFloat(tcb ? 0.05f : 0.05f * static_cast<float>(k));
    w.WriteVector3({0.0f, 0.6f, 0.8f});
    for (int p = 0; tcb && p < 5; ++p) w.WriteFloat(p < 3 ? 0.0f : 0.25f);
  }
  w.EndChunk();
  w.EndChunk();
}

void WriteScaleTrack(CDiskWriter& w, uint32_t keys) {
  Chunk(w, 10, 0);
  TrackHeader(w, 45, keys);
  for (uint32_t k = 0; k < keys; ++k) {
    w.WriteFloat(static_cast<float>(k));
    w.WriteVector3({1.0f, 1.0f + 0.01f * static_cast<float>(k), 1.0f});
    w.WriteFloat(0.0f);
    w.WriteVector3({1.0f, 0.0f, 0.0f});
  }
  w.EndChunk();
  w.EndChunk();
}

void WriteScene(const std::string& path, EScene scene, int objects, uint32_t keys) {
  CDiskWriter w;
  w.Create(path);
  const char header[] = "[[ZELKAR:SCENE:HDR]]!!";
  w.WriteBytes(header, sizeof(header));
  for (int object = 0; object < objects; ++object) {
    Chunk(w, 6, 21);
    w.WriteString("Object" + std::to_string(object));
    if (scene == EScene::LinearPositions) {
      WritePositionTrack(w, false, keys);
    } else if (scene == EScene::LinearRotations) {
      WriteRotationTrack(w, false, keys);
    } else {
      Chunk(w, 7, 28);
      WritePositionTrack(w, scene == EScene::Mix, keys);
      WriteRotationTrack(w, scene == EScene::Mix, keys);
      WriteScaleTrack(w, keys);
      w.EndChunk();  // PRS
    }
    w.EndChunk();  // object
  }
  Chunk(w, 20, 0);
  w.WriteFloat(0.0f);
  w.WriteFloat(static_cast<float>(keys - 1));
  w.EndChunk();
  w.Close();
}

// The library state, made once for all benchmarks.
struct SLibrary {
  SLibrary() : hub(std::make_unique<unsigned char[]>(zk_hub::kHubSize)) {
    SetSignalHub(hub.get());
    global.characterManager = new CZK_CharacterManager();
    global.controllerManager = new CZK_ControllerManager();
    SetLibraryGlobal(&global);
  }
  std::unique_ptr<unsigned char[]> hub;
  CZK_LibraryGlobal global{};
};

CZK_ControllerManager& Manager() {
  static SLibrary* library = new SLibrary();
  return *library->global.controllerManager;
}

// A scene file and its bytes in memory.
struct SSceneFile {
  SSceneFile(EScene scene, int objects, uint32_t keys)
      : path((std::filesystem::temp_directory_path() /
              ("zelkar_bench_scene_" + std::to_string(std::random_device{}()) + ".zks"))
                 .string()) {
    Manager();
    WriteScene(path, scene, objects, keys);
    reader.Load(path);
    std::filesystem::remove(path);
    bytes.resize(reader.GetSize());
    reader.ReadBytes(bytes.data(), reader.GetSize());
  }
  std::string path;
  CDiskReader reader;
  std::vector<uint8_t> bytes;
};

SSceneFile& Scene(EScene scene) {
  static SSceneFile* mix = new SSceneFile(EScene::Mix, kObjects, kKeysPerTrack);
  static SSceneFile* linear = new SSceneFile(EScene::Linear, kObjects, kKeysPerTrack);
  return scene == EScene::Mix ? *mix : *linear;
}

// The first load of a scene in the process, in milliseconds: it also pays the kernel for every
// page of heap touched for the first time, which on a virtual machine can cost many times the
// load itself. It runs once, before any timing, so that the timed loads below are the steady
// state, as the copy they are compared with is (its target buffer is warm as well).
double FirstLoadMilliseconds(EScene scene) {
  static double first[2] = {-1.0, -1.0};
  double& ms = first[scene == EScene::Mix ? 0 : 1];
  if (ms < 0.0) {
    SSceneFile& f = Scene(scene);
    const auto start = std::chrono::steady_clock::now();
    CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
    loader.LoadScene(f.path, "Bench", &f.reader);
    ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    Manager().Clear();
  }
  return ms;
}

// The heap bytes loaded objects hold: the live heap bytes, with the object pool's blocks counted
// while objects are drawn from them (the pool keeps emptied blocks for the next load).
long long HeldBytes() {
  return g_liveBytes - static_cast<long long>(NObjectPool::BlockBytesHeld()) +
         static_cast<long long>(NObjectPool::BlockBytesInUse());
}

// Parsing the buffer into controllers and tracks (the reader holds the whole file already). Also
// reports the heap requests and the live heap bytes a loaded object costs, and the first load.
void BM_LoadScene(benchmark::State& state, EScene scene) {
  SSceneFile& f = Scene(scene);
  CZK_ControllerManager& manager = Manager();
  state.counters["first_load_ms"] = FirstLoadMilliseconds(scene);
  long long allocations = 0;
  long long liveBytes = 0;
  for (auto _ : state) {
    const long long allocationsBefore = g_allocations;
    const long long bytesBefore = HeldBytes();
    CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
    loader.LoadScene(f.path, "Bench", &f.reader);
    state.PauseTiming();
    allocations += g_allocations - allocationsBefore;
    liveBytes += HeldBytes() - bytesBefore;
    if (manager.GetControllerCount() != 4 * kObjects) state.SkipWithError("scene not loaded");
    manager.Clear();
    state.ResumeTiming();
  }
  const double loads = static_cast<double>(state.iterations()) * kObjects;
  state.counters["allocs_per_object"] = static_cast<double>(allocations) / loads;
  state.counters["bytes_per_object"] = static_cast<double>(liveBytes) / loads;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.bytes.size()));
}
BENCHMARK_CAPTURE(BM_LoadScene, Mix, EScene::Mix)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadScene, Linear, EScene::Linear)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor: copying the same bytes once.
void BM_CopySceneBytes(benchmark::State& state, EScene scene) {
  SSceneFile& f = Scene(scene);
  std::vector<uint8_t> target(f.bytes.size());
  for (auto _ : state) {
    std::memcpy(target.data(), f.bytes.data(), f.bytes.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.bytes.size()));
}
BENCHMARK_CAPTURE(BM_CopySceneBytes, Mix, EScene::Mix)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_CopySceneBytes, Linear, EScene::Linear)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Heap bytes one more key costs a linear track once loaded: the live bytes of a scene of
// one-track objects with many keys less those of the same scene with few, per extra key. What
// does not grow with the keys (controllers, names, the track objects) cancels out.
long long LiveBytesAfterLoading(EScene scene, uint32_t keys) {
  constexpr int kTracks = 200;
  SSceneFile file(scene, kTracks, keys);
  CZK_ControllerManager& manager = Manager();
  manager.Clear();
  const long long before = HeldBytes();
  CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
  loader.LoadScene(file.path, "Bytes", &file.reader);
  const long long live = HeldBytes() - before;
  manager.Clear();
  return live / kTracks;
}

void BM_HeapBytesPerKey(benchmark::State& state, EScene scene) {
  // Both counts give key arrays larger than the object pool's largest size (4 KB), so each array
  // is one heap request of its exact size; smaller arrays would be counted by the pool's whole
  // 64 KB blocks.
  constexpr uint32_t kFew = 200, kMany = 1700;
  // A first load grows the manager's lists for this many tracks, so that the two loads measured
  // both find them grown.
  LiveBytesAfterLoading(scene, kFew);
  double perKey = 0.0;
  for (auto _ : state) {
    perKey = static_cast<double>(LiveBytesAfterLoading(scene, kMany) -
                                 LiveBytesAfterLoading(scene, kFew)) /
             (kMany - kFew);
  }
  state.counters["bytes_per_key"] = perKey;
}
BENCHMARK_CAPTURE(BM_HeapBytesPerKey, LinearPosition, EScene::LinearPositions)->Iterations(1);
BENCHMARK_CAPTURE(BM_HeapBytesPerKey, LinearRotation, EScene::LinearRotations)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
