#include "GltfImport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>

#include "AssetError.h"
#include "AssetJson.h"
#include "AssetWriter.h"
#include "AtomicFile.h"
#include "MemorySink.h"
#include "TinyGltf.h"

namespace zk_gltf {
namespace {

using NZelkarAsset::Json;
using Vec4 = std::array<double, 4>;

[[noreturn]] void Fail(const std::string& name, const std::string& where,
                       const std::string& reason) {
  throw std::runtime_error(name + ": " + where + ": " + reason);
}

std::string At(const char* list, size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

// The container of a .glb, checked before its JSON is parsed: every length inside the file.
void CheckGlbLayout(const std::vector<uint8_t>& b, const std::string& name) {
  if (b.size() < 20)
    Fail(name, "byte 0",
         "a .glb needs at least 20 bytes, the file has " + std::to_string(b.size()));
  if (Le32(b, 4) != 2) Fail(name, "byte 4", "version " + std::to_string(Le32(b, 4)) + ", not 2");
  if (Le32(b, 8) != b.size())
    Fail(name, "byte 8",
         "the header gives a length of " + std::to_string(Le32(b, 8)) + " bytes, the file has " +
             std::to_string(b.size()) + " (truncated or padded)");
  size_t at = 12;
  for (int chunk = 0; at < b.size(); ++chunk) {
    if (b.size() - at < 8)
      Fail(name, "byte " + std::to_string(at), "a chunk header runs past the end of the file");
    const uint64_t length = Le32(b, at);
    if (length > b.size() - at - 8)
      Fail(name, "byte " + std::to_string(at),
           "chunk " + std::to_string(chunk) + " of " + std::to_string(length) +
               " bytes runs past the end of the file");
    if (chunk == 0 && Le32(b, at + 4) != 0x4E4F534A)
      Fail(name, "byte " + std::to_string(at + 4), "the first chunk is not JSON");
    at += 8 + length;
  }
}

bool IgnoreImage(tinygltf::Image*, const int, std::string*, std::string*, int, int,
                 const unsigned char*, int, void*) {
  return true;  // images play no part in skeletons and animations
}

bool NoExternalFiles(std::vector<unsigned char>*, std::string* err, const std::string& path,
                     void*) {
  if (err) *err += "external file \"" + path + "\" cannot be read here\n";
  return false;
}

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  std::replace(text.begin(), text.end(), '\n', ';');
  return text;
}

// ---- Reading accessors, every offset checked -------------------------------------------------

// The elements of an accessor as doubles, normalised integers turned into [-1, 1] or [0, 1].
// `types` lists the element types accepted (TINYGLTF_TYPE_*), `normalisedInts` whether integer
// components are accepted (normalised ones only).
std::vector<double> ReadAccessor(const tinygltf::Model& model, int index, int type,
                                 bool normalisedInts, const std::string& name,
                                 const std::string& user) {
  if (index < 0 || size_t(index) >= model.accessors.size())
    Fail(name, user,
         "accessor " + std::to_string(index) + " is past the accessor list (" +
             std::to_string(model.accessors.size()) + ")");
  const tinygltf::Accessor& a = model.accessors[index];
  const std::string where = At("accessors", index);
  if (a.type != type) Fail(name, where + ".type", "the element type does not suit " + user);
  if (a.sparse.isSparse) Fail(name, where + ".sparse", "sparse accessors are not read");
  size_t componentSize = 4;
  switch (a.componentType) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
      break;
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
      componentSize = 1;
      break;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
      componentSize = 2;
      break;
    default:
      Fail(name, where + ".componentType",
           "component type " + std::to_string(a.componentType) + " is not float" +
               (normalisedInts ? " or a normalised integer" : ""));
  }
  if (componentSize != 4 && (!normalisedInts || !a.normalized))
    Fail(name, where + ".componentType",
         std::string("component type ") + std::to_string(a.componentType) + " is not float" +
             (normalisedInts ? " (integers must be normalised)" : ""));
  const size_t width = size_t(tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a.type)));
  const size_t elementSize = width * componentSize;
  std::vector<double> out;
  if (a.count == 0) return out;
  if (a.bufferView < 0) {  // no data: zeros
    if (a.count > (1u << 24)) Fail(name, where + ".count", "too many elements without data");
    out.assign(a.count * width, 0.0);
    return out;
  }
  if (size_t(a.bufferView) >= model.bufferViews.size())
    Fail(name, where + ".bufferView",
         "buffer view " + std::to_string(a.bufferView) + " is past the list (" +
             std::to_string(model.bufferViews.size()) + ")");
  const tinygltf::BufferView& view = model.bufferViews[a.bufferView];
  const std::string viewAt = At("bufferViews", a.bufferView);
  if (view.buffer < 0 || size_t(view.buffer) >= model.buffers.size())
    Fail(name, viewAt + ".buffer", "buffer " + std::to_string(view.buffer) + " does not exist");
  const std::vector<unsigned char>& data = model.buffers[view.buffer].data;
  if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset)
    Fail(name, viewAt,
         "bytes " + std::to_string(view.byteOffset) + " to " +
             std::to_string(uint64_t(view.byteOffset) + view.byteLength) + " run past buffer " +
             std::to_string(view.buffer) + " of " + std::to_string(data.size()) + " bytes");
  const size_t stride = view.byteStride != 0 ? view.byteStride : elementSize;
  if (stride < elementSize) Fail(name, viewAt + ".byteStride", "smaller than an element");
  // 64-bit arithmetic: a count of billions in a small file must not wrap around.
  const uint64_t needed =
      uint64_t(a.byteOffset) + uint64_t(stride) * (uint64_t(a.count) - 1) + elementSize;
  if (a.byteOffset > view.byteLength || needed > view.byteLength)
    Fail(name, where + ".count",
         std::to_string(a.count) + " elements from byte " + std::to_string(a.byteOffset) +
             " need " + std::to_string(needed) + " bytes; buffer view " +
             std::to_string(a.bufferView) + " has " + std::to_string(view.byteLength));
  if (componentSize != 4 && elementSize % componentSize != 0)
    Fail(name, where, "misaligned element");
  out.resize(a.count * width);
  const unsigned char* base = data.data() + view.byteOffset + a.byteOffset;
  for (size_t i = 0; i < a.count; ++i)
    for (size_t c = 0; c < width; ++c) {
      const unsigned char* p = base + i * stride + c * componentSize;
      double v = 0;
      switch (a.componentType) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
          float f;
          std::memcpy(&f, p, 4);
          v = f;
          break;
        }
        case TINYGLTF_COMPONENT_TYPE_BYTE:
          v = std::max(static_cast<int8_t>(*p) / 127.0, -1.0);
          break;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
          v = *p / 255.0;
          break;
        case TINYGLTF_COMPONENT_TYPE_SHORT: {
          int16_t s;
          std::memcpy(&s, p, 2);
          v = std::max(s / 32767.0, -1.0);
          break;
        }
        default: {
          uint16_t s;
          std::memcpy(&s, p, 2);
          v = s / 65535.0;
        }
      }
      if (!std::isfinite(v)) Fail(name, where, "element " + std::to_string(i) + " is not finite");
      out[i * width + c] = v;
    }
  return out;
}

