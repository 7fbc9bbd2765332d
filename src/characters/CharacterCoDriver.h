// The co-driver: plays the pace-notes animation in an endless cycle of fixed length at the car's
// co-driver seat, sways with the in-car shake and keeps both arms on their points by IK.
#pragma once

#include "characters/CharacterIncarPeople.h"

class CZK_CharacterCoDriver : public CZK_CharacterIncarPeople {
 public:
  // 424 frames at 30 frames per second.
  static constexpr float kCycleLength = 14.133333f;

  // Refused with a CZK_Exception when no car exists yet: the seat is the car's.
  CZK_CharacterCoDriver(const std::string& name, const CZK_RuntimeContext& runtime);
  ~CZK_CharacterCoDriver() override = default;

  void Update(float time) override;
  // The rest pose at time 0, in which the arm chains are measured.
  void OnBonesBound() override;
  void GetSeatOffset(Vector3* out) override;
};
