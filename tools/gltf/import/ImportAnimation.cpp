#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "ImportSteps.h"
#include "SceneSource.h"

namespace zk_gltf::importing {
namespace {

// ---- Reading accessors, every offset checked -------------------------------------------------

// One component at p, normalised integers turned into [-1, 1] or [0, 1].
double Component(int componentType, const unsigned char* p) {
  switch (componentType) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT: {
      float f;
      std::memcpy(&f, p, 4);
      return f;
    }
    case TINYGLTF_COMPONENT_TYPE_BYTE:
      return std::max(static_cast<int8_t>(*p) / 127.0, -1.0);
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
      return *p / 255.0;
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
      int16_t s;
      std::memcpy(&s, p, 2);
      return std::max(s / 32767.0, -1.0);
    }
    default: {
      uint16_t s;
      std::memcpy(&s, p, 2);
      return s / 65535.0;
    }
  }
}

}  // namespace

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
      const double v = Component(a.componentType, p);
      if (!std::isfinite(v)) Fail(name, where, "element " + std::to_string(i) + " is not finite");
      out[i * width + c] = v;
    }
  return out;
}

namespace {

// ---- Values: glTF's frame to the library's, and the nodes folded into a joint ---------------

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

// A sampler's keys and values, read in glTF's frame and converted on the way out.
struct SSampler {
  const std::vector<double>& times;
  const std::vector<double>& values;
  EPath path;
  const CConverter& conv;

  size_t Width() const { return path == EPath::Rotation ? 4 : 3; }
  Vec4 Convert(const double* v) const {
    return path == EPath::Translation ? conv.Translation(v)
           : path == EPath::Rotation  ? conv.Rotation(v)
                                      : conv.Scale(v);
  }
  // Cubic: element 3i is the in-tangent, 3i+1 the value, 3i+2 the out-tangent of key i.
  const double* Value(size_t i) const { return &values[(3 * i + 1) * Width()]; }
  const double* InTangent(size_t i) const { return &values[(3 * i) * Width()]; }
  const double* OutTangent(size_t i) const { return &values[(3 * i + 2) * Width()]; }

  // The Hermite curve of segment i at fraction s, in glTF's frame, then converted.
  Vec4 Curve(size_t i, double s) const {
    const double dt = times[i + 1] - times[i];
    const double s2 = s * s, s3 = s2 * s;
    const double h00 = 2 * s3 - 3 * s2 + 1, h10 = s3 - 2 * s2 + s, h01 = -2 * s3 + 3 * s2,
                 h11 = s3 - s2;
    double v[4];
    for (size_t c = 0; c < Width(); ++c)
      v[c] = h00 * Value(i)[c] + h10 * dt * OutTangent(i)[c] + h01 * Value(i + 1)[c] +
             h11 * dt * InTangent(i + 1)[c];
    return Convert(v);
  }

