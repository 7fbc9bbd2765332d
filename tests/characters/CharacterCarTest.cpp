// The car driven as a game drives it: the sample cars and their idle scene loaded through the
// facade, the host kit's hub emitting the car's signals and receiving its wiper positions.
#ifdef ZELKAR_ASSET_DIR

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "CountingAllocator.h"
#include "InCarTestSupport.h"
#include "hostkit/CarSignals.h"
#include "interface/Zelkar.h"

namespace {

const std::string kSamples = ZELKAR_ASSET_DIR "/samples/";
// Read before any test runs: the value the process starts with.
const float g_wiperAngleAtLoad = CZK_CharacterCar::lastWiperAngle;
constexpr Quaternion kNoTurn = {0, 0, 0, 1};

class CarTest : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    SetSignalHub(host_.Data());
    CZK_CharacterCar::lastWiperAngle = g_wiperAngleAtLoad;
    zk_ = std::make_unique<CZK_Zelkar>();
    zk_->LoadAnimationScene(kSamples + "car_idle.zka", "car_idle");
    CDebugCapture::text.clear();
  }
  void TearDown() override {
    zk_.reset();
    LibraryFixture::TearDown();
  }

  CZK_CharacterCar* MakeCar(const std::string& name, const std::string& file = "rally_car.zkh") {
    zk_->CreateCharacter(kSamples + file, name, "Car");
    zk_->AddAnimation(name, "car_idle", 0);
    return GetLibraryGlobal()->currentCar;
  }
  static CZK_Node* Node(CZK_Character* car, const char* name) {
    return CZK_Node::FindNodeByName(name, car->GetRoot());
  }
  // Calls visit on every node of every character.
  void ForEachNode(const std::function<void(CZK_Node*)>& visit) {
    for (size_t i = 0; i < Characters().GetNodeCount(); ++i)
      visit(Characters().GetNode(static_cast<int>(i)));
  }
  // The four wheels at rest in the host's axes (x, up, along), unturned.
  void EmitWheels(const Vector3 (&at)[4], const Quaternion (&turn)[4]) {
    zk_hostkit::CWheelState wheels[4];
    for (int i = 0; i < 4; ++i) wheels[i] = {at[i], turn[i]};
    zk_hostkit::EmitCarGeneralState(host_, zk_hostkit::MakeCarGeneralState({}, kNoTurn, wheels));
  }

  zk_hostkit::CHostHub host_;
  zk_hostkit::CWiperPositionReceiver wipers_{host_};
  std::unique_ptr<CZK_Zelkar> zk_;
  CDebugCapture log_;  // the library's debug output during the test
};

}  // namespace

// Corners (1, 0, 0), (-1, 0, 0), (1, 2, 0), (-1, 2, 0): U = (-1, 0, 0) and V = (0, 1, 0) from
// (1, 0, 0), so a wiper at (x, y, z) sits at (1 - x, y), whatever order the corners come in.
TEST_F(CarTest, WindscreenPositionsReachTheHostInWindscreenCoordinates) {
  CZK_CharacterCar* car = MakeCar("Car1");
  zk_->Update(0.0f);
  const Vector3 l = MatrixGetTranslation(*Node(car, "i_wiper_l")->GetMatrix());
  const Vector3 r = MatrixGetTranslation(*Node(car, "i_wiper_r")->GetMatrix());
  const Vector3 orders[2][4] = {{{1, 0, 0}, {-1, 0, 0}, {1, 2, 0}, {-1, 2, 0}},
                                {{-1, 0, 0}, {1, 2, 0}, {-1, 2, 0}, {1, 0, 0}}};
  for (const auto& corners : orders) {
    zk_hostkit::EmitWindscreenData(host_, corners);
    const CSigWiperPosition& got = wipers_.GetLast();
    ExpectVectorNear({got.leftU, got.leftV, got.rightU}, {1 - l.x, l.y, 1 - r.x}, 1e-6f);
    EXPECT_NEAR(got.rightV, r.y, 1e-6f);
  }
  EXPECT_EQ(wipers_.GetCount(), 2);
}

// A wiper turned by a about its own Y axis keeps its Y row and pivot, and its X row becomes
// cos a X - sin a Z.
TEST_F(CarTest, WipersTurnOnlyInTheUpdateAfterTheLeftAngleChanged) {
  CZK_CharacterCar* car = MakeCar("Car1");
  const char* names[4] = {"i_wiper_l", "e_wiper_l", "i_wiper_r", "e_wiper_r"};
  Matrix rest[4];
  for (int i = 0; i < 4; ++i) rest[i] = *Node(car, names[i])->GetMatrix();
  // Angles sent (left, right), then the angles the update shows.
  const float steps[3][4] = {{0.0f, 0.4f, 0.0f, 0.4f},   // 0 differs from the angle at load
                             {0.0f, 0.4f, 0.0f, 0.0f},   // unchanged: the time-0 pose
                             {0.7f, 0.4f, 0.7f, 0.4f}};  // the left angle changed
  for (const auto& step : steps) {
    zk_hostkit::EmitWiperRotation(host_, step[0], step[1]);
    zk_->Update(1.0f);
    for (int i = 0; i < 4; ++i) {
      const Matrix& m = *Node(car, names[i])->GetMatrix();
      const float a = step[i < 2 ? 2 : 3];
      const Vector3 turned = Row(rest[i], 0) * std::cos(a) - Row(rest[i], 2) * std::sin(a);
      ExpectVectorNear(Row(m, 0), turned);
      ExpectVectorNear(Row(m, 1), Row(rest[i], 1));
      ExpectVectorNear(Row(m, 3), Row(rest[i], 3));
    }
  }
}

