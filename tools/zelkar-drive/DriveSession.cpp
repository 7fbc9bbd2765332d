#include "DriveSession.h"

#include <zelkar/Signals.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "PortableMath.h"
#include "hostkit/CarSignals.h"
#include "hostkit/Host.h"
#include "hostkit/NodeSpace.h"

namespace zk_drive {
namespace {

// The stage's character kinds as the host kit names them.
zk_hostkit::ECharacterKind CharacterKind(const std::string& kind) {
  if (kind == "Car") return zk_hostkit::ECharacterKind::kCar;
  if (kind == "Driver") return zk_hostkit::ECharacterKind::kDriver;
  if (kind == "CoDriver") return zk_hostkit::ECharacterKind::kCoDriver;
  if (kind == "Spectator") return zk_hostkit::ECharacterKind::kHuman;
  return zk_hostkit::ECharacterKind::kCharacter;
}

constexpr float kPi = 3.14159265f;
constexpr float kDegrees = kPi / 180.0f;

// The four wheel hubs in the order of the car's state record; the first two steer.
const char* const kWheelHubs[4] = {"e_wheelgrunk_lf", "e_wheelgrunk_rf", "e_wheelgrunk_lb",
                                   "e_wheelgrunk_rb"};

Quaternion AxisAngle(float x, float y, float z, float angle) {
  const float s = Sine(angle / 2);
  return {x * s, y * s, z * s, Cosine(angle / 2)};
}

// a then b, for row vectors (the library's order): the quaternion of Ra·Rb.
Quaternion Then(const Quaternion& a, const Quaternion& b) {
  return {
      b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y, b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,
      b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w, b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
}

// a then b: the row-vector product a·b.
// The library's axes to the host's: the second and third components change places.
Vector3 HostAxes(float x, float y, float z) { return {x, z, y}; }

// The road's shake: smooth oscillations at a few unrelated frequencies, scaled by roughness. The
// same time gives the same shake, so runs repeat exactly.
float Wobble(float t, int channel) {
  const float f = 3.1f + 1.37f * static_cast<float>(channel % 7);
  const float phase = 0.9f * static_cast<float>(channel);
  return Sine(2 * kPi * f * t + phase) * 0.6f + Sine(2 * kPi * 1.7f * f * t) * 0.4f;
}

}  // namespace

// Everything the game does with the facade between loading and unloading the library.
class CDriveSession::CRun {
 public:
  CRun(CZelkarInterfaceExt& zk, zk_hostkit::CHost& host, const SStage& stage, float rate)
      : m_zk(zk),
        m_host(host),
        m_stage(stage),
        m_rate(rate),
        m_wiperPositions(host.hub),
        m_gear(static_cast<float>(stage.firstGear)) {}

  void Load() {
    LoadScenes();
    m_characters.assign(m_stage.characters.size(), -1);
    m_nodeIndices.resize(m_stage.characters.size());
    m_wheelRest.resize(m_stage.characters.size());
    for (std::size_t i = 0; i < m_stage.characters.size(); ++i)
      if (m_stage.characters[i].fromStart) Make(i);
    // The clock starts at 0: animations selected now start there.
    m_zk.Update(0);
    for (std::size_t i = 0; i < m_stage.characters.size(); ++i)
      if (m_characters[i] >= 0) Start(i);
    // A node the stage detaches or pins must be bound to an animated object; for the cast at the
    // start this is known before the drive begins (the others are checked when the event comes).
    for (const SEvent& e : m_stage.events)
      if ((e.kind == EEventKind::Detach || e.kind == EEventKind::Pin) &&
          m_characters[CharacterOf(e.character)] >= 0)
        static_cast<void>(ObjectOf(e));
  }

