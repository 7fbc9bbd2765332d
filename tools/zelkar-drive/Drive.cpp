#include "Drive.h"

#include <zelkar/Exceptions.h>
#include <zelkar/Signals.h>
#include <zelkar/ZelkarFacade.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "DriveSession.h"
#include "LiveControls.h"
#include "hostkit/Host.h"
#include "hostkit/LoadedLibrary.h"

namespace zk_drive {

int FrameCount(const SStage& stage, float rate) {
  return static_cast<int>(std::floor(stage.duration * rate + 1e-3f)) + 1;
}

int FrameCount(const SStage& stage, const SDriveOptions& options) {
  return options.keys.empty() ? FrameCount(stage, options.rate)
                              : static_cast<int>(options.keys.size());
}

std::string MatrixChecksum(const Matrix* worlds, std::size_t count) {
  uint64_t hash = 0xcbf29ce484222325ull;
  const auto* bytes = reinterpret_cast<const unsigned char*>(worlds);
  for (std::size_t i = 0; i < count * sizeof(Matrix); ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

namespace {

// Every frame of a drive, from the stage's timeline or from the keys.
void Play(CDriveSession& session, const SStage& stage, const SDriveOptions& options, SDrive& out,
          IFrameSink& sink, const std::function<void(int, int)>& progress) {
  const int frames = FrameCount(stage, options);
  out.steering.resize(static_cast<std::size_t>(frames));
  out.handbrake.resize(static_cast<std::size_t>(frames));
  out.gear.resize(static_cast<std::size_t>(frames));
  std::unique_ptr<CLiveControls> controls;
  if (!options.keys.empty()) controls = std::make_unique<CLiveControls>(stage, options.rate);
  for (int frame = 0; frame < frames; ++frame) {
    const std::size_t f = static_cast<std::size_t>(frame);
    const SFrameInput in =
        controls ? controls->Advance(options.keys[f]) : session.StageInput(frame);
    const auto start = std::chrono::steady_clock::now();
    session.Step(frame, in);
    out.stepSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.steering[f] = in.steering;
    out.handbrake[f] = in.handbrake;
    out.gear[f] = session.Gear();
    if (frame == 0) out.firstWorlds.assign(session.Worlds(), session.Worlds() + out.nodes.size());
    const float t = static_cast<float>(frame) / options.rate;
    sink.Frame(t, session.Worlds());
    out.frames = f + 1;
    out.lastTime = t;
    if (progress) progress(frame + 1, frames);
  }
  out.checksum = MatrixChecksum(session.Worlds(), out.nodes.size());
  out.wiperPositions = session.WiperPositions();
}

}  // namespace

SDrive Drive(const SStage& stage, const SDriveOptions& options, IFrameSink& sink,
             const std::function<void(int, int)>& progress) {
  // The global object and the hub exist before the library loads: its process attach reads them.
  auto host = std::make_unique<zk_hostkit::CHost>();
  SDrive out;
  std::string failure;
  {
    zk_hostkit::CLoadedLibrary loaded(options.library);
    auto create = loaded.Function<ZK_CreateFunction>("ZK_Create");
    if (create == nullptr) throw std::runtime_error(options.library + " has no ZK_Create");
    std::unique_ptr<CZelkarInterfaceExt> zk(static_cast<CZelkarInterfaceExt*>(create()));
    if (zk == nullptr) throw std::runtime_error("ZK_Create returned no facade");
    zk->Initialize();
    try {
      // A live drive plays the stage's cast, not its timeline.
      const SStage played = options.keys.empty() ? stage : LiveStage(stage);
      CDriveSession session(*zk, *host, played, options.rate);
      session.Load(out);
      sink.Begin(out);
      Play(session, stage, options, out, sink, progress);
      host->hub.Emit(zk_hostkit::hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
    } catch (const std::exception& e) {
      failure = e.what();
    }
    zk->Shutdown();
    zk.reset();
    loaded.Close();
    // A loader may keep the library until exit; its detach then still reaches the hub.
    if (zk_hostkit::CLoadedLibrary::IsLoaded(options.library)) static_cast<void>(host.release());
  }
  if (!failure.empty()) throw std::runtime_error(failure);
  return out;
}

}  // namespace zk_drive
