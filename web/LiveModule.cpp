// The library in the browser: the sample stage's cast driven frame by frame, either from the keys
// the page passes in (a live drive) or from the stage's own timeline (a replay). The page calls
// these C functions; the game's side is the same drive session zelkar-drive runs natively, so a
// key script or a stage gives the same frames here and there.
#include <emscripten/emscripten.h>
#include <unistd.h>
#include <zelkar/Signals.h>
#include <zelkar/StaticLibrary.h>
#include <zelkar/ZelkarFacade.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "DriveSession.h"
#include "LiveControls.h"
#include "Stage.h"
#include "hostkit/CarSignals.h"
#include "hostkit/Host.h"

namespace {

// Where the build puts the sample stage and its assets in the page's file system.
constexpr const char* kStagePath = "/zelkar/stages/rally_stage.json";
constexpr float kRate = 60;

using Clock = std::chrono::steady_clock;

// Panel values, in the order zk_live_panel hands them out.
enum EPanel {
  kSteering,
  kGear,
  kHandbrake,
  kSpeed,
  kWipers,
  kRough,
  kStepMicros,
  kFrame,
  kPanelSize
};

struct SLive {
  zk_drive::SStage stage;   // as read
  zk_drive::SStage played;  // what the session plays: the stage, or its cast for a live drive
  std::unique_ptr<zk_hostkit::CHost> host;
  std::unique_ptr<CZelkarInterfaceExt> zk;
  std::unique_ptr<zk_drive::CDriveSession> session;
  std::unique_ptr<zk_drive::CLiveControls> controls;  // null in a replay
  zk_drive::SDrive layout;
  std::vector<std::size_t> csvNodes;  // recorded indices of the stage's CSV nodes
  std::vector<float> csvRows;         // their positions after the last step
  int frame = 0, frames = 0;
  double stepSeconds = 0;  // the library's time over every step so far
  float panel[kPanelSize] = {};
  std::string checksum, layoutJson;
};

std::unique_ptr<SLive> g_live;
std::string g_error;
std::vector<uint32_t> g_script;

// Ends a session: the facade goes before the library is detached, the host after it.
void Stop() {
  if (!g_live) return;
  if (g_live->zk) {
    g_live->session.reset();
    g_live->host->hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
    g_live->zk->Shutdown();
    g_live->zk.reset();
  }
  ZelkarProcessDetach();
  g_live.reset();
}

// The page's layout: recorded nodes, their parents and characters, the characters, the CSV's
// nodes, and the road (the stage's car path) to draw.
std::string LayoutJson(const SLive& live) {
  nlohmann::json out;
  for (const zk_play::SNodeInfo& node : live.layout.nodes) {
    out["names"].push_back(node.name);
    out["parents"].push_back(node.parent);
  }
  out["nodeCharacter"] = live.layout.nodeCharacter;
  for (const zk_drive::SStageCharacter& c : live.stage.characters)
    out["characters"].push_back({{"name", c.name}, {"kind", c.kind}});
  for (std::size_t n : live.csvNodes) out["csv"].push_back(live.layout.nodes[n].name);
  const zk_drive::SChannel& car = live.stage.channels[zk_drive::kCar];
  for (std::size_t k = 0; k < car.times.size(); ++k)
    out["road"].push_back({car.values[4 * k], car.values[4 * k + 1]});
  out["frames"] = live.frames;
  out["rate"] = kRate;
  return out.dump();
}

void Start(bool replay) {
  auto live = std::make_unique<SLive>();
  live->stage = zk_drive::ReadStage(kStagePath);
  // The library opens the stage's files, and the driver its settings, from the stage's root.
  if (chdir(live->stage.root.c_str()) != 0)
    throw std::runtime_error(live->stage.root + ": cannot enter the stage's root folder");
  live->played = replay ? live->stage : zk_drive::LiveStage(live->stage);
  live->frames = replay ? zk_drive::FrameCount(live->stage, kRate) : 0;
  // The game's global object and hub exist before the library attaches: attach reads them.
  live->host = std::make_unique<zk_hostkit::CHost>();
  ZelkarProcessAttach();
  live->zk.reset(static_cast<CZelkarInterfaceExt*>(ZK_Create()));
  live->zk->Initialize();
  live->session =
      std::make_unique<zk_drive::CDriveSession>(*live->zk, *live->host, live->played, kRate);
  live->session->Load(live->layout);
  if (!replay) live->controls = std::make_unique<zk_drive::CLiveControls>(live->stage, kRate);
  for (const zk_drive::SNodeList& list : live->stage.csv)
    for (const std::string& node : list.nodes)
      for (std::size_t n = 0; n < live->layout.nodes.size(); ++n)
        if (live->layout.nodes[n].name == list.character + "/" + node) live->csvNodes.push_back(n);
  live->csvRows.resize(3 * live->csvNodes.size());
  live->layoutJson = LayoutJson(*live);
  g_live = std::move(live);
}

}  // namespace

