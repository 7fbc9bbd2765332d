// The scene file loader: chunk walking, every controller and key type, naming and registration
// order, and refusal of damaged files with the library left as it was.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "animation/AnimationScene.h"
#include "animation/SceneLoader.h"
#include "animation/SceneLoaderTestSupport.h"
#include "controllers/ConstraintControllers.h"
#include "files/DiskReader.h"
#include "foundation/DiskWriter.h"
#include "foundation/Exceptions.h"
#include "scenegraph/IKChain.h"
#include "support/LibraryFixture.h"

namespace {

using zk_test::AxisAngleQuaternion;
using zk_test::SceneBytes;

constexpr float kTolerance = 1e-5f;
const char kSceneHeaderMessage[] =
    "[CZK_3DSMAXAnimationLoader::LoadSceneFromBuf] scene doesn't have a valid header..";

// Element by element for vectors and quaternions.
template <class T>
void ExpectNear(const T& a, const std::type_identity_t<T>& b, float tolerance = kTolerance) {
  const auto* x = reinterpret_cast<const float*>(&a);
  const auto* y = reinterpret_cast<const float*>(&b);
  for (size_t i = 0; i < sizeof(T) / sizeof(float); ++i)
    EXPECT_NEAR(x[i], y[i], tolerance) << "element " << i;
}

// The Hamilton product a·b (b applied first when rotating a vector as a·v·a*).
Quaternion Hamilton(const Quaternion& a, const Quaternion& b) {
  return {
      a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
      a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

void ExpectCounts(const CZK_ControllerManager::Counts& a, const CZK_ControllerManager::Counts& b) {
  using Tally = std::array<size_t, 5>;
  EXPECT_EQ((Tally{a.scenes, a.animObjects, a.controllers, a.sceneRecords, a.ikChains}),
            (Tally{b.scenes, b.animObjects, b.controllers, b.sceneRecords, b.ikChains}));
}

class SceneLoaderTest : public LibraryFixture {
 protected:
  // Loads the bytes as the scene sceneName, from a reader standing for the file "walk.zks".
  void Load(const std::vector<uint8_t>& bytes, const std::string& sceneName = "Walk") {
    CDiskReader reader;
    reader.LoadFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), "walk.zks");
    CZK_3DSMAXAnimationLoader loader;
    loader.LoadScene("walk.zks", sceneName, &reader);
    rangeIndex_ = loader.GetSceneRangeIndex();
    EXPECT_EQ(loader.GetReader(), nullptr);
  }

  // Loads and expects a CZK_Exception whose text contains every fragment; returns the text.
  std::string Refuse(const std::vector<uint8_t>& bytes, std::vector<std::string> fragments) {
    const CZK_ControllerManager::Counts mark = Controllers().GetCounts();
    const std::string text = zk_test::RefusalText([&] { Load(bytes); }, fragments);
    ExpectCounts(Controllers().GetCounts(), mark);
    return text;
  }

  template <class T>
  T* Find(const std::string& name) {
    const int index = Controllers().FindController(name.c_str());
    if (index < 0) return nullptr;
    return dynamic_cast<T*>(Controllers().GetController(index));
  }

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < Controllers().GetControllerCount(); ++i)
      names.push_back(Controllers().GetController(i)->GetName());
    return names;
  }

  template <class Track>
  Track* TrackOf(const std::string& name) {
    using Controller = std::conditional_t<
        std::is_base_of_v<CZK_AnimTrackFloat, Track>, CZK_AnimationControllerFloat,
        std::conditional_t<std::is_base_of_v<CZK_AnimTrackPosition, Track>,
                           CZK_AnimationControllerPositionVector,
                           std::conditional_t<std::is_base_of_v<CZK_AnimTrackRotation, Track>,
                                              CZK_AnimationControllerRotationQuaternion,
                                              CZK_AnimationControllerScale>>>;
    Controller* controller = Find<Controller>(name);
    if (controller == nullptr) return nullptr;
    return dynamic_cast<Track*>(controller->GetTrack());
  }

  uint32_t rangeIndex_ = 0;
};

// One object with a single-track controller of class/subclass whose track holds the keys that
// `keys` writes.
template <class WriteKeys>
std::vector<uint8_t> OneTrack(const std::string& object, uint32_t cls, uint32_t subclass,
                              uint32_t keyType, uint32_t count, WriteKeys keys) {
  SceneBytes b;
  b.Header().Object(object).Begin(cls, subclass).Track(keyType, count);
  keys(b);
  b.End().End().End();
  return b.bytes;
}

// ---- Layout and top-level chunks ------------------------------------------------------------

TEST_F(SceneLoaderTest, HeaderOnlyLoadsNothing) {
  const CZK_ControllerManager::Counts mark = Controllers().GetCounts();
  SceneBytes b;
  b.Header();
  ASSERT_EQ(b.bytes.size(), 23u);
  EXPECT_NO_THROW(Load(b.bytes));
  ExpectCounts(Controllers().GetCounts(), mark);
}

TEST_F(SceneLoaderTest, TwentyFourBytesAfterTheHeaderAreOneSceneRange) {
  SceneBytes b;
  b.Header();
  const uint8_t range[24] = {8, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0,
                             8, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0x40};
  b.bytes.insert(b.bytes.end(), range, range + sizeof(range));
  Controllers().AddSceneRecord({"Other", 5.0f, 6.0f});
  Load(b.bytes, "Walk");
  ASSERT_EQ(Controllers().GetSceneRecordCount(), 2);
  EXPECT_EQ(rangeIndex_, 1u);
  const SceneRecord& record = Controllers().GetSceneRecord(1);
  EXPECT_EQ(std::tie(record.name, record.start, record.end), std::make_tuple("Walk", 0.0f, 2.0f));
  EXPECT_EQ(Controllers().GetControllerCount(), 0);
  EXPECT_EQ(Controllers().GetSceneCount(), 0);  // no controller, so no scene bookkeeping
}

