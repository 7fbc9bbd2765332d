// zelkar-asset export: every sample played through the library and written as .glb passes the
// glTF validator; bad arguments and files are refused with nothing written.
#ifdef ZELKAR_GLTF

#include <gtest/gtest.h>

#include <filesystem>

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
