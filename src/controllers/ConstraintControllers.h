// Constraint controllers: a PRS transform bound to another node's world matrix that changes at
// given start times (link constraint), and a rotation that turns a node towards the weighted
// average position of target nodes (look-at). Both read their targets through the animated
// objects of the controller manager that owns them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "controllers/AnimationController.h"

class CZK_ControllerManager;

// What kind of animated object a resolved target entry names.
enum EConstraintTargetKind : int32_t {
  kTargetUnresolved = 0,  // never resolved: contributes nothing
  kTargetPosition = 1,    // a "::Position" object, read through its position query at time 0
  kTargetTransform = 4,   // a "::PRS" object, read through its last world matrix
};

// One target of a constraint: for a link the start time of the link, for a look-at the weight.
struct CZK_ConstraintTarget {
  std::string name;
  float key = 0.0f;
  int32_t slot = -1;  // animated-object index; -1 when the target has no object
  int32_t kind = kTargetUnresolved;
};

class CZK_AnimationControllerLinkConstraints : public CZK_AnimationControllerPRS {
 public:
  explicit CZK_AnimationControllerLinkConstraints(std::string name)
      : CZK_AnimationControllerPRS(std::move(name)) {}

  bool IsLinkConstraintController() const override { return true; }

  // Appends a copy; links are expected in ascending start time.
  void AddLink(const CZK_ConstraintTarget& link) { m_links.push_back(link); }
  const std::vector<CZK_ConstraintTarget>& GetLinks() const { return m_links; }
  std::vector<CZK_ConstraintTarget>& GetLinks() { return m_links; }

  // L·S·R·T, L being the world matrix last computed for the active link's object. With no link,
  // or a link without an object (slot -1, or an object that keeps no world matrix), L is the
  // identity and the controller behaves as a plain PRS controller.
  Matrix* Evaluate(Matrix* out, float time, const Matrix* parent) const override;

  // The index of the link active at time: the last one whose start time is not after time, the
  // first one before any start time; -1 when there are no links.
  int SelectLink(float time) const;

  // The manager whose animated objects the slots index. AddController sets it.
  void SetManager(const CZK_ControllerManager* manager) { m_manager = manager; }

 private:
  std::vector<CZK_ConstraintTarget> m_links;
  const CZK_ControllerManager* m_manager = nullptr;
};

class CZK_AnimationControllerRotationLookAt : public CZK_AnimationControllerRotationBase {
 public:
  static constexpr int kParameterCount = 9;

  explicit CZK_AnimationControllerRotationLookAt(std::string name)
      : CZK_AnimationControllerRotationBase(std::move(name)) {}

  bool IsLookAtController() const override { return true; }

  // The nine parameter words in file order.
  void SetParameters(const uint32_t words[kParameterCount]);

  // Appends a copy and adds its weight to the total weight.
  void AddTarget(const CZK_ConstraintTarget& target) {
    m_targets.push_back(target);
    m_totalWeight += target.key;
  }
  const std::vector<CZK_ConstraintTarget>& GetTargets() const { return m_targets; }
  std::vector<CZK_ConstraintTarget>& GetTargets() { return m_targets; }
  float GetTotalWeight() const { return m_totalWeight; }

  // The weighted average of the targets' positions (the plain weighted sum when the weights sum
  // to zero or less). time is not read: targets are read as last evaluated.
  Vector3 GetTargetPosition(float time) const;

  // The rotation that puts the look-at axis on the direction from worldPosition (null: the
  // origin) towards the target position. The result has w >= 0 and is normalised.
  Quaternion* Evaluate(Quaternion* out, float time, const Vector3* worldPosition) const override;

  void SetManager(const CZK_ControllerManager* manager) { m_manager = manager; }

  uint32_t lookAtParam0 = 0;  // kept, not read
  uint32_t flipLookAt = 0;    // nonzero: the look-at axis points away from the target
  uint32_t flipUp = 0;        // nonzero: the axis built from the up reference points away from it
  uint32_t upNodeMode = 0;    // 0: zero-safe normalisation of the up vector
  uint32_t lookAtParam4 = 0;  // kept, not read
  uint32_t lookAtAxis = 0;    // 0 X, 1 Y, 2 Z; other values leave the identity
  uint32_t upNodeAxis = 2;    // world axis the source axis aligns to when upAxisMode is nonzero
  uint32_t sourceAxis = 1;    // the node axis built from the up reference
  uint32_t upAxisMode = 0;    // 0: the up reference points at the world origin; else world axis

 private:
  std::vector<CZK_ConstraintTarget> m_targets;
  float m_totalWeight = 0.0f;
  const CZK_ControllerManager* m_manager = nullptr;
};

// Builds the rotation rows of out (the rest is left as it is) so that row lookAxis is d (unit
// length), row sourceAxis is the part of reference perpendicular to d (negated with flipUp), and
// the three rows form a right-handed orthonormal basis (determinant +1). A sourceAxis equal to
// lookAxis or above 2 is taken as the axis after lookAxis. When reference is parallel to d or
// zero, the world axis least aligned with d stands in for it. lookAxis must be 0, 1 or 2.
void BuildLookAtBasis(Matrix* out, const Vector3& d, const Vector3& reference, uint32_t lookAxis,
                      uint32_t sourceAxis, bool flipUp);
