#include "scenegraph/EvaluationPlan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <typeinfo>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "animation/AnimObject.h"
#include "animation/AnimTrackBezier.h"
#include "animation/AnimTrackLinear.h"
#include "animation/AnimTrackTCB.h"
#include "animation/StructureGeneration.h"
#include "controllers/AnimationController.h"
#include "controllers/ConstraintControllers.h"
#include "controllers/ControllerManager.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeTree.h"

namespace {

// local · parent written to both destinations, every row summed in the order of
// D3DXMatrixMultiply. The local matrix is lane Lane of a block of NPoseLanes::SLocals (element e
// at block.m[e][Lane]); its last column being (0, 0, 0, 1), the parent's last row enters the
// first three rows with weight 0 and is left out there, and the last row with weight 1; that
// changes nothing but the sign of a zero sum (or an infinite parent translation).
template <size_t Lane>
[[gnu::always_inline]] inline void MultiplyAffine(Matrix* out, Matrix* copy,
                                                  const NPoseLanes::SLocals& block,
                                                  const Matrix& parent) {
#if defined(__SSE2__)
  // Element e of the lane in all four places: one shuffle straight from the block's row.
  const auto a = [&block](int row, int column) {
    return _mm_castsi128_ps(_mm_shuffle_epi32(
        _mm_load_si128(reinterpret_cast<const __m128i*>(block.m[row * 3 + column])), Lane * 0x55));
  };
  const __m128 b0 = _mm_loadu_ps(parent.m);
  const __m128 b1 = _mm_loadu_ps(parent.m + 4);
  const __m128 b2 = _mm_loadu_ps(parent.m + 8);
  const __m128 b3 = _mm_loadu_ps(parent.m + 12);
  for (int i = 0; i < 4; ++i) {
    __m128 v = _mm_mul_ps(a(i, 0), b0);
    v = _mm_add_ps(v, _mm_mul_ps(a(i, 1), b1));
    v = _mm_add_ps(v, _mm_mul_ps(a(i, 2), b2));
    if (i == 3) v = _mm_add_ps(v, b3);
    _mm_storeu_ps(out->m + i * 4, v);
    _mm_storeu_ps(copy->m + i * 4, v);
  }
#else
  const auto a = [&block](int row, int column) { return block.m[row * 3 + column][Lane]; };
  const float* b = parent.m;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      float v = a(i, 0) * b[j] + a(i, 1) * b[4 + j] + a(i, 2) * b[8 + j];
      if (i == 3) v += b[12 + j];
      out->m[i * 4 + j] = copy->m[i * 4 + j] = v;
    }
  }
#endif
}

// How many groups of four ahead the gathering asks for the lines it will read.
constexpr size_t kGroupsAhead = 2;
// How many entries ahead the walk asks for a node's line.
constexpr size_t kNodesAhead = 6;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The keys of the segment holding the placed time when the slot's cursor, or the key after it,
// is that segment's next key: as the search would find it, without the search. Keys in order,
// between the first and the last key only.
template <class Stored, class Slot>
[[gnu::always_inline]] inline const Stored* PlaceOnCursor(Slot& slot,
                                                          const NAnimTrackSearch::SPlacedTime& p) {
  const auto* keys = static_cast<const Stored*>(slot.keys);
  const float t = p.time;
  size_t i = slot.cursor;
  if (p.held != NAnimTrackSearch::kHoldNone || !slot.ordered ||
      i - 1 >= static_cast<size_t>(slot.count) - 1 || t < keys[i - 1].time)
    return nullptr;
  if (!(t < keys[i].time)) {
    if (i + 1 >= slot.count || !(t < keys[i + 1].time)) return nullptr;
    slot.cursor = static_cast<uint32_t>(++i);
  }
  return keys + i - 1;
}

}  // namespace

bool CZK_EvaluationPlan::HoldsScale(const CZK_AnimationControllerScale* scale) {
  if (scale == nullptr) return false;
  const CZK_AnimTrackScale* track = scale->GetTrack();
  return track == nullptr ||
         (typeid(*track) == typeid(CZK_AnimTrackScaleLinear) &&
          static_cast<const CZK_AnimTrackScaleLinear*>(track)->GetKeyCount() <= 1);
}

bool CZK_EvaluationPlan::IsConstant(const SEntry& e) {
  const auto holds = [](const STrackSlot& slot) {
    return slot.kind == kNoTrack || (slot.kind != kEuler && slot.count <= 1);
  };
  return holds(e.position) && holds(e.rotation);
}

size_t CZK_EvaluationPlan::GetDirectCount() const {
  size_t n = 0;
  for (const SEntry& e : m_entries) n += e.kind == kDirect ? 1 : 0;
  return n;
}

