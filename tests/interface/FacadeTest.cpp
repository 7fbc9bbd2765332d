// The facade under a careless host: calls before anything is loaded or after the library was
// detached, indices that were never handed out, names nobody registered, values and signals full
// of NaN, infinities and huge numbers, a session clean-up in the middle of a drive, Shutdown
// twice. Each row is one call and the answer Zelkar.h and ZelkarFacade.h give for it; an
// exception becomes its type and message, so a row that throws where it should answer (or the
// reverse) fails on the text. The sanitizer tree runs the same rows: none may read or write
// outside the library's lists.
#include <gtest/gtest.h>
#include <zelkar/Exceptions.h>
#include <zelkar/ZelkarFacade.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "characters/CharacterManager.h"
#include "controllers/ControllerManager.h"
#include "hostkit/CarSignals.h"
#include "hostkit/Host.h"
#include "interface/LibraryGlobal.h"
#include "interface/ProcessEntry.h"
#include "interface/Zelkar.h"

namespace {

// Without attach there is no hub and no manager: the facade still constructs and destroys
// cleanly, and forwarding operations report the missing manager.
TEST(FacadeWithoutAttachTest, ConstructsUnlinkedAndReportsTheMissingManager) {
  CZK_Zelkar facade;
  EXPECT_EQ(facade.GetCleanupConnection()->list, nullptr);
  EXPECT_TRUE(facade.Initialize());
  EXPECT_THROW(facade.FindController("x"), std::exception);
  facade.OnSessionCleanup(CSigPC_SessionCleanup{});  // nothing to clean, nothing breaks
}

using Facade = CZelkarInterfaceExt;
using Call = std::function<std::string(Facade&)>;

// One call and the answer expected from it; an expected text ending in '*' is a prefix.
struct SRow {
  std::string what;
  Call call;
  std::string expected;
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kHuge = 1e30f;
const std::string kSamples = ZELKAR_SAMPLES_DIR "/";

std::string Outcome(const Call& call, Facade& zk) {
  try {
    return call(zk);
  } catch (const CZK_Exception& e) {
    return std::string("CZK_Exception: ") + e.what();
  } catch (const NRQLib2::CRQ_DiskIOException&) {
    return "CRQ_DiskIOException";
  } catch (const std::exception& e) {
    return std::string("std::exception: ") + e.what();
  }
}

void RunRows(const std::vector<SRow>& rows, Facade& zk) {
  for (const SRow& row : rows) {
    const std::string got = Outcome(row.call, zk);
    const bool prefix = !row.expected.empty() && row.expected.back() == '*';
    const std::string want =
        prefix ? row.expected.substr(0, row.expected.size() - 1) : row.expected;
    EXPECT_EQ(prefix ? got.substr(0, want.size()) : got, want) << row.what;
  }
}

std::string Text(int value) { return std::to_string(value); }
std::string Text(float value) { return value == 0.0f ? "0" : std::to_string(value); }
std::string Text(bool value) { return value ? "true" : "false"; }
std::string Text(const void* pointer) { return pointer != nullptr ? "a pointer" : "null"; }
std::string Text(const Vector3& v) {
  return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f ? "(0, 0, 0)" : "another vector";
}
std::string Text(const Quaternion& q) {
  return q.x == 0.0f && q.y == 0.0f && q.z == 0.0f && q.w == 1.0f ? "identity" : "a rotation";
}
std::string Text(const Matrix& m) {
  for (int k = 0; k < 16; ++k)
    if (m.m[k] != (k % 5 == 0 ? 1.0f : 0.0f)) return "another matrix";
  return "identity";
}

const CZK_CharacterManager& Characters() { return *GetLibraryGlobal()->characterManager; }
int CharacterCount() { return static_cast<int>(Characters().GetCharacterCount()); }
int NodeCount() { return static_cast<int>(Characters().GetNodeCount()); }
int ObjectCount() { return GetLibraryGlobal()->controllerManager->GetAnimObjectCount(); }

// Everything a host can read of the session, byte for byte.
std::string Snapshot(Facade& zk) {
  std::string bytes;
  // A removed character's or node's place (null) adds nothing.
  const auto add = [&](const void* p, size_t n) {
    if (p != nullptr) bytes.append(static_cast<const char*>(p), n);
  };
  for (int c = 0; c < CharacterCount(); ++c) {
    add(zk.GetMatrix(c), sizeof(Matrix));
    for (int k = 0; k < 4; ++k) bytes += Text(zk.GetAnimationCount(c, k));
    const float remaining = zk.GetRemainingTime(c);
    add(&remaining, sizeof remaining);
  }
  for (int n = 0; n < NodeCount(); ++n) add(zk.GetNodeMatrix(n), sizeof(Matrix));
  return bytes;
}

// "finite" when every character's and every node's matrix is, else the first one that is not.
std::string Finite(Facade& zk) {
  const auto finite = [](const Matrix* m) {
    if (m == nullptr) return true;  // a removed character's or node's place
    for (float e : m->m)
      if (!std::isfinite(e)) return false;
    return true;
  };
  for (int c = 0; c < CharacterCount(); ++c)
    if (!finite(zk.GetMatrix(c))) return "character " + Text(c) + " not finite";
  for (int n = 0; n < NodeCount(); ++n)
    if (!finite(zk.GetNodeMatrix(n))) return "node " + Text(n) + " not finite";
  return "finite";
}

// The host's clock and its signals: sane ones every frame, or one bad record in their place.
struct SDrive {
  zk_hostkit::CHost& host;
  float clock = 0.0f;

