// A complete host: what a game does to animate its people with libzelkar.so.
//
//   zelkar-example-host [LIBRARY [SAMPLES]]
//
// LIBRARY is the shared library to load (default: the installed one), SAMPLES the folder with the
// sample car, skeleton and scenes (default: assets/samples). Prints a spectator's head and the
// driver's right hand over a few frames; exits 1 when the library refuses something. The
// library logs to standard error; ZELKAR_DEBUG_OUTPUT=none in the environment silences it.
#include <zelkar/Exceptions.h>
#include <zelkar/Signals.h>
#include <zelkar/ZelkarFacade.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hostkit/CarSignals.h"
#include "hostkit/Host.h"
#include "hostkit/LoadedLibrary.h"
#include "hostkit/NodeSpace.h"

#ifndef ZELKAR_LIBRARY
#define ZELKAR_LIBRARY "libzelkar.so.0"
#endif

namespace {

// The game's content, as tables: add a row to add a scene, a character or an animation.
struct SScene {
  const char* file;
  const char* name;  // what AddAnimation and the scene's own link targets call it
};
const SScene kScenes[] = {{"idle_loop.zka", "idle_loop"},
                          {"driver_steer.zka", "driver_steer"},
                          {"codriver_notes.zka", "codriver_notes"},
                          {"car_idle.zka", "car_idle"}};

struct SCharacter {
  const char* hierarchy;
  const char* name;  // unique; node keys are this name followed directly by the node name
  const char* kind;  // "Car" is made by CreateCharacter, the people by CreateHumanCharacter
};
const SCharacter kCharacters[] = {
    // The car comes first: the driver and co-driver sit in the most recent car, and are refused
    // when there is none.
    {"rally_car.zkh", "Car", "Car"},
    {"human_skeleton.zkh", "Driver", "Driver"},
    {"human_skeleton.zkh", "CoDriver", "CoDriver"},
    {"human_skeleton.zkh", "Spectator", "Spectator"},
};

struct SAnimation {
  const char* character;
  const char* scene;
  int category;  // 0 to 3; within a category, animations are numbered in the order added
};
const SAnimation kAnimations[] = {{"Car", "car_idle", 0},
                                  {"Driver", "driver_steer", 0},
                                  {"CoDriver", "codriver_notes", 0},
                                  {"Spectator", "idle_loop", 0},
                                  {"Spectator", "driver_steer", 0}};

// The library compares kinds ignoring case; a host need only tell the car from the people.
bool IsCar(const std::string& kind) { return kind == "Car"; }

// Everything the game does with the facade between loading and unloading the library.
void Play(CZelkarInterfaceExt& zk, zk_hostkit::CHostHub& hub, const std::string& samples) {
  // Scenes first: characters bind their nodes to a scene's objects when it is added to them.
  for (const SScene& scene : kScenes) {
    zk.LoadAnimationScene(samples + "/" + scene.file, scene.name);
    zk.ResolveSceneTargets(scene.name);  // look-at and link targets, once per scene
  }
  for (const SCharacter& c : kCharacters) {
    const std::string path = samples + "/" + c.hierarchy;
    if (IsCar(c.kind))
      zk.CreateCharacter(path, c.name, c.kind);
    else
      zk.CreateHumanCharacter(path, "", c.name, c.kind);
  }
  // A name AddAnimation does not know is ignored without a word: ask for the count to be sure.
  for (const SAnimation& a : kAnimations) zk.AddAnimation(a.character, a.scene, a.category);

  const int spectator = zk.GetCharacterIndex("Spectator");  // throws when there is none
  std::printf("Spectator: %d animations in category 0\n", zk.GetAnimationCount(spectator, 0));

  // Update takes the host's clock in seconds, not a step. An animation selected now starts at
  // the time of the last Update, so move the clock to "now" first.
  float now = 10.0f;
  zk.Update(now);
  zk.SetAnimation(spectator, 0, 1);  // driver_steer
  const Vector3 place{2000.0f, 0.0f, 500.0f};
  zk.SetPosition(spectator, &place);

  // FindNodeIndex answers -1 for a missing node; GetNodeIndex answers 0, a real node's index.
  const int head = zk.FindNodeIndex(spectator, "B_head");
  const int look = zk.FindNodeIndex(spectator, "D_look");
  if (head < 0 || look < 0) throw CZK_Exception("the spectator has no B_head or D_look");

  // The game tells the library about the world through signals. A solid object's state fixes an
  // animated object's matrix: its orientation, and its position in the host's axes (x, height,
  // forward), which the library turns into its own (x, forward, height). The matrix stands in for
  // the object's local matrix under its node's parent, not for a world matrix: (1, 2, 3) puts the
  // dummy the spectator looks at 1 along x, 3 forward and 2 up in the frame of its parent, the
  // spectator's head (in the spectator's own space, like every bone). Index 0 means "no object" and
  // is ignored.
  CSigSolidGeneralState solid{};
  solid.objectIndex = static_cast<uint32_t>(zk.GetNodeAnimObject(look));
  solid.position = {1.0f, 2.0f, 3.0f};
  solid.orientation = {0.0f, 0.0f, 0.0f, 1.0f};
  hub.Emit(zk_hostkit::hub::kSolidGeneralStateSignal, solid);

  // One frame: signals, then Update, then read matrices (valid until the next Update).
  for (int frame = 0; frame <= 10; frame += 5) {
    now = 10.0f + frame / 30.0f;
    zk.Update(now);
    // A bone's matrix is in the character's own space (millimetres here, since the spectator is
    // not scaled); the host kit carries it into the world by the character's placement.
    const Matrix m = zk_hostkit::NodeWorldMatrix(zk, spectator, head, zk_hostkit::kNodeBone,
                                                 zk_hostkit::ECharacterKind::kHuman);
    std::printf(
        "t=%.3f s  B_head in the world at (%8.1f %8.1f %8.1f), placed at (%.0f %.0f %.0f)"
        "  %.3f s left\n",
        now, m.m[12], m.m[13], m.m[14], place.x, place.y, place.z, zk.GetRemainingTime(spectator));
  }

  if (solid.objectIndex != 0) {  // evaluated by the Updates above
    const Matrix placed = zk.GetAnimObjectMatrix(static_cast<int>(solid.objectIndex));
    std::printf("look target (object %u) pinned, now at (%.1f %.1f %.1f)\n", solid.objectIndex,
                placed.m[12], placed.m[13], placed.m[14]);
  }

  // The car and its crew follow the game's car: each frame, the car's state (position and
  // orientation in the host's axes, four wheels) and the driver's controls, then Update. The
  // people are sampled by the steering and their arm trips, not by the clock.
  const zk_hostkit::CWheelState wheel{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}};
  const zk_hostkit::CWheelState wheels[4] = {wheel, wheel, wheel, wheel};
  const int driver = zk.GetCharacterIndex("Driver");
  const int hand = zk.FindNodeIndex(driver, "B_hand R");
  for (int frame = 0; frame < 90; ++frame) {
    now += 1.0f / 60.0f;
    const Vector3 carAt{0.0f, 0.0f, 0.2f * frame};  // host axes: x, height, forward
    zk_hostkit::EmitCarGeneralState(
        hub, zk_hostkit::MakeCarGeneralState(carAt, {0.0f, 0.0f, 0.0f, 1.0f}, wheels));
    // Steer half left; change gear (bit 0) on the first frame: the right hand goes to the lever.
    zk_hostkit::EmitCarControl(hub, 0.0f, -0.5f, frame == 0 ? 1u : 0u);
    zk.Update(now);
    if (frame % 30 == 0 && hand >= 0) {
      // The driver sits in the car, scaled from millimetres to metres: in the world, in metres.
      const Matrix m = zk_hostkit::NodeWorldMatrix(zk, driver, hand, zk_hostkit::kNodeBone,
                                                   zk_hostkit::ECharacterKind::kDriver);
      std::printf("t=%.3f s  driver's right hand in the world at (%6.3f %6.3f %6.3f)\n", now,
                  m.m[12], m.m[13], m.m[14]);
    }
  }

