// The car driven as a game drives it: the sample cars and their idle scene loaded through the
// facade, the host kit's hub emitting the car's signals and receiving its wiper positions.
#ifdef ZELKAR_ASSET_DIR

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "CountingAllocator.h"
#include "characters/CharacterCar.h"
#include "hostkit/CarSignals.h"
#include "interface/Zelkar.h"
#include "platform/DebugOutput.h"
#include "scenegraph/Node.h"
#include "support/LibraryFixture.h"

namespace {

const std::string kSamples = ZELKAR_ASSET_DIR "/samples/";
// Read before any test runs: the value the process starts with.
const float g_wiperAngleAtLoad = CZK_CharacterCar::lastWiperAngle;
constexpr Quaternion kNoTurn = {0, 0, 0, 1};

std::string g_log;
void Capture(const char* text) { g_log += text; }

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

Vector3 Row(const Matrix& m, int r) { return {m.m[4 * r], m.m[4 * r + 1], m.m[4 * r + 2]}; }

void ExpectNear(const Vector3& a, const Vector3& b, float tolerance, const std::string& what) {
  EXPECT_NEAR(a.x, b.x, tolerance) << what;
  EXPECT_NEAR(a.y, b.y, tolerance) << what;
  EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

// Calls visit on node and every node below it.
void Walk(CZK_Node* node, const std::function<void(CZK_Node*)>& visit) {
  visit(node);
  for (CZK_Node* child : node->children) Walk(child, visit);
}

class CarTest : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    SetSignalHub(host_.Data());
    CZK_CharacterCar::lastWiperAngle = g_wiperAngleAtLoad;
    zk_ = std::make_unique<CZK_Zelkar>();
    zk_->LoadAnimationScene(kSamples + "car_idle.zka", "car_idle");
    g_log.clear();
    previousSink_ = zk_platform::SetDebugSink(&Capture);
  }
  void TearDown() override {
    zk_platform::SetDebugSink(previousSink_);
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
  // The four wheels at rest in the host's axes (x, up, along), unturned.
  void EmitWheels(const Vector3 (&at)[4], const Quaternion (&turn)[4]) {
    zk_hostkit::CWheelState wheels[4];
    for (int i = 0; i < 4; ++i) wheels[i] = {at[i], turn[i]};
    zk_hostkit::EmitCarGeneralState(host_, zk_hostkit::MakeCarGeneralState({}, kNoTurn, wheels));
  }

  zk_hostkit::CHostHub host_;
  zk_hostkit::CWiperPositionReceiver wipers_{host_};
  std::unique_ptr<CZK_Zelkar> zk_;
  zk_platform::DebugSink previousSink_ = nullptr;
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
                                {{-1, 2, 0}, {1, 2, 0}, {-1, 0, 0}, {1, 0, 0}}};
  for (const auto& corners : orders) {
    zk_hostkit::EmitWindscreenData(host_, corners);
    const CSigWiperPosition& got = wipers_.GetLast();
    EXPECT_NEAR(got.leftU, 1 - l.x, 1e-6f);
    EXPECT_NEAR(got.leftV, l.y, 1e-6f);
    EXPECT_NEAR(got.rightU, 1 - r.x, 1e-6f);
    EXPECT_NEAR(got.rightV, r.y, 1e-6f);
  }
  EXPECT_EQ(wipers_.GetCount(), 2);
}

// A wiper turned by a about its own Y axis keeps its Y row and pivot; its X row moves towards
// -Z by a: X' = cos a X - sin a Z.
TEST_F(CarTest, WipersTurnOnlyInTheUpdateAfterTheLeftAngleChanged) {
  CZK_CharacterCar* car = MakeCar("Car1");
  const char* names[4] = {"i_wiper_l", "e_wiper_l", "i_wiper_r", "e_wiper_r"};
  Matrix rest[4];
  for (int i = 0; i < 4; ++i) rest[i] = *Node(car, names[i])->GetMatrix();
  // (left, right) sent before the update, and the angles each update shows.
  const struct {
    float left, right, shownLeft, shownRight;
  } steps[] = {{0.0f, 0.4f, 0.0f, 0.4f},  // 0 differs from the angle at load
               {0.0f, 0.4f, 0.0f, 0.0f},  // unchanged: the time-0 pose
               {0.7f, 0.4f, 0.7f, 0.4f}};
  for (const auto& step : steps) {
    zk_hostkit::EmitWiperRotation(host_, step.left, step.right);
    zk_->Update(1.0f);
    for (int i = 0; i < 4; ++i) {
      const Matrix& m = *Node(car, names[i])->GetMatrix();
      const float a = i < 2 ? step.shownLeft : step.shownRight;
      const Vector3 turned = Row(rest[i], 0) * std::cos(a) - Row(rest[i], 2) * std::sin(a);
      ExpectNear(Row(m, 0), turned, 1e-5f, names[i]);
      ExpectNear(Row(m, 1), Row(rest[i], 1), 1e-5f, names[i]);
      ExpectNear(Row(m, 3), Row(rest[i], 3), 1e-5f, names[i]);
    }
  }
}