// Before any car state the hubs stand as loaded. Then host wheel (x, up, along) lands at
// (x, along, up); the left front keeps the identity, the right front has rows (-1, 0, 0),
// (0, 1, 0), (0, 0, -1), and the tyre rides on it. Back wheels at one place with one turn differ
// by the right one's first and third rows.
TEST_F(CarTest, HubsTakeTheHostsWheelsWithTheRightSideTurnedHalfAboutY) {
  CZK_CharacterCar* car = MakeCar("Car1");
  zk_->Update(0.0f);
  ExpectMatrixNear(*Node(car, "e_wheelgrunk_rb")->GetMatrix(),
                   Node(car, "e_wheelgrunk_rb")->bindMatrix);
  const Quaternion q = {0.36f, 0.48f, 0.0f, 0.8f};  // the back wheels share a turn
  EmitWheels({{0.8f, 0.3f, -1.2f}, {-0.8f, 0.35f, -1.3f}, {0.8f, 0.3f, 1.2f}, {0.8f, 0.3f, 1.2f}},
             {kNoTurn, kNoTurn, q, q});
  zk_->Update(0.0f);
  const Matrix lf = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.8f, -1.2f, 0.3f, 1}};
  const Matrix rf = {{-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, -0.8f, -1.3f, 0.35f, 1}};
  ExpectMatrixNear(*Node(car, "e_wheelgrunk_lf")->GetMatrix(), lf);
  ExpectMatrixNear(*Node(car, "e_wheelgrunk_rf")->GetMatrix(), rf);
  ExpectMatrixNear(*Node(car, "e_wheel_rf")->GetMatrix(), rf);
  Matrix lb = *Node(car, "e_wheelgrunk_lb")->GetMatrix();
  for (int k : {0, 1, 2, 8, 9, 10}) lb.m[k] = -lb.m[k];
  ExpectMatrixNear(*Node(car, "e_wheelgrunk_rb")->GetMatrix(), lb);
}

// After random wheel states every link has orthonormal rows, its aim row on its aim point
// (away from it with flip), its kept row along the car's own (mirrored on the right). Then
// frames of every signal the car hears allocate nothing.
TEST_F(CarTest, SuspensionLinksStayOrthonormalAndAimAtTheirPoints) {
  CZK_CharacterCar* car = MakeCar("Car1");
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> any(-1.0f, 1.0f);
  Vector3 at[4];
  Quaternion turn[4];
  for (int round = 0; round < 10; ++round) {
    for (int i = 0; i < 4; ++i) {
      at[i] = {(i % 2 ? -0.78f : 0.78f) + 0.05f * any(rng), 0.31f + 0.1f * any(rng),
               (i < 2 ? -1.26f : 1.26f) + 0.05f * any(rng)};
      const Quaternion q = {any(rng), any(rng), any(rng), any(rng)};
      D3DXQuaternionNormalize(&turn[i], &q);
    }
    EmitWheels(at, turn);
    zk_->Update(0.0f);
    ASSERT_EQ(car->GetWheels().count, 4u);
    for (const CZK_CarWheel& wheel : car->GetWheels()) {
      ASSERT_EQ(wheel.parts.count, 4u);
      for (uint32_t p = 0; p < 4; ++p) {
        // hang, prop, stag aim their X row (away on the left), susp its Y row away.
        const CZK_CarWheelPart& part = wheel.parts.storage[p];
        const int aimRow = p == 3 ? 1 : 0, keepRow = 1 - aimRow;
        const bool away = p == 3 || wheel.side == 0;
        const Matrix& m = *part.node->GetMatrix();
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(Vec3Dot(Row(m, a), Row(m, b)), a == b ? 1.0f : 0.0f, 1e-5f);
        Vector3 aim = MatrixGetTranslation(part.target->matrix) - MatrixGetTranslation(m);
        D3DXVec3Normalize(&aim, &aim);
        EXPECT_NEAR(Vec3Dot(Row(m, aimRow), aim), away ? -1.0f : 1.0f, 1e-5f);
        const float own =
            Vec3Dot(Row(m, keepRow), Row(*car->GetParentNode()->GetMatrix(), keepRow));
        EXPECT_GT(wheel.side ? -own : own, 0.5f);
      }
    }
  }
  const long before = AllocationCount();
  for (int frame = 0; frame < 10; ++frame) {
    EmitWheels(at, turn);
    zk_hostkit::EmitWiperRotation(host_, 0.1f * static_cast<float>(frame), 0.2f);
    zk_hostkit::EmitWindscreenData(host_, {{1, 0, 0}, {-1, 0, 0}, {1, 2, 0}, {-1, 2, 0}});
    zk_->Update(0.0f);
  }
  EXPECT_EQ(AllocationCount(), before);
  EXPECT_EQ(wipers_.GetCount(), 10);
}