void CZK_EvaluationPlan::Build(CZK_Node* root) {
  m_entries.clear();
  m_eulerAxes.clear();
  m_ranges.clear();
  m_up.clear();
  m_end.clear();
  m_root = root;
  m_generation = NStructureGeneration::Current();
  m_treeStructure = CZK_Node::TreeStructure(root);
  m_built = true;
  ++m_builds;
  m_localsCurrent = false;
  if (root != nullptr) AddNode(root, nullptr, kNoEntry);
  m_evaluated.assign(m_entries.size(), 0);
  m_changed.assign(m_entries.size(), 0);
  m_walk.assign(m_entries.size(), 0);
  // Never empty, so that a slot without a track may name range 0.
  m_placed.resize(m_ranges.empty() ? 1 : m_ranges.size());
  // One more, always 0, for the lanes whose values do not depend on the time (see Gather).
  m_inside.assign(m_placed.size() + 1, 0.0f);
  m_direct.clear();
  for (size_t k = 0; k < m_entries.size(); ++k) {
    if (m_entries[k].kind != kDirect) continue;
    m_entries[k].lane = static_cast<uint32_t>(m_direct.size());
    m_direct.push_back(static_cast<uint32_t>(k));
  }
  // Lanes without a node blend zeros, harmlessly; a node without a scale controller keeps the
  // unit factors written here.
  const size_t groups = (m_direct.size() + NPoseLanes::kLanes - 1) / NPoseLanes::kLanes;
  m_inputs.assign(groups, NPoseLanes::SInputs());
  for (NPoseLanes::SInputs& in : m_inputs)
    for (size_t lane = 0; lane < NPoseLanes::kLanes; ++lane) in.SetScale(lane, {1.0f, 1.0f, 1.0f});
  m_poses.resize(groups);
  m_groups.assign(groups, SLaneGroup());
  for (size_t g = 0; g < groups; ++g) {
    SLaneGroup& c = m_groups[g];
    c.lanes = static_cast<uint32_t>(
        std::min(NPoseLanes::kLanes, m_direct.size() - g * NPoseLanes::kLanes));
    for (size_t lane = 0; lane < NPoseLanes::kLanes; ++lane) {
      c.positionStart[lane] = c.rotationStart[lane] = kNaN;
      c.positionEnd[lane] = c.rotationEnd[lane] = kNaN;
      c.positionRange[lane] = c.rotationRange[lane] = 0;
      c.object[lane] = nullptr;
      c.scale[lane] = nullptr;
      c.controllerIndex[lane] = -1;
      if (lane >= c.lanes) continue;
      const SEntry& e = DirectEntry(g, lane);
      const uint16_t always = static_cast<uint16_t>(m_placed.size());
      c.positionRange[lane] = IsConstant(e) ? always : e.position.range;
      c.rotationRange[lane] = IsConstant(e) ? always : e.rotation.range;
      c.object[lane] = e.object;
      c.scale[lane] = e.scale;
      if (HoldsScale(e.scale)) {
        // Factors that hold at every time are written once, here.
        m_inputs[g].SetScale(lane, e.scale->GetFactors(0.0f));
        c.scale[lane] = nullptr;
      }
      c.controllerIndex[lane] = e.controllerIndex;
      if (!e.linear && !IsConstant(e)) c.curveLanes |= 1u << lane;
    }
  }
}

void CZK_EvaluationPlan::AddNode(CZK_Node* node, const Matrix* parent, uint32_t up) {
  const std::type_info& type = typeid(*node);
  const Matrix* forChildren = &node->matrix;
  SEntry e;
  e.node = node;
  e.parent = parent;
  e.kind = kHold;
  if (type == typeid(CZK_Node)) {
    // A plain node computes nothing and hands its own parent on.
    forChildren = parent;
  } else if (IsPRSNodeClass(type)) {
    auto* prs = static_cast<CZK_NodePRS*>(node);
    if (prs->currentAnimation < prs->animObjects.size()) e = BindPRS(prs, parent);
  } else if (type == typeid(CZK_NodePS)) {
    e.kind = kPSGeneral;
  } else {
    // A node class of its own: its Update walks its subtree.
    e.kind = kSubtree;
  }
  const auto self = static_cast<uint32_t>(m_entries.size());
  m_entries.push_back(e);
  m_up.push_back(up);
  m_end.push_back(self + 1);
  if (e.kind != kSubtree)
    for (CZK_Node* child : node->children) AddNode(child, forChildren, self);
  m_end[self] = static_cast<uint32_t>(m_entries.size());
}

