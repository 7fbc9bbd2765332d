// Scene loading throughput next to a plain memory copy of the same bytes. The scene (about 20 MB)
// holds many objects, each a PRS controller with a Bezier position track, a TCB rotation track and
// a linear scale track; it is written once with the disk writer into a temporary file.
#include <benchmark/benchmark.h>
#include <zelkar/HubLayout.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "animation/SceneLoader.h"
#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "files/DiskReader.h"
#include "foundation/DiskWriter.h"
#include "interface/LibraryGlobal.h"
#include "signals/Hub.h"

namespace {

constexpr int kObjects = 5000;
constexpr int kKeysPerTrack = 30;

void Chunk(CDiskWriter& w, uint32_t cls, uint32_t subclass) {
  const uint32_t id[2] = {cls, subclass};
  w.BeginChunk(id, sizeof(id));
}

void TrackHeader(CDiskWriter& w, uint32_t keyType) {
  Chunk(w, 13, keyType);
  w.WriteDword(0);
  w.WriteDword(2);
  w.WriteDword(kKeysPerTrack);
}

void WriteScene(const std::string& path) {
  CDiskWriter w;
  w.Create(path);
  const char header[] = "[[ZELKAR:SCENE:HDR]]!!";
  w.WriteBytes(header, sizeof(header));
  for (int object = 0; object < kObjects; ++object) {
    Chunk(w, 6, 21);
    w.WriteString("Object" + std::to_string(object));
    Chunk(w, 7, 28);

    Chunk(w, 8, 26);
    TrackHeader(w, 35);  // Bezier position
    for (int k = 0; k < kKeysPerTrack; ++k) {
      w.WriteFloat(static_cast<float>(k));
      w.WriteVector3({static_cast<float>(k), 0.5f * k, -0.25f * k});
      for (int pair = 0; pair < 6; ++pair) {
        w.WriteFloat(pair < 3 ? -0.3f : 0.3f);
        w.WriteFloat(0.1f * pair);
      }
    }
    w.EndChunk();
    w.EndChunk();

    Chunk(w, 9, 27);
    TrackHeader(w, 40);  // TCB rotation
    for (int k = 0; k < kKeysPerTrack; ++k) {
      w.WriteFloat(static_cast<float>(k));
      w.WriteFloat(0.05f);
      w.WriteVector3({0.0f, 0.6f, 0.8f});
      for (int p = 0; p < 5; ++p) w.WriteFloat(p < 3 ? 0.0f : 0.25f);
    }
    w.EndChunk();
    w.EndChunk();

    Chunk(w, 10, 0);
    TrackHeader(w, 45);  // linear scale
    for (int k = 0; k < kKeysPerTrack; ++k) {
      w.WriteFloat(static_cast<float>(k));
      w.WriteVector3({1.0f, 1.0f + 0.01f * k, 1.0f});
      w.WriteFloat(0.0f);
      w.WriteVector3({1.0f, 0.0f, 0.0f});
    }
    w.EndChunk();
    w.EndChunk();

    w.EndChunk();  // PRS
    w.EndChunk();  // object
  }
  Chunk(w, 20, 0);
  w.WriteFloat(0.0f);
  w.WriteFloat(static_cast<float>(kKeysPerTrack - 1));
  w.EndChunk();
  w.Close();
}

// The library state, the scene file and its bytes in memory, made once for all benchmarks.
struct SFixture {
  SFixture()
      : hub(std::make_unique<unsigned char[]>(zk_hub::kHubSize)),
        path((std::filesystem::temp_directory_path() /
              ("zelkar_bench_scene_" + std::to_string(std::rand()) + ".zks"))
                 .string()) {
    SetSignalHub(hub.get());
    global.characterManager = new CZK_CharacterManager();
    global.controllerManager = new CZK_ControllerManager();
    SetLibraryGlobal(&global);
    WriteScene(path);
    reader.Load(path);
    std::filesystem::remove(path);
    bytes.resize(reader.GetSize());
    reader.ReadBytes(bytes.data(), reader.GetSize());
  }
  std::unique_ptr<unsigned char[]> hub;
  CZK_LibraryGlobal global{};
  std::string path;
  CDiskReader reader;
  std::vector<uint8_t> bytes;
};

SFixture& Fixture() {
  static SFixture* fixture = new SFixture();
  return *fixture;
}

// Parsing the buffer into controllers and tracks (the reader holds the whole file already).
void BM_LoadScene(benchmark::State& state) {
  SFixture& f = Fixture();
  CZK_ControllerManager& manager = *f.global.controllerManager;
  for (auto _ : state) {
    CZK_3DSMAXAnimationLoader loader;
    loader.LoadScene(f.path, "Bench", &f.reader);
    state.PauseTiming();
    if (manager.GetControllerCount() != 4 * kObjects) state.SkipWithError("scene not loaded");
    manager.Clear();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.bytes.size()));
}
BENCHMARK(BM_LoadScene)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: copying the same bytes once.
void BM_CopySceneBytes(benchmark::State& state) {
  SFixture& f = Fixture();
  std::vector<uint8_t> target(f.bytes.size());
  for (auto _ : state) {
    std::memcpy(target.data(), f.bytes.data(), f.bytes.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.bytes.size()));
}
BENCHMARK(BM_CopySceneBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
