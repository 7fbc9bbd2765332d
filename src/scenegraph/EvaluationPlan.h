// A character's frame as one flat list: every node of its tree that computes a matrix, in the
// order the recursive update meets them (parents first, children in attachment order), each
// with a direct pointer to the matrix its parent leaves. PRS nodes whose controller is the plain
// PRS kind over position and rotation tracks sample those tracks straight from the list, with a
// key cursor each and the time placed once per key range; every other node (look-at, link,
// sampled, LOD and Euler controllers, fixed objects, position-scale nodes, node classes of
// their own) is evaluated by its own general code at its place in the list, so every matrix is
// written in the same order as the recursive update writes it.
//
// The list is built on the first run and again whenever anything it copied may have changed:
// the tree's own count of changes (CZK_NodeTree) covers its shape, its bindings and what it
// plays; the shared count (NStructureGeneration) covers the controllers and tracks, which only
// loading and clean-up change. A host changing what one character plays gets a new list for that
// character alone, never a patched one. Running a built list allocates nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "animation/AnimTrackSearch.h"
#include "foundation/Math.h"
#include "scenegraph/PoseLanes.h"

class CZK_AnimObjectTM;
class CZK_AnimationControllerRotationBase;
class CZK_AnimationControllerScale;
class CZK_Node;
class CZK_NodePRS;

class CZK_EvaluationPlan {
 public:
  static constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

  // Does what root->Update(time, parent) does.
  void Run(CZK_Node* root, float time, const Matrix* parent);
  // The number of nodes sampled directly by the last build (the rest take the general path).
  size_t GetDirectCount() const;

  // ---- Ranges of the list, after Run ----------------------------------------------------------
  // Every node of the tree down to a node class of its own has an entry, in the order Run
  // evaluates them; a node's subtree is the run of entries that starts with its own.

  // Counts the builds: an entry index found before a build means nothing after it.
  uint64_t GetBuildCount() const { return m_builds; }
  // The entry of node, or kNoEntry when node is not in the list.
  uint32_t Find(const CZK_Node* node) const;

  // Re-evaluates the subtree of entry (without the entry itself unless withSelf) under the
  // matrices its parents hold now, at the time of the last Run: the nodes Run sampled multiply
  // the local matrices it sampled; the others run their own code again. A parent given is the
  // one entry's parent matrix instead of the one it was built with (withSelf only).
  void Rerun(uint32_t entry, bool withSelf, const Matrix* parent = nullptr);

  // ---- A round of changes, after Run ----------------------------------------------------------
  // Changes to a few nodes' matrices, each meant to be followed by the update of the node's
  // subtree, with every node of those subtrees evaluated once instead of once per change above
  // it: a changed node is brought up to date along the path above it when a later change reads
  // it (Current), and the subtrees are re-evaluated once at the end (FinishChanges). Each node
  // is then evaluated last under the same parent matrix as change-by-change updates evaluate it
  // last, so its matrix comes out the same, to the bit.
  //
  // That holds when the evaluation of a node below a changed one depends on the time, its
  // parent's matrix and nothing the changes touch: plain nodes and PRS nodes whose controllers
  // sample their own tracks, or constraints whose targets are not themselves re-evaluated. A
  // constraint reading a re-evaluated object would see another order, and a node class of its
  // own updates its subtree its own way: BeginChanges refuses such trees (false), and the caller
  // then updates change by change. Null nodes are skipped.
  //
  // The tree under root stands evaluated under parent at time. Every node re-evaluated in the
  // round runs its own code: the lanes' products agree with it to about 1e-7, not always to the
  // bit, and the round must give what change-by-change updates give.
  bool BeginChanges(CZK_Node* root, const Matrix* parent, float time, CZK_Node* const* nodes,
                    size_t count);
  // The matrix of nodes[k] as change-by-change updates would have it now, to be changed.
  Matrix& Current(size_t k);
  // nodes[k]'s matrix was changed: its subtree is to be updated.
  void Changed(size_t k);
  // Re-evaluates every node whose parent changed since it was last evaluated.
  void FinishChanges();