TEST_F(SceneLoaderTest, WrongHeadersAreRefusedWithTheHeaderMessage) {
  SceneBytes good;
  good.Header().Begin(20, 0).F32(0).F32(1).End();
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back(good.bytes);
  bad.back()[22] = '!';  // the zero after the text
  bad.push_back(good.bytes);
  bad.back()[2] = 'z';
  bad.push_back(std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 22));
  bad.push_back({});
  for (const auto& bytes : bad) {
    const std::string text = Refuse(bytes, {});
    EXPECT_EQ(text, kSceneHeaderMessage);
  }
  EXPECT_EQ(Controllers().GetSceneRecordCount(), 0);
}

TEST_F(SceneLoaderTest, UnknownChunksAreSkippedAndBothNeighboursLoad) {
  SceneBytes b;
  b.Header();
  b.Object("A").Begin(11, 24).Track(46, 1).F32(0).F32(1.5f).End().End().End();
  b.Begin(99, 3).U32(1).U32(2).Str("ignored").End();
  b.Begin(6, 22).Str("NotAnObject").Begin(11, 24).End().End();  // object chunk of another subclass
  b.Object("Odd").Begin(7, 77).U32(5).End().End();              // controller pair not in the table
  b.Object("B").Begin(11, 24).Track(46, 1).F32(0).F32(2.5f).End().End().End();
  Load(b.bytes);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Walk::A", "Walk::B"}));
  EXPECT_EQ(Find<CZK_AnimationControllerFloat>("Walk::A")->GetValue(0.0f), 1.5f);
  EXPECT_EQ(Find<CZK_AnimationControllerFloat>("Walk::B")->GetValue(0.0f), 2.5f);
  EXPECT_EQ(Controllers().GetSceneCount(), 1);
  EXPECT_EQ(Controllers().GetScene(0)->name, "Walk");
}

TEST_F(SceneLoaderTest, LoadingTheSameSceneTwiceAddsASecondSet) {
  SceneBytes b;
  b.Header().Object("A").Begin(11, 24).Track(46, 1).F32(0).F32(1).End().End().End();
  b.Begin(20, 0).F32(0).F32(3).End();
  Load(b.bytes);
  EXPECT_EQ(rangeIndex_, 0u);
  Load(b.bytes);
  EXPECT_EQ(rangeIndex_, 1u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Walk::A", "Walk::A"}));
  EXPECT_EQ(Controllers().FindController("Walk::A"), 1);  // the last registration wins
  EXPECT_EQ(Controllers().GetSceneRecordCount(), 2);
  EXPECT_EQ(Controllers().GetSceneCount(), 2);
}

TEST_F(SceneLoaderTest, ReadsAFileWrittenByTheDiskWriter) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("zelkar_scene_" + std::to_string(std::random_device{}()) + ".zks");
  {
    CDiskWriter w;
    w.Create(path.string());
    const char header[] = "[[ZELKAR:SCENE:HDR]]!!";
    w.WriteBytes(header, sizeof(header));
    const uint32_t object[2] = {6, 21}, controller[2] = {11, 24}, track[2] = {13, 46},
                   range[2] = {20, 0};
    w.BeginChunk(object, 8);
    w.WriteString("Lid");
    w.BeginChunk(controller, 8);
    w.BeginChunk(track, 8);
    for (uint32_t v : {0u, 0u, 2u}) w.WriteDword(v);  // before, after, key count
    for (float v : {0.0f, 0.0f, 2.0f, 1.0f}) w.WriteFloat(v);
    for (int level = 0; level < 3; ++level) w.EndChunk();
    w.BeginChunk(range, 8);
    for (float v : {0.0f, 2.0f}) w.WriteFloat(v);
    w.EndChunk();
    w.Close();
  }
  CZK_3DSMAXAnimationLoader loader;
  loader.LoadScene(path.string(), "Open", nullptr);
  std::filesystem::remove(path);
  EXPECT_EQ(loader.GetPath(), path.string());
  EXPECT_EQ(loader.GetSceneName(), "Open");
  EXPECT_EQ(loader.GetNamePrefix(), "Open::");
  EXPECT_EQ(loader.GetCurrentObjectName(), "Lid");
  EXPECT_EQ(loader.GetReader(), nullptr);
  const auto* lid = Find<CZK_AnimationControllerFloat>("Open::Lid");
  ASSERT_NE(lid, nullptr);
  EXPECT_FLOAT_EQ(lid->GetValue(0.5f), 0.25f);
  EXPECT_EQ(Controllers().GetSceneRecord(0).end, 2.0f);
}

TEST_F(SceneLoaderTest, MissingFileThrowsTheReadersError) {
  CZK_3DSMAXAnimationLoader loader;
  try {
    loader.LoadScene("/nonexistent/walk.zks", "Walk", nullptr);
    FAIL() << "no exception";
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    EXPECT_STREQ(e.what(), "error opening file: /nonexistent/walk.zks");
  }
  EXPECT_EQ(loader.GetReader(), nullptr);
}

TEST_F(SceneLoaderTest, AGivenReaderIsReadFromItsStart) {
  SceneBytes b;
  b.Header().Begin(20, 0).F32(1).F32(4).End();
  CDiskReader reader;
  reader.LoadFromMemory(b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), "mem");
  reader.Seek(17);
  CZK_3DSMAXAnimationLoader loader;
  loader.LoadScene("mem", "Run", &reader);
  ASSERT_EQ(Controllers().GetSceneRecordCount(), 1);
  EXPECT_EQ(Controllers().GetSceneRecord(0).name, "Run");
  EXPECT_EQ(Controllers().GetSceneRecord(0).start, 1.0f);
}

// ---- Controllers, naming and registration ----------------------------------------------------

