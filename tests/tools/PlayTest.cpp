// zelkar-play run as a user runs it, on the sample assets the build made: the CSV against the
// hierarchy's own numbers, the drawing, and one-line failures with their exit codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/ToolRun.h"

namespace {

namespace fs = std::filesystem;
using SRun = zk_test::SToolRun;
using zk_test::Lines;

const std::string kAssets = ZELKAR_ASSET_DIR "/samples/";
const std::string kHierarchy = kAssets + "human_skeleton.zkh";
const std::string kScene = kAssets + "driver_steer.zka";
// Frame 10 at 30 frames per second, as the scene's key times hold it.
const char kSteeringEnd[] = "0.33333334";

struct SRow {
  float time;
  std::string node;
  float x, y, z;
};

// A real number with nothing around it, finite.
bool ParseFinite(const std::string& text, float& value) {
  char* end = nullptr;
  value = std::strtof(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
}

// Names, kinds and rest positions from the hierarchy's JSON source: a truth the player and the
// library did not compute.
struct SSourceNode {
  std::string name;
  int kind;
  float x, y, z;
};

std::vector<SSourceNode> SourceNodes() {
  std::ifstream in(ZELKAR_SOURCE_DIR "/assets/human_skeleton.zkh.json");
  const nlohmann::json document = nlohmann::json::parse(in);
  std::vector<SSourceNode> nodes;
  for (const auto& node : document["chunks"][0]["nodes"]) {
    const auto& row = node["transform"][3];
    nodes.push_back({node["name"].get<std::string>(), node["kind"].get<int>(), row[0].get<float>(),
                     row[1].get<float>(), row[2].get<float>()});
  }
  return nodes;
}

class PlayTool : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return m_dir / name; }

  SRun Run(const std::vector<std::string>& arguments) const {
    return zk_test::RunTool(ZELKAR_PLAY_TOOL, m_dir.Path(), arguments);
  }