// Two animations give every part two objects; only the first animation's object names it.
TEST_F(CarTest, DetachFindsThePartByItsFirstAnimatedObject) {
  CZK_CharacterCar* car = MakeCar("Car1");
  zk_->AddAnimation("Car1", "car_idle", 0);
  auto detached = [&] {
    std::string names;
    ForEachNode([&](CZK_Node* n) { names += n->detached ? n->name + ";" : ""; });
    return names;
  };
  zk_hostkit::EmitDetachFromParent(host_, Node(car, "e_bonnet")->GetAnimObject(1));
  EXPECT_EQ(detached(), "");
  zk_hostkit::EmitDetachFromParent(host_, Node(car, "e_bumper_f")->GetAnimObject(0));
  EXPECT_EQ(detached(), "e_bumper_f;");
}

// The sequential car has no lever. The later car is the current one until the session ends or
// it is removed, which hands the place to the car before it; a car that fails to load changes
// nothing.
TEST_F(CarTest, GearlessCarAndTheCurrentCar) {
  CZK_CharacterCar* cars[2] = {MakeCar("Car1"), MakeCar("Car2", "rally_car_sequential.zkh")};
  for (int i = 0; i < 2; ++i) EXPECT_EQ(cars[i]->GetNoGearLever(), i);
  EXPECT_THROW(zk_->CreateCharacter(kSamples + "none.zkh", "Car3", "cAR"), std::exception);
  EXPECT_EQ(GetLibraryGlobal()->currentCar, cars[1]);
  EXPECT_EQ(host_.TotalConnections(), 14u);  // the facade's, the receiver's, six per car
  zk_->RemoveCharacter(zk_->GetCharacterIndex("Car2"));
  EXPECT_EQ(GetLibraryGlobal()->currentCar, cars[0]);
  EXPECT_EQ(host_.TotalConnections(), 8u);
  host_.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  EXPECT_EQ(GetLibraryGlobal()->currentCar, nullptr);
  EXPECT_EQ(host_.TotalConnections(), 2u);
}

// Each fault is survived: matrices stay finite, nothing reaches the host, no part is detached,
// and the fault is logged once however often it comes (a detach naming nothing, not at all).
TEST_F(CarTest, BadInputIsSurvivedAndLoggedOnce) {
  MakeCar("Car1");
  EXPECT_EQ(CDebugCapture::text, "");  // a complete car has nothing to report
  const float nan = std::nanf("");
  const Vector3 noLeft[4] = {{1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}};
  const Vector3 noTop[4] = {{1, -FLT_MAX, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 2, 0}};
  const Vector3 huge[4] = {{3e38f, 0, 0}, {-3e38f, 0, 0}, {3e38f, 3e38f, 0}, {0, 0, 0}};
  // clang-format off
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"that wheel keeps its last state", [&] {
         EmitWheels({{nan, 0, 0}, {0, 0, 3e38f}, {}, {}}, {kNoTurn, kNoTurn, {1e30f, 0, 0, 1}, {}}); }},
      {"the wipers keep", [&] { zk_hostkit::EmitWiperRotation(host_, nan, INFINITY); }},
      {"", [&] { zk_hostkit::EmitDetachFromParent(host_, 123456); }},
      {"has no corner", [&] {
         zk_hostkit::EmitWindscreenData(host_, noLeft);
         zk_hostkit::EmitWindscreenData(host_, noTop); }},
      {"are not finite", [&] { zk_hostkit::EmitWindscreenData(host_, huge); }},
      {"has no node \"D_driver_use\"", [&] {  // a second character made as a car, without dummies
         if (Characters().GetCharacterCount() == 1)
           zk_->CreateCharacter(kSamples + "human_skeleton.zkh", "Bare", "Car");
         zk_->AddAnimation("Bare", "car_idle", 0); }}};
  // clang-format on
  for (const auto& [text, send] : cases) {
    const char* logged = text;  // a structured binding is not captured by older compilers
    CDebugCapture::text.clear();
    for (int twice = 0; twice < 2; ++twice) {
      send();
      zk_->Update(0.0f);
    }
    const std::string& log = CDebugCapture::text;
    EXPECT_EQ(CDebugCapture::Count(*logged ? logged : "[CZK_CharacterCar"), *logged ? 1 : 0) << log;
    EXPECT_EQ(wipers_.GetCount(), 0) << logged;
    ForEachNode([&](CZK_Node* n) {
      EXPECT_EQ(n->detached, 0) << logged << " " << n->name;
      for (float f : n->matrix.m) ASSERT_TRUE(std::isfinite(f)) << logged << " " << n->name;
    });
  }
}

#endif  // ZELKAR_ASSET_DIR