// A PRS whose position is an XYZ controller: every controller named after the object, children
// registered before their parent, and the transform composed from the sampled parts.
TEST_F(SceneLoaderTest, PRSWithXYZPositionIsNamedAndRegisteredChildrenFirst) {
  SceneBytes b;
  b.Header().Object("Hand").Begin(7, 28);
  b.Begin(8, 31);
  const float axisValues[3] = {1.0f, 2.0f, 3.0f};
  for (float v : axisValues) b.Begin(0, 0).Track(46, 1).F32(0).F32(v).End().End();
  b.End();
  b.Begin(9, 27).Track(44, 1).F32(0).AxisAngle(0.6f, 0, 0, 1).End().End();
  b.Begin(10, 0).Track(45, 1).F32(0).Vec3(2, 3, 4).AxisAngle(0, 1, 0, 0).End().End();
  b.End().End();
  Load(b.bytes);

  EXPECT_EQ(Names(), (std::vector<std::string>{
                         "Walk::Hand::pos::x", "Walk::Hand::pos::y", "Walk::Hand::pos::z",
                         "Walk::Hand::pos", "Walk::Hand::rot", "Walk::Hand::scale", "Walk::Hand"}));
  auto* prs = Find<CZK_AnimationControllerPRS>("Walk::Hand");
  ASSERT_NE(prs, nullptr);
  auto* xyz = Find<CZK_AnimationControllerPositionXYZ>("Walk::Hand::pos");
  EXPECT_EQ(prs->GetPosition(), xyz);
  EXPECT_EQ(prs->GetRotation(), Find<CZK_AnimationControllerRotationQuaternion>("Walk::Hand::rot"));
  EXPECT_EQ(prs->GetScale(), Find<CZK_AnimationControllerScale>("Walk::Hand::scale"));
  EXPECT_EQ(xyz->GetAxis(0), Find<CZK_AnimationControllerFloat>("Walk::Hand::pos::x"));
  EXPECT_EQ(xyz->GetAxis(2), Find<CZK_AnimationControllerFloat>("Walk::Hand::pos::z"));

  // S·R·T built by hand.
  Matrix s, r, t, sr, expected, actual;
  const Quaternion q = AxisAngleQuaternion(0.6f, 0, 0, 1);
  D3DXMatrixScaling(&s, 2, 3, 4);
  D3DXMatrixRotationQuaternion(&r, &q);
  D3DXMatrixTranslation(&t, 1, 2, 3);
  D3DXMatrixMultiply(&sr, &s, &r);
  D3DXMatrixMultiply(&expected, &sr, &t);
  prs->Evaluate(&actual, 0.0f, nullptr);
  ExpectMatrixNear(actual, expected);
}

TEST_F(SceneLoaderTest, EulerAxesAreNamedUnderTheRotation) {
  SceneBytes b;
  b.Header().Object("Head").Begin(7, 28);
  b.Begin(8, 26).Track(43, 1).F32(0).Vec3(0, 0, 0).End().End();
  b.Begin(9, 32);
  for (int axis = 0; axis < 3; ++axis) b.Begin(0, 0).Track(46, 1).F32(0).F32(0.1f).End().End();
  b.End();
  b.Begin(10, 0).Track(45, 1).F32(0).Vec3(1, 1, 1).AxisAngle(0, 1, 0, 0).End().End();
  b.End().End();
  Load(b.bytes);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"Walk::Head::pos", "Walk::Head::rot::x", "Walk::Head::rot::y",
                                      "Walk::Head::rot::z", "Walk::Head::rot", "Walk::Head::scale",
                                      "Walk::Head"}));
  auto* euler = Find<CZK_AnimationControllerEulerXYZ>("Walk::Head::rot");
  ASSERT_NE(euler, nullptr);
  EXPECT_EQ(euler->GetAxis(1), Find<CZK_AnimationControllerFloat>("Walk::Head::rot::y"));
}

TEST_F(SceneLoaderTest, ASubChunkOfAnotherClassLeavesItsSlotEmptyAndTheNextIsRead) {
  SceneBytes b;
  b.Header().Object("Box").Begin(7, 28);
  b.Begin(8, 26).Track(43, 1).F32(0).Vec3(5, 6, 7).End().End();
  b.Begin(8, 26).Track(43, 1).F32(0).Vec3(1, 1, 1).End().End();  // rotation slot of class 8
  b.Begin(10, 0).Track(45, 1).F32(0).Vec3(2, 2, 2).AxisAngle(0, 1, 0, 0).End().End();
  b.End().End();
  Load(b.bytes);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Walk::Box::pos", "Walk::Box::scale", "Walk::Box"}));
  auto* prs = Find<CZK_AnimationControllerPRS>("Walk::Box");
  EXPECT_EQ(prs->GetRotation(), nullptr);
  ASSERT_NE(prs->GetScale(), nullptr);
  ExpectNear(prs->GetScale()->GetFactors(0.0f), {2, 2, 2});
}

// A track chunk of another class leaves the controller without a track; a key count of zero gives
// an empty prepared track.
TEST_F(SceneLoaderTest, MissingOrEmptyTracks) {
  SceneBytes b;
  b.Header().Object("Dial").Begin(11, 24).Begin(14, 46).U32(0).U32(0).U32(1).End().End().End();
  Load(b.bytes);
  auto* dial = Find<CZK_AnimationControllerFloat>("Walk::Dial");
  ASSERT_NE(dial, nullptr);
  EXPECT_EQ(dial->GetTrack(), nullptr);

  Load(OneTrack("Empty", 11, 24, 42, 0, [](SceneBytes&) {}));
  auto* track = TrackOf<CZK_AnimTrackFloatTCB>("Walk::Empty");
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->GetKeyCount(), 0u);
  EXPECT_EQ(track->GetRefCount(), 1u);
}

TEST_F(SceneLoaderTest, OutOfRangeKindsAreCopied) {
  SceneBytes b;
  b.Header().Object("Spin").Begin(11, 24).Track(46, 2, 1, 3);
  b.F32(0).F32(0).F32(1).F32(10);
  b.End().End().End();
  Load(b.bytes);
  auto* track = TrackOf<CZK_AnimTrackFloatLinear>("Walk::Spin");
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->outOfRangeBefore, 1u);
  EXPECT_EQ(track->outOfRangeAfter, 3u);
}