template <class Track>
void CZK_EvaluationPlan::BindKeys(STrackSlot& slot, const Track* track, ETrackKind kind) {
  slot.track = track;
  slot.keys = track->GetStoredKeys();
  slot.count = static_cast<uint32_t>(track->GetKeyCount());
  slot.ordered = track->HasOrderedKeys();
  slot.kind = kind;
  slot.cursor = 0;
  if constexpr (std::is_same_v<Track, CZK_AnimTrackRotationLinear> ||
                std::is_same_v<Track, CZK_AnimTrackRotationTCB>)
    slot.pairs = static_cast<uint32_t>(track->GetPreparedPairCount());
  // A track without keys samples its neutral value and never reads the placed time.
  SRange range = {0.0f, 0.0f, track->outOfRangeBefore, track->outOfRangeAfter};
  if (track->GetKeyCount() > 0) {
    range.first = track->FirstKeyTime();
    range.last = track->LastKeyTime();
  }
  slot.range = FindRange(range);
}

template <class Exact, class Linear, class Bezier, class TCB, class Base>
bool CZK_EvaluationPlan::BindController(STrackSlot& slot, const Base* controller) {
  if (controller == nullptr) return true;
  if (typeid(*controller) != typeid(Exact)) return false;
  const auto* track = static_cast<const Exact*>(controller)->GetTrack();
  if (track == nullptr) return true;
  const std::type_info& type = typeid(*track);
  if (type == typeid(Linear))
    BindKeys(slot, static_cast<const Linear*>(track), kLinear);
  else if (type == typeid(Bezier))
    BindKeys(slot, static_cast<const Bezier*>(track), kBezier);
  else if (type == typeid(TCB))
    BindKeys(slot, static_cast<const TCB*>(track), kTCB);
  else
    return false;
  return true;
}

// An Euler-angle rotation: the lane finds the keys of its angle tracks on cursors when all of
// them are linear (or missing) and asks the controller otherwise; either way the rotation comes
// from the controller's own routine, and the lane composes the matrix with the others.
bool CZK_EvaluationPlan::BindEuler(STrackSlot& slot,
                                   const CZK_AnimationControllerRotationBase* controller) {
  if (controller == nullptr || typeid(*controller) != typeid(CZK_AnimationControllerEulerXYZ))
    return false;
  slot.track = controller;
  slot.kind = kEuler;
  slot.pairs = kNoAxes;
  const auto* euler = static_cast<const CZK_AnimationControllerEulerXYZ*>(controller);
  SEulerAxes axes;
  for (int a = 0; a < 3; ++a) {
    const CZK_AnimationControllerFloat* axis = euler->GetAxis(a);
    const CZK_AnimTrackFloat* track = axis != nullptr ? axis->GetTrack() : nullptr;
    if (track == nullptr) continue;  // reads 0, as a slot without a track does
    if (typeid(*track) != typeid(CZK_AnimTrackFloatLinear)) return true;
    BindKeys(axes.axis[a], static_cast<const CZK_AnimTrackFloatLinear*>(track), kLinear);
  }
  slot.pairs = static_cast<uint32_t>(m_eulerAxes.size());
  m_eulerAxes.push_back(axes);
  return true;
}

void CZK_EvaluationPlan::GatherEuler(const STrackSlot& slot, Quaternion* out, float time) {
  const auto* euler = static_cast<const CZK_AnimationControllerEulerXYZ*>(slot.track);
  if (slot.pairs == kNoAxes) {
    euler->Evaluate(out, time, nullptr);  // no world position: only a look-at reads it
    return;
  }
  float angle[3] = {0.0f, 0.0f, 0.0f};
  for (int a = 0; a < 3; ++a) {
    STrackSlot& axis = m_eulerAxes[slot.pairs].axis[a];
    if (axis.kind == kNoTrack) continue;
    angle[a] = static_cast<const CZK_AnimTrackFloatLinear*>(axis.track)
                   ->EvaluatePlaced(m_placed[axis.range], &axis.cursor);
  }
  CZK_AnimationControllerEulerXYZ::FromAngles(out, angle[0], angle[1], angle[2]);
}

CZK_EvaluationPlan::SEntry CZK_EvaluationPlan::BindPRS(CZK_NodePRS* node, const Matrix* parent) {
  SEntry e;
  e.node = node;
  e.parent = parent;
  e.kind = kPRSGeneral;
  const CZK_NodeTree* tree = node->GetTree();
  // Without a manager in reach, evaluated by its own code, as it would be without a plan.
  if (tree == nullptr || tree->controllers == nullptr) return e;
  const CZK_ControllerManager& controllers = *tree->controllers;
  CZK_AnimObjectTM* object =
      AsTransformObject(controllers.GetAnimObject(node->animObjects[node->currentAnimation]));
  const CZK_AnimationControllerBase* controller =
      object != nullptr ? controllers.GetController(object->controllerIndex) : nullptr;
  // Up to four more key ranges (a position and three angles) must fit the slots' 16-bit
  // range index.
  if (object != nullptr && object->mode == kAnimObjectFromController && controller != nullptr &&
      typeid(*controller) == typeid(CZK_AnimationControllerPRS) && m_ranges.size() + 4 <= 0xFFFF) {
    const auto* prs = static_cast<const CZK_AnimationControllerPRS*>(controller);
    const size_t ranges = m_ranges.size();
    if (BindController<CZK_AnimationControllerPositionVector, CZK_AnimTrackPositionLinear,
                       CZK_AnimTrackPositionBezier, CZK_AnimTrackPositionTCB>(e.position,
                                                                              prs->GetPosition()) &&
        (BindEuler(e.rotation, prs->GetRotation()) ||
         BindController<CZK_AnimationControllerRotationQuaternion, CZK_AnimTrackRotationLinear,
                        CZK_AnimTrackRotationBezier, CZK_AnimTrackRotationTCB>(
             e.rotation, prs->GetRotation()))) {
      e.kind = kDirect;
      e.linear = e.position.kind == kLinear && e.rotation.kind == kLinear;
      e.scale = prs->GetScale();
      e.object = object;
      e.controllerIndex = object->controllerIndex;
    } else {
      m_ranges.resize(ranges);
      e.position = e.rotation = STrackSlot();
    }
  }
  return e;
}

