// What a run through the library recorded: the node tree and every node's world matrix at every
// frame. The drive and the scene recorder fill it; the glTF export writes it.
#pragma once

#include <zelkar/MathTypes.h>  // Matrix: row-major float[16], translation in m[12..14]

#include <string>
#include <vector>

namespace zk_play {

struct SNodeInfo {
  std::string name;
  int parent = -1;  // index into nodes, earlier than this node; -1 = a root
};

struct SRecording {
  std::vector<SNodeInfo> nodes;  // several roots allowed (one per character)
  std::vector<float> times;      // seconds, strictly increasing, one per frame
  std::vector<Matrix> worlds;    // frame-major: worlds[frame * nodes.size() + node], the library's
                                 // world matrices (row vectors, its own axes and units)
};

}  // namespace zk_play