  // The straight piece from a to b at u, as the library plays two linear keys.
  Vec4 Lerp(const Vec4& a, const Vec4& b, double u) const {
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
  }
};

// LINEAR keys as they are; STEP keys each held by a second key one float step before the next.
STrack LinearTrack(const SSampler& s, bool step) {
  STrack track;
  for (size_t i = 0; i < s.times.size(); ++i) {
    const Vec4 v = s.Convert(&s.values[i * s.Width()]);
    if (step && i > 0) {
      const float held = NextBelow(float(s.times[i]));
      if (held > track.keys.back().time) track.keys.push_back({held, track.keys.back().value});
    }
    track.keys.push_back({float(s.times[i]), v});
  }
  return track;
}

// One Bezier segment from the track's last key to a key at t1. The library draws a segment as 32
// straight pieces, off by up to max|P0 − 2P1 + P2, P1 − 2P2 + P3|·6/8/31²; a segment is halved
// (de Casteljau, which keeps it exact) until that is within `tolerance`.
void AddBezierPiece(STrack& track, float t0, float t1, const std::array<Vec4, 4>& P, int depth,
                    double tolerance) {
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
  AddBezierPiece(track, t0, tm, left, depth + 1, tolerance);
  AddBezierPiece(track, tm, t1, right, depth + 1, tolerance);
}

// Each Hermite segment as a Bezier segment: P1 = P0 + Δt·out/3, P2 = P3 − Δt·in/3, its time
// running linearly (time controls at a third and two thirds).
STrack BezierTranslationTrack(const SSampler& s, double tolerance) {
  STrack track;
  track.bezier = true;
  track.keys.push_back({float(s.times[0]), s.Convert(s.Value(0))});
  for (size_t i = 0; i + 1 < s.times.size(); ++i) {
    const double dt = s.times[i + 1] - s.times[i];
    const Vec4 b = s.conv.Translation(s.OutTangent(i), false);
    const Vec4 a = s.conv.Translation(s.InTangent(i + 1), false);
    std::array<Vec4, 4> P = {track.keys.back().value, {}, {}, s.Convert(s.Value(i + 1))};
    for (int c = 0; c < 3; ++c) {
      P[1][c] = P[0][c] + b[c] * dt / 3;
      P[2][c] = P[3][c] - a[c] * dt / 3;
    }
    AddBezierPiece(track, float(s.times[i]), float(s.times[i + 1]), P, 0, tolerance);
  }
  return track;
}

// Halves a piece of segment i until its middle and quarter points lie within 1e-6 of the curve.
void Refine(const SSampler& s, STrack& track, size_t i, double s0, double s1, const Vec4& v0,
            const Vec4& v1, int depth) {
  double err = 0;
  for (double u : {0.25, 0.5, 0.75}) {
    const Vec4 c = s.Curve(i, s0 + (s1 - s0) * u), l = s.Lerp(v0, v1, u);
    for (int k = 0; k < 4; ++k) err = std::max(err, std::fabs(c[k] - l[k]));
  }
  const double sm = (s0 + s1) / 2;
  const float tm = float(s.times[i] + (s.times[i + 1] - s.times[i]) * sm);
  if (err <= 1e-6 || depth >= 10 || !(tm > track.keys.back().time)) {
    track.keys.push_back({float(s.times[i] + (s.times[i + 1] - s.times[i]) * s1), v1});
    return;
  }
  const Vec4 vm = s.Curve(i, sm);
  Refine(s, track, i, s0, sm, v0, vm, depth + 1);
  Refine(s, track, i, sm, s1, vm, v1, depth + 1);
}

// A cubic rotation or scale as linear keys along the curve.
STrack ResampledTrack(const SSampler& s) {
  STrack track;
  track.keys.push_back({float(s.times[0]), s.Convert(s.Value(0))});
  for (size_t i = 0; i + 1 < s.times.size(); ++i) {
    const Vec4 v1 = s.Convert(s.Value(i + 1));
    Refine(s, track, i, 0, 1, track.keys.back().value, v1, 0);
    track.keys.back().time = float(s.times[i + 1]);
  }
  return track;
}

// A glTF sampler's keys in the library's frame: LINEAR as they are, STEP with holding keys,
// CUBICSPLINE as Bezier keys (translation) or resampled linear keys (rotation, scale).
STrack TrackFromSampler(const SSampler& s, const std::string& interpolation, double tolerance) {
  if (interpolation != "CUBICSPLINE") return LinearTrack(s, interpolation == "STEP");
  if (s.path == EPath::Translation) return BezierTranslationTrack(s, tolerance);
  return ResampledTrack(s);
}

// A track of a looping scene spans the whole animation, 0 to end, holding its first and last
// values out to them, so that every track repeats with the animation's period.
void SpanAnimation(STrack& track, double end) {
  if (track.keys.front().time > 0)
    track.keys.insert(track.keys.begin(), {0, track.keys.front().value});
  if (track.keys.back().time < float(end))
    track.keys.push_back({float(end), track.keys.back().value});
}

Json TrackJson(const STrack& track, EPath path, bool loop) {
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
  const char* outside = loop ? "loop" : "hold";
  return {{"keyType", type}, {"before", outside}, {"after", outside}, {"keys", keys}};
}

// Each joint's track per path (translation, rotation, scale), and whether a channel gave it.
struct SJointTracks {
  std::array<STrack, 3> tracks;
  std::array<bool, 3> animated{false, false, false};
};

EPath PathOf(const tinygltf::AnimationChannel& ch, const std::string& name,
             const std::string& where) {
  if (ch.target_path == "translation") return EPath::Translation;
  if (ch.target_path == "rotation") return EPath::Rotation;
  if (ch.target_path == "scale") return EPath::Scale;
  Fail(name, where + ".target.path", "\"" + Excerpt(ch.target_path) + "\" is not a transform path");
}

// The channels of an animation as tracks of the joints; returns the time of its last key.
double ReadChannels(const tinygltf::Model& model, const SSkeleton& skeleton, size_t a,
                    const SImportOptions& options, const std::string& name, SIgnored& ignored,
                    std::vector<SJointTracks>& joints) {
  const size_t n = model.nodes.size();
  const tinygltf::Animation& anim = model.animations[a];
  double end = 0;
  for (size_t c = 0; c < anim.channels.size(); ++c) {
    const tinygltf::AnimationChannel& ch = anim.channels[c];
    const std::string where = At("animations", a) + At(".channels", c);
    if (ch.sampler < 0 || size_t(ch.sampler) >= anim.samplers.size())
      Fail(name, where + ".sampler", "sampler " + std::to_string(ch.sampler) + " does not exist");
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
      ++ignored.morphs;
      continue;
    }
    const int j = skeleton.jointOf[ch.target_node];
    if (j < 0) {
      ++ignored.channels;
      continue;
    }
    const EPath path = PathOf(ch, name, where);
    const bool cubic = s.interpolation == "CUBICSPLINE";
    if (!cubic && s.interpolation != "LINEAR" && s.interpolation != "STEP")
      Fail(name, samplerAt + ".interpolation", "\"" + Excerpt(s.interpolation) + "\" is unknown");
    const std::vector<double> values = ReadAccessor(
        model, s.output, path == EPath::Rotation ? TINYGLTF_TYPE_VEC4 : TINYGLTF_TYPE_VEC3,
        path == EPath::Rotation, name, samplerAt + ".output");
    const size_t width = path == EPath::Rotation ? 4 : 3;
    if (values.size() != times.size() * width * (cubic ? 3 : 1))
      Fail(name, samplerAt + ".output",
           std::to_string(values.size() / width) + " values for " + std::to_string(times.size()) +
               " keys" + (cubic ? " (a cubic spline needs three per key)" : ""));
    const CConverter conv(options.frame, skeleton.folds[j]);
    joints[j].tracks[int(path)] = TrackFromSampler({times, values, path, conv}, s.interpolation,
                                                   1e-6 / options.frame.metresPerUnit);
    joints[j].animated[int(path)] = true;
  }
  return end;
}