// "parent" raised by 0.5 in a second scene. Host wheel (x, up, along) lands at (x, along, up)
// + (0, 0, 0.5); the left front keeps the identity, the right front has rows (-1, 0, 0),
// (0, 1, 0), (0, 0, -1). The tyre under each hub rides on it.
TEST_F(CarTest, HubsTakeTheHostsWheelsWithTheRightSideTurnedHalfAboutY) {
  CZK_CharacterCar* car = MakeCar("Car1");
  AddStaticPRS("raised::parent::PRS", {0, 0, 0.5f});
  Controllers().AddSceneRecord({"raised", 0.0f, 1.0f});
  zk_->AddAnimation("Car1", "raised", 0);
  car->SetAnimation(0, 1);
  EmitWheels({{0.8f, 0.3f, -1.2f}, {-0.8f, 0.35f, -1.3f}, {0.8f, 0.3f, 1.2f}, {-0.8f, 0.3f, 1.2f}},
             {kNoTurn, kNoTurn, kNoTurn, kNoTurn});
  zk_->Update(0.0f);
  const Matrix lf = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.8f, -1.2f, 0.8f, 1}};
  const Matrix rf = {{-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, -0.8f, -1.3f, 0.85f, 1}};
  ExpectMatrixNear(*Node(car, "e_wheelgrunk_lf")->GetMatrix(), lf);
  ExpectMatrixNear(*Node(car, "e_wheelgrunk_rf")->GetMatrix(), rf);
  ExpectMatrixNear(*Node(car, "e_wheel_rf")->GetMatrix(), rf);
}

TEST_F(CarTest, SuspensionLinksStayOrthonormalAndAimAtTheirPoints) {
  CZK_CharacterCar* car = MakeCar("Car1");
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> any(-1.0f, 1.0f);
  const char* partNames[4] = {"hang", "prop", "stag", "susp"};
  for (int round = 0; round < 20; ++round) {
    Vector3 at[4];
    Quaternion turn[4];
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
        const CZK_CarWheelPart& part = wheel.parts.storage[p];
        EXPECT_EQ(part.node->name.substr(7, 4), partNames[p]);
        const Matrix& m = *part.node->GetMatrix();
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(Vec3Dot(Row(m, a), Row(m, b)), a == b ? 1.0f : 0.0f, 1e-5f);
        Vector3 aim = MatrixGetTranslation(part.target->matrix) - MatrixGetTranslation(m);
        D3DXVec3Normalize(&aim, &aim);
        EXPECT_NEAR(Vec3Dot(Row(m, static_cast<int>(part.aimAxis)), aim), part.flip ? -1.0f : 1.0f,
                    1e-5f);
        // The kept row leans the way of the car's own axis (mirrored on the right).
        const Vector3 own =
            Row(*car->GetParentNode()->GetMatrix(), static_cast<int>(part.keepAxis));
        EXPECT_GT(Vec3Dot(Row(m, static_cast<int>(part.keepAxis)), own), wheel.side ? -2 : 0.5f);
        EXPECT_LT(Vec3Dot(Row(m, static_cast<int>(part.keepAxis)), own), wheel.side ? -0.5f : 2);
      }
    }
  }
  // A frame of every signal the car hears, and its update, allocate nothing.
  const long before = AllocationCount();
  for (int frame = 0; frame < 10; ++frame) {
    EmitWheels({{0.8f, 0.3f, -1.2f}, {-0.8f, 0.3f, -1.2f}, {0.8f, 0.3f, 1.2f}, {-0.8f, 0.3f, 1.2f}},
               {kNoTurn, kNoTurn, kNoTurn, kNoTurn});
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
  CZK_Node* bumper = Node(car, "e_bumper_f");
  auto detached = [&] {
    std::string names;
    Walk(car->GetRoot(), [&](CZK_Node* n) { names += n->detached ? n->name + ";" : ""; });
    return names;
  };
  zk_hostkit::EmitDetachFromParent(host_, Node(car, "e_bonnet")->GetAnimObject(1));
  EXPECT_EQ(detached(), "");
  zk_hostkit::EmitDetachFromParent(host_, bumper->GetAnimObject(0));
  EXPECT_EQ(detached(), "e_bumper_f;");
}

