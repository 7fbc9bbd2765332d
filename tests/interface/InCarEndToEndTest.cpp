// A host with a rally car, its driver and co-driver made from the sample files through the
// exported facade of libzelkar.so, driving them with car-control records emitted on the host
// kit's hub: the right hand must reach the car's gear and handbrake dummies and come back, and
// the wheel must turn with the steering. Refusals reach the host as the public types it catches.
#include <gtest/gtest.h>
#include <zelkar/Exceptions.h>
#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/Math.h"
#include "hostkit/Host.h"
#include "hostkit/LoadedLibrary.h"

TEST(InCarEndToEnd, DriverReachesTheCarsDummiesAndTurnsTheWheel) {
  const std::string samples = ZELKAR_BINARY_DIR "/assets/samples/";
  zk_hostkit::CHost host;
  // The kit serves every car-control list in its race state, and the driver has two connections
  // on the first one: in state 8 each record reaches it once.
  host.hub.SetApplicationState(8);
  zk_hostkit::CLoadedLibrary library(ZELKAR_SHARED_LIBRARY_PATH);
  auto* zk = static_cast<CZelkarInterfaceExt*>(library.Function<ZK_CreateFunction>("ZK_Create")());
  ASSERT_NE(zk, nullptr);
  const std::string damaged = ::testing::TempDir() + "zelkar-damaged.zka";
  std::ofstream(damaged, std::ios::binary) << "not a scene file at all, only text";
  EXPECT_THROW(zk->LoadAnimationScene("/no/such.zka", "s"), NRQLib2::CRQ_DiskIOException);
  EXPECT_THROW(zk->CreateHumanCharacter("/no/such.zkh", "", "A", "B"),
               NRQLib2::CRQ_DiskIOException);
  EXPECT_THROW(zk->LoadAnimationScene(damaged, "s"), CZK_Exception);
  std::remove(damaged.c_str());
  ASSERT_NO_THROW(zk->CreateCharacter(samples + "rally_car.zkh", "Car", "CAR"));  // any case
  for (const char* person : {"Driver", "CoDriver"})
    ASSERT_NO_THROW(zk->CreateHumanCharacter(samples + "human_skeleton.zkh", "", person, person));
  const char* scenes[3][2] = {
      {"Car", "car_idle"}, {"Driver", "driver_steer"}, {"CoDriver", "codriver_notes"}};
  for (const auto& [name, scene] : scenes) {
    ASSERT_NO_THROW(zk->LoadAnimationScene(samples + scene + ".zka", scene));
    zk->ResolveSceneTargets(scene);
    zk->AddAnimation(name, scene, 0);
    zk->SetAnimation(zk->GetCharacterIndex(name), 0, 0);
  }

  // The car stands at host (1, 2, 3), library (1, 3, 2), unturned.
  CSigCarGeneralState state{};
  state.position = {1, 2, 3};
  state.orientation = {0, 0, 0, 1};
  for (Quaternion& wheel : state.wheelOrientations) wheel = {0, 0, 0, 1};
  host.hub.Emit(zk_hostkit::hub::kCarGeneralStateSignal, state);
  auto at = [&](const char* car, const char* node) {
    return MatrixGetTranslation(*zk->GetNodeMatrix(zk->GetNodeIndex(car, node))) + Vector3{1, 3, 2};
  };
  // The hand in the world: its matrix in the person's millimetres, carried by the person's.
  auto hand = [&] {
    Vector3 world;
    const Vector3 local =
        MatrixGetTranslation(*zk->GetNodeMatrix(zk->GetNodeIndex("Driver", "B_hand R")));
    return *D3DXVec3TransformCoord(&world, &local, zk->GetMatrix(zk->GetCharacterIndex("Driver")));
  };
  // One record per frame for `seconds`; the least distance of the hand to each target (metres).
  float time = 0.0f;
  auto drive = [&](float seconds, float steering, uint32_t buttons, float handbrake,
                   std::vector<Vector3> targets = {}) {
    CSigCarControl control{};
    control.steering = steering;
    control.handbrake = handbrake;
    control.buttons = buttons;  // the gear change is pressed in the first record only
    std::vector<float> nearest(targets.size(), 1e9f);
    for (float t = 0.0f; t < seconds; t += 0.02f, control.buttons = 0) {
      host.hub.Emit(zk_hostkit::hub::kCarControlSignal, control);
      zk->Update(time += 0.02f);
      for (size_t k = 0; k < targets.size(); ++k)
        nearest[k] = std::fmin(nearest[k], Vec3Length(hand() - targets[k]));
    }
    return nearest;
  };
  drive(0.1f, 0.0f, 0, 0.0f);
  const Vector3 onWheel = hand();
  const int wheelNode = zk->GetNodeIndex("Car", "zDi_steeringwheel");
  const Matrix ahead = *zk->GetNodeMatrix(wheelNode);
  const Vector3 seat = at("Car", "D_codriver_use");
  EXPECT_LT(
      Vec3Length(MatrixGetTranslation(*zk->GetMatrix(zk->GetCharacterIndex("CoDriver"))) - seat),
      1e-5f);

  // Steering: the wheel turns about its own Z by the input times the 60° lock.
  for (float steering : {-1.0f, 0.5f}) {
    drive(0.04f, steering, 0, 0.0f);
    Matrix turn, expected;
    D3DXMatrixRotationZ(&turn, steering * 60.0f * zk_math::kDegreesToRadians);
    D3DXMatrixMultiply(&expected, &turn, &ahead);
    for (int k = 0; k < 16; ++k)
      EXPECT_NEAR(zk->GetNodeMatrix(wheelNode)->m[k], expected.m[k], 1e-5f);
  }
  drive(0.1f, 0.0f, 0, 0.0f);

  // A gear change: to the lever, pushed, back to the wheel.
  const std::vector<Vector3> lever = {at("Car", "D_hand R_gear"), at("Car", "D_hand R_gear p")};
  for (float d : drive(3.0f, 0.0f, 1, 0.0f, lever)) EXPECT_LT(d, 1e-4f);
  EXPECT_LT(Vec3Length(hand() - onWheel), 1e-4f);
  // A handbrake pull held for a second stays on the pulled dummy, then goes back on release.
  const std::vector<Vector3> handbrake = {at("Car", "D_hand R_handbrake"),
                                          at("Car", "D_hand R_handbrake p")};
  for (float d : drive(1.5f, 0.0f, 0, 1.0f, handbrake)) EXPECT_LT(d, 1e-4f);
  drive(1.0f, 0.0f, 0, 1.0f);
  EXPECT_LT(Vec3Length(hand() - handbrake[1]), 1e-4f);
  drive(1.5f, 0.0f, 0, 0.0f);
  EXPECT_LT(Vec3Length(hand() - onWheel), 1e-4f);
  // A gear change while the handbrake is held: off the handbrake, to the lever, pushed, home.
  drive(1.5f, 0.0f, 0, 1.0f);
  for (float d : drive(3.5f, 0.0f, 1, 0.0f, lever)) EXPECT_LT(d, 1e-4f);
  EXPECT_LT(Vec3Length(hand() - onWheel), 1e-4f);

  host.hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  delete zk;
  EXPECT_TRUE(library.Close());
}