  // Parses CSV, failing the test on a malformed row or a number that is not finite.
  static std::vector<SRow> ParseCsv(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "time,node,x,y,z");
    std::vector<SRow> rows;
    while (std::getline(in, line)) {
      std::vector<std::string> fields;
      std::stringstream split(line);
      for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
      EXPECT_EQ(fields.size(), 5u) << line;
      if (fields.size() != 5) continue;
      SRow row;
      row.node = fields[1];
      const bool finite = ParseFinite(fields[0], row.time) && ParseFinite(fields[2], row.x) &&
                          ParseFinite(fields[3], row.y) && ParseFinite(fields[4], row.z);
      EXPECT_TRUE(finite) << line;
      rows.push_back(row);
    }
    return rows;
  }

  // A failure: the exit code, nothing on stdout, one line on stderr that names the program.
  void ExpectOneLineFailure(const SRun& run, int code, const std::string& mention) const {
    EXPECT_EQ(run.code, code) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_EQ(Lines(run.err), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("zelkar-play: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(mention), std::string::npos) << run.err;
  }

  files_test::TempDir m_dir;
};

TEST_F(PlayTool, NeutralFrameIsTheRestPoseAndTheHandsSteer) {
  const SRun run = Run({"--hierarchy", kHierarchy, "--scene", kScene, "--to", kSteeringEnd});
  ASSERT_EQ(run.code, 0) << run.err;
  std::map<std::string, std::vector<SRow>> byNode;
  for (const SRow& row : ParseCsv(run.out)) byNode[row.node].push_back(row);

  // The hierarchy holds the world positions of frame 5, where the wheel is straight: every bone
  // played there must stand where the file puts it.
  for (const SSourceNode& node : SourceNodes()) {
    if (node.kind != 2) continue;
    const SRow& at = byNode[node.name].at(5);
    EXPECT_NEAR(at.x, node.x, 0.05) << node.name;
    EXPECT_NEAR(at.y, node.y, 0.05) << node.name;
    EXPECT_NEAR(at.z, node.z, 0.05) << node.name;
  }
  // Steering moves the hands around the wheel; the head stays put.
  for (const char* name : {"B_hand L", "B_hand R"}) {
    const SRow& first = byNode[name].front();
    const SRow& last = byNode[name].back();
    EXPECT_GT(std::hypot(last.x - first.x, last.y - first.y, last.z - first.z), 100.0f) << name;
  }
  const SRow& wheel = byNode["D_steeringwheel"].front();
  for (const SRow& hand : byNode["B_hand L"])
    EXPECT_LT(std::hypot(hand.x - wheel.x, hand.y - wheel.y, hand.z - wheel.z), 300.0f);
}

TEST_F(PlayTool, FilesInsideAnArchivePlayLikeLooseOnes) {
  // Only the archive: the library and the player must both find the members in it.
  fs::create_directories(m_dir / "packed");
  fs::copy_file(ZELKAR_ASSET_DIR "/samples.rbz", Path("packed/samples.rbz"));
  const SRun packed = Run({"--hierarchy", "packed/samples/human_skeleton.zkh", "--scene",
                           "packed/samples/idle_loop.zka", "--step", "0.5"});
  ASSERT_EQ(packed.code, 0) << packed.err;
  const SRun loose =
      Run({"--hierarchy", kHierarchy, "--scene", kAssets + "idle_loop.zka", "--step", "0.5"});
  ASSERT_EQ(loose.code, 0) << loose.err;
  EXPECT_EQ(packed.out, loose.out);
  EXPECT_EQ(ParseCsv(packed.out).size(), SourceNodes().size() * 9);  // 0 to 4 s
}

TEST_F(PlayTool, DrawingStandsUprightInFrontAndSideViews) {
  const SRun run = Run({"--hierarchy", kHierarchy, "--scene", kScene, "--to", kSteeringEnd, "--svg",
                        "pose.svg", "--output", "pose.csv"});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string svg = files_test::ReadFile(Path("pose.svg"));
  // Five panels by default, each a front and a side view: every joint drawn ten times.
  std::map<std::string, std::vector<std::pair<double, double>>> joints;
  for (std::size_t at = svg.find("<circle cx=\""); at != std::string::npos;
       at = svg.find("<circle cx=\"", at + 1)) {
    // <circle cx="X" cy="Y" ...><title>NAME</title></circle>
    const std::size_t cy = svg.find("cy=\"", at);
    const std::size_t title = svg.find("<title>", at);
    const std::size_t end = svg.find("</title>", title);
    ASSERT_TRUE(cy != std::string::npos && end != std::string::npos);
    joints[svg.substr(title + 7, end - title - 7)].push_back(
        {std::stod(svg.substr(at + 12)), std::stod(svg.substr(cy + 4))});
  }
  ASSERT_EQ(joints["B_head"].size(), 10u);
  for (std::size_t view = 0; view < 10; ++view) {
    // Screen y grows downwards: the head is above the pelvis in both views.
    EXPECT_LT(joints["B_head"][view].second, joints["B_pelvis"][view].second) << view;
    if (view % 2 == 0) {
      // Front view, facing the person: their left on the viewer's right.
      EXPECT_GT(joints["B_upper arm L"][view].first, joints["B_upper arm R"][view].first);
    } else {
      // Side view: the feet are ahead of the pelvis, and the person faces right.
      EXPECT_GT(joints["B_toe R"][view].first, joints["B_pelvis"][view].first);
    }
  }
}

// Bad arguments exit with 2, missing files with 1, each with one line naming the culprit.
TEST_F(PlayTool, BadArgumentsAndMissingFilesFailWithOneLine) {
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> all{"--hierarchy", kHierarchy, "--scene", kScene};
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
  };
  const struct {
    std::vector<std::string> arguments;
    int code;
    std::string mention;
  } cases[] = {
      {{}, 2, "--hierarchy"},
      {with({"--bogus"}), 2, "--bogus"},
      {with({"--step", "0"}), 2, "--step"},
      {with({"--step", "-1"}), 2, "--step"},
      {with({"--from", "1", "--to", "0.5"}), 2, "--to"},
      {with({"--from", "0", "--to", "1e9", "--step", "0.0001"}), 2, "million"},
      {with({"--category", "4"}), 2, "--category"},
      {with({"--nodes", "B_head,,B_neck"}), 2, "empty entry"},
      {with({"--nodes", "B_head,B_tail", "--output", "refused.csv"}), 2, "B_tail"},
      {with({"--svg-times", "0"}), 2, "--svg"},
      {with({"--svg", "x.svg", "--svg-times", "0,soon"}), 2, "soon"},
      {with({"--up", "x"}), 2, "--up"},
      {with({"--kind", "Foo"}), 2, "Spectator, Driver, CoDriver, Car"},
      {with({"--kind", "driver"}), 2, "--car"},
      {{"--hierarchy", Path("nowhere.zkh")}, 1, "nowhere.zkh"},
      {{"--hierarchy", kHierarchy, "--scene", Path("nowhere.zka")}, 1, "nowhere.zka"},
      {{"--hierarchy", kHierarchy, "--library", Path("libnone.so")}, 1, "libnone.so"},
      {{"--hierarchy", kHierarchy, "--output", Path("no/such/folder/out.csv")}, 1, "out.csv"},
  };
  for (const auto& c : cases) ExpectOneLineFailure(Run(c.arguments), c.code, c.mention);
  EXPECT_FALSE(fs::exists(m_dir / "refused.csv"));  // a refused run leaves no file
}

TEST_F(PlayTool, PeopleSitInTheCarGivenOnTheCommandLine) {
  // The co-driver reads at frame 0 and looks at the road at frame 90 (3 s): the head comes up.
  // The driver, with no car-control input, holds the straight-ahead pose of frame 5.
  const std::string car = kAssets + "rally_car.zkh";
  const SRun notes =
      Run({"--hierarchy", kHierarchy, "--scene", kAssets + "codriver_notes.zka", "--kind",
           "CoDriver", "--car", car, "--nodes", "D_look", "--step", "3", "--to", "3"});
  ASSERT_EQ(notes.code, 0) << notes.err;
  const std::vector<SRow> look = ParseCsv(notes.out);
  ASSERT_EQ(look.size(), 2u);
  EXPECT_LT(look[0].z + 20.0f, look[1].z);  // the eyes' dummy rises with the head
  const SRun driver = Run({"--hierarchy", kHierarchy, "--scene", kScene, "--kind", "Driver",
                           "--car", car, "--nodes", "B_hand R", "--to", "0.1"});
  ASSERT_EQ(driver.code, 0) << driver.err;
  const SRun car0 = Run({"--hierarchy", car, "--kind", "Car", "--to", "0"});
  EXPECT_EQ(car0.code, 0) << car0.err;
}

}  // namespace
