// zelkar-drive on the sample stage: refused stages and folders, repeatable outputs, and the page
// in a headless browser. (The .glb's matrices are the writer's test.)
#ifdef ZELKAR_DRIVE_TOOL

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "GltfTestSupport.h"
#include "Stage.h"
#include "support/ToolRun.h"

namespace zk_drive {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// The folder the sample stage's files are relative to.
const std::string kAssets = fs::path(ZELKAR_DRIVE_STAGE).parent_path().parent_path().string();

using SRun = zk_test::SToolRun;

class DriveTool : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return m_dir / name; }

  // The sample stage with its root made absolute, so a copy runs from anywhere.
  static json SampleStage() {
    json stage = json::parse(files_test::ReadFile(ZELKAR_DRIVE_STAGE));
    stage["root"] = kAssets;
    return stage;
  }

  SRun Drive(const std::string& stageText, std::vector<std::string> arguments) const {
    files_test::WriteFile(Path("stage.json"), stageText);
    arguments.insert(arguments.begin(), "stage.json");
    return zk_test::RunTool(ZELKAR_DRIVE_TOOL, m_dir.Path(), arguments);
  }

  files_test::TempDir m_dir;
};

TEST(DriveStage, ChannelsBlendOrHoldBetweenKeys) {
  // Keys: 0 at t=1, 10 at t=3, a jump to 20 at t=3, 40 at t=5.
  SChannel linear;
  linear.times = {1, 3, 3, 5};
  linear.values = {0, 10, 20, 40};
  SChannel held = linear;
  held.held = true;
  const struct {
    float t, linear, held;
  } cases[] = {{0.0f, 0, 0},   {1.0f, 0, 0},   {2.0f, 5, 0},   {2.5f, 7.5f, 0},
               {3.0f, 20, 20}, {4.0f, 30, 20}, {5.0f, 40, 40}, {9.0f, 40, 40}};
  std::size_t a = 0, b = 0;
  for (const auto& c : cases) {
    float v = -1;
    SampleChannel(linear, c.t, a, &v);
    EXPECT_FLOAT_EQ(v, c.linear) << c.t;
    SampleChannel(held, c.t, b, &v);
    EXPECT_FLOAT_EQ(v, c.held) << c.t;
  }
  // Going back in time finds the right keys again.
  float v = -1;
  SampleChannel(linear, 2.0f, a, &v);
  EXPECT_FLOAT_EQ(v, 5);
}