// ---- Key records ----------------------------------------------------------------------------

TEST_F(SceneLoaderTest, FloatKeysGoToTheirFields) {
  Load(OneTrack("Lin", 11, 24, 46, 2, [](SceneBytes& b) { b.F32(0).F32(2).F32(2).F32(6); }));
  auto* linear = TrackOf<CZK_AnimTrackFloatLinear>("Walk::Lin");
  ASSERT_NE(linear, nullptr);
  EXPECT_EQ(linear->GetKey(1).time, 2.0f);
  EXPECT_EQ(linear->GetKey(1).value, 6.0f);
  EXPECT_NEAR(linear->Evaluate(0.5f), 3.0f, kTolerance);

  // value; in (dt, dv); out (dt, dv). Tangents of a third of the step make the curve a line.
  Load(OneTrack("Bez", 11, 24, 38, 2, [](SceneBytes& b) {
    b.F32(0).F32(0).F32(-0.5f).F32(-7).F32(1.0f / 3).F32(10.0f / 3);
    b.F32(1).F32(10).F32(-1.0f / 3).F32(-10.0f / 3).F32(0.25f).F32(9);
  }));
  auto* bezier = TrackOf<CZK_AnimTrackFloatBezier>("Walk::Bez");
  ASSERT_NE(bezier, nullptr);
  const auto &b0 = bezier->GetKey(0), &b1 = bezier->GetKey(1);
  EXPECT_EQ(
      (std::array{b0.inTangent.dt, b0.inTangent.dv, b0.outTangent.dt, b1.outTangent.dv, b1.value}),
      (std::array{-0.5f, -7.0f, 1.0f / 3, 9.0f, 10.0f}));
  EXPECT_NEAR(bezier->Evaluate(0.25f), 2.5f, 1e-4f);

  Load(OneTrack("Tcb", 11, 24, 42, 2, [](SceneBytes& b) {
    b.F32(0).F32(0).Tcb(0, 0, 0, 0, 0);
    b.F32(1).F32(10).Tcb(0.1f, 0.2f, 0.3f, 0.4f, 0.5f);
  }));
  auto* tcb = TrackOf<CZK_AnimTrackFloatTCB>("Walk::Tcb");
  ASSERT_NE(tcb, nullptr);
  const CZK_KeyFrameTCBFloat& k = tcb->GetKey(1);
  EXPECT_EQ((std::array{k.tension, k.continuity, k.bias, k.easeIn, k.easeOut}),
            (std::array{0.1f, 0.2f, 0.3f, 0.4f, 0.5f}));
  EXPECT_EQ(tcb->GetKey(0).easeOut, 0.0f);
  // Two keys: each tangent is (1 - the key's tension) times the step.
  EXPECT_NEAR(tcb->GetKey(0).outTangent, 10.0f, kTolerance);
  EXPECT_NEAR(tcb->GetKey(1).inTangent, 9.0f, kTolerance);  // (1 - 0.1)·10
}

TEST_F(SceneLoaderTest, PositionKeysGoToTheirFields) {
  Load(OneTrack("Lin", 8, 26, 43, 2, [](SceneBytes& b) {
    b.F32(0).Vec3(1, 2, 3);
    b.F32(4).Vec3(5, 10, -1);
  }));
  auto* linear = TrackOf<CZK_AnimTrackPositionLinear>("Walk::Lin");
  ASSERT_NE(linear, nullptr);
  Vector3 v;
  ExpectNear(*linear->Evaluate(&v, 1.0f), {2, 4, 2});

  Load(OneTrack("Tcb", 8, 26, 39, 2, [](SceneBytes& b) {
    b.F32(0).Vec3(0, 0, 0).Tcb(0, 0, 0, 0, 0);
    b.F32(2).Vec3(2, 4, 6).Tcb(0.5f, -0.25f, 0.75f, 0, 0);
  }));
  auto* tcb = TrackOf<CZK_AnimTrackPositionTCB>("Walk::Tcb");
  ASSERT_NE(tcb, nullptr);
  const CZK_KeyFrameTCBPosition& k = tcb->GetKey(1);
  EXPECT_EQ((std::array{k.value.z, k.tension, k.continuity, k.bias}),
            (std::array{6.0f, 0.5f, -0.25f, 0.75f}));
  ExpectNear(tcb->GetKey(0).outTangent, {2, 4, 6});
  ExpectNear(tcb->GetKey(1).inTangent, {1, 2, 3});  // (1 - 0.5)·Δ
}

// The six (dt, dv) pairs are the in-tangents of x, z, y and then the out-tangents of x, z, y.
// Tangents of a third of each axis's step make every axis a straight line, which only comes out
// when each pair lands on its own axis.
TEST_F(SceneLoaderTest, BezierPositionTangentsComeInTheOrderXZY) {
  Load(OneTrack("Arm", 8, 26, 35, 2, [](SceneBytes& b) {
    const float third = 1.0f / 3;
    b.F32(0).Vec3(0, 0, 0);
    b.F32(0).F32(0).F32(0).F32(0).F32(0).F32(0);              // in x, z, y
    b.F32(third).F32(1).F32(third).F32(3).F32(third).F32(2);  // out x, z, y
    b.F32(1).Vec3(3, 6, 9);
    b.F32(-third).F32(-1).F32(-third).F32(-3).F32(-third).F32(-2);  // in x, z, y
    b.F32(0.5f).F32(11).F32(0.5f).F32(33).F32(0.5f).F32(22);        // out x, z, y
  }));
  auto* track = TrackOf<CZK_AnimTrackPositionBezier>("Walk::Arm");
  ASSERT_NE(track, nullptr);
  const CZK_KeyFrameBezierPosition& k0 = track->GetKey(0);
  const CZK_KeyFrameBezierPosition& k1 = track->GetKey(1);
  EXPECT_EQ((std::array{k0.outTangent[0].dv, k0.outTangent[1].dv, k0.outTangent[2].dv}),
            (std::array{1.0f, 2.0f, 3.0f}));
  EXPECT_EQ((std::array{k1.inTangent[1].dv, k1.inTangent[2].dv}), (std::array{-2.0f, -3.0f}));
  EXPECT_EQ((std::array{k1.outTangent[0].dv, k1.outTangent[1].dv, k1.outTangent[2].dv}),
            (std::array{11.0f, 22.0f, 33.0f}));
  for (float u : {0.2f, 0.5f, 0.8f}) {
    Vector3 v;
    ExpectNear(*track->Evaluate(&v, u), {3 * u, 6 * u, 9 * u}, 1e-4f);
  }
}