  // The recorded nodes: names, parents, and where each comes from (see Record).
  void Layout(SDrive& out) {
    for (std::size_t i = 0; i < m_stage.characters.size(); ++i) {
      const SStageCharacter& c = m_stage.characters[i];
      const int root = static_cast<int>(out.nodes.size());
      out.nodes.push_back({c.name, -1});
      out.nodeCharacter.push_back(static_cast<int>(i));
      out.nodeKind.push_back(-1);
      m_sources.push_back({i, -1, false});
      // Which nodes the library leaves in the character's own space: see hostkit/NodeSpace.h.
      const zk_hostkit::ECharacterKind kind = CharacterKind(c.kind);
      for (std::size_t k = 0; k < c.nodes.size(); ++k) {
        const zk_play::SHierarchyNode& node = c.nodes[k];
        out.nodes.push_back(
            {c.name + "/" + node.name, node.parent < 0 ? root : root + 1 + node.parent});
        out.nodeCharacter.push_back(static_cast<int>(i));
        out.nodeKind.push_back(static_cast<int>(node.kind));
        m_sources.push_back(
            {i, static_cast<int>(k), !zk_hostkit::IsNodeMatrixInWorld(kind, node.kind)});
      }
    }
    // A character not made yet stands at the identity until it is.
    Matrix identity{};
    for (int k = 0; k < 4; ++k) identity.m[5 * k] = 1;
    m_worlds.assign(m_sources.size(), identity);
    Record();
  }

  SFrameInput StageInput(int frame) {
    const float t = static_cast<float>(frame) / m_rate;
    SFrameInput in;
    SampleChannel(m_stage.channels[kSteering], t, m_cursors[kSteering], &in.steering);
    SampleChannel(m_stage.channels[kHandbrake], t, m_cursors[kHandbrake], &in.handbrake);
    SampleChannel(m_stage.channels[kWipers], t, m_cursors[kWipers], in.wipers);
    SampleChannel(m_stage.channels[kCar], t, m_cursors[kCar], in.car);
    SampleChannel(m_stage.channels[kRough], t, m_cursors[kRough], &in.rough);
    for (int p = 0; p < 2; ++p)
      SampleChannel(m_stage.channels[kShakeDriver + p], t, m_cursors[kShakeDriver + p],
                    in.shake[p]);
    return in;
  }

  void Step(int frame, const SFrameInput& in) {
    const float t = static_cast<float>(frame) / m_rate;
    const uint32_t buttons = EmitEvents(t) | in.buttons;
    if (in.buttons & 1u) m_gear += 1;
    if (in.buttons & 2u) m_gear -= 1;
    EmitCar(frame, t, in);
    zk_hostkit::EmitCarControl(m_host.hub, in.handbrake, in.steering, buttons);
    zk_hostkit::EmitWiperRotation(m_host.hub, in.wipers[0], in.wipers[1]);
    EmitShake(t, in);
    m_zk.Update(t);
    Record();
  }

  const Matrix* Worlds() const { return m_worlds.data(); }
  float Gear() const { return m_gear; }
  int WiperPositions() const { return m_wiperPositions.GetCount(); }

 private:
  void LoadScenes() {
    for (const SStageScene& scene : m_stage.scenes) {
      m_zk.LoadAnimationScene(scene.file, scene.name);
      m_zk.ResolveSceneTargets(scene.name);
    }
  }