uint16_t CZK_EvaluationPlan::FindRange(const SRange& r) {
  for (size_t k = 0; k < m_ranges.size(); ++k) {
    const SRange& o = m_ranges[k];
    // Compared bit for bit in effect: a NaN key time never matches and gets a range of its own.
    if (o.first == r.first && o.last == r.last && o.before == r.before && o.after == r.after)
      return static_cast<uint16_t>(k);
  }
  m_ranges.push_back(r);
  return static_cast<uint16_t>(m_ranges.size() - 1);
}

void CZK_EvaluationPlan::Place(float time) {
  for (size_t k = 0; k < m_ranges.size(); ++k) {
    const SRange& r = m_ranges[k];
    m_placed[k] = NAnimTrackSearch::PlaceTime(time, r.first, r.last, r.before, r.after);
    m_inside[k] = m_placed[k].held == NAnimTrackSearch::kHoldNone ? m_placed[k].time : kNaN;
  }
}

void CZK_EvaluationPlan::Sample(size_t first, size_t end, float time) {
  // What every directly sampled node's local matrix is made of, then those matrices four at a
  // time: they depend on no other node. Each group is gathered one step ahead of its blend, so
  // that the blend's long chain of dependent operations overlaps the next group's loads.
  //
  // The objects live wherever the heap put them, and with many characters they are rarely in
  // cache: the gathering asks for the lines it will read a few groups ahead, so that the misses
  // overlap instead of stalling one after the other. (Asking ahead for the matrices the products
  // write was measured not to pay.)
  if (first < end) GatherGroup(first, time);
  for (size_t g = first; g < end; ++g) {
    if (g + kGroupsAhead < end) PrefetchGroup(g + kGroupsAhead);
    if (g + 1 < end) GatherGroup(g + 1, time);
    NPoseLanes::Blend(m_inputs[g], &m_poses[g]);
  }
}

[[gnu::always_inline]] inline void CZK_EvaluationPlan::Evaluate(SEntry& e, const Matrix* p,
                                                                bool locals) {
  switch (e.kind) {
    case kDirect:
      if (e.sampled && locals) {
        const Matrix& q = e.node->detached || p == nullptr ? g_IdentityMatrix : *p;
        const NPoseLanes::SLocals& block = m_poses[e.lane / NPoseLanes::kLanes];
        switch (e.lane % NPoseLanes::kLanes) {
          case 0:
            MultiplyAffine<0>(&e.node->matrix, &e.object->world, block, q);
            break;
          case 1:
            MultiplyAffine<1>(&e.node->matrix, &e.object->world, block, q);
            break;
          case 2:
            MultiplyAffine<2>(&e.node->matrix, &e.object->world, block, q);
            break;
          default:
            MultiplyAffine<3>(&e.node->matrix, &e.object->world, block, q);
            break;
        }
        break;
      }
      [[fallthrough]];
    case kPRSGeneral:
      static_cast<CZK_NodePRS*>(e.node)->EvaluateLocal(m_time, p);
      break;
    case kPSGeneral:
      static_cast<CZK_NodePS*>(e.node)->EvaluateLocal(m_time, p);
      break;
    case kSubtree:
      e.node->Update(m_time, p);
      break;
    case kHold:
      break;
  }
}

void CZK_EvaluationPlan::Walk(size_t first, size_t end, const Matrix* parent, bool locals) {
  if (first < end && parent != nullptr) Evaluate(m_entries[first++], parent, locals);
  for (size_t k = first; k < end; ++k) {
    // The line of a node a few entries on that holds its detached flag (and the end of its
    // matrix), the first the walk reads of it.
    if (k + kNodesAhead < end) __builtin_prefetch(&m_entries[k + kNodesAhead].node->detached);
    SEntry& e = m_entries[k];
    Evaluate(e, e.parent != nullptr ? e.parent : m_parent, locals);
  }
}

