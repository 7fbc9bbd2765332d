#include "Outputs.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "AtomicFile.h"
#include "FileBytes.h"
#include "GltfWriter.h"
#include "PageTemplate.h"

namespace zk_drive {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// A bone drawn on the page joins a node to its parent; longer joins are a helper far off (a
// look-at target) and only clutter the view.
constexpr float kLongestLine = 1.6f;
constexpr int kMostChildrenJoined = 6;

const char* const kArmNodes[] = {"B_upper arm L", "B_lower arm L", "B_hand L",
                                 "B_upper arm R", "B_lower arm R", "B_hand R"};

// The hint follows the error when the file is not there at all.
std::string ReadText(const std::string& path, const char* hint) {
  try {
    const std::vector<unsigned char> bytes = zk_play::ReadLooseFile(path);
    return std::string(bytes.begin(), bytes.end());
  } catch (const std::runtime_error& e) {
    std::error_code error;
    if (fs::exists(path, error)) throw;
    throw std::runtime_error(e.what() + std::string(hint));
  }
}

// Text that may sit inside a <script> element: "</" cannot end it early.
std::string ScriptSafe(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '<' && i + 1 < text.size() && text[i + 1] == '/') out += '\\';
  }
  return out;
}

float Rounded(float v) { return std::round(v * 1e4f) / 1e4f; }

// A node's frame when it is a key of all three channels: three times and 10 floats.
constexpr double kMostBytesPerNodeFrame = 4.0 * (3 + 10);
// A .glb's lengths are 32-bit; the page holds it again in base64.
constexpr double kMostGlbBytes = 4.0e9;

json Series(const std::vector<float>& values) {
  json out = json::array();
  for (float v : values) out.push_back(Rounded(v));
  return out;
}

}  // namespace

SOutputPaths OutputPaths(const std::string& folder, const std::string& stageName) {
  const fs::path base = fs::path(folder) / stageName;
  return {base.string() + ".glb", base.string() + ".csv", base.string() + ".html"};
}

void PrepareFolder(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error)
    throw std::runtime_error(folder + ": cannot make the output folder: " + error.message());
  // Created and removed again: its part file is never committed.
  zk_tools::CPartFile probe((fs::path(folder) / ".zelkar-drive-probe").string());
}

std::string Base64(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out((size + 2) / 3 * 4, '=');
  char* o = out.data();
  for (std::size_t i = 0; i < size; i += 3, o += 4) {
    const std::size_t n = std::min<std::size_t>(3, size - i);
    uint32_t v = static_cast<uint32_t>(bytes[i]) << 16;
    if (n > 1) v |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) v |= bytes[i + 2];
    for (std::size_t k = 0; k <= n; ++k) o[k] = kDigits[(v >> (18 - 6 * k)) & 63];
  }
  return out;
}

namespace {

std::string PageData(const SStage& stage, const SDrive& drive, float rate) {
  const auto& nodes = drive.nodes;
  json data;
  data["title"] = stage.name;
  data["rate"] = rate;
  data["duration"] = drive.lastTime;
  data["characters"] = json::array();
  for (const SStageCharacter& c : stage.characters)
    data["characters"].push_back({{"name", c.name}, {"kind", c.kind}});
  data["nodeCharacter"] = drive.nodeCharacter;
  data["lines"] = json::array();
  data["arms"] = json::array();
  std::vector<int> children(nodes.size(), 0);
  for (const zk_gltf::SNodeInfo& node : nodes)
    if (node.parent >= 0) ++children[static_cast<std::size_t>(node.parent)];
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    const int parent = nodes[n].parent;
    if (parent < 0) continue;
    const std::size_t p = static_cast<std::size_t>(parent);
    // Joins to the character's own matrix and from a hierarchy's top node (a frame the rest
    // hangs from, not a bone) say nothing about the pose.
    if (drive.nodeKind[p] < 0 || nodes[p].parent < 0 ||
        drive.nodeKind[static_cast<std::size_t>(nodes[p].parent)] < 0 ||
        children[p] > kMostChildrenJoined)
      continue;
    const Matrix& a = drive.firstWorlds[n];
    const Matrix& b = drive.firstWorlds[p];
    if (std::hypot(a.m[12] - b.m[12], a.m[13] - b.m[13], a.m[14] - b.m[14]) < kLongestLine)
      data["lines"].push_back({parent, n});
  }
  for (std::size_t i = 0; i < stage.characters.size(); ++i) {
    if (stage.characters[i].kind == "Car" && !data.contains("follow"))
      data["follow"] =
          std::find(drive.nodeCharacter.begin(), drive.nodeCharacter.end(), static_cast<int>(i)) -
          drive.nodeCharacter.begin();
    if (stage.characters[i].kind != "Driver" || !data["arms"].empty()) continue;
    for (const char* arm : kArmNodes)
      for (std::size_t n = 0; n < nodes.size(); ++n)
        if (nodes[n].name == stage.characters[i].name + "/" + arm) data["arms"].push_back(n);
  }
  data["chart"] = {{"steering", Series(drive.steering)},
                   {"gear", Series(drive.gear)},
                   {"handbrake", Series(drive.handbrake)}};
  return data.dump();
}

