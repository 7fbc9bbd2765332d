#include "characters/CharacterCoDriver.h"

#include "characters/CharacterCar.h"
#include "scenegraph/Node.h"

CZK_CharacterCoDriver::CZK_CharacterCoDriver(const std::string& characterName,
                                             const CZK_RuntimeContext& context)
    : CZK_CharacterIncarPeople(RequireCar(characterName, context, "CZK_CharacterCoDriver"),
                               context) {}

void CZK_CharacterCoDriver::OnBonesBound() { root->Update(0.0f, &g_IdentityMatrix); }

void CZK_CharacterCoDriver::GetSeatOffset(Vector3* out) {
  const CZK_CharacterCar* car = CurrentCar();
  *out = car != nullptr ? car->GetCoDriverSeat() : Vector3{0.0f, 0.0f, 0.0f};
}

void CZK_CharacterCoDriver::Update(float time) {
  SetScale(kPeopleScale, kPeopleScale, kPeopleScale);
  lastTime = time;
  // One cycle per update at most: after a long jump of the host clock the animation catches up
  // over the following frames instead of looping here.
  if (time >= startTime + kCycleLength) startTime += kCycleLength;
  const float local = LocalTime(time);
  plan.Run(root, local, &g_IdentityMatrix);
  ApplyShake(1, local);
  SolveArms();
  WriteWorldIntoNodes();
}