TEST_F(DriveTool, RefusesABadStageOrFolderWithItsPathAndLeavesNoOutput) {
  const struct {
    const char* edit;  // a JSON patch of the sample stage
    const char* where;
    const char* why;
  } cases[] = {
      {R"([{"op": "add", "path": "/timeline/3/steer", "value": 0.5}])", "/timeline/3/steer",
       "unknown key"},
      {R"([{"op": "replace", "path": "/timeline/12/time", "value": 0.05}])", "/timeline/12/time",
       "goes back"},
      {R"([{"op": "replace", "path": "/scenes/1/file", "value": "samples/none.zka"}])",
       "/scenes/1/file", "samples/none.zka"},
      {R"([{"op": "replace", "path": "/characters/1/hierarchy", "value": "samples/car_idle.zka"}])",
       "/characters/1/hierarchy", "car_idle.zka"},
      {R"([{"op": "replace", "path": "/csv/0/nodes/1", "value": "B_tail"}])", "/csv/0/nodes/1",
       "B_tail"},
      {R"([{"op": "move", "from": "/characters/0", "path": "/characters/2"}])",
       "/characters/0/kind", "list a Car before it"},
      // Beyond the float range: refused, not made infinite.
      {R"([{"op": "replace", "path": "/characters/3/position/0", "value": 1e39}])",
       "/characters/3/position/0", "value 1e+39 outside"},
      // The cast followed through the timeline.
      {R"([{"op": "add", "path": "/timeline/3/remove", "value": "Nobody"}])", "/timeline/3/remove",
       "no character named"},
      {R"([{"op": "add", "path": "/timeline/3/cleanup", "value": false}])", "/timeline/3/cleanup",
       "expected true"},
      {R"([{"op": "add", "path": "/timeline/3/remove", "value": "Marshal"}])",
       "/timeline/91/pin/character", "\"Marshal\" is not in the drive at 8 s"},
      {R"([{"op": "add", "path": "/timeline/3/create", "value": "Marshal"},
          {"op": "add", "path": "/timeline/4/create", "value": "Marshal"}])",
       "/timeline/4/create", "already in the drive"},
      {R"([{"op": "add", "path": "/timeline/3/create", "value": "Car"}])", "/characters",
       "no car before it in the drive at the start"},
      {R"([{"op": "add", "path": "/timeline/3/remove", "value": "Driver"},
          {"op": "add", "path": "/timeline/4/remove", "value": "Car"},
          {"op": "add", "path": "/timeline/5/create", "value": "Driver"}])",
       "/timeline/5/create", "no car is in the drive at 0.3 s"},
  };
  for (const auto& c : cases) {
    const json stage = SampleStage().patch(json::parse(c.edit));
    const SRun run = Drive(stage.dump(), {"-o", "out"});
    EXPECT_EQ(run.code, 1) << c.edit;
    EXPECT_NE(run.err.find("stage.json: " + std::string(c.where) + ": "), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Path("out"))) << c.edit;
  }
  // A truncated file: the parser's position, and nothing written.
  const std::string text = SampleStage().dump();
  const SRun run = Drive(text.substr(0, text.size() / 2), {"-o", "out"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("stage.json: /: not valid JSON"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("out")));
  // An output folder it cannot make, under a plain file: named, and the file left alone.
  files_test::WriteFile(Path("plain"), "a file, not a folder");
  const SRun plain = Drive(SampleStage().dump(), {"-o", "plain/out"});
  EXPECT_EQ(plain.code, 1);
  EXPECT_NE(plain.err.find(Path("plain/out")), std::string::npos) << plain.err;
  EXPECT_EQ(fs::file_size(Path("plain")), 20u);
}

// A run whose every frame of every node could not fit a .glb is refused before it drives, with
// what to change; a long stage at the usual rate drives (the 20-minute figures are in the notes).
TEST_F(DriveTool, RefusesARunTooLongForAGlbBeforeDriving) {
  const struct {
    float duration;
    const char* rate;
  } cases[] = {{3600, "1000"}, {3600, "120"}, {2400, "240"}};
  for (const auto& c : cases) {
    json stage = SampleStage();
    stage["duration"] = c.duration;
    const SRun run = Drive(stage.dump(), {"-o", "out", "--rate", c.rate});
    EXPECT_EQ(run.code, 1) << c.rate;
    EXPECT_NE(run.err.find("stage.json: 240 nodes over"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("lower the rate or the duration"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("zelkar-drive:"), run.err.rfind("zelkar-drive:")) << run.err;
    EXPECT_TRUE(fs::is_empty(Path("out"))) << c.rate;
  }
}

TEST_F(DriveTool, TwoRunsWriteTheSameBytes) {
  const std::string stage = SampleStage().dump();
  for (const char* folder : {"a", "b"}) {
    const SRun run = Drive(stage, {"-o", folder});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("page:  " + Path(std::string(folder) + "/stage.html")),
              std::string::npos);
    // The samples play quietly: no log line per frame.
    EXPECT_LT(std::count(run.err.begin(), run.err.end(), '\n'), 5) << run.err.substr(0, 300);
  }
  for (const char* file : {"stage.glb", "stage.csv"}) {
    const std::string a = files_test::ReadFile(Path(std::string("a/") + file));
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(std::hash<std::string>{}(a),
              std::hash<std::string>{}(files_test::ReadFile(Path(std::string("b/") + file))))
        << file;
  }
  // One row per frame (0 to 20 s at 60 Hz) and chosen node, and only the outputs in the folder.
  const std::string csv = files_test::ReadFile(Path("a/stage.csv"));
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 1201 * 7);
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("a")), fs::directory_iterator()), 3);
  // The crew rides in the car all along the stage: each head within reach of the body's origin
  // (the car is 4 m long), while the car itself travels far.
  std::istringstream rows(csv);
  std::string line, time, character, node;
  float body[3] = {}, start[3] = {}, p[3];
  std::getline(rows, line);
  for (int row = 0; std::getline(rows, line); ++row) {
    std::istringstream fields(line);
    std::getline(fields, time, ','), std::getline(fields, character, ',');
    std::getline(fields, node, ',');
    for (float& v : p) fields >> v, fields.ignore(1);
    if (node == "body") {
      if (row < 7) std::copy(p, p + 3, start);
      std::copy(p, p + 3, body);
    } else if (node == "B_head" && row >= 7) {
      EXPECT_LT(std::hypot(p[0] - body[0], p[1] - body[1], p[2] - body[2]), 1.5f) << line;
    }
  }
  EXPECT_GT(std::hypot(body[0] - start[0], body[1] - start[1]), 30.0f);
}