// ---- The node tree --------------------------------------------------------------------------

// Parents of every node, checked: children in the list, one parent each, no cycle.
std::vector<int> Parents(const tinygltf::Model& model, const std::string& name) {
  const size_t n = model.nodes.size();
  std::vector<int> parent(n, -1);
  for (size_t i = 0; i < n; ++i)
    for (size_t c = 0; c < model.nodes[i].children.size(); ++c) {
      const int child = model.nodes[i].children[c];
      const std::string where = At("nodes", i) + At(".children", c);
      if (child < 0 || size_t(child) >= n)
        Fail(name, where,
             "node " + std::to_string(child) + " is past the node list (" + std::to_string(n) +
                 " nodes)");
      if (parent[child] >= 0 || size_t(child) == i)
        Fail(name, where,
             "node " + std::to_string(child) + " already has a parent (node " +
                 std::to_string(parent[child]) + ")");
      parent[child] = int(i);
    }
  // With one parent each, a cycle is a path upwards that never reaches a root.
  std::vector<int> state(n, 0);  // 0 unknown, 1 on the current path, 2 reaches a root
  for (size_t i = 0; i < n; ++i) {
    std::vector<size_t> path;
    size_t at = i;
    while (state[at] == 0) {
      state[at] = 1;
      path.push_back(at);
      if (parent[at] < 0) break;
      at = size_t(parent[at]);
    }
    if (state[at] == 1 && parent[at] >= 0)
      Fail(name, At("nodes", at), "the node tree has a cycle through node " + std::to_string(at));
    for (size_t p : path) state[p] = 2;
  }
  return parent;
}

STrs NodeTrs(const tinygltf::Node& node) {
  if (node.matrix.size() == 16) {
    SAffine m;  // column-major storage of the column form is the row form's row-major order
    for (int k = 0; k < 16; ++k) m.m[k] = node.matrix[k];
    return Decompose(m);
  }
  STrs trs;
  for (size_t c = 0; c < 3 && c < node.translation.size(); ++c)
    trs.translation[c] = node.translation[c];
  for (size_t c = 0; c < 4 && c < node.rotation.size(); ++c) trs.rotation[c] = node.rotation[c];
  for (size_t c = 0; c < 3 && c < node.scale.size(); ++c) trs.scale[c] = node.scale[c];
  return trs;
}

