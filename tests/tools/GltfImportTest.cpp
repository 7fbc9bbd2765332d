// The glTF importer: files from another writer play as a glTF viewer plays them, a sample's
// export imports back to the same matrices, and damaged files are refused by JSON path or byte
// offset with nothing written.
#ifdef ZELKAR_GLTF

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "GltfImport.h"
#include "GltfTestSupport.h"
#include "GltfWriter.h"
#include "SceneRecording.h"
#include "files/FilesTestSupport.h"

namespace zk_gltf {
namespace {

using zk_play::RecordScene;
using zk_play::SPlayOptions;

const std::string kSamples = ZELKAR_ASSET_DIR "/samples/";

SRecording ImportAndPlay(const std::string& file, const SImportOptions& options,
                         const std::string& dir, double to, double rate) {
  tinygltf::Model model;
  LoadGltf(file, &model);
  WriteImport(ImportModel(model, options, file), dir + "/imported.zkh", dir + "/imported.zka");
  return RecordScene(dir + "/imported.zkh", dir + "/imported.zka", {0, to, rate, ""});
}

// Three.js samples files written by @gltf-transform/core; the library plays our import of them.
TEST(GltfImport, FilesOfAnotherWriterPlayAsAViewerShowsThem) {
  const std::string missing = gltf_test::NodeMissing();
  if (!missing.empty()) GTEST_SKIP() << "no files of another writer: " << missing;
  files_test::TempDir dir;
  int code = 0;
  const std::string built =
      gltf_test::Run("node " + gltf_test::kNodeDir + "/build.mjs " + dir.Path(), &code);
  ASSERT_EQ(code, 0) << built;
  const std::string list = gltf_test::Run(
      std::string(ZELKAR_ASSET_TOOL) + " import " + (dir / "twoskins.glb") + " --list", &code);
  EXPECT_EQ(list,
            "skin 0 \"A\": 2 joints\nskin 1 \"B\": 2 joints\nanimation 0 \"bend\": 2 channels, "
            "1.000000 s\n");
  struct Case {
    const char* file;
    int skin;
    SFrame frame;
    std::set<std::string> joints;
  };
  const std::set<std::string> arm = {"upperarm L", "forearm L", "hand L"};
  const Case cases[] = {{"arm.glb", -1, {true, 1.0}, arm},
                        {"arm.gltf", -1, {false, 0.001}, arm},
                        {"twoskins.glb", 1, {true, 1.0}, {"b1", "b2"}}};
  for (const Case& c : cases) {
    SImportOptions options;
    options.skin = c.skin;
    options.frame = c.frame;
    // 0 to 2.4 s every 0.05 s: between keys, on keys and past the last one (held).
    const SRecording rec = ImportAndPlay(dir / c.file, options, dir.Path(), 2.4, 20);
    std::set<std::string> names;
    for (const SNodeInfo& n : rec.nodes) names.insert(n.name);
    EXPECT_EQ(names, c.joints) << c.file;

    if (c.file == std::string("arm.glb")) {
      // Drawn from build.mjs, not from the conversion code: "upperarm L" rests at glTF
      // (0.2, 1.1, -0.3) + 0.5 · Rx(-90°) · (0.4, 0, 1.2) = (0.4, 1.7, -0.3); in the library's
      // Z-up frame (left +X, front -Y) that is (0.4, 0.3, 1.7): still on the left, 1.7 m up.
      const auto at = std::find_if(rec.nodes.begin(), rec.nodes.end(),
                                   [](const SNodeInfo& node) { return node.name == "upperarm L"; });
      const Matrix& m = rec.worlds[at - rec.nodes.begin()];
      EXPECT_NEAR(m.m[12], 0.4, 1e-6);
      EXPECT_NEAR(m.m[13], 0.3, 1e-6);
      EXPECT_NEAR(m.m[14], 1.7, 1e-6);
    }
    std::string times;
    for (float t : rec.times) times += (times.empty() ? "" : ",") + std::to_string(t);
    const std::string sampled = gltf_test::Run(
        "node " + gltf_test::kNodeDir + "/sample.mjs " + (dir / c.file) + " " + times, &code);
    ASSERT_EQ(code, 0) << sampled;
    const nlohmann::json reference = nlohmann::json::parse(sampled);
    for (size_t f = 0; f < rec.times.size(); ++f)
      for (size_t i = 0; i < rec.nodes.size(); ++i) {
        // Both sides in glTF's frame: the row form's row-major order is the column form's
        // column-major order.
        const SAffine ours = LibraryToGltf(ToAffine(rec.worlds[f * rec.nodes.size() + i]), c.frame);
        const nlohmann::json& theirs = reference.at(rec.nodes[i].name).at(f);
        for (int k = 0; k < 16; ++k)
          ASSERT_NEAR(ours.m[k], theirs[k].get<double>(), 1e-4)
              << c.file << " " << rec.nodes[i].name << " at " << rec.times[f] << " s, element "
              << k;
      }
  }
}

TEST(GltfImport, ExportedSamplesImportBackToTheSameMatrices) {
  files_test::TempDir dir;
  const float metresPerUnit = 0.001f;  // the person's millimetres
  for (const char* scene : {"idle_loop.zka", "driver_steer.zka", "codriver_notes.zka"}) {
    const SPlayOptions play{0, -1, 30, ""};
    const SRecording original =
        RecordScene(kSamples + "human_skeleton.zkh", kSamples + scene, play);
    WriteGlb(original, dir / "sample.glb", {"sample", metresPerUnit});
    SImportOptions options;
    options.frame = {true, metresPerUnit};
    const SRecording back =
        ImportAndPlay(dir / "sample.glb", options, dir.Path(), original.times.back(), 30);
    ASSERT_EQ(back.worlds.size(), original.worlds.size()) << scene;
    for (size_t i = 0; i < back.nodes.size(); ++i)
      ASSERT_EQ(back.nodes[i].name, original.nodes[i].name);
    for (size_t k = 0; k < back.worlds.size(); ++k)
      for (int e = 0; e < 16; ++e)
        ASSERT_NEAR(back.worlds[k].m[e], original.worlds[k].m[e],
                    e >= 12 ? 1e-4 / metresPerUnit : 1e-4)
            << scene << " frame " << k / back.nodes.size() << " node "
            << back.nodes[k % back.nodes.size()].name << " element " << e;
  }
}

TEST(GltfImport, DamagedFilesAreRefusedWhereTheyAreWrong) {
  files_test::TempDir dir;
  SRecording rec;
  rec.nodes = {{"a", -1}, {"b", 0}};
  rec.times = {0, 1};
  for (float x : {0.f, 0.f, 1.f, 2.f})
    rec.worlds.push_back({{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, 0, 1}});
  WriteGlb(rec, dir / "good.glb");
  const std::string glb = files_test::ReadFile(dir / "good.glb");
  // The same file as .gltf + .bin, to spoil its JSON.
  const uint32_t jsonLength = *reinterpret_cast<const uint32_t*>(glb.data() + 12);
  nlohmann::json good = nlohmann::json::parse(glb.substr(20, jsonLength));
  files_test::WriteFile(dir / "data.bin", glb.substr(20 + jsonLength + 8));
  good["buffers"][0]["uri"] = "data.bin";

  struct Case {
    const char* what;
    void (*spoil)(nlohmann::json&);
    const char* where;
  };
  const Case cases[] = {
      {"view past its buffer", [](nlohmann::json& j) { j["bufferViews"][1]["byteLength"] = 4096; },
       "bufferView"},
      {"integer times", [](nlohmann::json& j) { j["accessors"][0]["componentType"] = 5123; },
       "accessors[0].componentType"},
      {"joint past the nodes",
       [](nlohmann::json& j) {
         j["skins"] = {{{"joints", {0, 7}}}};
       },
       "skins[0].joints[1]"},
      {"cycle", [](nlohmann::json& j) { j["nodes"][1]["children"] = {0}; }, "cycle"},
      {"2 GB count", [](nlohmann::json& j) { j["accessors"][1]["count"] = 2000000000; },
       "accessors[1].count"},
      {"missing .bin", [](nlohmann::json& j) { j["buffers"][0]["uri"] = "gone.bin"; }, "gone.bin"},
  };
  auto expectRefused = [&](const std::string& file, const std::string& where, const char* what) {
    int code = 0;
    const std::string out =
        gltf_test::Run(std::string(ZELKAR_ASSET_TOOL) + " import " + file + " --hierarchy " +
                           (dir / "o.zkh") + " --scene " + (dir / "o.zka"),
                       &code);
    EXPECT_EQ(code, 1) << what << ": " << out;
    EXPECT_NE(out.find(where), std::string::npos) << what << ": " << out;
    EXPECT_FALSE(std::filesystem::exists(dir / "o.zkh") || std::filesystem::exists(dir / "o.zka"))
        << what;
  };
  for (const Case& c : cases) {
    nlohmann::json spoiled = good;
    c.spoil(spoiled);
    files_test::WriteFile(dir / "bad.gltf", spoiled.dump());
    expectRefused(dir / "bad.gltf", c.where, c.what);
  }
  files_test::WriteFile(dir / "cut.glb", glb.substr(0, glb.size() / 2));
  expectRefused(dir / "cut.glb", "byte 8", "truncated .glb");
}

}  // namespace
}  // namespace zk_gltf

#endif
