#include "SceneRecording.h"

#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "FileBytes.h"
#include "HierarchyNames.h"
#include "Playback.h"
#include "interface/ProcessEntry.h"
#include "platform/DebugOutput.h"

namespace zk_play {
namespace {

// What the library logs while it plays: counted, and the first line kept, so that a scene
// whose tracks log on every evaluation gives one summary instead of thousands of lines.
struct SLogCount {
  static inline size_t lines = 0;
  static inline std::string first;
  static inline std::string current;
  static void Sink(const char* text) {
    for (; *text != '\0'; ++text) {
      if (*text != '\n') {
        current.push_back(*text);
        continue;
      }
      // Run standalone, the library notes that it makes its own hub: expected, not news.
      if (current.find("standalone hub") == std::string::npos && lines++ == 0) first = current;
      current.clear();
    }
  }
};

// The library attached for the length of one recording, its log collected.
class CAttachedLibrary {
 public:
  CAttachedLibrary() {
    SLogCount::lines = 0;
    SLogCount::first.clear();
    SLogCount::current.clear();
    m_previousSink = zk_platform::SetDebugSink(&SLogCount::Sink);
    ZelkarProcessAttach();
    m_facade.reset(static_cast<CZelkarInterfaceExt*>(ZK_Create()));
    if (!m_facade) {
      ZelkarProcessDetach();
      zk_platform::SetDebugSink(m_previousSink);
      throw std::runtime_error("the library made no facade");
    }
  }
  ~CAttachedLibrary() {
    m_facade.reset();
    ZK_Delete();
    ZelkarProcessDetach();
    zk_platform::SetDebugSink(m_previousSink);
  }
  CAttachedLibrary(const CAttachedLibrary&) = delete;
  CAttachedLibrary& operator=(const CAttachedLibrary&) = delete;
  CZelkarInterfaceExt& Facade() { return *m_facade; }

 private:
  zk_platform::DebugSink m_previousSink = nullptr;
  std::unique_ptr<CZelkarInterfaceExt> m_facade;
};

// Node order with every parent before its children (the file's order when it already is).
std::vector<size_t> ParentsFirst(const std::vector<SHierarchyNode>& nodes) {
  std::vector<size_t> order;
  std::vector<int> state(nodes.size(), 0);  // 0 new, 1 on the path, 2 placed
  for (size_t start = 0; start < nodes.size(); ++start) {
    std::vector<size_t> path;
    for (size_t at = start; state[at] == 0;) {
      state[at] = 1;
      path.push_back(at);
      if (nodes[at].parent < 0) break;
      at = static_cast<size_t>(nodes[at].parent);
      if (state[at] == 1)
        throw std::runtime_error("node \"" + nodes[at].name + "\" is its own ancestor");
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      state[*it] = 2;
      order.push_back(*it);
    }
  }
  return order;
}

}  // namespace

SRecording RecordScene(const std::string& hierarchyPath, const std::string& scenePath,
                       const SPlayOptions& options, std::ostream* log) {
  if (!(options.rate > 0) || !std::isfinite(options.rate) || options.rate > 10000)
    throw std::runtime_error("the rate must be between 0 and 10000 frames per second");
  if (!std::isfinite(options.from) || !std::isfinite(options.to))
    throw std::runtime_error("--from and --to must be finite numbers of seconds");

  const std::vector<SHierarchyNode> file =
      ReadHierarchyNodes(ReadFileBytes(hierarchyPath), hierarchyPath);
  const std::vector<size_t> order = ParentsFirst(file);
  std::vector<int> placeOf(file.size());
  for (size_t k = 0; k < order.size(); ++k) placeOf[order[k]] = static_cast<int>(k);

  SRecording rec;
  for (size_t k : order)
    rec.nodes.push_back({file[k].name, file[k].parent < 0 ? -1 : placeOf[file[k].parent]});

  CAttachedLibrary library;
  try {
    SCharacterSetup setup;
    setup.hierarchyPath = hierarchyPath;
    setup.scenePath = scenePath;
    setup.sceneName = options.sceneName.empty() ? DefaultSceneName(scenePath) : options.sceneName;
    setup.characterName = "Actor";
    // A plain character plays the scene as it is, with no behaviour of its own on top.
    setup.kind = "Character";
    CPlayback play(library.Facade(), setup);
    std::vector<int> indices;
    for (size_t k : order) indices.push_back(play.NodeIndex(file[k].name));

    const double to =
        options.to < options.from ? std::max(options.from, double(play.Duration())) : options.to;
    const double frames = std::floor((to - options.from) * options.rate + 1e-4) + 1;
    if (frames > 1e6)
      throw std::runtime_error("--from, --to and --rate give over a million frames");
    std::vector<float> times;
    for (int f = 0; f < static_cast<int>(frames); ++f)
      times.push_back(static_cast<float>(options.from + f / options.rate));
    for (float t : options.extraTimes)
      if (t >= options.from && t <= to) times.push_back(t);
    std::sort(times.begin(), times.end());
    for (const float time : times) {
      if (!rec.times.empty() && !(time > rec.times.back())) continue;  // float rounding, repeats
      play.Update(time);
      rec.times.push_back(time);
      for (int index : indices) rec.worlds.push_back(*library.Facade().GetNodeMatrix(index));
    }
    if (SLogCount::lines > 0 && log)
      *log << "the library logged " << SLogCount::lines
           << " lines while playing; the first: " << SLogCount::first << std::endl;
  } catch (const std::exception& error) {
    // The library's exception classes do not outlive the run: keep the text.
    throw std::runtime_error(error.what());
  }
  return rec;
}

}  // namespace zk_play
