// The scene file loader: chunk walking, every controller and key type, naming and registration
// order, and refusal of damaged files with the library left as it was.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "animation/AnimationScene.h"
#include "loading/SceneLoaderTestSupport.h"
#include "animation/TrackTestSupport.h"
#include "files/DiskReader.h"
#include "foundation/Exceptions.h"
#include "loading/SceneLoader.h"
#include "support/LibraryFixture.h"

namespace {

using zk_test::AxisAngleQuaternion;
using zk_test::SceneBytes;

const char kSceneHeaderMessage[] =
    "[CZK_3DSMAXAnimationLoader::LoadSceneFromBuf] scene doesn't have a valid header..";

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
    CZK_3DSMAXAnimationLoader loader(GetRuntimeContext());
    loader.LoadScene("walk.zks", sceneName, &reader);
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

// A PRS whose position is an XYZ controller: every controller named after the object, children
// registered before their parent, and the transform composed from the sampled parts as S·R·T.
TEST_F(SceneLoaderTest, PRSWithXYZPositionIsNamedAndRegisteredChildrenFirst) {
  SceneBytes b;
  b.Header().Object("Hand").Begin(7, 28);
  b.Begin(8, 31);
  for (float v : {1.0f, 2.0f, 3.0f}) b.Begin(0, 0).Track(46, 1).F32(0).F32(v).End().End();
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
  Matrix s, r, t, sr, expected, actual;
  const Quaternion q = AxisAngleQuaternion(0.6f, 0, 0, 1);
  D3DXMatrixScaling(&s, 2, 3, 4);
  D3DXMatrixRotationQuaternion(&r, &q);
  D3DXMatrixTranslation(&t, 1, 2, 3);
  D3DXMatrixMultiply(&sr, &s, &r);
  D3DXMatrixMultiply(&expected, &sr, &t);
  ExpectMatrixNear(*prs->Evaluate(&actual, 0.0f, nullptr), expected);
}

// ---- Key records ----------------------------------------------------------------------------

// TCB rotation angles are relative: keyAxisAngle carries the running sum about the key's own
// axis, rotation the running product of the key rotations.
TEST_F(SceneLoaderTest, RelativeTcbRotationKeysSumAnglesAndMultiplyRotations) {
  const float a = 0.3f, b = 0.5f, c = -0.2f;
  Load(OneTrack("Lid", 9, 27, 40, 3, [&](SceneBytes& s) {
    s.F32(0).AxisAngle(a, 1, 0, 0).Tcb(0, 0, 0, 0, 0);
    s.F32(1).AxisAngle(b, 1, 0, 0).Tcb(0.1f, 0.2f, 0.3f, 0.4f, 0.5f);
    s.F32(2).AxisAngle(c, 0, 1, 0).Tcb(0, 0, 0, 0, 0);
  }));
  auto* controller = Find<CZK_AnimationControllerRotationQuaternion>("Walk::Lid");
  ASSERT_NE(controller, nullptr);
  auto* track = dynamic_cast<CZK_AnimTrackRotationTCB*>(controller->GetTrack());
  ASSERT_NE(track, nullptr);
  EXPECT_TRUE(Near(track->GetKey(0).keyAxisAngle, AxisAngleQuaternion(a, 1, 0, 0)));
  EXPECT_TRUE(Near(track->GetKey(1).keyAxisAngle, AxisAngleQuaternion(a + b, 1, 0, 0)));
  EXPECT_TRUE(Near(track->GetKey(2).keyAxisAngle, AxisAngleQuaternion(a + b + c, 0, 1, 0)));
  EXPECT_TRUE(Near(track->GetKey(0).rotation, AxisAngleQuaternion(a, 1, 0, 0)));
  EXPECT_TRUE(Near(track->GetKey(1).rotation, AxisAngleQuaternion(a + b, 1, 0, 0)));
  // Each key's rotation is applied after the orientation reached so far.
  Quaternion third;
  const Quaternion sum = AxisAngleQuaternion(a + b, 1, 0, 0),
                   turn = AxisAngleQuaternion(c, 0, 1, 0);
  D3DXQuaternionMultiply(&third, &sum, &turn);
  EXPECT_TRUE(Near(track->GetKey(2).rotation, third));
  EXPECT_EQ(track->GetKey(1).tension, 0.1f);
  EXPECT_EQ(track->GetKey(1).easeOut, 0.5f);
  Quaternion q;
  EXPECT_TRUE(Near(*track->Evaluate(&q, 2.0f), third));
}

// An unrotated axis keeps the signs of its zeros as sin(±0) = ±0 gives them: the scale axis
// (-1, 2, -3) at angle -0 is (+0, -0, +0, 1), at angle +0 (-0, +0, -0, 1).
TEST_F(SceneLoaderTest, ZeroAngleAxesKeepTheSignsOfTheirZeros) {
  Load(OneTrack("Box", 10, 0, 45, 2, [](SceneBytes& s) {
    s.F32(0).Vec3(1, 1, 1).AxisAngle(-0.0f, -1, 2, -3);
    s.F32(1).Vec3(1, 1, 1).AxisAngle(0.0f, -1, 2, -3);
  }));
  auto* controller = Find<CZK_AnimationControllerScale>("Walk::Box");
  ASSERT_NE(controller, nullptr);
  auto* track = dynamic_cast<CZK_AnimTrackScaleLinear*>(controller->GetTrack());
  ASSERT_NE(track, nullptr);
  for (size_t k = 0; k < 2; ++k) {
    const Quaternion& q = track->GetKey(k).axis;
    const bool negative = k == 0;
    EXPECT_EQ((std::array<bool, 3>{std::signbit(q.x), std::signbit(q.y), std::signbit(q.z)}),
              (std::array<bool, 3>{!negative, negative, !negative}));
    EXPECT_EQ((std::array<float, 4>{q.x, q.y, q.z, q.w}), (std::array<float, 4>{0, 0, 0, 1}));
  }
}

// ---- Damaged files --------------------------------------------------------------------------

// Each damaged file is refused with the place of the damage, the library left as it was.
TEST_F(SceneLoaderTest, DamagedFilesAreRefusedWithTheirOffset) {
  std::vector<std::pair<std::vector<uint8_t>, std::vector<std::string>>> cases;
  const auto add = [&](const SceneBytes& b, std::vector<std::string> fragments) {
    cases.emplace_back(b.bytes, std::move(fragments));
  };
  // Headers: the zero after the text, a changed letter (a header cut short is the truncation
  // test's).
  SceneBytes good;
  good.Header().Begin(20, 0).F32(0).F32(1).End();
  for (const auto& [at, byte] : std::vector<std::pair<size_t, uint8_t>>{{22, '!'}, {2, 'z'}}) {
    cases.emplace_back(good.bytes, std::vector<std::string>{kSceneHeaderMessage});
    cases.back().first[at] = byte;
  }
  // Counts larger than the file: refused before anything is allocated.
  SceneBytes keys;
  keys.Header().Object("Dial").Begin(11, 24).Begin(13, 46).U32(0).U32(0);
  const size_t countAt = keys.bytes.size() + 4;
  keys.U32(4000000000u).F32(0).F32(1).End().End().End();
  add(keys, {"walk.zks", "offset " + std::to_string(countAt), "4000000000 keys"});
  // Three keys where the chunk holds two: refused at the count, before any key is read.
  SceneBytes few;
  few.Header().Object("Dial").Begin(11, 24).Begin(13, 46).U32(0).U32(0);
  const size_t fewAt = few.bytes.size() + 4;  // where the reader stands after the count
  add(few.U32(3).F32(0).F32(1).F32(1).F32(2).End().End().End(),
      {"offset " + std::to_string(fewAt), "3 keys"});
  SceneBytes sampled, links, targets;
  add(sampled.Header().Object("W").Begin(7, 33).U32(0xFFFFFFFFu).End().End(),
      {"4294967295 samples"});
  add(links.Header().Object("L").Begin(7, 29).S32(0x7FFFFFFF).End().End(), {"2147483647 links"});
  add(targets.Header().Object("T").Begin(9, 30).S32(1000).End().End(), {"1000 targets"});
  // A string without its zero.
  SceneBytes string;
  string.Header().Begin(6, 21);
  string.bytes.insert(string.bytes.end(), {'H', 'a', 'n', 'd'});
  add(string.End(), {"walk.zks", "offset 39", "string", "LoadSceneFromBuf"});
  // Key types of another controller kind.
  SceneBytes wrongKind;
  wrongKind.Header().Object("Dial").Begin(11, 24);
  const size_t trackAt = wrongKind.bytes.size();
  add(wrongKind.Track(43, 1).F32(0).Vec3(1, 2, 3).End().End().End(),
      {"offset " + std::to_string(trackAt), "key type 43", "float controller"});
  for (const auto& [cls, subclass, keyType] : std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>{
           {8, 26, 38}, {9, 27, 45}, {10, 0, 36}, {11, 24, 99}, {8, 26, 0}}) {
    cases.emplace_back(OneTrack("X", cls, subclass, keyType, 0, [](SceneBytes&) {}),
                       std::vector<std::string>{"key type " + std::to_string(keyType)});
  }
  // Chunks must lie inside their parent: a controller longer than its object, a top-level
  // chunk longer than the file, a range too short for its two times, an id length other than 8.
  SceneBytes dial;
  dial.Header().Object("Dial").Begin(11, 24).Track(46, 1).F32(0).F32(1).End().End().End();
  dial.Begin(20, 0).F32(0).F32(1).End();
  cases.emplace_back(dial.bytes, std::vector<std::string>{"offset 44", "reaches past"});
  cases.back().first[23 + 16 + 5 + 12] += 30;
  cases.emplace_back(dial.bytes, std::vector<std::string>{"offset 23", "reaches past"});
  cases.back().first[23 + 12] += 100;
  SceneBytes range, id;
  add(range.Header().Begin(20, 0).F32(0).End().Begin(99, 0).F32(5).F32(5).End(),
      {"offset 23", "run past its end"});
  add(id.Header().U32(4).U32(20).U32(8).F32(0).F32(1), {"offset 23", "id length 4"});
  for (const auto& [bytes, fragments] : cases) Refuse(bytes, fragments);
  EXPECT_EQ(Controllers().GetSceneRecordCount(), 0);
}

// For every key type, a track chunk one byte short of its one key is refused, naming the record
// size of that type: the keys are read in place, so a size taken too small would read past the
// chunk.
TEST_F(SceneLoaderTest, AKeyOneByteShortOfItsRecordIsRefused) {
  // Controller class and subclass, key type, bytes of one key record.
  const std::vector<std::array<uint32_t, 4>> kinds = {
      {11, 24, 46, 8}, {11, 24, 38, 24}, {11, 24, 42, 28}, {8, 26, 43, 16},
      {8, 26, 35, 64}, {8, 26, 39, 36},  {9, 27, 44, 20},  {9, 27, 36, 20},
      {9, 27, 40, 40}, {10, 0, 45, 32},  {10, 0, 37, 80},  {10, 0, 41, 52}};
  for (const auto& [cls, subclass, keyType, size] : kinds) {
    const uint32_t bytes = size - 1;
    Refuse(OneTrack("X", cls, subclass, keyType, 1,
                    [bytes](SceneBytes& b) { b.bytes.resize(b.bytes.size() + bytes); }),
           {"1 keys need at least " + std::to_string(size) + " bytes"});
  }
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

  for (size_t length = 0; length <= b.bytes.size(); ++length) {
    SCOPED_TRACE("prefix of " + std::to_string(length) + " bytes");
    const std::vector<uint8_t> prefix(b.bytes.begin(), b.bytes.begin() + length);
    if (boundaries.count(length) == 1)
      EXPECT_NO_THROW(Load(prefix));
    else
      Refuse(prefix, {length < 23 ? kSceneHeaderMessage : "walk.zks"});
    Controllers().Clear();
  }
}

}  // namespace
