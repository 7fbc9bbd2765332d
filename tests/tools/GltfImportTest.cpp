// The glTF importer: files from another writer play as a glTF viewer plays them, a sample's
// export imports back to the same matrices, and damaged files are refused by JSON path or byte
// offset with nothing written.
#ifdef ZELKAR_GLTF

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

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
  return RecordScene(dir + "/imported.zkh", dir + "/imported.zka", {0, to, rate, "", {}});
}

// Writes build.mjs's files into dir. Returns why they cannot be made here (empty when made).
std::string BuildFilesOfAnotherWriter(const std::string& dir) {
  const std::string missing = gltf_test::NodeMissing();
  if (!missing.empty()) return missing;
  int code = 0;
  const std::string built =
      gltf_test::Run("node " + gltf_test::kNodeDir + "/build.mjs " + dir, &code);
  if (code == 0) return "";
  ADD_FAILURE() << built;
  return "build.mjs failed";
}

// Three.js samples files written by @gltf-transform/core; the library plays our import of them.
TEST(GltfImport, FilesOfAnotherWriterPlayAsAViewerShowsThem) {
  files_test::TempDir dir;
  const std::string missing = BuildFilesOfAnotherWriter(dir.Path());
  if (!missing.empty()) GTEST_SKIP() << "no files of another writer: " << missing;
  int code = 0;
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

// walk.glb of another writer: its armature node (no joint) carries the root motion, a STEP
// channel starts late, a node that is no ancestor of a joint moves alone. Each case plays our
// import (or our export of it) against a viewer playing the source, or is refused on one short
// line with nothing written.
TEST(GltfImport, RootMotionLoopsExportBackAndRefusals) {
  files_test::TempDir dir;
  const std::string missing = BuildFilesOfAnotherWriter(dir.Path());
  if (!missing.empty()) GTEST_SKIP() << "no files of another writer: " << missing;
  int code = 0;
  const std::string gltf = files_test::ReadFile(dir / "walk.gltf");
  files_test::WriteFile(dir / "cut.gltf", gltf.substr(0, gltf.find("base64,") + 600));
  files_test::WriteFile(dir / "empty.glb", "");
  for (const auto& [file, field, value] :
       {std::tuple{"v1.gltf", "version", "1.0"}, {"v21.gltf", "minVersion", "2.1"}}) {
    nlohmann::json j = nlohmann::json::parse(gltf);
    j["asset"][field] = value;
    files_test::WriteFile(dir / file, j.dump());
  }
  struct Case {
    const char* what;
    const char* file;
    std::string importArgs, exportArgs;  // exportArgs: the import is exported and that compared
    bool loop;                           // the viewer repeats the clip
    double to;                           // sampled from 0 every 0.025 s
    const char* refusal;                 // the import is refused with this on its line
  };
  const Case cases[] = {
      {"root motion", "walk.glb", "", "", false, 2.4, ""},
      {"root motion in mm, Y up", "walk.gltf", "--units mm --up y", "", false, 2.4, ""},
      {"looped", "walk.glb", "--loop", "", true, 5.0, ""},
      {"exported back, Y up", "walk.glb", "--up y", "--up y", false, 2.4, ""},
      {"exported back, Z up in mm", "walk.glb", "--units mm", "--units mm", false, 2.4, ""},
      {"version 1.0", "v1.gltf", "", "", false, 0, "asset.version: \"1.0\""},
      {"needs 2.1", "v21.gltf", "", "", false, 0, "asset.minVersion"},
      {"empty", "empty.glb", "", "", false, 0, "empty file"},
      {"truncated", "cut.gltf", "", "", false, 0, "missing closing quote"},
  };
  const std::string tool = ZELKAR_ASSET_TOOL;
  for (const Case& c : cases) {
    std::filesystem::remove(dir / "o.zkh");
    std::filesystem::remove(dir / "o.zka");
    const std::string imported =
        gltf_test::Run(tool + " import " + (dir / c.file) + " --hierarchy " + (dir / "o.zkh") +
                           " --scene " + (dir / "o.zka") + " " + c.importArgs,
                       &code);
    if (*c.refusal != '\0') {
      EXPECT_EQ(code, 1) << c.what << ": " << imported;
      EXPECT_NE(imported.find(c.refusal), std::string::npos) << c.what << ": " << imported;
      EXPECT_EQ(imported.find('\n'), imported.size() - 1) << c.what << ": " << imported;
      EXPECT_LT(imported.size(), 300u) << c.what << ": " << imported;
      EXPECT_FALSE(std::filesystem::exists(dir / "o.zkh")) << c.what;
      continue;
    }
    ASSERT_EQ(code, 0) << c.what << ": " << imported;
    const SFrame frame{c.importArgs.find("--up y") == std::string::npos,
                       c.importArgs.find("--units mm") == std::string::npos ? 1.0 : 0.001};
    SRecording ours = RecordScene(dir / "o.zkh", dir / "o.zka", {0, c.to, 40, "", {}});
    std::string times;
    for (float t : ours.times) {  // every digit: the viewer places the same time as the library
      char text[32];
      std::snprintf(text, sizeof text, "%s%.17g", times.empty() ? "" : ",", double(t));
      times += text;
    }
    nlohmann::json exported;
    if (!c.exportArgs.empty()) {
      const std::string text =
          gltf_test::Run(tool + " export " + (dir / "o.zkh") + " " + (dir / "o.zka") + " " +
                             (dir / "back.glb") + " " + c.exportArgs,
                         &code);
      ASSERT_EQ(code, 0) << c.what << ": " << text;
      const tinygltf::Model back = gltf_test::LoadModel(dir / "back.glb");
      EXPECT_EQ(back.animations.at(0).name, "walk") << c.what;
      std::set<std::string> stepped;  // nodes with a STEP channel
      for (const auto& ch : back.animations[0].channels)
        if (back.animations[0].samplers.at(ch.sampler).interpolation == "STEP")
          stepped.insert(back.nodes.at(ch.target_node).name + " " + ch.target_path);
      EXPECT_EQ(stepped, std::set<std::string>{"foot translation"}) << c.what;
      exported = nlohmann::json::parse(gltf_test::Run(
          "node " + gltf_test::kNodeDir + "/sample.mjs " + (dir / "back.glb") + " " + times,
          &code));
    }
    const nlohmann::json reference = nlohmann::json::parse(
        gltf_test::Run("node " + gltf_test::kNodeDir + "/sample.mjs " + (dir / c.file) + " " +
                           times + (c.loop ? " loop" : ""),
                       &code));
    std::set<std::string> names;
    for (const SNodeInfo& n : ours.nodes) names.insert(n.name);
    EXPECT_EQ(names, (std::set<std::string>{"Armature", "hips", "spine", "foot"})) << c.what;
    for (size_t f = 0; f < ours.times.size(); ++f)
      for (size_t i = 0; i < ours.nodes.size(); ++i) {
        const std::string& name = ours.nodes[i].name;
        const nlohmann::json& theirs = reference.at(name).at(f);
        const SAffine played =
            LibraryToGltf(ToAffine(ours.worlds[f * ours.nodes.size() + i]), frame);
        for (int k = 0; k < 16; ++k) {
          const double got =
              exported.is_null() ? played.m[k] : exported.at(name).at(f)[k].get<double>();
          ASSERT_NEAR(got, theirs[k].get<double>(), 2e-6)
              << c.what << ": " << name << " at " << ours.times[f] << " s, element " << k;
        }
      }
  }
}

TEST(GltfImport, ExportedSamplesImportBackToTheSameMatrices) {
  files_test::TempDir dir;
  const float metresPerUnit = 0.001f;  // the person's millimetres
  for (const char* scene : {"idle_loop.zka", "driver_steer.zka", "codriver_notes.zka"}) {
    const SPlayOptions play{0, -1, 30, "", {}};
    const SRecording original =
        RecordScene(kSamples + "human_skeleton.zkh", kSamples + scene, play);
    WriteGlb(original, dir / "sample.glb", {"sample", metresPerUnit, true, {}, {}});
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