TEST_F(SceneLoaderTest, AbsoluteRotationKeysAreAxisAngleQuaternions) {
  for (uint32_t keyType : {44u, 36u}) {
    Controllers().Clear();
    Load(OneTrack("Lid", 9, 27, keyType, 2, [](SceneBytes& b) {
      b.F32(0).AxisAngle(0.4f, 0, 1, 0);
      b.F32(1).AxisAngle(1.2f, 0, 1, 0);  // absolute: not added to the first
    }));
    auto* controller = Find<CZK_AnimationControllerRotationQuaternion>("Walk::Lid");
    ASSERT_NE(controller, nullptr);
    CZK_AnimTrackRotation* track = controller->GetTrack();
    Quaternion q;
    ExpectNear(*track->Evaluate(&q, 1.0f), AxisAngleQuaternion(1.2f, 0, 1, 0));
    ExpectNear(*track->Evaluate(&q, 0.5f), AxisAngleQuaternion(0.8f, 0, 1, 0));
  }
  // The axis is used as stored, without normalising.
  Load(OneTrack("Long", 9, 27, 44, 1, [](SceneBytes& b) { b.F32(0).AxisAngle(1.0f, 0, 0, 2); }));
  const auto& key = TrackOf<CZK_AnimTrackRotationLinear>("Walk::Long")->GetKey(0);
  ExpectNear(key.rotation, {0, 0, 2 * std::sin(0.5f), std::cos(0.5f)});
}

// TCB rotation angles are relative: keyAxisAngle carries the running sum about the key's own
// axis, rotation the running product of the key rotations.
TEST_F(SceneLoaderTest, RelativeTcbRotationKeysSumAnglesAndMultiplyRotations) {
  const float a = 0.3f, b = 0.5f, c = -0.2f;
  Load(OneTrack("Lid", 9, 27, 40, 3, [&](SceneBytes& s) {
    s.F32(0).AxisAngle(a, 1, 0, 0).Tcb(0, 0, 0, 0, 0);
    s.F32(1).AxisAngle(b, 1, 0, 0).Tcb(0.1f, 0.2f, 0.3f, 0.4f, 0.5f);
    s.F32(2).AxisAngle(c, 0, 1, 0).Tcb(0, 0, 0, 0, 0);
  }));
  auto* track = TrackOf<CZK_AnimTrackRotationTCB>("Walk::Lid");
  ASSERT_NE(track, nullptr);
  ExpectNear(track->GetKey(0).keyAxisAngle, AxisAngleQuaternion(a, 1, 0, 0));
  ExpectNear(track->GetKey(1).keyAxisAngle, AxisAngleQuaternion(a + b, 1, 0, 0));
  ExpectNear(track->GetKey(2).keyAxisAngle, AxisAngleQuaternion(a + b + c, 0, 1, 0));
  ExpectNear(track->GetKey(0).rotation, AxisAngleQuaternion(a, 1, 0, 0));
  ExpectNear(track->GetKey(1).rotation, AxisAngleQuaternion(a + b, 1, 0, 0));
  // Each key's rotation is applied after the orientation reached so far.
  const Quaternion third =
      Hamilton(AxisAngleQuaternion(c, 0, 1, 0), AxisAngleQuaternion(a + b, 1, 0, 0));
  ExpectNear(track->GetKey(2).rotation, third);
  EXPECT_EQ(track->GetKey(1).tension, 0.1f);
  EXPECT_EQ(track->GetKey(1).easeOut, 0.5f);
  Quaternion q;
  ExpectNear(*track->Evaluate(&q, 2.0f), third);
}

TEST_F(SceneLoaderTest, TwoRelativeTcbKeysWithoutEaseInterpolateTheSummedAngle) {
  const float a = 0.25f, b = 0.75f;
  Load(OneTrack("Lid", 9, 27, 40, 2, [&](SceneBytes& s) {
    s.F32(0).AxisAngle(a, 0, 0, 1).Tcb(0, 0, 0, 0, 0);
    s.F32(1).AxisAngle(b, 0, 0, 1).Tcb(0, 0, 0, 0, 0);
  }));
  auto* track = TrackOf<CZK_AnimTrackRotationTCB>("Walk::Lid");
  for (float u : {0.0f, 0.3f, 0.5f}) {
    Quaternion q;
    ExpectNear(*track->Evaluate(&q, u), AxisAngleQuaternion(a + b * u, 0, 0, 1), 1e-4f);
  }
}

