#include "BodyBuilder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>

#include "GltfFrame.h"

namespace zk_gltf {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBoneKind = 2;

struct V {
  double x = 0, y = 0, z = 0;
};
V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V operator*(V a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V Cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(V a) { return std::sqrt(Dot(a, a)); }
V Unit(V a, V fallback = {0, 1, 0}) {
  const double l = Length(a);
  return l > 1e-12 ? a * (1 / l) : fallback;
}
V Lerp(V a, V b, double t) { return a + (b - a) * t; }
double Lerp(double a, double b, double t) { return a + (b - a) * t; }
double Smooth(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Row-form transforms: p' = p·M.
V Apply(const SAffine& m, V p) {
  return {p.x * m.m[0] + p.y * m.m[4] + p.z * m.m[8] + m.m[12],
          p.x * m.m[1] + p.y * m.m[5] + p.z * m.m[9] + m.m[13],
          p.x * m.m[2] + p.y * m.m[6] + p.z * m.m[10] + m.m[14]};
}
V Origin(const SAffine& m) { return {m.m[12], m.m[13], m.m[14]}; }
V Axis(const SAffine& m, int row) {
  return Unit({m.m[4 * row], m.m[4 * row + 1], m.m[4 * row + 2]});
}

// A unit vector across `axis`, as close to `hint` as can be.
V Across(V axis, V hint) {
  V side = hint - axis * Dot(hint, axis);
  if (Length(side) < 1e-6) side = Cross(axis, std::fabs(axis.y) < 0.9 ? V{0, 1, 0} : V{1, 0, 0});
  return Unit(side);
}

// Joints and weights of one vertex: up to four (joint, weight) pairs.
using SInfluence = std::vector<std::pair<int, double>>;

// One primitive, grown shape by shape. Positions are given in the world of the first frame and
// stored as `toLocal` carries them; each shape's normals come from its own faces.
class CPart {
 public:
  CPart(int material, const SAffine& toLocal, bool skinned)
      : m_toLocal(toLocal), m_skinned(skinned) {
    m_part.material = material;
  }

  // A closed surface: rings of points (each ring a loop), with an optional point closing each
  // end, or with the rings themselves closing into a loop (a torus). influence(p) weights a
  // vertex of a skinned part.
  void Grid(const std::vector<std::vector<V>>& rings, const V* first, const V* last, bool loop,
            const std::function<SInfluence(V)>& influence) {
    const std::size_t firstTriangle = m_part.indices.size();
    const uint32_t around = static_cast<uint32_t>(rings[0].size());
    auto add = [&](V p) {
      m_points.push_back(Apply(m_toLocal, p));
      if (m_skinned) AddInfluence(influence(p));
      return static_cast<uint32_t>(m_points.size() - 1);
    };
    const uint32_t start = first != nullptr ? add(*first) : 0;
    const uint32_t ringBase = static_cast<uint32_t>(m_points.size());
    for (const auto& ring : rings)
      for (const V& p : ring) add(p);
    const uint32_t end = last != nullptr ? add(*last) : 0;
    const uint32_t count = static_cast<uint32_t>(rings.size());
    auto at = [&](uint32_t r, uint32_t k) { return ringBase + (r % count) * around + k % around; };
    for (uint32_t r = 0; r + (loop ? 0 : 1) < count; ++r)
      for (uint32_t k = 0; k < around; ++k)
        Quad(at(r, k), at(r, k + 1), at(r + 1, k + 1), at(r + 1, k));
    for (uint32_t k = 0; first != nullptr && k < around; ++k)
      Triangle(start, at(0, k + 1), at(0, k));
    for (uint32_t k = 0; last != nullptr && k < around; ++k)
      Triangle(end, at(count - 1, k), at(count - 1, k + 1));
    Finish(firstTriangle);
  }

  SBodyPart Take() {
    for (std::size_t i = 0; i < m_points.size(); ++i) {
      const V n = Unit(m_normals[i]);
      for (double v : {m_points[i].x, m_points[i].y, m_points[i].z})
        m_part.positions.push_back(static_cast<float>(v));
      for (double v : {n.x, n.y, n.z}) m_part.normals.push_back(static_cast<float>(v));
    }
    return std::move(m_part);
  }
  bool Empty() const { return m_points.empty(); }

 private:
  void Quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    Triangle(a, b, c);
    Triangle(a, c, d);
  }
  void Triangle(uint32_t a, uint32_t b, uint32_t c) {
    for (uint32_t i : {a, b, c}) m_part.indices.push_back(i);
  }

  // Outward faces (a positive enclosed volume), then each vertex's normal from its faces.
  void Finish(std::size_t firstTriangle) {
    std::vector<uint32_t>& idx = m_part.indices;
    double volume = 0;
    for (std::size_t t = firstTriangle; t < idx.size(); t += 3)
      volume += Dot(m_points[idx[t]], Cross(m_points[idx[t + 1]], m_points[idx[t + 2]]));
    if (volume < 0)
      for (std::size_t t = firstTriangle; t < idx.size(); t += 3) std::swap(idx[t + 1], idx[t + 2]);
    m_normals.resize(m_points.size());
    for (std::size_t t = firstTriangle; t < idx.size(); t += 3) {
      const V& a = m_points[idx[t]];
      const V n = Cross(m_points[idx[t + 1]] - a, m_points[idx[t + 2]] - a);
      for (int k = 0; k < 3; ++k) m_normals[idx[t + k]] = m_normals[idx[t + k]] + n;
    }
  }

  // Weights in 255ths that sum to 255 exactly, heaviest first; unused slots weigh nothing.
  void AddInfluence(SInfluence influence) {
    std::stable_sort(influence.begin(), influence.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    influence.resize(std::min<std::size_t>(influence.size(), 4));
    double total = 0;
    for (const auto& [joint, w] : influence) total += w;
    int left = 255;
    uint16_t joints[4] = {0, 0, 0, 0};
    uint8_t weights[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < influence.size(); ++i) {
      const int w =
          i + 1 == influence.size()
              ? left
              : std::min(left, static_cast<int>(std::lround(255 * influence[i].second / total)));
      // A slot rounded to nothing names no joint.
      joints[i] = static_cast<uint16_t>(w > 0 ? influence[i].first : 0);
      weights[i] = static_cast<uint8_t>(w);
      left -= w;
    }
    m_part.joints.insert(m_part.joints.end(), joints, joints + 4);
    m_part.weights.insert(m_part.weights.end(), weights, weights + 4);
  }

  SAffine m_toLocal;
  bool m_skinned;
  SBodyPart m_part;
  std::vector<V> m_points, m_normals;
};

// A tapered capsule from a to b: radius ra and rb across `side`, `depth` times that across the
// other way, its end caps reaching capA·ra and capB·rb beyond a and b.
struct SCapsule {
  V a, b, side;
  double ra = 0, rb = 0, depth = 1, capA = 1, capB = 1;
  int around = 12, capRings = 3;
  std::vector<double> along = {0, 0.15, 0.3, 0.5, 0.7, 0.85, 1};
};

void AddCapsule(CPart& part, const SCapsule& c, const std::function<SInfluence(V)>& influence) {
  const V axis = Unit(c.b - c.a);
  const V u = Across(axis, c.side), w = Cross(axis, u);
  auto ring = [&](V centre, double r) {
    std::vector<V> points;
    for (int k = 0; k < c.around; ++k) {
      const double phi = 2 * kPi * k / c.around;
      points.push_back(centre + u * (r * std::cos(phi)) + w * (r * c.depth * std::sin(phi)));
    }
    return points;
  };
  std::vector<std::vector<V>> rings;
  for (int i = 1; i <= c.capRings; ++i) {
    const double angle = kPi / 2 * i / (c.capRings + 1);
    rings.push_back(ring(c.a - axis * (c.capA * c.ra * std::cos(angle)), c.ra * std::sin(angle)));
  }
  for (double s : c.along) rings.push_back(ring(Lerp(c.a, c.b, s), Lerp(c.ra, c.rb, s)));
  for (int i = c.capRings; i >= 1; --i) {
    const double angle = kPi / 2 * i / (c.capRings + 1);
    rings.push_back(ring(c.b + axis * (c.capB * c.rb * std::cos(angle)), c.rb * std::sin(angle)));
  }
  const V first = c.a - axis * (c.capA * c.ra), last = c.b + axis * (c.capB * c.rb);
  part.Grid(rings, &first, &last, false, influence);
}

std::vector<SAffine> FirstWorlds(const SKeyedAnimation& animation) {
  std::vector<SAffine> worlds(animation.nodes.size());
  for (std::size_t i = 0; i < worlds.size(); ++i) {
    const SAffine local = Compose(animation.channels[i].first);
    const int parent = animation.nodes[i].parent;
    worlds[i] = parent < 0 ? local : Multiply(local, worlds[static_cast<std::size_t>(parent)]);
  }
  return worlds;
}

// A node's own name: after the character's "<name>/", lower case.
std::string OwnName(const std::string& name) {
  std::string own = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
  for (char& ch : own) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return own;
}

// ---- People -----------------------------------------------------------------------------------

enum class ERole {
  kOther,
  kTorso,
  kNeck,
  kHead,
  kJaw,
  kClavicle,
  kUpperArm,
  kForearm,
  kHand,
  kFinger,
  kThumb,
  kThigh,
  kCalf,
  kFoot,
  kToe
};

// The role of a bone of the library's skeletons, read from its name ("B_upper arm L").
ERole RoleOf(std::string own) {
  if (own.rfind("b_", 0) == 0) own = own.substr(2);
  if (own.size() > 2 && own[own.size() - 2] == ' ') own.resize(own.size() - 2);
  auto starts = [&](const char* prefix) { return own.rfind(prefix, 0) == 0; };
  if (starts("pelvis") || starts("spine")) return ERole::kTorso;
  if (starts("neck")) return ERole::kNeck;
  if (starts("head") || own == "skull") return ERole::kHead;
  if (starts("jaw")) return ERole::kJaw;
  if (starts("clavicle")) return ERole::kClavicle;
  if (starts("upper arm")) return ERole::kUpperArm;
  if (starts("lower arm") || starts("hand rotation")) return ERole::kForearm;
  if (starts("hand")) return ERole::kHand;
  if (starts("thumb")) return ERole::kThumb;
  for (const char* finger : {"index", "middle", "ring", "little"})
    if (starts(finger)) return ERole::kFinger;
  if (starts("thigh")) return ERole::kThigh;
  if (starts("calf")) return ERole::kCalf;
  if (starts("foot")) return ERole::kFoot;
  if (starts("toe")) return ERole::kToe;
  return ERole::kOther;
}

struct SBone {
  std::size_t node;
  int parent = -1;  // the nearest bone above, as an index into the bones
  std::vector<int> children;
  ERole role;
  char side;  // 'L', 'R' or 0
  V at;
  double parentLength = 0;  // the distance to the parent bone
};

class CHumanBuilder {
 public:
  CHumanBuilder(const std::vector<SAffine>& worlds, const SBodySource& source,
                const std::vector<int>& kinds, const SKeyedAnimation& animation)
      : m_part(0, SAffine{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}, true) {
    std::map<std::size_t, int> boneOf;
    for (std::size_t n = source.first; n < source.first + source.count; ++n) {
      if (n >= kinds.size() || kinds[n] != kBoneKind) continue;
      SBone bone;
      bone.node = n;
      const std::string& name = animation.nodes[n].name;
      bone.role = RoleOf(OwnName(name));
      bone.side = name.size() > 2 && name[name.size() - 2] == ' ' ? name.back() : 0;
      bone.at = Origin(worlds[n]);
      for (int p = animation.nodes[n].parent; p >= 0; p = animation.nodes[p].parent)
        if (boneOf.count(static_cast<std::size_t>(p))) {
          bone.parent = boneOf[static_cast<std::size_t>(p)];
          break;
        }
      boneOf[n] = static_cast<int>(m_bones.size());
      if (bone.parent >= 0) {
        bone.parentLength = Length(bone.at - m_bones[bone.parent].at);
        m_bones[bone.parent].children.push_back(static_cast<int>(m_bones.size()));
      }
      m_bones.push_back(bone);
    }
    Measure();
  }

  bool Empty() const { return m_bones.empty(); }

  SBodyMesh Build(const std::vector<SAffine>& worlds, const std::string& name, int material) {
    for (std::size_t b = 0; b < m_bones.size(); ++b) Shapes(static_cast<int>(b));
    SBodyMesh mesh;
    mesh.name = name + " body";
    SBodyPart part = m_part.Take();
    part.material = material;
    mesh.parts.push_back(std::move(part));
    for (const SBone& bone : m_bones) {
      mesh.joints.push_back(bone.node);
      SAffine inverse;
      if (!InvertAffine(worlds[bone.node], &inverse)) inverse = SAffine{};
      for (double v : inverse.m) mesh.inverseBindMatrices.push_back(static_cast<float>(v));
    }
    return mesh;
  }

 private:
  int Find(ERole role, char side) const {
    for (std::size_t b = 0; b < m_bones.size(); ++b)
      if (m_bones[b].role == role && m_bones[b].side == side) return static_cast<int>(b);
    return -1;
  }

  // The spans and lengths the sizes follow.
  void Measure() {
    double torso = 0;
    for (const SBone& b : m_bones)
      if ((b.role == ERole::kTorso || b.role == ERole::kNeck) && b.parent >= 0 &&
          m_bones[b.parent].role == ERole::kTorso)
        torso += b.parentLength;
    if (torso <= 0)
      for (const SBone& b : m_bones) torso = std::max(torso, 2 * b.parentLength);
    m_torsoLength = torso;
    const int hipL = Find(ERole::kThigh, 'L'), hipR = Find(ERole::kThigh, 'R');
    const int armL = Find(ERole::kUpperArm, 'L'), armR = Find(ERole::kUpperArm, 'R');
    m_hipSpan = hipL >= 0 && hipR >= 0 ? Length(m_bones[hipL].at - m_bones[hipR].at) : 0.35 * torso;
    m_shoulderSpan =
        armL >= 0 && armR >= 0 ? Length(m_bones[armL].at - m_bones[armR].at) : 0.7 * torso;
    m_hipSide = hipL >= 0 && hipR >= 0 ? Unit(m_bones[hipL].at - m_bones[hipR].at) : V{1, 0, 0};
    m_shoulderSide = armL >= 0 && armR >= 0 ? Unit(m_bones[armL].at - m_bones[armR].at) : m_hipSide;
  }

  // The torso's half width at a height: the hips, a waist, the chest, narrowing to the neck.
  double TorsoRadius(double f) const {
    const double hip = 0.9 * m_hipSpan, waist = 0.8 * hip, chest = 0.45 * m_shoulderSpan;
    if (f < 0.3) return Lerp(hip, waist, f / 0.3);
    if (f < 0.7) return Lerp(waist, chest, (f - 0.3) / 0.4);
    return Lerp(chest, 0.75 * chest, (f - 0.7) / 0.3);
  }
  double TorsoHeight(int b) const {
    double h = 0;
    for (; b >= 0 && m_bones[b].role == ERole::kTorso && m_bones[b].parent >= 0;
         b = m_bones[b].parent)
      h += m_bones[b].parentLength;
    return m_torsoLength > 0 ? h / m_torsoLength : 0;
  }

  // Weights along a shape from a to b: the owner, half the start bone at a, half the end bone
  // at b, each fading out over `reach` of the length.
  std::function<SInfluence(V)> Blend(V a, V b, int owner, int start, int end, double reach) const {
    const V axis = b - a;
    const double length2 = std::max(Dot(axis, axis), 1e-18);
    return [=](V p) {
      const double s = std::clamp(Dot(p - a, axis) / length2, 0.0, 1.0);
      SInfluence out;
      double rest = 1;
      if (start >= 0) {
        const double w = 0.5 * Smooth((reach - s) / reach);
        if (w > 0) out.push_back({start, w}), rest -= w;
      }
      if (end >= 0) {
        const double w = 0.5 * Smooth((s - (1 - reach)) / reach);
        if (w > 0) out.push_back({end, w}), rest -= w;
      }
      out.push_back({owner, rest});
      return out;
    };
  }

  void Limb(int owner, int child, double ra, double rb, double depth, V side, int around) {
    const SBone& o = m_bones[owner];
    SCapsule c;
    c.a = o.at;
    c.b = m_bones[child].at;
    c.ra = ra, c.rb = rb, c.depth = depth, c.side = side, c.around = around;
    if (around <= 8) c.along = {0, 0.5, 1}, c.capRings = 2;
    AddCapsule(m_part, c, Blend(c.a, c.b, owner, o.parent, child, 0.3));
  }

  // A bone without a child bone: a shape reaching on in the direction it came from.
  void Tip(int b, double length, double radius, int around) {
    const SBone& bone = m_bones[b];
    if (bone.parent < 0 || bone.parentLength <= 0) return;
    const V dir = Unit(bone.at - m_bones[bone.parent].at);
    SCapsule c;
    c.a = bone.at;
    c.b = bone.at + dir * length;
    c.ra = radius, c.rb = 0.85 * radius, c.side = m_hipSide, c.around = around;
    if (around <= 8) c.along = {0, 0.5, 1}, c.capRings = 2;
    AddCapsule(m_part, c, Blend(c.a, c.b, b, bone.parent, -1, 0.3));
  }

  void Shapes(int b) {
    const SBone& bone = m_bones[b];
    const std::vector<int>& kids = bone.children;
    auto length = [&](int child) { return m_bones[child].parentLength; };
    switch (bone.role) {
      case ERole::kTorso:
        for (int k : kids)
          if (m_bones[k].role == ERole::kTorso || m_bones[k].role == ERole::kNeck) Torso(b, k);
        return;
      case ERole::kHead:
        Head(b);
        return;
      case ERole::kHand:
        Hand(b);
        return;
      default:
        break;
    }
    if (kids.empty()) {
      const double l = bone.parentLength;
      switch (bone.role) {
        case ERole::kFinger:
        case ERole::kThumb:
          Tip(b, 0.85 * l, 0.85 * FingerRadius(bone), 8);
          return;
        case ERole::kToe:
          Tip(b, 0.45 * l, 0.24 * l, 10);
          return;
        case ERole::kJaw:
          Tip(b, 0.5 * l, 0.45 * l, 10);
          return;
        default:
          Tip(b, 0.5 * l, 0.12 * l, 10);
          return;
      }
    }
    // A limb's radius at its start and end as fractions of its length, and its depth across.
    struct SLimb {
      ERole role;
      double start, end, depth;
    };
    static const SLimb kLimbs[] = {
        {ERole::kNeck, 0.45, 0.42, 1},     {ERole::kClavicle, 0.3, 0.34, 1},
        {ERole::kUpperArm, 0.18, 0.14, 1}, {ERole::kForearm, 0.16, 0.11, 0.85},
        {ERole::kThigh, 0.19, 0.13, 1},    {ERole::kCalf, 0.13, 0.085, 1},
        {ERole::kFoot, 0.3, 0.26, 0.6},    {ERole::kOther, 0.14, 0.11, 1}};
    const bool arm = bone.role == ERole::kNeck || bone.role == ERole::kClavicle ||
                     bone.role == ERole::kUpperArm || bone.role == ERole::kForearm;
    for (int k : kids) {
      const double l = length(k);
      if (l < 1e-6) continue;  // a joint at the same place (a twist bone)
      if (bone.role == ERole::kFinger || bone.role == ERole::kThumb) {
        Limb(b, k, FingerRadius(bone), 0.9 * FingerRadius(bone), 1, m_hipSide, 8);
        continue;
      }
      const SLimb* limb = &kLimbs[std::size(kLimbs) - 1];
      for (const SLimb& candidate : kLimbs)
        if (candidate.role == bone.role) limb = &candidate;
      Limb(b, k, limb->start * l, limb->end * l, limb->depth, arm ? m_shoulderSide : m_hipSide, 12);
    }
  }

  void Torso(int b, int k) {
    const SBone& bone = m_bones[b];
    SCapsule c;
    c.a = bone.at;
    c.b = m_bones[k].at;
    c.ra = TorsoRadius(TorsoHeight(b));
    c.rb = TorsoRadius(TorsoHeight(k));
    c.depth = 0.62;
    c.side = TorsoHeight(b) < 0.3 ? m_hipSide : m_shoulderSide;
    c.capA = bone.parent < 0 ? 0.45 : 0.3;
    c.capB = m_bones[k].role == ERole::kNeck ? 0.4 : 0.3;
    c.around = 20;
    c.along = {0, 0.25, 0.5, 0.75, 1};
    AddCapsule(m_part, c, Blend(c.a, c.b, b, bone.parent, k, 0.35));
  }

  // An egg above the head bone, along the neck's direction, as tall as 2.3 necks.
  void Head(int b) {
    const SBone& bone = m_bones[b];
    const double neck = bone.parentLength > 0 ? bone.parentLength : 0.2 * m_torsoLength;
    const double h = 2.3 * neck;
    const V up = bone.parent >= 0 ? Unit(bone.at - m_bones[bone.parent].at) : V{0, 1, 0};
    // The face leans over the jaw, where the skeleton has one.
    V forward;
    for (int k : bone.children)
      if (m_bones[k].role == ERole::kJaw) {
        const V jaw = m_bones[k].at - bone.at;
        forward = (jaw - up * Dot(jaw, up)) * 0.5;
      }
    SCapsule c;
    c.a = bone.at + up * (0.18 * h) + forward;
    c.b = bone.at + up * (0.62 * h) + forward;
    c.ra = c.rb = 0.34 * h;
    c.depth = 1.15;
    c.capA = c.capB = 0.9;
    c.side = m_shoulderSide;
    c.around = 16;
    c.along = {0, 0.5, 1};
    AddCapsule(m_part, c, Blend(bone.at, c.b, b, bone.parent, -1, 0.2));
  }

  double FingerRadius(const SBone& finger) const {
    int b = finger.parent;
    while (b >= 0 && m_bones[b].role != ERole::kHand) b = m_bones[b].parent;
    const double spread = b >= 0 ? HandSpread(b) : 0;
    const double r = spread > 0 ? 0.16 * spread : 0.2 * finger.parentLength;
    return finger.role == ERole::kThumb ? 1.15 * r : r;
  }
  double HandSpread(int hand) const {
    double spread = 0;
    for (int i : m_bones[hand].children)
      for (int j : m_bones[hand].children)
        if (m_bones[i].role == ERole::kFinger && m_bones[j].role == ERole::kFinger)
          spread = std::max(spread, Length(m_bones[i].at - m_bones[j].at));
    return spread;
  }

  // The palm from the wrist to the fingers' roots, and the thumb's root bone.
  void Hand(int b) {
    const SBone& bone = m_bones[b];
    V sum;
    int fingers = 0, first = -1, lastFinger = -1;
    for (int k : bone.children) {
      if (m_bones[k].role == ERole::kThumb) {
        Limb(b, k, 1.3 * FingerRadius(m_bones[k]), FingerRadius(m_bones[k]), 1, m_hipSide, 8);
      } else if (m_bones[k].role == ERole::kFinger) {
        sum = sum + m_bones[k].at;
        if (first < 0) first = k;
        lastFinger = k;
        ++fingers;
      }
    }
    if (fingers == 0) {
      Tip(b, 0.35 * bone.parentLength, 0.12 * bone.parentLength, 10);
      return;
    }
    const double spread = HandSpread(b);
    const double r = fingers > 1 ? 0.5 * spread + 0.16 * spread : 0.3 * bone.parentLength;
    SCapsule c;
    c.a = bone.at;
    c.b = sum * (1.0 / fingers);
    c.ra = 0.8 * r, c.rb = r, c.depth = 0.42, c.capA = 0.4, c.capB = 0.35;
    c.side = fingers > 1 ? m_bones[first].at - m_bones[lastFinger].at : m_hipSide;
    c.around = 12;
    c.along = {0, 0.3, 0.7, 1};
    AddCapsule(m_part, c, Blend(c.a, c.b, b, bone.parent, -1, 0.3));
  }

  std::vector<SBone> m_bones;
  CPart m_part;
  double m_torsoLength = 0, m_hipSpan = 0, m_shoulderSpan = 0;
  V m_hipSide{1, 0, 0}, m_shoulderSide{1, 0, 0};
};

// ---- The car ----------------------------------------------------------------------------------

// A loft along the body's length: each station a rounded box at z, from y0 to y1, half as wide as
// w0 at the bottom and w1 at the top (the body's space: x left, y up, z front).
struct SStation {
  double z, y0, y1, w0, w1;
};

void AddLoft(CPart& part, const SAffine& body, const std::vector<SStation>& stations) {
  const int around = 24;
  std::vector<std::vector<V>> rings;
  for (const SStation& s : stations) {
    std::vector<V> ring;
    for (int k = 0; k < around; ++k) {
      const double phi = 2 * kPi * k / around;
      // A superellipse: boxy, with round corners.
      const double c = std::cos(phi), sn = std::sin(phi);
      const double x = std::copysign(std::pow(std::fabs(c), 0.5), c);
      const double y = std::copysign(std::pow(std::fabs(sn), 0.5), sn);
      const double t = (y + 1) / 2;
      ring.push_back(Apply(body, {x * Lerp(s.w0, s.w1, t), Lerp(s.y0, s.y1, t), s.z}));
    }
    rings.push_back(ring);
  }
  const SStation &f = stations.front(), &l = stations.back();
  const V first = Apply(body, {0, (f.y0 + f.y1) / 2, f.z});
  const V last = Apply(body, {0, (l.y0 + l.y1) / 2, l.z});
  part.Grid(rings, &first, &last, false, {});
}

void AddTorus(CPart& part, V centre, V u, V v, double radius, double tube) {
  const V n = Unit(Cross(u, v));
  std::vector<std::vector<V>> rings;
  for (int i = 0; i < 32; ++i) {
    const double a = 2 * kPi * i / 32;
    const V radial = u * std::cos(a) + v * std::sin(a);
    std::vector<V> ring;
    for (int k = 0; k < 8; ++k) {
      const double b = 2 * kPi * k / 8;
      ring.push_back(centre + radial * (radius + tube * std::cos(b)) + n * (tube * std::sin(b)));
    }
    rings.push_back(ring);
  }
  part.Grid(rings, nullptr, nullptr, true, {});
}

enum ECarMaterial { kPaint, kGlass, kRubber, kTrim, kCarMaterials };

class CCarBuilder {
 public:
  CCarBuilder(const std::vector<SAffine>& worlds, const SBodySource& source,
              const SKeyedAnimation& animation)
      : m_worlds(worlds) {
    for (std::size_t n = source.first; n < source.first + source.count; ++n)
      m_nodes[OwnName(animation.nodes[n].name)] = n;
  }

  void Build(const std::string& name, int materials, std::vector<SBodyMesh>& out) {
    const auto body = m_nodes.find("body");
    if (body == m_nodes.end()) return;
    SAffine toBody;
    if (!InvertAffine(m_worlds[body->second], &toBody)) return;
    // Where the car's nodes sit in the body's space.
    double front = 0, rear = 0, track = 0, wheel = 0;
    int hubs = 0;
    for (const auto& [own, n] : m_nodes) {
      const V p = Apply(toBody, Origin(m_worlds[n]));
      front = std::max(front, p.z), rear = std::min(rear, p.z);
      if (own.rfind("e_wheelgrunk_", 0) == 0) track = std::max(track, std::fabs(p.x)), ++hubs;
      if (own.rfind("e_wheelgrunk_", 0) == 0) wheel += p.y;
    }
    wheel = hubs > 0 && wheel / hubs > 0.1 ? wheel / hubs : 0.3;
    const double width = hubs > 0 ? track + 0.02 : 0.85;
    const double belt = Find("e_bonnet") ? Local(toBody, "e_bonnet").y : 2.8 * wheel;
    const double screen = Find("e_wiper_l") ? Local(toBody, "e_wiper_l").z : front - 1.2;
    const double bottom = 0.55 * wheel, roof = belt + 0.52;
    front += 0.05, rear -= 0.05;

    const SAffine& bodyWorld = m_worlds[body->second];
    CPart shell(materials + kPaint, toBody, false), glass(materials + kGlass, toBody, false);
    AddLoft(shell, bodyWorld,
            {{rear, bottom + 0.1, belt - 0.12, 0.92 * width, 0.9 * width},
             {rear + 0.3, bottom, belt - 0.02, width, 0.97 * width},
             {screen, bottom, belt, width, 0.97 * width},
             {front - 0.45, bottom, belt - 0.1, 0.98 * width, 0.95 * width},
             {front, bottom + 0.1, belt - 0.35, 0.9 * width, 0.85 * width}});
    AddLoft(glass, bodyWorld,
            {{rear + 0.35, belt - 0.05, belt + 0.05, 0.9 * width, 0.85 * width},
             {rear + 0.9, belt - 0.05, roof, 0.93 * width, 0.72 * width},
             {screen - 0.6, belt - 0.05, roof, 0.93 * width, 0.72 * width},
             {screen, belt - 0.05, belt + 0.04, 0.93 * width, 0.9 * width}});
    SBodyMesh shellMesh;
    shellMesh.name = name + " body";
    shellMesh.node = static_cast<int>(body->second);
    shellMesh.parts.push_back(shell.Take());
    shellMesh.parts.push_back(glass.Take());
    out.push_back(std::move(shellMesh));

    for (const char* hub :
         {"e_wheelgrunk_lf", "e_wheelgrunk_rf", "e_wheelgrunk_lb", "e_wheelgrunk_rb"})
      if (Find(hub)) Wheel(name, hub, wheel, materials, out);
    if (Find("zdi_steeringwheel")) Steering(name, materials, out);
    for (const char* wiper : {"e_wiper_l", "e_wiper_r"})
      if (Find(wiper)) Wiper(name, wiper, materials, out);
  }

 private:
  bool Find(const std::string& own) const { return m_nodes.count(own) > 0; }
  V Local(const SAffine& to, const std::string& own) const {
    return Apply(to, Origin(m_worlds.at(m_nodes.at(own))));
  }

  // A mesh on a node, its shapes given in the world of the first frame.
  template <typename Shapes>
  void OnNode(const std::string& name, const std::string& own, std::vector<int> materials,
              std::vector<SBodyMesh>& out, Shapes shapes) {
    const std::size_t node = m_nodes.at(own);
    SAffine toLocal;
    if (!InvertAffine(m_worlds[node], &toLocal)) return;
    std::vector<CPart> parts;
    for (int m : materials) parts.emplace_back(m, toLocal, false);
    shapes(m_worlds[node], parts);
    SBodyMesh mesh;
    mesh.name = name + " " + own;
    mesh.node = static_cast<int>(node);
    for (CPart& part : parts)
      if (!part.Empty()) mesh.parts.push_back(part.Take());
    out.push_back(std::move(mesh));
  }

  // A tyre about the hub's x axis and a bar across it, which shows the wheel turning.
  void Wheel(const std::string& name, const std::string& hub, double radius, int materials,
             std::vector<SBodyMesh>& out) {
    OnNode(name, hub, {materials + kRubber, materials + kTrim}, out,
           [&](const SAffine& w, std::vector<CPart>& parts) {
             const V at = Origin(w), axis = Axis(w, 0), spoke = Axis(w, 1);
             const double half = 0.35 * radius;
             SCapsule tyre;
             tyre.a = at - axis * half, tyre.b = at + axis * half;
             tyre.ra = tyre.rb = radius, tyre.capA = tyre.capB = 0.12;
             tyre.side = spoke, tyre.around = 24, tyre.along = {0, 1};
             AddCapsule(parts[0], tyre, {});
             for (double face : {-1.0, 1.0}) {
               SCapsule bar;
               const V c = at + axis * (face * (half + 0.03));
               bar.a = c - spoke * (0.75 * radius), bar.b = c + spoke * (0.75 * radius);
               bar.ra = bar.rb = 0.1 * radius, bar.depth = 0.4, bar.side = axis;
               bar.around = 8, bar.along = {0, 1}, bar.capRings = 2;
               AddCapsule(parts[1], bar, {});
             }
           });
  }

  // A rim in the node's x–z plane (it turns about its own z in the library's axes, which is
  // y in glTF's), with a bar across.
  void Steering(const std::string& name, int materials, std::vector<SBodyMesh>& out) {
    OnNode(name, "zdi_steeringwheel", {materials + kRubber}, out,
           [&](const SAffine& w, std::vector<CPart>& parts) {
             const V at = Origin(w), u = Axis(w, 0), v = Axis(w, 2);
             AddTorus(parts[0], at, u, v, 0.18, 0.017);
             SCapsule bar;
             bar.a = at - u * 0.17, bar.b = at + u * 0.17;
             bar.ra = bar.rb = 0.02, bar.depth = 0.5, bar.side = v;
             bar.around = 8, bar.along = {0, 1}, bar.capRings = 2;
             AddCapsule(parts[0], bar, {});
           });
  }

  // An arm along the pivot's x axis, turning about its y (glTF's z).
  void Wiper(const std::string& name, const std::string& own, int materials,
             std::vector<SBodyMesh>& out) {
    OnNode(name, own, {materials + kRubber}, out, [&](const SAffine& w, std::vector<CPart>& parts) {
      SCapsule arm;
      arm.a = Origin(w), arm.b = arm.a + Axis(w, 0) * 0.45;
      arm.ra = 0.014, arm.rb = 0.01, arm.depth = 0.5, arm.side = Axis(w, 2);
      arm.around = 8, arm.along = {0, 1}, arm.capRings = 2;
      AddCapsule(parts[0], arm, {});
    });
  }

  const std::vector<SAffine>& m_worlds;
  std::map<std::string, std::size_t> m_nodes;
};

SBodyMaterial Material(const std::string& name, float r, float g, float b, float a = 1) {
  SBodyMaterial m;
  m.name = name;
  m.colour[0] = r, m.colour[1] = g, m.colour[2] = b, m.colour[3] = a;
  m.blend = a < 1;
  return m;
}

}  // namespace

SBodies BuildBodies(const SKeyedAnimation& animation, const std::vector<SBodySource>& sources,
                    const std::vector<int>& nodeKinds) {
  SBodies out;
  if (sources.empty()) return out;
  const std::vector<SAffine> worlds = FirstWorlds(animation);
  // People's clothes, one colour each in turn.
  static const float kSuits[][3] = {{0.16f, 0.32f, 0.78f}, {0.9f, 0.5f, 0.1f},
                                    {0.2f, 0.62f, 0.3f},   {0.62f, 0.22f, 0.7f},
                                    {0.85f, 0.8f, 0.2f},   {0.2f, 0.7f, 0.75f}};
  int people = 0;
  for (const SBodySource& source : sources) {
    if (source.first + source.count > animation.nodes.size()) continue;
    if (source.kind == EBodyKind::kHuman) {
      CHumanBuilder human(worlds, source, nodeKinds, animation);
      if (human.Empty()) continue;
      const float* suit = kSuits[people++ % std::size(kSuits)];
      out.materials.push_back(Material(source.name + " suit", suit[0], suit[1], suit[2]));
      out.meshes.push_back(
          human.Build(worlds, source.name, static_cast<int>(out.materials.size() - 1)));
    } else {
      const int first = static_cast<int>(out.materials.size());
      out.materials.push_back(Material(source.name + " paint", 0.78f, 0.1f, 0.08f));
      out.materials.push_back(Material(source.name + " glass", 0.55f, 0.7f, 0.8f, 0.3f));
      out.materials.push_back(Material(source.name + " rubber", 0.05f, 0.05f, 0.06f));
      out.materials.push_back(Material(source.name + " trim", 0.75f, 0.75f, 0.78f));
      const std::size_t before = out.meshes.size();
      CCarBuilder(worlds, source, animation).Build(source.name, first, out.meshes);
      if (out.meshes.size() == before) out.materials.resize(static_cast<std::size_t>(first));
    }
  }
  return out;
}

}  // namespace zk_gltf
