#include "AnimationRecorder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace zk_gltf {
namespace {

// The most frames a key may stand for while a channel moves: each new frame is checked against
// every frame since the last key, so this bounds the work per frame. A channel at rest (every
// frame within half the tolerance of its last key) is not bounded.
constexpr std::size_t kMostFramesChecked = 16;

struct SSample {
  double time = 0;
  double v[4] = {0, 0, 0, 0};
};

double Dot4(const double* a, const double* b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

// The spherical interpolation a glTF player makes, the short way round.
void Slerp(const double* a, const double* bIn, double u, double* out) {
  double b[4] = {bIn[0], bIn[1], bIn[2], bIn[3]};
  double d = Dot4(a, b);
  if (d < 0) {
    for (double& c : b) c = -c;
    d = -d;
  }
  double wa = 1 - u, wb = u;
  if (d < 1 - 1e-12) {
    const double theta = std::acos(d), s = std::sin(theta);
    wa = std::sin((1 - u) * theta) / s;
    wb = std::sin(u * theta) / s;
  }
  double norm = 0;
  for (int c = 0; c < 4; ++c) {
    out[c] = wa * a[c] + wb * b[c];
    norm += out[c] * out[c];
  }
  norm = std::sqrt(norm);
  for (int c = 0; c < 4; ++c) out[c] /= norm;
}

// The longest of a transform's basis rows: how much it scales at most.
double LargestScale(const SAffine& m) {
  double largest = 0;
  for (int row = 0; row < 3; ++row) {
    const double* r = m.m + 4 * row;
    largest = std::max(largest, std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]));
  }
  return largest;
}

}  // namespace

// One channel's keys as frames come: the last key (the anchor) and the frames since.
class CAnimationRecorder::CChannel {
 public:
  CChannel(int width, double tolerance, bool reduce)
      : m_width(width),
        m_reduce(reduce),
        // A rotation's tolerance is an angle; two unit quaternions whose rotations are θ apart
        // lie 2·sin(θ/4) apart.
        m_tolerance(width == 4 ? 2 * std::sin(tolerance / 4) : tolerance) {}

  // Before the first frame: a translation's tolerance in the units of the node's parent.
  void SetTolerance(double tolerance) { m_tolerance = tolerance; }

  void Add(double time, const double* value) {
    SSample s;
    s.time = time;
    std::copy(value, value + m_width, s.v);
    if (!m_reduce || !m_started) {
      Key(s, !m_reduce);
      m_anchor = s;
      m_started = true;
      return;
    }
    if (m_flat) {
      if (Distance(m_anchor, s) <= m_tolerance / 2) {
        m_window.assign(1, s);  // a resting segment only needs its end
        return;
      }
      m_flat = false;
      if (!m_window.empty()) {
        Restart(s);
        return;
      }
      m_window.assign(1, s);
      return;
    }
    bool fits = m_window.size() < kMostFramesChecked;
    for (std::size_t k = 0; fits && k < m_window.size(); ++k)
      fits = Deviation(m_anchor, s, m_window[k]) <= m_tolerance;
    if (fits)
      m_window.push_back(s);
    else
      Restart(s);
  }

  SKeyedChannel Finish() {
    if (!m_window.empty()) Key(m_window.back(), false);
    m_window.clear();
    return std::move(m_keys);
  }

 private:
  // The segment ends at the last frame before s, which becomes the next key.
  void Restart(const SSample& s) {
    m_anchor = m_window.back();
    Key(m_anchor, false);
    m_window.assign(1, s);
    m_flat = Distance(m_anchor, s) <= m_tolerance / 2;
  }

  void Key(const SSample& s, bool everyFrame) {
    if (!everyFrame) m_keys.times.push_back(static_cast<float>(s.time));
    for (int c = 0; c < m_width; ++c) m_keys.values.push_back(static_cast<float>(s.v[c]));
  }

  double Distance(const SSample& a, const SSample& b) const {
    const double sign = m_width == 4 && Dot4(a.v, b.v) < 0 ? -1 : 1;
    double sum = 0;
    for (int c = 0; c < m_width; ++c) sum += (a.v[c] - sign * b.v[c]) * (a.v[c] - sign * b.v[c]);
    return std::sqrt(sum);
  }

  // How far p lies from what a player interpolates between keys a and b at p's time.
  double Deviation(const SSample& a, const SSample& b, const SSample& p) const {
    const double u = (p.time - a.time) / (b.time - a.time);
    SSample at;
    if (m_width == 4) {
      Slerp(a.v, b.v, u, at.v);
    } else {
      for (int c = 0; c < m_width; ++c) at.v[c] = a.v[c] + (b.v[c] - a.v[c]) * u;
    }
    return Distance(at, p);
  }