 private:
  // kHold: a node that computes nothing (a plain node, which hands its parent's matrix on, or a
  // PRS node without an object for its animation, which keeps its matrix).
  enum EEntryKind : uint8_t { kDirect, kPRSGeneral, kPSGeneral, kSubtree, kHold };
  // kEuler: a rotation from an Euler-angle controller, whose own Evaluate samples its three
  // angle tracks at the run's time (track is the controller; the slot has no keys or range).
  enum ETrackKind : uint8_t { kNoTrack, kLinear, kBezier, kTCB, kEuler };
  struct STrackSlot {
    const void* track = nullptr;  // of the concrete class that kind names
    const void* keys = nullptr;   // its stored keys, count of them, ordered or not
    uint32_t count = 0;
    uint32_t cursor = 0;
    // On a linear or TCB rotation track: its prepared pairs. On an Euler slot: the index of
    // its angle tracks in m_eulerAxes, or kNoAxes when it asks its controller instead.
    uint32_t pairs = 0;
    uint16_t range = 0;  // index into m_ranges
    uint8_t kind = kNoTrack;
    bool ordered = false;
  };
  // The x, y and z angle tracks of an Euler-angle rotation whose axes all sample linear float
  // tracks (or none): the plan finds their keys on cursors.
  struct SEulerAxes {
    STrackSlot axis[3];
  };
  static constexpr uint32_t kNoAxes = 0xFFFFFFFFu;
  struct SEntry {
    CZK_Node* node = nullptr;
    const Matrix* parent = nullptr;  // null: the parent passed to Run
    CZK_AnimObjectTM* object = nullptr;
    const CZK_AnimationControllerScale* scale = nullptr;  // sampled through its general path
    int32_t controllerIndex = -1;
    uint32_t lane = 0;  // a direct node's place among the lanes of m_inputs and m_poses
    EEntryKind kind = kSubtree;
    bool linear = false;   // a direct node on a linear position and a linear rotation track
    bool sampled = false;  // this run: the local matrix is in m_poses
    STrackSlot position, rotation;
  };
  struct SRange {
    float first, last;
    uint32_t before, after;
  };
  // What four lanes of linear nodes need to carry their inputs from one run to the next: the
  // times of the segments their cursors found last (while the placed time stays inside both
  // segments, the keys gathered then are still the ones around it, and only the fractions
  // change), and the rest a run checks or reads per lane. A lane that must be gathered in full
  // every run has NaN segment bounds: no time lies inside them. A lane whose values hold at
  // every time spans all times (see CZK_EvaluationPlan::Gather).
  struct alignas(16) SLaneGroup {
    float positionStart[NPoseLanes::kLanes], positionEnd[NPoseLanes::kLanes];
    float rotationStart[NPoseLanes::kLanes], rotationEnd[NPoseLanes::kLanes];
    uint16_t positionRange[NPoseLanes::kLanes], rotationRange[NPoseLanes::kLanes];
    // Copies of the lanes' entries' fields a run reads.
    CZK_AnimObjectTM* object[NPoseLanes::kLanes];
    const CZK_AnimationControllerScale* scale[NPoseLanes::kLanes];
    int32_t controllerIndex[NPoseLanes::kLanes];
    uint32_t lanes = 0;  // the number of lanes holding a node
    // Bit l: lane l is sampled afresh every run, on a Bezier, TCB or Euler track (see
    // GatherCurves).
    uint32_t curveLanes = 0;
  };

