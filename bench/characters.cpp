// Per-node cost of a frame: UpdateAll over 1, 10 and 100 characters of 60 animated nodes (a
// spine-like chain with branches, PRS controllers with linear position and rotation tracks, or
// with Bezier position and TCB rotation tracks), and
// over one car of 47 nodes (four wheels with sixteen suspension links and their aim points,
// wipers, steering wheel) after a car-state signal, reported per node next to a bare 4×4 matrix
// product in the same run.
#include <benchmark/benchmark.h>
#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>

#include <cmath>
#include <memory>
#include <string>

#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "characters/Character.h"
#include "characters/CharacterCar.h"
#include "characters/CharacterDriver.h"
#include "characters/CharacterManager.h"
#include "controllers/AnimationController.h"
#include "controllers/ControllerManager.h"
#include "interface/LibraryGlobal.h"
#include "interface/Zelkar.h"
#include "scenegraph/Node.h"
#include "signals/Hub.h"

namespace {

constexpr int kNodes = 60;
constexpr int kKeys = 30;

std::string Numbered(const char* prefix, int n, const char* suffix = "") {
  std::string s(prefix);
  s.append(std::to_string(n)).append(suffix);
  return s;
}

struct Library {
  std::unique_ptr<unsigned char[]> hub{new unsigned char[zk_hub::kHubSize]()};
  CZK_LibraryGlobal global{};

  // curves: Bezier position and TCB rotation tracks instead of linear ones.
  explicit Library(int characters, bool curves = false) {
    SetSignalHub(hub.get());
    global.characterManager = new CZK_CharacterManager();
    global.controllerManager = new CZK_ControllerManager();
    SetLibraryGlobal(&global);
    for (int n = 0; n < kNodes; ++n) AddController(n, curves);
    global.controllerManager->AddSceneRecord({"Walk", 0.0f, 1.0f});
    for (int c = 0; c < characters; ++c) {
      auto* character = new CZK_Character(Numbered("C", c), GetRuntimeContext());
      for (int n = 0; n < kNodes; ++n) {
        // Every fourth node starts a branch from the node four up the chain.
        const int parent = n == 0 ? -1 : (n % 4 == 0 ? n - 3 : n);
        auto* node = new CZK_NodePRS(Numbered("n", n), n + 1, parent);
        node->kind = kNodeBone;
        character->AttachNode(node);
        node->registryIndex = global.characterManager->AddNode(node);
      }
      global.characterManager->AddCharacter(character);
      global.characterManager->AddAnimation(Numbered("C", c), "Walk", 0);
      global.characterManager->SetAnimation(c, 0, 0);
    }
  }

  ~Library() {
    delete global.characterManager;
    delete global.controllerManager;
    SetLibraryGlobal(nullptr);
    SetSignalHub(nullptr);
  }

  template <class Track>
  static Track* MakeTrack(auto fill) {
    auto* track = new Track();
    for (int k = 0; k < kKeys; ++k) {
      typename Track::KeyType key;
      key.time = static_cast<float>(k) / (kKeys - 1);
      fill(key, k);
      track->AddKey(key);
    }
    track->outOfRangeAfter = Loop;
    track->Prepare();
    return track;
  }