// The cast changing mid-drive: a character removed holds its last pose in the recording, one
// created late stands at the origin until then, and after a session clean-up the drive makes the
// cast again (the crew back in the car).
TEST_F(DriveTool, CastComesAndGoesWhileTheRecordingKeepsItsNodes) {
  json stage = SampleStage();
  stage["duration"] = 2;
  json timeline = json::array();
  for (const json& entry : stage["timeline"])
    if (entry["time"].get<float>() <= 2) timeline.push_back(entry);
  json late = stage["characters"][3];
  late["name"] = "Late";
  stage["characters"].push_back(late);
  timeline.push_back({{"time", 0.5}, {"remove", "Marshal"}});
  timeline.push_back({{"time", 1.0}, {"cleanup", true}, {"create", "Late"}});
  timeline.push_back({{"time", 1.5}, {"create", "Marshal"}});
  std::stable_sort(timeline.begin(), timeline.end(), [](const json& a, const json& b) {
    return a["time"].get<float>() < b["time"].get<float>();
  });
  stage["timeline"] = timeline;
  stage["csv"] = json::parse(R"([{"character": "Marshal", "nodes": ["B_head"]},
      {"character": "Late", "nodes": ["B_head"]}, {"character": "Car", "nodes": ["body"]},
      {"character": "Driver", "nodes": ["B_head"]}])");
  const SRun run = Drive(stage.dump(), {"-o", "out", "--rate", "10"});
  ASSERT_EQ(run.code, 0) << run.err;
  // Rows: time, then Marshal, Late, the car's body and the driver's head at each of 21 frames.
  std::istringstream rows(files_test::ReadFile(Path("out/stage.csv")));
  std::string line;
  std::getline(rows, line);
  std::vector<std::array<float, 3>> at[4];
  std::vector<float> times;
  for (int row = 0; std::getline(rows, line); ++row) {
    std::istringstream fields(line);
    std::string field;
    std::getline(fields, field, ',');
    if (row % 4 == 0) times.push_back(std::stof(field));
    std::getline(fields, field, ','), std::getline(fields, field, ',');
    std::array<float, 3> p{};
    for (float& v : p) fields >> v, fields.ignore(1);
    at[row % 4].push_back(p);
  }
  ASSERT_EQ(times.size(), 21u);
  const std::array<float, 3> origin{0, 0, 0};
  for (std::size_t f = 0; f < times.size(); ++f) {
    // The marshal removed at 0.5 s holds the pose of 0.4 s until he is made again at 1.5 s.
    const bool away = times[f] > 0.5f && times[f] < 1.5f;
    EXPECT_TRUE(!away || at[0][f] == at[0][4]) << times[f];
    // The late copy of him is at the origin until he is made at 1 s.
    EXPECT_EQ(at[1][f] == origin, times[f] < 1.0f) << times[f];
    const auto& body = at[2][f];
    const auto& head = at[3][f];
    EXPECT_LT(std::hypot(head[0] - body[0], head[1] - body[1], head[2] - body[2]), 1.5f)
        << times[f];
  }
  // Both copies of the marshal stand where the stage puts him (62, -14) once made.
  for (int c : {0, 1}) EXPECT_LT(std::hypot(at[c].back()[0] - 62, at[c].back()[1] + 14), 1.5f) << c;
}

