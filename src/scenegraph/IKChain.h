// Two-bone inverse kinematics: places the middle joint (elbow, knee) of a chain so that its end
// joint reaches a target, bent towards a hint direction.
#pragma once

#include "foundation/Math.h"

class CZK_Node;

// A joint of a chain: the node whose matrix's translation row is the joint's position.
struct CZK_IKJointLink {
  CZK_Node* node = nullptr;
};

class CZK_IKChain {
 public:
  CZK_IKChain() = default;
  CZK_IKChain(const CZK_IKChain&) = delete;
  CZK_IKChain& operator=(const CZK_IKChain&) = delete;
  virtual ~CZK_IKChain();

  // The chain owns the links from here on.
  void SetRootJoint(CZK_IKJointLink* link);
  void SetMiddleJoint(CZK_IKJointLink* link);
  void SetEndJoint(CZK_IKJointLink* link);
  void ReleaseJoints();

  // Reads both segment lengths from the joints' current matrices (reference pose).
  void MeasureLengths();

  // Writes the middle joint's offset from the root joint, in the caller's space, for a target at
  // toTarget from the root. True when the target is strictly within reach.
  bool Solve(const Vector3* toTarget, const Vector3* bendHint, Vector3* outMiddle);

  // Distance from the root, along the root-to-target line, of the foot of the middle joint,
  // clamped to [0, a]; a and b are the segment lengths, d the target distance.
  static float ElbowDistance(float a, float b, float d);

  void SetLengths(float upper, float lower) {
    upperLength = upper;
    lowerLength = lower;
  }
  float GetUpperLength() const { return upperLength; }
  float GetLowerLength() const { return lowerLength; }
  const Matrix& GetFrame() const { return frame; }
  const Matrix& GetBasis() const { return basis; }
  CZK_IKJointLink* GetRootJoint() const { return rootJoint; }
  CZK_IKJointLink* GetMiddleJoint() const { return middleJoint; }
  CZK_IKJointLink* GetEndJoint() const { return endJoint; }

 private:
  Matrix frame = g_IdentityMatrix;
  Matrix basis = g_IdentityMatrix;
  CZK_IKJointLink* rootJoint = nullptr;
  CZK_IKJointLink* middleJoint = nullptr;
  CZK_IKJointLink* endJoint = nullptr;
  float upperLength = 0.0f;
  float lowerLength = 0.0f;
};
