#include "LiveControls.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "PortableMath.h"

namespace zk_drive {
namespace {

constexpr float kPi = 3.14159265f;

struct SKeyName {
  const char* name;
  uint32_t bits;
};
constexpr SKeyName kKeyNames[] = {{"left", kKeyLeft},           {"right", kKeyRight},
                                  {"up", kKeyThrottle},         {"down", kKeyBrake},
                                  {"gearup", kKeyGearUp},       {"geardown", kKeyGearDown},
                                  {"handbrake", kKeyHandbrake}, {"wipers", kKeyWipers},
                                  {"rough", kKeyRough},         {"none", 0}};

// Longest script accepted: an hour at 60 Hz.
constexpr unsigned long kMostScriptFrames = 216000;

// The car. Full steering turns it this many degrees per metre at walking pace, less as it goes
// faster (the sample stage's hairpin takes 9.4 at 7 m/s).
constexpr float kTurnPerMetre = 14.0f;
constexpr float kTurnFadeSpeed = 12.0f;  // m/s at which the turn per metre has halved
constexpr float kThrottle = 6.5f;        // m/s², falling with speed
constexpr float kTopSpeed = 38.0f;
constexpr float kBrake = 11.0f;
constexpr float kReverse = 3.0f, kTopReverse = 5.0f;
constexpr float kRolling = 0.6f;        // m/s² with no pedal
constexpr float kHandbrakeDrag = 7.0f;  // m/s² at full handbrake
constexpr float kHandbrakeTurn = 0.8f;  // extra share of turn at full handbrake
// Rates, per second.
constexpr float kSteerRate = 2.4f, kSteerReturn = 3.6f;
constexpr float kHandbrakeRate = 7.0f;
constexpr float kRoughRate = 2.0f, kRoughTop = 0.8f;
// The wipers: a sweep (out and back) of this angle, in this many seconds per mode.
constexpr float kWiperSweep = 1.5f;
constexpr float kWiperPeriod[3] = {0, 1.4f, 0.8f};
constexpr float kShakeHz = 0.55f;

float Towards(float value, float target, float step) {
  return value < target ? std::min(value + step, target) : std::max(value - step, target);
}

// The shake record with the largest total size among the channel's keys (the road at its worst).
void PeakShake(const SChannel& channel, float* out) {
  float best = -1;
  for (std::size_t k = 0; k < channel.times.size(); ++k) {
    const float* v = &channel.values[k * 18];
    float size = 0;
    for (int i = 0; i < 18; ++i) size += std::fabs(v[i]);
    if (size > best) {
      best = size;
      std::copy(v, v + 18, out);
    }
  }
  if (best < 0) std::fill(out, out + 18, 0.0f);
}

// Text from a script as a message can show it on one line: control bytes as '?', at most 40
// characters.
std::string Shown(const std::string& text) {
  std::string shown = text.substr(0, 40);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  if (text.size() > shown.size()) shown += "...";
  return shown;
}

}  // namespace

std::vector<uint32_t> ParseKeyScript(const std::string& script) {
  std::vector<uint32_t> frames;
  std::size_t at = 0;
  while (at <= script.size()) {
    std::size_t end = script.find(',', at);
    if (end == std::string::npos) end = script.size();
    const std::string run = script.substr(at, end - at);
    const auto fail = [&](const std::string& why) {
      throw std::invalid_argument("key script, run \"" + Shown(run) + "\": " + why);
    };
    if (run.empty()) fail("empty (two commas, or a comma at an end)");
    const std::size_t star = run.find('*');
    unsigned long count = 1;
    if (star != std::string::npos) {
      const std::string digits = run.substr(star + 1);
      if (digits.empty() || digits.size() > 6 ||
          digits.find_first_not_of("0123456789") != std::string::npos)
        fail("the count after '*' is not a number of frames");
      count = std::stoul(digits);
      if (count == 0) fail("a run of no frames");
    }
    uint32_t keys = 0;
    const std::string names = run.substr(0, star);
    for (std::size_t k = 0; k <= names.size();) {
      std::size_t plus = names.find('+', k);
      if (plus == std::string::npos) plus = names.size();
      const std::string name = names.substr(k, plus - k);
      const SKeyName* found = std::find_if(std::begin(kKeyNames), std::end(kKeyNames),
                                           [&](const SKeyName& n) { return name == n.name; });
      if (found == std::end(kKeyNames)) fail("no key called \"" + Shown(name) + "\"");
      keys |= found->bits;
      k = plus + 1;
    }
    if (frames.size() + count > kMostScriptFrames) fail("the script runs past an hour at 60 Hz");
    frames.insert(frames.end(), count, keys);
    at = end + 1;
  }
  return frames;
}

SStage LiveStage(const SStage& stage) {
  SStage live = stage;
  for (SChannel& channel : live.channels) {
    channel.times.clear();
    channel.values.clear();
  }
  live.events.clear();
  for (SStageCharacter& c : live.characters) c.fromStart = true;  // no timeline changes the cast
  for (const SEvent& e : stage.events)
    if (e.kind == EEventKind::Windscreen) {
      live.events.push_back(e);
      live.events.back().time = 0;
    }
  return live;
}

CLiveControls::CLiveControls(const SStage& stage, float rate)
    : m_dt(1.0f / rate), m_lock(stage.steeringLock), m_gear(stage.firstGear) {
  std::size_t cursor = 0;
  if (!stage.channels[kCar].times.empty())
    SampleChannel(stage.channels[kCar], 0, cursor, m_input.car);
  for (int p = 0; p < 2; ++p) PeakShake(stage.channels[kShakeDriver + p], m_peakShake[p]);
}

SFrameInput CLiveControls::Advance(uint32_t keys) {
  const uint32_t pressed = keys & ~m_lastKeys;
  m_lastKeys = keys;
  SFrameInput& in = m_input;
  const float dt = m_dt;

  // Steering, with its rate; both sides held cancel out.
  const float steerTarget = ((keys & kKeyRight) ? 1.0f : 0.0f) - ((keys & kKeyLeft) ? 1.0f : 0.0f);
  in.steering =
      Towards(in.steering, steerTarget, (steerTarget == 0 ? kSteerReturn : kSteerRate) * dt);
  in.handbrake = Towards(in.handbrake, (keys & kKeyHandbrake) ? 1.0f : 0.0f, kHandbrakeRate * dt);

  // Pedals: the throttle pulls less as speed grows; the brake stops, then backs up.
  float accel = m_speed > 0 ? -kRolling : (m_speed < 0 ? kRolling : 0);
  if (keys & kKeyThrottle) accel = m_speed < 0 ? kBrake : kThrottle * (1 - m_speed / kTopSpeed);
  if (keys & kKeyBrake) accel = m_speed > 0.2f ? -kBrake : -kReverse * (1 + m_speed / kTopReverse);
  const float before = m_speed;
  m_speed += accel * dt;
  // Rolling resistance and the handbrake stop the car; they never start it the other way.
  const float drag = in.handbrake * kHandbrakeDrag * dt;
  m_speed = m_speed > 0 ? std::max(m_speed - drag, 0.0f) : std::min(m_speed + drag, 0.0f);
  if (!(keys & (kKeyThrottle | kKeyBrake)) && before * m_speed < 0) m_speed = 0;

  // The heading follows the front wheels (negative steering raises it); the handbrake swings the
  // tail out a little more.
  const float turnPerMetre = kTurnPerMetre / (1 + std::fabs(m_speed) / kTurnFadeSpeed) *
                             (1 + kHandbrakeTurn * in.handbrake) * (m_lock / 0.45f);
  in.car[3] -= in.steering * turnPerMetre * m_speed * dt;
  in.car[3] = std::remainder(in.car[3], 360.0f);
  const float heading = in.car[3] * kPi / 180;
  in.car[0] += Sine(heading) * m_speed * dt;
  in.car[1] -= Cosine(heading) * m_speed * dt;

  // Gears: the record's buttons say a change was made this frame.
  in.buttons = 0;
  if ((pressed & kKeyGearUp) && m_gear < 6) {
    in.buttons |= 1u;
    ++m_gear;
  }
  if ((pressed & kKeyGearDown) && m_gear > 1) {
    in.buttons |= 2u;
    --m_gear;
  }

  // Wipers: a switched-off wiper finishes its sweep and parks.
  if (pressed & kKeyWipers) m_wiperMode = (m_wiperMode + 1) % 3;
  if (m_wiperMode > 0) {
    m_wiperPhase += dt / kWiperPeriod[m_wiperMode];
  } else if (m_wiperPhase != std::floor(m_wiperPhase)) {
    const float next = std::floor(m_wiperPhase) + 1;
    m_wiperPhase = std::min(m_wiperPhase + dt / kWiperPeriod[1], next);
  }
  const float wiper = kWiperSweep * 0.5f * (1 - Cosine(2 * kPi * m_wiperPhase));
  in.wipers[0] = in.wipers[1] = wiper;

  // The road: roughness ramps, and the people sway with it at its worst shake, in turn.
  if (pressed & kKeyRough) m_rough = !m_rough;
  in.rough = Towards(in.rough, m_rough ? kRoughTop : 0.0f, kRoughRate * dt);
  m_time += dt;
  const float sway = in.rough / kRoughTop * Sine(2 * kPi * kShakeHz * m_time);
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < 18; ++i) in.shake[p][i] = m_peakShake[p][i] * (p == 0 ? sway : -sway);
  return in;
}

}  // namespace zk_drive