  void AddController(int n, bool curves) {
    const auto value = [n](int k) {
      return Vector3{0.01f * static_cast<float>(k % 5), 0.1f, 0.002f * static_cast<float>(n)};
    };
    const auto turn = [](int k) {
      return QuaternionFromAxisAngle({0.0f, 0.6f, 0.8f}, 0.05f * static_cast<float>(k));
    };
    CZK_AnimTrackPosition* positionTrack;
    CZK_AnimTrackRotation* rotationTrack;
    if (curves) {
      positionTrack = MakeTrack<CZK_AnimTrackPositionBezier>([&](auto& key, int k) {
        key.value = value(k);
        for (int a = 0; a < 3; ++a) {
          key.inTangent[a] = {-0.3f, 0.01f};
          key.outTangent[a] = {0.3f, -0.01f};
        }
      });
      rotationTrack = MakeTrack<CZK_AnimTrackRotationTCB>([&](auto& key, int k) {
        key.rotation = turn(k);
        key.tension = 0.2f;
      });
    } else {
      positionTrack =
          MakeTrack<CZK_AnimTrackPositionLinear>([&](auto& key, int k) { key.value = value(k); });
      rotationTrack =
          MakeTrack<CZK_AnimTrackRotationLinear>([&](auto& key, int k) { key.rotation = turn(k); });
    }
    const std::string name = Numbered("Walk::n", n, "::PRS");
    auto* position = new CZK_AnimationControllerPositionVector(name + "::pos");
    position->SetTrack(positionTrack);
    auto* rotation = new CZK_AnimationControllerRotationQuaternion(name + "::rot");
    rotation->SetTrack(rotationTrack);
    global.controllerManager->AddController(position);
    global.controllerManager->AddController(rotation);
    auto* prs = new CZK_AnimationControllerPRS(name);
    prs->SetPosition(position);
    prs->SetRotation(rotation);
    global.controllerManager->AddController(prs);
  }
};

// Items are nodes, so the reported time per item is the time per node.
void CountNodes(benchmark::State& state, int characters) {
  state.SetItemsProcessed(state.iterations() * characters * kNodes);
  state.counters["ns_per_node"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * characters * kNodes,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Arguments: the number of characters, then 1 for Bezier position and TCB rotation tracks.
void BM_UpdateAllPerNode(benchmark::State& state) {
  const int characters = static_cast<int>(state.range(0));
  Library library(characters, state.range(1) != 0);
  float time = 0.0f;
  for (auto _ : state) {
    library.global.characterManager->UpdateAll(time);
    time += 0.016f;
    benchmark::ClobberMemory();
  }
  CountNodes(state, characters);
}
BENCHMARK(BM_UpdateAllPerNode)->ArgsProduct({{1, 10, 100}, {0, 1}})->Unit(benchmark::kMicrosecond);

// The same frame of linear characters while one of them switches between two animations every
// frame: only that character's plan is rebuilt, so the frame costs about what a steady one does
// (compare with BM_UpdateAllPerNode at the same count).
void BM_UpdateAllWithOneSwitchPerNode(benchmark::State& state) {
  const int characters = static_cast<int>(state.range(0));
  Library library(characters);
  CZK_CharacterManager& manager = *library.global.characterManager;
  manager.AddAnimation("C0", "Walk", 0);  // a second animation of the same scene
  float time = 0.0f;
  int index = 0;
  for (auto _ : state) {
    index ^= 1;
    manager.SetAnimation(0, 0, index);
    manager.UpdateAll(time);
    time += 0.016f;
    benchmark::ClobberMemory();
  }
  CountNodes(state, characters);
}
BENCHMARK(BM_UpdateAllWithOneSwitchPerNode)->Arg(100)->Unit(benchmark::kMicrosecond);

// A car as the sample cars are built: every node but the wheel hubs has a static controller
// in the scene "Idle" (one position key, no rotation), the hubs are placed from the car state.
struct CarLibrary : Library {
  CZK_CharacterCar* car = new CZK_CharacterCar("Car", GetRuntimeContext());
  int nodes = 0;

  CarLibrary() : Library(0) {
    const int parent = Add("parent", -1, {0, 0, 0}, true);
    const int body = Add("body", parent, {0, 0, 0}, true);
    Add("zDi_steeringwheel", body, {0.37f, -0.28f, 0.81f}, true);
    for (const char* wiper : {"i_wiper_r", "i_wiper_l", "e_wiper_r", "e_wiper_l"})
      Add(wiper, body, {0.2f, -0.8f, 0.93f}, true);
    for (const char* wheel : {"lf", "rf", "lb", "rb"}) {
      const int hub =
          Add(std::string("e_wheelgrunk_") + wheel, parent, {0.78f, -1.26f, 0.31f}, false);
      Add(std::string("e_wheel_") + wheel, hub, {0, 0, 0}, true);
      for (const char* part : {"hang", "prop", "stag", "susp"}) {
        Add(std::string("e_wheel") + part + "_" + wheel, body, {0.35f, -1.26f, 0.22f}, true);
        Add(std::string("Point_e_wheel") + part + "_" + wheel, hub, {-0.08f, 0, -0.13f}, true);
      }
    }
    global.controllerManager->AddSceneRecord({"Idle", 0.0f, 1.0f});
    car->OnHierarchyLoaded();
    global.characterManager->AddCharacter(car);
    global.characterManager->AddAnimation("Car", "Idle", 0);
    global.characterManager->SetAnimation(0, 0, 0);
  }

  // A node under parent id `parent` (-1: the root) at `local` from it; returns its id.
  int Add(const std::string& name, int parent, Vector3 local, bool animated) {
    const int id = ++nodes;
    auto* node = new CZK_NodePRS(name, id, parent);
    car->AttachNode(node);
    node->registryIndex = global.characterManager->AddNode(node);
    if (!animated) return id;
    auto* track = new CZK_AnimTrackPositionLinear();
    CZK_KeyFrameLinearPosition key;
    key.time = 0.0f;
    key.value = local;
    track->AddKey(key);
    track->Prepare();
    const std::string controller = "Idle::" + name + "::PRS";
    auto* position = new CZK_AnimationControllerPositionVector(controller + "::pos");
    position->SetTrack(track);
    global.controllerManager->AddController(position);
    auto* prs = new CZK_AnimationControllerPRS(controller);
    prs->SetPosition(position);
    global.controllerManager->AddController(prs);
    return id;
  }
};

void BM_UpdateAllCarPerNode(benchmark::State& state) {
  CarLibrary library;
  CSigCarGeneralState record{};
  float time = 0.0f;
  for (auto _ : state) {
    // The wheels roll and the front ones steer a little each frame.
    for (int i = 0; i < 4; ++i) {
      const float spin = time * 20.0f + static_cast<float>(i);
      record.wheelOrientations[i] = {std::sin(spin * 0.5f), 0.0f, 0.0f, std::cos(spin * 0.5f)};
      record.wheelPositions[i].value = {i % 2 ? -0.78f : 0.78f, 0.31f + 0.01f * std::sin(spin),
                                        i < 2 ? -1.26f : 1.26f};
    }
    library.car->OnCarGeneralState(record);
    library.global.characterManager->UpdateAll(time);
    time += 0.016f;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * library.nodes);
  state.counters["ns_per_node"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * library.nodes,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UpdateAllCarPerNode)->Unit(benchmark::kMicrosecond);

// The people in the car on the sample assets (the 60-node seated skeleton and the sample rally
// car), each updated on its own per frame next to a plain human playing the same scene on the
// same skeleton: the co-driver (loop, shake, both arm solves, placement) and the driver
// (steering sample of the whole skeleton, queue step, blended hand poses, two arm solves,
// fingers re-sampled), both fed their signals each frame as a host would.
struct SampleLibrary : Library {
  CZK_Zelkar facade;
  CZK_Character* person = nullptr;
  int nodes = 0;

  SampleLibrary(const char* kind, const char* scene) : Library(0) {
    const std::string samples = ZELKAR_ASSET_DIR "/samples/";
    facade.CreateCharacter(samples + "rally_car.zkh", "Car", "Car");
    facade.CreateHumanCharacter(samples + "human_skeleton.zkh", "", "Person", kind);
    facade.LoadAnimationScene(samples + scene + ".zka", scene);
    facade.ResolveSceneTargets(scene);
    facade.AddAnimation("Person", scene, 0);
    const int index = facade.GetCharacterIndex("Person");
    facade.SetAnimation(index, 0, 0);
    person = global.characterManager->GetCharacter(index);
    nodes = static_cast<int>(global.characterManager->GetNodeCount()) -
            person->GetRoot()->registryIndex;
  }
};

void ReportPerNode(benchmark::State& state, int nodes) {
  state.SetItemsProcessed(state.iterations() * nodes);
  state.counters["ns_per_node"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * nodes,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A plain human playing the co-driver's scene (argument 0) or the driver's (argument 1): the
// same skeleton and tracks without the in-car work on top.
void BM_InCarPlainHumanPerNode(benchmark::State& state) {
  SampleLibrary library("Spectator", state.range(0) == 0 ? "codriver_notes" : "driver_steer");
  float time = 0.0f;
  for (auto _ : state) {
    library.person->Update(time);
    time += 0.016f;
    benchmark::ClobberMemory();
  }
  ReportPerNode(state, library.nodes);
}
BENCHMARK(BM_InCarPlainHumanPerNode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_InCarCoDriverPerNode(benchmark::State& state) {
  SampleLibrary library("CoDriver", "codriver_notes");
  auto* reader = static_cast<CZK_CharacterIncarPeople*>(library.person);
  CSigIncarShake shake{};
  shake.person = 1;
  CSigCarGeneralState car{};
  float time = 0.0f;
  for (auto _ : state) {
    for (int k = 0; k < 5; ++k)
      shake.shakeVectors[k].value = {0.05f * std::sin(time * 7 + k), 0, 0.03f};
    car.position = {time, 0.0f, 2.0f * time};
    car.orientation = {0.0f, 0.0f, std::sin(time * 0.1f), std::cos(time * 0.1f)};
    reader->OnIncarShake(shake);
    reader->OnCarGeneralState(car);
    reader->Update(time);
    time += 0.016f;
    benchmark::ClobberMemory();
  }
  ReportPerNode(state, library.nodes);
}
BENCHMARK(BM_InCarCoDriverPerNode)->Unit(benchmark::kMicrosecond);

void BM_InCarDriverPerNode(benchmark::State& state) {
  SampleLibrary library("Driver", "driver_steer");
  auto* driver = static_cast<CZK_CharacterDriver*>(library.person);
  CSigCarControl control{};
  int frame = 0;
  float time = 0.0f;
  for (auto _ : state) {
    // Steering swings lock to lock; every two seconds a gear change, then a handbrake pull held
    // for half a second: the hand is on a trip most of the time.
    control.steering = std::sin(time);
    control.buttons = frame % 125 == 0 ? 1u : 0u;
    control.handbrake = frame % 125 >= 70 && frame % 125 < 100 ? 1.0f : 0.0f;
    driver->OnCarControl(control);
    driver->Update(time);
    time += 0.016f;
    ++frame;
    benchmark::ClobberMemory();
  }
  ReportPerNode(state, library.nodes);
}
BENCHMARK(BM_InCarDriverPerNode)->Unit(benchmark::kMicrosecond);

void BM_MatrixMultiply(benchmark::State& state) {
  Matrix a, b, out;
  const Quaternion q = {0.1f, 0.2f, 0.3f, 0.927f};
  D3DXMatrixRotationQuaternion(&a, &q);
  D3DXMatrixTranslation(&b, 1, 2, 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(&a);
    D3DXMatrixMultiply(&out, &a, &b);
    benchmark::DoNotOptimize(&out);
  }
  state.counters["ns_per_node"] =
      benchmark::Counter(static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MatrixMultiply);

}  // namespace

BENCHMARK_MAIN();