  CSigCarGeneralState CarState(const Vector3& at) const {
    zk_hostkit::CWheelState wheels[4];
    for (int w = 0; w < 4; ++w)
      wheels[w] = {{w % 2 == 0 ? -0.8f : 0.8f, 0.3f, w < 2 ? 1.3f : -1.3f}, {0, 0, 0, 1}};
    return zk_hostkit::MakeCarGeneralState(at, {0, 0, 0, 1}, wheels);
  }
  void Car(const CSigCarGeneralState& state) { zk_hostkit::EmitCarGeneralState(host.hub, state); }
  void Windscreen(float spoil) {
    const Vector3 corners[4] = {
        {0.7f, 1.0f, 1.0f}, {-0.7f, 1.0f, spoil}, {0.7f, 1.5f, 1.3f}, {-0.7f, 1.5f, 1.3f}};
    zk_hostkit::EmitWindscreenData(host.hub, corners);
  }
  void Shake(uint32_t person, float value) {
    const Vector3 v = {value, value, value};
    const Vector3 shake[5] = {v, v, v, v, v};
    zk_hostkit::EmitIncarShake(host.hub, person, shake, v);
  }
  // A solid-object record, or a ghost-car one (each signal carries its own record type).
  template <class Rec = CSigSolidGeneralState>
  void Pin(uint32_t object, const Vector3& at, const Quaternion& q) {
    Rec state{};
    state.objectIndex = object;
    state.position = at;
    state.orientation = q;
    host.hub.Emit(std::is_same_v<Rec, CSigGhostCarState>
                      ? zk_hostkit::hub::kGhostCarStateSignal
                      : zk_hostkit::hub::kSolidGeneralStateSignal,
                  state);
  }
  // Sane signals and an Update every 1/60 s for `seconds`.
  void Sane(Facade& zk, float seconds) {
    for (float t = 0.0f; t < seconds; t += 1.0f / 60.0f) {
      zk_hostkit::EmitCarControl(host.hub, 0.0f, std::sin(clock), 0);
      Car(CarState({clock, 2.0f, 0.5f}));
      zk_hostkit::EmitWiperRotation(host.hub, 0.3f * std::sin(clock), -0.3f * std::sin(clock));
      Windscreen(1.0f);
      Shake(0, 0.01f);
      Shake(1, -0.01f);
      zk.Update(clock += 1.0f / 60.0f);
    }
  }
  // A row: the bad record, one Update, and whether the matrices stayed finite.
  SRow Bad(std::string what, std::function<void()> emit) {
    return {std::move(what),
            [this, emit](Facade& zk) {
              emit();
              zk.Update(clock += 1.0f / 60.0f);
              return Finite(zk);
            },
            "finite"};
  }
};

// A call that must change nothing the host can read, even after an Update at the same clock.
// The pose compared with is that of an Update at the same clock too: an Update with no new wiper
// angle since the last one leaves the wipers where the car's scene has them.
Call NoOp(std::function<void(Facade&)> call, const SDrive& drive) {
  return [call, &drive](Facade& zk) {
    zk.Update(drive.clock);
    const std::string before = Snapshot(zk);
    call(zk);
    zk.Update(drive.clock);
    return Snapshot(zk) == before ? std::string("no-op") : std::string("changed");
  };
}

Call Ok(std::function<void(Facade&)> call) {
  return [call](Facade& zk) {
    call(zk);
    return std::string("ok");
  };
}

void LoadTheCrew(Facade& zk) {
  const char* crew[3][4] = {{"Car", "rally_car.zkh", "Car", "car_idle"},
                            {"Driver", "human_skeleton.zkh", "Driver", "driver_steer"},
                            {"CoDriver", "human_skeleton.zkh", "CoDriver", "codriver_notes"}};
  for (const auto& [name, hierarchy, kind, scene] : crew) {
    zk.LoadAnimationScene(kSamples + scene + ".zka", scene);
    zk.ResolveSceneTargets(scene);
    if (std::string(kind) == "Car")
      zk.CreateCharacter(kSamples + hierarchy, name, kind);
    else
      zk.CreateHumanCharacter(kSamples + hierarchy, "", name, kind);
    zk.AddAnimation(name, scene, 0);
    zk.SetAnimation(zk.GetCharacterIndex(name), 0, 0);
  }
}

TEST(FacadeCarelessHostTest, EveryWrongCallGetsItsDocumentedAnswer) {
  zk_hostkit::CHost host;
  // Detaches if the test leaves early, before the host goes; a second detach does nothing.
  struct SDetachOnExit {
    ~SDetachOnExit() { ZelkarProcessDetach(); }
  } detachOnExit;
  ZelkarProcessAttach();
  std::unique_ptr<Facade> owner(static_cast<Facade*>(ZK_Create()));
  ASSERT_NE(owner, nullptr);
  Facade& zk = *owner;
  SDrive drive{host};
  const std::string notFound = "std::exception: Character not found";

  // Before anything is loaded: nothing to update, no character, only the dummy object 0.
  RunRows(
      {{"Update with nothing loaded", Ok([](Facade& f) { f.Update(1.0f); }), "ok"},
       {"GetCharacterIndex of a character not made yet",
        [](Facade& f) { return Text(f.GetCharacterIndex("Car")); }, notFound},
       {"GetMatrix(0) with no character", [](Facade& f) { return Text(f.GetMatrix(0)); }, "null"},
       {"GetNodeMatrix(0) with no node", [](Facade& f) { return Text(f.GetNodeMatrix(0)); },
        "null"},
       {"GetNodeIndex with no node",
        [](Facade& f) { return Text(f.GetNodeIndex("Car", "zDi_steeringwheel")); }, "0"},
       {"GetNodeAnimObject(0) with no node", [](Facade& f) { return Text(f.GetNodeAnimObject(0)); },
        "0"},
       {"SetAnimation(0, 0, 0) with no character", Ok([](Facade& f) { f.SetAnimation(0, 0, 0); }),
        "ok"},
       {"GetRemainingTime(0) with no character",
        [](Facade& f) { return Text(f.GetRemainingTime(0)); }, "0"},
       {"the dummy object 0 exists", [](Facade& f) { return Text(f.IsAnimObjectStatic(0)); },
        "true"},
       {"AddAnimation to a character not made yet",
        Ok([](Facade& f) { f.AddAnimation("Car", "car_idle", 0); }), "ok"},
       {"ResolveSceneTargets of a scene not loaded yet",
        Ok([](Facade& f) { f.ResolveSceneTargets("car_idle"); }), "ok"},
       {"the driver before the car", Ok([](Facade& f) {
          f.CreateHumanCharacter(kSamples + "human_skeleton.zkh", "", "Driver", "Driver");
        }),
        "CZK_Exception: [CZK_CharacterDriver] character \"Driver\": a car is needed first*"},
       {"nothing was registered for the refused driver",
        [](Facade& f) { return Text(f.GetCharacterIndex("Driver")); }, notFound}},
      zk);

  ASSERT_NO_THROW(LoadTheCrew(zk));
  drive.Sane(zk, 0.5f);
  ASSERT_EQ(Finite(zk), "finite");
  const int driver = zk.GetCharacterIndex("Driver");
  const int head = zk.FindNodeIndex(driver, "B_head");
  const int coDriverHead = zk.FindNodeIndex(zk.GetCharacterIndex("CoDriver"), "B_head");
  const int headObject = zk.GetNodeAnimObject(coDriverHead);
  ASSERT_GT(headObject, 0);
  ASSERT_FALSE(zk.IsAnimObjectStatic(headObject));

  // Indices out of range, negative, past the end and huge, for every call that takes one: setters
  // do nothing, queries give their neutral answer.
  std::vector<SRow> rows;
  const Vector3 place = {1, 2, 3};
  const Matrix twice = {{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1}};
  for (const int bad : {-1, INT_MIN, CharacterCount(), INT_MAX}) {
    const std::string at = "(" + Text(bad) + ")";
    const struct {
      const char* what;
      std::function<void(Facade&)> call;
    } setters[] = {
        {"SetFrozen", [=](Facade& f) { f.SetFrozen(bad, 1); }},
        {"SetTimeOffset", [=](Facade& f) { f.SetTimeOffset(bad, 5.0f); }},
        {"SetSpeed", [=](Facade& f) { f.SetSpeed(bad, 2.0f); }},
        {"SetAnimation", [=](Facade& f) { f.SetAnimation(bad, 0, 0); }},
        {"SetPosition", [=, &place](Facade& f) { f.SetPosition(bad, &place); }},
        {"SetRotation", [=](Facade& f) { f.SetRotation(bad, 1, 2, 3); }},
        {"SetScale", [=](Facade& f) { f.SetScale(bad, 2, 2, 2); }},
        {"SetMatrix", [=, &twice](Facade& f) { f.SetMatrix(bad, &twice); }},
    };
    for (const auto& s : setters) rows.push_back({s.what + at, NoOp(s.call, drive), "no-op"});
    rows.push_back({"GetAnimationCount" + at,
                    [=](Facade& f) { return Text(f.GetAnimationCount(bad, 0)); }, "0"});
    rows.push_back(
        {"GetRemainingTime" + at, [=](Facade& f) { return Text(f.GetRemainingTime(bad)); }, "0"});
    rows.push_back({"GetMatrix" + at, [=](Facade& f) { return Text(f.GetMatrix(bad)); }, "null"});
    rows.push_back({"FindNodeIndex" + at,
                    [=](Facade& f) { return Text(f.FindNodeIndex(bad, "B_head")); }, "-1"});
  }
  for (const int bad : {-1, INT_MIN, NodeCount(), INT_MAX}) {
    const std::string at = "(node " + Text(bad) + ")";
    rows.push_back(
        {"GetNodeAnimObject" + at, [=](Facade& f) { return Text(f.GetNodeAnimObject(bad)); }, "0"});
    rows.push_back(
        {"GetNodeMatrix" + at, [=](Facade& f) { return Text(f.GetNodeMatrix(bad)); }, "null"});
  }
  for (const int bad : {-1, INT_MIN, ObjectCount(), INT_MAX}) {
    const std::string at = "(object " + Text(bad) + ")";
    rows.push_back({"GetAnimObjectFloat" + at,
                    [=](Facade& f) { return Text(f.GetAnimObjectFloat(bad)); }, "0"});
    rows.push_back({"GetAnimObjectPosition" + at,
                    [=](Facade& f) { return Text(f.GetAnimObjectPosition(bad)); }, "(0, 0, 0)"});
    rows.push_back({"GetAnimObjectRotation" + at,
                    [=](Facade& f) { return Text(f.GetAnimObjectRotation(bad, nullptr)); },
                    "identity"});
    rows.push_back({"GetAnimObjectScale" + at,
                    [=](Facade& f) { return Text(f.GetAnimObjectScale(bad)); }, "identity"});
    rows.push_back({"GetAnimObjectMatrix" + at,
                    [=](Facade& f) { return Text(f.GetAnimObjectMatrix(bad)); }, "identity"});
    rows.push_back({"IsAnimObjectStatic" + at,
                    [=](Facade& f) { return Text(f.IsAnimObjectStatic(bad)); }, "false"});
  }
  // Categories and animation numbers out of range on a real character.
  for (const int bad : {-1, INT_MIN, 4, INT_MAX}) {
    const std::string at = "(" + Text(bad) + ")";
    rows.push_back({"SetAnimation category" + at,
                    NoOp([=](Facade& f) { f.SetAnimation(driver, bad, 0); }, drive), "no-op"});
    rows.push_back({"SetAnimation number" + at,
                    NoOp([=](Facade& f) { f.SetAnimation(driver, 0, bad); }, drive), "no-op"});
    rows.push_back({"GetAnimationCount category" + at,
                    [=](Facade& f) { return Text(f.GetAnimationCount(driver, bad)); }, "0"});
    rows.push_back({"AddAnimation category" + at,
                    Ok([=](Facade& f) { f.AddAnimation("Driver", "driver_steer", bad); }),
                    "CZK_Exception: [CZK_Character::AddAnimation] category " + Text(bad) +
                        " is outside 0 to 3"});
  }
  RunRows(rows, zk);

  // Unknown names and wrong arguments.
  const float nan = kNaN;
  const Matrix spoilt = {{1, 0, 0, 0, 0, nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  RunRows(
      {{"GetCharacterIndex of nobody",
        [](Facade& f) { return Text(f.GetCharacterIndex("Nobody")); }, notFound},
       {"GetNodeIndex of nobody's head",
        [](Facade& f) { return Text(f.GetNodeIndex("Nobody", "B_head")); }, "0"},
       {"GetNodeIndex of a bone the driver lacks",
        [](Facade& f) { return Text(f.GetNodeIndex("Driver", "B_tail")); }, "0"},
       {"FindNodeIndex of a bone the driver lacks",
        [=](Facade& f) { return Text(f.FindNodeIndex(driver, "B_tail")); }, "-1"},
       {"AddAnimation to nobody",
        NoOp([](Facade& f) { f.AddAnimation("Nobody", "driver_steer", 0); }, drive), "no-op"},
       {"AddAnimation of a scene never loaded counts and binds nothing",
        [=](Facade& f) {
          f.AddAnimation("Driver", "never_loaded", 1);
          return Text(f.GetAnimationCount(driver, 1));
        },
        "1"},
       {"ResolveSceneTargets of a scene never loaded",
        NoOp([](Facade& f) { f.ResolveSceneTargets("never_loaded"); }, drive), "no-op"},
       {"FindController of nothing", [](Facade& f) { return Text(f.FindController("none::PRS")); },
        "-1"},
       {"FindController of the dummy object",
        [](Facade& f) { return Text(f.FindController("dummy controller")); }, "-1"},
       {"FindController(null)", [](Facade& f) { return Text(f.FindController(nullptr)); }, "-1"},
       {"AddController(null)", [](Facade& f) { return Text(f.AddController(nullptr)); }, "-1"},
       {"LoadAnimationScene of a missing file",
        Ok([](Facade& f) { f.LoadAnimationScene(kSamples + "missing.zka", "missing"); }),
        "CRQ_DiskIOException"},
       {"CreateCharacter from a missing file",
        Ok([](Facade& f) { f.CreateCharacter(kSamples + "missing.zkh", "Ghost", "Car"); }),
        "CRQ_DiskIOException"},
       {"CreateHumanCharacter from a scene file", Ok([](Facade& f) {
          f.CreateHumanCharacter(kSamples + "idle_loop.zka", "", "Odd", "Spectator");
        }),
        "CZK_Exception: [CZK_3DSMAXAnimationLoader::LoadHierarchyFromBuf] " + kSamples +
            "idle_loop.zka has no hierarchy chunk: it is not a hierarchy file"},
       {"the refused character was not registered",
        [](Facade& f) { return Text(f.GetCharacterIndex("Odd")); }, notFound},
       {"SetPosition(NaN)",
        NoOp(
            [=](Facade& f) {
              const Vector3 p = {nan, 0, 0};
              f.SetPosition(driver, &p);
            },
            drive),
        "no-op"},
       {"SetPosition(null)", NoOp([=](Facade& f) { f.SetPosition(driver, nullptr); }, drive),
        "no-op"},
       {"SetRotation(inf)", NoOp([=](Facade& f) { f.SetRotation(driver, 0, kInf, 0); }, drive),
        "no-op"},
       {"SetScale(NaN)", NoOp([=](Facade& f) { f.SetScale(driver, 1, nan, 1); }, drive), "no-op"},
       {"SetMatrix(NaN)", NoOp([=, &spoilt](Facade& f) { f.SetMatrix(driver, &spoilt); }, drive),
        "no-op"},
       {"SetMatrix(null)", NoOp([=](Facade& f) { f.SetMatrix(driver, nullptr); }, drive), "no-op"},
       {"SetTimeOffset(NaN)", NoOp([=](Facade& f) { f.SetTimeOffset(driver, nan); }, drive),
        "no-op"},
       {"SetSpeed(-inf)", NoOp([=](Facade& f) { f.SetSpeed(driver, -kInf); }, drive), "no-op"},
       {"Update(NaN)", NoOp([=](Facade& f) { f.Update(nan); }, drive), "no-op"},
       {"Update(inf)", NoOp([=](Facade& f) { f.Update(kInf); }, drive), "no-op"},
       {"Shutdown twice, and the facade carries on",
        [&](Facade& f) {
          f.Shutdown();
          f.Shutdown();
          drive.Sane(f, 0.1f);
          return Text(f.Initialize()) + " " + Finite(f);
        },
        "true finite"}},
      zk);

  // Signals with NaN, infinities and huge values: each is refused or held in range, and every
  // matrix stays finite on the Update after it and once sane signals come again.
  CSigCarGeneralState badStates[4] = {drive.CarState({nan, 0, 0}), drive.CarState({0, 0, 0}),
                                      drive.CarState({kHuge, 0, 0}), drive.CarState({0, 0, 0})};
  badStates[1].orientation = {0, kInf, 0, 1};
  badStates[3].wheelPositions[0].value = {nan, 0, 0};
  badStates[3].wheelPositions[1].value = {kHuge, kHuge, kHuge};
  badStates[3].wheelOrientations[2] = {0, 0, 0, 0};
  badStates[3].wheelOrientations[3] = {kInf, 0, 0, 1};
  RunRows(
      {drive.Bad("car control NaN",
                 [&] { zk_hostkit::EmitCarControl(host.hub, nan, nan, 0xFFFFFFFFu); }),
       drive.Bad("car control infinite",
                 [&] { zk_hostkit::EmitCarControl(host.hub, -kInf, kInf, 1); }),
       drive.Bad("car control huge",
                 [&] { zk_hostkit::EmitCarControl(host.hub, kHuge, -kHuge, 2); }),
       drive.Bad("car state NaN position", [&] { drive.Car(badStates[0]); }),
       drive.Bad("car state infinite orientation", [&] { drive.Car(badStates[1]); }),
       drive.Bad("car state huge position", [&] { drive.Car(badStates[2]); }),
       drive.Bad("car state bad wheels", [&] { drive.Car(badStates[3]); }),
       drive.Bad("wipers NaN", [&] { zk_hostkit::EmitWiperRotation(host.hub, nan, 0); }),
       drive.Bad("wipers infinite", [&] { zk_hostkit::EmitWiperRotation(host.hub, 0, -kInf); }),
       drive.Bad("wipers huge", [&] { zk_hostkit::EmitWiperRotation(host.hub, kHuge, -kHuge); }),
       drive.Bad("windscreen NaN", [&] { drive.Windscreen(nan); }),
       drive.Bad("windscreen huge", [&] { drive.Windscreen(kHuge); }),
       drive.Bad("shake NaN", [&] { drive.Shake(0, nan); }),
       drive.Bad("shake infinite", [&] { drive.Shake(1, -kInf); }),
       drive.Bad("shake huge", [&] { drive.Shake(0, kHuge); }),
       drive.Bad("shake for a third person", [&] { drive.Shake(7, 0.1f); }),
       drive.Bad("detach the dummy object", [&] { zk_hostkit::EmitDetachFromParent(host.hub, 0); }),
       drive.Bad("detach a huge index",
                 [&] { zk_hostkit::EmitDetachFromParent(host.hub, 0xFFFFFFFFu); }),
       drive.Bad("detach a person's bone",
                 [&] { zk_hostkit::EmitDetachFromParent(host.hub, headObject); }),
       drive.Bad("pin a huge index",
                 [&] {
                   drive.Pin(0xFFFFFFFFu, {1, 2, 3}, {0, 0, 0, 1});
                 }),
       drive.Bad("ghost a huge index",
                 [&] {
                   drive.Pin<CSigGhostCarState>(0x80000000u, {1, 2, 3}, {0, 0, 0, 1});
                 }),
       drive.Bad("pin a bone at NaN",
                 [&] {
                   drive.Pin(headObject, {nan, 0, 0}, {0, 0, 0, 1});
                 }),
       drive.Bad("ghost a bone turned by inf",
                 [&] {
                   drive.Pin<CSigGhostCarState>(headObject, {0, 0, 0}, {kInf, 0, 0, 1});
                 }),
       {"a non-finite pin leaves the bone to its controller",
        [=](Facade& f) { return Text(f.IsAnimObjectStatic(headObject)); }, "false"},
       {"sane signals again",
        [&](Facade& f) {
          drive.Sane(f, 1.0f);
          return Finite(f);
        },
        "finite"},
       // The clock far ahead and back again: the people sample the end of their scenes, then
       // carry on from the host's clock.
       {"Update far ahead, then back to the clock",
        [&](Facade& f) {
          f.Update(kHuge);
          const std::string far = Finite(f);
          drive.Sane(f, 0.5f);
          return far + " " + Finite(f);
        },
        "finite finite"},
       // Last, as the pin holds until the clean-up: a huge place is taken, and the bone and
       // what hangs on it stand far away, finite.
       {"pin a bone far away",
        [&](Facade& f) {
          drive.Pin(headObject, {kHuge, 0, 0}, {0, 0, 0, 1});
          drive.Sane(f, 0.2f);
          return Finite(f) + " " + Text(f.IsAnimObjectStatic(headObject));
        },
        "finite true"}},
      zk);

  // One character removed, twice, and indices that name none: the others drive on.
  RunRows({{"RemoveCharacter of no character",
            NoOp(
                [](Facade& f) {
                  f.RemoveCharacter(-1);
                  f.RemoveCharacter(INT_MAX);
                },
                drive),
            "no-op"},
           {"RemoveCharacter twice",
            [&](Facade& f) {
              const int coDriver = f.GetCharacterIndex("CoDriver");
              f.RemoveCharacter(coDriver);
              f.RemoveCharacter(coDriver);
              drive.Sane(f, 0.1f);
              return Text(f.GetMatrix(coDriver)) + " " + Finite(f);
            },
            "null finite"},
           {"the removed name is free",
            [](Facade& f) { return Text(f.GetCharacterIndex("CoDriver")); }, notFound}},
          zk);

  // The session clean-up in the middle of the drive: every handle is void, the facade answers as
  // it does for indices never handed out, and a new session drives as the first did.
  const int oldNode = head, oldDriver = driver;
  host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  RunRows(
      {{"Update after the clean-up", Ok([&](Facade& f) { f.Update(drive.clock += 0.1f); }), "ok"},
       {"signals with nobody to hear them",
        [&](Facade& f) {
          drive.Sane(f, 0.1f);
          return Text(CharacterCount());
        },
        "0"},
       {"GetMatrix of a character from before",
        [=](Facade& f) { return Text(f.GetMatrix(oldDriver)); }, "null"},
       {"GetNodeMatrix of a node from before",
        [=](Facade& f) { return Text(f.GetNodeMatrix(oldNode)); }, "null"},
       {"FindNodeIndex on a character from before",
        [=](Facade& f) { return Text(f.FindNodeIndex(oldDriver, "B_head")); }, "-1"},
       {"GetCharacterIndex of a character from before",
        [](Facade& f) { return Text(f.GetCharacterIndex("Driver")); }, notFound},
       {"FindController of a scene from before",
        [](Facade& f) { return Text(f.FindController("driver_steer::B_head::PRS")); }, "-1"},
       {"IsAnimObjectStatic of an object from before",
        [=](Facade& f) { return Text(f.IsAnimObjectStatic(headObject)); }, "false"},
       {"the clean-up again removes nothing more",
        [&](Facade& f) {
          host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
          return Text(CharacterCount()) + " " + Text(f.IsAnimObjectStatic(0));
        },
        "0 true"},
       {"a new session drives",
        [&](Facade& f) {
          LoadTheCrew(f);
          drive.Sane(f, 1.0f);
          return Text(f.GetCharacterIndex("Driver")) + " " + Finite(f);
        },
        "1 finite"}},
      zk);

  // Detached, the library has no managers: every operation says so, and a second detach and the
  // facade's deletion afterwards are harmless.
  ZelkarProcessDetach();
  ZelkarProcessDetach();
  RunRows({{"Update", Ok([](Facade& f) { f.Update(1.0f); }),
            "CZK_Exception: Update: the library is not attached"},
           {"GetCharacterIndex", [](Facade& f) { return Text(f.GetCharacterIndex("Driver")); },
            "CZK_Exception: GetCharacterIndex: the library is not attached"},
           {"GetNodeMatrix", [](Facade& f) { return Text(f.GetNodeMatrix(0)); },
            "CZK_Exception: GetNodeMatrix: the library is not attached"},
           {"CreateCharacter",
            Ok([](Facade& f) { f.CreateCharacter(kSamples + "rally_car.zkh", "Car", "Car"); }),
            "CZK_Exception: CreateCharacter: the library is not attached"},
           {"FindController", [](Facade& f) { return Text(f.FindController("x")); },
            "CZK_Exception: FindController: the library is not attached"},
           {"Initialize and Shutdown need nothing",
            [](Facade& f) {
              f.Shutdown();
              return Text(f.Initialize());
            },
            "true"},
           {"signals reach nobody",
            [&](Facade&) {
              host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
              zk_hostkit::EmitCarControl(host.hub, nan, nan, 3);
              return std::string("ok");
            },
            "ok"}},
          zk);
  owner.reset();
}

}  // namespace
