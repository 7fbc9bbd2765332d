// The glTF writer: the .glb played by a glTF viewer gives back the world matrices it was given,
// in glTF's frame; bad recordings are refused and leave no file.
#ifdef ZELKAR_GLTF

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "AnimationRecorder.h"
#include "GltfFrame.h"
#include "GltfTestSupport.h"
#include "GltfWriter.h"
#include "files/FilesTestSupport.h"
#include "support/Near.h"

namespace zk_gltf {
namespace {

// The library's own matrix routines build the recordings (they return their output pointer).
Matrix Scale(float x, float y, float z) {
  Matrix m;
  return *D3DXMatrixScaling(&m, x, y, z);
}
Matrix Rot(Matrix* (*rotation)(Matrix*, float), float a) {
  Matrix m;
  return *rotation(&m, a);
}

//   car (turns about Z, drives along -Y)        person (0.001: millimetres in a metre world)
//   └── arm L (+X side, swings about X)         └── hand (100 mm out, turns fast about Z)
//       └── link (mirrored in X)
SRecording MakeRecording(int frames) {
  SRecording rec;
  rec.nodes = {{"car", -1}, {"arm L", 0}, {"link", 1}, {"person", -1}, {"hand", 3}};
  for (int f = 0; f < frames; ++f) {
    rec.times.push_back(0.25f * f);
    const Matrix car = Mul(Rot(D3DXMatrixRotationZ, 0.3f * f), Translation(1, -2.0f * f, 0.5f));
    const Matrix arm =
        Mul(Mul(Rot(D3DXMatrixRotationX, 0.7f * f), Translation(0.5f, 0, 0.2f)), car);
    const Matrix link = Mul(Mul(Scale(-1, 1, 1), Translation(0, 0.1f, 0)), arm);
    const Matrix person = Mul(Scale(0.001f, 0.001f, 0.001f), Translation(0.3f, 0, 1));
    // 1.9 rad a frame: consecutive quaternions change sign unless the writer keeps them close.
    const Matrix hand =
        Mul(Mul(Rot(D3DXMatrixRotationZ, 1.9f * f), Translation(100, 0, 0)), person);
    for (const Matrix& m : {car, arm, link, person, hand}) rec.worlds.push_back(m);
  }
  return rec;
}

TEST(GltfWriter, AViewerPlaysTheRecordingInGltfsFrame) {
  files_test::TempDir dir;
  const SRecording rec = MakeRecording(5);
  WriteGlb(rec, dir / "rec.glb", {"drive", 0.5f, true, {}, {}});
  const tinygltf::Model model = gltf_test::LoadModel(dir / "rec.glb");
  ASSERT_EQ(model.nodes.size(), 5u);
  ASSERT_EQ(model.animations.size(), 1u);
  EXPECT_EQ(model.animations[0].name, "drive");
  EXPECT_EQ(model.nodes[1].name, "arm L");
  EXPECT_EQ(model.scenes.at(0).nodes, (std::vector<int>{0, 3}));

  const std::string missing = gltf_test::NodeMissing();
  if (!missing.empty()) GTEST_SKIP() << "no glTF viewer to play the file: " << missing;
  int code = 0;
  const std::string sampled = gltf_test::Run(
      "node " + gltf_test::kNodeDir + "/sample.mjs " + (dir / "rec.glb") + " 0,0.25,0.5,0.75,1",
      &code);
  ASSERT_EQ(code, 0) << sampled;
  // Both sides in glTF's frame: the viewer's column-major order is the row form's row-major one.
  const nlohmann::json viewer = nlohmann::json::parse(sampled);
  for (size_t f = 0; f < rec.times.size(); ++f)
    for (size_t i = 0; i < rec.nodes.size(); ++i) {
      const SAffine ours = LibraryToGltf(ToAffine(rec.worlds[f * 5 + i]), {true, 0.5});
      for (int k = 0; k < 16; ++k)
        EXPECT_NEAR(viewer.at(rec.nodes[i].name).at(f).at(k).get<double>(), ours.m[k], 1e-5)
            << "frame " << f << " node " << rec.nodes[i].name << " element " << k;
    }
  // Independent of the conversion code: the axes drawn in GltfFrame.h. At frame 1 the car's
  // origin is at library (1, -2, 0.5) units of 0.5 m: glTF (0.5, 0.25, 1) (in front: +Z). The
  // arm's side (+X, the left) stays +X.
  const nlohmann::json &car = viewer["car"], &arm = viewer["arm L"];
  const double carAt[3] = {0.5, 0.25, 1.0};
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(car[1][12 + c].get<double>(), carAt[c], 1e-6) << c;
  EXPECT_NEAR(arm[0][12].get<double>() - car[0][12].get<double>(), 0.25, 1e-6);  // 0.5 units left
  EXPECT_NEAR(arm[0][13].get<double>() - car[0][13].get<double>(), 0.1, 1e-6);   // 0.2 units up
}

TEST(GltfWriter, AccessorsAreWhatAValidatorChecks) {
  files_test::TempDir dir;
  WriteGlb(MakeRecording(6), dir / "rec.glb");
  const tinygltf::Model model = gltf_test::LoadModel(dir / "rec.glb");
  // (Increasing key times, unit quaternions and accessor bounds are the validator's checks on
  // every exported sample.) Consecutive rotation keys lie on the same hemisphere: a viewer's
  // slerp takes the recorded short way.
  for (const tinygltf::AnimationSampler& s : model.animations.at(0).samplers) {
    if (model.accessors[s.output].type != TINYGLTF_TYPE_VEC4) continue;
    const std::vector<float> q = gltf_test::Floats(model, s.output);
    for (size_t i = 4; i < q.size(); i += 4)
      EXPECT_GT(q[i] * q[i - 4] + q[i + 1] * q[i - 3] + q[i + 2] * q[i - 2] + q[i + 3] * q[i - 1],
                0);
  }
  // Unscaled nodes carry no scale channel; the mirrored link and the millimetre person do.
  int scaleChannels = 0;
  for (const auto& ch : model.animations[0].channels) scaleChannels += ch.target_path == "scale";
  EXPECT_EQ(scaleChannels, 2);  // the link and the person; the hand is unscaled in its parent
}

TEST(GltfWriter, BadRecordingsAreRefusedAndLeaveNoFile) {
  files_test::TempDir dir;
  struct Case {
    const char* what;
    void (*spoil)(SRecording&);
    const char* message;
  };
  const Case cases[] = {
      {"no node", [](SRecording& r) { r.nodes.clear(), r.worlds.clear(); }, "no node"},
      {"time backwards", [](SRecording& r) { r.times[2] = r.times[1]; }, "time 2"},
      {"later parent", [](SRecording& r) { r.nodes[1].parent = 3; }, "not an earlier node"},
      {"short worlds", [](SRecording& r) { r.worlds.pop_back(); }, "frames × nodes"},
      {"singular parent", [](SRecording& r) { r.worlds[5 * 2 + 3] = Scale(0, 0, 0); }, "singular"},
      {"not finite", [](SRecording& r) { r.worlds[7].m[13] = NAN; }, "not finite"},
  };
  for (const Case& c : cases) {
    SRecording rec = MakeRecording(3);
    c.spoil(rec);
    const std::string path = dir / "bad.glb";
    try {
      WriteGlb(rec, path);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << c.what;
  }
  EXPECT_THROW(WriteGlb(MakeRecording(2), dir / "no/such/folder.glb"), std::runtime_error);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// Keys dropped where linear interpolation gives them back: a viewer playing the reduced file
// must show every frame within the tolerances (0.1 mm in the world, 1e-4 rad), also under a
// parent that scales millimetres to metres, while a node at rest or gliding steadily keeps few
// keys.
TEST(GltfWriter, ReducedKeysPlayBackWithinTheTolerance) {
  SRecording rec;
  rec.nodes = {{"rest", -1}, {"glide", -1}, {"wave", -1}, {"person", -1}, {"finger", 3}};
  const int frames = 121;
  for (int f = 0; f < frames; ++f) {
    const float t = static_cast<float>(f) / 60.0f;
    rec.times.push_back(t);
    const Matrix glide = Mul(Rot(D3DXMatrixRotationZ, 0.8f * t), Translation(3 * t, 1, 0));
    const Matrix wave =
        Mul(Rot(D3DXMatrixRotationX, 0.5f * std::sin(7 * t)), Translation(0, std::sin(5 * t), 2));
    const Matrix person = Mul(Scale(0.001f, 0.001f, 0.001f), Translation(0, 0, 1));
    const Matrix finger = Mul(Mul(Rot(D3DXMatrixRotationY, std::sin(3 * t)),
                                  Translation(100 + 20 * std::sin(4 * t), 0, 0)),
                              person);
    for (const Matrix& m : {Translation(1, 2, 3), glide, wave, person, finger})
      rec.worlds.push_back(m);
  }
  CAnimationRecorder recorder(rec.nodes, SFrame{}, SReduction{true});
  for (int f = 0; f < frames; ++f) recorder.AddFrame(rec.times[f], &rec.worlds[f * 5]);
  const SKeyedAnimation animation = recorder.Finish();
  // At rest: the first and last frame. Gliding: a key at most every 16 frames, the longest
  // stretch the recorder checks.
  for (int node : {0, 1})
    for (const SKeyedChannel* c :
         {&animation.channels[node].translation, &animation.channels[node].rotation})
      EXPECT_LE(c->times.size(), node == 0 ? 2u : 2u + frames / 16) << rec.nodes[node].name;
  EXPECT_GT(animation.channels[2].rotation.times.size(), 4u);
  EXPECT_LT(animation.channels[4].translation.times.size(), static_cast<size_t>(frames));

  files_test::TempDir dir;
  WriteGlb(animation, dir / "reduced.glb");
  const std::string missing = gltf_test::NodeMissing();
  if (!missing.empty()) GTEST_SKIP() << "no glTF viewer to play the file: " << missing;
  std::string times;
  for (float t : rec.times) times += (times.empty() ? "" : ",") + std::to_string(t);
  int code = 0;
  const std::string sampled = gltf_test::Run(
      "node " + gltf_test::kNodeDir + "/sample.mjs " + (dir / "reduced.glb") + " " + times, &code);
  ASSERT_EQ(code, 0) << sampled;
  const nlohmann::json viewer = nlohmann::json::parse(sampled);
  for (int f = 0; f < frames; ++f)
    for (size_t i = 0; i < rec.nodes.size(); ++i) {
      const SAffine ours = LibraryToGltf(ToAffine(rec.worlds[f * 5 + i]), {});
      const auto& played = viewer.at(rec.nodes[i].name).at(f);
      // The basis within the angle (scaled by the node's own scale), the origin within 0.1 mm.
      const double scale = std::hypot(ours.m[0], ours.m[1], ours.m[2]);
      for (int k = 0; k < 12; ++k)
        EXPECT_NEAR(played.at(k).get<double>(), ours.m[k], 1.2e-4 * scale)
            << "frame " << f << " node " << rec.nodes[i].name << " element " << k;
      EXPECT_LE(std::hypot(played.at(12).get<double>() - ours.m[12],
                           played.at(13).get<double>() - ours.m[13],
                           played.at(14).get<double>() - ours.m[14]),
                1.05e-4)
          << "frame " << f << " node " << rec.nodes[i].name;
    }
}

}  // namespace
}  // namespace zk_gltf

#endif