TEST_F(SceneLoaderTest, ScaleKeysGoToTheirFields) {
  Load(OneTrack("Lin", 10, 0, 45, 2, [](SceneBytes& b) {
    b.F32(0).Vec3(1, 2, 3).AxisAngle(0.5f, 1, 0, 0);
    b.F32(2).Vec3(3, 4, 5).AxisAngle(0.5f, 1, 0, 0);
  }));
  auto* linear = TrackOf<CZK_AnimTrackScaleLinear>("Walk::Lin");
  ASSERT_NE(linear, nullptr);
  ScaleValue s;
  linear->Evaluate(&s, 1.0f);
  ExpectNear(Vector3{s.x, s.y, s.z}, {2, 3, 4});
  ExpectNear(s.axis, AxisAngleQuaternion(0.5f, 1, 0, 0));

  Load(OneTrack("Tcb", 10, 7, 41, 2, [](SceneBytes& b) {
    b.F32(0).Vec3(1, 1, 1).AxisAngle(0, 1, 0, 0).Tcb(0, 0, 0, 0, 0);
    b.F32(1).Vec3(3, 5, 7).AxisAngle(0.2f, 0, 1, 0).Tcb(0.5f, 0, 0, 0, 0.125f);
  }));
  auto* tcb = TrackOf<CZK_AnimTrackScaleTCB>("Walk::Tcb");
  ASSERT_NE(tcb, nullptr);
  ExpectNear(tcb->GetKey(1).axis, AxisAngleQuaternion(0.2f, 0, 1, 0));
  EXPECT_EQ(tcb->GetKey(1).tension, 0.5f);
  EXPECT_EQ(tcb->GetKey(1).easeOut, 0.125f);
  ExpectNear(tcb->GetKey(0).outTangent, {2, 4, 6});
}

// The four vectors go to the third, first, fourth and second tangent slots.
TEST_F(SceneLoaderTest, BezierScaleTangentsComeInTheOrderThirdFirstFourthSecond) {
  Load(OneTrack("Grow", 10, 0, 37, 1, [](SceneBytes& b) {
    b.F32(0.5f).Vec3(2, 3, 4).AxisAngle(0.7f, 0, 0, 1);
    b.Vec3(30, 31, 32).Vec3(10, 11, 12).Vec3(40, 41, 42).Vec3(20, 21, 22);
  }));
  auto* track = TrackOf<CZK_AnimTrackScaleBezier>("Walk::Grow");
  ASSERT_NE(track, nullptr);
  const CZK_KeyFrameBezierScale& k = track->GetKey(0);
  EXPECT_EQ(k.time, 0.5f);
  ExpectNear(k.scale, {2, 3, 4});
  ExpectNear(k.axis, AxisAngleQuaternion(0.7f, 0, 0, 1));
  for (int slot = 0; slot < 4; ++slot) {
    const float base = 10.0f * (slot + 1);
    ExpectNear(k.tangents[slot], {base, base + 1, base + 2});
  }
}

// ---- Constraint, sampled and IK chunks -------------------------------------------------------

TEST_F(SceneLoaderTest, LookAtTargetsAndParametersAreRead) {
  SceneBytes b;
  b.Header().Object("Eye").Begin(7, 28);
  b.Begin(8, 26).Track(43, 1).F32(0).Vec3(0, 0, 0).End().End();
  b.Begin(9, 30).S32(2).Str("Ball").F32(2.0f).Str("Bat").F32(3.0f);
  for (uint32_t w = 1; w <= 9; ++w) b.U32(w);
  b.End();
  b.Begin(10, 0).Track(45, 1).F32(0).Vec3(1, 1, 1).AxisAngle(0, 1, 0, 0).End().End();
  b.End().End();
  Load(b.bytes);
  auto* lookAt = Find<CZK_AnimationControllerRotationLookAt>("Walk::Eye::rot");
  ASSERT_NE(lookAt, nullptr);
  EXPECT_EQ(Find<CZK_AnimationControllerPRS>("Walk::Eye")->GetRotation(), lookAt);
  ASSERT_EQ(lookAt->GetTargets().size(), 2u);
  const auto& t0 = lookAt->GetTargets()[0];
  EXPECT_EQ(std::tie(t0.name, t0.key, t0.slot), std::make_tuple("Ball", 2.0f, 0));
  EXPECT_EQ(lookAt->GetTargets()[1].name, "Bat");
  EXPECT_EQ(lookAt->GetTotalWeight(), 5.0f);
  const uint32_t params[9] = {lookAt->lookAtParam0, lookAt->flipLookAt,   lookAt->flipUp,
                              lookAt->upNodeMode,   lookAt->lookAtParam4, lookAt->lookAtAxis,
                              lookAt->upNodeAxis,   lookAt->sourceAxis,   lookAt->upAxisMode};
  for (uint32_t w = 0; w < 9; ++w) EXPECT_EQ(params[w], w + 1);
  ASSERT_EQ(Controllers().GetSceneCount(), 1);
  EXPECT_EQ(Controllers().GetScene(0)->lookAtControllers,
            std::vector<CZK_AnimationControllerRotationLookAt*>{lookAt});
}

TEST_F(SceneLoaderTest, LookAtWithANegativeCountHasNoTargets) {
  SceneBytes b;
  b.Header().Object("Eye").Begin(9, 30).S32(-3);
  for (int w = 0; w < 9; ++w) b.U32(0);
  b.End().End();
  Load(b.bytes);
  auto* lookAt = Find<CZK_AnimationControllerRotationLookAt>("Walk::Eye");
  ASSERT_NE(lookAt, nullptr);
  EXPECT_TRUE(lookAt->GetTargets().empty());
}

TEST_F(SceneLoaderTest, LinkListComesBeforeTheTransformParts) {
  SceneBytes b;
  b.Header().Object("Cup").Begin(7, 29);
  b.S32(2).Str("World").F32(0.0f).Str("Hand").F32(1.5f);
  b.Begin(8, 26).Track(43, 1).F32(0).Vec3(1, 2, 3).End().End();
  b.Begin(9, 27).Track(44, 1).F32(0).AxisAngle(0, 0, 0, 1).End().End();
  b.Begin(10, 0).Track(45, 1).F32(0).Vec3(1, 1, 1).AxisAngle(0, 1, 0, 0).End().End();
  b.End().End();
  Load(b.bytes);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Walk::Cup::pos", "Walk::Cup::rot",
                                               "Walk::Cup::scale", "Walk::Cup"}));
  auto* link = Find<CZK_AnimationControllerLinkConstraints>("Walk::Cup");
  ASSERT_NE(link, nullptr);
  ASSERT_EQ(link->GetLinks().size(), 2u);
  EXPECT_EQ(link->GetLinks()[0].name, "World");
  const auto& l1 = link->GetLinks()[1];
  EXPECT_EQ(std::tie(l1.name, l1.key, l1.slot), std::make_tuple("Hand", 1.5f, -1));
  EXPECT_EQ(link->GetPosition(), Find<CZK_AnimationControllerPositionVector>("Walk::Cup::pos"));
  EXPECT_EQ(Controllers().GetScene(0)->linkConstraintControllers,
            std::vector<CZK_AnimationControllerLinkConstraints*>{link});
}

