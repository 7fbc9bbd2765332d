// Plays a scene on a hierarchy through the library, in this process (its static form, attached
// and detached around the run), and records every node's world matrix at a fixed rate: what
// `zelkar-asset export` hands to the glTF writer.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Recording.h"

namespace zk_play {

struct SPlayOptions {
  double from = 0;
  double to = -1;                 // below from: the end of the scene
  double rate = 30;               // frames per second
  std::string sceneName;          // empty: the scene file's name up to its first '.'
  std::vector<float> extraTimes;  // recorded besides the rate's frames, where within from..to
};

// Throws std::runtime_error naming the file and the reason when the library refuses a file or
// the times make no sense. Recording times are the host's seconds after the scene was selected.
// What the library logs while playing is summed up in one line on `log` (when given).
SRecording RecordScene(const std::string& hierarchyPath, const std::string& scenePath,
                       const SPlayOptions& options, std::ostream* log = nullptr);

}  // namespace zk_play
