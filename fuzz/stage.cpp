// Fuzzes zelkar-drive's stage reader: any text must either be refused with a CStageError (one
// line naming the JSON path) or give a stage whose timeline the drive can walk: keys and events
// in time order, within the stage's duration. Asset paths are checked against the built samples.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#ifdef ZELKAR_DRIVE_STAGE_ROOT

#include "Stage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  zk_drive::SStage stage;
  try {
    stage = zk_drive::ParseStage(text, "fuzz.json", ZELKAR_DRIVE_STAGE_ROOT);
  } catch (const zk_drive::CStageError& e) {
    if (std::string(e.what()).find('\n') != std::string::npos) std::abort();
    return 0;
  }
  if (!(stage.duration > 0)) std::abort();
  for (std::size_t k = 1; k < stage.events.size(); ++k)
    if (stage.events[k].time < stage.events[k - 1].time) std::abort();
  // Every channel samples at any time of the run without reading past its keys.
  for (const zk_drive::SChannel& channel : stage.channels) {
    float out[32];
    std::size_t cursor = 0;
    for (float t = 0; t <= stage.duration; t += stage.duration / 7)
      zk_drive::SampleChannel(channel, t, cursor, out);
  }
  return 0;
}

#else

extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }

#endif