void CZK_EvaluationPlan::Prepare(CZK_Node* root, float time, const Matrix* parent) {
  if (!m_built || root != m_root || m_generation != NStructureGeneration::Current() ||
      m_treeStructure != CZK_Node::TreeStructure(root))
    Build(root);
  // Rerun keeps to the samples of the last Run only while they are of this time.
  if (std::memcmp(&time, &m_time, sizeof(float)) != 0 || parent != m_parent)
    m_localsCurrent = false;
  m_time = time;
  m_parent = parent;
}

void CZK_EvaluationPlan::Run(CZK_Node* root, float time, const Matrix* parent) {
  Prepare(root, time, parent);
  m_localsCurrent = true;
  Place(time);
  // The local matrices first, then the walk in order, where each node waits on its parent.
  Sample(0, m_groups.size(), time);
  Walk(0, m_entries.size(), nullptr, true);
}

uint32_t CZK_EvaluationPlan::Find(const CZK_Node* node) const {
  for (size_t k = 0; k < m_entries.size(); ++k)
    if (m_entries[k].node == node) return static_cast<uint32_t>(k);
  return kNoEntry;
}

void CZK_EvaluationPlan::Rerun(uint32_t entry, bool withSelf, const Matrix* parent) {
  Walk(withSelf ? entry : entry + 1, m_end[entry], withSelf ? parent : nullptr, m_localsCurrent);
}

template <class Bezier, class TCB, class Value>
void CZK_EvaluationPlan::SampleCurve(STrackSlot& slot, Value* out) const {
  const NAnimTrackSearch::SPlacedTime& time = m_placed[slot.range];
  if (slot.kind == kBezier)
    static_cast<const Bezier*>(slot.track)->EvaluatePlaced(out, time, &slot.cursor);
  else
    static_cast<const TCB*>(slot.track)->EvaluatePlaced(out, time, &slot.cursor);
}

// Inlined into the group pass: a curve lane's samples go straight into it, without the general
// gathering's dispatch (about a tenth of a frame of curve tracks).
[[gnu::always_inline]] inline void CZK_EvaluationPlan::GatherCurves(SEntry& e,
                                                                    NPoseLanes::SInputs& in,
                                                                    size_t lane, float time) {
  if (e.position.kind == kBezier || e.position.kind == kTCB) {
    Vector3 p;
    SampleCurve<CZK_AnimTrackPositionBezier, CZK_AnimTrackPositionTCB>(e.position, &p);
    in.HoldPosition(lane, p);
  } else if (e.position.kind == kLinear && e.position.count == 1) {
    // A single key holds at every time (a bone's fixed offset, most often).
    in.HoldPosition(lane, static_cast<const CZK_KeyFrameLinearPosition*>(e.position.keys)->value);
  } else {
    GatherPosition(e.position, in, lane);
  }
  STrackSlot& r = e.rotation;
  if (r.kind == kTCB) {
    // Most samples: a prepared pair the cursor finds, its squad inlined here.
    const NAnimTrackSearch::SPlacedTime& p = m_placed[r.range];
    if (const auto* k = PlaceOnCursor<CZK_KeyFrameTCBRotation>(r, p)) {
      const size_t pair = r.cursor - 1;  // the keys k[0] and k[1]
      if (pair < r.pairs) {
        const auto* track = static_cast<const CZK_AnimTrackRotationTCB*>(r.track);
#if defined(ZELKAR_AVX_PATH)
        if (NAnimTrackSlerp::kCpuHasAvx) {
          CZK_AnimTrackRotationTCB::SamplePairAvx(k, track->GetPreparedPairs()[pair], p.time,
                                                  in.HeldRotation(lane));
          return;
        }
#endif
        CZK_AnimTrackRotationTCB::SamplePair(k, track->GetPreparedPairs()[pair], p.time,
                                             in.HeldRotation(lane));
        return;
      }
    }
  }
  if (r.kind == kBezier || r.kind == kTCB) {
    Quaternion q;
    SampleCurve<CZK_AnimTrackRotationBezier, CZK_AnimTrackRotationTCB>(r, &q);
    in.HoldRotation(lane, q);
  } else {
    GatherRotation(r, in, lane, time);
  }
}

void CZK_EvaluationPlan::GatherPosition(STrackSlot& slot, NPoseLanes::SInputs& in,
                                        size_t lane) const {
  const NAnimTrackSearch::SPlacedTime& time = m_placed[slot.range];
  Vector3 held = {0.0f, 0.0f, 0.0f};  // without a track
  switch (slot.kind) {
    case kLinear: {
      const auto* track = static_cast<const CZK_AnimTrackPositionLinear*>(slot.track);
      if (track->GetKeyCount() == 0) break;
      const NAnimTrackSearch::STrackSegment s = track->FindPlacedSegment(time, &slot.cursor);
      const CZK_KeyFrameLinearPosition& prev = track->GetKey(s.prev);
      if (s.hold) {
        held = prev.value;
        break;
      }
      const CZK_KeyFrameLinearPosition& next = track->GetKey(s.next);
      in.SetPosition(lane, prev.value, next.value,
                     NAnimTrackSearch::SegmentFraction(s.time, prev.time, next.time));
      return;
    }
    case kBezier:
    case kTCB:
      SampleCurve<CZK_AnimTrackPositionBezier, CZK_AnimTrackPositionTCB>(slot, &held);
      break;
    default:
      break;
  }
  in.HoldPosition(lane, held);
}

