// zelkar-play: plays a hierarchy with a scene through libzelkar.so, as a host does, and prints
// the world position of every node at every time step as CSV; optionally draws the node tree at
// a few times as an SVG.
//
// Every failure is one line on stderr and a non-zero exit: 1 for a file or library failure (the
// library's own message passes through), 2 for bad arguments.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "DefaultLibrary.h"
#include "FileBytes.h"
#include "Format.h"
#include "HierarchyNames.h"
#include "LibraryHost.h"
#include "Playback.h"
#include "SkeletonSvg.h"

#ifndef ZELKAR_PLAY_LIBRARY
#define ZELKAR_PLAY_LIBRARY "libzelkar.so"
#endif

namespace {

using namespace zk_play;

// More rows than anyone reads; a mistyped step should not fill the disk.
constexpr double kMaxSteps = 1e6;
constexpr int kDefaultSvgPanels = 5;

struct SArgumentError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct SOptions {
  std::string library = zk_tools::DefaultLibraryPath();
  SCharacterSetup setup;
  double from = 0;
  double to = std::nan("");  // default: the end of the scene
  // One animation frame, as the library converts frames to seconds: key times of scenes made
  // frame by frame fall exactly on these steps.
  double step = 0.033333335f;
  std::string nodes;
  std::string output;
  std::string svg;
  std::string svgTimes;
  std::string up = "z";
  bool log = false;
};

std::vector<std::string> SplitList(const std::string& text, const char* option) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma - start));
    if (items.back().empty()) throw SArgumentError(std::string(option) + " has an empty entry");
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

float ParseTime(const std::string& text, const char* option) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(value))
    throw SArgumentError(std::string(option) + ": \"" + text + "\" is not a number of seconds");
  return static_cast<float>(value);
}