// Stages the random stage fuzzer (fuzz/stage-seeds.sh) found faults with drive, and their .glb
// passes the glTF validator. Each says in its comment the rate it drives at and what it found.
TEST_F(DriveTool, StagesTheFuzzerFoundDriveToAValidGlb) {
  const fs::path folder = fs::path(ZELKAR_SOURCE_DIR) / "tests/tools/stages";
  const std::string node = gltf_test::NodeMissing();
  std::string files;
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    json stage = json::parse(files_test::ReadFile(entry.path().string()));
    stage["root"] = kAssets;
    const std::string comment = stage["comment"];
    const std::size_t at = comment.find("driven at ");
    ASSERT_NE(at, std::string::npos) << entry.path();
    const std::string rate = std::to_string(std::stoi(comment.substr(at + 10)));
    const std::string out = "out" + std::to_string(count++);
    const SRun run = Drive(stage.dump(), {"-o", out, "--rate", rate});
    EXPECT_EQ(run.code, 0) << entry.path() << ": " << run.err;
    files += " " + Path(out + "/stage.glb");
  }
  ASSERT_GT(count, 0);
  if (!node.empty()) GTEST_SKIP() << "the .glb files go unchecked: " << node;
  int code = 0;
  const std::string report =
      gltf_test::Run("node " + gltf_test::kNodeDir + "/validate.mjs" + files, &code);
  EXPECT_EQ(code, 0) << report;
}

// A PNG as chromium writes it (8-bit RGB or RGBA, not interlaced), decoded.
struct SImage {
  uint32_t width = 0, height = 0;
  int channels = 0;
  std::vector<uint8_t> pixels;
};

SImage ReadPng(const std::string& bytes) {
  SImage image;
  std::string idat;
  int& channels = image.channels;
  auto u32 = [&](std::size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
  };
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t size = u32(at);
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "IHDR") {
      image.width = u32(at + 8);
      image.height = u32(at + 12);
      channels = bytes[at + 17] == 6 ? 4 : bytes[at + 17] == 2 ? 3 : 0;
      if (bytes[at + 16] != 8 || bytes[at + 20] != 0) channels = 0;
    } else if (type == "IDAT") {
      idat += bytes.substr(at + 8, size);
    }
    at += 12 + size;
  }
  if (channels == 0) return {};
  const std::size_t stride = image.width * static_cast<std::size_t>(channels);
  std::vector<uint8_t> raw((stride + 1) * image.height);
  uLongf length = raw.size();
  if (uncompress(raw.data(), &length, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) !=
      Z_OK)
    return {};
  std::vector<uint8_t>& pixels = image.pixels;
  std::vector<uint8_t> zero(stride, 0);
  pixels.resize(stride * image.height);
  for (std::size_t y = 0; y < image.height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    uint8_t* row = &pixels[y * stride];
    const uint8_t* up = y > 0 ? row - stride : zero.data();
    for (std::size_t x = 0; x < stride; ++x) {
      const int a = x >= std::size_t(channels) ? row[x - channels] : 0, b = up[x];
      const int c = x >= std::size_t(channels) ? up[x - channels] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int predictor[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
      row[x] = uint8_t(in[x] + (filter < 5 ? predictor[filter] : 0));
    }
  }
  return image;
}