  // Makes the stage's character i and gives it its scenes.
  void Make(std::size_t i) {
    const SStageCharacter& c = m_stage.characters[i];
    if (c.kind == "Car" || c.kind == "Character")
      m_zk.CreateCharacter(c.hierarchy, c.name, c.kind);
    else
      m_zk.CreateHumanCharacter(c.hierarchy, "", c.name, c.kind);
    const int index = m_zk.GetCharacterIndex(c.name);
    m_characters[i] = index;
    std::vector<int>& nodes = m_nodeIndices[i];
    nodes.clear();
    for (const zk_play::SHierarchyNode& node : c.nodes) {
      nodes.push_back(m_zk.FindNodeIndex(index, node.name));
      if (nodes.back() < 0)
        throw std::runtime_error(m_stage.file + ": the library made no node " + node.name +
                                 " for " + c.name);
    }
    if (c.kind == "Car") {
      m_car = static_cast<int>(i);
      // The hubs' places on the car as loaded: the wheels the host reports sit there.
      const int frame = m_zk.FindNodeIndex(index, "parent");
      const Matrix origin = frame >= 0 ? *m_zk.GetNodeMatrix(frame) : Matrix{};
      for (int w = 0; w < 4; ++w) {
        const int hub = m_zk.FindNodeIndex(index, kWheelHubs[w]);
        if (hub < 0) continue;
        const Matrix& m = *m_zk.GetNodeMatrix(hub);
        m_wheelRest[i][w] = {m.m[12] - origin.m[12], m.m[13] - origin.m[13],
                             m.m[14] - origin.m[14]};
      }
    }
    for (const std::string& scene : c.scenes) m_zk.AddAnimation(c.name, scene, 0);
    if (!c.scenes.empty() && m_zk.GetAnimationCount(index, 0) != static_cast<int>(c.scenes.size()))
      throw std::runtime_error(m_stage.file + ": the library took " +
                               std::to_string(m_zk.GetAnimationCount(index, 0)) + " of " + c.name +
                               "'s " + std::to_string(c.scenes.size()) + " scenes");
  }

  // Selects the character's first scene at the clock of the last update and places it.
  void Start(std::size_t i) {
    const SStageCharacter& c = m_stage.characters[i];
    const int index = m_characters[i];
    if (!c.scenes.empty()) m_zk.SetAnimation(index, 0, 0);
    if (c.kind != "Driver" && c.kind != "CoDriver" && c.kind != "Car") {
      const Vector3 at{c.position[0], c.position[1], c.position[2]};
      m_zk.SetScale(index, c.scale, c.scale, c.scale);
      m_zk.SetRotation(index, 0, 0, c.heading * kDegrees);
      m_zk.SetPosition(index, &at);
    }
  }

  void Remove(std::size_t i) {
    m_zk.RemoveCharacter(m_characters[i]);
    m_characters[i] = -1;
    if (m_car != static_cast<int>(i)) return;
    // The library's current car is now the most recently made one left, as is the drive's.
    m_car = -1;
    for (std::size_t k = 0; k < m_characters.size(); ++k)
      if (m_stage.characters[k].kind == "Car" && m_characters[k] >= 0 &&
          (m_car < 0 || m_characters[k] > m_characters[static_cast<std::size_t>(m_car)]))
        m_car = static_cast<int>(k);
  }

  // The session clean-up destroys every character, scene and controller; the next session
  // loads the scenes again and makes the cast that was present, in stage order.
  void Cleanup() {
    m_host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
    std::vector<std::size_t> cast;
    for (std::size_t i = 0; i < m_characters.size(); ++i)
      if (m_characters[i] >= 0) cast.push_back(i);
    std::fill(m_characters.begin(), m_characters.end(), -1);
    m_car = -1;
    LoadScenes();
    for (std::size_t i : cast) Make(i);
    for (std::size_t i : cast) Start(i);
  }

  std::size_t CharacterOf(const std::string& name) const {
    std::size_t i = 0;
    while (m_stage.characters[i].name != name) ++i;  // the stage reader checked the name
    return i;
  }

  // The animated object of a detach or pin event's node, in the current session.
  uint32_t ObjectOf(const SEvent& e) const {
    const std::size_t i = CharacterOf(e.character);
    const int node = m_characters[i] >= 0 ? m_zk.FindNodeIndex(m_characters[i], e.node) : -1;
    const int object = node >= 0 ? m_zk.GetNodeAnimObject(node) : 0;
    if (object <= 0)
      throw std::runtime_error(m_stage.file + ": " + e.jsonPath + ": " + e.character + "'s " +
                               e.node + " is bound to no animated object (give it a scene)");
    return static_cast<uint32_t>(object);
  }