extern "C" {

// Starts a live drive (replay 0) or a replay of the sample stage (1); 0 when it runs, else -1
// and zk_live_error says why.
EMSCRIPTEN_KEEPALIVE int zk_live_start(int replay) {
  try {
    Stop();
    g_error.clear();
    Start(replay != 0);
    return 0;
  } catch (const std::exception& e) {
    g_error = e.what();
    Stop();
    return -1;
  }
}

EMSCRIPTEN_KEEPALIVE void zk_live_stop() { Stop(); }

// One 60 Hz frame with these keys held (ignored in a replay). Returns the frames made so far, 0
// once a replay has played all of its frames, -1 on an error.
EMSCRIPTEN_KEEPALIVE int zk_live_step(uint32_t keys) {
  if (!g_live) return -1;
  SLive& live = *g_live;
  if (!live.controls && live.frame >= live.frames) return 0;
  try {
    const zk_drive::SFrameInput in =
        live.controls ? live.controls->Advance(keys) : live.session->StageInput(live.frame);
    const Clock::time_point start = Clock::now();
    live.session->Step(live.frame, in);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    live.stepSeconds += seconds;
    ++live.frame;
    const Matrix* worlds = live.session->Worlds();
    for (std::size_t k = 0; k < live.csvNodes.size(); ++k)
      for (int i = 0; i < 3; ++i) live.csvRows[3 * k + i] = worlds[live.csvNodes[k]].m[12 + i];
    float* p = live.panel;
    p[kSteering] = in.steering;
    p[kGear] = live.session->Gear();
    p[kHandbrake] = in.handbrake;
    p[kSpeed] = live.controls ? live.controls->Speed() : 0;
    p[kWipers] = live.controls ? static_cast<float>(live.controls->WiperMode()) : 0;
    p[kRough] = in.rough;
    p[kStepMicros] = static_cast<float>(seconds * 1e6);
    p[kFrame] = static_cast<float>(live.frame);
    return live.frame;
  } catch (const std::exception& e) {
    g_error = e.what();
    return -1;
  }
}

// Reads a key script (LiveControls.h); its frames' keys are then zk_live_script_key(0..n-1).
// Returns n, or -1 and zk_live_error says why.
EMSCRIPTEN_KEEPALIVE int zk_live_parse_keys(const char* script) {
  try {
    g_script = zk_drive::ParseKeyScript(script);
    return static_cast<int>(g_script.size());
  } catch (const std::exception& e) {
    g_error = e.what();
    return -1;
  }
}
EMSCRIPTEN_KEEPALIVE uint32_t zk_live_script_key(int frame) {
  return frame >= 0 && static_cast<std::size_t>(frame) < g_script.size() ? g_script[frame] : 0;
}

EMSCRIPTEN_KEEPALIVE const char* zk_live_error() { return g_error.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* zk_live_layout() {
  return g_live ? g_live->layoutJson.c_str() : "{}";
}
EMSCRIPTEN_KEEPALIVE int zk_live_node_count() {
  return g_live ? static_cast<int>(g_live->layout.nodes.size()) : 0;
}
// The recorded nodes' world matrices after the last step: 16 floats each, the library's layout
// (row vectors, translation in 12..14), which is three.js's column-major order of the same map.
EMSCRIPTEN_KEEPALIVE const float* zk_live_worlds() {
  return g_live ? &g_live->session->Worlds()->m[0] : nullptr;
}
// x, y, z of each of the stage's CSV nodes after the last step.
EMSCRIPTEN_KEEPALIVE const float* zk_live_csv() {
  return g_live ? g_live->csvRows.data() : nullptr;
}
EMSCRIPTEN_KEEPALIVE const float* zk_live_panel() { return g_live ? g_live->panel : nullptr; }
// The library's mean time per step so far, in microseconds.
EMSCRIPTEN_KEEPALIVE double zk_live_mean_micros() {
  return g_live && g_live->frame > 0 ? g_live->stepSeconds * 1e6 / g_live->frame : 0;
}
EMSCRIPTEN_KEEPALIVE const char* zk_live_checksum() {
  if (!g_live) return "";
  g_live->checksum =
      zk_drive::MatrixChecksum(g_live->session->Worlds(), g_live->layout.nodes.size());
  return g_live->checksum.c_str();
}

}  // extern "C"
