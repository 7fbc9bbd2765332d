#include "hostkit/NodeSpace.h"

namespace zk_hostkit {

bool IsNodeMatrixInWorld(ECharacterKind character, uint32_t nodeKind) {
  if (nodeKind == kNodePlaced) return true;
  return nodeKind == kNodeAttached && character != ECharacterKind::kDriver;
}

Matrix MultiplyMatrices(const Matrix& a, const Matrix& b) {
  Matrix out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.m[4 * r + k] * b.m[4 * k + c];
      out.m[4 * r + c] = sum;
    }
  return out;
}

Matrix NodeWorldMatrix(CZelkarInterface& zk, int character, int node, uint32_t nodeKind,
                       ECharacterKind kind) {
  const Matrix& m = *zk.GetNodeMatrix(node);
  if (IsNodeMatrixInWorld(kind, nodeKind)) return m;
  return MultiplyMatrices(m, *zk.GetMatrix(character));
}

}  // namespace zk_hostkit