void CZK_EvaluationPlan::GatherRotation(STrackSlot& slot, NPoseLanes::SInputs& in, size_t lane,
                                        float runTime) {
  const NAnimTrackSearch::SPlacedTime& time = m_placed[slot.range];
  Quaternion held = {0.0f, 0.0f, 0.0f, 1.0f};  // without a track
  switch (slot.kind) {
    case kLinear: {
      const auto* track = static_cast<const CZK_AnimTrackRotationLinear*>(slot.track);
      if (track->GetKeyCount() == 0) break;
      const NAnimTrackSearch::STrackSegment s = track->FindPlacedSegment(time, &slot.cursor);
      const CZK_KeyFrameLinearRotation& prev = track->GetKey(s.prev);
      if (s.hold) {
        held = prev.rotation;
        break;
      }
      const CZK_KeyFrameLinearRotation& next = track->GetKey(s.next);
      const float u = NAnimTrackSearch::SegmentFraction(s.time, prev.time, next.time);
      // Keys added since the last Prepare have no constants yet.
      if (track->HasPair(s.prev)) {
        in.SetRotation(lane, prev.rotation, next.rotation, u, track->PairAngle(s.prev));
        return;
      }
      D3DXQuaternionSlerp(&held, &prev.rotation, &next.rotation, u);
      break;
    }
    case kBezier:
    case kTCB:
      SampleCurve<CZK_AnimTrackRotationBezier, CZK_AnimTrackRotationTCB>(slot, &held);
      break;
    case kEuler:
      GatherEuler(slot, in.HeldRotation(lane), runTime);
      return;
    default:
      break;
  }
  in.HoldRotation(lane, held);
}

void CZK_EvaluationPlan::Gather(SEntry& e, float time) {
  NPoseLanes::SInputs& in = m_inputs[e.lane / NPoseLanes::kLanes];
  SLaneGroup& group = m_groups[e.lane / NPoseLanes::kLanes];
  const size_t lane = e.lane % NPoseLanes::kLanes;
  // Gathered in full again next run, unless the cursors find both segments below.
  group.positionStart[lane] = kNaN;
  // A signal may have fixed the object since the build: the general path knows what to do.
  e.sampled =
      e.object->mode == kAnimObjectFromController && e.object->controllerIndex == e.controllerIndex;
  if (!e.sampled) return;
  if (!e.linear || !GatherOnCursors(e, in, group, lane)) {
    GatherPosition(e.position, in, lane);
    GatherRotation(e.rotation, in, lane, time);
    if (IsConstant(e)) {
      // The values gathered hold at every time: the lane's segments then span all times, and
      // their fraction ((0 + FLT_MAX) / infinity, with the time of the lane's range always 0)
      // is the 0 a held value is blended at.
      group.positionStart[lane] = group.rotationStart[lane] = -std::numeric_limits<float>::max();
      group.positionEnd[lane] = group.rotationEnd[lane] = std::numeric_limits<float>::infinity();
    }
  }
  if (e.scale != nullptr) in.SetScale(lane, e.scale->GetFactors(time));
}

[[gnu::always_inline]] inline bool CZK_EvaluationPlan::GatherOnCursors(SEntry& e,
                                                                       NPoseLanes::SInputs& in,
                                                                       SLaneGroup& group,
                                                                       size_t lane) {
  const NAnimTrackSearch::SPlacedTime& tp = m_placed[e.position.range];
  const NAnimTrackSearch::SPlacedTime& tr = m_placed[e.rotation.range];
  const auto* p = PlaceOnCursor<CZK_KeyFrameLinearPosition>(e.position, tp);
  if (p == nullptr) return false;
  const auto* r = PlaceOnCursor<SLinearRotationKey>(e.rotation, tr);
  // A pair without prepared constants takes the general slerp. (Keys added since the last
  // Prepare leave the times unordered, which the cursors refuse already; kept as a guard.)
  if (r == nullptr || static_cast<size_t>(r - static_cast<const SLinearRotationKey*>(
                                                  e.rotation.keys)) >= e.rotation.pairs)
    return false;
  // SegmentFraction's, with its test kept: runs inside both segments then need the fractions
  // alone, unless a segment is so short that its fraction is 0; such a node is gathered in full
  // every run.
  const auto spans = [](float start, float end) {
    return std::fabs(start - end) > NAnimTrackSearch::kMinSegmentLength;
  };
  const auto fraction = [](bool span, float t, float start, float end) {
    return span ? (t - start) / (end - start) : 0.0f;
  };
  const bool positionSpans = spans(p[0].time, p[1].time);
  const bool rotationSpans = spans(r[0].time, r[1].time);
  in.SetPosition(lane, p[0].value, p[1].value,
                 fraction(positionSpans, tp.time, p[0].time, p[1].time));
  in.SetRotation(lane, r[0].rotation, r[1].rotation,
                 fraction(rotationSpans, tr.time, r[0].time, r[1].time), r[0].pairAngle);
  if (positionSpans && rotationSpans) {
    group.positionStart[lane] = p[0].time;
    group.positionEnd[lane] = p[1].time;
    group.rotationStart[lane] = r[0].time;
    group.rotationEnd[lane] = r[1].time;
  }
  return true;
}

