// zelkar-drive: plays a rally stage through libzelkar.so as the game does, and leaves the result
// as a glTF animation, a CSV of chosen nodes and a page that plays it in a browser.
//
// Every failure is one line on stderr naming the file and what is wrong: exit code 1 for a
// refused stage, asset, library or output folder, 2 for bad arguments.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "DefaultLibrary.h"
#include "Drive.h"
#include "LiveControls.h"
#include "Outputs.h"
#include "Stage.h"

#ifndef ZELKAR_DRIVE_LIBRARY
#define ZELKAR_DRIVE_LIBRARY "libzelkar.so.0"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Progress on stderr once a run has taken a second, refreshed a few times a second; nothing on a
// short run. The clock only paces the display: the drive itself never reads it.
class CProgress {
 public:
  void operator()(int frame, int frames) {
    const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
    if (seconds < 1.0 || (seconds < m_next && frame < frames)) return;
    m_next = seconds + 0.25;
    m_shown = true;
    std::fprintf(stderr, "\rdriving: frame %d of %d (%3d%%)", frame, frames, frame * 100 / frames);
    if (frame == frames) std::fputc('\n', stderr);
  }
  bool Shown() const { return m_shown; }

 private:
  Clock::time_point m_start = Clock::now();
  double m_next = 0;
  bool m_shown = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::string stagePath, output = "drive", three = "/usr/share/javascript/three";
  zk_drive::SDriveOptions options;
  options.library = zk_tools::DefaultLibraryPath();

  CLI::App app{
      "Plays a stage (JSON: the car, its crew and the host's input over time) through "
      "libzelkar.so at a fixed rate and writes OUT/NAME.glb (every node's motion, glTF 2.0), "
      "OUT/NAME.csv (time,character,node,x,y,z of the stage's chosen nodes, metres, Z up) and "
      "OUT/NAME.html (a page that plays the .glb from a file:// URL; add #t=SECONDS&pause to "
      "open it at a time, paused). NAME is the stage file's name.",
      "zelkar-drive"};
  app.add_option("stage", stagePath, "stage file (JSON)")->required();
  app.add_option("-o,--output", output, "folder for the outputs (made when missing)")
      ->capture_default_str();
  app.add_option("--rate", options.rate, "host frames per second")
      ->check(CLI::Range(1.0f, 1000.0f))
      ->capture_default_str();
  app.add_option("--library", options.library, "the library to load")->capture_default_str();
  zk_gltf::SReduction reduction;
  reduction.enabled = true;
  bool everyFrame = false;
  app.add_option("--position-tolerance", reduction.translation,
                 "metres: a key is dropped when the keys around it give back its position "
                 "within this, at every frame in between")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--rotation-tolerance", reduction.rotation, "radians: the same for rotations")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_flag("--every-frame", everyFrame,
               "keep a key at every frame of every node (a larger .glb and page)");
  std::string keys;
  app.add_option("--keys", keys,
                 "drive the stage's cast from a key script instead of its timeline: runs of "
                 "keys*frames, e.g. up*90,up+left*40,gearup,handbrake*30 (keys: left right up "
                 "down gearup geardown handbrake wipers rough none); prints the last frame's "
                 "checksum, as the live page does");
  app.add_option("--three", three, "folder of three.js with examples/js (Debian's libjs-three)")
      ->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  try {
    zk_drive::SStage stage = zk_drive::ReadStage(stagePath);
    if (!keys.empty()) {
      options.keys = zk_drive::ParseKeyScript(keys);
      stage.duration = static_cast<float>(options.keys.size() - 1) / options.rate;
    }
    // Paths of the outputs and of three.js are taken before the drive moves to the stage's root.
    const std::string folder = fs::absolute(output).lexically_normal().string();
    const zk_drive::SOutputPaths paths = zk_drive::OutputPaths(folder, stage.name);
    three = fs::absolute(three).string();
    if (options.library.find('/') != std::string::npos)
      options.library = fs::absolute(options.library).string();
    zk_drive::PrepareFolder(folder);
    // The library opens the stage's files, and the driver its settings file Misc/ZK_Driver.ini,
    // relative to the working folder.
    if (chdir(stage.root.c_str()) != 0)
      throw std::runtime_error(stage.root + ": cannot enter the stage's root folder");

    CProgress progress;
    const Clock::time_point start = Clock::now();
    reduction.enabled = !everyFrame;
    zk_drive::CDriveOutputs outputs(stage, paths, options.rate, reduction, three);
    const zk_drive::SDrive drive = zk_drive::Drive(stage, options, outputs, std::ref(progress));
    outputs.Finish(drive);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    const std::size_t frames = drive.frames;
    std::printf("drove %s: %zu frames at %g Hz (%.2f s of stage) in %.2f s, %.0f times real time\n",
                stagePath.c_str(), frames, static_cast<double>(options.rate),
                static_cast<double>(stage.duration), seconds,
                static_cast<double>(stage.duration) / seconds);
    std::printf("glTF:  %s (%zu nodes, one animation, %zu keys)\n", paths.glb.c_str(),
                drive.nodes.size(), outputs.Keys());
    std::printf("CSV:   %s (time,character,node,x,y,z)\n", paths.csv.c_str());
    std::printf("page:  %s\n", paths.page.c_str());
    std::printf("the car sent %d wiper positions back\n", drive.wiperPositions);
    std::printf("last frame's checksum %s; the library's time per frame %.1f us\n",
                drive.checksum.c_str(), drive.stepSeconds * 1e6 / static_cast<double>(frames));
    return 0;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr,
                 "zelkar-drive: %s: out of memory; try a lower --rate or a shorter stage, and "
                 "leave out --every-frame\n",
                 stagePath.c_str());
    return 1;
  } catch (const std::exception& e) {
    std::string message = e.what();
    for (char& c : message)
      if (c == '\n') c = ' ';
    std::fprintf(stderr, "zelkar-drive: %s\n", message.c_str());
    return 1;
  }
}