  int m_width;
  bool m_reduce;
  double m_tolerance;
  bool m_started = false;
  bool m_flat = true;
  SSample m_anchor;
  std::vector<SSample> m_window;  // the frames since the anchor; the last ends the segment
  SKeyedChannel m_keys;
};

CAnimationRecorder::CAnimationRecorder(std::vector<zk_play::SNodeInfo> nodes, const SFrame& frame,
                                       const SReduction& reduction)
    : m_frame(frame), m_reduction(reduction) {
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].parent < -1 || nodes[i].parent >= static_cast<int>(i))
      throw std::invalid_argument("node " + std::to_string(i) + " (\"" + nodes[i].name +
                                  "\") names parent " + std::to_string(nodes[i].parent) +
                                  ", which is not an earlier node");
  const bool reduce = reduction.enabled;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    m_channels.emplace_back(3, reduction.translation, reduce);
    m_channels.emplace_back(4, reduction.rotation, reduce);
    m_channels.emplace_back(3, reduction.scale, reduce);
  }
  m_animation.channels.resize(nodes.size());
  m_animation.nodes = std::move(nodes);
  m_worlds.resize(m_animation.nodes.size());
  m_last.resize(m_animation.nodes.size());
}

CAnimationRecorder::~CAnimationRecorder() = default;

void CAnimationRecorder::AddFrame(float time, const Matrix* worlds) {
  const std::size_t f = m_animation.frames;
  const auto fail = [f](const std::string& what) {
    throw std::runtime_error("frame " + std::to_string(f) + ": " + what);
  };
  if (!std::isfinite(time) || (f > 0 && !(time > m_animation.lastTime)))
    fail("time " + std::to_string(time) + " is not after the one before it");
  const std::vector<zk_play::SNodeInfo>& nodes = m_animation.nodes;
  for (std::size_t i = 0; i < nodes.size(); ++i)
    for (float v : worlds[i].m)
      if (!std::isfinite(v)) fail("node \"" + nodes[i].name + "\": the matrix is not finite");
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    m_worlds[i] = LibraryToGltf(ToAffine(worlds[i]), m_frame);
    SAffine local = m_worlds[i];
    if (nodes[i].parent >= 0) {
      SAffine inverse;
      if (!InvertAffine(m_worlds[static_cast<std::size_t>(nodes[i].parent)], &inverse))
        fail("node \"" + nodes[static_cast<std::size_t>(nodes[i].parent)].name +
             "\" has a singular world matrix, so its children have no local transform");
      local = Multiply(local, inverse);
    }
    STrs trs = Decompose(local);
    // Consecutive rotations keep the sign nearest each other, so that every key takes the short
    // way to the next.
    if (f > 0 && Dot4(m_last[i].rotation, trs.rotation) < 0)
      for (double& c : trs.rotation) c = -c;
    SKeyedNode& node = m_animation.channels[i];
    if (f == 0) {
      node.first = trs;
      // The translation's tolerance holds in the world: a parent that scales its children (the
      // people's millimetres under their character's 0.001) scales the error of their keys.
      if (nodes[i].parent >= 0) {
        const double scale = LargestScale(m_worlds[static_cast<std::size_t>(nodes[i].parent)]);
        if (scale > 0) m_channels[3 * i].SetTolerance(m_reduction.translation / scale);
      }
    }
    for (double s : trs.scale) node.scaled = node.scaled || std::fabs(s - 1) > 1e-6;
    m_channels[3 * i].Add(time, trs.translation);
    m_channels[3 * i + 1].Add(time, trs.rotation);
    m_channels[3 * i + 2].Add(time, trs.scale);
    m_last[i] = trs;
  }
  if (!m_reduction.enabled) m_animation.frameTimes.push_back(time);
  m_animation.lastTime = time;
  ++m_animation.frames;
}

SKeyedAnimation CAnimationRecorder::Finish() {
  if (m_animation.frames == 0) throw std::runtime_error("the recording has no frame");
  for (std::size_t i = 0; i < m_animation.nodes.size(); ++i) {
    SKeyedNode& node = m_animation.channels[i];
    node.translation = m_channels[3 * i].Finish();
    node.rotation = m_channels[3 * i + 1].Finish();
    node.scale = m_channels[3 * i + 2].Finish();
  }
  return std::move(m_animation);
}

}  // namespace zk_gltf