TEST_F(DriveTool, PageShowsTheDriversBodyMovingInABrowser) {
#ifndef ZELKAR_DRIVE_PAGE_TEST
  GTEST_SKIP() << "the page test runs only where the build's programs run natively";
#endif
  if (std::system("command -v chromium > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "no chromium binary: install Debian's chromium to run the page test";
  // At 30 Hz the page is half the size and loads faster; the motion is the same.
  const SRun run = Drive(SampleStage().dump(), {"-o", "out", "--rate", "30"});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string page = "file://" + Path("out/stage.html");
  const std::string browser =
      "chromium --headless --no-sandbox --hide-scrollbars "
      "--window-size=900,640 --virtual-time-budget=3000 ";
  // Hands on the wheel on the straight; at 9.5 s the right hand holds the handbrake.
  const char* times[2] = {"2", "9.5"};
  SImage shots[2];
  int box[4] = {1 << 30, 1 << 30, -1, -1};
  for (int i = 0; i < 2; ++i) {
    const std::string url = "'" + page + "#t=" + times[i] + "&pause'";
    const std::string dom = Path("dom.html"), shot = Path("shot" + std::to_string(i) + ".png");
    ASSERT_EQ(std::system((browser + "--dump-dom " + url + " > " + dom + " 2> /dev/null").c_str()),
              0);
    const std::string text = files_test::ReadFile(dom);
    ASSERT_NE(text.find("data-state=\"ready\""), std::string::npos) << text.substr(0, 300);
    ASSERT_NE(text.find(std::string("data-time=\"") + times[i]), std::string::npos);
    // The driver's arms' box on the screen, as the page projected it.
    const std::size_t at = text.find("data-arms=\"");
    ASSERT_NE(at, std::string::npos);
    int b[4];
    ASSERT_EQ(
        std::sscanf(text.c_str() + at, "data-arms=\"%d %d %d %d\"", &b[0], &b[1], &b[2], &b[3]), 4);
    box[0] = std::min(box[0], b[0]), box[1] = std::min(box[1], b[1]);
    box[2] = std::max(box[2], b[2]), box[3] = std::max(box[3], b[3]);
    ASSERT_EQ(
        std::system((browser + "--screenshot=" + shot + " " + url + " > /dev/null 2>&1").c_str()),
        0);
    shots[i] = ReadPng(files_test::ReadFile(shot));
    ASSERT_EQ(shots[i].width, 900u);
    ASSERT_EQ(shots[i].channels, shots[0].channels);
    ASSERT_GT(shots[i].height, 400u);
  }
  ASSERT_GT(box[2] - box[0], 5);
  ASSERT_LT(box[2], 900);
  ASSERT_LT(box[3], int(shots[0].height));
  // Pixels of the arms' region that changed, and of a corner of the chart that must not.
  auto changed = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = std::max(0, y0); y <= y1; ++y)
      for (int x = std::max(0, x0); x <= x1; ++x) {
        const std::size_t i =
            (std::size_t(y) * shots[0].width + std::size_t(x)) * std::size_t(shots[0].channels);
        n += !std::equal(&shots[0].pixels[i], &shots[0].pixels[i] + 3, &shots[1].pixels[i]);
      }
    return n;
  };
  EXPECT_GT(changed(box[0] - 4, box[1] - 4, box[2] + 4, box[3] + 4), 50);
  // The driver's body drawn lit in his colour (#5bc0eb, bluish under any light): a good share of
  // the arms' box at both times, and much less with the sticks instead.
  auto share = [&](const SImage& image) {
    int n = 0, driver = 0;
    for (int y = std::max(0, box[1] - 4); y <= box[3] + 4; ++y)
      for (int x = std::max(0, box[0] - 4); x <= box[2] + 4; ++x, ++n) {
        const uint8_t* p = &image.pixels[(std::size_t(y) * image.width + std::size_t(x)) *
                                         std::size_t(image.channels)];
        driver += p[2] > p[0] + 60 && p[1] > p[0] + 30;
      }
    return double(driver) / n;
  };
  const std::string sticks = Path("sticks.png");
  ASSERT_EQ(std::system((browser + "--screenshot=" + sticks + " '" + page + "#t=2&pause&sticks'" +
                         " > /dev/null 2>&1")
                            .c_str()),
            0);
  const double bodies[2] = {share(shots[0]), share(shots[1])};
  EXPECT_GT(std::min(bodies[0], bodies[1]), 0.06);
  EXPECT_LT(share(ReadPng(files_test::ReadFile(sticks))), bodies[0] / 2);
  const int bottom = int(shots[0].height) - 1;
  EXPECT_EQ(changed(0, bottom - 20, 40, bottom), 0);
  // The picture docs/zelkar-drive.png of the README comes from this run when asked for.
  if (const char* keep = std::getenv("ZELKAR_DRIVE_SCREENSHOT"))
    fs::copy_file(Path("shot1.png"), keep, fs::copy_options::overwrite_existing);
}

}  // namespace
}  // namespace zk_drive

#endif  // ZELKAR_DRIVE_TOOL
