#include "GltfWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "AnimationRecorder.h"
#include "AtomicFile.h"
#include "GltfFrame.h"

namespace zk_gltf {
namespace {

using nlohmann::json;

constexpr int kFloat = 5126;  // glTF's component type code of f32

// The binary chunk and the accessors that describe it, one buffer view per accessor.
class CGlbBuffer {
 public:
  // Appends `count` elements of `width` floats; returns the accessor's index. min and max are
  // taken from the stored f32 values, as a validator recomputes them.
  int AddFloats(json& doc, const std::vector<float>& values, int width) {
    const size_t count = values.size() / width;
    const size_t offset = bytes_.size();
    bytes_.resize(offset + values.size() * sizeof(float));
    if (!values.empty()) std::memcpy(bytes_.data() + offset, values.data(), values.size() * 4);
    std::vector<float> lo(width, std::numeric_limits<float>::infinity());
    std::vector<float> hi(width, -std::numeric_limits<float>::infinity());
    for (size_t i = 0; i < values.size(); ++i) {
      lo[i % width] = std::fmin(lo[i % width], values[i]);
      hi[i % width] = std::fmax(hi[i % width], values[i]);
    }
    static const char* const kTypes[] = {"", "SCALAR", "", "VEC3", "VEC4"};
    doc["bufferViews"].push_back(
        {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", values.size() * 4}});
    json accessor = {{"bufferView", doc["bufferViews"].size() - 1},
                     {"componentType", kFloat},
                     {"count", count},
                     {"type", kTypes[width]}};
    accessor["min"] = json::array();
    accessor["max"] = json::array();
    for (int c = 0; c < width; ++c) {
      accessor["min"].push_back(static_cast<double>(lo[c]));
      accessor["max"].push_back(static_cast<double>(hi[c]));
    }
    doc["accessors"].push_back(accessor);
    return static_cast<int>(doc["accessors"].size() - 1);
  }
  const std::vector<unsigned char>& Bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
};

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw std::runtime_error(path + ": " + reason);
}

void Check(const SRecording& rec, const std::string& path) {
  if (rec.nodes.empty()) Fail(path, "the recording has no node");
  if (rec.times.empty()) Fail(path, "the recording has no frame");
  if (rec.worlds.size() != rec.times.size() * rec.nodes.size())
    Fail(path, "the recording holds " + std::to_string(rec.worlds.size()) +
                   " matrices, not frames × nodes = " +
                   std::to_string(rec.times.size() * rec.nodes.size()));
  for (size_t i = 0; i < rec.nodes.size(); ++i) {
    const int parent = rec.nodes[i].parent;
    if (parent < -1 || parent >= static_cast<int>(i))
      Fail(path, "node " + std::to_string(i) + " (\"" + rec.nodes[i].name + "\") names parent " +
                     std::to_string(parent) + ", which is not an earlier node");
  }
  for (size_t f = 0; f < rec.times.size(); ++f) {
    if (!std::isfinite(rec.times[f]) || (f > 0 && !(rec.times[f] > rec.times[f - 1])))
      Fail(path, "time " + std::to_string(f) + " (" + std::to_string(rec.times[f]) +
                     ") is not after the one before it");
  }
  for (size_t k = 0; k < rec.worlds.size(); ++k)
    for (float v : rec.worlds[k].m)
      if (!std::isfinite(v))
        Fail(path, "frame " + std::to_string(k / rec.nodes.size()) + ", node \"" +
                       rec.nodes[k % rec.nodes.size()].name + "\": the matrix is not finite");
}

json Floats(const double* v, int count) {
  json a = json::array();
  for (int i = 0; i < count; ++i) a.push_back(static_cast<double>(static_cast<float>(v[i])));
  return a;
}

// The frames at which a channel changes value, when it changes only at instants: between two
// frames one float step apart (SceneSource.h), holding its value (within 1e-6) everywhere else.
// Empty when the channel moves between frames or never changes: it is written as LINEAR keys.
std::vector<size_t> StepFrames(const std::vector<float>& times, const std::vector<float>& values,
                               int width) {
  std::vector<size_t> keys{0};
  for (size_t f = 1; f < times.size(); ++f) {
    float change = 0;
    for (int c = 0; c < width; ++c)
      change =
          std::fmax(change, std::fabs(values[f * width + c] - values[keys.back() * width + c]));
    if (change <= 1e-6f) continue;
    if (times[f] != std::nextafter(times[f - 1], std::numeric_limits<float>::infinity())) return {};
    keys.push_back(f);
  }
  return keys.size() > 1 ? keys : std::vector<size_t>{};
}

void Put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

}  // namespace

void WriteGlb(const SRecording& rec, const std::string& path, const SWriteOptions& options) {
  Check(rec, path);
  if (!(options.metresPerUnit > 0) || !std::isfinite(options.metresPerUnit))
    Fail(path, "metres per unit must be a positive number");
  const std::size_t n = rec.nodes.size();
  SKeyedAnimation animation;
  try {
    CAnimationRecorder recorder(rec.nodes, SFrame{options.zUp, options.metresPerUnit},
                                SReduction{});
    for (std::size_t f = 0; f < rec.times.size(); ++f)
      recorder.AddFrame(rec.times[f], rec.worlds.data() + f * n);
    animation = recorder.Finish();
  } catch (const std::runtime_error& e) {
    Fail(path, e.what());
  }
  WriteGlb(animation, path, options);
}

void WriteGlb(const SKeyedAnimation& animation, const std::string& path,
              const SWriteOptions& options) {
  const std::size_t n = animation.nodes.size();
  if (n == 0) Fail(path, "the recording has no node");
  if (animation.frames == 0) Fail(path, "the recording has no frame");

  json doc;
  doc["asset"] = {{"version", "2.0"}, {"generator", "zelkar-gltf"}};
  doc["scene"] = 0;
  doc["scenes"] = json::array({{{"nodes", json::array()}}});
  doc["nodes"] = json::array();
  doc["bufferViews"] = json::array();
  doc["accessors"] = json::array();
  CGlbBuffer buffer;
  // Channels keyed at every frame share one accessor of the frames' times.
  const int frameTimes =
      animation.frameTimes.empty() ? -1 : buffer.AddFloats(doc, animation.frameTimes, 1);

  json channels = json::array();
  json samplers = json::array();
  auto addChannel = [&](std::size_t node, const char* property, const SKeyedChannel& channel,
                        int width) {
    int input = frameTimes, output;
    // Every frame a key: a channel that only holds and jumps between frames one float step
    // apart is written as the steps it is.
    const std::vector<size_t> steps = channel.times.empty()
                                          ? StepFrames(animation.frameTimes, channel.values, width)
                                          : std::vector<size_t>{};
    if (!channel.times.empty()) {
      input = buffer.AddFloats(doc, channel.times, 1);
      output = buffer.AddFloats(doc, channel.values, width);
    } else if (steps.empty()) {
      output = buffer.AddFloats(doc, channel.values, width);
    } else {
      std::vector<float> stepTimes, stepValues;
      for (size_t f : steps) {
        stepTimes.push_back(animation.frameTimes[f]);
        stepValues.insert(stepValues.end(), channel.values.begin() + f * width,
                          channel.values.begin() + (f + 1) * width);
      }
      input = buffer.AddFloats(doc, stepTimes, 1);
      output = buffer.AddFloats(doc, stepValues, width);
    }
    samplers.push_back({{"input", input},
                        {"output", output},
                        {"interpolation", steps.empty() ? "LINEAR" : "STEP"}});
    channels.push_back(
        {{"sampler", samplers.size() - 1}, {"target", {{"node", node}, {"path", property}}}});
  };

  for (std::size_t i = 0; i < n; ++i) {
    const SKeyedNode& keyed = animation.channels[i];
    json node = {{"name", animation.nodes[i].name},
                 {"translation", Floats(keyed.first.translation, 3)},
                 {"rotation", Floats(keyed.first.rotation, 4)}};
    // A scale of 1 within float rounding at every frame needs neither a scale nor a channel.
    if (keyed.scaled) node["scale"] = Floats(keyed.first.scale, 3);
    doc["nodes"].push_back(node);
    if (animation.nodes[i].parent < 0)
      doc["scenes"][0]["nodes"].push_back(i);
    else
      doc["nodes"][animation.nodes[i].parent]["children"].push_back(i);
    addChannel(i, "translation", keyed.translation, 3);
    addChannel(i, "rotation", keyed.rotation, 4);
    if (keyed.scaled) addChannel(i, "scale", keyed.scale, 3);
  }
  doc["animations"] = json::array(
      {{{"name", options.animationName}, {"channels", channels}, {"samplers", samplers}}});
  doc["buffers"] = json::array({{{"byteLength", buffer.Bytes().size()}}});

  // Container: a 12-byte header, the JSON chunk padded with spaces and the binary chunk padded
  // with zeros, each to a multiple of four bytes.
  std::string text = doc.dump();
  while (text.size() % 4) text.push_back(' ');
  std::vector<unsigned char> bin = buffer.Bytes();
  while (bin.size() % 4) bin.push_back(0);
  std::vector<unsigned char> out;
  Put32(out, 0x46546C67);  // "glTF"
  Put32(out, 2);
  Put32(out, static_cast<uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
  Put32(out, static_cast<uint32_t>(text.size()));
  Put32(out, 0x4E4F534A);  // "JSON"
  out.insert(out.end(), text.begin(), text.end());
  Put32(out, static_cast<uint32_t>(bin.size()));
  Put32(out, 0x004E4942);  // "BIN\0"
  out.insert(out.end(), bin.begin(), bin.end());
  zk_tools::WriteFileAtomically(path, out);
}

}  // namespace zk_gltf