TEST_F(SceneLoaderTest, SampledTransformsAreStoredAsRowsOfThree) {
  const Matrix first = zk_test::TestMatrix(0.0f), second = zk_test::TestMatrix(100.0f);
  SceneBytes b;
  b.Header().Object("Wheel").Begin(7, 33).U32(2).F32(0.0f).F32(1.0f);
  b.Transform(first).Transform(second);
  b.End().End();
  Load(b.bytes);
  auto* sampled = Find<CZK_AnimationControllerPRSSampled>("Walk::Wheel");
  ASSERT_NE(sampled, nullptr);
  ASSERT_EQ(sampled->GetSampleCount(), 2u);
  EXPECT_EQ(sampled->GetSampleTimes()[1], 1.0f);
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 3; ++column)
      EXPECT_EQ(sampled->GetSamples()[12 + row * 3 + column], second.m[row * 4 + column]);
  Matrix m;  // blending between samples is the controller's own business
  ExpectMatrixNear(*sampled->Evaluate(&m, 0.0f, nullptr), first);
}

TEST_F(SceneLoaderTest, IKChainKeepsItsTwoLengthsAndIsNotNamed) {
  SceneBytes b;
  b.Header().Object("Arm").Begin(12, 20);
  b.Str("Shoulder").U32(1).Str("Elbow").U32(2).Str("Wrist").U32(3).Str("").U32(4);
  b.F32(0.31f).F32(0.27f);
  b.End().End();
  Load(b.bytes);
  ASSERT_EQ(Controllers().GetIKChainCount(), 1);
  EXPECT_EQ(Controllers().GetIKChain(0)->GetUpperLength(), 0.31f);
  EXPECT_EQ(Controllers().GetIKChain(0)->GetLowerLength(), 0.27f);
  EXPECT_EQ(Controllers().GetControllerCount(), 0);
}

// ---- Damaged files --------------------------------------------------------------------------

TEST_F(SceneLoaderTest, ACountLargerThanTheFileIsRefusedAtOnce) {
  SceneBytes b;
  b.Header().Object("Dial").Begin(11, 24).Begin(13, 46).U32(0).U32(0);
  const size_t countAt = b.bytes.size() + 4;
  b.U32(4000000000u).F32(0).F32(1).End().End().End();
  ASSERT_LT(b.bytes.size(), 100u);
  Refuse(b.bytes, {"walk.zks", "offset " + std::to_string(countAt), "4000000000 keys"});

  SceneBytes sampled;
  sampled.Header().Object("W").Begin(7, 33).U32(0xFFFFFFFFu).End().End();
  Refuse(sampled.bytes, {"4294967295 samples"});

  SceneBytes links;
  links.Header().Object("L").Begin(7, 29).S32(0x7FFFFFFF).End().End();
  Refuse(links.bytes, {"2147483647 links"});

  SceneBytes targets;
  targets.Header().Object("T").Begin(9, 30).S32(1000).End().End();
  Refuse(targets.bytes, {"1000 targets"});
}

TEST_F(SceneLoaderTest, AStringWithoutItsZeroIsRefused) {
  SceneBytes b;
  b.Header().Begin(6, 21);
  b.bytes.insert(b.bytes.end(), {'H', 'a', 'n', 'd'});
  b.End();
  const std::string text = Refuse(b.bytes, {"walk.zks", "offset 39", "string"});
  EXPECT_NE(text.find("LoadSceneFromBuf"), std::string::npos);
}

TEST_F(SceneLoaderTest, AKeyTypeOfAnotherControllerKindIsRefused) {
  SceneBytes b;
  b.Header().Object("Dial").Begin(11, 24);
  const size_t trackAt = b.bytes.size();
  b.Track(43, 1).F32(0).Vec3(1, 2, 3).End().End().End();
  Refuse(b.bytes, {"offset " + std::to_string(trackAt), "key type 43", "float controller"});

  for (const auto& [cls, subclass, keyType] : std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>{
           {8, 26, 38}, {9, 27, 45}, {10, 0, 36}, {11, 24, 99}, {8, 26, 0}}) {
    Refuse(OneTrack("X", cls, subclass, keyType, 0, [](SceneBytes&) {}),
           {"key type " + std::to_string(keyType)});
  }
}

TEST_F(SceneLoaderTest, ChunksMustLieInsideTheirParent) {
  // A controller chunk that claims more bytes than its object chunk holds.
  SceneBytes b;
  b.Header().Object("Dial").Begin(11, 24).Track(46, 1).F32(0).F32(1).End().End().End();
  b.Begin(20, 0).F32(0).F32(1).End();
  std::vector<uint8_t> bytes = b.bytes;
  const size_t controllerLength = 23 + 16 + 5 + 12;  // the controller chunk's length field
  bytes[controllerLength] += 30;
  Refuse(bytes, {"offset " + std::to_string(23 + 16 + 5), "reaches past"});

  // A top-level chunk longer than the file.
  std::vector<uint8_t> longer = b.bytes;
  longer[23 + 12] += 100;
  Refuse(longer, {"offset 23", "reaches past"});

  // A scene range chunk too short for its two times: the times would come from the next chunk.
  SceneBytes range;
  range.Header().Begin(20, 0).F32(0).End().Begin(99, 0).F32(5).F32(5).End();
  Refuse(range.bytes, {"offset 23", "run past its end"});

  // An id length other than 8.
  SceneBytes id;
  id.Header().U32(4).U32(20).U32(8).F32(0).F32(1);
  Refuse(id.bytes, {"offset 23", "id length 4"});
}

