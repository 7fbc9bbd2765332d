// The game's side of a drive, one frame at a time: the stage's scenes and characters loaded into a
// facade, then per frame the host's input sent through the hub as the game's signals, the library
// updated and every recorded node's world matrix taken. zelkar-drive steps it through a stage or a
// key script; the browser build steps it from the keyboard.
#pragma once

#include <zelkar/ZelkarFacade.h>

#include <cstdint>
#include <memory>

#include "Drive.h"
#include "Stage.h"

namespace zk_hostkit {
class CHost;
}

namespace zk_drive {

// One frame of the host's input: what a game reads off its car and its player.
struct SFrameInput {
  float steering = 0;  // -1 (full left) to 1
  float handbrake = 0;
  float wipers[2] = {0, 0};     // left and right angle, radians
  float car[4] = {0, 0, 0, 0};  // x, y, z (metres, up = z) and heading (degrees)
  float rough = 0;              // 0 (smooth) to 1
  float shake[2][18] = {};      // driver's and co-driver's shake vectors and body shift
  uint32_t buttons = 0;         // the control record's buttons: 1 gear up, 2 gear down
};

class CDriveSession {
 public:
  // The facade and the host outlive the session; so does the stage.
  CDriveSession(CZelkarInterfaceExt& zk, zk_hostkit::CHost& host, const SStage& stage, float rate);
  ~CDriveSession();
  CDriveSession(const CDriveSession&) = delete;
  CDriveSession& operator=(const CDriveSession&) = delete;

  // Loads the scenes, makes the characters, and lays the recorded nodes out in `out` (names,
  // parents, characters and kinds; see SDrive). Throws std::runtime_error.
  void Load(SDrive& out);
  // The stage's own input at a frame: its channels at the frame's time. Frames come in order.
  SFrameInput StageInput(int frame);
  // One frame at time frame / rate: the stage's events due by then and the input's signals go
  // through the hub, the library updates, and every recorded node's world matrix is taken.
  void Step(int frame, const SFrameInput& in);

  // The recorded nodes' world matrices after the last step, in node order.
  const Matrix* Worlds() const;
  // The gear the driver is in, counted from the stage's first gear by the buttons sent.
  float Gear() const;
  // Wiper positions the car sent back so far.
  int WiperPositions() const;

 private:
  class CRun;
  std::unique_ptr<CRun> m_run;
};

}  // namespace zk_drive