// The scene's chunks: a "<joint>::PRS" object per joint (its own values where no channel moves
// it), the range 0 to end, and the source animation's name and the source file's path
// (SceneSource.h) where known.
Json SceneJson(const tinygltf::Model& model, const SSkeleton& skeleton,
               const SImportOptions& options, std::vector<SJointTracks>& joints, double end,
               const std::string& sourceName) {
  Json chunks = Json::array();
  for (size_t j = 0; j < skeleton.joints.size(); ++j) {
    const STrs own = NodeTrs(model.nodes[skeleton.joints[j]]);
    const CConverter conv(options.frame, skeleton.folds[j]);
    std::array<STrack, 3>& tracks = joints[j].tracks;
    if (!joints[j].animated[0]) tracks[0].keys = {{0, conv.Translation(own.translation)}};
    if (!joints[j].animated[1]) tracks[1].keys = {{0, conv.Rotation(own.rotation)}};
    if (!joints[j].animated[2]) tracks[2].keys = {{0, conv.Scale(own.scale)}};
    for (int p = 0; p < 3 && options.loop; ++p)
      if (joints[j].animated[p]) SpanAnimation(tracks[p], end);
    const bool loop = options.loop;
    chunks.push_back(
        {{"type", "object"},
         {"name", NameJson(skeleton.names[j] + "::PRS")},
         {"controller",
          {{"type", "prs"},
           {"position",
            {{"type", "positionVector"},
             {"track", TrackJson(tracks[0], EPath::Translation, loop)}}},
           {"rotation",
            {{"type", "rotationQuaternion"},
             {"track", TrackJson(tracks[1], EPath::Rotation, loop)}}},
           {"scale", {{"type", "scale"}, {"track", TrackJson(tracks[2], EPath::Scale, loop)}}}}}});
  }
  chunks.push_back({{"type", "range"}, {"start", 0.0}, {"end", Real(end)}});
  auto addText = [&](const std::string& text, uint32_t subclass) {
    if (text.empty()) return;
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : text) hex += {kDigits[c >> 4], kDigits[c & 15]};
    chunks.push_back(
        {{"type", "chunk"}, {"class", kSourceNameClass}, {"subclass", subclass}, {"bytes", hex}});
  };
  addText(sourceName, kSourceNameSubclass);
  addText(options.sourcePath, kSourceFileSubclass);
  return {{"chunks", chunks}};
}

}  // namespace

