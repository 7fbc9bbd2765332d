// An animation recorded frame by frame, as glTF holds it: each node's local translation, rotation
// and scale in glTF's frame, keyed per channel. Frames are taken one at a time and never kept
// whole, so a long run costs the keys it leaves, not its frames.
//
// With reduction on, a channel keeps the keys that linear interpolation needs to give back every
// frame within a tolerance (translation and scale as straight lines, rotation as the spherical
// interpolation glTF players use): a node at rest, or moving at a steady rate, leaves few keys.
// The first and last frame are always keys. With reduction off, every frame is a key of every
// channel, and the channels share the frames' times.
#pragma once

#include <cstddef>
#include <vector>

#include "GltfFrame.h"
#include "Recording.h"

namespace zk_gltf {

struct SReduction {
  bool enabled = false;
  double translation = 1e-4;  // metres, in glTF's frame
  double rotation = 1e-4;     // radians
  double scale = 1e-6;
};

// One channel's keys; `times` is empty when the channel has a key at every frame.
struct SKeyedChannel {
  std::vector<float> times;
  std::vector<float> values;  // 3 or 4 floats per key
};

struct SKeyedNode {
  STrs first;           // the local transform at the first frame
  bool scaled = false;  // a scale other than 1 (within float rounding) at some frame
  SKeyedChannel translation, rotation, scale;
};

struct SKeyedAnimation {
  std::vector<zk_play::SNodeInfo> nodes;
  std::vector<float> frameTimes;  // every frame's time, when the channels share them
  std::size_t frames = 0;
  float lastTime = 0.0f;
  std::vector<SKeyedNode> channels;  // one per node
};

class CAnimationRecorder {
 public:
  // nodes: parents before children. Throws std::invalid_argument for a node whose parent is not
  // an earlier node.
  CAnimationRecorder(std::vector<zk_play::SNodeInfo> nodes, const SFrame& frame,
                     const SReduction& reduction);
  ~CAnimationRecorder();
  CAnimationRecorder(const CAnimationRecorder&) = delete;
  CAnimationRecorder& operator=(const CAnimationRecorder&) = delete;

  // One frame: the library's world matrix of every node, in node order. Times must increase.
  // Throws std::runtime_error "frame F: ..." for a time out of order, a matrix that is not finite
  // or a parent without an inverse.
  void AddFrame(float time, const Matrix* worlds);
  std::size_t Frames() const { return m_animation.frames; }
  // The keys; the recorder is empty afterwards. Throws std::runtime_error without a frame.
  SKeyedAnimation Finish();

 private:
  class CChannel;
  SFrame m_frame;
  SReduction m_reduction;
  SKeyedAnimation m_animation;
  std::vector<CChannel> m_channels;  // three per node: translation, rotation, scale
  std::vector<SAffine> m_worlds;     // scratch: this frame's worlds in glTF's frame
  std::vector<STrs> m_last;          // each node's local transform at the last frame
};

}  // namespace zk_gltf
