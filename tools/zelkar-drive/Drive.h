// A drive: the host's side of a stage. Loads libzelkar.so with dlopen through the host kit, with
// the global object, the hub and the host objects a game has, makes the stage's characters, then
// at a fixed rate emits the stage's input as the game's signals, updates the library and hands
// the world matrix of every node to a sink, frame by frame: nothing keeps the whole run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Recording.h"
#include "Stage.h"

namespace zk_drive {

struct SDriveOptions {
  std::string library;
  float rate = 60;  // host frames per second
  // When not empty, the keys held at each frame (LiveControls.h): the stage gives only its cast
  // and windscreen, and the drive lasts one frame per entry.
  std::vector<uint32_t> keys;
};

// What a drive produced. Recorded nodes are, per character in stage order, one root standing for
// the character's own matrix (named after the character) and then its hierarchy's nodes in file
// order, named "<character>/<node>". The layout holds for the whole drive: a character the
// timeline removed keeps the matrices it had last, one not made yet stands at the identity.
struct SDrive {
  std::vector<zk_play::SNodeInfo> nodes;
  std::vector<Matrix> firstWorlds;  // every node's world matrix at the first frame
  std::size_t frames = 0;
  float lastTime = 0;
  std::vector<int> nodeCharacter;  // per recorded node: index into the stage's characters
  std::vector<int> nodeKind;       // per recorded node: the hierarchy's kind, -1 for a root
  // The driver's input per frame, for the strip chart.
  std::vector<float> steering, handbrake, gear;
  int wiperPositions = 0;  // records the car sent back
  std::string checksum;    // of the last frame's world matrices (MatrixChecksum)
  double stepSeconds = 0;  // spent in the frames' steps: signals, update and the matrices read
};

// FNV-1a (64 bits) of the matrices' float bits, as 16 hex digits: two runs that agree to the bit
// agree here.
std::string MatrixChecksum(const Matrix* worlds, std::size_t count);

// Frames a stage takes at a rate: one at time 0 and one per step up to its duration.
int FrameCount(const SStage& stage, float rate);
// The frames a drive makes: the key script's or the stage's.
int FrameCount(const SStage& stage, const SDriveOptions& options);

// Where the frames go as they are made.
class IFrameSink {
 public:
  virtual ~IFrameSink() = default;
  // Once, before the first frame: the recorded nodes (drive.nodes and the per-node lists).
  virtual void Begin(const SDrive& drive) = 0;
  // Every frame: the host time and the world matrix of every recorded node, in node order.
  virtual void Frame(float time, const Matrix* worlds) = 0;
};

// Runs the stage. progress(frame, frames) is called after each frame. Throws std::runtime_error
// (the library's own message when it refuses a file) when the run cannot be made.
SDrive Drive(const SStage& stage, const SDriveOptions& options, IFrameSink& sink,
             const std::function<void(int, int)>& progress);

}  // namespace zk_drive
