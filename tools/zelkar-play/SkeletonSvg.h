// Draws a node tree at a few times as an SVG: one row per time, a front and a side view side by
// side, all at one scale, bones as lines from parent to child, node names on hover.
#pragma once

#include <zelkar/MathTypes.h>

#include <string>
#include <vector>

#include "HierarchyNames.h"

namespace zk_play {

struct SSkeletonFrame {
  float time;
  std::vector<Vector3> positions;  // world position of every hierarchy node, in file order
};

struct SSkeletonDrawing {
  std::vector<SHierarchyNode> nodes;
  std::vector<bool> drawn;  // per node; links skip undrawn nodes to their nearest drawn ancestor
  std::vector<SSkeletonFrame> frames;
  // Z up (the files' own frame: front view x right, z up; side view -y right, z up), or Y up
  // (front view x right, y up; side view z right, y up).
  bool yUp = false;
  std::string title;
};

std::string RenderSkeletonSvg(const SSkeletonDrawing& drawing);

}  // namespace zk_play