// (Asking ahead for a Bezier track's segment record too was measured not to pay, even with a
// hundred characters.)
void CZK_EvaluationPlan::PrefetchGroup(size_t g) const {
  const SLaneGroup& c = m_groups[g];
  for (size_t lane = 0; lane < c.lanes; ++lane) __builtin_prefetch(&c.object[lane]->mode);
}

void CZK_EvaluationPlan::GatherGroup(size_t g, float time) {
  SLaneGroup& c = m_groups[g];
  NPoseLanes::SInputs& in = m_inputs[g];
  unsigned full = (1u << c.lanes) - 1;  // the lanes to gather in full
#if defined(__SSE2__)
  // A lane whose two segments still enclose their placed times needs its fractions alone,
  // (t - start) / (end - start) as SegmentFraction works them out. A held time is NaN here and
  // encloses nothing.
  const float* inside = m_inside.data();
  const auto times = [inside](const uint16_t* range) {
    return _mm_setr_ps(inside[range[0]], inside[range[1]], inside[range[2]], inside[range[3]]);
  };
  const auto fractions = [](__m128 t, const float* start, const float* end, float* out) {
    const __m128 a = _mm_load_ps(start), b = _mm_load_ps(end);
    _mm_store_ps(out, _mm_div_ps(_mm_sub_ps(t, a), _mm_sub_ps(b, a)));
    return _mm_and_ps(_mm_cmple_ps(a, t), _mm_cmplt_ps(t, b));
  };
  // A group of curve lanes alone has nothing to carry.
  if (c.curveLanes != full) {
    const __m128 enclosed =
        _mm_and_ps(fractions(times(c.positionRange), c.positionStart, c.positionEnd, in.positionU),
                   fractions(times(c.rotationRange), c.rotationStart, c.rotationEnd, in.rotationU));
    full &= ~static_cast<unsigned>(_mm_movemask_ps(enclosed));
  }
#endif
  for (size_t lane = 0; lane < c.lanes; ++lane) {
    SEntry* e = nullptr;
    const CZK_AnimObjectTM& object = *c.object[lane];
    if (object.mode == kAnimObjectFromController &&
        object.controllerIndex == c.controllerIndex[lane]) {
      if ((full >> lane) & 1) {
        e = &DirectEntry(g, lane);
        if ((c.curveLanes >> lane) & 1u) {
          // Curve tracks are sampled afresh every run (their bounds stay NaN).
          if (e->sampled) {
            GatherCurves(*e, in, lane, time);
            e = nullptr;
          }
        } else {
          // Time has most often moved on to the next keys: the cursors find them.
          c.positionStart[lane] = kNaN;
          if (e->sampled && e->linear && GatherOnCursors(*e, in, c, lane)) e = nullptr;
        }
      }
      if (e == nullptr) {
        if (c.scale[lane] != nullptr) in.SetScale(lane, c.scale[lane]->GetFactors(time));
        continue;
      }
    }
    Gather(e != nullptr ? *e : DirectEntry(g, lane), time);
  }
}

// ---- A round of changes ---------------------------------------------------------------------