  // Events due by time t; gear changes become the control record's buttons, returned.
  uint32_t EmitEvents(float t) {
    uint32_t buttons = 0;
    for (; m_nextEvent < m_stage.events.size() && m_stage.events[m_nextEvent].time <= t;
         ++m_nextEvent) {
      const SEvent& e = m_stage.events[m_nextEvent];
      switch (e.kind) {
        case EEventKind::GearUp:
          buttons |= 1u;
          m_gear += 1;
          break;
        case EEventKind::GearDown:
          buttons |= 2u;
          m_gear -= 1;
          break;
        case EEventKind::Windscreen: {
          const Vector3 corners[4] = {{e.values[0], e.values[1], e.values[2]},
                                      {e.values[3], e.values[4], e.values[5]},
                                      {e.values[6], e.values[7], e.values[8]},
                                      {e.values[9], e.values[10], e.values[11]}};
          zk_hostkit::EmitWindscreenData(m_host.hub, corners);
          break;
        }
        case EEventKind::Detach:
          zk_hostkit::EmitDetachFromParent(m_host.hub, ObjectOf(e));
          break;
        case EEventKind::Pin:
          EmitPin(e);
          break;
        case EEventKind::Create: {
          const std::size_t i = CharacterOf(e.character);
          Make(i);
          Start(i);
          break;
        }
        case EEventKind::Remove:
          Remove(CharacterOf(e.character));
          break;
        case EEventKind::Cleanup:
          Cleanup();
          break;
      }
    }
    return buttons;
  }

  void EmitPin(const SEvent& e) {
    CSigSolidGeneralState state{};
    state.objectIndex = ObjectOf(e);
    state.position = HostAxes(e.values[0], e.values[1], e.values[2]);
    state.orientation = {0, 0, 0, 1};
    if (e.ghost) {
      CSigGhostCarState ghost{};
      static_cast<CSigObjectState&>(ghost) = state;
      m_host.hub.Emit(zk_hostkit::hub::kGhostCarStateSignal, ghost);
    } else {
      m_host.hub.Emit(zk_hostkit::hub::kSolidGeneralStateSignal, state);
    }
  }

  // The car along its path; the wheels roll the distance it made and the front ones steer.
  void EmitCar(int frame, float t, const SFrameInput& in) {
    const float* car = in.car;
    const float yaw = car[3] * kDegrees;
    if (frame > 0)
      m_spin +=
          Length(car[0] - m_last[0], car[1] - m_last[1], car[2] - m_last[2]) / m_stage.wheelRadius;
    std::copy(car, car + 3, m_last);
    const Quaternion heading = AxisAngle(0, 0, 1, yaw);
    zk_hostkit::CWheelState wheels[4];
    for (int w = 0; w < 4; ++w) {
      const float bump = in.rough * 0.03f * Wobble(t, 11 + w);
      const Vector3 rest = m_car >= 0 ? m_wheelRest[static_cast<std::size_t>(m_car)][w] : Vector3{};
      wheels[w].position = HostAxes(rest.x, rest.y, rest.z + bump);
      const float steer = w < 2 ? -in.steering * m_stage.steeringLock : 0.0f;
      // Rolling forward (towards -y) turns a wheel about x.
      wheels[w].orientation = Then(AxisAngle(1, 0, 0, m_spin), AxisAngle(0, 0, 1, steer));
    }
    zk_hostkit::EmitCarGeneralState(
        m_host.hub,
        zk_hostkit::MakeCarGeneralState(HostAxes(car[0], car[1], car[2]), heading, wheels));
    if (m_car >= 0) {
      const int index = m_characters[static_cast<std::size_t>(m_car)];
      const Vector3 at{car[0], car[1], car[2]};
      m_zk.SetRotation(index, 0, 0, yaw);
      m_zk.SetPosition(index, &at);
    }
  }