Vec4 CConverter::Translation(const double* v, bool offset) const {
  double r[3];
  Rotate(m_fold.q, v, r);
  for (int c = 0; c < 3; ++c) r[c] = r[c] * m_fold.k + (offset ? m_fold.t[c] : 0.0);
  return Axes(r, 1.0 / m_frame.metresPerUnit, -1);
}

Vec4 CConverter::Rotation(const double* v) const {
  const Vec4 q = Hamilton(m_fold.q, {v[0], v[1], v[2], v[3]});
  Vec4 r = Axes(q.data(), 1.0, -1);
  r[3] = q[3];
  const double n = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
  for (double& c : r) c = n > 0 ? c / n : c;
  if (n == 0) r[3] = 1;
  return r;
}

Vec4 CConverter::Scale(const double* v) const {
  const double s[3] = {v[0] * m_fold.k, v[1] * m_fold.k, v[2] * m_fold.k};
  return Axes(s, 1.0, 1);
}

Vec4 CConverter::Axes(const double* v, double scale, int sign) const {
  if (!m_frame.zUp) return {v[0] * scale, v[1] * scale, v[2] * scale, 0};
  return {v[0] * scale, sign * v[2] * scale, v[1] * scale, 0};
}

SImportedScene ImportScene(const tinygltf::Model& model, const SSkeleton& skeleton,
                           size_t animation, const SImportOptions& options, const std::string& name,
                           SIgnored& ignored) {
  std::vector<SJointTracks> joints(skeleton.joints.size());
  double end = 0;
  SImportedScene scene;
  std::string sourceName;
  if (animation != SIZE_MAX) {
    sourceName = model.animations[animation].name;
    scene.animationName = sourceName.empty() ? "animation" + std::to_string(animation) : sourceName;
    end = ReadChannels(model, skeleton, animation, options, name, ignored, joints);
  } else {
    scene.animationName = "rest";
  }
  scene.bytes = FileBytes(SceneJson(model, skeleton, options, joints, end, sourceName), name);
  scene.objects = skeleton.joints.size();
  scene.end = float(end);
  return scene;
}

}  // namespace zk_gltf::importing
