#include "Outputs.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "PageTemplate.h"

namespace zk_drive {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// A bone drawn on the page joins a node to its parent; longer joins are a helper far off (a
// look-at target) and only clutter the view.
constexpr float kLongestLine = 1.6f;

const char* const kArmNodes[] = {"B_upper arm L", "B_lower arm L", "B_hand L",
                                 "B_upper arm R", "B_lower arm R", "B_hand R"};

std::string Partial(const std::string& path) {
  const fs::path p(path);
  std::string name = ".";
  name += p.filename().string();
  name += ".partial";
  return (p.parent_path() / name).string();
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error(path + ": cannot be read (the page needs Debian's libjs-three)");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error(path + ": cannot be written: " + std::strerror(errno));
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const int error = errno;
  if (std::fclose(f) != 0 || !written)
    throw std::runtime_error(path + ": cannot be written: " + std::strerror(error));
}

void Replace(std::string& text, const std::string& marker, const std::string& with) {
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) throw std::logic_error("page template has no " + marker);
  text.replace(at, marker.size(), with);
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
  const std::string probe = (fs::path(folder) / ".zelkar-drive.partial").string();
  WriteText(probe, "");
  fs::remove(probe, error);
}

std::string CsvText(const SStage& stage, const SDrive& drive) {
  const auto& nodes = drive.recording.nodes;
  // Recorded indices of the chosen nodes, in the stage's order.
  std::vector<std::size_t> chosen;
  for (const SNodeList& list : stage.csv)
    for (const std::string& node : list.nodes)
      for (std::size_t n = 0; n < nodes.size(); ++n)
        if (nodes[n].name == list.character + "/" + node) {
          chosen.push_back(n);
          break;
        }
  std::string text = "time,character,node,x,y,z\n";
  char line[512];
  for (std::size_t f = 0; f < drive.recording.times.size(); ++f) {
    for (std::size_t n : chosen) {
      const Matrix& m = drive.recording.worlds[f * nodes.size() + n];
      const std::string& name = nodes[n].name;
      const std::size_t slash = name.find('/');
      std::snprintf(line, sizeof line, "%.6f,%s,%s,%.6f,%.6f,%.6f\n",
                    static_cast<double>(drive.recording.times[f]), name.substr(0, slash).c_str(),
                    name.substr(slash + 1).c_str(), static_cast<double>(m.m[12]),
                    static_cast<double>(m.m[13]), static_cast<double>(m.m[14]));
      text += line;
    }
  }
  return text;
}

std::string Base64(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    uint32_t v = static_cast<uint32_t>(bytes[i]) << 16;
    if (n > 1) v |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) v |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

std::string PageText(const SStage& stage, const SDrive& drive, float rate,
                     const std::vector<unsigned char>& glb, const std::string& threeDir) {
  const auto& nodes = drive.recording.nodes;
  json data;
  data["title"] = stage.name;
  data["rate"] = rate;
  data["duration"] = drive.recording.times.empty() ? 0.0f : drive.recording.times.back();
  data["characters"] = json::array();
  for (const SStageCharacter& c : stage.characters)
    data["characters"].push_back({{"name", c.name}, {"kind", c.kind}});
  data["nodeCharacter"] = drive.nodeCharacter;
  data["roots"] = json::array();
  data["lines"] = json::array();
  data["arms"] = json::array();
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    const int parent = nodes[n].parent;
    if (parent < 0) {
      data["roots"].push_back(n);
      continue;
    }
    if (drive.nodeKind[static_cast<std::size_t>(parent)] < 0) continue;  // the character itself
    const Matrix& a = drive.recording.worlds[n];
    const Matrix& b = drive.recording.worlds[static_cast<std::size_t>(parent)];
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

  std::string page = kPageTemplate;
  Replace(page, "ZK_TITLE", stage.name);
  std::string scripts;
  for (const char* file : {"three.min.js", "examples/js/loaders/GLTFLoader.js",
                           "examples/js/controls/OrbitControls.js"})
    scripts +=
        "<script>\n" + ScriptSafe(ReadText((fs::path(threeDir) / file).string())) + "\n</script>\n";
  Replace(page, "<!--ZK_SCRIPTS-->", scripts);
  Replace(
      page, "<!--ZK_DATA-->",
      "<script type=\"application/json\" id=\"zk-data\">" + ScriptSafe(data.dump()) + "</script>");
  Replace(page, "<!--ZK_GLB-->",
          "<script type=\"application/octet-stream\" id=\"zk-glb\">" + Base64(glb) + "</script>");
  return page;
}

void WriteOutputs(const SStage& stage, const SDrive& drive, float rate, const SOutputPaths& paths,
                  const std::string& threeDir) {
  const std::string glb = Partial(paths.glb), csv = Partial(paths.csv), page = Partial(paths.page);
  try {
    zk_gltf::SWriteOptions options;
    options.animationName = stage.name;
    zk_gltf::WriteGlb(drive.recording, glb, options);
    std::ifstream in(glb, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    if (bytes.empty()) throw std::runtime_error(glb + ": cannot be read back");
    WriteText(csv, CsvText(stage, drive));
    WriteText(page, PageText(stage, drive, rate, bytes, threeDir));
    fs::rename(glb, paths.glb);
    fs::rename(csv, paths.csv);
    fs::rename(page, paths.page);
  } catch (const std::exception&) {
    std::error_code ignored;
    for (const std::string& p : {glb, csv, page}) fs::remove(p, ignored);
    throw;
  }
}

}  // namespace zk_drive