// An entry re-evaluated during the changes: one that computes nothing, or a PRS node whose object
// gives a local matrix of its own or samples a PRS controller. A look-at or link constraint among
// them reads its targets' objects: those must not be re-evaluated during the changes
// (BeginChanges checks the slots noted here once every re-evaluated object is known).
bool CZK_EvaluationPlan::Defers(const SEntry& e) {
  if (e.kind == kHold) return true;
  if (e.kind != kDirect && e.kind != kPRSGeneral) return false;
  const auto* prs = static_cast<const CZK_NodePRS*>(e.node);
  const int32_t slot = prs->animObjects[prs->currentAnimation];
  m_readObjects.push_back(-1 - slot);  // re-evaluated: stored negated, apart from the targets
  const CZK_NodeTree* tree = prs->GetTree();
  if (tree == nullptr || tree->controllers == nullptr) return false;
  const CZK_ControllerManager& controllers = *tree->controllers;
  const CZK_AnimObjectBase* object = controllers.GetAnimObject(slot);
  if (object == nullptr || object->mode != kAnimObjectFromController) return true;
  const CZK_AnimationControllerBase* controller =
      controllers.GetController(object->controllerIndex);
  if (controller == nullptr) return true;
  const auto noteTargets = [this](const std::vector<CZK_ConstraintTarget>& targets) {
    for (const CZK_ConstraintTarget& t : targets)
      if (t.kind == kTargetTransform) m_readObjects.push_back(t.slot);
  };
  const std::type_info& kind = typeid(*controller);
  if (kind == typeid(CZK_AnimationControllerLinkConstraints))
    noteTargets(static_cast<const CZK_AnimationControllerLinkConstraints*>(controller)->GetLinks());
  else if (kind != typeid(CZK_AnimationControllerPRS) &&
           kind != typeid(CZK_AnimationControllerPRSSampled))
    return false;
  const auto* rotation = static_cast<const CZK_AnimationControllerPRS*>(controller)->GetRotation();
  if (rotation != nullptr && typeid(*rotation) == typeid(CZK_AnimationControllerRotationLookAt))
    noteTargets(static_cast<const CZK_AnimationControllerRotationLookAt*>(rotation)->GetTargets());
  return true;
}

bool CZK_EvaluationPlan::BeginChanges(CZK_Node* root, const Matrix* parent, float time,
                                      CZK_Node* const* nodes, size_t count) {
  Prepare(root, time, parent);
  if (m_changesBuild != m_builds || m_changeNodes.size() != count ||
      !std::equal(m_changeNodes.begin(), m_changeNodes.end(), nodes)) {
    // Checked once per build and set of nodes: only then does this allocate.
    m_changesBuild = m_builds;
    m_changeNodes.assign(nodes, nodes + count);
    m_changeEntries.assign(count, kNoEntry);
    m_readObjects.clear();
    m_changesDefer = m_built;
    std::vector<bool> below(m_entries.size(), false);
    for (size_t k = 0; k < count; ++k) {
      if (nodes[k] == nullptr) continue;
      const uint32_t entry = Find(nodes[k]);
      m_changeEntries[k] = entry;
      // Not in the list, or a plain node: change-by-change updates would evaluate its subtree
      // under its own matrix, not its parent's.
      if (entry == kNoEntry || typeid(*nodes[k]) == typeid(CZK_Node)) {
        m_changesDefer = false;
        continue;
      }
      for (uint32_t i = entry; i < m_end[entry]; ++i) below[i] = true;
    }
    for (size_t i = 0; i < m_entries.size() && m_changesDefer; ++i)
      if (below[i] && !Defers(m_entries[i])) m_changesDefer = false;
    // A constraint must not read an object the changes re-evaluate.
    for (int32_t target : m_readObjects)
      if (target >= 0 &&
          std::find(m_readObjects.begin(), m_readObjects.end(), -1 - target) != m_readObjects.end())
        m_changesDefer = false;
  }
  if (!m_changesDefer) return false;
  m_clock = 0;
  std::fill(m_evaluated.begin(), m_evaluated.end(), 0u);
  std::fill(m_changed.begin(), m_changed.end(), 0u);
  return true;
}

Matrix& CZK_EvaluationPlan::Current(size_t k) {
  const uint32_t entry = m_changeEntries[k];
  size_t depth = 0;
  for (uint32_t i = entry; i != kNoEntry; i = m_up[i]) m_walk[depth++] = i;
  uint32_t above = 0;
  while (depth > 0) {
    const uint32_t i = m_walk[--depth];
    if (above > m_evaluated[i]) {
      Walk(i, i + 1, nullptr, false);
      m_evaluated[i] = m_changed[i] = ++m_clock;
    }
    above = std::max(above, m_changed[i]);
  }
  return m_entries[entry].node->matrix;
}

void CZK_EvaluationPlan::Changed(size_t k) { m_changed[m_changeEntries[k]] = ++m_clock; }

void CZK_EvaluationPlan::FinishChanges() {
  // In list order, each entry after its parent: `above` (kept in m_walk) is the latest stamp on
  // the path down to an entry's children; an entry is behind when it is later than the entry's
  // own evaluation. An entry off every path was last evaluated with the whole tree (stamp 0).
  for (size_t i = 0; i < m_entries.size(); ++i) {
    const uint32_t above = m_up[i] == kNoEntry ? 0 : m_walk[m_up[i]];
    uint32_t stamp = m_changed[i];
    if (above > m_evaluated[i]) {
      Walk(i, i + 1, nullptr, false);
      stamp = ++m_clock;
    }
    m_walk[i] = std::max(above, stamp);
  }
}