// The page, written piece by piece: the template up to each marker, then what replaces it.
void WritePage(zk_tools::CPartFile& out, const SStage& stage, const SDrive& drive, float rate,
               const std::string& glbPath, const std::string& threeDir) {
  std::string scripts;
  for (const char* file : {"three.min.js", "examples/js/loaders/GLTFLoader.js",
                           "examples/js/controls/OrbitControls.js"})
    scripts += "<script>\n" +
               ScriptSafe(ReadText((fs::path(threeDir) / file).string(),
                                   " (the page needs Debian's libjs-three)")) +
               "\n</script>\n";
  const std::string glb = ReadText(glbPath, "");
  std::string page = kPageTemplate;
  for (const char* title = "ZK_TITLE"; page.find(title) != std::string::npos;)
    page.replace(page.find(title), std::strlen(title), stage.name);

  std::size_t from = 0;
  auto upTo = [&](const std::string& marker) {
    const std::size_t at = page.find(marker, from);
    if (at == std::string::npos) throw std::logic_error("the page template has no " + marker);
    out.Write(page.data() + from, at - from);
    from = at + marker.size();
  };
  upTo("<!--ZK_SCRIPTS-->");
  out.Write(scripts);
  upTo("<!--ZK_DATA-->");
  out.Write("<script type=\"application/json\" id=\"zk-data\">" +
            ScriptSafe(PageData(stage, drive, rate)) + "</script>");
  upTo("<!--ZK_GLB-->");
  out.Write("<script type=\"application/octet-stream\" id=\"zk-glb\">");
  // In slices a multiple of three bytes long, so no padding falls inside.
  constexpr std::size_t kSlice = 3 << 16;
  const auto* bytes = reinterpret_cast<const unsigned char*>(glb.data());
  for (std::size_t at = 0; at < glb.size(); at += kSlice)
    out.Write(Base64(bytes + at, std::min(kSlice, glb.size() - at)));
  out.Write("</script>");
  out.Write(page.data() + from, page.size() - from);
  out.Close();
}

}  // namespace

class CDriveOutputs::CState {
 public:
  CState(const SStage& stage, const SOutputPaths& paths, float rate,
         const zk_gltf::SReduction& reduction, std::string threeDir)
      : stage(stage),
        paths(paths),
        rate(rate),
        reduction(reduction),
        threeDir(std::move(threeDir)),
        csv(paths.csv) {
    csv.Write("time,character,node,x,y,z\n");
  }

  // The chosen nodes' rows of one frame, the translation row of each node's world matrix, in
  // one write.
  void Rows(float time, const Matrix* worlds) {
    rows.clear();
    char line[512];
    for (std::size_t k = 0; k < chosen.size(); ++k) {
      const Matrix& m = worlds[chosen[k]];
      std::snprintf(line, sizeof line, "%.6f,%s,%s,%.6f,%.6f,%.6f\n", static_cast<double>(time),
                    labels[k].first.c_str(), labels[k].second.c_str(), static_cast<double>(m.m[12]),
                    static_cast<double>(m.m[13]), static_cast<double>(m.m[14]));
      rows += line;
    }
    csv.Write(rows);
  }

