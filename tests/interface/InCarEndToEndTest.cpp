// A host with a rally car, its driver and co-driver made from the sample files through the
// exported facade of libzelkar.so, driving them with car-control records emitted on the host
// kit's hub: the right hand must reach the car's gear and handbrake dummies and come back, and
// the wheel must turn with the steering.
#include <gtest/gtest.h>
#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/Math.h"
#include "hostkit/Host.h"
#include "hostkit/LoadedLibrary.h"

namespace {

const std::string kSamples = ZELKAR_BINARY_DIR "/assets/samples/";

Vector3 Transformed(const Vector3& p, const Matrix* m) {
  Vector3 out;
  D3DXVec3TransformCoord(&out, &p, m);
  return out;
}
Vector3 At(const Matrix* m) { return MatrixGetTranslation(*m); }
void ExpectVec(const Vector3& a, const Vector3& b) { EXPECT_LT(Vec3Length(a - b), 1e-5f); }

class CRally {
 public:
  explicit CRally(CZelkarInterfaceExt* facade) : zk(facade) {}
  CZelkarInterfaceExt* zk;
  zk_hostkit::CHost* host = nullptr;
  float time = 0.0f;

  // Emits one record per frame for `seconds` and returns the least distance of the right hand,
  // in the world, to each target.
  std::vector<float> Drive(float seconds, float steering, uint32_t buttons, float handbrake,
                           std::vector<Vector3> targets = {}) {
    CSigCarControl control{};
    control.steering = steering;
    control.handbrake = handbrake;
    std::vector<float> nearest(targets.size(), 1e9f);
    for (float t = 0.0f; t < seconds; t += 0.02f) {
      control.buttons = t == 0.0f ? buttons : 0u;
      host->hub.Emit(zk_hostkit::hub::kCarControlSignal, control);
      zk->Update(time += 0.02f);
      for (size_t k = 0; k < targets.size(); ++k)
        nearest[k] = std::fmin(nearest[k], Vec3Length(Hand() - targets[k]));
    }
    return nearest;
  }
  Vector3 Hand() const { return Transformed(At(zk->GetNodeMatrix(hand)), zk->GetMatrix(driver)); }
  int driver = 0, hand = 0;
};

}  // namespace

TEST(InCarEndToEnd, DriverReachesTheCarsDummiesAndTurnsTheWheel) {
  zk_hostkit::CHost host;
  // The kit serves every car-control list in its race state, and the driver has two connections
  // on the first one: in state 8 each record reaches it once.
  host.hub.SetApplicationState(8);
  zk_hostkit::CLoadedLibrary library(ZELKAR_SHARED_LIBRARY_PATH);
  auto* zk = static_cast<CZelkarInterfaceExt*>(library.Function<ZK_CreateFunction>("ZK_Create")());
  ASSERT_NE(zk, nullptr);
  ASSERT_NO_THROW(zk->CreateCharacter(kSamples + "rally_car.zkh", "Car", "Car"));
  ASSERT_NO_THROW(zk->CreateHumanCharacter(kSamples + "human_skeleton.zkh", "", "Pilot", "Driver"));
  ASSERT_NO_THROW(
      zk->CreateHumanCharacter(kSamples + "human_skeleton.zkh", "", "Notes", "CoDriver"));
  for (const char* scene : {"car_idle", "driver_steer", "codriver_notes"})
    ASSERT_NO_THROW(zk->LoadAnimationScene(kSamples + scene + ".zka", scene));
  zk->ResolveSceneTargets("driver_steer");
  zk->AddAnimation("Car", "car_idle", 0);
  zk->AddAnimation("Pilot", "driver_steer", 0);
  zk->AddAnimation("Notes", "codriver_notes", 0);
  for (const char* name : {"Car", "Pilot", "Notes"})
    zk->SetAnimation(zk->GetCharacterIndex(name), 0, 0);

  // The car stands at host (1, 2, 3), library (1, 3, 2), unturned.
  CSigCarGeneralState state{};
  state.position = {1, 2, 3};
  state.orientation = {0, 0, 0, 1};
  for (Quaternion& wheel : state.wheelOrientations) wheel = {0, 0, 0, 1};
  host.hub.Emit(zk_hostkit::hub::kCarGeneralStateSignal, state);
  const Vector3 car = {1, 3, 2};
  auto dummy = [&](const char* name) {
    return At(zk->GetNodeMatrix(zk->GetNodeIndex("Car", name))) + car;
  };

  CRally rally(zk);
  rally.host = &host;
  rally.driver = zk->GetCharacterIndex("Pilot");
  rally.hand = zk->GetNodeIndex("Pilot", "B_hand R");
  rally.Drive(0.1f, 0.0f, 0, 0.0f);
  const Vector3 onWheel = rally.Hand();
  const Matrix wheelAhead = *zk->GetNodeMatrix(zk->GetNodeIndex("Car", "zDi_steeringwheel"));

  // The co-driver sits at its seat dummy.
  ExpectVec(At(zk->GetMatrix(zk->GetCharacterIndex("Notes"))), dummy("D_codriver_use"));

  // Steering: the wheel turns about its own Z by the input times the 60° lock.
  for (float steering : {-1.0f, 0.5f}) {
    rally.Drive(0.04f, steering, 0, 0.0f);
    Matrix turn, expected;
    D3DXMatrixRotationZ(&turn, steering * 60.0f * zk_math::kDegreesToRadians);
    D3DXMatrixMultiply(&expected, &turn, &wheelAhead);
    const Matrix* wheel = zk->GetNodeMatrix(zk->GetNodeIndex("Car", "zDi_steeringwheel"));
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(wheel->m[k], expected.m[k], 1e-5f) << steering;
  }
  rally.Drive(0.1f, 0.0f, 0, 0.0f);

  // A gear change: to the lever, pushed, back to the wheel (distances in metres).
  const std::vector<Vector3> lever = {dummy("D_hand R_gear"), dummy("D_hand R_gear p")};
  for (float d : rally.Drive(3.0f, 0.0f, 1, 0.0f, lever)) EXPECT_LT(d, 1e-4f);
  EXPECT_LT(Vec3Length(rally.Hand() - onWheel), 1e-4f);

  // A handbrake pull held for a second stays on the pulled dummy, then goes back on release.
  const std::vector<Vector3> handbrake = {dummy("D_hand R_handbrake"),
                                          dummy("D_hand R_handbrake p")};
  for (float d : rally.Drive(1.5f, 0.0f, 0, 1.0f, handbrake)) EXPECT_LT(d, 1e-4f);
  rally.Drive(1.0f, 0.0f, 0, 1.0f);
  EXPECT_LT(Vec3Length(rally.Hand() - handbrake[1]), 1e-4f);
  rally.Drive(1.5f, 0.0f, 0, 0.0f);
  EXPECT_LT(Vec3Length(rally.Hand() - onWheel), 1e-4f);

  // A gear change while the handbrake is held: off the handbrake, to the lever, pushed, home.
  rally.Drive(1.5f, 0.0f, 0, 1.0f);
  for (float d : rally.Drive(3.5f, 0.0f, 1, 0.0f, lever)) EXPECT_LT(d, 1e-4f);
  EXPECT_LT(Vec3Length(rally.Hand() - onWheel), 1e-4f);

  host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  delete zk;
  EXPECT_TRUE(library.Close());
}
