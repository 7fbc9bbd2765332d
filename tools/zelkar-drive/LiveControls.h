// A player's keys turned into the host's input, frame by frame: the car drives on a flat road
// with a simple bicycle model, the steering moves towards the key's side at a steering rate, the
// handbrake and the road's roughness ramp, the wipers sweep while switched on. The same key
// frames give the same input everywhere, so a key script run natively and in the browser drive
// the library alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DriveSession.h"
#include "Stage.h"

namespace zk_drive {

// Keys held during a frame, as bits.
enum ELiveKey : uint32_t {
  kKeyLeft = 1u << 0,
  kKeyRight = 1u << 1,
  kKeyThrottle = 1u << 2,
  kKeyBrake = 1u << 3,  // brakes, then reverses from standstill
  kKeyGearUp = 1u << 4,
  kKeyGearDown = 1u << 5,
  kKeyHandbrake = 1u << 6,
  kKeyWipers = 1u << 7,  // each press: off, slow, fast, off
  kKeyRough = 1u << 8,   // each press: smooth road, rough road
};

// A key script: frames of held keys, as comma-separated "keys*frames" runs where keys are names
// joined by '+' (left, right, up, down, gearup, geardown, handbrake, wipers, rough, none) and
// "*frames" may be left out for one frame; e.g. "up*90,up+left*40,gearup,none*20". Throws
// std::invalid_argument naming the run at fault.
std::vector<uint32_t> ParseKeyScript(const std::string& script);

// The stage a live drive plays: the stage's scenes and characters, none of its timeline but the
// windscreen records, which a game sends when the car is set up (moved to time 0).
SStage LiveStage(const SStage& stage);

class CLiveControls {
 public:
  // Starts where the stage's car starts, in its first gear, with its base shake.
  CLiveControls(const SStage& stage, float rate);
  // The input of the next frame with these keys held. Gear, wiper and roughness keys act when
  // pressed, not while held.
  SFrameInput Advance(uint32_t keys);

  float Speed() const { return m_speed; }  // metres per second, forwards positive
  int Gear() const { return m_gear; }
  int WiperMode() const { return m_wiperMode; }

 private:
  float m_dt;
  float m_lock;         // front wheels' angle at full steering, radians
  SFrameInput m_input;  // what the last frame sent
  float m_peakShake[2][18];
  float m_time = 0;
  float m_speed = 0;
  int m_gear;
  int m_wiperMode = 0;
  float m_wiperPhase = 0;  // sweeps done, fractional
  bool m_rough = false;
  uint32_t m_lastKeys = 0;
};

}  // namespace zk_drive