  // Whether a direct entry's position and rotation are the same at every time: each track
  // missing or of at most one key. (Scale factors are sampled every run.)
  static bool IsConstant(const SEntry& e);
  // Whether a scale controller's factors are the same at every time: no track, or a linear one
  // of at most one key. (Other kinds are sampled every run, as the general path does.)
  static bool HoldsScale(const CZK_AnimationControllerScale* scale);
  // The entry in lane `lane` of group g.
  SEntry& DirectEntry(size_t g, size_t lane) {
    return m_entries[m_direct[g * NPoseLanes::kLanes + lane]];
  }
  const SEntry& DirectEntry(size_t g, size_t lane) const {
    return m_entries[m_direct[g * NPoseLanes::kLanes + lane]];
  }
  void Build(CZK_Node* root);
  void AddNode(CZK_Node* node, const Matrix* parent, uint32_t up);
  SEntry BindPRS(CZK_NodePRS* node, const Matrix* parent);
  // Builds the list again when it no longer fits root's tree; takes time and parent as the
  // ones to evaluate at.
  void Prepare(CZK_Node* root, float time, const Matrix* parent);
  // Places time in every key range.
  void Place(float time);
  // Gathers and blends the local matrices of the direct entries in groups [first, end).
  void Sample(size_t first, size_t end, float time);
  // Evaluates entries [first, end) at the time of the last placing; parent, when given, is
  // entry first's parent matrix. locals: the direct entries' local matrices are current.
  void Walk(size_t first, size_t end, const Matrix* parent, bool locals);
  void Evaluate(SEntry& e, const Matrix* p, bool locals);
  // Whether re-evaluating the entries below the changed ones keeps the change-by-change
  // results (see BeginChanges); also true for an entry that evaluates nothing.
  bool Defers(const SEntry& e);
  // Fills slot from a controller of class Exact over a track of one of the three classes;
  // false for any other controller or track class. No controller or no track: an empty slot.
  template <class Exact, class Linear, class Bezier, class TCB, class Base>
  bool BindController(STrackSlot& slot, const Base* controller);
  template <class Track>
  void BindKeys(STrackSlot& slot, const Track* track, ETrackKind kind);
  uint16_t FindRange(const SRange& range);
  // Writes what a directly sampled node's local matrix is made of into its lane; clears
  // e.sampled instead when its object no longer takes its value from the controller the plan
  // was built on.
  void Gather(SEntry& e, float time);
  // Asks for the lines group g's gathering will read first.
  void PrefetchGroup(size_t g) const;
  // For a linear node: both segments found on their cursors, and their blends written. Their
  // key times go to the lane's bounds in group.
  bool GatherOnCursors(SEntry& e, NPoseLanes::SInputs& in, SLaneGroup& group, size_t lane);
  // Gathers group g: the fractions alone for lanes whose segments still hold the time and
  // whose objects still take the plan's controller, every lane else in full.
  void GatherGroup(size_t g, float time);
  // A lane on a curve track: both tracks sampled through their classes, straight into the lane.
  void GatherCurves(SEntry& e, NPoseLanes::SInputs& in, size_t lane, float time);
  bool BindEuler(STrackSlot& slot, const CZK_AnimationControllerRotationBase* controller);
  void GatherEuler(const STrackSlot& slot, Quaternion* out, float time);
  void GatherPosition(STrackSlot& slot, NPoseLanes::SInputs& in, size_t lane) const;
  void GatherRotation(STrackSlot& slot, NPoseLanes::SInputs& in, size_t lane, float time);
  // The value of a slot on a Bezier or a TCB track, as the track samples it.
  template <class Bezier, class TCB, class Value>
  void SampleCurve(STrackSlot& slot, Value* out) const;

  std::vector<SEntry> m_entries;
  std::vector<SEulerAxes> m_eulerAxes;
  std::vector<SRange> m_ranges;
  std::vector<NAnimTrackSearch::SPlacedTime> m_placed;  // one per range, each run
  // Per range, each run: the placed time, or NaN when held; then one more, always 0.
  std::vector<float> m_inside;
  std::vector<SLaneGroup> m_groups;           // one per SInputs
  std::vector<uint32_t> m_direct;             // the direct entries, in order
  std::vector<NPoseLanes::SInputs> m_inputs;  // four direct entries each, each run
  std::vector<NPoseLanes::SLocals> m_poses;   // their local matrices, each run
  // Per entry: the entry of its parent (kNoEntry at the top) and one past its subtree.
  std::vector<uint32_t> m_up, m_end;

  // A round of changes: the changed nodes' entries, the order stamps of evaluations and changes
  // (a node is behind when something above it changed after it was evaluated), and scratch.
  std::vector<CZK_Node*> m_changeNodes;
  std::vector<uint32_t> m_changeEntries;
  std::vector<uint32_t> m_evaluated, m_changed, m_walk;
  std::vector<int32_t> m_readObjects;  // scratch of BeginChanges's check
  uint64_t m_changesBuild = 0;         // the build the lists above were made for
  bool m_changesDefer = false;
  uint32_t m_clock = 0;

  CZK_Node* m_root = nullptr;
  const Matrix* m_parent = nullptr;  // of the last Run
  float m_time = 0.0f;               // of the last Run
  bool m_localsCurrent = false;      // m_poses hold the locals at m_time
  uint64_t m_generation = 0;
  uint64_t m_treeStructure = 0;
  uint64_t m_builds = 0;
  bool m_built = false;
};
