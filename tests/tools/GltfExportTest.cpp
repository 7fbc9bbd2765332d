// zelkar-asset export: every sample played through the library and written as .glb passes the
// glTF validator; bad arguments and files are refused with nothing written.
#ifdef ZELKAR_GLTF

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "GltfFrame.h"
#include "GltfTestSupport.h"
#include "files/FilesTestSupport.h"

namespace {

const std::string kTool = ZELKAR_ASSET_TOOL;
const std::string kSamples = ZELKAR_ASSET_DIR "/samples/";

TEST(GltfExport, EverySampleExportPassesTheValidator) {
  const std::string missing = gltf_test::NodeMissing();
  if (!missing.empty()) GTEST_SKIP() << "glTF validator not run: " << missing;
  files_test::TempDir dir;
  struct Sample {
    const char* hierarchy;
    const char* scene;
    const char* units;
  };
  const Sample samples[] = {{"human_skeleton.zkh", "idle_loop.zka", "mm"},
                            {"human_skeleton.zkh", "driver_steer.zka", "mm"},
                            {"human_skeleton.zkh", "codriver_notes.zka", "mm"},
                            {"rally_car.zkh", "car_idle.zka", "m"},
                            {"rally_car_sequential.zkh", "car_idle.zka", "m"}};
  std::string files;
  int k = 0;
  for (const Sample& s : samples) {
    const std::string out = dir / (std::to_string(k++) + ".glb");
    int code = 0;
    const std::string text =
        gltf_test::Run(kTool + " export " + kSamples + s.hierarchy + " " + kSamples + s.scene +
                           " " + out + " --units " + s.units,
                       &code);
    EXPECT_EQ(code, 0) << text;
    files += " " + out;
  }
  int code = 0;
  const std::string report =
      gltf_test::Run("node " + gltf_test::kNodeDir + "/validate.mjs" + files, &code);
  EXPECT_EQ(code, 0) << report;
  size_t clean = 0;
  for (size_t at = report.find(" errors=0 "); at != std::string::npos;
       at = report.find(" errors=0 ", at + 1))
    ++clean;
  EXPECT_EQ(clean, std::size(samples)) << report;
}

// The bodies of a drive and of an export: the validator finds nothing to say, three.js finds one
// skinned mesh per person, and a vertex at the wrist rides with the wrist bone as three.js
// skins it, from the first frame's pose to the last.
TEST(GltfExport, BodiesPassTheValidatorAndFollowTheirBones) {
  const std::string missing = gltf_test::NodeMissing();
  if (!missing.empty()) GTEST_SKIP() << "glTF checks not run: " << missing;
  files_test::TempDir dir;
  struct Case {
    std::string command, glb, joint, times;
    int people;
  };
  const std::string stage = ZELKAR_DRIVE_STAGE;
  const Case cases[] = {
      {std::string(ZELKAR_DRIVE_TOOL) + " " + stage + " -o " + (dir / "drive"),
       dir / "drive/rally_stage.glb", "Driver/B_hand L", "0,2,5.5,9.5,14,19.9", 3},
      {kTool + " export " + kSamples + "human_skeleton.zkh " + kSamples + "driver_steer.zka " +
           (dir / "export.glb") + " --units mm",
       dir / "export.glb", "B_hand R", "0,0.5,1,1.5,2", 1},
  };
  for (const Case& c : cases) {
    int code = 0;
    std::string text = gltf_test::Run(c.command, &code);
    ASSERT_EQ(code, 0) << text;
    text = gltf_test::Run("node " + gltf_test::kNodeDir + "/validate.mjs " + c.glb, &code);
    EXPECT_NE(text.find(" errors=0 warnings=0"), std::string::npos) << text;
    text = gltf_test::Run("node " + gltf_test::kNodeDir + "/sample.mjs " + c.glb + " " + c.times +
                              " 'skin=" + c.joint + "'",
                          &code);
    ASSERT_EQ(code, 0) << text;
    const nlohmann::json viewer = nlohmann::json::parse(text);
    EXPECT_EQ(viewer["skinnedMeshes"], c.people) << c.glb;
    // The joint's world matrices, column-major: the storage of the row form's matrices.
    auto joint = [&](size_t k) {
      zk_gltf::SAffine m;
      for (int i = 0; i < 16; ++i) m.m[i] = viewer[c.joint][k][i].get<double>();
      return m;
    };
    const zk_gltf::SAffine first = joint(0);
    zk_gltf::SAffine toJoint;
    ASSERT_TRUE(zk_gltf::InvertAffine(first, &toJoint));
    const nlohmann::json& skinned = viewer["skinned"];
    const double* j0 = first.m;
    EXPECT_LT(std::hypot(skinned[0][0].get<double>() - j0[12], skinned[0][1].get<double>() - j0[13],
                         skinned[0][2].get<double>() - j0[14]),
              0.08)
        << "the vertex is not at the wrist";
    for (size_t k = 0; k < skinned.size(); ++k) {
      zk_gltf::SAffine at{};
      at.m[0] = at.m[5] = at.m[10] = at.m[15] = 1;
      for (int i = 0; i < 3; ++i) at.m[12 + i] = skinned[0][i].get<double>();
      const zk_gltf::SAffine expected = zk_gltf::Multiply(zk_gltf::Multiply(at, toJoint), joint(k));
      for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(skinned[k][i].get<double>(), expected.m[12 + i], 1e-4)
            << c.glb << " time " << k << " axis " << i;
    }
  }
}

// export --mesh-from: a skinned file by another writer, imported Z up in millimetres and exported
// the same way with the source's own mesh (its path taken from the scene), passes the validator,
// keeps the source's weights, and a vertex bound to each joint lands where three.js skins it in
// the source file.
TEST(GltfExport, MeshFromSkinsAsTheSourceFile) {
  const std::string missing = gltf_test::NodeMissing();
  if (!missing.empty()) GTEST_SKIP() << "glTF checks not run: " << missing;
  files_test::TempDir dir;
  int code = 0;
  std::string text =
      gltf_test::Run("node " + gltf_test::kNodeDir + "/build.mjs " + dir.Path(), &code);
  ASSERT_EQ(code, 0) << text;
  const std::string source = dir / "armbody.glb", out = dir / "out.glb";
  const std::string h = dir / "arm.zkh", s = dir / "arm.zka", frame = " --units mm --up z";
  text = gltf_test::Run(kTool + " import " + source + " --hierarchy " + h + " --scene " + s + frame,
                        &code);
  ASSERT_EQ(code, 0) << text;
  text =
      gltf_test::Run(kTool + " export " + h + " " + s + " " + out + frame + " --mesh-from", &code);
  ASSERT_EQ(code, 0) << text;
  text = gltf_test::Run("node " + gltf_test::kNodeDir + "/validate.mjs " + out, &code);
  EXPECT_NE(text.find(" errors=0 warnings=0"), std::string::npos) << text;
  // The shared vertices' float weights come through as they are (three.js checks only the others).
  auto weights = [](const tinygltf::Model& model) {
    return gltf_test::Floats(model, model.meshes.at(0).primitives.at(0).attributes.at("WEIGHTS_0"));
  };
  EXPECT_EQ(weights(gltf_test::LoadModel(out)), weights(gltf_test::LoadModel(source)));
  // On the export's 30 frames per second, away from the hand's STEP keys.
  for (const char* joint : {"upperarm L", "forearm L", "hand L"}) {
    auto skinned = [&](const std::string& file) {
      const std::string json = gltf_test::Run("node " + gltf_test::kNodeDir + "/sample.mjs " +
                                                  file + " 0,0.4,1,1.6,2 'skin=" + joint + "'",
                                              &code);
      EXPECT_EQ(code, 0) << json;
      return code == 0 ? nlohmann::json::parse(json) : nlohmann::json();
    };
    const nlohmann::json want = skinned(source), got = skinned(out);
    ASSERT_EQ(got["skinnedMeshes"], 1) << joint;
    ASSERT_EQ(got["skinned"].size(), want["skinned"].size()) << joint;
    for (size_t k = 0; k < want["skinned"].size(); ++k)
      for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got["skinned"][k][i].get<double>(), want["skinned"][k][i].get<double>(), 1e-4)
            << joint << " time " << k << " axis " << i;
  }
}

TEST(GltfExport, RefusedRunsExitOneAndWriteNothing) {
  files_test::TempDir dir;
  const std::string h = kSamples + "human_skeleton.zkh", s = kSamples + "idle_loop.zka";
  struct Case {
    std::string args, message;
    int code;
  };
  const Case cases[] = {
      {"missing.zkh " + s, "missing.zkh", 1},
      {h + " missing.zka", "missing.zka", 1},
      {h + " " + s + " --rate 0", "rate", 1},
      {h + " " + s + " --units cm", "--units", 2},
  };
  for (const Case& c : cases) {
    int code = 0;
    const std::string text =
        gltf_test::Run(kTool + " export " + c.args + " " + (dir / "out.glb"), &code);
    EXPECT_EQ(code, c.code) << c.args << ": " << text;
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace

#endif