  // The in-car people's shake: the stage's vectors with the road's roughness on top.
  void EmitShake(float t, const SFrameInput& in) {
    const float rough = in.rough;
    for (uint32_t p = 0; p < 2; ++p) {
      const float* shake = in.shake[p];
      Vector3 v[5];
      for (int k = 0; k < 5; ++k)
        v[k] = {shake[3 * k] + rough * 0.2f * Wobble(t, 20 * static_cast<int>(p) + 3 * k),
                shake[3 * k + 1] + rough * 0.1f * Wobble(t, 20 * static_cast<int>(p) + 3 * k + 1),
                shake[3 * k + 2] + rough * 0.2f * Wobble(t, 20 * static_cast<int>(p) + 3 * k + 2)};
      const Vector3 body{shake[15], shake[16] + rough * 0.05f * Wobble(t, 40 + static_cast<int>(p)),
                         shake[17]};
      zk_hostkit::EmitIncarShake(m_host.hub, p, v, body);
    }
  }

  // Every recorded node's world matrix after the update; a character not in the library keeps
  // the matrices it had when it left (the identity before it is first made).
  void Record() {
    Matrix* row = m_worlds.data();
    for (std::size_t n = 0; n < m_sources.size(); ++n) {
      const SSource& s = m_sources[n];
      const int character = m_characters[s.character];
      if (character < 0) continue;
      if (s.node < 0) {
        row[n] = *m_zk.GetMatrix(character);
        continue;
      }
      const int node = m_nodeIndices[s.character][static_cast<std::size_t>(s.node)];
      if (s.throughCharacter)
        row[n] =
            zk_hostkit::MultiplyMatrices(*m_zk.GetNodeMatrix(node), *m_zk.GetMatrix(character));
      else
        row[n] = *m_zk.GetNodeMatrix(node);
    }
  }

  struct SSource {
    std::size_t character;  // the stage's character
    int node;               // its hierarchy node, -1: the character's own matrix
    bool throughCharacter;  // the node's matrix is in the character's space
  };

  CZelkarInterfaceExt& m_zk;
  zk_hostkit::CHost& m_host;
  const SStage& m_stage;
  float m_rate;
  std::vector<int> m_characters;  // per stage character: its library index, -1 when not made
  std::vector<std::vector<int>> m_nodeIndices;  // per stage character: its nodes' library indices
  std::vector<SSource> m_sources;
  int m_car = -1;  // the stage's character the library seats the people in, -1: none
  std::vector<std::array<Vector3, 4>> m_wheelRest;  // per stage character: a car's hubs as made
  // State carried from frame to frame.
  std::size_t m_cursors[kChannelCount] = {};
  std::size_t m_nextEvent = 0;
  std::vector<Matrix> m_worlds;  // per recorded node, after the last step
  zk_hostkit::CWiperPositionReceiver m_wiperPositions;
  float m_gear;
  float m_spin = 0;
  float m_last[3] = {0, 0, 0};
};

CDriveSession::CDriveSession(CZelkarInterfaceExt& zk, zk_hostkit::CHost& host, const SStage& stage,
                             float rate)
    : m_run(std::make_unique<CRun>(zk, host, stage, rate)) {}

CDriveSession::~CDriveSession() = default;

void CDriveSession::Load(SDrive& out) {
  m_run->Load();
  m_run->Layout(out);
}

SFrameInput CDriveSession::StageInput(int frame) { return m_run->StageInput(frame); }
void CDriveSession::Step(int frame, const SFrameInput& in) { m_run->Step(frame, in); }
const Matrix* CDriveSession::Worlds() const { return m_run->Worlds(); }
float CDriveSession::Gear() const { return m_run->Gear(); }
int CDriveSession::WiperPositions() const { return m_run->WiperPositions(); }

}  // namespace zk_drive