// One line: a nested exception's message has its parts on separate lines.
std::string OneLine(std::string text) {
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
    text.replace(at, 1, "; ");
  while (!text.empty() && (text.back() == ' ' || text.back() == ';')) text.pop_back();
  return text;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// Standard output when path is empty, else a file written whole or not at all.
class COutputFile {
 public:
  explicit COutputFile(const std::string& path)
      : m_file(path.empty() ? nullptr : std::make_unique<zk_tools::CPartFile>(path)) {}
  void Write(const std::string& text) {
    if (m_file != nullptr)
      m_file->Write(text);
    else if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
      throw std::runtime_error("cannot write stdout");
  }
  void Close() {
    if (m_file != nullptr)
      m_file->Commit();
    else if (std::fflush(stdout) != 0 || std::ferror(stdout))
      throw std::runtime_error("cannot write stdout");
  }

 private:
  std::unique_ptr<zk_tools::CPartFile> m_file;
};

// A time to update the library at, and what it serves: a CSV step, an SVG panel, or both.
struct SEvent {
  float time;
  bool csv;
  int panel;  // -1 for none
};

// Everything that runs while the library is loaded.
void PlayLoaded(CLibraryHost& host, const SOptions& o, const std::vector<std::string>& wanted,
                std::vector<float> panelTimes) {
  CPlayback play(host.Facade(), o.setup);

  // The library has read the hierarchy; read its names and parents, which the facade keeps.
  const std::vector<SHierarchyNode> nodes =
      ReadHierarchyNodes(ReadFileBytes(o.setup.hierarchyPath), o.setup.hierarchyPath);
  std::vector<int> indices(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) indices[i] = play.NodeIndex(nodes[i].name);

  // The rows: every node in file order, or the ones asked for in the order asked.
  std::vector<std::size_t> rows;
  std::vector<bool> drawn(nodes.size(), wanted.empty());
  for (const std::string& name : wanted) {
    const auto found = std::find_if(nodes.begin(), nodes.end(),
                                    [&](const SHierarchyNode& n) { return n.name == name; });
    if (found == nodes.end())
      throw SArgumentError("--nodes: " + o.setup.hierarchyPath + " has no node \"" + name + "\"");
    rows.push_back(static_cast<std::size_t>(found - nodes.begin()));
    drawn[rows.back()] = true;
  }
  if (wanted.empty())
    for (std::size_t i = 0; i < nodes.size(); ++i) rows.push_back(i);

  const double to = std::isnan(o.to) ? std::max(o.from, double(play.Duration())) : o.to;
  if (!std::isfinite(to) || to < o.from)
    throw SArgumentError("--to (" + FormatFloat(float(to)) + ") is before --from (" +
                         FormatFloat(float(o.from)) + ")");
  const double span = (to - o.from) / o.step;
  if (span >= kMaxSteps)
    throw SArgumentError("--from, --to and --step give more than a million time steps");
  // The end is included when it falls on a step, give or take rounding (a ten-thousandth of a
  // step).
  const std::size_t steps = static_cast<std::size_t>(std::floor(span + 1e-4)) + 1;

  if (!o.svg.empty() && panelTimes.empty()) {
    const int panels = to > o.from ? kDefaultSvgPanels : 1;
    for (int k = 0; k < panels; ++k)
      panelTimes.push_back(
          static_cast<float>(panels > 1 ? o.from + (to - o.from) * k / (panels - 1) : o.from));
  }

  std::vector<SEvent> events;
  for (std::size_t i = 0; i < steps; ++i)
    events.push_back({static_cast<float>(o.from + o.step * double(i)), true, -1});
  for (std::size_t k = 0; k < panelTimes.size(); ++k)
    events.push_back({panelTimes[k], false, static_cast<int>(k)});
  // The clock only moves forward, as in a game; a panel at a step's time shares its update.
  std::stable_sort(events.begin(), events.end(),
                   [](const SEvent& a, const SEvent& b) { return a.time < b.time; });

  SSkeletonDrawing drawing;
  drawing.frames.resize(panelTimes.size());
  std::vector<Vector3> positions(nodes.size());
  // Opened once everything is checked, so that a refused run leaves no file behind.
  COutputFile csv(o.output);
  csv.Write("time,node,x,y,z\n");
  std::string text;
  for (std::size_t e = 0; e < events.size(); ++e) {
    const SEvent& event = events[e];
    if (e == 0 || event.time != events[e - 1].time) {
      play.Update(event.time);
      for (std::size_t i = 0; i < nodes.size(); ++i) positions[i] = play.Position(indices[i]);
    }
    if (event.panel >= 0)
      drawing.frames[static_cast<std::size_t>(event.panel)] = {event.time, positions};
    if (!event.csv) continue;
    const std::string time = FormatFloat(event.time);
    text.clear();
    for (std::size_t i : rows) {
      const Vector3& p = positions[i];
      text += time + ',' + CsvField(nodes[i].name) + ',' + FormatFloat(p.x) + ',' +
              FormatFloat(p.y) + ',' + FormatFloat(p.z) + '\n';
    }
    csv.Write(text);
  }
  csv.Close();

  if (!o.svg.empty()) {
    drawing.nodes = nodes;
    drawing.drawn = drawn;
    drawing.yUp = o.up == "y";
    const std::string scene =
        o.setup.scenePath.empty() ? std::string("no scene") : "scene " + o.setup.sceneName;
    // File names without their folders: a long path would run past the drawing's edge.
    const std::string& path = o.setup.hierarchyPath;
    drawing.title = o.setup.characterName + " (" + o.setup.kind + ", " +
                    path.substr(path.find_last_of("/\\") + 1) + ") playing " + scene;
    COutputFile svg(o.svg);
    svg.Write(RenderSkeletonSvg(drawing));
    svg.Close();
  }
}

int Play(const SOptions& o) {
  // Checked before anything is loaded: argument errors are cheap to report.
  if (!std::isfinite(o.from)) throw SArgumentError("--from must be a finite number");
  if (!(o.step > 0) || !std::isfinite(o.step))
    throw SArgumentError("--step must be a positive number of seconds");
  if (o.up != "z" && o.up != "y") throw SArgumentError("--up must be z or y");
  if (!IsKnownKind(o.setup.kind))
    throw SArgumentError("unknown --kind \"" + o.setup.kind + "\"; the kinds are " + KindList());
  if (NeedsCar(o.setup.kind) && o.setup.carPath.empty())
    throw SArgumentError("--kind " + o.setup.kind +
                         " sits in a car: give its hierarchy with --car (e.g. rally_car.zkh)");
  const std::vector<std::string> wanted =
      o.nodes.empty() ? std::vector<std::string>() : SplitList(o.nodes, "--nodes");
  std::vector<float> panelTimes;
  if (!o.svgTimes.empty()) {
    if (o.svg.empty()) throw SArgumentError("--svg-times needs --svg");
    for (const std::string& item : SplitList(o.svgTimes, "--svg-times"))
      panelTimes.push_back(ParseTime(item, "--svg-times"));
  }

  // The library's log would interleave with the one-line errors; it speaks only when asked.
  if (!o.log) setenv("ZELKAR_DEBUG_OUTPUT", "none", 0);

  CLibraryHost host(o.library);
  try {
    PlayLoaded(host, o, wanted, std::move(panelTimes));
  } catch (const SArgumentError&) {
    throw;
  } catch (const std::exception& error) {
    // The library's exceptions are its own classes, whose code leaves with it: keep the text
    // only, while the library is still loaded.
    throw std::runtime_error(error.what());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Plays a hierarchy with a scene through libzelkar.so and prints the world position of "
      "every node at every time step as CSV (time,node,x,y,z)."};
  app.footer(
      "Times are host seconds after the animation was selected; the character samples its "
      "scene at the scene's start plus that time.\nKinds: Car and Character are made with "
      "CreateCharacter, Spectator, Driver and CoDriver with CreateHumanCharacter; the driver and "
      "co-driver need --car, created first, and the driver reads Misc/ZK_Driver.ini from the "
      "working directory (its defaults without it).");
  SOptions o;
  o.setup.characterName = "Actor";
  o.setup.kind = "Spectator";
  app.add_option("--hierarchy", o.setup.hierarchyPath,
                 "hierarchy file (loose, or a member of an .rbz archive along its path)")
      ->required();
  app.add_option("--scene", o.setup.scenePath, "scene file to play; without one the nodes rest");
  app.add_option("--scene-name", o.setup.sceneName,
                 "name to load the scene under (default: the scene file's name up to its first "
                 "'.', e.g. driver_steer)");
  app.add_option("--character-name", o.setup.characterName, "character name")
      ->capture_default_str();
  app.add_option("--kind", o.setup.kind, "character kind: " + KindList())->capture_default_str();
  app.add_option("--car", o.setup.carPath,
                 "car hierarchy to create first, as the current car (needed by Driver and "
                 "CoDriver)");
  app.add_option("--car-name", o.setup.carName, "the car's character name")->capture_default_str();
  app.add_option("--category", o.setup.category, "animation category, 0 to 3")
      ->check(CLI::Range(0, 3))
      ->capture_default_str();
  app.add_option("--from", o.from, "first time, seconds")->capture_default_str();
  app.add_option("--to", o.to, "last time, seconds (default: the end of the scene)");
  app.add_option("--step", o.step, "time step, seconds (default: one frame, 0.033333335)");
  app.add_option("--nodes", o.nodes, "only these nodes, comma-separated (names may hold spaces)");
  app.add_option("--output", o.output, "write the CSV here instead of to stdout");
  app.add_option("--svg", o.svg, "also draw the node tree at a few times into this SVG file");
  app.add_option("--svg-times", o.svgTimes,
                 "times to draw, comma-separated (default: 5 evenly spaced from --from to --to)");
  app.add_option("--up", o.up,
                 "up axis of the drawing: z (the files' frame: front view x right, z up; side "
                 "view -y right, z up) or y (front x right, y up; side z right, y up)")
      ->capture_default_str();
  app.add_option("--library", o.library, "the library to load")->capture_default_str();
  app.add_flag("--log", o.log, "let the library's log through to stderr");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "zelkar-play: %s\n", OneLine(error.what()).c_str());
    return 2;
  }
  if (!o.setup.scenePath.empty() && o.setup.sceneName.empty())
    o.setup.sceneName = DefaultSceneName(o.setup.scenePath);

  try {
    return Play(o);
  } catch (const SArgumentError& error) {
    std::fprintf(stderr, "zelkar-play: %s\n", OneLine(error.what()).c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zelkar-play: %s\n", OneLine(error.what()).c_str());
    return 1;
  }
}