SAffine NodeLocal(const tinygltf::Node& node) {
  if (node.matrix.size() == 16) {
    SAffine m;
    for (int k = 0; k < 16; ++k) m.m[k] = node.matrix[k];
    return m;
  }
  return Compose(NodeTrs(node));
}

// ---- Values: glTF's frame to the library's, and the nodes folded into a joint ---------------

// A static transform that follows a joint's own (the non-joint nodes up to its parent joint):
// uniform scale k, rotation q, translation t, in glTF's frame.
struct SFold {
  double k = 1;
  Vec4 q{0, 0, 0, 1};
  double t[3] = {0, 0, 0};
};

Vec4 Hamilton(const Vec4& a, const Vec4& b) {
  return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
          a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
          a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
          a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

void Rotate(const Vec4& q, const double in[3], double out[3]) {
  const Vec4 p = Hamilton(Hamilton(q, {in[0], in[1], in[2], 0}), {-q[0], -q[1], -q[2], q[3]});
  for (int c = 0; c < 3; ++c) out[c] = p[c];
}

class CConverter {
 public:
  CConverter(const SFrame& frame, const SFold& fold) : m_frame(frame), m_fold(fold) {}

  // A translation (or, with offset false, a tangent of one) into the library's frame.
  Vec4 Translation(const double* v, bool offset = true) const {
    double r[3];
    Rotate(m_fold.q, v, r);
    for (int c = 0; c < 3; ++c) r[c] = r[c] * m_fold.k + (offset ? m_fold.t[c] : 0.0);
    return Axes(r, 1.0 / m_frame.metresPerUnit, -1);
  }
  Vec4 Rotation(const double* v) const {
    const Vec4 q = Hamilton(m_fold.q, {v[0], v[1], v[2], v[3]});
    Vec4 r = Axes(q.data(), 1.0, -1);
    r[3] = q[3];
    const double n = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
    for (double& c : r) c = n > 0 ? c / n : c;
    if (n == 0) r[3] = 1;
    return r;
  }
  Vec4 Scale(const double* v) const {
    const double s[3] = {v[0] * m_fold.k, v[1] * m_fold.k, v[2] * m_fold.k};
    return Axes(s, 1.0, 1);
  }

 private:
  // glTF (x, y, z) in the library's Z-up axes: (x, -z, y), or (x, z, y) for a magnitude.
  Vec4 Axes(const double* v, double scale, int sign) const {
    if (!m_frame.zUp) return {v[0] * scale, v[1] * scale, v[2] * scale, 0};
    return {v[0] * scale, sign * v[2] * scale, v[1] * scale, 0};
  }
  SFrame m_frame;
  SFold m_fold;
};

// ---- Tracks ---------------------------------------------------------------------------------

enum class EPath { Translation, Rotation, Scale };

struct SKey {
  float time;
  Vec4 value;
  Vec4 in{}, out{};  // Bezier position tangents as value offsets over a third of the segment
};

struct STrack {
  std::vector<SKey> keys;
  bool bezier = false;
};

float NextBelow(float t) { return std::nextafter(t, -std::numeric_limits<float>::infinity()); }

// A glTF sampler's keys in the library's frame: LINEAR as they are, STEP with holding keys,
// CUBICSPLINE as Bezier keys (translation) or resampled linear keys (rotation, scale).
STrack TrackFromSampler(const std::vector<double>& times, const std::vector<double>& values,
                        const std::string& interpolation, EPath path, const CConverter& conv,
                        double tolerance) {
  const size_t width = path == EPath::Rotation ? 4 : 3;
  const size_t n = times.size();
  auto convert = [&](const double* v) {
    return path == EPath::Translation ? conv.Translation(v)
           : path == EPath::Rotation  ? conv.Rotation(v)
                                      : conv.Scale(v);
  };
  STrack track;
  if (interpolation != "CUBICSPLINE") {
    for (size_t i = 0; i < n; ++i) {
      const Vec4 v = convert(&values[i * width]);
      if (interpolation == "STEP" && i > 0) {
        const float held = NextBelow(float(times[i]));
        if (held > track.keys.back().time) track.keys.push_back({held, track.keys.back().value});
      }
      track.keys.push_back({float(times[i]), v});
    }
    return track;
  }
  // Cubic: element 3i is the in-tangent, 3i+1 the value, 3i+2 the out-tangent of key i.
  auto value = [&](size_t i) { return &values[(3 * i + 1) * width]; };
  auto inTangent = [&](size_t i) { return &values[(3 * i) * width]; };
  auto outTangent = [&](size_t i) { return &values[(3 * i + 2) * width]; };
  if (path == EPath::Translation) {
    // Each Hermite segment as a Bezier segment: P1 = P0 + Δt·out/3, P2 = P3 − Δt·in/3, its time
    // running linearly (time controls at a third and two thirds). The library draws a segment
    // as 32 straight pieces, off by up to max|P0 − 2P1 + P2, P1 − 2P2 + P3|·6/8/31²; segments
    // are halved (de Casteljau, which keeps them exact) until that is within `tolerance`.
    track.bezier = true;
    std::function<void(float, float, const std::array<Vec4, 4>&, int)> piece =
        [&](float t0, float t1, const std::array<Vec4, 4>& P, int depth) {
          double bend = 0;
          for (int c = 0; c < 3; ++c)
            bend = std::max({bend, std::fabs(P[0][c] - 2 * P[1][c] + P[2][c]),
                             std::fabs(P[1][c] - 2 * P[2][c] + P[3][c])});
          const float tm = t0 + (t1 - t0) / 2;
          if (bend * 6 / 8 / (31.0 * 31.0) <= tolerance || depth >= 8 || !(tm > t0 && tm < t1)) {
            SKey& start = track.keys.back();
            for (int c = 0; c < 3; ++c) start.out[c] = P[1][c] - P[0][c];
            SKey end{t1, P[3]};
            for (int c = 0; c < 3; ++c) end.in[c] = P[2][c] - P[3][c];
            track.keys.push_back(end);
            return;
          }
          std::array<Vec4, 4> left, right;
          for (int c = 0; c < 3; ++c) {
            const double p01 = (P[0][c] + P[1][c]) / 2, p12 = (P[1][c] + P[2][c]) / 2,
                         p23 = (P[2][c] + P[3][c]) / 2, a = (p01 + p12) / 2, b = (p12 + p23) / 2,
                         m = (a + b) / 2;
            left[0][c] = P[0][c], left[1][c] = p01, left[2][c] = a, left[3][c] = m;
            right[0][c] = m, right[1][c] = b, right[2][c] = p23, right[3][c] = P[3][c];
          }
          piece(t0, tm, left, depth + 1);
          piece(tm, t1, right, depth + 1);
        };
    track.keys.push_back({float(times[0]), convert(value(0))});
    for (size_t i = 0; i + 1 < n; ++i) {
      const double dt = times[i + 1] - times[i];
      const Vec4 b = conv.Translation(outTangent(i), false);
      const Vec4 a = conv.Translation(inTangent(i + 1), false);
      std::array<Vec4, 4> P = {track.keys.back().value, {}, {}, convert(value(i + 1))};
      for (int c = 0; c < 3; ++c) {
        P[1][c] = P[0][c] + b[c] * dt / 3;
        P[2][c] = P[3][c] - a[c] * dt / 3;
      }
      piece(float(times[i]), float(times[i + 1]), P, 0);
    }
    return track;
  }
  // The Hermite curve of segment i at fraction s, in glTF's frame, then converted.
  auto curve = [&](size_t i, double s) {
    const double dt = times[i + 1] - times[i];
    const double s2 = s * s, s3 = s2 * s;
    const double h00 = 2 * s3 - 3 * s2 + 1, h10 = s3 - 2 * s2 + s, h01 = -2 * s3 + 3 * s2,
                 h11 = s3 - s2;
    double v[4];
    for (size_t c = 0; c < width; ++c)
      v[c] = h00 * value(i)[c] + h10 * dt * outTangent(i)[c] + h01 * value(i + 1)[c] +
             h11 * dt * inTangent(i + 1)[c];
    return convert(v);
  };
  auto lerp = [&](const Vec4& a, const Vec4& b, double u) {
    Vec4 r;
    if (path == EPath::Rotation) {  // as the library's slerp of two keys would give
      double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
      const double sign = d < 0 ? -1 : 1;
      d = std::min(1.0, d * sign);
      const double th = std::acos(d);
      const double wa = th < 1e-7 ? 1 - u : std::sin((1 - u) * th) / std::sin(th);
      const double wb = (th < 1e-7 ? u : std::sin(u * th) / std::sin(th)) * sign;
      for (int c = 0; c < 4; ++c) r[c] = wa * a[c] + wb * b[c];
    } else {
      for (int c = 0; c < 4; ++c) r[c] = (1 - u) * a[c] + u * b[c];
    }
    return r;
  };
  // Halve a piece until its middle and quarter points lie within 1e-6 of the curve.
  std::function<void(size_t, double, double, const Vec4&, const Vec4&, int)> refine =
      [&](size_t i, double s0, double s1, const Vec4& v0, const Vec4& v1, int depth) {
        double err = 0;
        for (double u : {0.25, 0.5, 0.75}) {
          const Vec4 c = curve(i, s0 + (s1 - s0) * u), l = lerp(v0, v1, u);
          for (int k = 0; k < 4; ++k) err = std::max(err, std::fabs(c[k] - l[k]));
        }
        const double sm = (s0 + s1) / 2;
        const float tm = float(times[i] + (times[i + 1] - times[i]) * sm);
        if (err <= 1e-6 || depth >= 10 || !(tm > track.keys.back().time)) {
          track.keys.push_back({float(times[i] + (times[i + 1] - times[i]) * s1), v1});
          return;
        }
        const Vec4 vm = curve(i, sm);
        refine(i, s0, sm, v0, vm, depth + 1);
        refine(i, sm, s1, vm, v1, depth + 1);
      };
  track.keys.push_back({float(times[0]), convert(value(0))});
  for (size_t i = 0; i + 1 < n; ++i) {
    const Vec4 v1 = convert(value(i + 1));
    refine(i, 0, 1, track.keys.back().value, v1, 0);
    track.keys.back().time = float(times[i + 1]);
  }
  return track;
}

// ---- Writing the library's files through the asset tool's JSON form -------------------------

Json Real(double v) { return static_cast<double>(static_cast<float>(v)); }

// A name's bytes as the asset JSON spells them: each byte one character U+0000..U+00FF.
Json NameJson(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

Json TrackJson(const STrack& track, EPath path) {
  Json keys = Json::array();
  for (const SKey& k : track.keys) {
    Json key = {{"time", Real(k.time)}};
    if (path == EPath::Translation) {
      key["value"] = {Real(k.value[0]), Real(k.value[1]), Real(k.value[2])};
      if (track.bezier) {
        key["inTangent"] = Json::array();
        key["outTangent"] = Json::array();
        for (int c = 0; c < 3; ++c) {
          key["inTangent"].push_back({Real(-1.0 / 3), Real(k.in[c])});
          key["outTangent"].push_back({Real(1.0 / 3), Real(k.out[c])});
        }
      }
    } else if (path == EPath::Rotation) {
      // An absolute axis and angle: q = (axis·sin(a/2), cos(a/2)), the sign of q kept.
      const double s =
          std::sqrt(k.value[0] * k.value[0] + k.value[1] * k.value[1] + k.value[2] * k.value[2]);
      key["angle"] = Real(2 * std::atan2(s, k.value[3]));
      if (s > 0)
        key["axis"] = {Real(k.value[0] / s), Real(k.value[1] / s), Real(k.value[2] / s)};
      else
        key["axis"] = {0.0, 0.0, 1.0};
    } else {
      key["scale"] = {Real(k.value[0]), Real(k.value[1]), Real(k.value[2])};
      key["angle"] = 0.0;
      key["axis"] = {0.0, 0.0, 1.0};
    }
    keys.push_back(key);
  }
  const char* type = path == EPath::Translation
                         ? (track.bezier ? "bezierPosition" : "linearPosition")
                     : path == EPath::Rotation ? "linearRotation"
                                               : "linearScale";
  return {{"keyType", type}, {"before", "hold"}, {"after", "hold"}, {"keys", keys}};
}

std::vector<uint8_t> FileBytes(const Json& json, const std::string& name) {
  try {
    const NZelkarAsset::Document document = NZelkarAsset::DocumentFromJson(json);
    NZelkarAsset::CMemorySink sink;
    NZelkarAsset::WriteDocument(document, sink);
    return sink.Data();
  } catch (const NZelkarAsset::CAssetError& e) {
    throw std::runtime_error(name + ": cannot be written as a library file: " + e.what());
  }
}

}  // namespace

void ParseGltf(const std::vector<uint8_t>& bytes, const std::string& name,
               const std::string& baseDir, tinygltf::Model* model) {
  tinygltf::TinyGLTF loader;
  loader.SetImageLoader(&IgnoreImage, nullptr);
  if (baseDir.empty()) {
    tinygltf::FsCallbacks fs{&tinygltf::FileExists, &tinygltf::ExpandFilePath, &NoExternalFiles,
                             &tinygltf::WriteWholeFile, nullptr};
    loader.SetFsCallbacks(fs);
  }
  std::string err, warn;
  bool ok;
  const bool binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
  if (binary) {
    CheckGlbLayout(bytes, name);
    ok = loader.LoadBinaryFromMemory(model, &err, &warn, bytes.data(),
                                     static_cast<unsigned int>(bytes.size()), baseDir);
  } else {
    ok = loader.LoadASCIIFromString(model, &err, &warn, reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<unsigned int>(bytes.size()), baseDir);
  }
  if (!ok) Fail(name, binary ? "glb" : "json", OneLine(err.empty() ? warn : err));
}

void LoadGltf(const std::string& path, tinygltf::Model* model) {
  std::vector<unsigned char> bytes;
  std::string err;
  if (!tinygltf::ReadWholeFile(&bytes, &err, path, nullptr))
    throw std::runtime_error(path + ": cannot read the file");
  const size_t slash = path.find_last_of('/');
  ParseGltf(bytes, path, slash == std::string::npos ? "." : path.substr(0, slash), model);
}

std::string ListModel(const tinygltf::Model& model) {
  std::string out;
  for (size_t i = 0; i < model.skins.size(); ++i)
    out += "skin " + std::to_string(i) + " \"" + model.skins[i].name +
           "\": " + std::to_string(model.skins[i].joints.size()) + " joints\n";
  if (model.skins.empty())
    out += "no skin: the whole node tree (" + std::to_string(model.nodes.size()) + " nodes)\n";
  for (size_t i = 0; i < model.animations.size(); ++i) {
    double end = 0;
    for (const auto& s : model.animations[i].samplers)
      if (s.input >= 0 && size_t(s.input) < model.accessors.size() &&
          model.accessors[s.input].maxValues.size() == 1)
        end = std::max(end, model.accessors[s.input].maxValues[0]);
    out += "animation " + std::to_string(i) + " \"" + model.animations[i].name +
           "\": " + std::to_string(model.animations[i].channels.size()) + " channels, " +
           std::to_string(end) + " s\n";
  }
  if (model.animations.empty()) out += "no animation\n";
  return out;
}

SImport ImportModel(const tinygltf::Model& model, const SImportOptions& options,
                    const std::string& name) {
  SImport result;
  const std::vector<int> parent = Parents(model, name);
  const size_t n = model.nodes.size();
  if (n == 0) Fail(name, "nodes", "the file has no node");

  // The joints, parents first.
  std::vector<int> joints;
  if (options.skin >= 0 && size_t(options.skin) >= model.skins.size())
    Fail(name, "--skin", "the file has " + std::to_string(model.skins.size()) + " skins");
  const int skin = options.skin >= 0 ? options.skin : model.skins.empty() ? -1 : 0;
  if (skin >= 0) {
    const tinygltf::Skin& s = model.skins[skin];
    for (size_t j = 0; j < s.joints.size(); ++j) {
      if (s.joints[j] < 0 || size_t(s.joints[j]) >= n)
        Fail(name, At("skins", skin) + At(".joints", j),
             "node " + std::to_string(s.joints[j]) + " is past the node list (" +
                 std::to_string(n) + " nodes)");
      joints.push_back(s.joints[j]);
    }
    if (joints.empty()) Fail(name, At("skins", skin) + ".joints", "the skin has no joint");
  } else {
    for (size_t i = 0; i < n; ++i) joints.push_back(int(i));
  }
  std::vector<int> jointOf(n, -1);  // place in `joints`
  for (size_t j = 0; j < joints.size(); ++j) {
    if (jointOf[joints[j]] >= 0)
      Fail(name, At("skins", skin) + At(".joints", j), "a joint listed twice");
    jointOf[joints[j]] = int(j);
  }
  // Parents first, otherwise in the order given: each joint is placed after its nearest joint
  // ancestor.
  auto nearestJoint = [&](int node) {
    int p = parent[node];
    while (p >= 0 && jointOf[p] < 0) p = parent[p];
    return p;
  };
  std::vector<int> ordered;
  std::vector<bool> placed(n, false);
  for (int node : joints) {
    std::vector<int> chain;  // node and its unplaced joint ancestors, walked without recursion
    for (int at = node; at >= 0 && !placed[at]; at = nearestJoint(at)) chain.push_back(at);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      placed[*it] = true;
      ordered.push_back(*it);
    }
  }
  joints = ordered;
  for (size_t j = 0; j < joints.size(); ++j) jointOf[joints[j]] = int(j);

  // Names: exact, unique, within the format's 255 bytes.
  std::vector<std::string> names(joints.size());
  std::map<std::string, int> taken;
  size_t unnamed = 0;
  for (size_t j = 0; j < joints.size(); ++j) {
    const int node = joints[j];
    names[j] = model.nodes[node].name;
    if (names[j].empty()) {
      names[j] = "node" + std::to_string(node);
      ++unnamed;
    }
    if (names[j].size() > 255)
      Fail(name, At("nodes", node) + ".name", "longer than the 255 bytes a node name can hold");
    const auto [it, fresh] = taken.emplace(names[j], node);
    if (!fresh)
      Fail(name, At("nodes", node) + ".name",
           "\"" + names[j] + "\" also names node " + std::to_string(it->second) +
               "; the library finds nodes by name");
  }
  if (unnamed > 0)
    result.notes.push_back(std::to_string(unnamed) +
                           " joints without a name are called node<index>");

  // World transforms (glTF frame) and each joint's parent joint with the nodes folded between.
  std::vector<SAffine> world(n);
  std::vector<bool> done(n, false);
  // Without recursion: a file may hold a chain of nodes deeper than the stack.
  auto worldOf = [&](int i) -> const SAffine& {
    std::vector<int> chain;
    for (int at = i; at >= 0 && !done[at]; at = parent[at]) chain.push_back(at);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      world[*it] = NodeLocal(model.nodes[*it]);
      if (parent[*it] >= 0) world[*it] = Multiply(world[*it], world[parent[*it]]);
      done[*it] = true;
    }
    return world[i];
  };
  std::vector<int> parentJoint(joints.size(), -1);
  std::vector<SFold> folds(joints.size());
  size_t nonUniform = 0;
  for (size_t j = 0; j < joints.size(); ++j) {
    SAffine between{};
    between.m[0] = between.m[5] = between.m[10] = between.m[15] = 1;
    int p = parent[joints[j]];
    for (; p >= 0 && jointOf[p] < 0; p = parent[p])
      between = Multiply(between, NodeLocal(model.nodes[p]));
    parentJoint[j] = p >= 0 ? jointOf[p] : -1;
    const STrs trs = Decompose(between);
    SFold& fold = folds[j];
    const double* s = trs.scale;
    if (std::fabs(s[0] - s[1]) > 1e-6 * std::fabs(s[0]) ||
        std::fabs(s[0] - s[2]) > 1e-6 * std::fabs(s[0]))
      ++nonUniform;
    fold.k = std::cbrt(s[0] * s[1] * s[2]);
    for (int c = 0; c < 4; ++c) fold.q[c] = trs.rotation[c];
    for (int c = 0; c < 3; ++c) fold.t[c] = trs.translation[c];
  }
  if (nonUniform > 0)
    result.notes.push_back(std::to_string(nonUniform) +
                           " joints sit under nodes with a non-uniform scale, taken as uniform");

  // The hierarchy: rest pose world transforms in the library's frame.
  Json nodesJson = Json::array();
  for (size_t j = 0; j < joints.size(); ++j) {
    const SAffine w = GltfToLibrary(worldOf(joints[j]), options.frame);
    Json rows = Json::array();
    for (int r = 0; r < 4; ++r)
      rows.push_back({Real(w.m[4 * r]), Real(w.m[4 * r + 1]), Real(w.m[4 * r + 2])});
    nodesJson.push_back({{"name", NameJson(names[j])},
                         {"type", "transform"},
                         {"kind", skin >= 0 ? 2 : 0},
                         {"id", j},
                         {"parent", parentJoint[j]},
                         {"transform", rows}});
  }
  result.hierarchy =
      FileBytes({{"chunks", Json::array({{{"type", "hierarchy"}, {"nodes", nodesJson}}})}}, name);
  result.nodes = joints.size();

  size_t meshes = model.meshes.size(), cameras = model.cameras.size(), morphs = 0, ignored = 0;
  // Which animations.
  std::vector<size_t> chosen;
  for (size_t a = 0; a < model.animations.size(); ++a)
    if (options.animation.empty() || model.animations[a].name == options.animation ||
        std::to_string(a) == options.animation)
      chosen.push_back(a);
  if (!options.animation.empty() && chosen.empty())
    Fail(name, "--animation", "no animation is named or numbered \"" + options.animation + "\"");
  if (model.animations.empty()) chosen.push_back(SIZE_MAX);  // one scene of the rest pose

  for (size_t a : chosen) {
    // Each joint's track per path: a channel of this animation, or its node's own value.
    std::vector<std::array<STrack, 3>> tracks(joints.size());
    std::vector<std::array<bool, 3>> animated(joints.size(), {false, false, false});
    double end = 0;
    SImportedScene scene;
    if (a != SIZE_MAX) {
      const tinygltf::Animation& anim = model.animations[a];
      scene.animationName = anim.name.empty() ? "animation" + std::to_string(a) : anim.name;
      for (size_t c = 0; c < anim.channels.size(); ++c) {
        const tinygltf::AnimationChannel& ch = anim.channels[c];
        const std::string where = At("animations", a) + At(".channels", c);
        if (ch.sampler < 0 || size_t(ch.sampler) >= anim.samplers.size())
          Fail(name, where + ".sampler",
               "sampler " + std::to_string(ch.sampler) + " does not exist");
        if (ch.target_node < 0 || size_t(ch.target_node) >= n)
          Fail(name, where + ".target.node",
               "node " + std::to_string(ch.target_node) + " is past the node list (" +
                   std::to_string(n) + " nodes)");
        const tinygltf::AnimationSampler& s = anim.samplers[ch.sampler];
        const std::string samplerAt = At("animations", a) + At(".samplers", ch.sampler);
        const std::vector<double> times =
            ReadAccessor(model, s.input, TINYGLTF_TYPE_SCALAR, false, name, samplerAt + ".input");
        if (times.empty()) Fail(name, samplerAt + ".input", "no key");
        for (size_t i = 1; i < times.size(); ++i)
          if (!(float(times[i]) > float(times[i - 1])))
            Fail(name, At("accessors", s.input),
                 "key " + std::to_string(i) + " (" + std::to_string(times[i]) +
                     " s) is not after the one before it");
        end = std::max(end, times.back());
        if (ch.target_path == "weights") {
          ++morphs;
          continue;
        }
        const int j = jointOf[ch.target_node];
        if (j < 0) {
          ++ignored;
          continue;
        }
        const EPath path = ch.target_path == "translation" ? EPath::Translation
                           : ch.target_path == "rotation"  ? EPath::Rotation
                           : ch.target_path == "scale"
                               ? EPath::Scale
                               : (Fail(name, where + ".target.path",
                                       "\"" + ch.target_path + "\" is not a transform path"),
                                  EPath::Scale);
        const bool cubic = s.interpolation == "CUBICSPLINE";
        if (!cubic && s.interpolation != "LINEAR" && s.interpolation != "STEP")
          Fail(name, samplerAt + ".interpolation", "\"" + s.interpolation + "\" is unknown");
        const std::vector<double> values = ReadAccessor(
            model, s.output, path == EPath::Rotation ? TINYGLTF_TYPE_VEC4 : TINYGLTF_TYPE_VEC3,
            path == EPath::Rotation, name, samplerAt + ".output");
        const size_t width = path == EPath::Rotation ? 4 : 3;
        if (values.size() != times.size() * width * (cubic ? 3 : 1))
          Fail(name, samplerAt + ".output",
               std::to_string(values.size() / width) + " values for " +
                   std::to_string(times.size()) + " keys" +
                   (cubic ? " (a cubic spline needs three per key)" : ""));
        tracks[j][int(path)] = TrackFromSampler(times, values, s.interpolation, path,
                                                CConverter(options.frame, folds[j]),
                                                1e-6 / options.frame.metresPerUnit);
        animated[j][int(path)] = true;
      }
    } else {
      scene.animationName = "rest";
    }
    Json chunks = Json::array();
    for (size_t j = 0; j < joints.size(); ++j) {
      const STrs own = NodeTrs(model.nodes[joints[j]]);
      const CConverter conv(options.frame, folds[j]);
      if (!animated[j][0]) tracks[j][0].keys = {{0, conv.Translation(own.translation)}};
      if (!animated[j][1]) tracks[j][1].keys = {{0, conv.Rotation(own.rotation)}};
      if (!animated[j][2]) tracks[j][2].keys = {{0, conv.Scale(own.scale)}};
      chunks.push_back(
          {{"type", "object"},
           {"name", NameJson(names[j] + "::PRS")},
           {"controller",
            {{"type", "prs"},
             {"position",
              {{"type", "positionVector"}, {"track", TrackJson(tracks[j][0], EPath::Translation)}}},
             {"rotation",
              {{"type", "rotationQuaternion"},
               {"track", TrackJson(tracks[j][1], EPath::Rotation)}}},
             {"scale", {{"type", "scale"}, {"track", TrackJson(tracks[j][2], EPath::Scale)}}}}}});
    }
    chunks.push_back({{"type", "range"}, {"start", 0.0}, {"end", Real(end)}});
    scene.bytes = FileBytes({{"chunks", chunks}}, name);
    scene.objects = joints.size();
    scene.end = float(end);
    result.scenes.push_back(std::move(scene));
  }
  for (const auto& mesh : model.meshes)
    for (const auto& prim : mesh.primitives) morphs += prim.targets.empty() ? 0 : 1;
  if (meshes + cameras + morphs + ignored > 0)
    result.notes.push_back("ignored: " + std::to_string(meshes) + " meshes, " +
                           std::to_string(cameras) + " cameras, " + std::to_string(morphs) +
                           " morph targets and weight channels, " + std::to_string(ignored) +
                           " channels of nodes that are not joints");
  return result;
}

std::string WriteImport(const SImport& import, const std::string& hierarchyPath,
                        const std::string& scenePath) {
  CAtomicFiles files;
  files.Add(hierarchyPath, import.hierarchy);
  std::string report = hierarchyPath + ": " + std::to_string(import.nodes) + " nodes\n";
  const size_t dot = scenePath.rfind('.');
  const bool hasExtension =
      dot != std::string::npos && scenePath.find('/', dot) == std::string::npos;
  for (size_t k = 0; k < import.scenes.size(); ++k) {
    const SImportedScene& scene = import.scenes[k];
    const std::string path = k == 0 ? scenePath
                                    : (hasExtension ? scenePath.substr(0, dot) : scenePath) + "_" +
                                          std::to_string(k) +
                                          (hasExtension ? scenePath.substr(dot) : "");
    files.Add(path, scene.bytes);
    report += path + ": animation \"" + scene.animationName + "\", " +
              std::to_string(scene.objects) + " objects, 0 to " + std::to_string(scene.end) +
              " s\n";
  }
  files.Commit();
  return report;
}

}  // namespace zk_gltf