  // The end of a session: every character, scene and handle is gone.
  hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  try {
    zk.GetCharacterIndex("Spectator");
  } catch (const std::exception& e) {
    std::printf("after the session: %s\n", e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string library = argc > 1 ? argv[1] : ZELKAR_LIBRARY;
  const std::string samples = argc > 2 ? argv[2] : "assets/samples";

  // 1. The global object and the hub exist before the library is loaded: loading it runs its
  //    process attach, which reads word 0 (the hub) and subscribes to the hub's lists.
  auto host = std::make_unique<zk_hostkit::CHost>();
  int status = 0;
  try {
    // 2. Load the library and make a facade. The object is the extended facade (slots 28-36).
    zk_hostkit::CLoadedLibrary loaded(library);
    auto create = loaded.Function<ZK_CreateFunction>("ZK_Create");
    if (create == nullptr) throw std::runtime_error(library + " has no ZK_Create");
    std::unique_ptr<CZelkarInterfaceExt> zk(static_cast<CZelkarInterfaceExt*>(create()));
    if (zk == nullptr) throw std::runtime_error("ZK_Create returned no facade");
    zk->Initialize();

    // 3. Play. The library's own failures arrive as these types.
    try {
      Play(*zk, host->hub, samples);
    } catch (const NRQLib2::CRQ_DiskIOException& e) {  // a file that cannot be read
      std::fprintf(stderr, "file: %s\n", e.what());
      status = 1;
    } catch (const CZK_Exception& e) {  // a damaged file, a call before the library attached
      std::fprintf(stderr, "data: %s\n", e.what());
      status = 1;
    } catch (const std::exception& e) {  // e.g. GetCharacterIndex with an unknown name
      std::fprintf(stderr, "%s\n", e.what());
      status = 1;
    }

    // 4. Clean up in reverse: the facade (it leaves the hub's lists), then the library (its
    //    process detach unlinks the rest).
    zk->Shutdown();
    zk.reset();
    loaded.Close();
    // A loader may keep the library until exit; its detach then still reaches the hub, so the
    // hub must outlive it.
    if (zk_hostkit::CLoadedLibrary::IsLoaded(library)) static_cast<void>(host.release());
  } catch (const std::exception& e) {  // the library would not load
    std::fprintf(stderr, "%s\n", e.what());
    status = 1;
  }
  return status;
}