// The seated skeleton's own points, in millimetres from its hips: wheel centre (0, -330, 330),
// gear (-260, -260, 150), handbrake pulled (-290, -60, 180).
TEST_F(CarTest, CrewPointsAndCarsWithoutAGearLever) {
  const struct {
    const char* file;
    int noGear;
    Vector3 gear;
  } cars[] = {{"rally_car.zkh", 0, {-260, -260, 150}}, {"rally_car_sequential.zkh", 1, {0, 0, 0}}};
  for (const auto& c : cars) {
    CZK_CharacterCar* car = MakeCar(c.file, c.file);
    EXPECT_EQ(car->GetNoGearLever(), c.noGear) << c.file;
    ExpectNear(car->GetGearHandPoint(), c.gear, 0.01f, c.file);
    ExpectNear(car->GetSteeringWheelPoint(), {0, -330, 330}, 0.01f, c.file);
    ExpectNear(car->GetHandbrakePulledHandPoint(), {-290, -60, 180}, 0.01f, c.file);
  }
}

TEST_F(CarTest, TheLaterCarIsCurrentUntilTheSessionEnds) {
  CZK_CharacterCar* first = MakeCar("Car1");
  zk_->CreateCharacter(kSamples + "rally_car.zkh", "Car2", "cAR");
  CZK_CharacterCar* second = GetLibraryGlobal()->currentCar;
  EXPECT_NE(second, first);
  EXPECT_EQ(Characters().GetCharacter(1), second);
  EXPECT_THROW(zk_->CreateCharacter(kSamples + "none.zkh", "Car3", "car"), std::exception);
  EXPECT_EQ(GetLibraryGlobal()->currentCar, second);
  // The facade's clean-up connection, the receiver and six per car.
  EXPECT_EQ(host_.TotalConnections(), 14u);
  host_.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  EXPECT_EQ(GetLibraryGlobal()->currentCar, nullptr);
  EXPECT_EQ(host_.TotalConnections(), 2u);
}

// Each fault is survived: matrices stay finite, nothing reaches the host, no part is detached,
// and the fault is logged once however often it comes.
TEST_F(CarTest, BadInputIsSurvivedAndLoggedOnce) {
  MakeCar("Car1");
  const float nan = std::nanf(""), inf = INFINITY;
  const struct {
    const char* what;
    std::function<void()> send;
    const char* logged;
  } cases[] = {
      {"wheels",
       [&] {
         EmitWheels({{nan, 0, 0}, {0, 0, 3e38f}, {0, 0, 0}, {0, 0, 0}},
                    {kNoTurn, kNoTurn, {1e30f, 0, 0, 1}, {0, 0, 0, 0}});
       },
       "that wheel keeps its last state"},
      {"wipers", [&] { zk_hostkit::EmitWiperRotation(host_, nan, inf); }, "the wipers keep"},
      {"detach", [&] { zk_hostkit::EmitDetachFromParent(host_, 123456); }, nullptr},
      {"no corner",
       [&] {
         zk_hostkit::EmitWindscreenData(host_, {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 3, 0}});
       },
       "has no corner"},
      {"overflow",
       [&] {
         zk_hostkit::EmitWindscreenData(
             host_, {{3e38f, 0, 0}, {-3e38f, 0, 0}, {3e38f, 3e38f, 0}, {0, 0, 0}});
       },
       "are not finite"},
      {"bare car",
       [&] {
         zk_->CreateCharacter(kSamples + "human_skeleton.zkh", "Bare", "Car");
         zk_->AddAnimation("Bare", "car_idle", 0);
       },
       "has no node \"D_driver_use\""},
  };
  for (const auto& c : cases) {
    g_log.clear();
    c.send();
    zk_->Update(0.0f);
    if (std::string(c.what) != "bare car") c.send();
    zk_->Update(0.0f);
    EXPECT_EQ(Occurrences(g_log, c.logged ? c.logged : "[CZK_CharacterCar"), c.logged ? 1 : 0)
        << c.what << ": " << g_log;
    EXPECT_EQ(wipers_.GetCount(), 0) << c.what;
    for (size_t i = 0; i < Characters().GetCharacterCount(); ++i)
      Walk(Characters().GetCharacter(static_cast<int>(i))->GetRoot(), [&](CZK_Node* n) {
        EXPECT_EQ(n->detached, 0) << c.what << " " << n->name;
        for (float f : n->matrix.m) ASSERT_TRUE(std::isfinite(f)) << c.what << " " << n->name;
      });
  }
}

#endif  // ZELKAR_ASSET_DIR
