// The zelkar-asset program itself, run as a user runs it: exit codes, one-line messages on
// stderr, the files it writes, and the sample assets that the build made with it.
#ifdef ZELKAR_ASSET_CORE

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>

#include "ArchivePacker.h"
#include "AssetError.h"
#include "AssetFiles.h"
#include "support/ToolRun.h"

namespace NZelkarAsset {
namespace {

namespace fs = std::filesystem;
using ToolRun = zk_test::SToolRun;
using zk_test::Lines;

class AssetCli : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return m_dir / name; }

  ToolRun Tool(const std::vector<std::string>& arguments) const {
    return zk_test::RunTool(ZELKAR_ASSET_TOOL, m_dir.Path(), arguments);
  }

  void Write(const std::string& name, const std::string& text) const {
    fs::create_directories(fs::path(Path(name)).parent_path());
    WriteWholeFile(Path(name), text);
  }

  files_test::TempDir m_dir;
};

const char kScene[] = R"({"comment": "a small scene", "chunks": [
  {"type": "object", "name": "Hand::PRS", "controller": {"type": "prs",
    "position": {"type": "positionVector", "track": {"keyType": "linearPosition",
      "before": "hold", "after": "hold", "keys": [{"time": 0, "value": [1, 2, 3]}]}},
    "rotation": {"type": "rotationQuaternion", "track": {"keyType": "linearRotation",
      "before": "hold", "after": "hold", "keys": [{"time": 0, "angle": 0, "axis": [0, 0, 1]}]}},
    "scale": {"type": "scale", "track": {"keyType": "linearScale", "before": "hold",
      "after": "hold", "keys": [{"time": 0, "scale": [1, 1, 1], "angle": 0,
                                 "axis": [0, 0, 1]}]}}}},
  {"type": "range", "start": 0, "end": 0.33333334}]})";

TEST_F(AssetCli, BadArgumentsGiveOneLineAndCodeTwo) {
  for (const char* line : {"", "build only-one.json", "dump", "pack only.rbz", "frobnicate",
                           "dump a b c", "build --bogus a b"}) {
    std::istringstream words(line);
    const ToolRun run = Tool({std::istream_iterator<std::string>(words), {}});
    EXPECT_EQ(run.code, 2) << run.err;
    EXPECT_EQ(Lines(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("zelkar-asset: ", 0), 0u) << run.err;
  }
}

TEST_F(AssetCli, CheckRunsTheLibraryLoader) {
  Write("scene.json", kScene);
  ASSERT_EQ(Tool({"build", "scene.json", "scene.zka"}).code, 0);
  const ToolRun run = Tool({"check", "scene.zka"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "scene.zka: scene accepted: 1 objects, 4 controllers, 3 tracks, 3 keys, 1 scene "
            "ranges\n");
}

// Each refusal: exit code 1, nothing on stdout, one line on stderr naming the file and the place
// of the damage (a JSON path, a line, a byte offset), and no output file.
TEST_F(AssetCli, BadFilesAreRefusedWithOneLineNamingThePlace) {
  Write("scene.json", kScene);
  ASSERT_EQ(Tool({"build", "scene.json", "scene.zka"}).code, 0);
  const Bytes built = ReadWholeFile(Path("scene.zka"));
  Write("cut.zka", std::string(built.begin(), built.end() - 30));
  Write("text.zka", "this is not a scene file at all");
  std::string missing = kScene;
  Write("missing.json",
        missing.replace(missing.find("\"angle\": 0, \"axis\": [0, 0, 1]}]}}"), 12, ""));
  Write("broken.json", "{\"chunks\": [\n  {\"type\": }\n]}");
  const struct {
    std::vector<std::string> arguments;
    std::string start, also;
  } cases[] = {
      {{"build", "missing.json", "out.zka"},
       "missing.json: /chunks/0/controller/rotation/track/keys/0/angle: missing\n",
       ""},
      {{"build", "broken.json", "out.zka"}, "broken.json: ", "line 2"},
      {{"build", "absent.json", "out.zka"}, "absent.json: cannot read the file\n", ""},
      {{"build", "scene.json", "no/such/folder/out.zka"},
       "",
       "Error creating file: no/such/folder"},
      {{"dump", "cut.zka"}, "cut.zka: byte 35: chunk (class 6, subclass 21) claims", ""},
      {{"dump", "text.zka"}, "text.zka: byte 0: not a hierarchy or scene file", ""},
      {{"dump", "absent.zka"}, "absent.zka: cannot read the file", ""},
      // The library loader's refusals, on one line: the file and the offset of the damage.
      {{"check", "cut.zka"}, "", "cut.zka, offset "},
      {{"check", "text.zka"}, "", "doesn't have a valid header"},
      {{"check", "absent.zka"}, "", "absent.zka"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Tool(c.arguments);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lines(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("zelkar-asset: " + c.start, 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.also), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(m_dir / "out.zka"));
}

TEST(AssetArchiveNames, BackslashesBecomeSlashesAndClimbingIsRefused) {
  EXPECT_EQ(MemberNameForPath("Misc\\ZK_Driver.ini"), "Misc/ZK_Driver.ini");
  EXPECT_EQ(MemberNameForPath("./././a/b.zka"), "a/b.zka");
  EXPECT_EQ(MemberNameForPath("a/..b/c"), "a/..b/c");
  EXPECT_THROW(MemberNameForPath("a/../b"), CAssetError);
  EXPECT_THROW(MemberNameForPath(".."), CAssetError);
  EXPECT_THROW(MemberNameForPath("/etc/x"), CAssetError);
  EXPECT_THROW(MemberNameForPath("C:\\x"), CAssetError);
  EXPECT_THROW(MemberNameForPath("dir/"), CAssetError);
}

// Every sample asset that the build made: dump then build gives back the same bytes.
TEST_F(AssetCli, SampleAssetsSurviveDumpAndBuild) {
  const fs::path assets = ZELKAR_ASSET_DIR;
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(assets / "samples")) {
    const std::string name = entry.path().filename().string();
    names.insert(name);
    const std::string source = entry.path().string();
    ToolRun run = Tool({"dump", source, "-o", "dumped.json"});
    ASSERT_EQ(run.code, 0) << name << ": " << run.err;
    run = Tool({"build", "dumped.json", "rebuilt.bin"});
    ASSERT_EQ(run.code, 0) << name << ": " << run.err;
    EXPECT_EQ(ReadWholeFile(Path("rebuilt.bin")), ReadWholeFile(source)) << name;
  }
  EXPECT_EQ(names, (std::set<std::string>{"car_idle.zka", "codriver_notes.zka", "driver_steer.zka",
                                          "human_skeleton.zkh", "idle_loop.zka", "rally_car.zkh",
                                          "rally_car_sequential.zkh"}));
}

}  // namespace
}  // namespace NZelkarAsset

#endif