  const SStage& stage;
  SOutputPaths paths;
  float rate;
  zk_gltf::SReduction reduction;
  std::string threeDir;
  // Streamed to "<path>.part" as the drive goes; the .glb and the page are made at the end.
  zk_tools::CPartFile csv;
  std::string rows;  // one frame's, kept to reuse its room
  // The recorded indices of the CSV's nodes in the stage's order, and their character and name.
  std::vector<std::size_t> chosen;
  std::vector<std::pair<std::string, std::string>> labels;
  std::unique_ptr<zk_gltf::CAnimationRecorder> recorder;
};

CDriveOutputs::CDriveOutputs(const SStage& stage, const SOutputPaths& paths, float rate,
                             const zk_gltf::SReduction& reduction, std::string threeDir)
    : m_state(std::make_unique<CState>(stage, paths, rate, reduction, std::move(threeDir))) {}

CDriveOutputs::~CDriveOutputs() = default;

void CDriveOutputs::Begin(const SDrive& drive) {
  CState& s = *m_state;
  // Refused before the first frame: a run whose keys may not fit a .glb (whose lengths are
  // 32-bit), were every frame a key of every channel.
  const double frames = static_cast<double>(FrameCount(s.stage, s.rate));
  const double worst = frames * static_cast<double>(drive.nodes.size()) * kMostBytesPerNodeFrame;
  if (worst > kMostGlbBytes) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "%zu nodes over %.0f frames (%g s at %g Hz) may need %.1f GB of animation, "
                  "more than a .glb holds (%.1f GB): lower the rate or the duration",
                  drive.nodes.size(), frames, static_cast<double>(s.stage.duration),
                  static_cast<double>(s.rate), worst / 1e9, kMostGlbBytes / 1e9);
    throw std::runtime_error(s.stage.file + ": " + text);
  }
  for (const SNodeList& list : s.stage.csv)
    for (const std::string& node : list.nodes)
      for (std::size_t n = 0; n < drive.nodes.size(); ++n)
        if (drive.nodes[n].name == list.character + "/" + node) {
          s.chosen.push_back(n);
          s.labels.emplace_back(list.character, node);
          break;
        }
  s.recorder =
      std::make_unique<zk_gltf::CAnimationRecorder>(drive.nodes, zk_gltf::SFrame{}, s.reduction);
}

void CDriveOutputs::Frame(float time, const Matrix* worlds) {
  CState& s = *m_state;
  s.Rows(time, worlds);
  try {
    s.recorder->AddFrame(time, worlds);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(s.paths.glb + ": " + e.what());
  }
}

void CDriveOutputs::Finish(const SDrive& drive) {
  CState& s = *m_state;
  s.csv.Close();
  zk_gltf::SKeyedAnimation animation;
  try {
    animation = s.recorder->Finish();
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(s.paths.glb + ": " + e.what());
  }
  s.recorder.reset();
  m_keys = 0;
  for (const zk_gltf::SKeyedNode& node : animation.channels)
    for (const zk_gltf::SKeyedChannel* c : {&node.translation, &node.rotation, &node.scale})
      m_keys += c->times.empty() ? animation.frames : c->times.size();
  zk_gltf::SWriteOptions options;
  options.animationName = s.stage.name;
  // Every character a body: its recorded nodes run from its root to the next character's.
  options.nodeKinds = drive.nodeKind;
  for (std::size_t n = 0; n < drive.nodes.size(); ++n) {
    if (drive.nodes[n].parent >= 0) continue;
    const SStageCharacter& c = s.stage.characters[static_cast<std::size_t>(drive.nodeCharacter[n])];
    if (c.kind == "Character") continue;
    std::size_t end = n + 1;
    while (end < drive.nodes.size() && drive.nodeCharacter[end] == drive.nodeCharacter[n]) ++end;
    options.bodies.push_back(
        {c.name, c.kind == "Car" ? zk_gltf::EBodyKind::kCar : zk_gltf::EBodyKind::kHuman, n,
         end - n});
  }
  zk_tools::CPartFile glb(s.paths.glb);
  {
    const std::vector<unsigned char> bytes = zk_gltf::GlbBytes(animation, s.paths.glb, options);
    glb.Write(bytes.data(), bytes.size());
  }
  glb.Close();
  animation = {};  // the keys are in the file: the page reads them from there
  zk_tools::CPartFile page(s.paths.page);
  WritePage(page, s.stage, drive, s.rate, glb.TemporaryPath(), s.threeDir);
  glb.Commit();
  s.csv.Commit();
  page.Commit();
}

}  // namespace zk_drive