// A damaged object after good ones takes everything of its file away with it, and a controller
// of the same name registered before the load is found again.
TEST_F(SceneLoaderTest, ARefusedFileLeavesTheManagerAsItWas) {
  AddStaticPRS("Walk::Hand", {1, 2, 3});
  const int before = Controllers().FindController("Walk::Hand");
  Controllers().AddScene("Earlier");
  const CZK_ControllerManager::Counts mark = Controllers().GetCounts();

  SceneBytes b;
  b.Header().Object("Hand").Begin(7, 28);
  b.Begin(8, 26).Track(39, 2).F32(0).Vec3(0, 0, 0).Tcb(0, 0, 0, 0, 0);
  b.F32(1).Vec3(1, 1, 1).Tcb(0, 0, 0, 0, 0).End().End();
  b.Begin(9, 30).S32(1).Str("Ball").F32(1);
  for (int w = 0; w < 9; ++w) b.U32(0);
  b.End();
  b.Begin(10, 0).Track(45, 0).End().End();
  b.End().End();
  b.Begin(20, 0).F32(0).F32(1).End();
  b.Object("Bad").Begin(11, 24).Track(35, 0).End().End().End();
  Refuse(b.bytes, {"key type 35"});

  ExpectCounts(Controllers().GetCounts(), mark);
  EXPECT_EQ(Controllers().FindController("Walk::Hand"), before);
  EXPECT_EQ(Controllers().FindController("Walk::Hand::rot"), -1);
  EXPECT_TRUE(Controllers().GetScene(mark.scenes - 1)->lookAtControllers.empty());
}

// Every prefix of a valid file either loads (exactly when it ends between two top-level chunks)
// or is refused with the manager back at its mark.
TEST_F(SceneLoaderTest, EveryTruncationLoadsOrIsRefusedCleanly) {
  SceneBytes b;
  std::set<size_t> boundaries;
  b.Header();
  boundaries.insert(b.bytes.size());
  b.Object("Hand").Begin(7, 28);
  b.Begin(8, 31);
  for (int axis = 0; axis < 3; ++axis)
    b.Begin(0, 0).Track(38, 1).F32(0).F32(1).F32(0).F32(0).F32(0).F32(0).End().End();
  b.End();
  b.Begin(9, 27).Track(40, 2).F32(0).AxisAngle(0.1f, 0, 0, 1).Tcb(0, 0, 0, 0, 0);
  b.F32(1).AxisAngle(0.2f, 0, 0, 1).Tcb(0, 0, 0, 0, 0).End().End();
  b.Begin(10, 0).Track(37, 1).F32(0).Vec3(1, 1, 1).AxisAngle(0, 1, 0, 0);
  b.Vec3(0, 0, 0).Vec3(0, 0, 0).Vec3(0, 0, 0).Vec3(0, 0, 0).End().End();
  b.End().End();
  boundaries.insert(b.bytes.size());
  b.Object("Cup").Begin(7, 29).S32(1).Str("Hand").F32(0);
  b.Begin(8, 26).Track(35, 1).F32(0).Vec3(1, 2, 3);
  for (int i = 0; i < 12; ++i) b.F32(0);
  b.End().End();
  b.Begin(9, 30).S32(1).Str("Ball").F32(1);
  for (int w = 0; w < 9; ++w) b.U32(0);
  b.End();
  b.Begin(10, 0).Track(41, 1).F32(0).Vec3(1, 1, 1).AxisAngle(0, 1, 0, 0);
  b.Tcb(0, 0, 0, 0, 0).End().End();
  b.End().End();
  boundaries.insert(b.bytes.size());
  b.Object("Wheel").Begin(7, 33).U32(1).F32(0).Transform(zk_test::TestMatrix(1)).End().End();
  boundaries.insert(b.bytes.size());
  b.Object("Arm").Begin(12, 20).Str("a").U32(1).Str("b").U32(2).Str("c").U32(3).Str("d").U32(4);
  b.F32(1).F32(2).End().End();
  boundaries.insert(b.bytes.size());
  b.Object("Dial").Begin(11, 24).Track(42, 1).F32(0).F32(1).Tcb(0, 0, 0, 0, 0).End().End().End();
  boundaries.insert(b.bytes.size());
  b.Begin(20, 0).F32(0).F32(2).End();
  boundaries.insert(b.bytes.size());

  // The whole file holds every kind it was built with.
  Load(b.bytes);
  EXPECT_EQ(Controllers().GetControllerCount(), 13);
  EXPECT_EQ(Controllers().GetIKChainCount(), 1);
  EXPECT_EQ(Controllers().GetSceneRecordCount(), 1);
  Controllers().Clear();

  int loaded = 0;
  for (size_t length = 0; length <= b.bytes.size(); ++length) {
    const CZK_ControllerManager::Counts mark = Controllers().GetCounts();
    const std::vector<uint8_t> prefix(b.bytes.begin(), b.bytes.begin() + length);
    bool ok = true;
    try {
      Load(prefix);
    } catch (const CZK_Exception& e) {
      ok = false;
      const std::string text = e.what();
      if (length < 23)
        EXPECT_EQ(text, kSceneHeaderMessage);
      else
        EXPECT_NE(text.find("walk.zks"), std::string::npos) << text;
      ExpectCounts(Controllers().GetCounts(), mark);
    }
    EXPECT_EQ(ok, boundaries.count(length) == 1) << "prefix of " << length << " bytes";
    if (ok) ++loaded;
    Controllers().Clear();
  }
  EXPECT_EQ(loaded, static_cast<int>(boundaries.size()));
}

}  // namespace
